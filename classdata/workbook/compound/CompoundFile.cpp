#include "compound/CompoundFile.h"

#include "common/Bytes.h"

#include <algorithm>
#include <unordered_set>

namespace plivan {

namespace {

// Sector numbers from here up are markers, not places in the file.
constexpr quint32 EndOfChain = 0xFFFFFFFEu;
constexpr quint32 FreeSector = 0xFFFFFFFFu;
constexpr quint32 NoEntry = 0xFFFFFFFFu;

constexpr qint64 HeaderSize = 512;
// The header lists the first FAT sectors itself; DIFAT sectors list the rest.
constexpr quint32 HeaderFatSectors = 109;
constexpr qint64 EntrySize = 128;
constexpr int MiniShift = 6; // 64-byte sectors of the mini stream

// Parts in the root storage beyond this many mean a damaged directory: a
// workbook has a handful.
constexpr size_t MaxEntries = 4096;

enum EntryType : quint8 { TypeStorage = 1, TypeStream = 2 };

const char *const PartsNotFound = "its parts cannot be found";

QString Damaged(const char *reason)
{
    return QStringLiteral("is damaged (%1)").arg(QLatin1String(reason));
}

// The 32-bit entries of an allocation table's sector.
std::vector<quint32> SectorEntries(const std::vector<quint8> &sector)
{
    std::vector<quint32> entries(sector.size() / 4);
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i] = U32(sector.data() + 4 * i);
    return entries;
}

} // namespace

class ChainStream;

// What the streams of one compound file share: its bytes, the header's
// numbers, and the allocation tables as far as they were needed.
class CompoundContainer {
public:
    explicit CompoundContainer(std::unique_ptr<ByteSource> bytes)
        : m_bytes(std::move(bytes))
    {
    }
    ~CompoundContainer();

    // Reads the header and the list of FAT sectors; the reason when the file
    // cannot be a compound file.
    QString openHeader();

    ByteSource &bytes() { return *m_bytes; }
    int shift() const { return m_shift; }
    quint32 sectors() const { return m_sectors; }
    qint64 sectorBytes() const { return qint64(m_sectors) << m_shift; }
    bool version3() const { return m_shift == 9; }
    quint32 directoryStart() const { return m_directoryStart; }
    quint32 miniCutoff() const { return m_miniCutoff; }

    // The mini stream (the root entry's stream, holding the streams below
    // the cutoff) once its place is known.
    void setMiniStream(quint32 start, quint64 size)
    {
        m_miniStart = start;
        m_miniSize = size;
    }
    ChainStream *miniStream(QString *error);

    // The sector after `sector` in its chain, from the FAT, or from the mini
    // FAT for a sector of the mini stream. False, with the reason in
    // `error`, when the table cannot be read there.
    bool next(quint32 sector, bool mini, quint32 &following, QString &error);

private:
    bool loadFatSector(size_t index, QString &error);
    bool loadMiniFatSector(size_t index, QString &error);

    std::unique_ptr<ByteSource> m_bytes;
    int m_shift = 9;
    quint32 m_sectors = 0; // sectors at least partly inside the file
    quint32 m_directoryStart = 0;
    quint32 m_miniCutoff = 4096;
    quint32 m_miniFatStart = EndOfChain;
    quint32 m_miniFatSectors = 0;
    quint32 m_miniStart = EndOfChain;
    quint64 m_miniSize = 0;

    std::vector<quint32> m_fatSectors; // where each sector of the FAT lies
    std::vector<std::vector<quint32>> m_fat; // its sectors read so far
    std::vector<std::vector<quint32>> m_miniFat; // the mini FAT's, likewise
    std::unique_ptr<ChainStream> m_miniFatStream;
    std::unique_ptr<ChainStream> m_miniStream;
};

