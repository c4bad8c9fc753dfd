#include "biff/XlsReader.h"

#include "TextDecoding.h"
#include "biff/BiffDecryption.h"
#include "biff/BiffFormats.h"
#include "biff/BiffRecords.h"
#include "biff/BiffStream.h"
#include "common/Bytes.h"
#include "common/CellValue.h"
#include "common/DefaultPassword.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace plivan {

namespace {

// Records read over the life of one workbook, CONTINUE records included. A real
// roster needs a few thousand; the limit ends a hostile file in bounded time.
constexpr qint64 MaxRecords = 4'000'000;

// Sheets listed beyond this many are ignored (a workbook holds a few).
constexpr size_t MaxSheets = 65536;

// BIFF rows are 16-bit; row 65536 is the last.
constexpr int MaxRow = 65536;

struct SheetEntry {
    qint64 offset = -1; // of its BOF record in the stream; -1 where the list does not say
    quint8 kind = 0; // 0 worksheet or dialog sheet, else SheetMacro, SheetChart, SheetModule
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

    // Reads the workbook globals (in Excel 2.x-4.0 worksheets, the records
    // before the first cell) and finds the active sheet; the reason when the
    // workbook cannot be read or its active sheet holds no cells.
    QString open();

    std::optional<QString> cellText(int row) override;
    QString error() const override { return m_error; }

private:
    quint16 kindOf(quint16 type) const { return RecordKind(type, m_biff); }
    // The next record of the sheet from `offset` on, past any substream
    // (an embedded chart) nested in it between its own BOF and EOF.
    bool sheetRecord(qint64 offset, Record &record, quint16 &kind);
    QString openSheet(const SheetEntry &sheet);
    std::vector<qint64> workbook4Sheets(size_t count);
    int workbook4Shown(const std::vector<qint64> &sheets);
    bool readBookRecord(const Record &record);
    bool decryptWithDefaultPassword(const Record &filePass);
    bool scanColumn1();
    std::optional<QString> cellAt(int row);
    std::optional<QString> cellValue(const Record &record, quint16 kind, const quint8 *body);
    std::optional<QString> formulaText(const Record &record, const quint8 *body, int head);
    std::optional<QString> labelText(const Record &record, int head);
    // A count of characters (8-bit in Excel 2.x records, else 16-bit) and, in
    // BIFF8, a flag byte, then the text; nullopt for empty or cut-short text.
    std::optional<QString> cellString(ContinuedReader &reader, bool byteCount);
    std::optional<QString> numberText(double value, const quint8 *body, int head) const;
    QString decode8Bit(const QByteArray &bytes);

    std::unique_ptr<ByteSource> m_stream; // the workbook stream
    bool m_namedWorkbook;

    QString m_error;
    qint64 m_budget = MaxRecords;
    RecordReader m_sheetRecords; // the globals, then the active sheet
    RecordReader m_stringRecords; // the shared string table
    SharedStrings m_strings;

    int m_biff = 8; // 2, 3 or 4 (Excel 2.x to 4.0), 5 (Excel 5/95) or 8
    bool m_date1904 = false;
    CodePageDecoder m_decoder; // text before BIFF8; BIFF8 text is Unicode
    BiffFormats m_formats;
    qint64 m_sheetsOffset = -1; // Excel 4.0 workbook: the first sheet's header

