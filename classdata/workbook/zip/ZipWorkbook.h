#pragma once

#include "Internal.h"

namespace plivan {

// A ZIP archive: an Office Open XML workbook (.xlsx), an Excel binary
// workbook (.xlsb) or an OpenDocument spreadsheet (.ods), told apart by the
// parts it holds.
OpenedWorkbook OpenZipWorkbook(const QString &path);

} // namespace plivan
