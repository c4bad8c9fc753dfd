#pragma once

#include <QRectF>
#include <QString>

namespace plivan {

class DrawingSurface;

// Break position of a name: the position, counting from 1, of its first space;
// when it has none, of its first comma; 0 when it has neither.
int BreakPosition(const QString &name);

// The one or two lines a name is written in. With break position b, line 1 is
// the b - 1 characters before the break and line 2 everything after it; the
// break character is on neither. Without a break, line 1 is the whole name.
struct NameLines {
    QString first;
    QString second;
    bool twoLines = false;
};
NameLines SplitName(const QString &name);

// Writes `name` into a seat's `box`, in the surface's scale (inches): line 1
// a twentieth of the box's width and height inside its top-left corner,
// line 2 0.3 inch below line 1. Each line is drawn at `points`, unless it
// would not fit inside the box at that size (wider or taller than nine tenths
// of the box): then at the largest whole point size at which it fits. Below
// MinNamePoints it is cut short with an ellipsis instead. Leaves the
// surface's font size at `points`.
inline constexpr int MinNamePoints = 6;
void DrawSeatName(DrawingSurface &surface, const QRectF &box, const QString &name, double points);

} // namespace plivan
