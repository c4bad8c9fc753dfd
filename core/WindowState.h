#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace plivan {

// The seat tables are indexed by seat number 1 to 50; entry 0 is never used.
inline constexpr int MaxSeats = 50;

// Everything the window knows. It lives as long as the window and is never saved.
// The names are the window's own; see each field for its unit.
struct WindowState {
    int ClassIndex = 0; // 1-based index into ClassNames of the chosen class
    double StudentIndex = 0; // list row seated next, rounded half to even where used
    int SeatRows = 0;
    int SeatCols = 0;
    std::int16_t NameFontSize = 0; // points, for names in seat boxes
    QString TeacherName;
    QStringList ClassNames { QString() }; // entry 0 stays empty; grows with the settings file
    QStringList RosterFiles { QString() }; // same index as ClassNames
    std::array<QString, MaxSeats + 1> SeatNames;
    double SeatHeight = 0; // inches at window scale, double precision
    float SeatWidth = 0; // inches at window scale, deliberately single precision
    bool StudentPicked = false;
    std::array<std::int16_t, MaxSeats + 1> SeatTaken {}; // -1 taken, 0 free

    bool operator==(const WindowState &) const = default;

    int seatCount() const { return SeatRows * SeatCols; }
    int classCount() const { return int(ClassNames.size()) - 1; }
    void freeAllSeats()
    {
        SeatTaken.fill(0);
        SeatNames.fill(QString());
    }
};

} // namespace plivan
