#include "SeatGrid.h"

#include "app/DrawingSurface.h"
#include "app/Numbers.h"
#include "app/WindowState.h"

namespace plivan {

QRectF SeatBox(const WindowState &state, int row, int col)
{
    return { col * double(state.SeatWidth) + GridLeft, row * state.SeatHeight + GridTop,
        double(state.SeatWidth), state.SeatHeight };
}

void DrawBoxes(const WindowState &state, DrawingSurface &surface, double width, double height)
{
    for (int row = 0; row < state.SeatRows; ++row) {
        for (int col = 0; col < state.SeatCols; ++col) {
            const double x1 = col * width + GridLeft;
            const double y1 = row * height + GridTop;
            surface.drawBox(float(x1), float(y1), float(x1 + width), float(y1 + height));
        }
    }
}

void DrawSeatGrid(const WindowState &state, DrawingSurface &surface)
{
    surface.setLineWidth(2);
    surface.setScaleInches();
    DrawBoxes(state, surface, double(state.SeatWidth), state.SeatHeight);
}

bool SeatAt(const WindowState &state, double x, double y, int &row, int &col)
{
    if (state.SeatWidth <= 0 || state.SeatHeight <= 0)
        return false;
    const long long c = Int((x - GridLeft) / double(state.SeatWidth));
    const long long r = Int((y - GridTop) / state.SeatHeight);
    if (c < 0 || c >= state.SeatCols || r < 0 || r >= state.SeatRows)
        return false;
    row = int(r);
    col = int(c);
    return true;
}

} // namespace plivan
