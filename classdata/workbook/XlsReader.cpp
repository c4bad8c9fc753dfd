#include "XlsReader.h"

#include "CellValue.h"
#include "TextDecoding.h"
#include "fuzzing/WorkbookData.h"

#include "BiffStream.h"
#include "CompoundFile.h"

#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <optional>
#include <vector>

namespace plivan {

namespace {

// A workbook stream is a sequence of records: a 16-bit type, a 16-bit body
// length, the body. These are the types read here.
enum RecordType : quint16 {
    RecFormula = 0x0006,
    RecEof = 0x000A,
    RecDateMode = 0x0022,
    RecFilePass = 0x002F,
    RecContinue = 0x003C,
    RecWindow1 = 0x003D,
    RecCodePage = 0x0042,
    RecBoundSheet = 0x0085,
    RecMulRk = 0x00BD,
    RecMulBlank = 0x00BE,
    RecRString = 0x00D6,
    RecXf = 0x00E0,
    RecSst = 0x00FC,
    RecLabelSst = 0x00FD,
    RecBlank = 0x0201,
    RecNumber = 0x0203,
    RecLabel = 0x0204,
    RecBoolErr = 0x0205,
    RecString = 0x0207,
    RecArray = 0x0221,
    RecTable = 0x0236,
    RecWindow2 = 0x023E,
    RecRk = 0x027E,
    RecFormat = 0x041E,
    RecShrFmla = 0x04BC,
    RecBof = 0x0809,
};

// Substream kinds named by a BOF record.
constexpr quint16 BofGlobals = 0x0005;
constexpr quint16 BofWorksheet = 0x0010;

// Records read over the life of one workbook, CONTINUE records included. A real
// roster needs a few thousand; the limit ends a hostile file in bounded time.
constexpr qint64 MaxRecords = 4'000'000;

// A checkpoint in the shared string table every this many strings, so that a
// string before the last one decoded is found again without starting over.
constexpr quint32 SharedStringStep = 64;

// Sheets listed beyond this many are ignored (a workbook holds a few).
constexpr size_t MaxSheets = 65536;

// BIFF rows are 16-bit; row 65536 is the last.
constexpr int MaxRow = 65536;

quint16 U16(const quint8 *p)
{
    return qFromLittleEndian<quint16>(p);
}

quint32 U32(const quint8 *p)
{
    return qFromLittleEndian<quint32>(p);
}

double F64(const quint8 *p)
{
    return std::bit_cast<double>(qFromLittleEndian<quint64>(p));
}

// An RK number: a 30-bit integer or the top 30 bits of a double, either
// possibly divided by 100.
double RkValue(quint32 rk)
{
    double value;
    if (rk & 0x02)
        value = static_cast<double>(static_cast<qint32>(rk) >> 2);
    else
        value = std::bit_cast<double>(static_cast<quint64>(rk & 0xFFFFFFFCu) << 32);
    if (rk & 0x01)
        value /= 100;
    return value;
}

// A record body read on into the CONTINUE records that follow it, as long
// texts and the shared string table are stored. Where the characters of a
// BIFF8 text go on in a new record, that record starts with its own flag
// byte saying whether they are 8-bit or 16-bit.
class ContinuedReader {
public:
    struct Position {
        qint64 body = 0; // offset of the current record's body
        qint64 length = 0; // of that body
        qint64 pos = 0; // read position within it
    };

    ContinuedReader(RecordReader &records, Position start, QString endReason)
        : m_records(records)
        , m_at(start)
        , m_endReason(std::move(endReason))
    {
    }

    Position position() const { return m_at; }
    void setPosition(Position position) { m_at = position; }

    bool readU8(quint8 &value)
    {
        while (m_at.pos >= m_at.length) {
            if (!nextRecord())
                return false;
        }
        const quint8 *p = m_records.bytes(m_at.body + m_at.pos, 1);
        if (!p)
            return false;
        value = *p;
        ++m_at.pos;
        return true;
    }

