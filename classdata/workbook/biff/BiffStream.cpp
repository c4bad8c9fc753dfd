#include "biff/BiffStream.h"

#include "biff/BiffDecryption.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace plivan {

namespace {

// How much is read from the stream at a time: a few rows of cells.
constexpr qint64 ReadAhead = 4096;

const QString EndsEarly = QStringLiteral("the workbook ends early");

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
    record.type = qFromLittleEndian<quint16>(p);
    record.length = qFromLittleEndian<quint16>(p + 2);
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

} // namespace plivan
