#pragma once

#include "Internal.h"
#include "zip/ZipArchive.h"

namespace plivan {

// True when the workbook part of a package is binary (an Excel binary
// workbook, .xlsb): it begins with the record that begins a workbook. A part
// that cannot be read counts as binary when its name ends in .bin, so that
// the reason it cannot be read is the one given.
bool IsBinaryWorkbookPart(ZipArchive &archive, const QString &workbookPart);

// Opens the binary workbook part found above and the sheet that was active
// when the file was saved. The sheet is read a record at a time, no further
// than the rows asked for; its shared texts no further than the highest one
// a cell names.
OpenedWorkbook OpenXlsb(std::unique_ptr<ZipArchive> archive, const QString &workbookPart);

} // namespace plivan
