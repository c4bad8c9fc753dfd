#include "common/ByteSource.h"

#include <QFile>

#include <cstring>

namespace plivan {

namespace {

class FileSource final : public ByteSource {
public:
    explicit FileSource(const QString &path)
        : m_file(path)
    {
    }

    bool open()
    {
        // Unbuffered: the readers ask for whole sectors or blocks and keep
        // what they need themselves.
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false;
        m_size = m_file.size();
        return true;
    }

    QString openError() const { return CannotOpenReason(m_file); }

    qint64 size() const override { return m_size; }

    bool read(qint64 offset, qint64 length, quint8 *out) override
    {
        if (offset < 0 || length < 0 || offset > m_size || length > m_size - offset)
            return false;
        if (!m_file.seek(offset)) {
            m_error = QStringLiteral("could not be read");
            return false;
        }
        while (length > 0) {
            const qint64 got = m_file.read(reinterpret_cast<char *>(out), length);
            if (got <= 0) { // the file shrank, or the disk failed
                m_error = QStringLiteral("could not be read");
                return false;
            }
            out += got;
            length -= got;
        }
        return true;
    }

    QString error() const override { return m_error; }

private:
    QFile m_file;
    qint64 m_size = 0;
    QString m_error;
};

class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(QByteArray data)
        : m_data(std::move(data))
    {
    }

    qint64 size() const override { return m_data.size(); }

    bool read(qint64 offset, qint64 length, quint8 *out) override
    {
        if (offset < 0 || length < 0 || offset > m_data.size() || length > m_data.size() - offset)
            return false;
        if (length > 0)
            std::memcpy(out, m_data.constData() + offset, static_cast<size_t>(length));
        return true;
    }

private:
    QByteArray m_data;
};

} // namespace

std::unique_ptr<ByteSource> OpenFileSource(const QString &path, QString *error)
{
    auto source = std::make_unique<FileSource>(path);
    if (!source->open()) {
        if (error)
            *error = source->openError();
        return nullptr;
    }
    return source;
}

std::unique_ptr<ByteSource> MemorySource(QByteArray data)
{
    return std::make_unique<MemoryBytes>(std::move(data));
}

} // namespace plivan