// The bytes of one chain of sectors. The chain is followed only as far as a
// read needs, and the sectors found are kept, so that reading again, forwards
// or backwards, costs nothing more. A sector met twice, a sector outside the
// file and a chain that ends before the stream does are damage.
class ChainStream final : public ByteSource {
public:
    // A stream of `size` bytes from sector `first`: of the file, or of the
    // mini stream when `mini`. `keep` holds the container for a stream
    // handed out; the container's own streams leave it null.
    ChainStream(CompoundContainer *container, std::shared_ptr<CompoundContainer> keep, quint32 first,
        qint64 size, bool mini, quint32 limit)
        : m_container(container)
        , m_keep(std::move(keep))
        , m_first(first)
        , m_size(size)
        , m_mini(mini)
        , m_shift(mini ? MiniShift : container->shift())
        , m_limit(limit)
    {
    }

    qint64 size() const override { return m_size; }
    QString error() const override { return m_error; }

    bool read(qint64 offset, qint64 length, quint8 *out) override
    {
        if (offset < 0 || length < 0 || offset > m_size || length > m_size - offset)
            return false;
        const qint64 unit = qint64(1) << m_shift;
        while (length > 0) {
            const qint64 index = offset >> m_shift;
            const qint64 within = offset & (unit - 1);
            quint32 sector = 0;
            if (!sectorAt(index, sector))
                return false;
            // Sectors that follow one another in the file are read at once.
            qint64 run = std::min(length, unit - within);
            for (quint32 last = sector, following = 0; run < length; last = following) {
                if (!sectorAt(index + (within + run) / unit, following))
                    return false;
                if (following != last + 1)
                    break;
                run += std::min(unit, length - run);
            }
            if (!readRun(sector, within, run, out))
                return false;
            offset += run;
            length -= run;
            out += run;
        }
        return true;
    }

private:
    bool readRun(quint32 sector, qint64 within, qint64 length, quint8 *out)
    {
        if (m_mini) {
            ChainStream *miniStream = m_container->miniStream(&m_error);
            if (!miniStream)
                return false;
            if (miniStream->read((qint64(sector) << MiniShift) + within, length, out))
                return true;
            m_error = miniStream->error();
        } else {
            ByteSource &bytes = m_container->bytes();
            if (bytes.read(((qint64(sector) + 1) << m_shift) + within, length, out))
                return true;
            m_error = bytes.error();
        }
        if (m_error.isEmpty())
            m_error = Damaged("a part of it lies outside the file");
        return false;
    }

    bool sectorAt(qint64 index, quint32 &sector)
    {
        while (qint64(m_chain.size()) <= index) {
            quint32 following = m_first;
            if (!m_chain.empty() && !m_container->next(m_chain.back(), m_mini, following, m_error))
                return false;
            if (following == EndOfChain || following == FreeSector)
                return fail("a part of it is cut short");
            if (following >= m_limit)
                return fail("a part of it lies outside the file");
            if (m_seen.empty())
                m_seen.resize(m_limit);
            if (m_seen[following])
                return fail("its parts are linked in a loop");
            m_seen[following] = true;
            m_chain.push_back(following);
        }
        sector = m_chain[size_t(index)];
        return true;
    }

    bool fail(const char *reason)
    {
        m_error = Damaged(reason);
        return false;
    }

    CompoundContainer *m_container;
    std::shared_ptr<CompoundContainer> m_keep;
    quint32 m_first;
    qint64 m_size;
    bool m_mini;
    int m_shift;
    quint32 m_limit; // sector numbers from here up lie outside
    std::vector<quint32> m_chain; // the sectors found so far, in order
    std::vector<bool> m_seen; // by sector number
    QString m_error;
};

CompoundContainer::~CompoundContainer() = default;

