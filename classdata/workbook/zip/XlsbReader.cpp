#include "zip/XlsbReader.h"

#include "common/Bytes.h"
#include "common/CellValue.h"
#include "zip/CellDateFormats.h"
#include "zip/Package.h"
#include "zip/SharedTexts.h"

#include <QHash>
#include <QtEndian>

#include <climits>
#include <vector>

namespace plivan {

namespace {

// The binary parts are sequences of records: a type of one or two bytes and
// a size of one to four bytes, seven bits in each byte with the top bit
// saying that another byte follows, then that many bytes. These are the
// types read here.
enum RecordType : int {
    BrtRowHdr = 0,
    BrtCellBlank = 1,
    BrtCellRk = 2,
    BrtCellError = 3,
    BrtCellBool = 4,
    BrtCellReal = 5,
    BrtCellSt = 6,
    BrtCellIsst = 7,
    BrtFmlaString = 8,
    BrtFmlaNum = 9,
    BrtFmlaBool = 10,
    BrtFmlaError = 11,
    BrtSstItem = 19,
    BrtFmt = 44,
    BrtXf = 47,
    BrtCellRString = 62,
    BrtBeginBook = 131,
    BrtEndBundleShs = 144,
    BrtBeginSheetData = 145,
    BrtEndSheetData = 146,
    BrtWbProp = 153,
    BrtBundleSh = 156,
    BrtBookView = 158,
    BrtEndSst = 160,
    BrtBeginCellXfs = 617,
    BrtEndCellXfs = 618,
};

using namespace PackageLimits;
// Records this long are kept to be read; longer ones are passed over when
// they are of no interest, and are damage when they are (no cell, shared
// text or format comes near it).
constexpr qint64 MaxRecordBytes = 1024 * 1024;

struct Record {
    int type = -1; // -1: none
    QByteArray data;
    bool overlong = false; // passed over: `data` holds its first OverlongHeadBytes alone
};

// Enough of a record passed over to tell why it is so long: the place,
// style and length of a cell's text, or of a shared text.
constexpr qint64 OverlongHeadBytes = 16;

// A binary part read a record at a time, unpacked a chunk at a time only as
// far as the records asked for need.
class RecordStream {
public:
    RecordStream(ZipArchive &archive, std::uint64_t index, qint64 limit)
        : m_part(archive.name(index))
        , m_entry(archive, index, limit)
    {
        if (!m_entry.error().isEmpty())
            m_error = m_entry.error();
    }

    // The next record; false at the end of the part or on an error (then
    // error() says which, in words completing "is ...").
    bool next(Record &record)
    {
        if (!m_error.isEmpty() || !available(1))
            return false;
        int type = 0;
        qint64 size = 0;
        qsizetype used = 0;
        for (int i = 0;; ++i) {
            if (!available(used + 1))
                return endsEarly();
            const quint8 byte = quint8(m_buffer.at(m_at + used++));
            type |= (byte & 0x7F) << (7 * i);
            if (!(byte & 0x80))
                break;
            if (i == 1)
                return broken();
        }
        for (int i = 0;; ++i) {
            if (!available(used + 1))
                return endsEarly();
            const quint8 byte = quint8(m_buffer.at(m_at + used++));
            size |= qint64(byte & 0x7F) << (7 * i);
            if (!(byte & 0x80))
                break;
            if (i == 3)
                return broken();
        }
        m_at += used;
        record.type = type;
        record.overlong = size > MaxRecordBytes;
        if (record.overlong) {
            record.data = available(OverlongHeadBytes) ? m_buffer.mid(m_at, OverlongHeadBytes) : QByteArray();
            return pass(size);
        }
        if (!available(size))
            return endsEarly();
        record.data = m_buffer.mid(m_at, qsizetype(size));
        m_at += qsizetype(size);
        return true;
    }

    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    const QString &part() const { return m_part; }

private:
    // True when `bytes` bytes are unread in the buffer, after unpacking more
    // if need be; false at the end of the part or on an error.
    bool available(qint64 bytes)
    {
        while (m_buffer.size() - m_at < bytes) {
            if (!m_error.isEmpty() || m_entry.atEnd())
                return false;
            if (m_at > 0) {
                m_buffer.remove(0, m_at);
                m_at = 0;
            }
            // Chunks start small, as most imports need only the first rows:
            // a few kilobytes hold thirty of them.
            const QByteArray chunk = m_entry.read(std::max(m_chunk, bytes - m_buffer.size()));
            m_chunk = std::min<qint64>(m_chunk * 2, 64 * 1024);
            if (!m_entry.error().isEmpty()) {
                m_error = m_entry.error();
                return false;
            }
            m_buffer += chunk;
        }
        return true;
    }

