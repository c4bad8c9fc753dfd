#include "plaintext/CsvReader.h"

#include "TextDecoding.h"
#include "common/CellValue.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <optional>

namespace plivan {

namespace {

constexpr qsizetype BlockBytes = 64 * 1024; // even, so that blocks split UTF-16 at code units

// UTF-8 as stored: a byte order mark at the start of a field (not of the
// file) is a character, not something to drop.
QString FromUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

// The records are parsed as bytes; UTF-16 is turned into UTF-8 as it is
// read, so that the parser sees UTF-8 like any other file.
class CsvWorkbook final : public Workbook {
public:
    CsvWorkbook(std::unique_ptr<QIODevice> device, char separator)
        : m_device(std::move(device))
        , m_separator(separator)
    {
    }

    // Reads the first block and settles the encoding from it.
    bool start()
    {
        if (!fill())
            return false;
        if (m_buffer.startsWith("\xFF\xFE") || m_buffer.startsWith("\xFE\xFF")) {
            m_utf16.emplace(m_buffer.startsWith("\xFE\xFF"));
            m_buffer = m_utf16->next(QByteArrayView(m_buffer).sliced(2));
            m_startRaw = 2;
        } else if (m_buffer.startsWith("\xEF\xBB\xBF")) {
            m_pos = 3;
        } else {
            m_utf8 = StartsAsUtf8(m_buffer, m_atEnd ? QByteArray() : m_device->peek(3));
        }
        m_startPos = m_pos;
        return true;
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1 || !m_failure.isEmpty())
            return std::nullopt;
        if (row == m_rowsRead && m_current)
            return m_current;
        if (row <= m_rowsRead && !rewind())
            return std::nullopt;
        while (m_rowsRead < row) {
            QByteArray first;
            switch (nextRecord(first)) {
            case Record::End:
            case Record::Damaged:
                m_current.reset();
                return std::nullopt;
            case Record::Read:
                ++m_rowsRead;
                if (m_rowsRead == row) {
                    if (first.isEmpty())
                        m_current.reset();
                    else
                        m_current = m_utf8 ? FromUtf8(first) : FromWindows1252(first);
                    if (m_current && m_current->size() > MaxCellChars) {
                        damaged(CellTooLong);
                        m_current.reset();
                    }
                }
                break;
            }
        }
        return m_current;
    }

    QString error() const override { return m_failure; }

private:
    enum class Record { Read, End, Damaged };

    // Adds the next block to the buffer (in UTF-8 when the file is UTF-16);
    // false when nothing more could be read.
    bool fill()
    {
        if (m_atEnd)
            return false;
        if (m_pos > 0) {
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        const qsizetype old = m_buffer.size();
        m_buffer.resize(old + BlockBytes);
        const qint64 got = m_device->read(m_buffer.data() + old, BlockBytes);
        if (got < 0) {
            m_buffer.resize(old);
            m_atEnd = true;
            m_failure = QStringLiteral("could not be read (%1)").arg(m_device->errorString());
            return false;
        }
        m_buffer.resize(old + qsizetype(got));
        if (got == 0) {
            m_atEnd = true;
            if (!m_utf16)
                return false;
            m_buffer += m_utf16->finish();
            return m_buffer.size() > old;
        }
        if (m_utf16) {
            const QByteArray text = m_utf16->next(QByteArrayView(m_buffer).sliced(old));
            m_buffer.resize(old);
            m_buffer += text;
        }
        return true;
    }

    // True when a byte is ready at m_pos. A UTF-16 block may add nothing
    // (a lone byte waits for the next one), so blocks are read until one does.
    bool ready()
    {
        while (m_pos >= m_buffer.size()) {
            if (!fill())
                return false;
        }
        return true;
    }

    // The next byte, or -1 at the end of the data.
    int get()
    {
        if (!ready())
            return -1;
        ++m_recordBytes;
        return static_cast<unsigned char>(m_buffer.at(m_pos++));
    }

    int peek() { return ready() ? static_cast<unsigned char>(m_buffer.at(m_pos)) : -1; }

    Record damaged(const QString &why)
    {
        m_failure = QStringLiteral("is damaged (%1)").arg(why);
        return Record::Damaged;
    }

    Record tooLong()
    {
        return damaged(m_recordBytes > MaxCsvRecordBytes
                ? QStringLiteral("line %1 is too long").arg(m_rowsRead + 1)
                : CellTooLong);
    }

    // Reads one record, keeping the bytes of its first field in `first`.
    Record nextRecord(QByteArray &first)
    {
        if (peek() < 0)
            return m_failure.isEmpty() ? Record::End : Record::Damaged;
        m_recordBytes = 0;
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
                        if (!m_failure.isEmpty())
                            return Record::Damaged;
                        return damaged(QStringLiteral("a quoted field from line %1 is never closed")
                                           .arg(m_rowsRead + 1));
                    }
                    if (c == '"') {
                        if (peek() != '"')
                            break;
                        get();
                    }
                    keep(c);
                    if (m_recordBytes > MaxCsvRecordBytes || first.size() > MaxCsvFieldBytes)
                        return tooLong();
                }
                c = get(); // what follows the closing quote
            }
            // Unquoted text, and any text after a closing quote, is kept as it is.
            while (c >= 0 && c != m_separator && c != '\r' && c != '\n') {
                keep(c);
                if (m_recordBytes > MaxCsvRecordBytes || first.size() > MaxCsvFieldBytes)
                    return tooLong();
                c = get();
            }
            if (c == m_separator) {
                inFirst = false;
                continue;
            }
            if (c < 0 && !m_failure.isEmpty())
                return Record::Damaged;
            if (c == '\r' && peek() == '\n')
                get();
            return Record::Read;
        }
    }

    bool rewind()
    {
        if (!m_device->seek(m_startRaw)) {
            m_failure = QStringLiteral("could not be read again");
            return false;
        }
        m_buffer.clear();
        m_pos = 0;
        m_atEnd = false;
        m_rowsRead = 0;
        m_current.reset();
        if (m_utf16)
            m_utf16->reset();
        if (!fill() && !m_failure.isEmpty())
            return false;
        m_pos = std::min(m_startPos, m_buffer.size());
        return true;
    }

    std::unique_ptr<QIODevice> m_device;
    char m_separator = ',';
    std::optional<Utf16ToUtf8> m_utf16; // set for UTF-16 files
    qint64 m_startRaw = 0; // where the text starts in the file, after a UTF-16 byte order mark
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_startPos = 0;
    qsizetype m_recordBytes = 0;
    bool m_atEnd = false;
    bool m_utf8 = true;
    int m_rowsRead = 0;
    std::optional<QString> m_current;
    QString m_failure;
};

} // namespace

char TextSeparatorFor(const QString &path)
{
    return QFileInfo(path).suffix().compare(u"csv", Qt::CaseInsensitive) == 0 ? ',' : '\t';
}

OpenedWorkbook OpenCsv(std::unique_ptr<QIODevice> device, char separator)
{
    auto book = std::make_unique<CsvWorkbook>(std::move(device), separator);
    if (!book->start() && !book->error().isEmpty())
        return { nullptr, book->error() };
    return { std::move(book), {} };
}

} // namespace plivan
