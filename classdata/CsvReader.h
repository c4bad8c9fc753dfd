#pragma once

#include "Workbook.h"

namespace plivan {

OpenedWorkbook OpenCsv(const QString &path);
OpenedWorkbook OpenCsvData(const QByteArray &data);

} // namespace plivan
