// libFuzzer target for OpenDocument spreadsheets of one XML document (a flat
// .fods, a content part alone): any bytes as a whole file. The same bytes go
// through the tests that tell a file's format by its head first.
#include "FuzzRows.h"
#include "Sniffing.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    plivan::SniffXml(bytes);
    plivan::LooksLikeHtml(bytes, true);
    plivan::fuzz::ReadRows(plivan::OpenFlatOdsData(bytes));
    return 0;
}
