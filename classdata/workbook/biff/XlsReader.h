#pragma once

#include "common/ByteSource.h"

#include <memory>

namespace plivan {

// Excel 97-2003 (BIFF8) and Excel 5/95 (BIFF5) workbooks: the Workbook or
// Book stream of a compound file, its records read here. Only the records
// that lead to column 1 of the active sheet are read, as far as the rows asked
// for; shared strings are decoded only up to the highest one a cell uses.
//
// A workbook stream of records, wherever it is kept: a compound file's
// Workbook stream (`namedWorkbook`, BIFF8 unless its BOF says otherwise) or
// Book stream (BIFF5), or a file that holds the records alone.
OpenedWorkbook OpenWorkbookStream(std::unique_ptr<ByteSource> stream, bool namedWorkbook);

// Excel 2.x-4.0 worksheets (BIFF2, BIFF3, BIFF4) and Excel 4.0 workbooks: a
// file that is a bare stream of records, read by the same reader
// (IsBiffStream in Sniffing.h tells such a file).
OpenedWorkbook OpenBiff(const QString &path);

} // namespace plivan
