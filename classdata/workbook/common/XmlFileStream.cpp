#include "common/XmlFileStream.h"

#include "TextDecoding.h"
#include "common/XmlProlog.h"

namespace plivan {

namespace {

// Enough of the file for its declaration.
constexpr qint64 DeclarationBytes = 4096;

} // namespace

XmlFileStream::XmlFileStream(QIODevice &device)
    : XmlStream([this](qint64 bytes, QString &error) { return readChunk(bytes, error); })
    , m_device(device)
{
    // The parser is given UTF-8 and told to keep to it, whatever the
    // declaration says.
    xml().addData(QString());
}

XmlFileStream::~XmlFileStream() = default;

bool XmlFileStream::start(QString &error)
{
    const QByteArray head = m_device.peek(DeclarationBytes);
    const XmlProlog prolog = ReadXmlProlog(head);
    std::optional<BlockDecoder> marked = BlockDecoder::ByOrderMark(head);
    m_utf8 = false;
    if (marked) {
        m_utf8 = !head.startsWith("\xFF\xFE") && !head.startsWith("\xFE\xFF");
        m_decoder = std::make_unique<BlockDecoder>(std::move(*marked));
    } else if (prolog.utf16) {
        // UTF-16 without its mark, told by "<" and a NUL byte.
        m_decoder = std::make_unique<BlockDecoder>(
            *BlockDecoder::ByOrderMark(head.startsWith('<') ? "\xFF\xFE" : "\xFE\xFF"));
    } else {
        const unsigned codePage
            = prolog.encoding.isEmpty() ? 65001 : CodePageOfCharset(prolog.encoding.toLatin1());
        if (codePage == 0) {
            error = UnreadEncodingReason(prolog.encoding);
            return false;
        }
        m_decoder = std::make_unique<BlockDecoder>(codePage);
        m_utf8 = codePage == 65001;
    }
    return true;
}

QByteArray XmlFileStream::readChunk(qint64 bytes, QString &error)
{
    const bool first = !m_decoder;
    if (first && !start(error))
        return {};
    QString text;
    for (;;) { // a block may decode to nothing while a character waits for its next bytes
        const QByteArray chunk = m_device.read(bytes);
        if (chunk.isEmpty() && !m_device.atEnd()) {
            error = QStringLiteral("could not be read (%1)").arg(m_device.errorString());
            return {};
        }
        text += m_decoder->decode(chunk, m_device.atEnd());
        if (!text.isEmpty() || m_device.atEnd())
            break;
    }
    if (m_utf8 && m_decoder->failed()) {
        error = QStringLiteral("is damaged (its text is not valid UTF-8)");
        return {};
    }
    if (first) {
        qsizetype start = 0;
        while (start < text.size()
            && (text[start] == u' ' || text[start] == u'\t' || text[start] == u'\n' || text[start] == u'\r'))
            ++start;
        if (QStringView(text).sliced(start).startsWith(u"<?xml"))
            text.remove(0, start);
    }
    return text.toUtf8();
}

} // namespace plivan
