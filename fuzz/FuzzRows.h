#pragma once

// Reads a workbook as a roster import would (rows 1 to 60), then an earlier
// row again, and traps on an empty text, which must read as no value.

#include "WorkbookData.h"

namespace plivan::fuzz {

inline void ReadRows(OpenedWorkbook opened)
{
    if (!opened.workbook)
        return;
    for (const int row : { 1, 2, 3, 5, 8, 13, 21, 30, 31, 60, 2 }) {
        const std::optional<QString> text = opened.workbook->cellText(row);
        if (text && text->isEmpty())
            __builtin_trap();
    }
}

} // namespace plivan::fuzz
