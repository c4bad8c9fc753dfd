#include "biff/BiffStream.h"

#include "biff/BiffDecryption.h"
#include "biff/BiffRecords.h"

#include "common/Bytes.h"
#include "common/CellValue.h"

#include <algorithm>
#include <cstring>

namespace plivan {

namespace {

// How much is read from the stream at a time: a few rows of cells.
constexpr qint64 ReadAhead = 4096;

const QString EndsEarly = QStringLiteral("the workbook ends early");

// A checkpoint in the shared string table every this many strings, so that a
// string before the last one decoded is found again without starting over.
constexpr quint32 SharedStringStep = 64;

} // namespace

ByteStream::ByteStream(ByteSource &source)
    : m_source(source)
    , m_size(std::max<qint64>(0, source.size()))
{
}

const quint8 *ByteStream::at(qint64 offset, qint64 length)
{
    if (offset < 0 || length < 0 || offset > m_size || length > m_size - offset)
        return nullptr;
    if (offset >= m_start && offset + length <= m_start + m_filled)
        return m_buffer.data() + (offset - m_start);
    const qint64 want = std::min(std::max(length, ReadAhead), m_size - offset);
    if (static_cast<qint64>(m_buffer.size()) < want)
        m_buffer.resize(static_cast<size_t>(want));
    m_filled = 0;
    if (!m_source.read(offset, want, m_buffer.data()))
        return nullptr;
    m_start = offset;
    m_filled = want;
    return m_buffer.data();
}

RecordReader::RecordReader(ByteSource &source, qint64 &budget, QString &error)
    : m_stream(source)
    , m_budget(budget)
    , m_error(error)
{
}

RecordReader::~RecordReader() = default;

void RecordReader::setDecryptor(std::unique_ptr<BiffDecryptor> decryptor)
{
    m_decryptor = std::move(decryptor);
}

bool RecordReader::header(qint64 offset, Record &record)
{
    if (m_budget <= 0)
        return fail(QStringLiteral("it has too many records"));
    --m_budget;
    const quint8 *p = m_stream.at(offset, 4);
    if (!p)
        return fail(EndsEarly);
    record.type = U16(p);
    record.length = U16(p + 2);
    record.offset = offset;
    return true;
}

const quint8 *RecordReader::body(const Record &record, qint64 length)
{
    length = std::min<qint64>(length, record.length);
    const quint8 *p = m_stream.at(record.body(), length);
    if (!p) {
        fail(EndsEarly);
        return nullptr;
    }
    if (!m_decryptor || !RecordIsEncrypted(record.type))
        return p;
    // A sheet's place in the stream stays readable.
    return decrypted(p, record.body(), length, record.length, record.type == BoundSheetRecord ? 4 : 0);
}

const quint8 *RecordReader::bytes(qint64 offset, qint64 length, quint16 recordLength)
{
    const quint8 *p = m_stream.at(offset, length);
    if (!p) {
        fail(EndsEarly);
        return nullptr;
    }
    return m_decryptor ? decrypted(p, offset, length, recordLength, 0) : p;
}

const quint8 *RecordReader::decrypted(
    const quint8 *p, qint64 offset, qint64 length, quint16 recordLength, qint64 from)
{
    m_plain.resize(size_t(length));
    if (length > 0)
        std::memcpy(m_plain.data(), p, size_t(length));
    if (length > from)
        m_decryptor->decrypt(m_plain.data() + from, offset + from, length - from, recordLength);
    return m_plain.data();
}

bool RecordReader::fail(const QString &reason)
{
    if (m_error.isEmpty()) {
        // A read the container could not serve says so itself.
        const QString sourceError = reason == EndsEarly ? m_stream.sourceError() : QString();
        m_error = sourceError.isEmpty() ? QStringLiteral("is damaged (%1)").arg(reason) : sourceError;
    }
    return false;
}

bool ContinuedReader::readU8(quint8 &value)
{
    while (m_at.pos >= m_at.length) {
        if (!nextRecord())
            return false;
    }
    const quint8 *p = m_records.bytes(m_at.body + m_at.pos, 1, recordLength());
    if (!p)
        return false;
    value = *p;
    ++m_at.pos;
    return true;
}

bool ContinuedReader::readU16(quint16 &value)
{
    quint8 lo = 0, hi = 0;
    if (!readU8(lo) || !readU8(hi))
        return false;
    value = static_cast<quint16>(lo | (hi << 8));
    return true;
}

bool ContinuedReader::readU32(quint32 &value)
{
    quint16 lo = 0, hi = 0;
    if (!readU16(lo) || !readU16(hi))
        return false;
    value = lo | (static_cast<quint32>(hi) << 16);
    return true;
}

bool ContinuedReader::skip(qint64 count)
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

bool ContinuedReader::readChars(quint32 count, bool wide, QString *out)
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
            const quint8 *p = m_records.bytes(m_at.body + m_at.pos, fit * size, recordLength());
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

bool ContinuedReader::readBytes(quint32 count, QByteArray &out)
{
    while (count > 0) {
        if (m_at.pos >= m_at.length && !nextRecord())
            return false;
        const qint64 fit = std::min<qint64>(count, m_at.length - m_at.pos);
        const quint8 *p = m_records.bytes(m_at.body + m_at.pos, fit, recordLength());
        if (!p)
            return false;
        out.append(reinterpret_cast<const char *>(p), fit);
        m_at.pos += fit;
        count -= static_cast<quint32>(fit);
    }
    return true;
}

bool ContinuedReader::nextRecord()
{
    Record next;
    if (!m_records.header(m_at.body + m_at.length, next))
        return false;
    if (next.type != RecContinue)
        return m_records.fail(m_endReason);
    m_at = { next.body(), next.length, 0 };
    return true;
}

void SharedStrings::start(const Record &sst)
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

std::optional<QString> SharedStrings::at(quint32 index, RecordReader &records)
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
    if (text.size() > MaxCellChars) { // a count of up to 65,535
        records.fail(CellTooLong);
        return std::nullopt;
    }
    return text;
}

bool SharedStrings::readString(QString *out)
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

void SharedStrings::advance()
{
    ++m_next;
    if (m_next % SharedStringStep == 0 && m_next / SharedStringStep == m_checkpoints.size())
        m_checkpoints.push_back(m_reader.position());
}

} // namespace plivan
