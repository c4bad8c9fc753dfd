#pragma once

#include "Internal.h"

namespace plivan {

// Comma-separated text: row r is the first field of the r-th record. Fields in
// double quotes follow RFC 4180 (a doubled quote stands for one, and commas and
// line breaks inside the quotes belong to the field); records end with CR LF,
// LF or CR. The text is UTF-8 (a byte order mark is skipped) or, when its
// first block is not valid UTF-8, Windows-1252. A record whose first field is
// empty is an empty cell.
//
// The file is read as far as the row asked for, in blocks. A record longer
// than MaxCsvRecordBytes, a first field longer than MaxCsvFieldBytes, or a
// quote that is never closed marks the file as damaged from that row on.
OpenedWorkbook OpenCsv(const QString &path);

inline constexpr qsizetype MaxCsvRecordBytes = 1024 * 1024;
inline constexpr qsizetype MaxCsvFieldBytes = 64 * 1024;

} // namespace plivan