QString CompoundContainer::openHeader()
{
    quint8 header[HeaderSize];
    if (!m_bytes->read(0, HeaderSize, header)) {
        const QString error = m_bytes->error();
        return error.isEmpty() ? Damaged(PartsNotFound) : error;
    }
    const quint16 shift = U16(header + 30);
    if (!QByteArrayView(header, 8).startsWith(CompoundFileSignature) || U16(header + 28) != 0xFFFE
        || (shift != 9 && shift != 12) || U16(header + 32) != MiniShift)
        return Damaged("its header is not valid");
    m_shift = shift;
    const qint64 fileSize = m_bytes->size();
    const qint64 sectorSize = qint64(1) << m_shift;
    m_sectors = quint32(std::min<qint64>(fileSize > sectorSize ? (fileSize - 1) >> m_shift : 0, 0xFFFFFFF0));
    m_directoryStart = U32(header + 48);
    m_miniCutoff = U32(header + 56);
    m_miniFatStart = U32(header + 60);
    m_miniFatSectors = U32(header + 64);

    // Where the sectors of the FAT lie: the first in the header, the rest
    // in a chain of DIFAT sectors, each ending with the next one's number.
    const quint32 fatSectors = U32(header + 44);
    if (fatSectors > m_sectors)
        return Damaged(PartsNotFound);
    m_fatSectors.reserve(fatSectors);
    for (quint32 i = 0; i < std::min(fatSectors, HeaderFatSectors); ++i)
        m_fatSectors.push_back(U32(header + 76 + 4 * i));
    std::vector<quint8> difat(size_t(sectorSize), 0);
    std::unordered_set<quint32> seen;
    for (quint32 sector = U32(header + 68); m_fatSectors.size() < fatSectors;) {
        if (sector >= m_sectors || !seen.insert(sector).second
            || !m_bytes->read((qint64(sector) + 1) << m_shift, sectorSize, difat.data()))
            return Damaged(PartsNotFound);
        const qint64 last = sectorSize - 4;
        for (qint64 at = 0; at < last && m_fatSectors.size() < fatSectors; at += 4)
            m_fatSectors.push_back(U32(difat.data() + at));
        sector = U32(difat.data() + last);
    }
    m_fat.resize(m_fatSectors.size());
    return {};
}

bool CompoundContainer::next(quint32 sector, bool mini, quint32 &following, QString &error)
{
    const quint32 perSector = quint32(1) << (m_shift - 2);
    const size_t index = sector / perSector;
    std::vector<std::vector<quint32>> &table = mini ? m_miniFat : m_fat;
    if (index >= table.size() || table[index].empty()) {
        if (!(mini ? loadMiniFatSector(index, error) : loadFatSector(index, error)))
            return false;
    }
    following = table[index][sector % perSector];
    return true;
}

bool CompoundContainer::loadFatSector(size_t index, QString &error)
{
    const qint64 sectorSize = qint64(1) << m_shift;
    std::vector<quint8> bytes(size_t(sectorSize), 0);
    if (index >= m_fatSectors.size() || m_fatSectors[index] >= m_sectors
        || !m_bytes->read((qint64(m_fatSectors[index]) + 1) << m_shift, sectorSize, bytes.data())) {
        error = m_bytes->error().isEmpty() ? Damaged(PartsNotFound) : m_bytes->error();
        return false;
    }
    m_fat[index] = SectorEntries(bytes);
    return true;
}

bool CompoundContainer::loadMiniFatSector(size_t index, QString &error)
{
    const qint64 sectorSize = qint64(1) << m_shift;
    if (!m_miniFatStream) {
        if (m_miniFatSectors > m_sectors) {
            error = Damaged(PartsNotFound);
            return false;
        }
        m_miniFatStream = std::make_unique<ChainStream>(
            this, nullptr, m_miniFatStart, qint64(m_miniFatSectors) * sectorSize, false, m_sectors);
        m_miniFat.resize(m_miniFatSectors);
    }
    std::vector<quint8> bytes(size_t(sectorSize), 0);
    if (index >= m_miniFat.size()
        || !m_miniFatStream->read(qint64(index) * sectorSize, sectorSize, bytes.data())) {
        error = m_miniFatStream->error().isEmpty() ? Damaged(PartsNotFound) : m_miniFatStream->error();
        return false;
    }
    m_miniFat[index] = SectorEntries(bytes);
    return true;
}

ChainStream *CompoundContainer::miniStream(QString *error)
{
    if (!m_miniStream) {
        if (m_miniSize > quint64(sectorBytes())) {
            *error = Damaged("a part of it is larger than the file");
            return nullptr;
        }
        m_miniStream
            = std::make_unique<ChainStream>(this, nullptr, m_miniStart, qint64(m_miniSize), false, m_sectors);
    }
    return m_miniStream.get();
}

CompoundFile::CompoundFile(std::shared_ptr<CompoundContainer> container)
    : m_container(std::move(container))
{
}

CompoundFile::~CompoundFile() = default;