    // Reads past the `size` bytes of a record not kept.
    bool pass(qint64 size)
    {
        while (size > 0) {
            if (!available(1))
                return endsEarly();
            const qint64 step = std::min<qint64>(size, m_buffer.size() - m_at);
            m_at += qsizetype(step);
            size -= step;
        }
        return true;
    }

    bool endsEarly()
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("is damaged (%1 ends early)").arg(m_part);
        return false;
    }

    bool broken()
    {
        m_error = QStringLiteral("is damaged (%1 holds a broken record)").arg(m_part);
        return false;
    }

    QString m_part; // the part's name, for messages
    ZipEntryStream m_entry;
    QByteArray m_buffer;
    qsizetype m_at = 0; // the first unread byte of m_buffer
    qint64 m_chunk = 4 * 1024;
    QString m_error;
};

// Fields of a record's bytes, little-endian; empty when the record is too
// short to hold them.
std::optional<quint32> U8At(const QByteArray &data, qsizetype at)
{
    if (at < 0 || data.size() - at < 1)
        return std::nullopt;
    return quint8(data.at(at));
}

std::optional<quint32> U16At(const QByteArray &data, qsizetype at)
{
    if (at < 0 || data.size() - at < 2)
        return std::nullopt;
    return U16(data.constData() + at);
}

std::optional<quint32> U32At(const QByteArray &data, qsizetype at)
{
    if (at < 0 || data.size() - at < 4)
        return std::nullopt;
    return U32(data.constData() + at);
}

std::optional<double> F64At(const QByteArray &data, qsizetype at)
{
    if (at < 0 || data.size() - at < 8)
        return std::nullopt;
    return F64(data.constData() + at);
}

// A string: its length in UTF-16 code units (four bytes), then the code
// units. A length of 0xFFFFFFFF, where the string may be missing, gives an
// empty string.
std::optional<QString> StringAt(const QByteArray &data, qsizetype at)
{
    const std::optional<quint32> length = U32At(data, at);
    if (!length)
        return std::nullopt;
    if (*length == 0xFFFFFFFFu)
        return QString();
    if ((data.size() - at - 4) / 2 < qint64(*length))
        return std::nullopt;
    QString text(qsizetype(*length), Qt::Uninitialized);
    qFromLittleEndian<char16_t>(data.constData() + at + 4, qsizetype(*length), text.data());
    return text;
}

// True when the text whose length stands at `at` in `record` is longer than
// a cell may hold, read (`text`) or passed over with the record.
bool TextTooLong(const Record &record, qsizetype at, const std::optional<QString> &text)
{
    if (text)
        return text->size() > MaxCellChars;
    const std::optional<quint32> length = record.overlong ? U32At(record.data, at) : std::nullopt;
    return length && *length != 0xFFFFFFFFu && *length > MaxCellChars;
}

bool IsCell(int type)
{
    return (type >= BrtCellBlank && type <= BrtFmlaError) || type == BrtCellRString;
}

QString Broken(const QString &part)
{
    return QStringLiteral("is damaged (%1 holds a broken record)").arg(part);
}

// The shared text table of sharedStrings.bin: BrtSstItem records in order.
class BinarySharedTexts final : public SharedTexts {
public:
    BinarySharedTexts(ZipArchive &archive, std::optional<std::uint64_t> index)
    {
        if (index)
            m_stream = std::make_unique<RecordStream>(archive, *index, MaxSharedStringBytes);
    }

protected:
    std::optional<QString> readNext(QString &error) override
    {
        Record record;
        while (m_stream) {
            if (!m_stream->next(record) || record.type == BrtEndSst) {
                error = m_stream->error();
                m_stream.reset();
                break;
            }
            if (record.type != BrtSstItem)
                continue;
            // A flags byte, then the text; runs and phonetic text follow it.
            std::optional<QString> text = record.overlong ? std::nullopt : StringAt(record.data, 1);
            if (TextTooLong(record, 1, text))
                error = CellTooLongReason;
            else if (!text)
                error = Broken(m_stream->part());
            else
                return text;
            return std::nullopt;
        }
        return std::nullopt;
    }

private:
    std::unique_ptr<RecordStream> m_stream;
};

// Which cell formats show numbers as dates, from the styles part: each cell
// format names a number format, built in or defined in the part.
std::vector<bool> ReadDateFormats(ZipArchive &archive, std::uint64_t index)
{
    CellDateFormats formats;
    RecordStream styles(archive, index, MaxStylesBytes);
    bool inCellFormats = false;
    Record record;
    while (styles.next(record) && record.type != BrtEndCellXfs) {
        if (record.type == BrtFmt) {
            const std::optional<quint32> id = U16At(record.data, 0);
            const std::optional<QString> code = StringAt(record.data, 2);
            if (id && code)
                formats.define(*id, *code);
        } else if (record.type == BrtBeginCellXfs) {
            inCellFormats = true;
        } else if (inCellFormats && record.type == BrtXf && !formats.add(U16At(record.data, 2))) {
            break;
        }
    }
    return formats.take();
}

class XlsbWorkbook final : public Workbook {
public:
    XlsbWorkbook(std::unique_ptr<ZipArchive> archive, const BookParts &parts, bool date1904)
        : m_archive(std::move(archive))
        , m_sheet(*m_archive, parts.sheet, MaxSheetBytes)
        , m_sharedStrings(*m_archive, parts.sharedStrings)
        , m_styles(*m_archive, parts.styles, ReadDateFormats)
        , m_date1904(date1904)
    {
    }

