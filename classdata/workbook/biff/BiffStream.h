#pragma once

// The byte and record layer of the .xls reader: a workbook stream's bytes,
// wherever they are kept, read a block at a time; the records they hold; a
// record read on into its CONTINUE records; and the shared string table.
// The stream is the Workbook (BIFF8) or Book (BIFF5) stream of a compound
// file, or a whole file (or bytes) that is the record stream itself, as
// Excel 2.x to 4.0 save their workbooks without a container: both are a
// ByteSource.

#include "Internal.h"
#include "common/ByteSource.h"

#include <QString>

#include <memory>
#include <optional>
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

    // Reads from `start` on; a record other than CONTINUE where the body
    // goes on fails the reader with `endReason`.
    ContinuedReader(RecordReader &records, Position start, QString endReason)
        : m_records(records)
        , m_at(start)
        , m_endReason(std::move(endReason))
    {
    }

    Position position() const { return m_at; }
    void setPosition(Position position) { m_at = position; }

    // Little-endian numbers; false when the records end first.
    bool readU8(quint8 &value);
    bool readU16(quint16 &value);
    bool readU32(quint32 &value);

    bool skip(qint64 count);

    // `count` BIFF8 characters, 16-bit when `wide`; appended to `out`, or
    // skipped when `out` is null.
    bool readChars(quint32 count, bool wide, QString *out);

    // `count` bytes of 8-bit BIFF5 text.
    bool readBytes(quint32 count, QByteArray &out);

private:
    quint16 recordLength() const { return static_cast<quint16>(m_at.length); }
    bool nextRecord();

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

    // The table begins with the SST record `sst`.
    void start(const Record &sst);

    bool present() const { return m_present; }

    // String `index` (from 0); empty, with `records` failed, when the table
    // is missing or ends first.
    std::optional<QString> at(quint32 index, RecordReader &records);

private:
    bool readString(QString *out);
    void advance();

    ContinuedReader m_reader;
    std::vector<ContinuedReader::Position> m_checkpoints; // of strings 0, 64, 128, ...
    quint32 m_next = 0; // the string at the reader's position
    bool m_present = false;
};

} // namespace plivan
