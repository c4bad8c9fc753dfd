#include "XmlSpreadsheetReader.h"

#include "CellValue.h"
#include "fuzzing/WorkbookData.h"

#include <QXmlStreamReader>

#include <climits>

namespace plivan {

namespace {

const QLatin1String SpreadsheetNs("urn:schemas-microsoft-com:office:spreadsheet");
const QLatin1String ExcelNs("urn:schemas-microsoft-com:office:excel");
const QLatin1String WordNs("http://schemas.microsoft.com/office/word/2003/wordml");

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
        if (!findTable(&active) && m_error.isEmpty() && active > 0) {
            active = -1; // a number that names no worksheet: the first one
            restart();
            findTable(&active);
        }
        return m_error;
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1 || !m_error.isEmpty())
            return std::nullopt;
        if (row < m_row) {
            // Asked again for an earlier row: read again from the start.
            int active = m_active;
            restart();
            if (!findTable(&active) && !m_error.isEmpty())
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

    QString error() const override { return m_error; }

private:
    void fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error = error;
    }

    void restart()
    {
        m_device->seek(0);
        m_xml.clear();
        m_xml.setEntityExpansionLimit(0);
        m_depth = 0;
        m_sinceToken = 0;
        m_chunk = 16 * 1024;
        m_ended = m_rootClosed = false;
        m_tableDepth = 0;
        m_tableDone = true;
        m_row = 0;
        m_nextRow = 1;
        m_cell.reset();
    }

