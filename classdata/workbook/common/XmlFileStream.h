#pragma once

#include "Internal.h"
#include "common/XmlStream.h"

#include <QIODevice>

#include <optional>

namespace plivan {

class BlockDecoder;

// An XML file parsed as it is read (an XML spreadsheet, a flat OpenDocument
// file), its bytes decoded here rather than by the parser, so that a file
// reads the same on every system whatever encoding it declares: UTF-8 or
// UTF-16 by a byte order mark or by the pattern of "<?", else the encoding
// the declaration names (UTF-8 when it names none), through the code pages
// that workbooks and web pages use (CodePageOfCharset). White space before
// the declaration is passed over. A file in an encoding not decoded here is
// refused, naming it; text that is not valid UTF-8 where UTF-8 is read is
// damage.
class XmlFileStream final : public XmlStream {
public:
    // Reads `device` from where it stands; the device outlives the stream.
    explicit XmlFileStream(QIODevice &device);
    ~XmlFileStream() override;

private:
    QByteArray readChunk(qint64 bytes, QString &error);
    bool start(QString &error);

    QIODevice &m_device;
    std::unique_ptr<BlockDecoder> m_decoder; // null until the first chunk
    bool m_utf8 = false; // decoded as UTF-8: invalid bytes are damage
};

// Why an XML file whose declaration names `encoding` cannot be read.
inline QString UnreadEncodingReason(const QString &encoding)
{
    return QStringLiteral("is written in the %1 character encoding, which Plivan cannot read").arg(encoding);
}

} // namespace plivan
