#!/usr/bin/python3
"""Seeds for fuzz_encrypted: the EncryptionInfo stream's length (4 bytes),
that stream and the EncryptedPackage stream of each locked .xlsx test file
whose key takes at most 1,000 hash rounds, and of the basic names locked
here with Agile encryption over a single round (SHA-512 and SHA-1), so that
each run is quick.

    fuzz/make_locked_seeds.py <seed folder>
"""
import glob
import os
import re
import struct
import sys

from xlrd import compdoc

HERE = os.path.dirname(os.path.abspath(__file__))
ROSTERS = os.path.join(HERE, "..", "tests", "data", "rosters")
sys.path.insert(0, ROSTERS)

from office_crypto import DEFAULT_PASSWORD, agile_parts  # noqa: E402


def seed(info, package):
    return struct.pack("<I", len(info)) + info + package


def main(out):
    os.makedirs(out, exist_ok=True)
    for path in sorted(glob.glob(os.path.join(HERE, "..", "tests", "data", "*", "*.xlsx"))):
        with open(path, "rb") as f:
            data = f.read()
        if not data.startswith(b"\xD0\xCF\x11\xE0"):
            continue
        try:
            doc = compdoc.CompDoc(data, logfile=open(os.devnull, "w"))
            info = doc.get_named_stream("EncryptionInfo")
            package = doc.get_named_stream("EncryptedPackage")
        except Exception:
            continue
        rounds = re.search(rb'spinCount="(\d+)"', info or b"")
        if info and package and (not rounds or int(rounds.group(1)) <= 1000):
            with open(os.path.join(out, os.path.basename(path)), "wb") as f:
                f.write(seed(info, package))
    with open(os.path.join(ROSTERS, "basic.lo.xlsx"), "rb") as f:
        package = f.read()
    for hash_name, bits in (("sha512", 256), ("sha1", 128)):
        with open(os.path.join(out, "agile-%s-1-round" % hash_name), "wb") as f:
            f.write(seed(*agile_parts(package, DEFAULT_PASSWORD, hash_name, bits, spins=1)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
