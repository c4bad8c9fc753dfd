#include "CsvReader.h"

#include "TextDecoding.h"
#include "fuzzing/WorkbookData.h"

#include <QBuffer>
#include <QFile>
#include <QStringDecoder>

namespace plivan {

namespace {

constexpr qsizetype BlockBytes = 64 * 1024;

// UTF-8 as stored: a byte order mark at the start of a field (not of the
// file) is a character, not something to drop.
QString FromUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF). A sequence cut short by the end of the bytes
// counts as well-formed unless `complete` says nothing follows.
bool IsUtf8(QByteArrayView bytes, bool complete)
{
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned char low = 0x80, high = 0xBF; // range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            if (i + k >= size)
                return !complete;
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF))
                return false;
        }
        i += more + 1;
    }
    return true;
}

class CsvWorkbook final : public Workbook {
public:
    explicit CsvWorkbook(std::unique_ptr<QIODevice> device)
        : device(std::move(device))
    {
    }

    // Reads the first block and settles the encoding from it.
    bool start()
    {
        if (!fill())
            return false;
        if (buffer.startsWith("\xEF\xBB\xBF")) {
            pos = 3;
            utf8 = true;
        } else {
            utf8 = IsUtf8(buffer, atEnd || device->atEnd());
        }
        startPos = pos;
        return true;
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1 || !failure.isEmpty())
            return std::nullopt;
        if (row == rowsRead && current)
            return current;
        if (row <= rowsRead && !rewind())
            return std::nullopt;
        while (rowsRead < row) {
            QByteArray first;
            switch (nextRecord(first)) {
            case Record::End:
                current.reset();
                return std::nullopt;
            case Record::Damaged:
                current.reset();
                return std::nullopt;
            case Record::Read:
                ++rowsRead;
                if (rowsRead == row) {
                    if (first.isEmpty())
                        current.reset();
                    else
                        current = utf8 ? FromUtf8(first) : FromWindows1252(first);
                }
                break;
            }
        }
        return current;
    }

    QString error() const override { return failure; }

    QString failure;

private:
    enum class Record { Read, End, Damaged };

    // Adds the next block to the buffer; false when nothing more could be read.
    bool fill()
    {
        if (atEnd)
            return false;
        if (pos > 0) {
            buffer.remove(0, pos);
            pos = 0;
        }
        const qsizetype old = buffer.size();
        buffer.resize(old + BlockBytes);
        const qint64 got = device->read(buffer.data() + old, BlockBytes);
        if (got < 0) {
            buffer.resize(old);
            atEnd = true;
            failure = QStringLiteral("could not be read (%1)").arg(device->errorString());
            return false;
        }
        buffer.resize(old + qsizetype(got));
        if (got == 0)
            atEnd = true;
        return got > 0;
    }

    // The next byte, or -1 at the end of the data.
    int get()
    {
        if (pos >= buffer.size() && !fill())
            return -1;
        ++recordBytes;
        return static_cast<unsigned char>(buffer.at(pos++));
    }

    int peek()
    {
        if (pos >= buffer.size() && !fill())
            return -1;
        return static_cast<unsigned char>(buffer.at(pos));
    }

    Record damaged(const QString &why)
    {
        failure = QStringLiteral("is damaged (%1)").arg(why);
        return Record::Damaged;
    }

    Record tooLong() { return damaged(QStringLiteral("line %1 is too long").arg(rowsRead + 1)); }

    // Reads one record, keeping the bytes of its first field in `first`.
    Record nextRecord(QByteArray &first)
    {
        if (peek() < 0)
            return failure.isEmpty() ? Record::End : Record::Damaged;
        recordBytes = 0;
        bool inFirst = true;
        for (;;) {
            const auto keep = [&](int c) {
                if (inFirst)
                    first.append(static_cast<char>(c));
            };
            int c = get();
            if (c == '"') {
                // A quoted field: up to the quote that is not doubled.
                for (;;) {
                    c = get();
                    if (c < 0) {
                        if (!failure.isEmpty())
                            return Record::Damaged;
                        return damaged(
                            QStringLiteral("a quoted field from line %1 is never closed").arg(rowsRead + 1));
                    }
                    if (c == '"') {
                        if (peek() != '"')
                            break;
                        get();
                    }
                    keep(c);
                    if (recordBytes > MaxCsvRecordBytes || first.size() > MaxCsvFieldBytes)
                        return tooLong();
                }
                c = get(); // what follows the closing quote
            }
            // Unquoted text, and any text after a closing quote, is kept as it is.
            while (c >= 0 && c != ',' && c != '\r' && c != '\n') {
                keep(c);
                if (recordBytes > MaxCsvRecordBytes || first.size() > MaxCsvFieldBytes)
                    return tooLong();
                c = get();
            }
            if (c == ',') {
                inFirst = false;
                continue;
            }
            if (c < 0 && !failure.isEmpty())
                return Record::Damaged;
            if (c == '\r' && peek() == '\n')
                get();
            return Record::Read;
        }
    }

    bool rewind()
    {
        if (!device->seek(0)) {
            failure = QStringLiteral("could not be read again");
            return false;
        }
        buffer.clear();
        pos = 0;
        atEnd = false;
        rowsRead = 0;
        current.reset();
        if (!fill() && !failure.isEmpty())
            return false;
        pos = startPos;
        return true;
    }

    std::unique_ptr<QIODevice> device;
    QByteArray buffer;
    qsizetype pos = 0;
    qsizetype startPos = 0;
    qsizetype recordBytes = 0;
    bool atEnd = false;
    bool utf8 = true;
    int rowsRead = 0;
    std::optional<QString> current;
};

OpenedWorkbook Open(std::unique_ptr<QIODevice> device)
{
    auto book = std::make_unique<CsvWorkbook>(std::move(device));
    if (!book->start() && !book->failure.isEmpty())
        return { nullptr, book->failure };
    return { std::move(book), {} };
}

} // namespace

OpenedWorkbook OpenCsv(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        if (!file->exists())
            return { nullptr, QStringLiteral("was not found") };
        return { nullptr, QStringLiteral("could not be read (%1)").arg(file->errorString()) };
    }
    return Open(std::move(file));
}

OpenedWorkbook OpenCsvData(const QByteArray &data)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    return Open(std::move(buffer));
}

} // namespace plivan
