// libFuzzer target for the CSV reader: any bytes as a whole file, read down
// column 1 as a roster import would.
#include "WorkbookData.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    plivan::OpenedWorkbook opened = plivan::OpenCsvData(bytes);
    if (!opened.workbook)
        return 0;
    for (int row = 1; row <= 60; ++row) {
        const std::optional<QString> text = opened.workbook->cellText(row);
        if (text && text->isEmpty())
            __builtin_trap(); // an empty cell must read as no value
    }
    return 0;
}
