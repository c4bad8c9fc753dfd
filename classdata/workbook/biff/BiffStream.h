#pragma once

// The byte layer of the .xls reader: a workbook stream's bytes, wherever they
// are kept, read a block at a time, and the records they hold. The stream is
// the Workbook (BIFF8) or Book (BIFF5) stream of a compound file, or a whole
// file (or bytes) that is the record stream itself, as Excel 2.x to 4.0 save
// their workbooks without a container: both are a ByteSource.

#include "common/ByteSource.h"

#include <QString>

#include <memory>
#include <vector>

namespace plivan {

class BiffDecryptor;

// Bytes of a workbook stream, read ahead a block at a time.
class ByteStream {
public:
    explicit ByteStream(ByteSource &source);

    qint64 size() const { return m_size; }

    // `length` bytes at `offset`, valid until the next call; null when the
    // stream ends first or cannot be read (the source's error() says why).
    const quint8 *at(qint64 offset, qint64 length);

    QString sourceError() const { return m_source.error(); }

private:
    ByteSource &m_source;
    qint64 m_size;
    std::vector<quint8> m_buffer;
    qint64 m_start = 0;
    qint64 m_filled = 0;
};

// A record: a 16-bit type, a 16-bit body length, the body.
struct Record {
    quint16 type = 0;
    quint16 length = 0;
    qint64 offset = 0; // of the header
    qint64 body() const { return offset + 4; }
    qint64 end() const { return offset + 4 + length; }
};

// Record headers and bodies from any position in the stream. Several readers
// of one stream share its source, the record budget and the first error.
class RecordReader {
public:
    RecordReader(ByteSource &source, qint64 &budget, QString &error);
    ~RecordReader();

    // The header of the record at `offset`; false (and the error set) when
    // the stream ends there or the budget is spent.
    bool header(qint64 offset, Record &record);

    // The first `length` bytes of the body (at most the whole body).
    const quint8 *body(const Record &record, qint64 length);

    // `length` bytes at `offset`, inside the body of a record of
    // `recordLength` bytes.
    const quint8 *bytes(qint64 offset, qint64 length, quint16 recordLength);

    // From here on, bodies are decrypted as they are read (a workbook behind
    // a FILEPASS record).
    void setDecryptor(std::unique_ptr<BiffDecryptor> decryptor);

    qint64 streamSize() const { return m_stream.size(); }

    // Records the first reason the workbook cannot be read further, as
    // "is damaged (<reason>)", or the source's own reason when a read failed
    // there. Returns false.
    bool fail(const QString &reason);

    bool failed() const { return !m_error.isEmpty(); }

private:
    const quint8 *decrypted(const quint8 *p, qint64 offset, qint64 length, quint16 recordLength, qint64 from);

    ByteStream m_stream;
    qint64 &m_budget;
    QString &m_error;
    std::unique_ptr<BiffDecryptor> m_decryptor;
    std::vector<quint8> m_plain; // the bytes last decrypted
};

} // namespace plivan
