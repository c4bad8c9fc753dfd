#include "NameLayout.h"

#include "app/DrawingSurface.h"

#include <cmath>

namespace plivan {

int BreakPosition(const QString &name)
{
    qsizetype at = name.indexOf(u' ');
    if (at < 0)
        at = name.indexOf(u',');
    return int(at + 1);
}

NameLines SplitName(const QString &name)
{
    const int b = BreakPosition(name);
    if (b == 0)
        return {name, QString(), false};
    return {name.left(b - 1), name.mid(b), true};
}

namespace {

// The point size a line is drawn at: `points` when it fits in `room`,
// otherwise the largest whole size that fits, but no less than MinNamePoints.
double FittingSize(DrawingSurface &surface, const QString &line, double points, double room)
{
    surface.setFontSize(points);
    if (points <= 0 || line.isEmpty() || surface.textWidth(line) <= room)
        return points;
    double size = std::floor(points);
    if (size >= points)
        size -= 1;
    for (; size > MinNamePoints; size -= 1) {
        surface.setFontSize(size);
        if (surface.textWidth(line) <= room)
            return size;
    }
    return MinNamePoints;
}

void PrintLine(DrawingSurface &surface, double x, double y, const QString &line, double points,
               double room)
{
    surface.setFontSize(FittingSize(surface, line, points, room));
    surface.CurrentX = float(x); // the position is single precision
    surface.CurrentY = float(y);
    surface.printText(line);
}

} // namespace

void DrawSeatName(DrawingSurface &surface, double boxX, double boxY, double boxWidth,
                  double boxHeight, const QString &name, double points)
{
    // Positions are handed over in single precision, as the seat width is.
    const double x = boxX + 0.05 * boxWidth;
    const double y = boxY + 0.05 * boxHeight;
    // A line fits when it ends a twentieth of the box before its right edge,
    // the same margin it starts with.
    const double room = boxWidth * 0.9;
    const NameLines lines = SplitName(name);
    PrintLine(surface, x, y, lines.first, points, room);
    if (lines.twoLines)
        PrintLine(surface, x, y + 0.3, lines.second, points, room);
    surface.setFontSize(points);
}

} // namespace plivan