    // Why the sheet cannot be read at all, found when its part is opened.
    QString open() const { return m_sheet.error(); }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1)
            return std::nullopt;
        // A row's cells are all read once the next row begins: a writer may
        // write a cell twice, and the last record for it holds its value.
        while (m_error.isEmpty() && !m_done && m_rowNumber <= row)
            readRecord();
        if (!m_error.isEmpty())
            return std::nullopt;
        if (row == m_rowNumber && m_done)
            return text(m_rowCell);
        if (row == m_previousRow)
            return text(m_previousCell);
        return std::nullopt;
    }

    QString error() const override { return m_error; }

private:
    void fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error = error;
    }

    void readRecord()
    {
        Record record;
        if (!m_sheet.next(record)) {
            m_done = true;
            if (m_sheet.failed())
                fail(m_sheet.error());
            return;
        }
        if (!m_inSheetData) {
            m_inSheetData = record.type == BrtBeginSheetData;
            return;
        }
        if (record.type == BrtEndSheetData) {
            m_done = true;
            return;
        }
        if (record.type != BrtRowHdr && !IsCell(record.type))
            return;
        // A cell record too long to keep is damage, told when its row is
        // asked for if it stands in column 1.
        const std::optional<quint32> first = U32At(record.data, 0);
        if (!first || (record.overlong && (record.type == BrtRowHdr || *first != 0)))
            return fail(Broken(m_sheet.part()));
        if (record.type == BrtRowHdr) {
            // Rows come in increasing order. A row header that goes back
            // would place cells in rows already given out: they are left out.
            const qint64 number = qint64(*first) + 1;
            m_outOfOrder = number < m_rowNumber;
            if (number > m_rowNumber) {
                m_previousRow = m_rowNumber;
                m_previousCell = std::move(m_rowCell);
                m_rowCell = {};
                m_rowNumber = number;
            }
            return;
        }
        // A cell: its column, then the style and the value.
        if (*first == 0 && m_rowNumber > 0 && !m_outOfOrder)
            m_rowCell = std::move(record);
    }

    // The text of a cell record; empty for no value, empty text, or damage
    // (then with m_error set).
    std::optional<QString> text(const Record &cell)
    {
        if (cell.type < 0 || cell.type == BrtCellBlank)
            return std::nullopt;
        const QByteArray &data = cell.data;
        const std::optional<quint32> style = U32At(data, 4);
        std::optional<QString> text;
        const int textAt = cell.type == BrtCellRString ? 9 : 8;
        const bool textCell
            = cell.type == BrtCellSt || cell.type == BrtFmlaString || cell.type == BrtCellRString;
        if (cell.overlong) {
            fail(textCell && TextTooLong(cell, textAt, std::nullopt) ? CellTooLongReason
                                                                     : Broken(m_sheet.part()));
            return std::nullopt;
        }
        switch (cell.type) {
        case BrtCellRk:
            if (const std::optional<quint32> rk = U32At(data, 8); rk && style)
                text = numberText(RkValue(*rk), *style);
            break;
        case BrtCellReal:
        case BrtFmlaNum:
            if (const std::optional<double> number = F64At(data, 8); number && style)
                text = numberText(*number, *style);
            break;
        case BrtCellIsst:
            if (const std::optional<quint32> index = U32At(data, 8)) {
                text = m_sharedStrings.at(*index);
                if (!text) {
                    fail(m_sharedStrings.error());
                    return std::nullopt;
                }
            }
            break;
        case BrtCellSt:
        case BrtFmlaString:
            text = StringAt(data, 8);
            break;
        case BrtCellRString: // a flags byte, then the text and its runs
            text = StringAt(data, 9);
            break;
        case BrtCellBool:
        case BrtFmlaBool:
            if (const std::optional<quint32> value = U8At(data, 8))
                text = BooleanText(*value != 0);
            break;
        case BrtCellError:
        case BrtFmlaError:
            if (const std::optional<quint32> code = U8At(data, 8))
                text = ErrorText(int(*code));
            break;
        default:
            break;
        }
        if (!text) {
            fail(Broken(m_sheet.part()));
            return std::nullopt;
        }
        if (text->size() > MaxCellChars) {
            fail(CellTooLongReason);
            return std::nullopt;
        }
        if (text->isEmpty())
            return std::nullopt;
        return text;
    }

    QString numberText(double number, quint32 styleWord)
    {
        // The style is the low 24 bits; the top ones are flags.
        return m_styles.isDate(styleWord & 0xFFFFFF) ? DateText(number, m_date1904) : NumberText(number);
    }

    std::unique_ptr<ZipArchive> m_archive;
    RecordStream m_sheet;
    BinarySharedTexts m_sharedStrings;
    DateStyles m_styles;
    bool m_date1904 = false;

    bool m_inSheetData = false;
    bool m_done = false;
    bool m_outOfOrder = false; // the current row header went back
    // The row whose cells are being read and the one before it, with the
    // last record for each one's cell in column 1.
    qint64 m_rowNumber = 0;
    Record m_rowCell;
    qint64 m_previousRow = 0;
    Record m_previousCell;
    QString m_error;
};

