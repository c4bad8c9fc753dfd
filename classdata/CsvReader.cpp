#include "CsvReader.h"

namespace plivan {

OpenedWorkbook OpenCsv(const QString &)
{
    return {nullptr, QStringLiteral("is not a workbook Plivan can read yet")};
}

OpenedWorkbook OpenCsvData(const QByteArray &)
{
    return {nullptr, QStringLiteral("is not a workbook Plivan can read yet")};
}

} // namespace plivan
