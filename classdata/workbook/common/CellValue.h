#pragma once

#include "Internal.h"

#include <QString>

namespace plivan {

// No cell holds more characters (UTF-16 code units) than the spreadsheet
// application allows; a longer one is damage.
inline constexpr qsizetype MaxCellChars = 32767;
inline const QString CellTooLong = QStringLiteral("a cell holds more than 32,767 characters");
inline const QString CellTooLongReason = QStringLiteral("is damaged (%1)").arg(CellTooLong);

// However a cell's text is written in XML (entities, character references),
// it takes no more bytes than this: the parser holds no more of a cell's text
// before it is refused.
inline constexpr qint64 MaxCellTextBytes = 16 * MaxCellChars;

// The text a roster shows for a cell's value, the same for every file format.

// Whole numbers as their digits (17, 12345678901); other numbers in the
// shortest form that reads back as the same double (0.30000000000000004).
QString NumberText(double value);

// A spreadsheet date serial number in ISO 8601: "2024-09-02" for whole days,
// "13:45:00" for a time of day alone (serial below 1), "2024-09-02 13:45:00"
// otherwise. Serials count days from 1899-12-30 (the 1900 system, in which
// serial 60 is the nonexistent 1900-02-29) or from 1904-01-01.
QString DateText(double serial, bool date1904);

// A date serial number as LibreOffice counts it, in the same text: days from
// 1899-12-30 with no false leap day, so that before 1900-03-01 (serial 61,
// where it meets the 1900 system) a serial is one day earlier than Excel's.
QString LibreOfficeDateText(double serial);

// True when a number format code shows its value as a date or time: it has a
// day, month, year, hour or second code outside quoted text and brackets.
// Elapsed-time codes such as [h] count as times too.
bool IsDateFormat(const QString &formatCode);

// True for the built-in number formats 14-22 and 45-47, which are dates or times.
bool IsBuiltInDateFormat(int formatIndex);

// TRUE or FALSE.
QString BooleanText(bool value);

// An RK number of the binary formats (.xls, .xlsb): a 30-bit integer or the
// top 30 bits of a double, either possibly divided by 100.
double RkValue(quint32 rk);

// The code of a spreadsheet error value given its BIFF number: 0x00 #NULL!,
// 0x07 #DIV/0!, 0x0F #VALUE!, 0x17 #REF!, 0x1D #NAME?, 0x24 #NUM!, 0x2A #N/A.
QString ErrorText(int biffCode);

// An ISO 8601 date or date and time as stored in a file ("2024-09-02",
// "2024-09-02T13:45:00.4") in the roster's text form ("2024-09-02",
// "2024-09-02 13:45:00"), to the nearest second. Empty when it is not one.
QString IsoDateValueText(QStringView value);

// An ISO 8601 duration as stored for a time of day ("PT13H45M00S") in the
// roster's text form ("13:45:00"). Empty when it is not one.
QString IsoDurationText(QStringView value);

} // namespace plivan
