#pragma once

#include <functional>

#include <QString>

namespace plivan {

class DrawingSurface;
class RandomSource;
class StudentList;
struct WindowState;

using MessageFunction = std::function<void(const QString &)>;

inline const QString SeatTakenMessage = QStringLiteral("Seat already taken");
inline const QString RandomSeatingMessage = QStringLiteral("Error in random seat assignment");

// Seating students: one at a time into a given seat, all remaining ones in list
// order or at random, and by hand with a pick on the list and a press on the
// window. Works on the window's state, its student list and its drawing
// surface; messages go through `message`.
class Seating {
public:
    Seating(WindowState &state, StudentList &list, DrawingSurface &surface, MessageFunction message);

    // Seats list row StudentIndex (rounded half to even) in seat (Row, Col),
    // writes the name into the box and removes the row from the list. An
    // occupied seat is refused with "Seat already taken" and nothing changes.
    // A seat outside the room, or a row that is not on the list, seats nobody.
    void SeatStudent(int Row, int Col);

    // Fills the free seats in seat-number order from the top of the list.
    void SeatInOrder();
    // Fills the free seats in seat-number order, each with a name drawn at
    // random from those still to be seated, every one of them equally likely.
    void SeatAtRandom(RandomSource &random);
    // Seat number of the first free seat, 0 when every seat is taken.
    int NextFreeSeat() const;

    // The list row `StudentIndex` stands for.
    static int StudentRow(double studentIndex);

private:
    void RemoveListedStudent(int row);

    WindowState &m_state;
    StudentList &m_list;
    DrawingSurface &m_surface;
    MessageFunction m_message;
};

} // namespace plivan