    bool readU16(quint16 &value)
    {
        quint8 lo = 0, hi = 0;
        if (!readU8(lo) || !readU8(hi))
            return false;
        value = static_cast<quint16>(lo | (hi << 8));
        return true;
    }

    bool readU32(quint32 &value)
    {
        quint16 lo = 0, hi = 0;
        if (!readU16(lo) || !readU16(hi))
            return false;
        value = lo | (static_cast<quint32>(hi) << 16);
        return true;
    }

    bool skip(qint64 count)
    {
        while (count > 0) {
            if (m_at.pos >= m_at.length && !nextRecord())
                return false;
            const qint64 step = std::min(count, m_at.length - m_at.pos);
            m_at.pos += step;
            count -= step;
        }
        return true;
    }

    // `count` BIFF8 characters, 16-bit when `wide`; appended to `out`, or
    // skipped when `out` is null.
    bool readChars(quint32 count, bool wide, QString *out)
    {
        if (out)
            out->reserve(out->size() + count);
        while (count > 0) {
            if (m_at.pos >= m_at.length) {
                quint8 flags = 0;
                if (!nextRecord() || !readU8(flags))
                    return false;
                wide = flags & 0x01;
                continue;
            }
            const qint64 size = wide ? 2 : 1;
            const qint64 fit = std::min<qint64>(count, (m_at.length - m_at.pos) / size);
            if (fit == 0) { // half a character before the record ends: never written
                m_at.pos = m_at.length;
                continue;
            }
            if (out) {
                const quint8 *p = m_records.bytes(m_at.body + m_at.pos, fit * size);
                if (!p)
                    return false;
                if (wide) {
                    for (qint64 i = 0; i < fit; ++i)
                        out->append(QChar(U16(p + 2 * i)));
                } else {
                    out->append(QLatin1String(reinterpret_cast<const char *>(p), fit));
                }
            }
            m_at.pos += fit * size;
            count -= static_cast<quint32>(fit);
        }
        return true;
    }

    // `count` bytes of 8-bit BIFF5 text.
    bool readBytes(quint32 count, QByteArray &out)
    {
        while (count > 0) {
            if (m_at.pos >= m_at.length && !nextRecord())
                return false;
            const qint64 fit = std::min<qint64>(count, m_at.length - m_at.pos);
            const quint8 *p = m_records.bytes(m_at.body + m_at.pos, fit);
            if (!p)
                return false;
            out.append(reinterpret_cast<const char *>(p), fit);
            m_at.pos += fit;
            count -= static_cast<quint32>(fit);
        }
        return true;
    }

private:
    bool nextRecord()
    {
        Record next;
        if (!m_records.header(m_at.body + m_at.length, next))
            return false;
        if (next.type != RecContinue)
            return m_records.fail(m_endReason);
        m_at = { next.body(), next.length, 0 };
        return true;
    }

    RecordReader &m_records;
    Position m_at;
    QString m_endReason;
};

// The shared string table of a BIFF8 workbook (SST and its CONTINUE records),
// decoded only as far as the highest string asked for. Strings before the
// one asked for are stepped over, not built.
class SharedStrings {
public:
    explicit SharedStrings(RecordReader &records)
        : m_reader(records, {}, QStringLiteral("a shared string is missing"))
    {
    }

    void start(const Record &sst)
    {
        // The body begins with the total and unique string counts, which
        // writers do not always fill in right; the records themselves tell
        // where the table ends.
        const ContinuedReader::Position first { sst.body(), sst.length, 8 };
        m_present = sst.length >= 8;
        m_reader.setPosition(first);
        m_checkpoints = { first };
        m_next = 0;
    }

    bool present() const { return m_present; }

