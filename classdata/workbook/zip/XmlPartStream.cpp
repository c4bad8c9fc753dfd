#include "zip/XmlPartStream.h"

namespace plivan {

XmlPartStream::XmlPartStream(ZipArchive &archive, std::uint64_t index, qint64 limit)
    : XmlStream(
        [this](qint64 bytes, QString &error) {
            QByteArray chunk = m_entry.read(bytes);
            error = m_entry.error();
            return chunk;
        },
        archive.name(index))
    , m_entry(archive, index, limit)
{
    if (!m_entry.error().isEmpty())
        fail(m_entry.error());
}

} // namespace plivan
