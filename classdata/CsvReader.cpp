#include "CsvReader.h"

#include "TextDecoding.h"

#include <QBuffer>
#include <QFile>
#include <QStringDecoder>

namespace plivan {

namespace {

constexpr qsizetype BlockBytes = 64 * 1024;

class CsvWorkbook final : public Workbook {
public:
    explicit CsvWorkbook(std::unique_ptr<QIODevice> device) : device(std::move(device)) {}

    // Reads the first block and settles the encoding from it.
    bool start()
    {
        if (!fill())
            return false;
        if (buffer.startsWith("\xEF\xBB\xBF")) {
            pos = 3;
            utf8 = true;
        } else {
            // A multibyte sequence cut by the end of the block is not an
            // error: the decoder keeps it as pending state.
            QStringDecoder decoder(QStringDecoder::Utf8);
            decoder(buffer);
            utf8 = !decoder.hasError();
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
                        current = utf8 ? QString::fromUtf8(first) : FromWindows1252(first);
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

    Record tooLong()
    {
        return damaged(QStringLiteral("line %1 is too long").arg(rowsRead + 1));
    }

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
        return {nullptr, book->failure};
    return {std::move(book), {}};
}

} // namespace

OpenedWorkbook OpenCsv(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        if (!file->exists())
            return {nullptr, QStringLiteral("was not found")};
        return {nullptr, QStringLiteral("could not be read (%1)").arg(file->errorString())};
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
