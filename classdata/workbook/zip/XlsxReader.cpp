#include "zip/XlsxReader.h"

#include "common/CellValue.h"
#include "zip/CellDateFormats.h"
#include "zip/Package.h"
#include "zip/SharedTexts.h"
#include "zip/XmlPartStream.h"

#include <QHash>

#include <climits>
#include <vector>

namespace plivan {

namespace {

using namespace PackageLimits;

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
        switch (xml.next(MaxCellTextBytes)) {
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
                    xml.fail(CellTooLongReason);
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
    XlsxWorkbook(std::unique_ptr<ZipArchive> archive, const BookParts &parts, bool date1904)
        : m_archive(std::move(archive))
        , m_sheet(*m_archive, parts.sheet, MaxSheetBytes)
        , m_sharedStrings(*m_archive, parts.sharedStrings)
        , m_styles(*m_archive, parts.styles, ReadDateFormats)
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

    // Why the sheet cannot be read at all, found when its part is opened.
    QString open() const { return m_sheet.failed() ? m_sheet.error() : QString(); }

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
                value = m_sheet.readText();
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
            else if (m_styles.isDate(style ? *style : 0))
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

    std::unique_ptr<ZipArchive> m_archive;
    XmlPartStream m_sheet;
    XmlSharedTexts m_sharedStrings;
    DateStyles m_styles;
    bool m_date1904 = false;

    bool m_inSheetData = false;
    bool m_rowOpen = false; // the row last read has cells left unread
    int m_rowDepth = 0;
    bool m_done = false;
    int m_rowNumber = 0; // of the row last read
    std::optional<QString> m_rowText;
    QString m_error;
};

// What the workbook part says of its sheets.
QString ReadBookSheets(ZipArchive &archive, std::uint64_t workbookPart, BookSheets &sheets)
{
    XmlPartStream xml(archive, workbookPart, MaxWorkbookBytes);
    bool rootSeen = false;
    while (xml.next() != QXmlStreamReader::Invalid) {
        const QXmlStreamReader &x = xml.xml();
        if (x.isEndElement() && x.name() == u"sheets" && sheets.viewSeen)
            break;
        if (!x.isStartElement())
            continue;
        if (!rootSeen) {
            rootSeen = true;
            if (x.name() != u"workbook")
                return NotAWorkbookReason;
        } else if (x.name() == u"workbookPr") {
            sheets.date1904 = Flag(Attribute(x, QLatin1String("date1904")));
        } else if (x.name() == u"workbookView" && !sheets.viewSeen) {
            sheets.viewSeen = true;
            sheets.activeTab = ParseWhole(Attribute(x, QLatin1String("activeTab"))).value_or(0);
        } else if (x.name() == u"sheet") {
            if (!sheets.add(RelationshipId(x)))
                return TooManySheets;
        }
    }
    return xml.failed() ? xml.error() : QString();
}

} // namespace

OpenedWorkbook OpenXlsx(std::unique_ptr<ZipArchive> archive, const QString &workbookPart)
{
    if (!workbookPart.endsWith(QStringLiteral(".xml"), Qt::CaseInsensitive))
        return { nullptr, NotAWorkbookReason }; // another kind of document
    return OpenPackageBook<XlsxWorkbook>(std::move(archive), workbookPart, ReadBookSheets);
}

} // namespace plivan
