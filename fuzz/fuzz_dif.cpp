// libFuzzer target for the DIF reader: any bytes as a whole file.
#include "FuzzRows.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    plivan::fuzz::ReadRows(
        plivan::OpenDifData(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))));
    return 0;
}
