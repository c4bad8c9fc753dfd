#include "markup/XmlSpreadsheetReader.h"

#include "common/CellValue.h"
#include "common/XmlFileStream.h"

#include <QXmlStreamReader>

#include <libxml/HTMLparser.h>

#include <climits>

namespace plivan {

namespace {

constexpr QLatin1String SpreadsheetNs = XmlSpreadsheetNs;
const QLatin1String ExcelNs("urn:schemas-microsoft-com:office:excel");

// The highest row or column number taken from the file; far beyond any sheet,
// low enough that counting on from it cannot overflow.
constexpr int MaxIndex = INT_MAX / 2;

// An element of the spreadsheet namespace. Hand-written files sometimes leave
// the namespace out; their unqualified names count too.
bool IsSpreadsheet(const QXmlStreamReader &xml, QLatin1String name)
{
    return xml.name() == name && (xml.namespaceUri() == SpreadsheetNs || xml.namespaceUri().isEmpty());
}

// An ss: attribute, or the same name without a namespace.
QStringView SsAttribute(const QXmlStreamReader &xml, QLatin1String name)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    if (attributes.hasAttribute(SpreadsheetNs, name))
        return attributes.value(SpreadsheetNs, name);
    return attributes.value(name);
}

// A row or column number from 1; `fallback` when the attribute is missing,
// -1 when it is not a number of at least 1.
int IndexAttribute(const QXmlStreamReader &xml, QLatin1String name, int fallback)
{
    const QStringView value = SsAttribute(xml, name);
    if (value.isNull())
        return fallback;
    bool ok = false;
    const qlonglong number = value.trimmed().toLongLong(&ok);
    return ok && number >= 1 ? int(std::min<qlonglong>(number, MaxIndex)) : -1;
}

// The text a Data element of the given type shows.
QString DataText(QStringView type, const QString &text)
{
    if (type == u"Number") {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        return ok ? NumberText(value) : text;
    }
    if (type == u"DateTime") {
        // Excel writes a time alone on its day 0, 1900-01-00, which ISO 8601
        // calls 1899-12-31; the roster's date helpers keep times alone on the
        // day before, as OpenDocument does.
        QString iso = text.trimmed();
        if (iso.startsWith(u"1899-12-31T"))
            iso.replace(8, 2, QStringLiteral("30"));
        const QString date = IsoDateValueText(iso);
        return date.isEmpty() ? text : date;
    }
    if (type == u"Boolean") {
        const QString value = text.trimmed();
        if (value == u"1" || value.compare(u"true", Qt::CaseInsensitive) == 0)
            return BooleanText(true);
        if (value == u"0" || value.compare(u"false", Qt::CaseInsensitive) == 0)
            return BooleanText(false);
        return text;
    }
    if (type == u"Error")
        return text.trimmed();
    return text; // String, and text of a type this reader does not know
}

// Web systems write HTML's named characters (&eacute;, &Tau;, &nbsp;) into
// XML spreadsheets, though XML does not define them: each is read as the
// character HTML names by it, from libxml2's table of HTML's entities. A
// name that HTML does not know either is damage, naming it. The parser
// reads what is given back as markup: a character that could begin markup
// is never given (XML defines those, &lt; and &amp;, itself).
class HtmlEntities final : public QXmlStreamEntityResolver {
public:
    QString resolveUndeclaredEntity(const QString &name) override
    {
        const QByteArray utf8 = name.toUtf8();
        const htmlEntityDesc *entity = htmlEntityLookup(reinterpret_cast<const xmlChar *>(utf8.constData()));
        if (!entity || entity->value == u'<' || entity->value == u'&')
            return {};
        const char32_t value = entity->value;
        return QString::fromUcs4(&value, 1);
    }
};

class XmlSpreadsheetWorkbook final : public Workbook {
public:
    explicit XmlSpreadsheetWorkbook(std::unique_ptr<QIODevice> device)
        : m_device(std::move(device))
    {
    }

    // Finds the active worksheet's table. Empty when all went well, else why not.
    QString open()
    {
        restart();
        int active = 0;
        if (!findTable(&active) && !failed() && active > 0) {
            active = -1; // a number that names no worksheet: the first one
            restart();
            findTable(&active);
        }
        return m_stream->error();
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1 || failed())
            return std::nullopt;
        if (row < m_row) {
            // Asked again for an earlier row: read again from the start.
            int active = m_active;
            restart();
            if (!findTable(&active) && failed())
                return std::nullopt;
        }
        while (m_row < row && !m_tableDone) {
            if (!readRow()) {
                m_cell.reset();
                return std::nullopt;
            }
        }
        return m_row == row ? m_cell : std::nullopt;
    }

    QString error() const override { return m_stream->error(); }

private:
    // Reading starts again at the file's first byte.
    void restart()
    {
        m_device->seek(0);
        m_stream = std::make_unique<XmlFileStream>(*m_device);
        m_stream->xml().setEntityResolver(&m_entities);
        m_tableDepth = 0;
        m_tableDone = true;
        m_row = 0;
        m_nextRow = 1;
        m_cell.reset();
    }

    QXmlStreamReader::TokenType next() { return m_stream->next(); }
    bool skipElement() { return m_stream->skipElement(); }
    std::optional<QString> readText() { return m_stream->readText(); }
    const QXmlStreamReader &xml() const { return m_stream->xml(); }
    int depth() const { return m_stream->depth(); }
    bool failed() const { return m_stream->failed(); }
    void fail(const QString &error) { m_stream->fail(error); }

