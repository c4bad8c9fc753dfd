#pragma once

// Helpers for the ZIP workbook fuzz targets. Mutated deflate streams seldom
// survive their checksums, so besides whole archives the targets take the
// XML parts themselves, separated by \x01 bytes (never valid in XML), and
// pack them into a stored, uncompressed archive with correct checksums: the
// mutations then reach the XML readers directly.

#include "WorkbookData.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace plivan::fuzz {

inline std::uint32_t Crc32(const QByteArray &data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= std::uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void Put16(QByteArray &out, std::uint32_t v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

inline void Put32(QByteArray &out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A ZIP archive holding the parts uncompressed.
inline QByteArray StoredZip(const QList<std::pair<QByteArray, QByteArray>> &parts)
{
    QByteArray out;
    QByteArray directory;
    for (const auto &[name, data] : parts) {
        const std::uint32_t offset = std::uint32_t(out.size());
        const std::uint32_t crc = Crc32(data);
        const std::uint32_t size = std::uint32_t(data.size());
        Put32(out, 0x04034b50u);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, 0); // stored
        Put32(out, 0);
        Put32(out, crc);
        Put32(out, size);
        Put32(out, size);
        Put16(out, std::uint32_t(name.size()));
        Put16(out, 0);
        out += name;
        out += data;

        Put32(directory, 0x02014b50u);
        Put16(directory, 20);
        Put16(directory, 20);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, crc);
        Put32(directory, size);
        Put32(directory, size);
        Put16(directory, std::uint32_t(name.size()));
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, offset);
        directory += name;
    }
    const std::uint32_t directoryOffset = std::uint32_t(out.size());
    out += directory;
    Put32(out, 0x06054b50u);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, std::uint32_t(parts.size()));
    Put16(out, std::uint32_t(parts.size()));
    Put32(out, std::uint32_t(directory.size()));
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}

// Opens the bytes as a workbook and reads column 1 as an import would.
inline void ReadWorkbook(const QByteArray &bytes)
{
    OpenedWorkbook opened = OpenZipWorkbookData(bytes);
    if (!opened.workbook)
        return;
    for (int row = 1; row <= 60; ++row)
        opened.workbook->cellText(row);
    // A far row, as a sheet with a stray far cell or huge repeat counts has.
    opened.workbook->cellText(1048576);
}

// Reads one fuzz input: a whole archive when it starts with "PK", else at
// least `partCount` XML parts separated by \x01, which `pack` turns into an
// archive.
template <typename Pack>
int FuzzZipInput(const std::uint8_t *data, std::size_t size, qsizetype partCount, Pack pack)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (input.startsWith("PK")) {
        ReadWorkbook(input);
        return 0;
    }
    QList<QByteArray> parts = input.split('\x01');
    while (parts.size() < partCount)
        parts.append(QByteArray());
    ReadWorkbook(pack(parts));
    return 0;
}

} // namespace plivan::fuzz
