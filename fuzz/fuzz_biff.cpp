// libFuzzer target for Excel 2.x-4.0 files: any bytes as the bare record
// stream such a file is, read down column 1 as a roster import would.
// Seeded with the script.biff* roster fixtures.
#include "WorkbookData.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    plivan::OpenedWorkbook opened = plivan::OpenBiffData(bytes);
    if (!opened.workbook) {
        if (opened.error.isEmpty())
            __builtin_trap(); // a refusal always says why
        return 0;
    }
    for (int row = 1; row <= 60; ++row) {
        const std::optional<QString> text = opened.workbook->cellText(row);
        if (text && text->isEmpty())
            __builtin_trap(); // an empty cell must read as no value
    }
    return 0;
}
