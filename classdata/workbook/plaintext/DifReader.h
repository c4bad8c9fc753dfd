#pragma once

#include "Internal.h"

namespace plivan {

// DIF (.dif), the data interchange format: header sections of three lines
// each (a name, "<number>,<number>", a quoted string) from TABLE to DATA,
// then the data, each value a line "<kind>,<number>" and a line of text:
// "-1,0" BOT starts a row and "-1,0" EOD ends the data; "1,0" and a string
// (in double quotes, where "" stands for a quote, or bare) is text; "0,<n>"
// with V is a number, TRUE or FALSE a truth value, NA or ERROR #N/A or
// #VALUE!. Column 1 is the first value of each row. A number written as a
// date or time ("09/02/2024" month first, "2024-09-02 13:45:00",
// "01:45:00 PM"), as LibreOffice writes a cell with a date format, shows as
// that date or time in ISO form; other values that are not numbers show as
// written.
//
// The file is read whole when it is opened, up to MaxDifBytes, and decoded
// as UTF-16 or UTF-8 where it is that and as Windows-1252 otherwise. Header
// sections out of order, a value of no known kind, a quote that is never
// closed, or data that ends without EOD mark the file damaged from the row
// where that happens.
OpenedWorkbook OpenDif(std::unique_ptr<QIODevice> device);

inline constexpr qint64 MaxDifBytes = 16 * 1024 * 1024;

} // namespace plivan
