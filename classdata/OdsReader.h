#pragma once

#include "Workbook.h"
#include "ZipArchive.h"

namespace plivan {

// True when the archive is an OpenDocument spreadsheet (or spreadsheet
// template) by its mimetype entry, or, lacking one, holds a content part.
bool LooksLikeOds(ZipArchive &archive);

// Opens the table that was active when the file was saved (the first table
// when the file does not say).
OpenedWorkbook OpenOds(std::unique_ptr<ZipArchive> archive);

// An ISO 8601 date or date and time as stored in a file ("2024-09-02",
// "2024-09-02T13:45:00.4") in the roster's text form ("2024-09-02",
// "2024-09-02 13:45:00"), to the nearest second. Empty when it is not one.
QString IsoDateValueText(QStringView value);

// An ISO 8601 duration as stored for a time of day ("PT13H45M00S") in the
// roster's text form ("13:45:00"). Empty when it is not one.
QString IsoDurationText(QStringView value);

} // namespace plivan
