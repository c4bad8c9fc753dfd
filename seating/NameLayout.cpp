#include "NameLayout.h"

#include "DrawingSurface.h"

#include <algorithm>
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
        return { name, QString(), false };
    return { name.left(b - 1), name.mid(b), true };
}

namespace {

// The room a line of a name has in its box, in the surface's scale.
struct LineRoom {
    double width = 0;
    double height = 0;
};

bool Fits(DrawingSurface &surface, const QString &line, LineRoom room)
{
    return surface.textWidth(line) <= room.width && surface.lineHeight() <= room.height;
}

// Sizes above this never fit a box: one line at 1000 points is nearly 14
// inches high. Qt's font metrics overflow not far above it.
constexpr double MaxFittingPoints = 1000;

// The point size a line is drawn at: `points` when it fits its room,
// otherwise the largest whole size that fits, but no less than MinNamePoints.
double FittingSize(DrawingSurface &surface, const QString &line, double points, LineRoom room)
{
    surface.setFontSize(points);
    if (points <= 0 || line.isEmpty())
        return points;
    if (points <= MaxFittingPoints && Fits(surface, line, room))
        return points;
    if (points <= MinNamePoints)
        return points;
    // Bisection: a line only grows with its size. A long name under a large
    // name font size is measured a dozen times, not once per point.
    double fits = MinNamePoints;
    double tooLarge = std::min(std::ceil(points), MaxFittingPoints + 1);
    while (tooLarge - fits > 1) {
        const double middle = std::floor((fits + tooLarge) / 2);
        surface.setFontSize(middle);
        if (Fits(surface, line, room))
            fits = middle;
        else
            tooLarge = middle;
    }
    return fits;
}

// The longest start of `line` that, followed by an ellipsis, fits `width` in
// the current font.
QString Elided(DrawingSurface &surface, const QString &line, double width)
{
    const QString ellipsis(QChar(0x2026));
    qsizetype fits = 0;
    qsizetype tooLong = line.size();
    while (tooLong - fits > 1) {
        const qsizetype middle = fits + (tooLong - fits) / 2;
        if (surface.textWidth(line.left(middle) + ellipsis) <= width)
            fits = middle;
        else
            tooLong = middle;
    }
    return line.left(fits) + ellipsis;
}

void PrintLine(DrawingSurface &surface, double x, double y, const QString &line, double points, LineRoom room)
{
    surface.setFontSize(FittingSize(surface, line, points, room));
    // Even at the smallest size, a line stays inside its box: what does not
    // fit is cut short with an ellipsis rather than written over the next seat.
    const bool tooWide = surface.fontSize() > 0 && surface.textWidth(line) > room.width;
    surface.CurrentX = float(x); // the position is single precision
    surface.CurrentY = float(y);
    surface.printText(tooWide ? Elided(surface, line, room.width) : line);
}

} // namespace

void DrawSeatName(DrawingSurface &surface, const QRectF &box, const QString &name, double points)
{
    const double x = box.x() + 0.05 * box.width();
    const double y = box.y() + 0.05 * box.height();
    // A line fits when it ends a twentieth of the box before its right edge,
    // the same margin it starts with, and is no taller than the box less
    // those margins (only a name font size far above the usual reaches that).
    const LineRoom room { box.width() * 0.9, box.height() * 0.9 };
    const NameLines lines = SplitName(name);
    PrintLine(surface, x, y, lines.first, points, room);
    if (lines.twoLines)
        PrintLine(surface, x, y + 0.3, lines.second, points, room);
    surface.setFontSize(points);
}

} // namespace plivan