std::unique_ptr<CompoundFile> CompoundFile::open(const QString &path, QString *error)
{
    std::unique_ptr<ByteSource> bytes = OpenFileSource(path, error);
    return bytes ? openSource(std::move(bytes), error) : nullptr;
}

std::unique_ptr<CompoundFile> CompoundFile::openData(const QByteArray &data, QString *error)
{
    return openSource(MemorySource(data), error);
}

std::unique_ptr<CompoundFile> CompoundFile::openSource(std::unique_ptr<ByteSource> bytes, QString *error)
{
    auto container = std::make_shared<CompoundContainer>(std::move(bytes));
    if (const QString reason = container->openHeader(); !reason.isEmpty()) {
        *error = reason;
        return nullptr;
    }

    // The directory: 128-byte entries in a chain of its own, the root storage
    // first; each storage's parts form a binary tree through the left and
    // right siblings of its child.
    ChainStream directory(container.get(), nullptr, container->directoryStart(), container->sectorBytes(),
        false, container->sectors());
    const qint64 entryCount = container->sectorBytes() / EntrySize;
    quint8 entry[EntrySize];
    const auto readEntry
        = [&](quint32 id) { return id < entryCount && directory.read(id * EntrySize, EntrySize, entry); };
    const auto entrySize = [&] { return container->version3() ? U32(entry + 120) : U64(entry + 120); };
    if (!readEntry(0)) {
        *error = Damaged(PartsNotFound);
        return nullptr;
    }
    container->setMiniStream(U32(entry + 116), entrySize());

    std::unique_ptr<CompoundFile> file(new CompoundFile(container));
    std::vector<std::pair<quint32, Entry>> found;
    std::unordered_set<quint32> visited;
    std::vector<quint32> pending { U32(entry + 76) };
    while (!pending.empty()) {
        const quint32 id = pending.back();
        pending.pop_back();
        if (id == NoEntry)
            continue;
        if (!visited.insert(id).second) {
            *error = Damaged("its parts are linked in a loop");
            return nullptr;
        }
        if (visited.size() > MaxEntries) {
            *error = Damaged("it lists too many parts");
            return nullptr;
        }
        if (!readEntry(id)) {
            *error = Damaged(PartsNotFound);
            return nullptr;
        }
        pending.push_back(U32(entry + 68));
        pending.push_back(U32(entry + 72));
        const quint8 type = entry[66];
        if (type != TypeStorage && type != TypeStream)
            continue;
        // The name's length counts its bytes with the closing zero.
        const int chars = std::min<int>(U16(entry + 64) / 2, 32);
        QString name;
        for (int i = 0; i < chars && U16(entry + 2 * i) != 0; ++i)
            name.append(QChar(U16(entry + 2 * i)));
        found.push_back({ id, Entry { name, type == TypeStream, entrySize(), U32(entry + 116) } });
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (auto &[id, e] : found)
        file->m_entries.push_back(std::move(e));
    return file;
}

const CompoundFile::Entry *CompoundFile::find(QStringView name) const
{
    for (const Entry &e : m_entries) {
        if (name.compare(e.name, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

std::unique_ptr<ByteSource> CompoundFile::stream(const Entry &entry, QString *error) const
{
    if (!entry.stream) {
        *error = Damaged(PartsNotFound);
        return nullptr;
    }
    if (entry.size < m_container->miniCutoff()) {
        ChainStream *miniStream = m_container->miniStream(error);
        if (!miniStream)
            return nullptr;
        if (entry.size > quint64(miniStream->size())) {
            *error = Damaged("a part of it is larger than the file");
            return nullptr;
        }
        const quint32 miniSectors = quint32((miniStream->size() + (1 << MiniShift) - 1) >> MiniShift);
        return std::make_unique<ChainStream>(
            m_container.get(), m_container, entry.start, qint64(entry.size), true, miniSectors);
    }
    if (entry.size > quint64(m_container->sectorBytes())) {
        *error = Damaged("a part of it is larger than the file");
        return nullptr;
    }
    return std::make_unique<ChainStream>(
        m_container.get(), m_container, entry.start, qint64(entry.size), false, m_container->sectors());
}

} // namespace plivan
