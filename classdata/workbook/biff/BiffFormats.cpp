#include "biff/BiffFormats.h"

#include "TextDecoding.h"
#include "biff/BiffRecords.h"
#include "common/Bytes.h"
#include "common/CellValue.h"

namespace plivan {

void BiffFormats::clear()
{
    m_xfFormats.clear();
    m_formatIsDate.clear();
    m_formatCount = 0;
}

bool BiffFormats::readXf(RecordReader &records, const Record &r)
{
    if (m_xfFormats.size() >= 65536)
        return true;
    // Where its number format is: a byte in Excel 2.x-4.0 (in 2.x its low six
    // bits), 16 bits from BIFF5 on. A record too short for it keeps its place.
    const qint64 need = r.type == RecXf ? 4 : r.type == RecXf2 ? 3 : 2;
    quint16 format = 0;
    if (r.length >= need) {
        const quint8 *b = records.body(r, need);
        if (!b)
            return false;
        format = r.type == RecXf ? U16(b + 2) : r.type == RecXf2 ? (b[2] & 0x3F) : b[1];
    }
    m_xfFormats.push_back(format);
    return true;
}

bool BiffFormats::readFormat(RecordReader &records, const Record &r, int biff, CodePageDecoder &decoder)
{
    // Number format codes are short; anything longer than its record is skipped.
    const quint16 position = m_formatCount++;
    if (r.length < 3 || m_formatIsDate.size() >= 65536)
        return true;
    const quint8 *b = records.body(r, r.length);
    if (!b)
        return false;
    quint16 index = U16(b);
    QString code;
    if (r.type == RecFormat2 || biff <= 4) {
        // Excel 2.x-4.0 number their formats in the order written; Excel 4.0
        // writes two unused bytes before the code.
        index = position;
        const int at = r.type == RecFormat2 ? 0 : 2;
        const quint8 count = b[at];
        if (at + 1 + count > r.length)
            return true;
        code = decoder.decode(QByteArray(reinterpret_cast<const char *>(b + at + 1), count));
    } else if (biff == 8) {
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
        code = decoder.decode(QByteArray(reinterpret_cast<const char *>(b + 3), count));
    }
    m_formatIsDate.insert(index, IsDateFormat(code));
    return true;
}

bool BiffFormats::isDateFormat(quint16 format, int biff) const
{
    const auto defined = m_formatIsDate.constFind(format);
    if (defined != m_formatIsDate.constEnd())
        return *defined;
    // Before BIFF5 every format a cell uses is written out.
    return biff >= 5 && IsBuiltInDateFormat(format);
}

} // namespace plivan
