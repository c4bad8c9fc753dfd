#pragma once

#include "Internal.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace plivan {

// Bytes that can be read at any offset: a file read in place, bytes in
// memory, or a stream inside a compound file.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual qint64 size() const = 0;

    // Copies the `length` bytes at `offset` into `out`. False when they lie
    // outside size() or cannot be read; error() then says why, when there is
    // more to say than that the bytes end early.
    virtual bool read(qint64 offset, qint64 length, quint8 *out) = 0;

    // Why the last failed read failed, in plain words completing "<path> ..."
    // ("is damaged (...)", "could not be read"); empty when the bytes simply
    // ended.
    virtual QString error() const { return {}; }
};

// The file at `path`, opened read-only (never locked or written) and read
// where it lies. Null, with the reason in `error`, when it cannot be opened.
std::unique_ptr<ByteSource> OpenFileSource(const QString &path, QString *error);

// Bytes in memory.
std::unique_ptr<ByteSource> MemorySource(QByteArray data);

} // namespace plivan
