#include "zip/XlsxReader.h"

#include "common/CellValue.h"
#include "zip/CellDateFormats.h"
#include "zip/SharedTexts.h"
#include "zip/XmlPartStream.h"

#include <QHash>
#include <QUrl>

#include <climits>
#include <vector>

namespace plivan {

namespace {

using namespace PackageLimits;
// Beyond the package limits: relationships, and one cell's text.
constexpr qint64 MaxRelationshipsBytes = 16 * 1024 * 1024;
constexpr int MaxRelationships = 100000;
constexpr qsizetype MaxCellChars = 1024 * 1024;

const QString TooLongText = QStringLiteral("is damaged (a cell's text is too long)");

QString RelationshipsPartName(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

// A relationship id attribute such as r:id, whatever prefix names its namespace.
QString RelationshipId(const QXmlStreamReader &xml)
{
    for (const QXmlStreamAttribute &a : xml.attributes()) {
        if (a.name() == u"id" && a.namespaceUri().endsWith(u"relationships"))
            return a.value().toString();
    }
    return {};
}

std::optional<qint64> ParseWhole(QStringView text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// The column of a cell reference such as "B7": A is 1. Empty when the
// reference has no letters.
std::optional<qint64> ReferenceColumn(QStringView reference)
{
    qint64 column = 0;
    qsizetype i = 0;
    for (; i < reference.size(); ++i) {
        const QChar c = reference[i].toUpper();
        if (c < u'A' || c > u'Z')
            break;
        if (column < INT_MAX)
            column = column * 26 + (c.unicode() - u'A' + 1);
    }
    if (i == 0)
        return std::nullopt;
    return column;
}

bool Flag(QStringView value)
{
    return value == u"1" || value == u"true";
}

// Rich text as in a shared string or an inline string: the text of its runs
// joined, phonetic runs left out. Reads to the end of the element just begun.
std::optional<QString> ReadRichText(XmlPartStream &xml)
{
    QString text;
    const int depth = xml.depth();
    bool inText = false;
    while (xml.depth() >= depth) {
        switch (xml.next()) {
        case QXmlStreamReader::Invalid:
            return std::nullopt;
        case QXmlStreamReader::StartElement:
            if (xml.xml().name() == u"rPh" || xml.xml().name() == u"phoneticPr") {
                if (!xml.skipElement())
                    return std::nullopt;
            } else if (xml.xml().name() == u"t") {
                inText = true;
            }
            break;
        case QXmlStreamReader::EndElement:
            inText = false;
            break;
        case QXmlStreamReader::Characters:
            if (inText) {
                text += xml.xml().text();
                if (text.size() > MaxCellChars) {
                    xml.fail(TooLongText);
                    return std::nullopt;
                }
            }
            break;
        default:
            break;
        }
    }
    return text;
}

// The shared string table of sharedStrings.xml: <si> elements in order.
class XmlSharedTexts final : public SharedTexts {
public:
    XmlSharedTexts(ZipArchive &archive, std::optional<std::uint64_t> index)
    {
        if (index)
            m_xml = std::make_unique<XmlPartStream>(archive, *index, MaxSharedStringBytes);
    }

protected:
    std::optional<QString> readNext(QString &error) override
    {
        while (m_xml) {
            const QXmlStreamReader::TokenType token = m_xml->next();
            if (token == QXmlStreamReader::Invalid) {
                error = m_xml->error();
                m_xml.reset();
                break;
            }
            if (token != QXmlStreamReader::StartElement || m_xml->xml().name() != u"si")
                continue;
            std::optional<QString> text = ReadRichText(*m_xml);
            if (!text)
                error = m_xml->error();
            return text;
        }
        return std::nullopt;
    }

private:
    std::unique_ptr<XmlPartStream> m_xml;
};

// Which cell formats show numbers as dates, from the styles part.
std::vector<bool> ReadDateFormats(ZipArchive &archive, std::uint64_t index)
{
    CellDateFormats formats;
    XmlPartStream xml(archive, index, MaxStylesBytes);
    bool inCellFormats = false;
    while (xml.next() != QXmlStreamReader::Invalid) {
        const QXmlStreamReader &x = xml.xml();
        if (x.isEndElement() && x.name() == u"cellXfs")
            break;
        if (!x.isStartElement())
            continue;
        if (x.name() == u"cellXfs") {
            inCellFormats = true;
        } else if (x.name() == u"numFmt") {
            if (const std::optional<qint64> id = ParseWhole(Attribute(x, QLatin1String("numFmtId"))))
                formats.define(*id, Attribute(x, QLatin1String("formatCode")).toString());
        } else if (inCellFormats && x.name() == u"xf") {
            if (!formats.add(ParseWhole(Attribute(x, QLatin1String("numFmtId")))) || !xml.skipElement())
                break;
        }
    }
    return formats.take();
}

class XlsxWorkbook final : public Workbook {
public:
    XlsxWorkbook(std::unique_ptr<ZipArchive> archive, std::uint64_t sheet,
        std::optional<std::uint64_t> sharedStrings, std::optional<std::uint64_t> styles, bool date1904)
        : m_archive(std::move(archive))
        , m_sheet(*m_archive, sheet, MaxSheetBytes)
        , m_sharedStrings(*m_archive, sharedStrings)
        , m_styles(styles)
        , m_date1904(date1904)
    {
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1)
            return std::nullopt;
        while (m_error.isEmpty() && !m_done && m_rowNumber < row)
            readNextRow();
        if (!m_error.isEmpty() || m_rowNumber != row)
            return std::nullopt;
        return m_rowText;
    }

    QString error() const override { return m_error; }

    // Why the sheet cannot be read at all, found when it is opened.
    QString openError() const { return m_sheet.failed() ? m_sheet.error() : QString(); }

private:
    void fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error
                = error.isEmpty() ? QStringLiteral("is damaged (its active sheet cannot be read)") : error;
    }

    void stop()
    {
        m_done = true;
        if (m_sheet.failed())
            fail(m_sheet.error());
    }

    // Reads the next row element: its number and the text of its cell in column 1.
    void readNextRow()
    {
        // The rest of the row read last, whose cells after column 1 were left unread.
        while (m_rowOpen && m_sheet.depth() >= m_rowDepth) {
            if (m_sheet.next() == QXmlStreamReader::Invalid)
                return stop();
        }
        m_rowOpen = false;
        for (;;) {
            const QXmlStreamReader::TokenType token = m_sheet.next();
            if (token == QXmlStreamReader::Invalid)
                return stop();
            const QXmlStreamReader &x = m_sheet.xml();
            if (token == QXmlStreamReader::EndElement && m_inSheetData && x.name() == u"sheetData")
                return stop();
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (!m_inSheetData) {
                m_inSheetData = x.name() == u"sheetData";
                continue;
            }
            if (x.name() == u"row")
                return readRow();
            if (!m_sheet.skipElement())
                return stop();
        }
    }

    // Reads the row just begun as far as its cell in column 1.
    void readRow()
    {
        // A row without its number follows the one before it.
        const std::optional<qint64> number = ParseWhole(Attribute(m_sheet.xml(), QLatin1String("r")));
        if (number && *number >= 1)
            m_rowNumber = int(std::min<qint64>(*number, INT_MAX));
        else if (m_rowNumber < INT_MAX)
            ++m_rowNumber;
        m_rowText.reset();
        m_rowOpen = true;
        m_rowDepth = m_sheet.depth();

        qint64 column = 0;
        while (m_sheet.depth() >= m_rowDepth) {
            const QXmlStreamReader::TokenType token = m_sheet.next();
            if (token == QXmlStreamReader::Invalid)
                return stop();
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (m_sheet.xml().name() != u"c") {
                if (!m_sheet.skipElement())
                    return stop();
                continue;
            }
            // A cell without its reference follows the one before it.
            const std::optional<qint64> referenced
                = ReferenceColumn(Attribute(m_sheet.xml(), QLatin1String("r")));
            column = referenced ? *referenced : column + 1;
            if (column > 1)
                return; // no cell in column 1
            if (column == 1) {
                m_rowText = readCell();
                if (m_error.isEmpty() && m_sheet.failed())
                    stop();
                return;
            }
            if (!m_sheet.skipElement())
                return stop();
        }
        m_rowOpen = false;
    }

    // The text of the cell element just begun, reading to its end.
    std::optional<QString> readCell()
    {
        const QString type = Attribute(m_sheet.xml(), QLatin1String("t")).toString();
        const std::optional<qint64> style = ParseWhole(Attribute(m_sheet.xml(), QLatin1String("s")));
        std::optional<QString> value;
        std::optional<QString> inlineText;
        const int depth = m_sheet.depth();
        while (m_sheet.depth() >= depth) {
            const QXmlStreamReader::TokenType token = m_sheet.next();
            if (token == QXmlStreamReader::Invalid)
                return std::nullopt;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (m_sheet.xml().name() == u"v") {
                value = m_sheet.readText(MaxCellChars);
                if (!value)
                    return std::nullopt;
            } else if (m_sheet.xml().name() == u"is") {
                inlineText = ReadRichText(m_sheet);
                if (!inlineText)
                    return std::nullopt;
            } else if (!m_sheet.skipElement()) {
                return std::nullopt;
            }
        }

        QString text;
        if (inlineText) {
            text = *inlineText;
        } else if (!value) {
            return std::nullopt; // a formatted cell with no value, or a formula never calculated
        } else if (value->trimmed().isEmpty() && type != u"str" && type != u"inlineStr") {
            return std::nullopt; // <v/>: no shared text, number, truth value or date in it
        } else if (type == u"s") {
            const std::optional<qint64> index = ParseWhole(*value);
            const std::optional<QString> shared = m_sharedStrings.at(index ? *index : -1);
            if (!shared) {
                fail(m_sharedStrings.error());
                return std::nullopt;
            }
            text = *shared;
        } else if (type == u"b") {
            text = BooleanText(Flag(value->trimmed()));
        } else if (type == u"d") {
            text = IsoDateValueText(value->trimmed());
            if (text.isEmpty())
                text = *value;
        } else if (type.isEmpty() || type == u"n") {
            bool ok = false;
            const double number = value->trimmed().toDouble(&ok);
            if (!ok)
                text = *value;
            else if (isDateStyle(style ? *style : 0))
                text = DateText(number, m_date1904);
            else
                text = NumberText(number);
        } else {
            text = *value; // formula text ("str"), error codes ("e") and anything else as stored
        }
        if (text.isEmpty())
            return std::nullopt;
        return text;
    }

    bool isDateStyle(qint64 style)
    {
        if (m_styles) {
            // Styles are read only once a number needs them.
            m_dateFormats = ReadDateFormats(*m_archive, *m_styles);
            m_styles.reset();
        }
        return style >= 0 && std::uint64_t(style) < m_dateFormats.size() && m_dateFormats[std::size_t(style)];
    }

    std::unique_ptr<ZipArchive> m_archive;
    XmlPartStream m_sheet;
    XmlSharedTexts m_sharedStrings;
    std::optional<std::uint64_t> m_styles; // until read
    std::vector<bool> m_dateFormats;
    bool m_date1904 = false;

    bool m_inSheetData = false;
    bool m_rowOpen = false; // the row last read has cells left unread
    int m_rowDepth = 0;
    bool m_done = false;
    int m_rowNumber = 0; // of the row last read
    std::optional<QString> m_rowText;
    QString m_error;
};

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
    // Excel 4.0 macro sheets, and their international variety.
    if (RelationshipTypeIs(relationshipType, QLatin1String("xlMacrosheet"))
        || RelationshipTypeIs(relationshipType, QLatin1String("xlIntlMacrosheet")))
        return NotAListReason(QStringLiteral("a macro sheet"));
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

std::optional<QString> FindXlsxWorkbookPart(ZipArchive &archive)
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

OpenedWorkbook OpenXlsx(std::unique_ptr<ZipArchive> archive, const QString &workbookPart)
{
    if (!workbookPart.endsWith(QStringLiteral(".xml"), Qt::CaseInsensitive))
        return { nullptr, NotAWorkbookReason }; // another kind of document
    const std::optional<std::uint64_t> workbookIndex = archive->find(workbookPart);
    if (!workbookIndex)
        return { nullptr, QStringLiteral("is damaged (its workbook part is missing)") };

    // The sheets in order, and which was active.
    QStringList sheetIds;
    qint64 activeTab = 0;
    bool viewSeen = false;
    bool date1904 = false;
    {
        XmlPartStream xml(*archive, *workbookIndex, MaxWorkbookBytes);
        bool rootSeen = false;
        while (xml.next() != QXmlStreamReader::Invalid) {
            const QXmlStreamReader &x = xml.xml();
            if (x.isEndElement() && x.name() == u"sheets" && viewSeen)
                break;
            if (!x.isStartElement())
                continue;
            if (!rootSeen) {
                rootSeen = true;
                if (x.name() != u"workbook")
                    return { nullptr, NotAWorkbookReason };
            } else if (x.name() == u"workbookPr") {
                date1904 = Flag(Attribute(x, QLatin1String("date1904")));
            } else if (x.name() == u"workbookView" && !viewSeen) {
                viewSeen = true;
                activeTab = ParseWhole(Attribute(x, QLatin1String("activeTab"))).value_or(0);
            } else if (x.name() == u"sheet") {
                if (sheetIds.size() >= MaxSheets)
                    return { nullptr, QStringLiteral("is damaged (it has too many sheets)") };
                sheetIds.append(RelationshipId(x));
            }
        }
        if (xml.failed())
            return { nullptr, xml.error() };
    }
    if (sheetIds.isEmpty())
        return { nullptr, QStringLiteral("is damaged (it has no sheets)") };
    const QString activeId
        = sheetIds.at(activeTab >= 0 && activeTab < sheetIds.size() ? qsizetype(activeTab) : 0);

    QString error;
    const QList<Relationship> relationships = ReadRelationships(*archive, workbookPart, &error);
    if (!error.isEmpty())
        return { nullptr, error };
    std::optional<std::uint64_t> sheet;
    std::optional<std::uint64_t> sharedStrings;
    std::optional<std::uint64_t> styles;
    for (const Relationship &r : relationships) {
        if (r.id == activeId && !sheet) {
            if (const QString reason = SheetKindReason(r.type); !reason.isEmpty())
                return { nullptr, reason };
            sheet = archive->find(r.target);
        } else if (RelationshipTypeIs(r.type, QLatin1String("sharedStrings")) && !sharedStrings)
            sharedStrings = archive->find(r.target);
        else if (RelationshipTypeIs(r.type, QLatin1String("styles")) && !styles)
            styles = archive->find(r.target);
    }
    if (!sheet)
        return { nullptr, QStringLiteral("is damaged (its active sheet is missing)") };

    auto workbook
        = std::make_unique<XlsxWorkbook>(std::move(archive), *sheet, sharedStrings, styles, date1904);
    if (const QString failure = workbook->openError(); !failure.isEmpty())
        return { nullptr, failure };
    return { std::move(workbook), {} };
}

} // namespace plivan
