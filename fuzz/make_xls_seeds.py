#!/usr/bin/python3
"""Seeds for fuzz_xls from the .xls test files: each whole file, and its
workbook stream alone (the form fuzz_xls wraps in a compound file itself).

    fuzz/make_xls_seeds.py <seed folder>
"""
import os
import sys

from xlrd import compdoc

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
LIMIT = 64 * 1024


def main(out):
    os.makedirs(out, exist_ok=True)
    for folder, _, files in os.walk(DATA):
        for name in sorted(files):
            if not name.endswith(".xls"):
                continue
            data = open(os.path.join(folder, name), "rb").read()
            if len(data) <= LIMIT:
                open(os.path.join(out, name), "wb").write(data)
            try:
                doc = compdoc.CompDoc(data, logfile=open(os.devnull, "w"))
                stream = doc.get_named_stream("Workbook") or doc.get_named_stream("Book")
            except Exception:
                continue
            if stream and len(stream) <= LIMIT:
                open(os.path.join(out, name + ".biff"), "wb").write(stream)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
