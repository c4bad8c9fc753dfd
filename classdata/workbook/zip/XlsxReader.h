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

// One relationship of a package part: its id, its type (a URI), and the
// name of the part it targets, resolved.
struct Relationship {
    QString id;
    QString type;
    QString target;
};

// The relationships of `part` ("" for the package's own), external ones left
// out; an empty list when it has none. `error` is set when they cannot be read.
QList<Relationship> ReadRelationships(ZipArchive &archive, const QString &part, QString *error);

// True when a relationship type is the one named by its last segment
// ("worksheet", "styles"), in any of the namespaces packages use for it.
bool RelationshipTypeIs(const QString &type, QLatin1String last);

// Why the sheet a relationship of this type targets holds no list: the
// NotAListReason for a chart sheet, a macro sheet or a dialog sheet. Empty
// for a worksheet, and for any other type, whose part is read as one.
QString SheetKindReason(const QString &relationshipType);

// A part name that a relationship target names, seen from the part `source`:
// relative targets resolve against the source's folder ("worksheets/sheet1.xml"
// from "xl/workbook.xml" is "xl/worksheets/sheet1.xml"), absolute ones start
// at the package root ("/xl/worksheets/sheet1.xml"). Empty when the target
// climbs above the root.
QString ResolvePartName(const QString &source, const QString &target);

} // namespace plivan
