#pragma once

#include "Internal.h"
#include "zip/ZipArchive.h"

namespace plivan {

// Opens the workbook part (FindWorkbookPart in zip/Package.h) and the sheet that was active when the
// file was saved.
OpenedWorkbook OpenXlsx(std::unique_ptr<ZipArchive> archive, const QString &workbookPart);

} // namespace plivan
