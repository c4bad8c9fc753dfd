// libFuzzer target for the compound-file reader alone: open the bytes, list
// the root storage, and read every stream forwards in blocks, then backwards.
#include "compound/CompoundFile.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString error;
    const std::unique_ptr<plivan::CompoundFile> file = plivan::CompoundFile::openData(
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    if (!file)
        return 0;
    std::vector<quint8> buffer(1000);
    for (const plivan::CompoundFile::Entry &entry : file->entries()) {
        file->find(entry.name);
        const std::unique_ptr<plivan::ByteSource> stream = file->stream(entry, &error);
        if (!stream)
            continue;
        const qint64 total = stream->size();
        for (qint64 at = 0; at < total; at += 1000) {
            if (!stream->read(at, std::min<qint64>(1000, total - at), buffer.data()))
                break;
        }
        for (qint64 at = total; at > 0;) {
            const qint64 from = std::max<qint64>(0, at - 777);
            stream->read(from, at - from, buffer.data());
            at = from;
        }
    }
    return 0;
}
