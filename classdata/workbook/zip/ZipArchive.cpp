#include "zip/ZipArchive.h"

#include <QIODevice>

#include <algorithm>

#include <zip.h>

namespace plivan {

namespace {

// Why libzip could not open an archive. The file itself was opened by us,
// so a failure here is the system's (a read that failed) or the bytes'.
QString OpenError(int code, const QString &readError)
{
    switch (code) {
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        return QStringLiteral("could not be read (%1)").arg(readError);
    case ZIP_ER_MEMORY:
        return QStringLiteral("could not be read (out of memory)");
    case ZIP_ER_NOZIP:
        return QStringLiteral("is damaged (it is not a complete ZIP archive)");
    case ZIP_ER_INCONS:
        return QStringLiteral("is damaged (its ZIP directory is inconsistent)");
    case ZIP_ER_MULTIDISK:
        return QStringLiteral("is damaged (it is one part of a ZIP archive split across several files)");
    default: {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString text = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        return QStringLiteral("could not be read (%1)").arg(text);
    }
    }
}

// A libzip source over a file we opened ourselves: libzip never sees the
// file's name, so no name is ever turned into 8-bit text (on Windows libzip
// would take it as UTF-8, which QFile::encodeName does not give).
struct DeviceSource {
    std::unique_ptr<QIODevice> device;
    zip_error_t error;
    QString readError; // the system's words for the last failed read or seek

    zip_int64_t fail(int code)
    {
        readError = device->errorString();
        zip_error_set(&error, code, 0);
        return -1;
    }
};

zip_int64_t DeviceCallback(void *userdata, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto *source = static_cast<DeviceSource *>(userdata);
    QIODevice &device = *source->device;
    switch (command) {
    case ZIP_SOURCE_OPEN:
        return device.seek(0) ? 0 : source->fail(ZIP_ER_SEEK);
    case ZIP_SOURCE_READ: {
        const qint64 got
            = device.read(static_cast<char *>(data), qint64(std::min<zip_uint64_t>(length, 1 << 30)));
        return got < 0 ? source->fail(ZIP_ER_READ) : got;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
        if (!st)
            return -1;
        zip_stat_init(st);
        st->size = zip_uint64_t(device.size());
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t offset = zip_source_seek_compute_offset(
            zip_uint64_t(device.pos()), zip_uint64_t(device.size()), data, length, &source->error);
        if (offset < 0)
            return -1;
        return device.seek(offset) ? 0 : source->fail(ZIP_ER_SEEK);
    }
    case ZIP_SOURCE_TELL:
        return device.pos();
    case ZIP_SOURCE_FREE:
        zip_error_fini(&source->error);
        delete source;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
            ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Why an entry could not be read: the file (`readError`, the system's words
// when reading it failed), a password, or damage.
QString EntryError(int code, const QString &name, const QString &readError)
{
    if (code == ZIP_ER_READ || code == ZIP_ER_SEEK)
        return QStringLiteral("could not be read (%1)").arg(readError);
    if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD)
        return QStringLiteral("is protected by a password");
    if (code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP)
        return QStringLiteral("is compressed in a way Plivan cannot read");
    if (code == ZIP_ER_MEMORY)
        return QStringLiteral("could not be read (out of memory)");
    return QStringLiteral("is damaged (%1 cannot be unpacked)").arg(name);
}

QString TooLarge(const QString &name, qint64 limit)
{
    return QStringLiteral("is damaged (%1 unpacks to more than %2 MB)").arg(name).arg(limit / (1024 * 1024));
}

} // namespace

ZipArchive::ZipArchive(zip *archive, QByteArray data, const QString *readError)
    : m_zip(archive)
    , m_data(std::move(data))
    , m_readError(readError)
{
}

QString ZipArchive::readError() const
{
    return m_readError ? *m_readError : QString();
}

ZipArchive::~ZipArchive()
{
    // Read-only: discard, so that nothing is ever written back.
    if (m_zip)
        zip_discard(m_zip);
}

std::unique_ptr<ZipArchive> ZipArchive::open(std::unique_ptr<QIODevice> device, QString *error)
{
    auto *context = new DeviceSource { std::move(device), {}, {} };
    zip_error_init(&context->error);
    zip_error_t zerror;
    zip_error_init(&zerror);
    zip_source_t *source = zip_source_function_create(DeviceCallback, context, &zerror);
    if (!source) {
        zip_error_fini(&context->error);
        delete context;
        zip_error_fini(&zerror);
        *error = QStringLiteral("could not be read (out of memory)");
        return nullptr;
    }
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, &zerror);
    if (!archive) {
        *error = OpenError(zip_error_code_zip(&zerror), context->readError);
        zip_source_free(source); // frees the context too
        zip_error_fini(&zerror);
        return nullptr;
    }
    zip_error_fini(&zerror);
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive, {}, &context->readError));
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
        *error = OpenError(zip_error_code_zip(&zerror), {});
        zip_error_fini(&zerror);
        return nullptr;
    }
    zip_error_fini(&zerror);
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive, data, nullptr));
}

std::optional<std::uint64_t> ZipArchive::find(const QString &name) const
{
    QByteArray utf8 = name.toUtf8();
    for (int pass = 0; pass < 2; ++pass) {
        for (const zip_flags_t flags : { ZIP_FL_ENC_GUESS, ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS }) {
            if (const zip_int64_t index = zip_name_locate(m_zip, utf8.constData(), flags); index >= 0)
                return std::uint64_t(index);
        }
        if (!utf8.contains('/'))
            break;
        utf8.replace('/', '\\');
    }
    return std::nullopt;
}

QString ZipArchive::name(std::uint64_t index) const
{
    const char *name = zip_get_name(m_zip, index, ZIP_FL_ENC_GUESS);
    return name ? QString::fromUtf8(name).replace(QLatin1Char('\\'), QLatin1Char('/')) : QString();
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
    : m_archive(archive)
    , m_name(archive.name(index))
    , m_limit(limit)
{
    m_file = zip_fopen_index(archive.handle(), index, 0);
    if (!m_file) {
        m_error
            = EntryError(zip_error_code_zip(zip_get_error(archive.handle())), m_name, archive.readError());
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
        m_error = EntryError(zip_error_code_zip(zip_file_get_error(m_file)), m_name, m_archive.readError());
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
