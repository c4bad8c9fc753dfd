#include "zip/ZipWorkbook.h"

#include "fuzzing/WorkbookData.h"
#include "zip/OdsReader.h"
#include "zip/XlsbReader.h"
#include "zip/XlsxReader.h"
#include "zip/ZipArchive.h"

namespace plivan {

namespace {

OpenedWorkbook OpenArchive(std::unique_ptr<ZipArchive> archive, const QString &error)
{
    if (!archive)
        return { nullptr, error };
    // The parts tell the formats apart, whatever the file is called.
    if (archive->find(QStringLiteral("word/document.xml")))
        return { nullptr, UnreadFormatReason(QStringLiteral("a Word document")) };
    if (const std::optional<QString> workbookPart = FindXlsxWorkbookPart(*archive)) {
        if (IsBinaryWorkbookPart(*archive, *workbookPart))
            return OpenXlsb(std::move(archive), *workbookPart);
        return OpenXlsx(std::move(archive), *workbookPart);
    }
    if (LooksLikeOds(*archive))
        return OpenOds(std::move(archive));
    if (archive->find(QStringLiteral("Index/Document.iwa")) || archive->find(QStringLiteral("Index.zip")))
        return { nullptr, UnreadFormatReason(QStringLiteral("an Apple Numbers spreadsheet")) };
    return { nullptr, NotAWorkbookReason };
}

} // namespace

OpenedWorkbook OpenZipWorkbook(const QString &path)
{
    return OpenFileWith(path, [](std::unique_ptr<QIODevice> file) {
        QString error;
        std::unique_ptr<ZipArchive> archive = ZipArchive::open(std::move(file), &error);
        return OpenArchive(std::move(archive), error);
    });
}

OpenedWorkbook OpenZipWorkbookData(const QByteArray &data)
{
    QString error;
    std::unique_ptr<ZipArchive> archive = ZipArchive::openData(data, &error);
    return OpenArchive(std::move(archive), error);
}

} // namespace plivan
