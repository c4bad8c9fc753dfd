#pragma once

#include "Internal.h"
#include "zip/ZipArchive.h"

namespace plivan {

// The name of the workbook part of an Office Open XML package: the target of
// the package's officeDocument relationship, or xl/workbook.xml when the
// package records none. Empty when the archive has neither.
std::optional<QString> FindXlsxWorkbookPart(ZipArchive &archive);

// Opens the workbook part found above and the sheet that was active when the
// file was saved.
OpenedWorkbook OpenXlsx(std::unique_ptr<ZipArchive> archive, const QString &workbookPart);

// A part name that a relationship target names, seen from the part `source`:
// relative targets resolve against the source's folder ("worksheets/sheet1.xml"
// from "xl/workbook.xml" is "xl/worksheets/sheet1.xml"), absolute ones start
// at the package root ("/xl/worksheets/sheet1.xml"). Empty when the target
// climbs above the root.
QString ResolvePartName(const QString &source, const QString &target);

} // namespace plivan
