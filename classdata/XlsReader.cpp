#include "XlsReader.h"

namespace plivan {

OpenedWorkbook OpenXls(const QString &)
{
    return {nullptr, QStringLiteral("is not a workbook Plivan can read yet")};
}

OpenedWorkbook OpenXlsData(const QByteArray &)
{
    return {nullptr, QStringLiteral("is not a workbook Plivan can read yet")};
}

} // namespace plivan
