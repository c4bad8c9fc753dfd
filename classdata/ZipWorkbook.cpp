#include "ZipWorkbook.h"

namespace plivan {

OpenedWorkbook OpenZipWorkbook(const QString &)
{
    return {nullptr, QStringLiteral("is not a workbook Plivan can read yet")};
}

OpenedWorkbook OpenZipWorkbookData(const QByteArray &)
{
    return {nullptr, QStringLiteral("is not a workbook Plivan can read yet")};
}

} // namespace plivan
