#!/usr/bin/python3
"""Seeds for fuzz_xlsx, fuzz_ods and fuzz_xlsb from the test workbooks.

  make_zip_seeds.py OUTDIR

writes OUTDIR/xlsx, OUTDIR/ods and OUTDIR/xlsb: each .xlsx, .ods or .xlsb
file of tests/data as it is, and its parts in the order the targets expect:
XML parts joined with \\x01, binary ones with the bytes FF FE FD FC.
"""

import os
import shutil
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = [os.path.join(ROOT, "tests", "data", d) for d in ("zip", "rosters")]
OUT = sys.argv[1]
LIMIT = 256 * 1024  # parts-mode seeds larger than this are left out


def part(z, *names):
    for name in names:
        try:
            return z.read(name)
        except KeyError:
            pass
    return b""


def main():
    for kind in ("xlsx", "ods", "xlsb"):
        os.makedirs(os.path.join(OUT, kind), exist_ok=True)
    for folder in DATA:
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            kind = next((k for k in ("xlsx", "ods", "xlsb") if name.endswith("." + k)), None)
            if kind is None or name.startswith(("bomb", "wide-row")):  # each unpacks tens of MB
                continue
            shutil.copy(path, os.path.join(OUT, kind, name))
            try:
                z = zipfile.ZipFile(path)
            except zipfile.BadZipFile:
                continue
            try:
                if kind == "xlsx":
                    parts = [part(z, "xl/worksheets/sheet2.xml", "xl/worksheets/sheet1.xml"),
                             part(z, "xl/sharedStrings.xml"), part(z, "xl/styles.xml")]
                elif kind == "xlsb":
                    parts = [part(z, "xl/worksheets/sheet2.bin", "xl/worksheets/sheet1.bin"),
                             part(z, "xl/sharedStrings.bin"), part(z, "xl/styles.bin"), part(z, "xl/workbook.bin")]
                else:
                    parts = [part(z, "content.xml"), part(z, "settings.xml"),
                             part(z, "META-INF/manifest.xml")]
            except Exception:
                continue
            seed = (b"\xff\xfe\xfd\xfc" if kind == "xlsb" else b"\x01").join(parts)
            if 0 < len(seed) <= LIMIT and not seed.startswith(b"PK"):
                with open(os.path.join(OUT, kind, name + ".parts"), "wb") as f:
                    f.write(seed)


main()
