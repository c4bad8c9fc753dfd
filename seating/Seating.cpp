#include "Seating.h"

#include "DrawingSurface.h"
#include "NameLayout.h"
#include "Numbers.h"
#include "RandomSource.h"
#include "SeatGrid.h"
#include "StudentList.h"
#include "WindowState.h"

#include <algorithm>

namespace plivan {

Seating::Seating(WindowState &state, StudentList &list, DrawingSurface &surface, MessageFunction message)
    : m_state(state)
    , m_list(list)
    , m_surface(surface)
    , m_message(std::move(message))
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
    const SeatGrid grid = SeatGrid::OnWindow(m_state);
    const int s = grid.number(Row, Col);
    const int r = StudentRow(m_state.StudentIndex);
    if (s < 1 || s > MaxSeats || r < 0 || r >= m_list.count())
        return;
    if (m_state.SeatTaken[s] != 0) {
        m_message(SeatTakenMessage);
        return;
    }
    m_state.SeatTaken[s] = -1;
    m_state.SeatNames[s] = m_list.text(r);
    DrawSeatName(m_surface, grid.seat(s).box, m_list.text(r), m_state.NameFontSize);
    RemoveListedStudent(r);
}

void Seating::RemoveListedStudent(int row)
{
    const int n = std::min(m_state.seatCount(), m_list.count());
    for (int k = row; k <= n - 2; ++k)
        m_list.setText(k, m_list.text(k + 1));
    if (n >= 1)
        m_list.setText(n - 1, QString());
}

void Seating::SeatInOrder()
{
    const SeatGrid grid = SeatGrid::OnWindow(m_state);
    const int seats = std::min(grid.seatCount(), MaxSeats);
    for (int s = 1; s <= seats; ++s) {
        if (m_state.SeatTaken[s] != -1) {
            m_state.StudentIndex = 0;
            const Seat seat = grid.seat(s);
            SeatStudent(seat.row, seat.col);
        }
    }
}

int Seating::NextFreeSeat() const
{
    const int seats = std::min(m_state.seatCount(), MaxSeats);
    for (int s = 1; s <= seats; ++s) {
        if (m_state.SeatTaken[s] != -1)
            return s;
    }
    return 0;
}

void Seating::SeatAtRandom(RandomSource &random)
{
    random.reseed();
    const SeatGrid grid = SeatGrid::OnWindow(m_state);
    const int seats = std::min(grid.seatCount(), MaxSeats);
    int free = seats;
    for (int s = 1; s <= seats; ++s) {
        if (m_state.SeatTaken[s] != 0)
            --free;
    }
    // When the pass with value k begins, the k + 1 names still to be seated
    // stand in the list's top k + 1 rows; each of those rows is drawn with
    // the same chance. A number that rounds up to 1 still takes row k.
    for (int k = free - 1; k >= 0; --k) {
        m_state.StudentIndex = double(std::clamp<long long>(Int(double(random.next()) * (k + 1)), 0, k));
        const int s = NextFreeSeat();
        if (s == 0) {
            m_message(RandomSeatingMessage);
            continue;
        }
        const Seat seat = grid.seat(s);
        SeatStudent(seat.row, seat.col);
    }
}

} // namespace plivan
