#include "Internal.h"

#include <QBuffer>
#include <QFile>

namespace plivan {

OpenedWorkbook OpenFileWith(const QString &path, const OpenDevice &open)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        if (!file->exists())
            return { nullptr, QStringLiteral("was not found") };
        return { nullptr, QStringLiteral("could not be read (%1)").arg(file->errorString()) };
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

namespace {

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

std::unique_ptr<Workbook> ColumnWorkbook(ReadColumn column)
{
    return std::make_unique<ReadColumnWorkbook>(std::move(column));
}

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

} // namespace plivan
