#pragma once

#include "Internal.h"
#include "common/CellValue.h"

namespace plivan {

// Text rosters: row r is the first field of the r-th record. Fields end at
// `separator` (',' or '\t'); fields in double quotes follow RFC 4180 (a
// doubled quote stands for one, and separators and line breaks inside the
// quotes belong to the field); records end with CR LF, LF or CR. The text is
// UTF-16 (little or big endian) when it starts with that byte order mark,
// else UTF-8 (a byte order mark is skipped) or, when its first block is not
// valid UTF-8, Windows-1252. A record whose first field is empty is an empty
// cell.
//
// The file is read as far as the row asked for, in blocks. A record longer
// than MaxCsvRecordBytes (counted in UTF-8), a first field of more than
// MaxCellChars characters, or a quote that is never closed marks the file
// as damaged from that row on. No more of a first field is kept than
// MaxCsvFieldBytes, past which it cannot be short enough.
OpenedWorkbook OpenCsv(std::unique_ptr<QIODevice> device, char separator);

// The separator a text file's name calls for, as the spreadsheet application
// decides it: a comma for names ending in .csv, a tab for every other name
// (.txt, .tab, and the .xls that web systems give tab-separated exports).
char TextSeparatorFor(const QString &path);

inline constexpr qsizetype MaxCsvRecordBytes = 1024 * 1024;
// UTF-8 takes at most three bytes for each UTF-16 code unit.
inline constexpr qsizetype MaxCsvFieldBytes = 3 * MaxCellChars;

} // namespace plivan
