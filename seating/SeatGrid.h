#pragma once

#include <QRectF>

namespace plivan {

class DrawingSurface;
struct WindowState;

// Grid geometry in inches. The printed grid is 9 x 7 inches; the window shows it
// at that size divided by 1.2. Its top-left corner sits at (0.5, 0.75) on both.
inline constexpr double GridLeft = 0.5;
inline constexpr double GridTop = 0.75;
inline constexpr double PrintedGridWidth = 9;
inline constexpr double PrintedGridHeight = 7;
inline constexpr double PrintScale = 1.2;

// A seat's width on the window in a room of `cols` columns, and its height in
// a room of `rows` rows: the printed grid shared out and shown 1.2 times
// smaller. The width is worked out in double precision and kept in single
// precision.
float WindowSeatWidth(int cols);
double WindowSeatHeight(int rows);
// Gives `state` a room of `rows` x `cols` seats of those sizes.
void SetRoom(WindowState &state, int rows, int cols);

// One seat of the room.
struct Seat {
    int row = 0; // 0 at the top
    int col = 0; // 0 at the left
    QRectF box; // in inches from the drawing surface's top-left corner
};

// Where the seats of a room lie: rows x cols boxes of equal size from the
// grid's top-left corner at (0.5, 0.75) inches, sharing their edges. Seat
// numbers run row by row from 1. The window, the printed page, the hit test
// and automatic seating all place seats through it.
class SeatGrid {
public:
    SeatGrid(int rows, int cols, double seatWidth, double seatHeight);
    // The grid on the window: seats SeatWidth x SeatHeight.
    static SeatGrid OnWindow(const WindowState &state);
    // The grid on paper: seats 1.2 times as wide and as high as on the window;
    // the width rounded to single precision, as SeatWidth is.
    static SeatGrid OnPaper(const WindowState &state);

    int seatCount() const { return m_rows * m_cols; }
    // Seat `number`, 1 to seatCount(): row (number - 1) / cols, column the
    // remainder, and its box.
    Seat seat(int number) const;
    // The number of the seat at (row, col); 0 when the room has no seat there.
    int number(int row, int col) const;
    // The number of the seat under the point (x, y) inches; 0 when the point
    // lies outside the grid. A point on an edge between two boxes belongs to
    // the box right of or below it.
    int seatAt(double x, double y) const;
    // The whole grid, in inches.
    QRectF extent() const;
    // Outlines every box in seat-number order; the corners are handed over in
    // single precision.
    void draw(DrawingSurface &surface) const;

private:
    int m_rows;
    int m_cols;
    double m_seatWidth;
    double m_seatHeight;
};

// Draws the empty grid on the window's surface with lines 2 pixels wide, and
// leaves the surface's scale in inches.
void DrawSeatGrid(const WindowState &state, DrawingSurface &surface);

} // namespace plivan
