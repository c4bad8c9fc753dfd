#include "SeatGrid.h"

#include "DrawingSurface.h"
#include "Numbers.h"
#include "WindowState.h"

namespace plivan {

float WindowSeatWidth(int cols)
{
    return float(PrintedGridWidth / cols / PrintScale);
}

double WindowSeatHeight(int rows)
{
    return PrintedGridHeight / rows / PrintScale;
}

void SetRoom(WindowState &state, int rows, int cols)
{
    state.SeatRows = rows;
    state.SeatCols = cols;
    state.SeatHeight = WindowSeatHeight(rows);
    state.SeatWidth = WindowSeatWidth(cols);
}

SeatGrid::SeatGrid(int rows, int cols, double seatWidth, double seatHeight)
    : m_rows(rows)
    , m_cols(cols)
    , m_seatWidth(seatWidth)
    , m_seatHeight(seatHeight)
{
}

SeatGrid SeatGrid::OnWindow(const WindowState &state)
{
    return { state.SeatRows, state.SeatCols, double(state.SeatWidth), state.SeatHeight };
}

SeatGrid SeatGrid::OnPaper(const WindowState &state)
{
    return { state.SeatRows, state.SeatCols, double(float(double(state.SeatWidth) * PrintScale)),
        state.SeatHeight * PrintScale };
}

Seat SeatGrid::seat(int number) const
{
    const int row = (number - 1) / m_cols;
    const int col = (number - 1) % m_cols;
    return { row, col,
        { col * m_seatWidth + GridLeft, row * m_seatHeight + GridTop, m_seatWidth, m_seatHeight } };
}

int SeatGrid::number(int row, int col) const
{
    const bool inRoom = row >= 0 && row < m_rows && col >= 0 && col < m_cols;
    return inRoom ? row * m_cols + col + 1 : 0;
}

int SeatGrid::seatAt(double x, double y) const
{
    if (seatCount() <= 0)
        return 0;
    const long long col = Int((x - GridLeft) / m_seatWidth);
    const long long row = Int((y - GridTop) / m_seatHeight);
    if (col < 0 || col >= m_cols || row < 0 || row >= m_rows)
        return 0;
    return number(int(row), int(col));
}

QRectF SeatGrid::extent() const
{
    return { GridLeft, GridTop, m_cols * m_seatWidth, m_rows * m_seatHeight };
}

void SeatGrid::draw(DrawingSurface &surface) const
{
    for (int s = 1; s <= seatCount(); ++s) {
        const QRectF box = seat(s).box;
        surface.drawBox(float(box.left()), float(box.top()), float(box.right()), float(box.bottom()));
    }
}

void DrawSeatGrid(const WindowState &state, DrawingSurface &surface)
{
    surface.setLineWidth(2);
    surface.setScaleInches();
    SeatGrid::OnWindow(state).draw(surface);
}

} // namespace plivan
