#include "zip/ZipArchive.h"

#include <QFile>

#include <zip.h>

namespace plivan {

namespace {

QString OpenError(int code)
{
    switch (code) {
    case ZIP_ER_NOENT:
        return QStringLiteral("was not found");
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_MEMORY:
        return QStringLiteral("could not be read");
    case ZIP_ER_NOZIP:
        return QStringLiteral("is damaged (it is not a complete ZIP archive)");
    default:
        return QStringLiteral("is damaged (its ZIP directory is inconsistent)");
    }
}

QString ReadError(zip_file_t *file, const QString &name)
{
    const int code = zip_error_code_zip(zip_file_get_error(file));
    if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD)
        return QStringLiteral("is protected by a password");
    if (code == ZIP_ER_MEMORY)
        return QStringLiteral("could not be read (out of memory)");
    return QStringLiteral("is damaged (%1 cannot be unpacked)").arg(name);
}

QString TooLarge(const QString &name, qint64 limit)
{
    return QStringLiteral("is damaged (%1 unpacks to more than %2 MB)").arg(name).arg(limit / (1024 * 1024));
}

} // namespace

ZipArchive::ZipArchive(zip *archive, QByteArray data)
    : m_zip(archive)
    , m_data(std::move(data))
{
}

ZipArchive::~ZipArchive()
{
    // Read-only: discard, so that nothing is ever written back.
    if (m_zip)
        zip_discard(m_zip);
}

std::unique_ptr<ZipArchive> ZipArchive::open(const QString &path, QString *error)
{
    int code = 0;
    const QByteArray name = QFile::encodeName(path);
    zip_t *archive = zip_open(name.constData(), ZIP_RDONLY, &code);
    if (!archive) {
        *error = OpenError(code);
        return nullptr;
    }
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive, {}));
}

std::unique_ptr<ZipArchive> ZipArchive::openData(const QByteArray &data, QString *error)
{
    zip_error_t zerror;
    zip_error_init(&zerror);
    // The buffer source reads from `data` without copying; the archive keeps
    // a reference to the same bytes so they stay alive and unchanged.
    zip_source_t *source = zip_source_buffer_create(data.constData(), zip_uint64_t(data.size()), 0, &zerror);
    if (!source) {
        zip_error_fini(&zerror);
        *error = QStringLiteral("could not be read (out of memory)");
        return nullptr;
    }
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, &zerror);
    if (!archive) {
        zip_source_free(source);
        *error = OpenError(zip_error_code_zip(&zerror));
        zip_error_fini(&zerror);
        return nullptr;
    }
    zip_error_fini(&zerror);
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive, data));
}

std::optional<std::uint64_t> ZipArchive::find(const QString &name) const
{
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(m_zip, utf8.constData(), ZIP_FL_ENC_GUESS);
    if (index < 0)
        index = zip_name_locate(m_zip, utf8.constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    if (index < 0)
        return std::nullopt;
    return std::uint64_t(index);
}

QString ZipArchive::name(std::uint64_t index) const
{
    const char *name = zip_get_name(m_zip, index, ZIP_FL_ENC_GUESS);
    return name ? QString::fromUtf8(name) : QString();
}

std::optional<std::uint64_t> ZipArchive::recordedSize(std::uint64_t index) const
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_zip, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return std::nullopt;
    return std::uint64_t(st.size);
}

std::optional<QByteArray> ZipArchive::readAll(std::uint64_t index, qint64 limit, QString *error)
{
    const std::optional<std::uint64_t> size = recordedSize(index);
    if (size && *size > std::uint64_t(limit)) {
        *error = TooLarge(name(index), limit);
        return std::nullopt;
    }
    ZipEntryStream stream(*this, index, limit);
    QByteArray all;
    while (!stream.atEnd()) {
        const QByteArray chunk = stream.read(64 * 1024);
        if (!stream.error().isEmpty()) {
            *error = stream.error();
            return std::nullopt;
        }
        all += chunk;
    }
    return all;
}

ZipEntryStream::ZipEntryStream(ZipArchive &archive, std::uint64_t index, qint64 limit)
    : m_name(archive.name(index))
    , m_limit(limit)
{
    m_file = zip_fopen_index(archive.handle(), index, 0);
    if (!m_file) {
        const int code = zip_error_code_zip(zip_get_error(archive.handle()));
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD)
            m_error = QStringLiteral("is protected by a password");
        else if (code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP)
            m_error = QStringLiteral("is compressed in a way Plivan cannot read");
        else
            m_error = QStringLiteral("is damaged (%1 cannot be unpacked)").arg(m_name);
        m_atEnd = true;
    }
}

ZipEntryStream::~ZipEntryStream()
{
    if (m_file)
        zip_fclose(m_file);
}

QByteArray ZipEntryStream::read(qint64 maxBytes)
{
    if (m_atEnd)
        return {};
    // One byte over the limit is asked for, to tell "exactly the limit" from "more".
    const qint64 want = std::min(maxBytes, m_limit - m_read + 1);
    QByteArray chunk(want, Qt::Uninitialized);
    const zip_int64_t got = zip_fread(m_file, chunk.data(), zip_uint64_t(want));
    if (got < 0) {
        m_error = ReadError(m_file, m_name);
        m_atEnd = true;
        return {};
    }
    if (got == 0) {
        m_atEnd = true;
        return {};
    }
    m_read += got;
    if (m_read > m_limit) {
        m_error = TooLarge(m_name, m_limit);
        m_atEnd = true;
        return {};
    }
    chunk.truncate(qsizetype(got));
    return chunk;
}

} // namespace plivan