    std::optional<QString> at(quint32 index, RecordReader &records)
    {
        if (!m_present) {
            records.fail(QStringLiteral("a shared string is missing"));
            return std::nullopt;
        }
        if (index < m_next) {
            const quint32 k = index / SharedStringStep;
            m_reader.setPosition(m_checkpoints[k]);
            m_next = k * SharedStringStep;
        }
        while (m_next < index) {
            if (!readString(nullptr))
                return std::nullopt;
            advance();
        }
        QString text;
        if (!readString(&text))
            return std::nullopt;
        advance();
        return text;
    }

private:
    bool readString(QString *out)
    {
        quint16 count = 0;
        quint8 flags = 0;
        quint16 runs = 0;
        quint32 extra = 0;
        if (!m_reader.readU16(count) || !m_reader.readU8(flags))
            return false;
        if ((flags & 0x08) && !m_reader.readU16(runs))
            return false;
        if ((flags & 0x04) && !m_reader.readU32(extra))
            return false;
        // Rich-text runs and phonetic data follow the characters; neither is shown.
        return m_reader.readChars(count, flags & 0x01, out) && m_reader.skip(4 * static_cast<qint64>(runs))
            && m_reader.skip(extra);
    }

    void advance()
    {
        ++m_next;
        if (m_next % SharedStringStep == 0 && m_next / SharedStringStep == m_checkpoints.size())
            m_checkpoints.push_back(m_reader.position());
    }

    ContinuedReader m_reader;
    std::vector<ContinuedReader::Position> m_checkpoints; // of strings 0, 64, 128, ...
    quint32 m_next = 0; // the string at the reader's position
    bool m_present = false;
};

struct SheetEntry {
    qint64 offset = 0; // of its BOF record in the stream
    quint8 kind = 0; // 0 worksheet or dialog, 1 macro sheet, 2 chart, 6 module
};

class XlsWorkbook final : public Workbook {
public:
    XlsWorkbook(std::unique_ptr<ByteSource> stream, bool namedWorkbook)
        : m_stream(std::move(stream))
        , m_namedWorkbook(namedWorkbook)
        , m_sheetRecords(*m_stream, m_budget, m_error)
        , m_stringRecords(*m_stream, m_budget, m_error)
        , m_strings(m_stringRecords)
    {
    }

    // Reads the workbook globals and finds the active sheet; the reason when
    // the workbook cannot be read.
    QString open();

    std::optional<QString> cellText(int row) override;
    QString error() const override { return m_error; }

private:
    std::optional<QString> cellValue(const Record &record, const quint8 *body);
    std::optional<QString> formulaText(const Record &record, const quint8 *body);
    std::optional<QString> labelText(const Record &record);
    // A 16-bit count of characters and, in BIFF8, a flag byte, then the text;
    // nullopt for empty or cut-short text.
    std::optional<QString> cellString(ContinuedReader &reader);
    std::optional<QString> numberText(double value, quint16 xf) const;
    QString decode8Bit(const QByteArray &bytes);
    bool readFormat(const Record &record);
    bool isDateXf(quint16 xf) const;

    std::unique_ptr<ByteSource> m_stream; // the workbook stream
    bool m_namedWorkbook;

    QString m_error;
    qint64 m_budget = MaxRecords;
    RecordReader m_sheetRecords; // the globals, then the active sheet
    RecordReader m_stringRecords; // the shared string table
    SharedStrings m_strings;

    bool m_biff8 = true;
    bool m_date1904 = false;
    CodePageDecoder m_decoder; // BIFF5 text; BIFF8 text is Unicode
    std::vector<quint16> m_xfFormats; // number format of each cell format
    QHash<quint16, bool> m_formatIsDate; // number formats the workbook defines