    qint64 m_sheetStart = 0; // the sheet's first cell record (or its EOF)
    qint64 m_next = 0; // next record of the sheet to read
    bool m_sheetEnded = false;
    int m_lastRow = 0; // the row asked for last
    // The sheet has an INDEX record, as Excel writes: its cells come row by
    // row, and a later row means that the row asked for has no more.
    bool m_rowOrder = false;
    // Elsewhere, before a cell counts as empty, the whole sheet is read once
    // for the last record of each row's column 1 (a writer may fill a range
    // with blanks first and write the values later): its offset, or -1.
    bool m_scanned = false;
    std::vector<qint64> m_column1;
};

inline bool XlsWorkbook::sheetRecord(qint64 offset, Record &record, quint16 &kind)
{
    for (int depth = 0;; offset = record.end()) {
        if (!m_sheetRecords.header(offset, record))
            return false;
        kind = kindOf(record.type);
        if (kind == RecBof)
            ++depth;
        else if (depth > 0 && kind == RecEof)
            --depth;
        else if (depth == 0)
            return true;
    }
}

QString XlsWorkbook::open()
{
    Record bof;
    if (!m_sheetRecords.header(0, bof))
        return m_error;
    m_biff = bof.type == RecBof2 ? 2 : bof.type == RecBof3 ? 3 : bof.type == RecBof4 ? 4 : 8;
    const quint8 *b = kindOf(bof.type) == RecBof && bof.length >= 4 ? m_sheetRecords.body(bof, 4) : nullptr;
    const quint16 bofType = b ? U16(b + 2) : 0;
    // A bare worksheet whose BOF has the BIFF5/8 number and version 0 holds
    // Excel 2.x-4.0 cells, as small export scripts write them. Read as
    // Excel 2.x, it takes the cells of every version from 2.x to 4.0, whose
    // record numbers differ.
    if (bof.type == RecBof && b && U16(b) == 0 && bofType == BofWorksheet)
        m_biff = 2;
    // An Excel 2.x-4.0 worksheet is a stream of one sheet.
    if (m_biff <= 4 && b && bofType != BofWorkbook4)
        return openSheet({ 0, 0 });
    if (!b || bofType != (m_biff == 4 ? BofWorkbook4 : BofGlobals)) {
        m_sheetRecords.fail(QStringLiteral("the workbook part does not begin with its sheet list"));
        return m_error;
    }
    if (m_biff == 8) {
        const quint16 version = U16(b);
        m_biff = version == 0x0600 ? 8 : version == 0x0500 ? 5 : m_namedWorkbook ? 8 : 5;
    }

    std::vector<SheetEntry> sheets;
    int activeTab = 0;
    bool window1Seen = false;
    for (qint64 offset = bof.end();;) {
        Record r;
        if (!m_sheetRecords.header(offset, r))
            return m_error;
        offset = r.end();
        // An Excel 4.0 workbook's sheets stand between its sheet list and its EOF.
        if (r.type == RecEof || r.type == RecSheetHeader)
            break;
        switch (r.type) {
        case RecFilePass:
            if (!decryptWithDefaultPassword(r))
                return m_error.isEmpty() ? PasswordReason : m_error;
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
            if (sheets.size() >= MaxSheets)
                break;
            if (m_biff == 4) { // the name alone; the sheets follow each other in this order
                sheets.push_back({});
            } else if (r.length >= 6) {
                if (!(b = m_sheetRecords.body(r, 6)))
                    return m_error;
                sheets.push_back({ static_cast<qint64>(U32(b)), b[5] });
            }
            break;
        case RecSheetsOffset:
            if (r.length >= 4) {
                if (!(b = m_sheetRecords.body(r, 4)))
                    return m_error;
                m_sheetsOffset = U32(b);
            }
            break;
        case RecSst:
            m_strings.start(r);
            break;
        default:
            if (!readBookRecord(r))
                return m_error;
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
    int tab = activeTab;
    std::vector<qint64> sheets4;
    if (m_biff == 4) {
        sheets4 = workbook4Sheets(sheets.size());
        if (!window1Seen && (tab = workbook4Shown(sheets4)) < 0)
            return m_error;
    }
    // A saved active tab past the last sheet falls back to the first.
    if (tab >= static_cast<int>(sheets.size()))
        tab = 0;
    SheetEntry sheet = sheets[tab];
    if (m_biff == 4)
        sheet.offset = tab < static_cast<int>(sheets4.size()) ? sheets4[tab] : -1;
    return openSheet(sheet);
}

// The sheets of an Excel 4.0 workbook follow one another after the sheet
// list, each after a header that gives its length: the offsets of their BOF
// records, as many as are found.
std::vector<qint64> XlsWorkbook::workbook4Sheets(size_t count)
{
    std::vector<qint64> offsets;
    for (qint64 at = m_sheetsOffset;
         at >= 0 && at + 8 <= m_sheetRecords.streamSize() && offsets.size() < count;) {
        Record header;
        const quint8 *b = nullptr;
        if (!m_sheetRecords.header(at, header) || header.type != RecSheetHeader || header.length < 4
            || !(b = m_sheetRecords.body(header, 4)))
            break;
        offsets.push_back(header.end());
        at = header.end() + U32(b);
    }
    return offsets;
}

// Excel 4.0 keeps no active tab in WINDOW1: the sheet that was showing has
// its own WINDOW2 say so. The first sheet when none does; -1 when reading
// failed.
int XlsWorkbook::workbook4Shown(const std::vector<qint64> &sheets)
{
    for (size_t i = 0; i < sheets.size(); ++i) {
        Record r;
        quint16 kind = 0;
        if (!m_sheetRecords.header(sheets[i], r))
            return -1;
        for (qint64 offset = r.end();; offset = r.end()) {
            if (!sheetRecord(offset, r, kind))
                return -1;
            if (kind == RecEof)
                break;
            if (kind == RecWindow2 && r.length >= 2) {
                const quint8 *b = m_sheetRecords.body(r, 2);
                if (!b)
                    return -1;
                if (U16(b) & Window2Shown)
                    return static_cast<int>(i);
                break;
            }
        }
    }
    return 0;
}

QString XlsWorkbook::openSheet(const SheetEntry &sheet)
{
    Record bof;
    const bool inside = sheet.offset >= 0 && sheet.offset + 4 <= m_sheetRecords.streamSize();
    if (!inside || !m_sheetRecords.header(sheet.offset, bof) || kindOf(bof.type) != RecBof
        || bof.length < 4) {
        // Missing when its place lies past the stream's end; otherwise the
        // sheet list points into the stream where no sheet begins.
        m_error.clear();
        m_sheetRecords.fail(inside ? QStringLiteral("the sheet list does not lead to the active sheet")
                                   : QStringLiteral("the active sheet is missing"));
        return m_error;
    }
    const quint8 *b = m_sheetRecords.body(bof, 4);
    if (!b)
        return m_error;
    // Excel 2.x-4.0 formats belong to their sheet.
    if (m_biff <= 4) {
        m_formats.clear();
    }
    // Chart sheets, modules and dialog sheets have no column of names. An
    // Excel 4.0 macro sheet is a grid of cells, read as a worksheet is.
    const quint16 bofType = U16(b + 2);
    if (bofType == BofChart || sheet.kind == SheetChart)
        return NotAListReason(QStringLiteral("a chart"));
    if (bofType == BofModule || sheet.kind == SheetModule)
        return NotAListReason(QStringLiteral("a Visual Basic module"));

    // The records before the first cell: the sheet's settings, and in Excel
    // 2.x-4.0 also the number formats, cell formats and code page.
    for (qint64 offset = bof.end();;) {
        Record r;
        quint16 kind = 0;
        if (!sheetRecord(offset, r, kind))
            return m_error;
        if (kind == RecEof || IsCell(kind)) {
            m_sheetStart = m_next = r.offset;
            return {};
        }
        offset = r.end();
        if (kind == RecIndex) {
            m_rowOrder = true;
        } else if (kind == RecWsBool && m_biff >= 5 && r.length >= 1) { // dialog sheets came with Excel 5
            if (!(b = m_sheetRecords.body(r, 1)))
                return m_error;
            if (b[0] & WsBoolDialog)
                return NotAListReason(QStringLiteral("a dialog sheet"));
        } else if (m_biff <= 4) {
            if (kind == RecFilePass)
                return QStringLiteral("is protected by a password");
            if (!readBookRecord(r))
                return m_error;
        }
    }
}

// Settings of the whole workbook: in the globals, or before the cells of an
// Excel 2.x-4.0 sheet.
bool XlsWorkbook::readBookRecord(const Record &r)
{
    const quint8 *b = nullptr;
    switch (r.type) {
    case RecCodePage:
        if (r.length >= 2) {
            if (!(b = m_sheetRecords.body(r, 2)))
                return false;
            // BIFF8 text is Unicode; older text is in this code page.
            if (m_biff < 8)
                m_decoder = CodePageDecoder(U16(b));
        }
        return true;
    case RecDateMode:
        if (r.length >= 2) {
            if (!(b = m_sheetRecords.body(r, 2)))
                return false;
            m_date1904 = U16(b) == 1;
        }
        return true;
    case RecXf:
    case RecXf2:
    case RecXf3:
    case RecXf4:
        return m_formats.readXf(m_sheetRecords, r);
    case RecFormat:
    case RecFormat2:
        return m_formats.readFormat(m_sheetRecords, r, m_biff, m_decoder);
    default:
        return true;
    }
}

// Reads on through a workbook locked with a password when the default
// password opens it.
bool XlsWorkbook::decryptWithDefaultPassword(const Record &filePass)
{
    // Excel 2.x-4.0 obfuscation is not read.
    if (m_biff < 5)
        return false;
    const quint8 *b = m_sheetRecords.body(filePass, filePass.length);
    std::unique_ptr<BiffDecryptor> decryptor
        = b ? DefaultPasswordDecryptor(b, filePass.length, m_biff == 8) : nullptr;
    if (!decryptor)
        return false;
    m_stringRecords.setDecryptor(decryptor->clone());
    m_sheetRecords.setDecryptor(std::move(decryptor));
    return true;
}

QString XlsWorkbook::decode8Bit(const QByteArray &bytes)
{
    return m_decoder.decode(bytes);
}

// `body` begins with the cell's row and column, then its format: three
// attribute bytes in Excel 2.x records (`head` 7; the second holds the number
// format), else the index of a cell format (`head` 6).
std::optional<QString> XlsWorkbook::numberText(double value, const quint8 *body, int head) const
{
    bool date = false;
    if (head == 7) {
        date = m_formats.isDateFormat(body[5] & 0x3F, m_biff);
    } else {
        date = m_formats.xfIsDate(U16(body + 4), m_biff);
    }
    return date ? DateText(value, m_date1904) : NumberText(value);
}

std::optional<QString> XlsWorkbook::cellText(int row)
{
    if (!m_error.isEmpty() || row < 1 || row > MaxRow)
        return std::nullopt;
    if (m_scanned)
        return cellAt(row);
    if (row <= m_lastRow) { // asked again from an earlier row: read from the top
        m_next = m_sheetStart;
        m_sheetEnded = false;
    }
    m_lastRow = row;
    const quint16 wanted = static_cast<quint16>(row - 1);

    while (!m_sheetEnded) {
        Record r;
        quint16 kind = 0;
        if (!sheetRecord(m_next, r, kind))
            return std::nullopt;
        if (kind == RecEof) {
            m_sheetEnded = true;
            break;
        }
        if (!IsCell(kind) || r.length < 4) { // not a cell, or one without its place
            m_next = r.end();
            continue;
        }
        const quint8 *b = m_sheetRecords.body(r, std::min<qint64>(r.length, 16));
        if (!b)
            return std::nullopt;
        const quint16 cellRow = U16(b);
        if (cellRow > wanted)
            break;
        m_next = r.end();
        if (cellRow < wanted || U16(b + 2) != 0)
            continue;
        std::optional<QString> text = cellValue(r, kind, b);
        if (text || m_rowOrder || !m_error.isEmpty())
            return text;
        break;
    }
    if (m_rowOrder || !m_error.isEmpty() || !scanColumn1())
        return std::nullopt;
    return cellAt(row);
}

bool XlsWorkbook::scanColumn1()
{
    m_column1.clear();
    for (qint64 offset = m_sheetStart;;) {
        Record r;
        quint16 kind = 0;
        if (!sheetRecord(offset, r, kind))
            return false;
        if (kind == RecEof)
            break;
        offset = r.end();
        if (!IsCell(kind) || r.length < 4)
            continue;
        const quint8 *b = m_sheetRecords.body(r, 4);
        if (!b)
            return false;
        if (U16(b + 2) != 0)
            continue;
        const size_t row = U16(b);
        if (row >= m_column1.size())
            m_column1.resize(std::max<size_t>(row + 1, 2 * m_column1.size()), -1);
        m_column1[row] = r.offset;
    }
    m_scanned = true;
    return true;
}

std::optional<QString> XlsWorkbook::cellAt(int row)
{
    const size_t index = static_cast<size_t>(row - 1);
    if (index >= m_column1.size() || m_column1[index] < 0)
        return std::nullopt;
    Record r;
    const quint8 *b = nullptr;
    if (!m_sheetRecords.header(m_column1[index], r)
        || !(b = m_sheetRecords.body(r, std::min<qint64>(r.length, 16))))
        return std::nullopt;
    return cellValue(r, kindOf(r.type), b);
}

// The text of a cell record in column 1; `body` holds its first 16 bytes or
// the whole body when shorter.
std::optional<QString> XlsWorkbook::cellValue(const Record &r, quint16 kind, const quint8 *b)
{
    const int head = m_biff <= 2 && r.type <= RecString2 ? 7 : 6;
    switch (kind) {
    case RecNumber:
        if (r.length < head + 8)
            return std::nullopt;
        return numberText(F64(b + head), b, head);
    case RecInteger2:
        if (r.length < 9)
            return std::nullopt;
        return numberText(U16(b + 7), b, 7);
    case RecRk:
    case RecMulRk: // its first cell: the format and number after the first column
        if (r.length < (kind == RecRk ? 10 : 12))
            return std::nullopt;
        return numberText(RkValue(U32(b + 6)), b, 6);
    case RecBoolErr:
        if (r.length < head + 2)
            return std::nullopt;
        return b[head + 1] ? ErrorText(b[head]) : BooleanText(b[head] != 0);
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
        return labelText(r, head);
    case RecFormula:
        return formulaText(r, b, head);
    default: // BLANK, MULBLANK
        return std::nullopt;
    }
}

std::optional<QString> XlsWorkbook::labelText(const Record &r, int head)
{
    // Row, column and format, then the text.
    ContinuedReader reader(
        m_sheetRecords, { r.body(), r.length, head }, QStringLiteral("a cell's text is cut short"));
    return cellString(reader, head == 7);
}

std::optional<QString> XlsWorkbook::cellString(ContinuedReader &reader, bool byteCount)
{
    quint16 count = 0;
    quint8 shortCount = 0;
    QString text;
    if (byteCount ? !reader.readU8(shortCount) : !reader.readU16(count))
        return std::nullopt;
    if (byteCount)
        count = shortCount;
    if (m_biff >= 8) {
        quint8 flags = 0;
        if (count > MaxCellChars) {
            m_sheetRecords.fail(CellTooLong);
            return std::nullopt;
        }
        if (!reader.readU8(flags) || !reader.readChars(count, flags & 0x01, &text))
            return std::nullopt;
    } else {
        QByteArray bytes;
        if (!reader.readBytes(count, bytes))
            return std::nullopt;
        text = decode8Bit(bytes);
        if (text.size() > MaxCellChars) { // counted in bytes, which a double-byte code page may halve
            m_sheetRecords.fail(CellTooLong);
            return std::nullopt;
        }
    }
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

std::optional<QString> XlsWorkbook::formulaText(const Record &r, const quint8 *b, int head)
{
    if (r.length < head + 8)
        return std::nullopt;
    // The cached result: a double, or a marker 0xFFFF in its top bytes with
    // the kind of result in the first byte.
    if (U16(b + head + 6) != 0xFFFF)
        return numberText(F64(b + head), b, head);
    switch (b[head]) {
    case 1:
        return BooleanText(b[head + 2] != 0);
    case 2:
        return ErrorText(b[head + 2]);
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
        const quint16 kind = kindOf(s.type);
        if (kind == RecContinue || kind == RecShrFmla || kind == RecArray || kind == RecTable)
            continue;
        if (kind != RecString)
            break;
        m_next = s.end();
        ContinuedReader reader(
            m_sheetRecords, { s.body(), s.length, 0 }, QStringLiteral("a formula's text is cut short"));
        return cellString(reader, s.type == RecString2);
    }
    m_sheetRecords.fail(QStringLiteral("a formula's text is missing"));
    return std::nullopt;
}

} // namespace

OpenedWorkbook OpenWorkbookStream(std::unique_ptr<ByteSource> stream, bool namedWorkbook)
{
    return OpenBook<XlsWorkbook>(std::move(stream), namedWorkbook);
}

} // namespace plivan
