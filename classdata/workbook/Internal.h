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

// Why nothing is read when the active sheet holds no cells, for `what` such
// as "a chart" or "a macro sheet": "<path> shows a chart, not a list of
// names, on its active sheet".
inline QString NotAListReason(const QString &what)
{
    return QStringLiteral("shows %1, not a list of names, on its active sheet").arg(what);
}

} // namespace plivan
