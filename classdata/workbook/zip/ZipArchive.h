#pragma once

#include "Internal.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

struct zip;
struct zip_file;

namespace plivan {

// A ZIP archive opened read-only through libzip, from a device opened to read
// (a file we opened ourselves) or from bytes in memory. Nothing is ever
// written back; the device is let go on destruction.
class ZipArchive {
public:
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Null, with the reason in `error`, when the archive cannot be opened.
    static std::unique_ptr<ZipArchive> open(std::unique_ptr<QIODevice> device, QString *error);
    static std::unique_ptr<ZipArchive> openData(const QByteArray &data, QString *error);

    // The index of the entry with this name: the exact name first, then the
    // name in any letter case, then both again with backslashes between its
    // folders (xl\worksheets\sheet1.xml), as some Windows tools write them.
    // Empty when there is none.
    std::optional<std::uint64_t> find(const QString &name) const;

    // The entry's name as stored, with forward slashes between its folders.
    QString name(std::uint64_t index) const;

    // The uncompressed size the archive records for the entry.
    std::optional<std::uint64_t> recordedSize(std::uint64_t index) const;

    // The whole entry, refused (null, with `error` set) when it would be larger
    // than `limit` bytes.
    std::optional<QByteArray> readAll(std::uint64_t index, qint64 limit, QString *error);

    zip *handle() const { return m_zip; }

    // The system's words for the last read of the file that failed; empty
    // for bytes in memory, which never fail.
    QString readError() const;

private:
    ZipArchive(zip *archive, QByteArray data, const QString *readError);

    zip *m_zip = nullptr;
    QByteArray m_data; // the bytes an in-memory archive reads from; kept alive here
    const QString *m_readError = nullptr; // kept by the file's source, which the archive owns
};

// One entry read in order, a chunk at a time, never more than a limit in all.
class ZipEntryStream {
public:
    ZipEntryStream(ZipArchive &archive, std::uint64_t index, qint64 limit);
    ~ZipEntryStream();
    ZipEntryStream(const ZipEntryStream &) = delete;
    ZipEntryStream &operator=(const ZipEntryStream &) = delete;

    // The next chunk of at most `maxBytes`; empty at the end of the entry or
    // after an error.
    QByteArray read(qint64 maxBytes);

    bool atEnd() const { return m_atEnd; }
    // Plain words completing "is ..." ("protected by a password",
    // "damaged (...)"), empty when all went well.
    const QString &error() const { return m_error; }

private:
    ZipArchive &m_archive;
    QString m_name;
    zip_file *m_file = nullptr;
    qint64 m_limit = 0;
    qint64 m_read = 0;
    bool m_atEnd = false;
    QString m_error;
};

} // namespace plivan
