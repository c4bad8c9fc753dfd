"""A compound file writer of our own, from the published format: streams in
the root storage, the small ones in the mini stream, in layouts that the
usual writers never make (4096-byte sectors, a FAT long enough to need DIFAT
sectors, every chain running backwards through the file), so that the
reader's less travelled paths have files to read.

    compound_file([("Workbook", data), ...], shift=9, fat_sectors=0, backwards=False)
"""
import struct

END = 0xFFFFFFFE
FREE = 0xFFFFFFFF
FATSECT = 0xFFFFFFFD
DIFSECT = 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF
CUTOFF = 4096


def _chain(first, count):
    """FAT entries of a chain of `count` sectors whose numbers are `first`."""
    return {first[i]: (first[i + 1] if i + 1 < count else END) for i in range(count)}


def _tree(ids, names):
    """A balanced binary tree of directory entries, ordered as the format
    orders names (shorter first, then by upper case); returns its root and
    {id: (left, right)}."""
    order = sorted(ids, key=lambda i: (len(names[i]), names[i].upper()))
    links = {}

    def build(lo, hi):
        if lo >= hi:
            return NOSTREAM
        mid = (lo + hi) // 2
        links[order[mid]] = (build(lo, mid), build(mid + 1, hi))
        return order[mid]

    return build(0, len(order)), links


def compound_file(streams, shift=9, fat_sectors=0, backwards=False):
    size = 1 << shift
    per = size // 4
    mini = bytearray()
    mini_fat = []
    placed = []  # (name, data, mini start or None)
    for name, data in streams:
        if len(data) < CUTOFF:
            start = len(mini) // 64
            n = (len(data) + 63) // 64
            mini_fat += [start + i + 1 if i + 1 < n else END for i in range(n)]
            mini += data + b"\0" * (n * 64 - len(data))
            placed.append((name, data, start if n else END))
        else:
            placed.append((name, data, None))
    mini_fat_bytes = b"".join(struct.pack("<I", v) for v in mini_fat)
    if mini_fat_bytes:
        mini_fat_bytes += struct.pack("<I", FREE) * ((-len(mini_fat_bytes) // 4) % per)

    # The blobs that take whole sectors: regular streams, the mini stream,
    # the mini FAT and the directory (written once its sector numbers are known).
    entries_per = size // 128
    n_entries = 1 + len(placed)
    dir_sectors = -(-n_entries // entries_per)
    blobs = [bytes(data) for _, data, start in placed if start is None]
    blobs += [bytes(mini), mini_fat_bytes, b"\0" * (dir_sectors * size)]
    counts = [-(-len(b) // size) for b in blobs]
    data_sectors = sum(counts)
    fats = max(fat_sectors, 1)
    while True:
        difats = max(0, -(-(fats - 109) // (per - 1)))
        if fats * per >= data_sectors + fats + difats:
            break
        fats += 1
    # Sector numbers of the data area, in the order they are handed out.
    numbers = list(range(data_sectors))
    if backwards:
        numbers.reverse()
    fat = {}
    firsts = []
    at = 0
    for count in counts:
        chain = numbers[at:at + count]
        fat.update(_chain(chain, count))
        firsts.append(chain[0] if count else END)
        at += count
    fat_numbers = list(range(data_sectors, data_sectors + fats))
    difat_numbers = list(range(data_sectors + fats, data_sectors + fats + difats))
    fat.update({n: FATSECT for n in fat_numbers})
    fat.update({n: DIFSECT for n in difat_numbers})
    total = data_sectors + fats + difats

    stream_firsts = iter(firsts)
    mini_first, minifat_first, dir_first = firsts[-3:]
    names = {0: "Root Entry"}
    records = {}
    for i, (name, data, start) in enumerate(placed, 1):
        names[i] = name
        records[i] = (2, start if start is not None else next(stream_firsts), len(data))
    root_child, links = _tree(list(records), names)

    def entry(name, kind, left, right, child, start, length):
        raw = name.encode("utf-16-le")
        return (raw + b"\0" * (64 - len(raw)) + struct.pack("<HBB", len(raw) + 2, kind, 1)
                + struct.pack("<III", left, right, child) + b"\0" * 36
                + struct.pack("<IQ", start, length))

    directory = entry("Root Entry", 5, NOSTREAM, NOSTREAM, root_child,
                      mini_first if mini else END, len(mini))
    for i in sorted(records):
        kind, start, length = records[i]
        directory += entry(names[i], kind, *links[i], NOSTREAM, start, length)
    while len(directory) % size:
        directory += b"\0" * 64 + struct.pack("<HBB", 0, 0, 0) + struct.pack("<III", NOSTREAM, NOSTREAM, NOSTREAM) + b"\0" * 48
    blobs[-1] = directory

    sectors = {}
    at = 0
    for blob, count in zip(blobs, counts):
        for k in range(count):
            sectors[numbers[at + k]] = blob[k * size:(k + 1) * size].ljust(size, b"\0")
        at += count
    fat_bytes = b"".join(struct.pack("<I", fat.get(n, FREE)) for n in range(fats * per))
    for k, n in enumerate(fat_numbers):
        sectors[n] = fat_bytes[k * size:(k + 1) * size]
    rest = fat_numbers[109:]
    for k, n in enumerate(difat_numbers):
        part = rest[k * (per - 1):(k + 1) * (per - 1)]
        following = difat_numbers[k + 1] if k + 1 < len(difat_numbers) else END
        sectors[n] = (b"".join(struct.pack("<I", v) for v in part)
                      + struct.pack("<I", FREE) * (per - 1 - len(part)) + struct.pack("<I", following))

    header = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
    header += struct.pack("<HHHHH", 0x3E, 3 if shift == 9 else 4, 0xFFFE, shift, 6) + b"\0" * 6
    header += struct.pack("<IIIIIIIII", 0 if shift == 9 else dir_sectors, fats, dir_first, 0, CUTOFF,
                          minifat_first if mini_fat else END, len(mini_fat_bytes) // size,
                          difat_numbers[0] if difat_numbers else END, difats)
    header += b"".join(struct.pack("<I", n) for n in fat_numbers[:109])
    header += struct.pack("<I", FREE) * (109 - len(fat_numbers[:109]))
    out = header.ljust(size, b"\0")
    return out + b"".join(sectors[n] for n in range(total))
