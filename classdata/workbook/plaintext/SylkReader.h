#pragma once

#include "Internal.h"

namespace plivan {

// SYLK (.slk), the text spreadsheet of records a line each that starts with
// "ID;P". Column 1 takes the values (K fields) of the C records at column 1;
// a record's row (Y) and column (X) may be left out and then carry over from
// the record before it, C and F records alike, and a later value for the
// same cell wins over an earlier one. Text is in double quotes (";;" stands
// for a semicolon; escapes as Excel writes them: ESC " :" a line break, ESC
// N B e an é); numbers show as written
// unless the picture (a P;P record) that an F record gives the cell, its row
// or column 1 is a date or time; TRUE, FALSE and error values as they are.
// Records end at the E record.
//
// The file is read whole when it is opened, up to MaxSylkBytes, and decoded
// as UTF-16 or UTF-8 where it is that and as Windows-1252 otherwise. A row or
// column that is not a number from 1 up to MaxSylkRows or MaxSylkColumns, or
// a missing E record, marks the file damaged from the row after the last one
// read; a quote that is not closed, from the row of its cell.
OpenedWorkbook OpenSylk(std::unique_ptr<QIODevice> device);

inline constexpr qint64 MaxSylkBytes = 16 * 1024 * 1024;
inline constexpr int MaxSylkRows = 1048576;
inline constexpr int MaxSylkColumns = 16384;

} // namespace plivan
