// The one place that tells a file's format, from its structure: a file by
// what its first bytes show (Sniffing.h: signatures, first records, the XML
// root element and its namespace), a compound file by the streams it holds,
// a ZIP archive by its parts. Every reader is reached from here.

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

// What the checks of FormatChecks look at: the file's first bytes and,
// where the content leaves the choice open, its name.
struct FileHead {
    QString path;
    QByteArray head;
    QString suffix; // lower case
    bool textName = false; // .csv or .txt: text whatever its bytes
    XmlKind xml = XmlKind::NotXml;
};

OpenedWorkbook Refuse(const QString &why)
{
    return { nullptr, why };
}

OpenedWorkbook OpenText(const FileHead &file)
{
    return OpenFileWith(
        file.path, [separator = TextSeparatorFor(file.path)](std::unique_ptr<QIODevice> device) {
            return OpenCsv(std::move(device), separator);
        });
}

// The order in which a file's format is told (the README's format table
// follows it): the first check that holds chooses the reader, or the reason
// the file is refused.
const struct FormatCheck {
    bool (*holds)(const FileHead &);
    OpenedWorkbook (*open)(const FileHead &);
} FormatChecks[] = {
    // Signatures and first records.
    { [](const FileHead &f) { return f.head.startsWith(CompoundFileSignature); },
        [](const FileHead &f) { return OpenXls(f.path); } },
    { [](const FileHead &f) { return IsBiffStream(f.head); },
        [](const FileHead &f) { return OpenBiff(f.path); } },
    { [](const FileHead &f) {
         return f.head.startsWith(ZipEntrySignature) || f.head.startsWith(ZipEndSignature);
     },
        [](const FileHead &f) { return OpenZipWorkbook(f.path); } },
    { [](const FileHead &f) { return f.head.isEmpty() && !f.textName; },
        [](const FileHead &) { return Refuse(QStringLiteral("is empty")); } },
    { [](const FileHead &f) { return !UnreadFormat(f.head).isEmpty(); },
        [](const FileHead &f) { return Refuse(UnreadFormatReason(UnreadFormat(f.head))); } },
    { [](const FileHead &f) { return IsSylk(f.head); },
        [](const FileHead &f) { return OpenFileWith(f.path, OpenSylk); } },
    { [](const FileHead &f) { return IsDif(f.head); },
        [](const FileHead &f) { return OpenFileWith(f.path, OpenDif); } },
    // XML, by its root element and namespace.
    { [](const FileHead &f) { return f.xml == XmlKind::Spreadsheet; },
        [](const FileHead &f) { return OpenFileWith(f.path, OpenXmlSpreadsheet); } },
    { [](const FileHead &f) { return f.xml == XmlKind::OpenDocument; },
        [](const FileHead &f) { return OpenFileWith(f.path, OpenFlatOds); } },
    { [](const FileHead &f) { return f.xml == XmlKind::WordDocument; },
        [](const FileHead &) { return Refuse(UnreadFormatReason(QStringLiteral("a Word document"))); } },
    // A page by its start, or by its name; text files are read as text
    // unless they start like a whole page.
    { [](const FileHead &f) {
         return f.suffix == u"htm" || f.suffix == u"html" || LooksLikeHtml(f.head, !f.textName);
     },
        [](const FileHead &f) { return OpenFileWith(f.path, OpenHtml); } },
    { [](const FileHead &f) { return f.xml == XmlKind::Other && !f.textName; },
        [](const FileHead &) { return Refuse(NotAWorkbookReason); } },
    // Text, split at commas in a .csv and at tabs otherwise; a .csv or .txt
    // is read as text whatever its bytes, text named like a package is not.
    { [](const FileHead &f) { return f.textName || (LooksLikeText(f.head) && !NamedLikePackage(f.suffix)); },
        OpenText },
};

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
    FileHead head { path, file.read(HeadBytes), info.suffix().toLower() };
    file.close();
    head.textName = head.suffix == u"csv" || head.suffix == u"txt";
    head.xml = SniffXml(head.head);
    for (const FormatCheck &check : FormatChecks) {
        if (check.holds(head))
            return check.open(head);
    }
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

OpenedWorkbook OpenFlatOdsData(const QByteArray &data)
{
    return OpenBytesWith(data, OpenFlatOds);
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
