#include "common/XmlStream.h"

#include "common/CellValue.h"

namespace plivan {

XmlStream::XmlStream(ReadChunk read, QString part)
    : m_read(std::move(read))
    , m_part(std::move(part))
{
    m_xml.setEntityExpansionLimit(0);
}

void XmlStream::fail(const QString &error)
{
    if (m_error.isEmpty())
        m_error = error;
}

QXmlStreamReader::TokenType XmlStream::next(qint64 tokenLimit)
{
    if (!m_error.isEmpty() || m_ended)
        return QXmlStreamReader::Invalid;
    for (;;) {
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        if (token != QXmlStreamReader::Invalid) {
            m_sinceToken = 0;
            switch (token) {
            case QXmlStreamReader::StartElement:
                if (++m_depth > MaxDepth) {
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
            // Qt's own words for what is wrong, as in "is damaged (opening and
            // ending tag mismatch at line 3 of xl/worksheets/sheet1.xml)".
            QString what = m_xml.errorString();
            while (what.endsWith(QLatin1Char('.')))
                what.chop(1);
            if (!what.isEmpty())
                what[0] = what[0].toLower();
            const QString where = m_part.isEmpty() ? QString() : QStringLiteral(" of %1").arg(m_part);
            if (m_forbidden >= 0 && m_xml.error() == QXmlStreamReader::NotWellFormedError
                && m_xml.lineNumber() >= m_forbiddenLine) {
                fail(QStringLiteral(
                    "is damaged (it holds a character that XML does not allow, U+%1, at line %2%3)")
                         .arg(QString::number(m_forbidden, 16).toUpper().rightJustified(4, QLatin1Char('0')))
                         .arg(m_forbiddenLine)
                         .arg(where));
                return QXmlStreamReader::Invalid;
            }
            fail(QStringLiteral("is damaged (%1 at line %2%3)").arg(what).arg(m_xml.lineNumber()).arg(where));
            return QXmlStreamReader::Invalid;
        }
        // The parser wants more. Chunks start small, as most imports need
        // only the first few kilobytes.
        QString readError;
        const QByteArray chunk = m_read(m_chunk, readError);
        m_chunk = std::min<qint64>(m_chunk * 2, 64 * 1024);
        if (!readError.isEmpty()) {
            fail(readError);
            return QXmlStreamReader::Invalid;
        }
        if (chunk.isEmpty()) {
            // A finished document: the parser only waited to see whether
            // anything followed the root element, and nothing does.
            if (m_rootClosed) {
                m_ended = true;
                return QXmlStreamReader::Invalid;
            }
            fail(m_part.isEmpty() ? QStringLiteral("is damaged (the file ends early)")
                                  : QStringLiteral("is damaged (%1 ends early)").arg(m_part));
            return QXmlStreamReader::Invalid;
        }
        m_sinceToken += chunk.size();
        if (m_sinceToken > tokenLimit) {
            fail(tokenLimit < MaxTokenBytes
                    ? CellTooLongReason
                    : QStringLiteral("is damaged (its XML holds an overlong piece of text)"));
            return QXmlStreamReader::Invalid;
        }
        noteForbidden(chunk);
        m_xml.addData(chunk);
    }
}

void XmlStream::noteForbidden(QByteArrayView chunk)
{
    if (m_bytesRead == 0) {
        m_wide = chunk.startsWith("\xFF\xFE") || chunk.startsWith("\xFE\xFF")
            || (chunk.size() >= 2 && (chunk[0] == '\0' || chunk[1] == '\0'));
    }
    m_bytesRead += chunk.size();
    if (m_wide || m_forbidden >= 0)
        return;
    for (const char c : chunk) {
        const auto byte = quint8(c);
        if (byte == '\n') {
            ++m_lines;
        } else if (byte < 0x20 && byte != '\t' && byte != '\r') {
            m_forbidden = byte;
            m_forbiddenLine = m_lines;
            return;
        }
    }
}

bool XmlStream::skipElement()
{
    const int depth = m_depth;
    while (m_depth >= depth) {
        if (next() == QXmlStreamReader::Invalid)
            return false;
    }
    return true;
}

std::optional<QString> XmlStream::readText()
{
    QString text;
    const int depth = m_depth;
    while (m_depth >= depth) {
        const QXmlStreamReader::TokenType token = next(MaxCellTextBytes);
        if (token == QXmlStreamReader::Invalid)
            return std::nullopt;
        if (token == QXmlStreamReader::Characters) {
            text += m_xml.text();
            if (text.size() > MaxCellChars) {
                fail(CellTooLongReason);
                return std::nullopt;
            }
        }
    }
    return text;
}

QStringView Attribute(const QXmlStreamReader &xml, QLatin1String name)
{
    return xml.attributes().value(name);
}

QStringView Attribute(const QXmlStreamReader &xml, QLatin1String namespaceUri, QLatin1String name)
{
    return xml.attributes().value(namespaceUri, name);
}

} // namespace plivan