// What the workbook part says of its sheets. The book views come before the
// list of sheets, which is all that is needed of the part.
QString ReadBookSheets(ZipArchive &archive, std::uint64_t workbookPart, BookSheets &sheets)
{
    RecordStream book(archive, workbookPart, MaxWorkbookBytes);
    Record record;
    while (book.next(record) && record.type != BrtEndBundleShs) {
        if (record.type == BrtWbProp) {
            const std::optional<quint32> flags = U32At(record.data, 0);
            if (!flags)
                return Broken(book.part());
            sheets.date1904 = *flags & 0x01;
        } else if (record.type == BrtBookView && !sheets.viewSeen) {
            // The window's place and size, the tab ratio and first tab,
            // then the active tab.
            const std::optional<quint32> tab = U32At(record.data, 24);
            if (!tab)
                return Broken(book.part());
            sheets.viewSeen = true;
            sheets.activeTab = *tab;
        } else if (record.type == BrtBundleSh) {
            // The sheet's state and tab id, then its relationship id.
            const std::optional<QString> id = StringAt(record.data, 8);
            if (!id)
                return Broken(book.part());
            if (!sheets.add(*id))
                return TooManySheets;
        }
    }
    return book.failed() ? book.error() : QString();
}

} // namespace

bool IsBinaryWorkbookPart(ZipArchive &archive, const QString &workbookPart)
{
    const std::optional<std::uint64_t> index = archive.find(workbookPart);
    if (!index)
        return false;
    ZipEntryStream stream(archive, *index, 2);
    QByteArray head = stream.read(2);
    if (!stream.error().isEmpty())
        return workbookPart.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive);
    if (head.size() < 2 && !stream.atEnd())
        head += stream.read(2 - head.size());
    // BrtBeginBook, 131: no XML text starts with these bytes.
    return head == QByteArray("\x83\x01", 2);
}

OpenedWorkbook OpenXlsb(std::unique_ptr<ZipArchive> archive, const QString &workbookPart)
{
    return OpenPackageBook<XlsbWorkbook>(std::move(archive), workbookPart, ReadBookSheets);
}

} // namespace plivan
