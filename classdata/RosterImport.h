#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace plivan {

class StudentList;

// The measure of a name for the font size: its break position when it has one
// (the break character counted), else its length.
int NameMeasure(const QString &name);

// floor(widest measure x seat width) x 1.5, rounded half to even. The product
// is taken in single precision, as the seat width is.
std::int16_t NameFontSizeFor(int widestMeasure, float seatWidth);

struct RosterImport {
    std::int16_t NameFontSize = 0;
    // The message to show when the workbook could not be read, or empty.
    QString message;
};

// Fills `list` with the names in column 1 of the active sheet of the workbook
// at `path`, from row 1 down to the first empty cell and at most `seats` rows,
// then "Empty" rows up to one row per seat; and works out the name font size
// from every row of the list. A workbook that cannot be read gives a message
// and a list of "Empty" rows.
RosterImport ImportRoster(const QString &path, int seats, float seatWidth, StudentList &list);

} // namespace plivan
