#!/usr/bin/python3
"""Seeds for fuzz_xlsx and fuzz_ods from the test workbooks.

  make_zip_seeds.py OUTDIR

writes OUTDIR/xlsx and OUTDIR/ods: each .xlsx or .ods file of tests/data as
it is, and its XML parts joined with \\x01 in the order the targets expect.
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
    for kind in ("xlsx", "ods"):
        os.makedirs(os.path.join(OUT, kind), exist_ok=True)
    for folder in DATA:
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            kind = "xlsx" if name.endswith(".xlsx") else "ods" if name.endswith(".ods") else None
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
                else:
                    parts = [part(z, "content.xml"), part(z, "settings.xml"),
                             part(z, "META-INF/manifest.xml")]
            except Exception:
                continue
            seed = b"\x01".join(parts)
            if 0 < len(seed) <= LIMIT and not seed.startswith(b"PK"):
                with open(os.path.join(OUT, kind, name + ".parts"), "wb") as f:
                    f.write(seed)


main()
