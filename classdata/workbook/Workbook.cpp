#include "Workbook.h"

#include "CsvReader.h"
#include "XlsReader.h"
#include "zip/ZipWorkbook.h"

#include <QFile>
#include <QFileInfo>

namespace plivan {

OpenedWorkbook OpenWorkbook(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return { nullptr, QStringLiteral("was not found") };
    if (info.isDir())
        return { nullptr, QStringLiteral("is a folder, not a workbook") };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { nullptr, QStringLiteral("could not be read (%1)").arg(file.errorString()) };
    const QByteArray head = file.read(8);
    file.close();

    static const QByteArray compoundFile("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    if (head == compoundFile)
        return OpenXls(path);
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06"))
        return OpenZipWorkbook(path);
    const QString suffix = info.suffix().toLower();
    if (suffix == u"csv" || suffix == u"txt")
        return OpenCsv(path, TextSeparatorFor(path));
    if (head.isEmpty())
        return { nullptr, QStringLiteral("is empty") };
    return { nullptr, NotAWorkbookReason };
}

} // namespace plivan
