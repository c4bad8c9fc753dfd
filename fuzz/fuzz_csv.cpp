// libFuzzer target for the text reader: any bytes as a whole file, read down
// column 1 as a roster import would, split at commas and at tabs.
#include "WorkbookData.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const char separator : { ',', '\t' }) {
        plivan::OpenedWorkbook opened = plivan::OpenCsvData(bytes, separator);
        if (!opened.workbook)
            continue;
        for (int row = 1; row <= 60; ++row) {
            const std::optional<QString> text = opened.workbook->cellText(row);
            if (text && text->isEmpty())
                __builtin_trap(); // an empty cell must read as no value
        }
    }
    return 0;
}
