#pragma once

#include "Internal.h"
#include "common/ByteSource.h"

#include <memory>

namespace plivan {

// Excel 97-2003 (BIFF8) and Excel 5/95 (BIFF5) workbooks, and Excel 2.x-4.0
// worksheets (BIFF2, BIFF3, BIFF4) and Excel 4.0 workbooks: a workbook
// stream of records, wherever it is kept. That is a compound file's Workbook
// stream (`namedWorkbook`, BIFF8 unless its BOF says otherwise) or Book
// stream (BIFF5), or, from Excel 2.x to 4.0, a file that holds the records
// alone (IsBiffStream in Sniffing.h tells such a file). Only the records that
// lead to column 1 of the active sheet are read, as far as the rows asked
// for; shared strings are decoded only up to the highest one a cell uses.
OpenedWorkbook OpenWorkbookStream(std::unique_ptr<ByteSource> stream, bool namedWorkbook);

} // namespace plivan
