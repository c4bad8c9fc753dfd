#include "zip/OdsReader.h"

#include "common/CellValue.h"
#include "common/XmlFileStream.h"
#include "zip/XmlPartStream.h"

#include <climits>
#include <functional>
#include <memory>

namespace plivan {

namespace {

constexpr qint64 MaxContentBytes = 128 * 1024 * 1024;
constexpr qint64 MaxSettingsBytes = 64 * 1024 * 1024;
constexpr qint64 MaxManifestBytes = 16 * 1024 * 1024;
// Rows past this are never asked for; a table whose repeat counts add up to
// more simply ends there.
constexpr qint64 LastRow = INT_MAX;

const QLatin1String OfficeNs("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QLatin1String TableNs("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QLatin1String TextNs("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QLatin1String ConfigNs("urn:oasis:names:tc:opendocument:xmlns:config:1.0");
const QLatin1String ManifestNs("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
const QLatin1String CalcExtNs("urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0");

const QString SpreadsheetType = QStringLiteral("application/vnd.oasis.opendocument.spreadsheet");

bool Is(const QXmlStreamReader &x, QLatin1String ns, QLatin1String name)
{
    return x.name() == name && x.namespaceUri() == ns;
}

bool IsXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The text of one paragraph. Runs of white space in the character data count
// as one space and are dropped at the paragraph's start and end; spaces, tabs
// and line breaks written as elements are kept as they are.
class ParagraphText {
public:
    void addCharacters(QStringView data)
    {
        for (const QChar c : data) {
            if (IsXmlSpace(c)) {
                if (!m_text.isEmpty())
                    m_pendingSpace = true;
            } else {
                flush();
                m_text += c;
            }
        }
    }
    void addLiteral(QStringView text)
    {
        flush();
        m_text += text;
    }
    qsizetype size() const { return m_text.size(); }
    const QString &text() const { return m_text; }

private:
    void flush()
    {
        if (m_pendingSpace)
            m_text += u' ';
        m_pendingSpace = false;
    }
    QString m_text;
    bool m_pendingSpace = false;
};

// Reads the paragraph element just begun to its end. Notes, annotations, ruby
// text and drawings inside it are not part of its text.
std::optional<QString> ReadParagraph(XmlStream &xml)
{
    ParagraphText paragraph;
    const int depth = xml.depth();
    while (xml.depth() >= depth) {
        const QXmlStreamReader::TokenType token = xml.next(MaxCellTextBytes);
        if (token == QXmlStreamReader::Invalid)
            return std::nullopt;
        const QXmlStreamReader &x = xml.xml();
        if (token == QXmlStreamReader::Characters) {
            paragraph.addCharacters(x.text());
        } else if (token == QXmlStreamReader::StartElement) {
            if (x.namespaceUri() == TextNs && x.name() == u"s") {
                // <text:s text:c="3"/> is three spaces; no count is one.
                bool ok = false;
                const qint64 count = Attribute(x, TextNs, QLatin1String("c")).toLongLong(&ok);
                paragraph.addLiteral(
                    QString(qsizetype(ok ? std::clamp<qint64>(count, 1, MaxCellChars + 1) : 1), u' '));
            } else if (x.namespaceUri() == TextNs && x.name() == u"tab") {
                paragraph.addLiteral(u"\t");
            } else if (x.namespaceUri() == TextNs && x.name() == u"line-break") {
                paragraph.addLiteral(u"\n");
            } else if (Is(x, OfficeNs, QLatin1String("annotation")) || Is(x, TextNs, QLatin1String("note"))
                || Is(x, TextNs, QLatin1String("ruby-text"))
                || (x.namespaceUri() != TextNs && x.namespaceUri() != OfficeNs)) {
                if (!xml.skipElement())
                    return std::nullopt;
            }
        }
        if (paragraph.size() > MaxCellChars) {
            xml.fail(CellTooLongReason);
            return std::nullopt;
        }
    }
    return paragraph.text();
}

std::optional<qint64> RepeatCount(const QXmlStreamReader &x, QLatin1String attribute)
{
    const QStringView value = Attribute(x, TableNs, attribute);
    if (value.isEmpty())
        return 1;
    bool ok = false;
    const qint64 count = value.trimmed().toLongLong(&ok);
    if (!ok || count < 1)
        return std::nullopt;
    return std::min(count, LastRow);
}

// The table named active in the view settings, read from the settings
// element just begun (or the document's start) to its end; empty when none
// is. The stream stands after the ActiveTable item, or at the element's end.
QString ReadActiveTable(XmlStream &xml)
{
    const int outer = xml.depth();
    int viewDepth = 0; // of the view settings, while inside them
    while (xml.next() != QXmlStreamReader::Invalid && xml.depth() >= outer) {
        const QXmlStreamReader &x = xml.xml();
        if (x.isEndElement() && viewDepth > xml.depth())
            break; // the end of the view settings
        if (!x.isStartElement() || x.namespaceUri() != ConfigNs)
            continue;
        const QStringView name = Attribute(x, ConfigNs, QLatin1String("name"));
        if (viewDepth == 0 && x.name() == u"config-item-set" && name == u"ooo:view-settings")
            viewDepth = xml.depth();
        else if (viewDepth > 0 && x.name() == u"config-item" && name == u"ActiveTable")
            return xml.readText().value_or(QString());
    }
    return {};
}

// The table named active in the settings part; empty when none is.
QString ActiveTableName(ZipArchive &archive, QString *error)
{
    const std::optional<std::uint64_t> index = archive.find(QStringLiteral("settings.xml"));
    if (!index)
        return {};
    XmlPartStream xml(archive, *index, MaxSettingsBytes);
    QString name = ReadActiveTable(xml);
    if (xml.failed())
        *error = xml.error();
    return name;
}

// True when the manifest records content.xml as encrypted.
bool ContentEncrypted(ZipArchive &archive)
{
    const std::optional<std::uint64_t> index = archive.find(QStringLiteral("META-INF/manifest.xml"));
    if (!index)
        return false;
    XmlPartStream xml(archive, *index, MaxManifestBytes);
    bool inContent = false;
    int entryDepth = 0;
    while (xml.next() != QXmlStreamReader::Invalid) {
        const QXmlStreamReader &x = xml.xml();
        if (x.isEndElement() && inContent && xml.depth() < entryDepth)
            inContent = false;
        if (!x.isStartElement() || x.namespaceUri() != ManifestNs)
            continue;
        if (x.name() == u"file-entry") {
            inContent = Attribute(x, ManifestNs, QLatin1String("full-path")) == u"content.xml";
            entryDepth = xml.depth();
        } else if (inContent && x.name() == u"encryption-data") {
            return true;
        }
    }
    return false;
}

// The content of a spreadsheet, parsed from its start each time it is
// called for: content.xml of a package, or a whole flat file.
using ContentStream = std::function<std::unique_ptr<XmlStream>()>;

class OdsWorkbook final : public Workbook {
public:
    // `activeTable` as the package's settings name it; a flat file, whose
    // settings stand in the document before its body, names it there.
    OdsWorkbook(ContentStream content, QString activeTable)
        : m_content(std::move(content))
        , m_activeTable(std::move(activeTable))
    {
    }

    // Reads up to the start of the active table. An error in words, or
    // NotAWorkbookReason when the content is not a spreadsheet.
    QString open()
    {
        for (bool again = false;; again = true) {
            m_xml = m_content();
            bool spreadsheet = false;
            int spreadsheetDepth = 0;
            while (m_xml->next() != QXmlStreamReader::Invalid) {
                const QXmlStreamReader &x = m_xml->xml();
                if (x.isEndElement() && spreadsheet && m_xml->depth() < spreadsheetDepth)
                    break;
                if (!x.isStartElement())
                    continue;
                if (Is(x, OfficeNs, QLatin1String("spreadsheet"))) {
                    spreadsheet = true;
                    spreadsheetDepth = m_xml->depth();
                } else if (Is(x, OfficeNs, QLatin1String("settings")) && !again) {
                    // A flat file's own settings, before its body.
                    const int depth = m_xml->depth();
                    if (const QString active = ReadActiveTable(*m_xml); !active.isEmpty())
                        m_activeTable = active;
                    while (m_xml->depth() >= depth && m_xml->next() != QXmlStreamReader::Invalid) { }
                } else if (Is(x, OfficeNs, QLatin1String("automatic-styles"))
                    || Is(x, OfficeNs, QLatin1String("font-face-decls"))
                    || Is(x, OfficeNs, QLatin1String("scripts")) || Is(x, OfficeNs, QLatin1String("settings"))
                    || Is(x, OfficeNs, QLatin1String("meta")) || Is(x, OfficeNs, QLatin1String("styles"))
                    || Is(x, OfficeNs, QLatin1String("master-styles"))) {
                    if (!m_xml->skipElement())
                        break;
                } else if (x.namespaceUri() == OfficeNs && m_xml->depth() == 3 && !spreadsheet) {
                    return NotAWorkbookReason; // the body of a text, drawing or other document
                } else if (spreadsheet && Is(x, TableNs, QLatin1String("table"))) {
                    if (m_activeTable.isEmpty()
                        || Attribute(x, TableNs, QLatin1String("name")) == m_activeTable) {
                        m_tableDepth = m_xml->depth();
                        return {};
                    }
                    if (!m_xml->skipElement())
                        break;
                }
            }
            if (m_xml->failed())
                return m_xml->error();
            if (!spreadsheet)
                return NotAWorkbookReason;
            if (m_activeTable.isEmpty()) {
                m_done = true; // a spreadsheet without tables
                return {};
            }
            // The settings name a table that is not there: read the first one.
            m_activeTable.clear();
        }
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1)
            return std::nullopt;
        while (m_error.isEmpty() && !m_done && m_lastRow < row)
            readNextRow();
        if (!m_error.isEmpty() || row < m_firstRow || row > m_lastRow)
            return std::nullopt;
        return m_rowText;
    }

    QString error() const override { return m_error; }

private:
    void stop()
    {
        m_done = true;
        if (m_xml->failed() && m_error.isEmpty())
            m_error = m_xml->error();
    }

    void readNextRow()
    {
        // The rest of the row read last, whose cells after column 1 were left unread.
        while (m_rowOpen && m_xml->depth() >= m_rowDepth) {
            if (m_xml->next() == QXmlStreamReader::Invalid)
                return stop();
        }
        m_rowOpen = false;
        for (;;) {
            const QXmlStreamReader::TokenType token = m_xml->next();
            if (token == QXmlStreamReader::Invalid)
                return stop();
            if (m_xml->depth() < m_tableDepth)
                return stop(); // the end of the table
            const QXmlStreamReader &x = m_xml->xml();
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (Is(x, TableNs, QLatin1String("table-row")))
                return readRow();
            // Rows may sit in groups; anything else in a table holds no rows.
            const bool rowGroup = x.namespaceUri() == TableNs
                && (x.name() == u"table-row-group" || x.name() == u"table-rows"
                    || x.name() == u"table-header-rows");
            if (!rowGroup && !m_xml->skipElement())
                return stop();
        }
    }

    void readRow()
    {
        const std::optional<qint64> repeat = RepeatCount(m_xml->xml(), QLatin1String("number-rows-repeated"));
        if (!repeat) {
            m_error = QStringLiteral("is damaged (a row repeat count is not a number)");
            return stop();
        }
        // A repeated row stands for that many identical rows: the counter jumps.
        m_firstRow = m_lastRow + 1;
        m_lastRow = std::min(m_lastRow + *repeat, LastRow);
        if (m_lastRow == LastRow)
            m_done = true;
        m_rowText.reset();

        m_rowOpen = true;
        m_rowDepth = m_xml->depth();
        while (m_xml->depth() >= m_rowDepth) {
            const QXmlStreamReader::TokenType token = m_xml->next();
            if (token == QXmlStreamReader::Invalid)
                return stop();
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamReader &x = m_xml->xml();
            if (x.namespaceUri() == TableNs
                && (x.name() == u"table-cell" || x.name() == u"covered-table-cell")) {
                // The row's first cell is column 1, however many columns it repeats over.
                m_rowText = readCell();
                if (m_xml->failed())
                    return stop();
                if (m_rowText && m_rowText->isEmpty())
                    m_rowText.reset();
                return;
            }
            if (!m_xml->skipElement())
                return stop();
        }
        m_rowOpen = false;
    }

    // The text of the cell element just begun, reading to its end.
    std::optional<QString> readCell()
    {
        const QXmlStreamReader &x = m_xml->xml();
        const QString type = Attribute(x, OfficeNs, QLatin1String("value-type")).toString();
        const QString calcType = Attribute(x, CalcExtNs, QLatin1String("value-type")).toString();
        const QString value = Attribute(x, OfficeNs, QLatin1String("value")).toString();
        const QString dateValue = Attribute(x, OfficeNs, QLatin1String("date-value")).toString();
        const QString timeValue = Attribute(x, OfficeNs, QLatin1String("time-value")).toString();
        const QString booleanValue = Attribute(x, OfficeNs, QLatin1String("boolean-value")).toString();
        const bool hasStringValue = x.attributes().hasAttribute(OfficeNs, QLatin1String("string-value"));
        const QString stringValue = Attribute(x, OfficeNs, QLatin1String("string-value")).toString();

        QString paragraphs;
        bool hasParagraph = false;
        const int depth = m_xml->depth();
        while (m_xml->depth() >= depth) {
            const QXmlStreamReader::TokenType token = m_xml->next();
            if (token == QXmlStreamReader::Invalid)
                return std::nullopt;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (Is(m_xml->xml(), TextNs, QLatin1String("p"))
                || Is(m_xml->xml(), TextNs, QLatin1String("h"))) {
                const std::optional<QString> paragraph = ReadParagraph(*m_xml);
                if (!paragraph)
                    return std::nullopt;
                if (hasParagraph)
                    paragraphs += u'\n';
                paragraphs += *paragraph;
                hasParagraph = true;
                if (paragraphs.size() > MaxCellChars) {
                    m_xml->fail(CellTooLongReason);
                    return std::nullopt;
                }
            } else if (!m_xml->skipElement()) {
                return std::nullopt;
            }
        }

        if (calcType == u"error")
            return paragraphs;
        if (type == u"float" || type == u"percentage" || type == u"currency") {
            bool ok = false;
            const double number = value.trimmed().toDouble(&ok);
            return ok ? NumberText(number) : paragraphs;
        }
        if (type == u"date") {
            const QString text = IsoDateValueText(dateValue.trimmed());
            return text.isEmpty() ? paragraphs : text;
        }
        if (type == u"time") {
            const QString text = IsoDurationText(timeValue.trimmed());
            return text.isEmpty() ? paragraphs : text;
        }
        if (type == u"boolean") {
            const QString b = booleanValue.trimmed();
            if (b == u"true" || b == u"1")
                return BooleanText(true);
            if (b == u"false" || b == u"0")
                return BooleanText(false);
            return paragraphs;
        }
        if (type == u"string" && !hasParagraph && hasStringValue) {
            if (stringValue.size() > MaxCellChars) {
                m_xml->fail(CellTooLongReason);
                return std::nullopt;
            }
            return stringValue;
        }
        return paragraphs;
    }

    ContentStream m_content;
    QString m_activeTable;
    std::unique_ptr<XmlStream> m_xml;
    int m_tableDepth = 0;

    bool m_done = false;
    bool m_rowOpen = false; // the row last read has cells left unread
    int m_rowDepth = 0;
    // The rows the row element last read stands for, and its text in column 1.
    qint64 m_firstRow = 0;
    qint64 m_lastRow = 0;
    std::optional<QString> m_rowText;
    QString m_error;
};

} // namespace

bool LooksLikeOds(ZipArchive &archive)
{
    if (const std::optional<std::uint64_t> index = archive.find(QStringLiteral("mimetype"))) {
        QString error;
        const std::optional<QByteArray> type = archive.readAll(*index, 256, &error);
        return type && QString::fromLatin1(type->trimmed()).startsWith(SpreadsheetType);
    }
    return archive.find(QStringLiteral("content.xml")).has_value();
}

OpenedWorkbook OpenOds(std::unique_ptr<ZipArchive> archive)
{
    if (ContentEncrypted(*archive))
        return { nullptr, QStringLiteral("is protected by a password") };
    const std::optional<std::uint64_t> content = archive->find(QStringLiteral("content.xml"));
    if (!content)
        return { nullptr, QStringLiteral("is damaged (its content part is missing)") };
    QString error;
    QString active = ActiveTableName(*archive, &error);
    if (!error.isEmpty())
        active.clear(); // damaged settings only lose the choice of table
    std::shared_ptr<ZipArchive> shared(std::move(archive));
    return OpenBook<OdsWorkbook>(
        [shared, index = *content] {
            return std::make_unique<XmlPartStream>(*shared, index, MaxContentBytes);
        },
        active);
}

OpenedWorkbook OpenFlatOds(std::unique_ptr<QIODevice> device)
{
    std::shared_ptr<QIODevice> shared(std::move(device));
    return OpenBook<OdsWorkbook>(
        [shared] {
            shared->seek(0);
            return std::make_unique<XmlFileStream>(*shared);
        },
        QString());
}

} // namespace plivan
