#include "zip/Package.h"

#include "common/XmlStream.h"
#include "zip/XmlPartStream.h"

#include <QUrl>

namespace plivan {

namespace {

using namespace PackageLimits;

QString RelationshipsPartName(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

} // namespace

QList<Relationship> ReadRelationships(ZipArchive &archive, const QString &part, QString *error)
{
    QList<Relationship> list;
    const std::optional<std::uint64_t> index = archive.find(RelationshipsPartName(part));
    if (!index)
        return list;
    XmlPartStream xml(archive, *index, MaxRelationshipsBytes);
    while (xml.next() != QXmlStreamReader::Invalid) {
        if (!xml.xml().isStartElement() || xml.xml().name() != u"Relationship")
            continue;
        if (Attribute(xml.xml(), QLatin1String("TargetMode")) == u"External")
            continue;
        if (list.size() >= MaxRelationships) {
            xml.fail(QStringLiteral("is damaged (it has too many relationships)"));
            break;
        }
        list.append({ Attribute(xml.xml(), QLatin1String("Id")).toString(),
            Attribute(xml.xml(), QLatin1String("Type")).toString(),
            ResolvePartName(part, Attribute(xml.xml(), QLatin1String("Target")).toString()) });
    }
    if (xml.failed())
        *error = xml.error();
    return list;
}

bool RelationshipTypeIs(const QString &type, QLatin1String last)
{
    // Transitional and strict packages use different namespaces for the same
    // relationship types; the last path segment tells them apart.
    return type.endsWith(QLatin1Char('/') + last);
}

QString SheetKindReason(const QString &relationshipType)
{
    if (RelationshipTypeIs(relationshipType, QLatin1String("chartsheet")))
        return NotAListReason(QStringLiteral("a chart"));
    if (RelationshipTypeIs(relationshipType, QLatin1String("dialogsheet")))
        return NotAListReason(QStringLiteral("a dialog sheet"));
    // Excel 4.0 macro sheets (xlMacrosheet, xlIntlMacrosheet) are grids of
    // cells, read as worksheets are.
    return {};
}

QString ResolvePartName(const QString &source, const QString &target)
{
    QString path = QUrl::fromPercentEncoding(target.toUtf8());
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!path.startsWith(QLatin1Char('/')))
        path = source.left(source.lastIndexOf(QLatin1Char('/')) + 1) + path;
    QStringList parts;
    for (const QString &segment : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == u".")
            continue;
        if (segment == u"..") {
            if (parts.isEmpty())
                return {};
            parts.removeLast();
            continue;
        }
        parts.append(segment);
    }
    return parts.join(QLatin1Char('/'));
}

std::optional<QString> FindWorkbookPart(ZipArchive &archive)
{
    QString error;
    const QList<Relationship> package = ReadRelationships(archive, QString(), &error);
    for (const Relationship &r : package) {
        if (RelationshipTypeIs(r.type, QLatin1String("officeDocument")) && archive.find(r.target))
            return r.target;
    }
    const QString usual = QStringLiteral("xl/workbook.xml");
    if (archive.find(usual))
        return usual;
    return std::nullopt;
}

QString FindBookParts(
    ZipArchive &archive, const QString &workbookPart, const BookSheets &sheets, BookParts &parts)
{
    if (sheets.ids.isEmpty())
        return QStringLiteral("is damaged (it has no sheets)");
    const qint64 tab = sheets.activeTab;
    const QString activeId = sheets.ids.at(tab >= 0 && tab < sheets.ids.size() ? qsizetype(tab) : 0);

    QString error;
    const QList<Relationship> relationships = ReadRelationships(archive, workbookPart, &error);
    if (!error.isEmpty())
        return error;
    std::optional<std::uint64_t> sheet;
    bool linked = false; // a relationship names the active sheet's part
    for (const Relationship &r : relationships) {
        if (r.id == activeId && !linked && !activeId.isEmpty()) {
            if (const QString reason = SheetKindReason(r.type); !reason.isEmpty())
                return reason;
            linked = true;
            sheet = archive.find(r.target);
        } else if (RelationshipTypeIs(r.type, QLatin1String("sharedStrings")) && !parts.sharedStrings) {
            parts.sharedStrings = archive.find(r.target);
        } else if (RelationshipTypeIs(r.type, QLatin1String("styles")) && !parts.styles) {
            parts.styles = archive.find(r.target);
        }
    }
    // The part is missing only when a relationship names it and the archive
    // does not hold it; without the relationship nothing says which part it is.
    if (!linked)
        return QStringLiteral("is damaged (its active sheet is not linked to any of its parts)");
    if (!sheet)
        return QStringLiteral("is damaged (its active sheet is missing)");
    parts.sheet = *sheet;
    return {};
}

} // namespace plivan
