#pragma once

// The package layer of Office Open XML workbooks, shared by .xlsx and .xlsb:
// the limits on what one package may make us unpack or hold, relationships
// and the part names they target, the kinds of sheet they name, and the
// parts that the workbook part leads to.

#include "Internal.h"
#include "zip/ZipArchive.h"

#include <QList>
#include <QStringList>

namespace plivan {

// Limits on what one Office Open XML workbook (.xlsx, .xlsm or .xlsb) may make
// us unpack or hold. A roster needs only the first rows of its sheet; the
// limits also bound the time a hostile file can cost, as XML is parsed at some
// tens of megabytes a second.
namespace PackageLimits {
constexpr qint64 MaxSheetBytes = 64 * 1024 * 1024;
constexpr qint64 MaxSharedStringBytes = 128 * 1024 * 1024;
constexpr qint64 MaxWorkbookBytes = 64 * 1024 * 1024;
constexpr qint64 MaxStylesBytes = 64 * 1024 * 1024;
constexpr int MaxSheets = 100000;
constexpr std::size_t MaxCellFormats = 1000000;
constexpr qsizetype MaxSharedStrings = 4 * 1024 * 1024;
constexpr qint64 MaxSharedStringChars = 64 * 1024 * 1024;
constexpr qint64 MaxRelationshipsBytes = 16 * 1024 * 1024;
constexpr int MaxRelationships = 100000;
} // namespace PackageLimits

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
// NotAListReason for a chart sheet or a dialog sheet. Empty for a worksheet,
// an Excel 4.0 macro sheet, and any other type, whose part is read as one.
QString SheetKindReason(const QString &relationshipType);

// A part name that a relationship target names, seen from the part `source`:
// relative targets resolve against the source's folder ("worksheets/sheet1.xml"
// from "xl/workbook.xml" is "xl/worksheets/sheet1.xml"), absolute ones start
// at the package root ("/xl/worksheets/sheet1.xml"). Empty when the target
// climbs above the root.
QString ResolvePartName(const QString &source, const QString &target);

// The name of the workbook part of a package: the target of the package's
// officeDocument relationship, or xl/workbook.xml when the package records
// none. Empty when the archive has neither.
std::optional<QString> FindWorkbookPart(ZipArchive &archive);

// What a workbook part says of its sheets: their relationship ids in order,
// the active tab of its first book view, and the date system.
struct BookSheets {
    QStringList ids;
    qint64 activeTab = 0;
    bool viewSeen = false;
    bool date1904 = false;

    // The next sheet; false, with nothing added, once there are as many as
    // a workbook may hold.
    bool add(const QString &id)
    {
        if (ids.size() >= PackageLimits::MaxSheets)
            return false;
        ids.append(id);
        return true;
    }
};

inline const QString TooManySheets = QStringLiteral("is damaged (it has too many sheets)");

// The parts that a workbook part leads to: the sheet that was active when
// the file was saved, and the package's shared strings and styles.
struct BookParts {
    std::uint64_t sheet = 0;
    std::optional<std::uint64_t> sharedStrings;
    std::optional<std::uint64_t> styles;
};

// Finds them through the workbook part's relationships: the active tab's
// sheet, or the first sheet when the tab names none. A sheet without a
// relationship id is never found. Why not, in words that complete
// "<path> ...": no sheets, a chart or dialog sheet, a sheet that no
// relationship links to a part, or one whose part is missing; empty when all
// went well.
QString FindBookParts(
    ZipArchive &archive, const QString &workbookPart, const BookSheets &sheets, BookParts &parts);

// Reads what a workbook part (the entry at `workbookPart`) says of its
// sheets; the reason it cannot, in words that complete "<path> ...".
using ReadSheets = QString (*)(ZipArchive &archive, std::uint64_t workbookPart, BookSheets &sheets);

// A workbook of type `Book`, made from the archive, the parts found and the
// date system, once its workbook part has been read by `readSheets` and its
// parts found.
template <typename Book>
OpenedWorkbook OpenPackageBook(
    std::unique_ptr<ZipArchive> archive, const QString &workbookPart, ReadSheets readSheets)
{
    const std::optional<std::uint64_t> index = archive->find(workbookPart);
    if (!index)
        return { nullptr, QStringLiteral("is damaged (its workbook part is missing)") };
    BookSheets sheets;
    if (const QString error = readSheets(*archive, *index, sheets); !error.isEmpty())
        return { nullptr, error };
    BookParts parts;
    if (const QString error = FindBookParts(*archive, workbookPart, sheets, parts); !error.isEmpty())
        return { nullptr, error };
    return OpenBook<Book>(std::move(archive), parts, sheets.date1904);
}

} // namespace plivan
