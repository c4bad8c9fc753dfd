#pragma once

#include "Internal.h"

namespace plivan {

// Excel 97-2003 (BIFF8) and Excel 5/95 (BIFF5) workbooks: the compound-file
// container through libgsf, the workbook records read here. Only the records
// that lead to column 1 of the active sheet are read, as far as the rows asked
// for; shared strings are decoded only up to the highest one a cell uses.
OpenedWorkbook OpenXls(const QString &path);

} // namespace plivan
