#include "Seating.h"

#include "NameLayout.h"
#include "RandomSource.h"
#include "SeatGrid.h"
#include "StudentList.h"
#include "app/DrawingSurface.h"
#include "app/Numbers.h"
#include "app/WindowState.h"

#include <algorithm>

namespace plivan {

Seating::Seating(WindowState &state, StudentList &list, DrawingSurface &surface, MessageFunction message)
    : state(state)
    , list(list)
    , surface(surface)
    , message(std::move(message))
{
}

int Seating::StudentRow(double studentIndex)
{
    // Rows are 16-bit; anything outside stands for no row at all.
    if (!(studentIndex > -32768.5 && studentIndex < 32767.5))
        return -1;
    return int(RoundHalfEven(studentIndex));
}

void Seating::SeatStudent(int Row, int Col)
{
    if (!state.isSeatInRoom(Row, Col))
        return;
    const int s = state.seatNumber(Row, Col);
    const int r = StudentRow(state.StudentIndex);
    if (s < 1 || s > MaxSeats || r < 0 || r >= list.count())
        return;
    if (state.SeatTaken[s] != 0) {
        message(SeatTakenMessage);
        return;
    }
    state.SeatTaken[s] = -1;
    state.SeatNames[s] = list.text(r);

    const QRectF box = SeatBox(state, Row, Col);
    DrawSeatName(surface, box.x(), box.y(), box.width(), box.height(), list.text(r), state.NameFontSize);
    RemoveListedStudent(r);
}

void Seating::RemoveListedStudent(int row)
{
    const int n = std::min(state.seatCount(), list.count());
    for (int k = row; k <= n - 2; ++k)
        list.setText(k, list.text(k + 1));
    if (n >= 1)
        list.setText(n - 1, QString());
}

void Seating::SeatInOrder()
{
    for (int row = 0; row < state.SeatRows; ++row) {
        for (int col = 0; col < state.SeatCols; ++col) {
            if (state.SeatTaken[state.seatNumber(row, col)] != -1) {
                state.StudentIndex = 0;
                SeatStudent(row, col);
            }
        }
    }
}

int Seating::NextFreeSeat() const
{
    for (int row = 0; row < state.SeatRows; ++row) {
        for (int col = 0; col < state.SeatCols; ++col) {
            const int s = state.seatNumber(row, col);
            if (state.SeatTaken[s] != -1)
                return s;
        }
    }
    return 0;
}

void Seating::SeatAtRandom(RandomSource &random)
{
    random.reseed();
    const int seats = state.seatCount();
    int free = seats;
    for (int s = 1; s <= seats; ++s) {
        if (state.SeatTaken[s] != 0)
            --free;
    }
    for (int k = free - 1; k >= 0; --k) {
        // The product stays unrounded; SeatStudent rounds it half to even, so
        // the pass with value k takes one of the rows 0 to k.
        state.StudentIndex = double(random.next()) * k;
        const int s = NextFreeSeat();
        if (s == 0) {
            message(RandomSeatingMessage);
            continue;
        }
        const int row = int(Int(double(s - 1) / state.SeatCols));
        const int col = s - 1 - row * state.SeatCols;
        SeatStudent(row, col);
    }
}

} // namespace plivan
