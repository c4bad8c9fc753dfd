#pragma once

// Shared by the readers in this folder, and by nothing outside it: the rest of
// Plivan reaches the readers through Workbook.h alone. The build defines
// PLIVAN_WORKBOOK_INTERNALS for this library (and for its own tests), so an
// include from anywhere else stops the build here.
#ifndef PLIVAN_WORKBOOK_INTERNALS
#error "This header belongs to the workbook readers; include Workbook.h instead."
#endif

#include "Workbook.h"

namespace plivan {

// Why a file is refused when it is none of the formats read.
inline const QString NotAWorkbookReason
    = QStringLiteral("is not a workbook Plivan can read (.xls, .xlsx, .ods or .csv)");

} // namespace plivan
