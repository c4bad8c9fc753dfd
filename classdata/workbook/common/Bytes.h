#pragma once

// Bytes as the binary formats lay them out: little-endian numbers, and the
// signatures that open a container.

#include "Internal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>

#include <bit>

namespace plivan {

// The number stored little-endian at `p`; the caller has made sure that the
// bytes are there.
inline quint16 U16(const void *p)
{
    return qFromLittleEndian<quint16>(p);
}

inline quint32 U32(const void *p)
{
    return qFromLittleEndian<quint32>(p);
}

inline quint64 U64(const void *p)
{
    return qFromLittleEndian<quint64>(p);
}

inline double F64(const void *p)
{
    return std::bit_cast<double>(U64(p));
}

// A 32-bit number as 4 little-endian bytes.
inline QByteArray Le32(quint32 value)
{
    QByteArray out(4, Qt::Uninitialized);
    qToLittleEndian(value, out.data());
    return out;
}

// A compound file (.xls, Word 97-2003, a locked .xlsx) begins with these
// bytes; a ZIP archive with a file entry, or with the end of an empty one.
inline constexpr QByteArrayView CompoundFileSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
inline constexpr QByteArrayView ZipEntrySignature("PK\x03\x04", 4);
inline constexpr QByteArrayView ZipEndSignature("PK\x05\x06", 4);

} // namespace plivan