    // The next token, or Invalid at the end of the document or on an error.
    QXmlStreamReader::TokenType next()
    {
        if (!m_error.isEmpty() || m_ended)
            return QXmlStreamReader::Invalid;
        for (;;) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token != QXmlStreamReader::Invalid) {
                m_sinceToken = 0;
                switch (token) {
                case QXmlStreamReader::StartElement:
                    if (++m_depth > MaxXmlDepth) {
                        fail(QStringLiteral("is damaged (its XML is nested too deeply)"));
                        return QXmlStreamReader::Invalid;
                    }
                    break;
                case QXmlStreamReader::EndElement:
                    if (--m_depth == 0)
                        m_rootClosed = true;
                    break;
                case QXmlStreamReader::DTD:
                    if (!m_xml.entityDeclarations().isEmpty()) {
                        fail(QStringLiteral("is damaged (its XML declares entities of its own)"));
                        return QXmlStreamReader::Invalid;
                    }
                    break;
                case QXmlStreamReader::EndDocument:
                    m_ended = true;
                    return QXmlStreamReader::Invalid;
                default:
                    break;
                }
                return token;
            }
            if (m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
                // Qt's own words, as in "is damaged (opening and ending tag
                // mismatch at line 3)".
                QString what = m_xml.errorString();
                while (what.endsWith(QLatin1Char('.')))
                    what.chop(1);
                if (!what.isEmpty())
                    what[0] = what[0].toLower();
                fail(QStringLiteral("is damaged (%1 at line %2)").arg(what).arg(m_xml.lineNumber()));
                return QXmlStreamReader::Invalid;
            }
            // The parser wants more. Chunks start small: most imports need
            // only the first rows.
            const QByteArray chunk = m_device->read(m_chunk);
            m_chunk = std::min<qint64>(m_chunk * 2, 64 * 1024);
            if (chunk.isEmpty()) {
                if (m_rootClosed)
                    m_ended = true;
                else if (!m_device->atEnd())
                    fail(QStringLiteral("could not be read (%1)").arg(m_device->errorString()));
                else
                    fail(QStringLiteral("is damaged (the file ends early)"));
                return QXmlStreamReader::Invalid;
            }
            m_sinceToken += chunk.size();
            if (m_sinceToken > MaxXmlTokenBytes) {
                fail(QStringLiteral("is damaged (its XML holds an overlong piece of text)"));
                return QXmlStreamReader::Invalid;
            }
            m_xml.addData(chunk);
        }
    }

    // Reads on to the end of the element whose start was just returned.
    bool skipElement()
    {
        const int depth = m_depth;
        while (m_depth >= depth) {
            if (next() == QXmlStreamReader::Invalid)
                return false;
        }
        return true;
    }

    // The character data of the element whose start was just returned, and
    // of the elements inside it, read to its end.
    std::optional<QString> readText()
    {
        QString text;
        const int depth = m_depth;
        while (m_depth >= depth) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid)
                return std::nullopt;
            if (token == QXmlStreamReader::Characters) {
                text += m_xml.text();
                if (text.size() > MaxXmlCellChars) {
                    fail(QStringLiteral("is damaged (a cell's text is too long)"));
                    return std::nullopt;
                }
            }
        }
        return text;
    }

    // Reads up to the Table of worksheet *active (from 0), or of the first
    // worksheet when *active is -1. False when there is no such worksheet or
    // on an error; *active then holds the number read from the file.
    bool findTable(int *active)
    {
        if (next() != QXmlStreamReader::StartDocument && m_error.isEmpty())
            fail(QStringLiteral("is damaged (it is not an XML document)"));
        QXmlStreamReader::TokenType token;
        while ((token = next()) != QXmlStreamReader::StartElement) {
            if (token == QXmlStreamReader::Invalid)
                return false;
        }
        if (!IsSpreadsheet(m_xml, QLatin1String("Workbook"))) {
            fail(QStringLiteral("is damaged (it is not an XML spreadsheet)"));
            return false;
        }
        const bool firstOnly = *active < 0;
        int sheet = 0;
        while ((token = next()) != QXmlStreamReader::Invalid) {
            if (token != QXmlStreamReader::StartElement || m_depth != 2)
                continue;
            if (m_xml.name() == u"ExcelWorkbook" && m_xml.namespaceUri() == ExcelNs && sheet == 0
                && !firstOnly) {
                readActiveSheet(active);
            } else if (IsSpreadsheet(m_xml, QLatin1String("Worksheet"))) {
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
        if (m_error.isEmpty() && sheet == 0)
            fail(QStringLiteral("is damaged (it holds no worksheet)"));
        return false;
    }

    // Reads the element whose start was just returned to its end, calling
    // `child` at the start of each element directly inside it; what `child`
    // leaves unread of it is skipped. False on an error.
    template <typename Child> bool readChildren(Child child)
    {
        const int depth = m_depth;
        while (m_depth >= depth) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid)
                return false;
            if (token == QXmlStreamReader::StartElement && m_depth == depth + 1) {
                if (!child() || (m_depth > depth && !skipElement()))
                    return false;
            }
        }
        return true;
    }

    void readActiveSheet(int *active)
    {
        readChildren([&] {
            if (m_xml.name() != u"ActiveSheet" || m_xml.namespaceUri() != ExcelNs)
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
        const int depth = m_depth;
        while (m_depth >= depth) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid)
                return m_error.isEmpty();
            if (token == QXmlStreamReader::StartElement && m_depth == depth + 1) {
                if (IsSpreadsheet(m_xml, QLatin1String("Table"))) {
                    m_tableDepth = m_depth;
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
            if (token == QXmlStreamReader::Invalid && !m_error.isEmpty())
                return false;
            if (token == QXmlStreamReader::Invalid
                || (token == QXmlStreamReader::EndElement && m_depth < m_tableDepth)) {
                m_tableDone = true; // the table ends; the rest of the file is not needed
                return true;
            }
            if (token != QXmlStreamReader::StartElement || m_depth != m_tableDepth + 1)
                continue;
            if (!IsSpreadsheet(m_xml, QLatin1String("Row"))) {
                if (!skipElement())
                    return false;
                continue;
            }
            const int index = IndexAttribute(m_xml, QLatin1String("Index"), m_nextRow);
            if (index < m_nextRow) {
                fail(QStringLiteral("is damaged (a row is numbered before the rows above it)"));
                return false;
            }
            bool ok = false;
            const int span = SsAttribute(m_xml, QLatin1String("Span")).trimmed().toInt(&ok);
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
            const bool columnOne = first && IsSpreadsheet(m_xml, QLatin1String("Cell"))
                && IndexAttribute(m_xml, QLatin1String("Index"), 1) == 1;
            first = false;
            return !columnOne || readCell();
        });
    }

    bool readCell()
    {
        return readChildren([&] {
            if (!IsSpreadsheet(m_xml, QLatin1String("Data")))
                return true; // a Comment, which has a Data of its own, is skipped
            const QString type = SsAttribute(m_xml, QLatin1String("Type")).toString();
            const std::optional<QString> text = readText();
            if (text && !DataText(type, *text).isEmpty())
                m_cell = DataText(type, *text);
            return text.has_value();
        });
    }

    std::unique_ptr<QIODevice> m_device;
    QXmlStreamReader m_xml;
    int m_depth = 0;
    qint64 m_sinceToken = 0;
    qint64 m_chunk = 16 * 1024;
    bool m_ended = false;
    bool m_rootClosed = false;
    int m_active = 0; // the ActiveSheet number read, to find the table again
    int m_tableDepth = 0;
    bool m_tableDone = true; // no more rows to read
    int m_row = 0; // the last row read, and its column-1 text
    std::optional<QString> m_cell;
    int m_nextRow = 1; // the number a row without ss:Index takes
    QString m_error;
};

OpenedWorkbook Open(std::unique_ptr<QIODevice> device)
{
    auto workbook = std::make_unique<XmlSpreadsheetWorkbook>(std::move(device));
    const QString error = workbook->open();
    if (!error.isEmpty())
        return { nullptr, error };
    return { std::move(workbook), {} };
}

} // namespace

XmlKind SniffXml(QByteArrayView head)
{
    QXmlStreamReader xml(head.toByteArray());
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (xml.name() == u"Workbook"
                && (xml.namespaceUri() == SpreadsheetNs || xml.namespaceUri().isEmpty()))
                return XmlKind::Spreadsheet;
            if (xml.name() == u"wordDocument" && xml.namespaceUri() == WordNs)
                return XmlKind::WordDocument;
            return XmlKind::Other;
        }
    }
    return XmlKind::NotXml;
}

OpenedWorkbook OpenXmlSpreadsheet(const QString &path)
{
    return OpenFileWith(path, Open);
}

OpenedWorkbook OpenXmlSpreadsheetData(const QByteArray &data)
{
    return OpenBytesWith(data, Open);
}

} // namespace plivan
