#pragma once

#include "Internal.h"
#include "zip/ZipArchive.h"

namespace plivan {

// True when the archive is an OpenDocument spreadsheet (or spreadsheet
// template) by its mimetype entry, or, lacking one, holds a content part.
bool LooksLikeOds(ZipArchive &archive);

// Opens the table that was active when the file was saved (the first table
// when the file does not say).
OpenedWorkbook OpenOds(std::unique_ptr<ZipArchive> archive);

// The same spreadsheet as one XML file: a flat OpenDocument file (.fods,
// <office:document>, its settings inside it), or a package's content part
// on its own (<office:document-content>, without settings: its first table).
OpenedWorkbook OpenFlatOds(std::unique_ptr<QIODevice> device);

} // namespace plivan
