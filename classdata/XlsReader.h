#pragma once

#include "Workbook.h"

namespace plivan {

OpenedWorkbook OpenXls(const QString &path);
OpenedWorkbook OpenXlsData(const QByteArray &data);

} // namespace plivan
