#!/usr/bin/env python3
"""What run-under-wine.sh reads from Windows's own formats:

    wine_checks.py lnk FILE.lnk          the shortcut's target path and working folder
    wine_checks.py uninstall < REG-QUERY  Uninstall entries as "key<TAB>name<TAB>version<TAB>publisher"
    wine_checks.py screen FILE.xwd X Y chosen|seated
                                          the window's grid and list, from an X window dump
"""
import struct
import sys


def lnk(path):
    """Target and working folder of a Shell Link (.lnk) file: the LinkInfo's
    local base path, and the WORKING_DIR string."""
    data = open(path, "rb").read()
    if len(data) < 76 or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        sys.exit("%s is not a shell link" % path)
    flags = struct.unpack_from("<I", data, 20)[0]
    pos = 76
    if flags & 0x01:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = ""
    if flags & 0x02:  # HasLinkInfo
        size, header, info_flags, _, base = struct.unpack_from("<5I", data, pos)
        if info_flags & 0x01:  # VolumeIDAndLocalBasePath
            if header >= 0x24:
                start = pos + struct.unpack_from("<I", data, pos + 28)[0]
                target = data[start:data.index(b"\0\0", start) + 1].decode("utf-16-le", "replace")
            else:
                start = pos + base
                target = data[start:data.index(b"\0", start)].decode("cp1252")
        pos += size
    unicode = flags & 0x80
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "workdir"), (0x20, "args"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            width = 2 if unicode else 1
            raw = data[pos + 2:pos + 2 + count * width]
            strings[name] = raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0")
            pos += 2 + count * width
    print("%s\t%s" % (target.rstrip("\0"), strings.get("workdir", "")))


def uninstall():
    """Entries of `reg query ...\\Uninstall /s`, one line each."""
    entries, key = {}, None
    for line in sys.stdin.read().splitlines():
        if line.startswith("HKEY_"):
            key = line.rsplit("\\", 1)[-1]
            entries[key] = {}
        elif key and line.startswith("    "):
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                entries[key][parts[0]] = parts[2] if len(parts) == 3 else ""
    for key, values in entries.items():
        if "DisplayName" in values:
            print("\t".join([key] + [values.get(v, "") for v in ("DisplayName", "DisplayVersion", "Publisher")]))


def screen(path, bx, by, want):
    """Ink in the window's seat boxes and student list rows, from an xwd dump:
    rows 5 x columns 6 of 120 x 112 pixels from (48, 72); the list at (784, 8).
    `chosen`: the grid drawn, every seat empty, 30 rows of text in the list;
    `seated`: a name in every seat and the list empty."""
    data = open(path, "rb").read()
    h = struct.unpack(">25I", data[:100])
    px, bpp, line = data[h[0] + h[19] * 12:], h[11] // 8, h[12]

    def dark(x, y):
        o = (by + y) * line + (bx + x) * bpp
        return sum(px[o:o + 3]) < 3 * 128

    def ink(x0, y0, x1, y1):
        return sum(dark(x, y) for y in range(y0, y1) for x in range(x0, x1))

    seats = [ink(48 + 120 * c + 8, 72 + 112 * r + 8, 48 + 120 * c + 112, 72 + 112 * r + 104)
             for r in range(5) for c in range(6)]
    edges = all(dark(48 + 120 * c + 60, 72 + 112 * r + d) for r in range(5) for c in range(6) for d in (0, 112))
    rows, gap = 0, 9  # a row of text starts after 3 blank lines (accents stand 1 apart)
    for y in range(12, 528):
        if ink(790, y, 930, y + 1):
            rows, gap = rows + (gap >= 3), 0
        else:
            gap += 1
    empty = sum(1 for s in seats if s == 0)
    print("grid lines %s, %d of 30 seats empty, %d list rows with text" % ("drawn" if edges else "MISSING", empty, rows))
    ok = edges and ((want == "chosen" and empty == 30 and rows == 30) or (want == "seated" and empty == 0 and rows == 0))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "lnk" and len(sys.argv) == 3:
        lnk(sys.argv[2])
    elif command == "uninstall" and len(sys.argv) == 2:
        uninstall()
    elif command == "screen" and len(sys.argv) == 6:
        screen(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    else:
        sys.exit(__doc__)
