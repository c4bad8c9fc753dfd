#pragma once

#include "Internal.h"
#include "common/ByteSource.h"

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

namespace plivan {

class CompoundContainer;

// A compound file, the container of .xls workbooks and of Office Open XML
// packages locked with a password: a small file system of named streams in
// fixed-size sectors, each stream a chain of sectors linked through an
// allocation table. It is read in place, from a file opened read-only or from
// bytes in memory, and never written.
//
// Opening reads the header and the names of the root storage's parts, and no
// more. A stream's sectors are then found and read only as far as its bytes
// are asked for: a large file costs no more to open than a small one. Damage
// (sectors outside the file, chains that loop or end early, sizes larger than
// the file, counts beyond what the file can hold) is refused with a reason in
// plain words, and no file is read past its end, forever, or into memory
// beyond its own size.
class CompoundFile {
public:
    // A stream or storage directly inside the root storage.
    struct Entry {
        QString name;
        bool stream = false; // else a storage
        quint64 size = 0; // of a stream, in bytes
        quint32 start = 0; // its first sector
    };

    ~CompoundFile();
    CompoundFile(const CompoundFile &) = delete;
    CompoundFile &operator=(const CompoundFile &) = delete;

    // Null, with the reason in `error` ("is damaged (its parts cannot be
    // found)", "could not be read (...)"), when the bytes are not a sound
    // compound file.
    static std::unique_ptr<CompoundFile> open(const QString &path, QString *error);
    static std::unique_ptr<CompoundFile> openData(const QByteArray &data, QString *error);
    static std::unique_ptr<CompoundFile> openSource(std::unique_ptr<ByteSource> bytes, QString *error);

    // The streams and storages of the root storage, in the directory's order.
    const std::vector<Entry> &entries() const { return m_entries; }

    // The entry called `name` in any letter case; null when there is none.
    const Entry *find(QStringView name) const;

    // The bytes of a stream entry, read as they are asked for. It keeps what
    // it needs of the file, and stays readable after this object is gone.
    // Null, with the reason in `error`, when the stream cannot be read at all
    // (a storage, or larger than the file).
    std::unique_ptr<ByteSource> stream(const Entry &entry, QString *error) const;

private:
    explicit CompoundFile(std::shared_ptr<CompoundContainer> container);

    std::shared_ptr<CompoundContainer> m_container;
    std::vector<Entry> m_entries;
};

} // namespace plivan
