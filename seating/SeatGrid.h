#pragma once

#include <QRectF>

namespace plivan {

class DrawingSurface;
struct WindowState;

// The box of seat (row, col) in inches at window scale: left Col x SeatWidth +
// 0.5, top Row x SeatHeight + 0.75, SeatWidth wide and SeatHeight high.
QRectF SeatBox(const WindowState &state, int row, int col);

// Outlines SeatRows x SeatCols boxes of `width` x `height` inches from the
// grid's top-left corner, row by row, each row left to right; the corners are
// handed over in single precision. The window and the printed page both draw
// their grid with it.
void DrawBoxes(const WindowState &state, DrawingSurface &surface, double width, double height);

// Draws the empty grid of SeatRows x SeatCols boxes on the window's surface,
// row by row, with lines 2 pixels wide; leaves the surface's scale in inches.
void DrawSeatGrid(const WindowState &state, DrawingSurface &surface);

// The seat under a press at (x, y) inches: Col = Int((x - 0.5) / SeatWidth),
// Row = Int((y - 0.75) / SeatHeight). A point on a shared edge belongs to the
// box right of or below it. False when the press lies outside the room.
bool SeatAt(const WindowState &state, double x, double y, int &row, int &col);

} // namespace plivan