    bool m_worksheet = false; // the active sheet holds cells
    qint64 m_sheetStart = 0; // first record after the sheet's BOF
    qint64 m_next = 0; // next record of the sheet to read
    bool m_sheetEnded = false;
    int m_lastRow = 0; // the row asked for last
};

QString XlsWorkbook::open()
{
    Record bof;
    if (!m_sheetRecords.header(0, bof))
        return m_error;
    const quint8 *b = bof.type == RecBof && bof.length >= 4 ? m_sheetRecords.body(bof, 4) : nullptr;
    if (!b || U16(b + 2) != BofGlobals) {
        m_sheetRecords.fail(QStringLiteral("the workbook part does not begin with its sheet list"));
        return m_error;
    }
    const quint16 version = U16(b);
    m_biff8 = version == 0x0600 ? true : version == 0x0500 ? false : m_namedWorkbook;

    std::vector<SheetEntry> sheets;
    int activeTab = 0;
    bool window1Seen = false;
    for (qint64 offset = bof.end();;) {
        Record r;
        if (!m_sheetRecords.header(offset, r))
            return m_error;
        offset = r.end();
        if (r.type == RecEof)
            break;
        switch (r.type) {
        case RecFilePass:
            return QStringLiteral("is protected by a password");
        case RecCodePage:
            if (r.length >= 2) {
                if (!(b = m_sheetRecords.body(r, 2)))
                    return m_error;
                // BIFF8 text is Unicode; BIFF5 text is in this code page.
                if (!m_biff8)
                    m_decoder = CodePageDecoder(U16(b));
            }
            break;
        case RecDateMode:
            if (r.length >= 2) {
                if (!(b = m_sheetRecords.body(r, 2)))
                    return m_error;
                m_date1904 = U16(b) == 1;
            }
            break;
        case RecWindow1:
            // Only the first window counts; its active tab is the sheet that
            // was showing when the workbook was saved.
            if (r.length >= 12 && !window1Seen) {
                if (!(b = m_sheetRecords.body(r, 12)))
                    return m_error;
                activeTab = U16(b + 10);
                window1Seen = true;
            }
            break;
        case RecBoundSheet:
            if (r.length >= 6 && sheets.size() < MaxSheets) {
                if (!(b = m_sheetRecords.body(r, 6)))
                    return m_error;
                sheets.push_back({ static_cast<qint64>(U32(b)), b[5] });
            }
            break;
        case RecXf:
            if (r.length >= 4 && m_xfFormats.size() < 65536) {
                if (!(b = m_sheetRecords.body(r, 4)))
                    return m_error;
                m_xfFormats.push_back(U16(b + 2));
            }
            break;
        case RecFormat:
            if (!readFormat(r))
                return m_error;
            break;
        case RecSst:
            m_strings.start(r);
            break;
        default:
            break;
        }
        // Everything needed comes before the shared strings in the globals;
        // the string table and what follows it are not read through.
        if (r.type == RecSst && !sheets.empty())
            break;
    }

    if (sheets.empty()) {
        m_sheetRecords.fail(QStringLiteral("it lists no sheets"));
        return m_error;
    }

    // A saved active tab past the last sheet falls back to the first.
    const SheetEntry sheet = sheets[activeTab < static_cast<int>(sheets.size()) ? activeTab : 0];
    Record sheetBof;
    const bool inside = sheet.offset >= 0 && sheet.offset + 4 <= m_sheetRecords.streamSize();
    if (!inside || !m_sheetRecords.header(sheet.offset, sheetBof) || sheetBof.type != RecBof
        || sheetBof.length < 4) {
        m_error.clear();
        m_sheetRecords.fail(QStringLiteral("the active sheet is missing"));
        return m_error;
    }
    if (!(b = m_sheetRecords.body(sheetBof, 4)))
        return m_error;
    // Chart sheets, macro sheets and modules have no column of names.
    m_worksheet = U16(b + 2) == BofWorksheet && sheet.kind == 0;
    m_sheetStart = m_next = sheetBof.end();
    return {};
}

bool XlsWorkbook::readFormat(const Record &r)
{
    // Number format codes are short; anything longer than its record is skipped.
    if (r.length < 3 || m_formatIsDate.size() >= 65536)
        return true;
    const quint8 *b = m_sheetRecords.body(r, r.length);
    if (!b)
        return false;
    const quint16 index = U16(b);
    QString code;
    if (m_biff8) {
        if (r.length < 5)
            return true;
        const quint16 count = U16(b + 2);
        const bool wide = b[4] & 0x01;
        if (5 + qint64(count) * (wide ? 2 : 1) > r.length)
            return true;
        for (quint16 i = 0; i < count; ++i)
            code.append(wide ? QChar(U16(b + 5 + 2 * i)) : QChar(b[5 + i]));
    } else {
        const quint8 count = b[2];
        if (3 + count > r.length)
            return true;
        code = decode8Bit(QByteArray(reinterpret_cast<const char *>(b + 3), count));
    }
    m_formatIsDate.insert(index, IsDateFormat(code));
    return true;
}

bool XlsWorkbook::isDateXf(quint16 xf) const
{
    if (xf >= m_xfFormats.size())
        return false;
    const quint16 format = m_xfFormats[xf];
    const auto defined = m_formatIsDate.constFind(format);
    return defined != m_formatIsDate.constEnd() ? *defined : IsBuiltInDateFormat(format);
}

QString XlsWorkbook::decode8Bit(const QByteArray &bytes)
{
    return m_decoder.decode(bytes);
}

std::optional<QString> XlsWorkbook::numberText(double value, quint16 xf) const
{
    return isDateXf(xf) ? DateText(value, m_date1904) : NumberText(value);
}

std::optional<QString> XlsWorkbook::cellText(int row)
{
    if (!m_error.isEmpty() || !m_worksheet || row < 1 || row > MaxRow)
        return std::nullopt;
    if (row <= m_lastRow) { // asked again from an earlier row: read from the top
        m_next = m_sheetStart;
        m_sheetEnded = false;
    }
    m_lastRow = row;
    const quint16 wanted = static_cast<quint16>(row - 1);

    while (!m_sheetEnded) {
        Record r;
        if (!m_sheetRecords.header(m_next, r))
            return std::nullopt;
        switch (r.type) {
        case RecEof: // the sheet ends (or an embedded chart does, after all cells)
        case RecWindow2: // the cell table is over
            m_sheetEnded = true;
            return std::nullopt;
        case RecFormula:
        case RecRk:
        case RecNumber:
        case RecLabel:
        case RecLabelSst:
        case RecRString:
        case RecBoolErr:
        case RecBlank:
        case RecMulRk:
        case RecMulBlank:
            break;
        default:
            m_next = r.end();
            continue;
        }
        if (r.length < 4) { // a cell without its place: nothing to show
            m_next = r.end();
            continue;
        }
        const quint8 *b = m_sheetRecords.body(r, std::min<qint64>(r.length, 16));
        if (!b)
            return std::nullopt;
        const quint16 cellRow = U16(b);
        // Cells come row by row: a later row means this one has no more.
        if (cellRow > wanted)
            return std::nullopt;
        m_next = r.end();
        if (cellRow < wanted || U16(b + 2) != 0)
            continue;
        return cellValue(r, b);
    }
    return std::nullopt;
}

// The text of a cell record in column 1; `body` holds its first 16 bytes or
// the whole body when shorter.
std::optional<QString> XlsWorkbook::cellValue(const Record &r, const quint8 *b)
{
    switch (r.type) {
    case RecNumber:
        if (r.length < 14)
            return std::nullopt;
        return numberText(F64(b + 6), U16(b + 4));
    case RecRk:
        if (r.length < 10)
            return std::nullopt;
        return numberText(RkValue(U32(b + 6)), U16(b + 4));
    case RecMulRk:
        if (r.length < 12)
            return std::nullopt;
        return numberText(RkValue(U32(b + 6)), U16(b + 4));
    case RecBoolErr:
        if (r.length < 8)
            return std::nullopt;
        return b[7] ? ErrorText(b[6]) : BooleanText(b[6] != 0);
    case RecLabelSst: {
        if (r.length < 10)
            return std::nullopt;
        std::optional<QString> text = m_strings.at(U32(b + 6), m_stringRecords);
        if (!text || text->isEmpty())
            return std::nullopt;
        return text;
    }
    case RecLabel:
    case RecRString:
        return labelText(r);
    case RecFormula:
        return formulaText(r, b);
    default: // BLANK, MULBLANK
        return std::nullopt;
    }
}

std::optional<QString> XlsWorkbook::labelText(const Record &r)
{
    // Row, column and format, then the text.
    ContinuedReader reader(
        m_sheetRecords, { r.body(), r.length, 6 }, QStringLiteral("a cell's text is cut short"));
    return cellString(reader);
}

std::optional<QString> XlsWorkbook::cellString(ContinuedReader &reader)
{
    quint16 count = 0;
    QString text;
    if (!reader.readU16(count))
        return std::nullopt;
    if (m_biff8) {
        quint8 flags = 0;
        if (!reader.readU8(flags) || !reader.readChars(count, flags & 0x01, &text))
            return std::nullopt;
    } else {
        QByteArray bytes;
        if (!reader.readBytes(count, bytes))
            return std::nullopt;
        text = decode8Bit(bytes);
    }
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

std::optional<QString> XlsWorkbook::formulaText(const Record &r, const quint8 *b)
{
    if (r.length < 14)
        return std::nullopt;
    // The cached result: a double, or a marker 0xFFFF in its top bytes with
    // the kind of result in the first byte.
    if (U16(b + 12) != 0xFFFF)
        return numberText(F64(b + 6), U16(b + 4));
    switch (b[6]) {
    case 1:
        return BooleanText(b[8] != 0);
    case 2:
        return ErrorText(b[8]);
    case 0:
        break; // text, in the STRING record that follows
    default:
        return std::nullopt; // empty text
    }

    // The rest of a long formula, and shared and array formula records, may
    // stand between the two.
    qint64 offset = r.end();
    for (int i = 0; i < 8; ++i) {
        Record s;
        if (!m_sheetRecords.header(offset, s))
            return std::nullopt;
        offset = s.end();
        if (s.type == RecContinue || s.type == RecShrFmla || s.type == RecArray || s.type == RecTable)
            continue;
        if (s.type != RecString)
            break;
        m_next = s.end();
        ContinuedReader reader(
            m_sheetRecords, { s.body(), s.length, 0 }, QStringLiteral("a formula's text is cut short"));
        return cellString(reader);
    }
    m_sheetRecords.fail(QStringLiteral("a formula's text is missing"));
    return std::nullopt;
}

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
        return { nullptr, QStringLiteral("is protected by a password") };
    if (!workbook)
        return { nullptr, NotAWorkbookReason };
    QString streamError;
    std::unique_ptr<ByteSource> stream = container->stream(*workbook, &streamError);
    if (!stream)
        return { nullptr, streamError };
    return OpenWorkbookStream(std::move(stream), namedWorkbook);
}

} // namespace

OpenedWorkbook OpenWorkbookStream(std::unique_ptr<ByteSource> stream, bool namedWorkbook)
{
    auto workbook = std::make_unique<XlsWorkbook>(std::move(stream), namedWorkbook);
    const QString reason = workbook->open();
    if (!reason.isEmpty())
        return { nullptr, reason };
    return { std::move(workbook), {} };
}

OpenedWorkbook OpenXls(const QString &path)
{
    QString error;
    std::unique_ptr<CompoundFile> container = CompoundFile::open(path, &error);
    return OpenCompoundFile(std::move(container), error);
}

OpenedWorkbook OpenXlsData(const QByteArray &data)
{
    QString error;
    std::unique_ptr<CompoundFile> container = CompoundFile::openData(data, &error);
    return OpenCompoundFile(std::move(container), error);
}

} // namespace plivan
