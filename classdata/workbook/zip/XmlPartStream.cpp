#include "zip/XmlPartStream.h"

namespace plivan {

XmlPartStream::XmlPartStream(ZipArchive &archive, std::uint64_t index, qint64 limit)
    : m_part(archive.name(index))
    , m_entry(archive, index, limit)
{
    if (!m_entry.error().isEmpty())
        m_error = m_entry.error();
}

void XmlPartStream::fail(const QString &error)
{
    if (m_error.isEmpty())
        m_error = error;
}

QXmlStreamReader::TokenType XmlPartStream::next()
{
    if (!m_error.isEmpty() || m_ended)
        return QXmlStreamReader::Invalid;
    for (;;) {
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        if (token != QXmlStreamReader::Invalid) {
            m_sinceToken = 0;
            if (token == QXmlStreamReader::StartElement) {
                if (++m_depth > MaxDepth) {
                    fail(QStringLiteral("is damaged (its XML is nested too deeply)"));
                    return QXmlStreamReader::Invalid;
                }
            } else if (token == QXmlStreamReader::EndElement) {
                if (--m_depth == 0)
                    m_rootClosed = true;
            } else if (token == QXmlStreamReader::EndDocument) {
                m_ended = true;
                return QXmlStreamReader::Invalid;
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
            fail(QStringLiteral("is damaged (%1 at line %2 of %3)")
                     .arg(what)
                     .arg(m_xml.lineNumber())
                     .arg(m_part));
            return QXmlStreamReader::Invalid;
        }
        // The parser wants more: unpack the next chunk. Chunks start small, as
        // most imports need only the first few kilobytes of a part.
        const QByteArray chunk = m_entry.read(m_chunk);
        m_chunk = std::min<qint64>(m_chunk * 2, 64 * 1024);
        if (!m_entry.error().isEmpty()) {
            fail(m_entry.error());
            return QXmlStreamReader::Invalid;
        }
        if (chunk.isEmpty()) {
            // A finished document: the parser only waited to see whether
            // anything followed the root element, and nothing does.
            if (m_rootClosed) {
                m_ended = true;
                return QXmlStreamReader::Invalid;
            }
            fail(QStringLiteral("is damaged (%1 ends early)").arg(m_part));
            return QXmlStreamReader::Invalid;
        }
        m_sinceToken += chunk.size();
        if (m_sinceToken > MaxTokenBytes) {
            fail(QStringLiteral("is damaged (its XML holds an overlong piece of text)"));
            return QXmlStreamReader::Invalid;
        }
        m_xml.addData(chunk);
    }
}

bool XmlPartStream::skipElement()
{
    const int depth = m_depth;
    while (m_depth >= depth) {
        if (next() == QXmlStreamReader::Invalid)
            return false;
    }
    return true;
}

std::optional<QString> XmlPartStream::readText(qsizetype maxChars)
{
    QString text;
    const int depth = m_depth;
    while (m_depth >= depth) {
        const QXmlStreamReader::TokenType token = next();
        if (token == QXmlStreamReader::Invalid)
            return std::nullopt;
        if (token == QXmlStreamReader::Characters) {
            text += m_xml.text();
            if (text.size() > maxChars) {
                fail(QStringLiteral("is damaged (a cell's text is too long)"));
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
