// libFuzzer target for Office Open XML packages locked with a password: the
// input is the EncryptionInfo stream's length (4 bytes, little-endian), that
// stream, and the EncryptedPackage stream, so that the mutations reach the
// encryption details and the package rather than their compound file
// (fuzz_cfb covers that).
#include "compound/EncryptedPackage.h"

#include <QByteArray>
#include <QtEndian>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    const qsizetype infoSize = qsizetype(std::min<std::size_t>(qFromLittleEndian<quint32>(data), size - 4));
    const QByteArray info(reinterpret_cast<const char *>(data + 4), infoSize);
    const std::unique_ptr<plivan::ByteSource> package = plivan::MemorySource(
        QByteArray(reinterpret_cast<const char *>(data + 4 + infoSize), qsizetype(size - 4) - infoSize));
    plivan::OpenedWorkbook opened = plivan::OpenEncryptedParts(info, *package);
    if (opened.workbook) {
        for (int row = 1; row <= 60; ++row)
            opened.workbook->cellText(row);
    }
    return 0;
}
