#include "Workbook.h"

#include "CsvReader.h"
#include "DifReader.h"
#include "HtmlReader.h"
#include "SylkReader.h"
#include "XlsReader.h"
#include "XmlSpreadsheetReader.h"
#include "zip/ZipWorkbook.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace plivan {

namespace {

// Enough of a file to see what it is: a text file's first lines, and the
// prolog and root element of an XML document.
constexpr qint64 HeadBytes = 16 * 1024;

// What a file is, where its first bytes show a format Plivan does not read;
// empty otherwise. Lotus 1-2-3 and Quattro Pro files start with a BOF record
// (type 0) whose length and version tell them apart. Quattro Pro 6 and later
// and Word 97-2003 are compound files and go to OpenXls.
QString UnreadFormat(QByteArrayView head)
{
    if (head.startsWith("{\\rtf"))
        return QStringLiteral("an RTF document");
    if (head.startsWith("%PDF-"))
        return QStringLiteral("a PDF document");
    if (head.size() < 6 || qFromLittleEndian<quint16>(head.data()) != 0)
        return {};
    const quint16 length = qFromLittleEndian<quint16>(head.data() + 2);
    const quint16 version = qFromLittleEndian<quint16>(head.data() + 4);
    if ((length == 2 && version >= 0x0404 && version <= 0x0406) // .wks, .wk1, Symphony
        || (length >= 19 && version >= 0x1000 && version <= 0x1005)) // .wk3, .wk4, .123
        return QStringLiteral("a Lotus 1-2-3 worksheet");
    if (length == 2 && ((version >= 0x1001 && version <= 0x1007) || version == 0x5120 || version == 0x5121))
        return QStringLiteral("a Quattro Pro notebook"); // .wb1, .wb2; .wq1, .wq2 from DOS
    return {};
}

// SYLK and DIF are told by their first record, after a UTF-8 byte order
// mark where an editor saved one.
QByteArrayView AfterUtf8Mark(QByteArrayView head)
{
    return head.startsWith("\xEF\xBB\xBF") ? head.sliced(3) : head;
}

bool IsSylk(QByteArrayView head)
{
    return AfterUtf8Mark(head).startsWith("ID;P");
}

bool IsDif(QByteArrayView head)
{
    head = AfterUtf8Mark(head);
    return head.startsWith("TABLE\r\n0,1\r\n") || head.startsWith("TABLE\n0,1\n");
}

// Text named like a ZIP-based workbook is a broken workbook, not a roster.
bool NamedLikePackage(const QString &suffix)
{
    return suffix == u"xlsx" || suffix == u"xlsm" || suffix == u"xlsb" || suffix == u"ods";
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

    static const QByteArray compoundFile("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    if (head.startsWith(compoundFile))
        return OpenXls(path);
    if (IsBiffStream(head))
        return OpenBiff(path);
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06"))
        return OpenZipWorkbook(path);
    const QString suffix = info.suffix().toLower();
    const bool textName = suffix == u"csv" || suffix == u"txt";
    if (head.isEmpty() && !textName)
        return { nullptr, QStringLiteral("is empty") };
    if (const QString format = UnreadFormat(head); !format.isEmpty())
        return { nullptr, UnreadFormatReason(format) };
    if (IsSylk(head))
        return OpenSylk(path);
    if (IsDif(head))
        return OpenDif(path);

    const XmlKind xml = SniffXml(head);
    if (xml == XmlKind::Spreadsheet)
        return OpenXmlSpreadsheet(path);
    if (xml == XmlKind::WordDocument)
        return { nullptr, UnreadFormatReason(QStringLiteral("a Word document")) };
    // A page is told by its start, or by its name; text files are read as
    // text unless they start like a whole page.
    if (suffix == u"htm" || suffix == u"html" || LooksLikeHtml(head, !textName))
        return OpenHtml(path);
    if (xml == XmlKind::Other && !textName)
        return { nullptr, NotAWorkbookReason };

    // Text, split at commas in a .csv and at tabs otherwise; a .csv or .txt
    // is read as text whatever its bytes.
    if (textName || (LooksLikeText(head) && !NamedLikePackage(suffix)))
        return OpenCsv(path, TextSeparatorFor(path));
    return { nullptr, NotAWorkbookReason };
}

OpenedWorkbook OpenFileWith(const QString &path, const OpenDevice &open)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        if (!file->exists())
            return { nullptr, QStringLiteral("was not found") };
        return { nullptr, CannotOpenReason(*file) };
    }
    return open(std::move(file));
}

OpenedWorkbook OpenBytesWith(const QByteArray &data, const OpenDevice &open)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    return open(std::move(buffer));
}

namespace {

class ReadColumnWorkbook final : public Workbook {
public:
    explicit ReadColumnWorkbook(ReadColumn column)
        : m_column(std::move(column))
    {
    }

    std::optional<QString> cellText(int row) override
    {
        if (m_column.damagedFrom > 0 && row >= m_column.damagedFrom) {
            m_error = m_column.damage;
            return std::nullopt;
        }
        const auto cell = m_column.cells.find(row);
        if (cell == m_column.cells.end() || cell->second.isEmpty())
            return std::nullopt;
        return cell->second;
    }

    QString error() const override { return m_error; }

private:
    ReadColumn m_column;
    QString m_error;
};

} // namespace

std::unique_ptr<Workbook> ColumnWorkbook(ReadColumn column)
{
    return std::make_unique<ReadColumnWorkbook>(std::move(column));
}

QString ReadAllUpTo(QIODevice &device, qint64 limit, const QString &what, QByteArray &bytes)
{
    bytes.clear();
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = device.read(block.data(), block.size());
        if (got < 0)
            return QStringLiteral("could not be read (%1)").arg(device.errorString());
        if (got == 0)
            return {};
        bytes.append(block.constData(), got);
        if (bytes.size() > limit)
            return QStringLiteral("is too large to read (Plivan reads %1 of up to %2 MB)")
                .arg(what)
                .arg(limit >> 20);
    }
}

} // namespace plivan
