// The choice of reader: a file by what its first bytes show (Sniffing.h), a
// compound file by the streams it holds, a ZIP archive by its parts.

#include "Workbook.h"

#include "Sniffing.h"
#include "WorkbookData.h"
#include "biff/XlsReader.h"
#include "common/Bytes.h"
#include "compound/CompoundFile.h"
#include "compound/EncryptedPackage.h"
#include "markup/HtmlReader.h"
#include "markup/XmlSpreadsheetReader.h"
#include "plaintext/CsvReader.h"
#include "plaintext/DifReader.h"
#include "plaintext/SylkReader.h"
#include "zip/OdsReader.h"
#include "zip/Package.h"
#include "zip/XlsbReader.h"
#include "zip/XlsxReader.h"
#include "zip/ZipArchive.h"

#include <QFile>
#include <QFileInfo>

namespace plivan {

namespace {

// Enough of a file to see what it is: a text file's first lines, and the
// prolog and root element of an XML document.
constexpr qint64 HeadBytes = 16 * 1024;

// Text named like a ZIP-based workbook is a broken workbook, not a roster.
bool NamedLikePackage(const QString &suffix)
{
    return suffix == u"xlsx" || suffix == u"xlsm" || suffix == u"xlsb" || suffix == u"ods";
}

// What a compound file holds, told by its streams: a workbook stream
// (Workbook, BIFF8 unless its BOF says otherwise, or Book, BIFF5), an Office
// Open XML package locked with a password, or another program's document.
OpenedWorkbook OpenCompoundFile(std::unique_ptr<CompoundFile> container, const QString &error)
{
    if (!container)
        return { nullptr, error };
    const CompoundFile::Entry *workbook = nullptr;
    bool namedWorkbook = false;
    for (const CompoundFile::Entry &part : container->entries()) {
        if (!part.stream)
            continue;
        if (part.name.compare(u"Workbook", Qt::CaseInsensitive) == 0) {
            workbook = &part;
            namedWorkbook = true;
        } else if (part.name.compare(u"Book", Qt::CaseInsensitive) == 0 && !namedWorkbook) {
            workbook = &part;
        }
    }
    // An .xlsx locked with a password is an encrypted package in a compound file.
    if (container->find(u"EncryptionInfo") || container->find(u"EncryptedPackage"))
        return OpenEncryptedPackage(*container);
    if (!workbook) {
        // Other programs' documents in the same container, told by their main part.
        static const struct {
            const char16_t *part;
            const char *what;
        } others[] = { { u"WordDocument", "a Word document" },
            { u"PowerPoint Document", "a PowerPoint presentation" },
            { u"NativeContent_MAIN", "a Quattro Pro notebook" },
            { u"PerfectOffice_MAIN", "a Quattro Pro notebook" } };
        for (const auto &other : others) {
            if (container->find(other.part))
                return { nullptr, UnreadFormatReason(QLatin1String(other.what)) };
        }
        return { nullptr, NotAWorkbookReason };
    }
    QString streamError;
    std::unique_ptr<ByteSource> stream = container->stream(*workbook, &streamError);
    if (!stream)
        return { nullptr, streamError };
    return OpenWorkbookStream(std::move(stream), namedWorkbook);
}

OpenedWorkbook OpenXls(const QString &path)
{
    QString error;
    std::unique_ptr<CompoundFile> container = CompoundFile::open(path, &error);
    return OpenCompoundFile(std::move(container), error);
}

// What a ZIP archive holds, told by its parts whatever the file is called:
// an Office Open XML workbook (.xlsx, or .xlsb when its workbook part is
// binary), an OpenDocument spreadsheet, or another program's document.
OpenedWorkbook OpenZipArchive(std::unique_ptr<ZipArchive> archive, const QString &error)
{
    if (!archive)
        return { nullptr, error };
    if (archive->find(QStringLiteral("word/document.xml")))
        return { nullptr, UnreadFormatReason(QStringLiteral("a Word document")) };
    if (const std::optional<QString> workbookPart = FindWorkbookPart(*archive)) {
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

OpenedWorkbook OpenZipWorkbook(const QString &path)
{
    return OpenFileWith(path, OpenZipWorkbookDevice);
}

// An Excel 2.x-4.0 file is the record stream itself.
OpenedWorkbook OpenBiff(const QString &path)
{
    QString error;
    std::unique_ptr<ByteSource> source = OpenFileSource(path, &error);
    if (!source)
        return { nullptr, error };
    return OpenWorkbookStream(std::move(source), false);
}

} // namespace

OpenedWorkbook OpenWorkbook(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return { nullptr, QStringLiteral("was not found") };
    if (info.isDir())
        return { nullptr, QStringLiteral("is a folder, not a workbook") };
    // A pipe or a device would be read for ever, or block the window.
    if (!info.isFile())
        return { nullptr, QStringLiteral("is not a file but a device, a pipe or a socket") };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { nullptr, CannotOpenReason(file) };
    const QByteArray head = file.read(HeadBytes);
    file.close();

    if (head.startsWith(CompoundFileSignature))
        return OpenXls(path);
    if (IsBiffStream(head))
        return OpenBiff(path);
    if (head.startsWith(ZipEntrySignature) || head.startsWith(ZipEndSignature))
        return OpenZipWorkbook(path);
    const QString suffix = info.suffix().toLower();
    const bool textName = suffix == u"csv" || suffix == u"txt";
    if (head.isEmpty() && !textName)
        return { nullptr, QStringLiteral("is empty") };
    if (const QString format = UnreadFormat(head); !format.isEmpty())
        return { nullptr, UnreadFormatReason(format) };
    if (IsSylk(head))
        return OpenFileWith(path, OpenSylk);
    if (IsDif(head))
        return OpenFileWith(path, OpenDif);

    const XmlKind xml = SniffXml(head);
    if (xml == XmlKind::Spreadsheet)
        return OpenFileWith(path, OpenXmlSpreadsheet);
    if (xml == XmlKind::WordDocument)
        return { nullptr, UnreadFormatReason(QStringLiteral("a Word document")) };
    // A page is told by its start, or by its name; text files are read as
    // text unless they start like a whole page.
    if (suffix == u"htm" || suffix == u"html" || LooksLikeHtml(head, !textName))
        return OpenFileWith(path, OpenHtml);
    if (xml == XmlKind::Other && !textName)
        return { nullptr, NotAWorkbookReason };

    // Text, split at commas in a .csv and at tabs otherwise; a .csv or .txt
    // is read as text whatever its bytes.
    if (textName || (LooksLikeText(head) && !NamedLikePackage(suffix)))
        return OpenFileWith(path, [separator = TextSeparatorFor(path)](std::unique_ptr<QIODevice> device) {
            return OpenCsv(std::move(device), separator);
        });
    return { nullptr, NotAWorkbookReason };
}

// Each reader over bytes in memory (WorkbookData.h).

OpenedWorkbook OpenXlsData(const QByteArray &data)
{
    QString error;
    std::unique_ptr<CompoundFile> container = CompoundFile::openData(data, &error);
    return OpenCompoundFile(std::move(container), error);
}

OpenedWorkbook OpenZipWorkbookDevice(std::unique_ptr<QIODevice> device)
{
    QString error;
    std::unique_ptr<ZipArchive> archive = ZipArchive::open(std::move(device), &error);
    return OpenZipArchive(std::move(archive), error);
}

OpenedWorkbook OpenZipWorkbookData(const QByteArray &data)
{
    QString error;
    std::unique_ptr<ZipArchive> archive = ZipArchive::openData(data, &error);
    return OpenZipArchive(std::move(archive), error);
}

OpenedWorkbook OpenBiffData(const QByteArray &data)
{
    return OpenWorkbookStream(MemorySource(data), false);
}

OpenedWorkbook OpenCsvData(const QByteArray &data, char separator)
{
    return OpenBytesWith(data,
        [separator](std::unique_ptr<QIODevice> device) { return OpenCsv(std::move(device), separator); });
}

OpenedWorkbook OpenXmlSpreadsheetData(const QByteArray &data)
{
    return OpenBytesWith(data, OpenXmlSpreadsheet);
}

OpenedWorkbook OpenHtmlData(const QByteArray &data)
{
    return OpenBytesWith(data, OpenHtml);
}

OpenedWorkbook OpenSylkData(const QByteArray &data)
{
    return OpenBytesWith(data, OpenSylk);
}

OpenedWorkbook OpenDifData(const QByteArray &data)
{
    return OpenBytesWith(data, OpenDif);
}

} // namespace plivan
