#include "Internal.h"

#include "TextDecoding.h"
#include "common/CellValue.h"

#include <QBuffer>
#include <QFile>

namespace plivan {

namespace {

// All of `device` when it holds no more than `limit` bytes; otherwise the
// reason in words that complete "<path> ...".
QString ReadAllUpTo(QIODevice &device, qint64 limit, const QString &what, QByteArray &bytes)
{
    bytes.clear();
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = device.read(block.data(), block.size());
        if (got < 0)
            return QStringLiteral("could not be read (%1)").arg(device.errorString());
        if (got == 0)
            return {};
        bytes.append(block.constData(), got);
        if (bytes.size() > limit)
            return QStringLiteral("is too large to read (Plivan reads %1 of up to %2 MB)")
                .arg(what)
                .arg(limit >> 20);
    }
}

// A workbook over a column read whole; the damage shows in error() once a
// row at or past damagedFrom is asked for.
class ReadColumnWorkbook final : public Workbook {
public:
    explicit ReadColumnWorkbook(ReadColumn column)
        : m_column(std::move(column))
    {
    }

    std::optional<QString> cellText(int row) override
    {
        if (m_column.damagedFrom > 0 && row >= m_column.damagedFrom) {
            m_error = m_column.damage;
            return std::nullopt;
        }
        const auto cell = m_column.cells.find(row);
        if (cell == m_column.cells.end() || cell->second.isEmpty())
            return std::nullopt;
        return cell->second;
    }

    QString error() const override { return m_error; }

private:
    ReadColumn m_column;
    QString m_error;
};

} // namespace

OpenedWorkbook OpenFileWith(const QString &path, const OpenDevice &open)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        if (!file->exists())
            return { nullptr, QStringLiteral("was not found") };
        return { nullptr, CannotOpenReason(*file) };
    }
    return open(std::move(file));
}

OpenedWorkbook OpenBytesWith(const QByteArray &data, const OpenDevice &open)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    return open(std::move(buffer));
}

OpenedWorkbook OpenWholeText(QIODevice &device, qint64 limit, const QString &what,
    const std::function<ReadColumn(const QString &text)> &parse)
{
    QByteArray bytes;
    if (QString error = ReadAllUpTo(device, limit, what, bytes); !error.isEmpty())
        return { nullptr, error };
    ReadColumn column = parse(DecodeText(bytes));
    // A cell longer than a cell may be is damage from its row on.
    for (const auto &[row, text] : column.cells) {
        if (column.damagedFrom > 0 && row >= column.damagedFrom)
            break;
        if (text.size() > MaxCellChars) {
            column.damagedFrom = row;
            column.damage = CellTooLongReason;
            break;
        }
    }
    return { std::make_unique<ReadColumnWorkbook>(std::move(column)), {} };
}

} // namespace plivan
