// libFuzzer target for the .xls reader. An input that starts with the
// compound-file signature is a whole file; any other is the workbook stream
// itself (BIFF records), put into a small compound file here, so that the
// mutations reach the record reader instead of breaking the container.
#include "WorkbookData.h"
#include "common/Bytes.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint32_t SectorSize = 512;
constexpr std::uint32_t EndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t FreeSector = 0xFFFFFFFFu;
constexpr std::uint32_t FatSector = 0xFFFFFFFDu;
constexpr std::uint32_t NoStream = 0xFFFFFFFFu;

void Put16(QByteArray &out, qsizetype at, std::uint32_t v)
{
    out[at] = char(v & 0xFF);
    out[at + 1] = char((v >> 8) & 0xFF);
}

void Put32(QByteArray &out, qsizetype at, std::uint32_t v)
{
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}

void DirectoryEntry(QByteArray &out, qsizetype at, const char16_t *name, int type, std::uint32_t child,
    std::uint32_t start, std::uint32_t size)
{
    const std::size_t length = std::char_traits<char16_t>::length(name);
    for (std::size_t i = 0; i < length; ++i)
        Put16(out, at + qsizetype(2 * i), name[i]);
    Put16(out, at + 64, std::uint32_t(2 * (length + 1)));
    out[at + 66] = char(type);
    out[at + 67] = 1; // black
    Put32(out, at + 68, NoStream);
    Put32(out, at + 72, NoStream);
    Put32(out, at + 76, child);
    Put32(out, at + 116, start);
    Put32(out, at + 120, size);
}

// A version 3 compound file whose only stream, "Workbook", holds `stream`.
// Streams below 4096 bytes would live in the mini stream; padding with zero
// bytes keeps this one in ordinary sectors.
QByteArray CompoundFile(QByteArray stream)
{
    if (stream.size() < 4096)
        stream.append(QByteArray(4096 - stream.size(), '\0'));
    const std::uint32_t streamSectors = std::uint32_t((stream.size() + SectorSize - 1) / SectorSize);
    std::uint32_t fatSectors = 1;
    while (fatSectors * (SectorSize / 4) < streamSectors + 1 + fatSectors)
        ++fatSectors;
    if (fatSectors > 109)
        return {};
    const std::uint32_t directory = streamSectors;
    const std::uint32_t firstFat = directory + 1;

    QByteArray out(qsizetype(SectorSize) * (1 + streamSectors + 1 + fatSectors), '\0');
    std::memcpy(
        out.data(), plivan::CompoundFileSignature.data(), std::size_t(plivan::CompoundFileSignature.size()));
    Put16(out, 24, 0x003E);
    Put16(out, 26, 0x0003);
    Put16(out, 28, 0xFFFE);
    Put16(out, 30, 9);
    Put16(out, 32, 6);
    Put32(out, 44, fatSectors);
    Put32(out, 48, directory);
    Put32(out, 56, 4096);
    Put32(out, 60, EndOfChain);
    Put32(out, 68, EndOfChain);
    for (std::uint32_t i = 0; i < 109; ++i)
        Put32(out, 76 + 4 * i, i < fatSectors ? firstFat + i : FreeSector);

    const auto sector = [](std::uint32_t n) { return qsizetype(SectorSize) * (n + 1); };
    std::memcpy(out.data() + sector(0), stream.constData(), std::size_t(stream.size()));

    DirectoryEntry(out, sector(directory), u"Root Entry", 5, 1, EndOfChain, 0);
    DirectoryEntry(out, sector(directory) + 128, u"Workbook", 2, NoStream, 0, std::uint32_t(stream.size()));
    for (int k = 2; k < 4; ++k) {
        Put32(out, sector(directory) + 128 * k + 68, NoStream);
        Put32(out, sector(directory) + 128 * k + 72, NoStream);
        Put32(out, sector(directory) + 128 * k + 76, NoStream);
    }

    const std::uint32_t entries = fatSectors * (SectorSize / 4);
    for (std::uint32_t i = 0; i < entries; ++i) {
        std::uint32_t value = FreeSector;
        if (i + 1 < streamSectors)
            value = i + 1;
        else if (i + 1 == streamSectors || i == directory)
            value = EndOfChain;
        else if (i >= firstFat && i < firstFat + fatSectors)
            value = FatSector;
        Put32(out, sector(firstFat) + 4 * i, value);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!input.startsWith(plivan::CompoundFileSignature))
        input = CompoundFile(input);
    plivan::OpenedWorkbook opened = plivan::OpenXlsData(input);
    if (opened.workbook) {
        for (int row = 1; row <= 60; ++row)
            opened.workbook->cellText(row);
    }
    return 0;
}