    // Reads up to the Table of worksheet *active (from 0), or of the first
    // worksheet when *active is -1. False when there is no such worksheet or
    // on an error; *active then holds the number read from the file.
    bool findTable(int *active)
    {
        if (next() != QXmlStreamReader::StartDocument && !failed())
            fail(QStringLiteral("is damaged (it is not an XML document)"));
        QXmlStreamReader::TokenType token;
        while ((token = next()) != QXmlStreamReader::StartElement) {
            if (token == QXmlStreamReader::Invalid)
                return false;
        }
        if (!IsSpreadsheet(xml(), QLatin1String("Workbook"))) {
            fail(QStringLiteral("is damaged (it is not an XML spreadsheet)"));
            return false;
        }
        const bool firstOnly = *active < 0;
        int sheet = 0;
        while ((token = next()) != QXmlStreamReader::Invalid) {
            if (token != QXmlStreamReader::StartElement || depth() != 2)
                continue;
            if (xml().name() == u"ExcelWorkbook" && xml().namespaceUri() == ExcelNs && sheet == 0
                && !firstOnly) {
                readActiveSheet(active);
            } else if (IsSpreadsheet(xml(), QLatin1String("Worksheet"))) {
                if (sheet == std::max(*active, 0)) {
                    m_active = *active;
                    return enterTable();
                }
                ++sheet;
                if (!skipElement())
                    return false;
            } else if (!skipElement()) {
                return false;
            }
        }
        if (!failed() && sheet == 0)
            fail(QStringLiteral("is damaged (it holds no worksheet)"));
        return false;
    }

    // Reads the element whose start was just returned to its end, calling
    // `child` at the start of each element directly inside it; what `child`
    // leaves unread of it is skipped. False on an error.
    template <typename Child> bool readChildren(Child child)
    {
        const int outer = depth();
        while (depth() >= outer) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid)
                return false;
            if (token == QXmlStreamReader::StartElement && depth() == outer + 1) {
                if (!child() || (depth() > outer && !skipElement()))
                    return false;
            }
        }
        return true;
    }

    void readActiveSheet(int *active)
    {
        readChildren([&] {
            if (xml().name() != u"ActiveSheet" || xml().namespaceUri() != ExcelNs)
                return true;
            const std::optional<QString> text = readText();
            bool ok = false;
            const int number = text ? text->trimmed().toInt(&ok) : 0;
            *active = ok && number >= 0 ? number : 0;
            return text.has_value();
        });
    }

    // Inside the chosen worksheet: up to the start of its Table. A worksheet
    // without one holds no cells.
    bool enterTable()
    {
        const int outer = depth();
        while (depth() >= outer) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid)
                return !failed();
            if (token == QXmlStreamReader::StartElement && depth() == outer + 1) {
                if (IsSpreadsheet(xml(), QLatin1String("Table"))) {
                    m_tableDepth = depth();
                    m_tableDone = false;
                    return true;
                }
                if (!skipElement())
                    return false;
            }
        }
        return true; // no table: every row is empty
    }

    // Reads the table's next Row into m_row and m_cell. False on an error.
    bool readRow()
    {
        for (;;) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid && failed())
                return false;
            if (token == QXmlStreamReader::Invalid
                || (token == QXmlStreamReader::EndElement && depth() < m_tableDepth)) {
                m_tableDone = true; // the table ends; the rest of the file is not needed
                return true;
            }
            if (token != QXmlStreamReader::StartElement || depth() != m_tableDepth + 1)
                continue;
            if (!IsSpreadsheet(xml(), QLatin1String("Row"))) {
                if (!skipElement())
                    return false;
                continue;
            }
            const int index = IndexAttribute(xml(), QLatin1String("Index"), m_nextRow);
            if (index < m_nextRow) {
                fail(QStringLiteral("is damaged (a row is numbered before the rows above it)"));
                return false;
            }
            bool ok = false;
            const int span = SsAttribute(xml(), QLatin1String("Span")).trimmed().toInt(&ok);
            m_row = index;
            m_nextRow = int(std::min<qint64>(qint64(index) + 1 + (ok && span > 0 ? span : 0), MaxIndex));
            return readFirstCell();
        }
    }

    // Column 1 of the row just started, read to the row's end.
    bool readFirstCell()
    {
        m_cell.reset();
        bool first = true;
        return readChildren([&] {
            // Only the row's first cell can stand in column 1.
            const bool columnOne = first && IsSpreadsheet(xml(), QLatin1String("Cell"))
                && IndexAttribute(xml(), QLatin1String("Index"), 1) == 1;
            first = false;
            return !columnOne || readCell();
        });
    }

    bool readCell()
    {
        return readChildren([&] {
            if (!IsSpreadsheet(xml(), QLatin1String("Data")))
                return true; // a Comment, which has a Data of its own, is skipped
            const QString type = SsAttribute(xml(), QLatin1String("Type")).toString();
            const std::optional<QString> text = readText();
            if (text && !DataText(type, *text).isEmpty())
                m_cell = DataText(type, *text);
            return text.has_value();
        });
    }

    std::unique_ptr<QIODevice> m_device;
    HtmlEntities m_entities;
    std::unique_ptr<XmlStream> m_stream;
    int m_active = 0; // the ActiveSheet number read, to find the table again
    int m_tableDepth = 0;
    bool m_tableDone = true; // no more rows to read
    int m_row = 0; // the last row read, and its column-1 text
    std::optional<QString> m_cell;
    int m_nextRow = 1; // the number a row without ss:Index takes
};

} // namespace

OpenedWorkbook OpenXmlSpreadsheet(std::unique_ptr<QIODevice> device)
{
    return OpenBook<XmlSpreadsheetWorkbook>(std::move(device));
}

} // namespace plivan
