#!/usr/bin/python3
"""Compound files in layouts the usual writers never make, and with damage
in their chains, for the compound-file reader (rows in ../cells.tsv). Each
holds a workbook stream written by xlwt: the 25 basic names in column 1,
long notes in column 2 so that the stream runs over many sectors.

  layout-4096.script.xls   version 4: 4096-byte sectors
  layout-difat.script.xls  a FAT of 120 sectors, the last ones listed in a
                           DIFAT sector; every chain runs backwards
  chain-loop.script.xls    the workbook's second sector leads back to its first
  chain-outside.script.xls ... leads to a sector past the end of the file
  chain-short.script.xls   ... ends the chain, long before the stream's size
  size-too-large.script.xls the workbook stream's size is 10 MB
  mini.script.xls          a workbook stream so short that it is kept in the
                           mini stream (three names)
  mini-too-large.script.xls ... whose mini stream says it holds 10 MB
  parts-4096.script.xls    the workbook among 4096 parts in all, as many as
                           the reader takes
  parts-4097.script.xls    one part more: refused
  locked-*.script.xlsx     the basic LibreOffice .xlsx locked with the default
                           password (Agile, office_crypto.py), then damaged:
                           a package that says it holds 200 MB, a package cut
                           in half, encryption details cut in half

The two sound layouts are read back, and must list the same names: the DIFAT
one by LibreOffice (soffice --convert-to csv); the 4096-byte one by Gnumeric's
ssconvert, as LibreOffice 7.4 does not take such a file for a workbook (it
imports the bytes as text). Run on Debian 12 with python3-xlwt,
libreoffice-calc and gnumeric: tests/data/xls/make_layouts.py
"""
import csv
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "rosters"))

import xlwt  # noqa: E402

from cfb_writer import compound_file  # noqa: E402
from make_rosters import BASIC  # noqa: E402
from office_crypto import DEFAULT_PASSWORD, agile_parts  # noqa: E402


def workbook_stream():
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Period 1")
    for r, name in enumerate(BASIC):
        ws.write(r, 0, name)
        ws.write(r, 1, "Notes %02d " % r + "lorem ipsum dolor sit amet " * 8)
    return wb.get_biff_data()


def fat_entry_offset(data, sector):
    """Where the FAT entry of `sector` lies, in a file with one FAT sector."""
    shift = struct.unpack_from("<H", data, 30)[0]
    fat0 = struct.unpack_from("<I", data, 76)[0]
    return ((fat0 + 1) << shift) + 4 * sector


def damaged(data, sector_value=None, size=None, root_size=None):
    data = bytearray(data)
    if root_size is not None:
        # The root entry, first in the directory, gives the mini stream's size.
        directory = struct.unpack_from("<I", data, 48)[0]
        struct.pack_into("<I", data, ((directory + 1) << 9) + 120, root_size)
    if sector_value is not None:
        struct.pack_into("<I", data, fat_entry_offset(data, 0), sector_value)
    if size is not None:
        # The Workbook entry follows the root entry in the directory.
        directory = struct.unpack_from("<I", data, 48)[0]
        struct.pack_into("<I", data, ((directory + 1) << 9) + 128 + 120, size)
    return bytes(data)


def small_stream():
    """A workbook stream short enough for the mini stream."""
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Period 1")
    for r, name in enumerate(BASIC[:3]):
        ws.write(r, 0, name)
    return wb.get_biff_data()


def names_read_back(path, tmp, program):
    out = os.path.join(tmp, os.path.splitext(os.path.basename(path))[0] + ".csv")
    if program == "soffice":
        command = ["soffice", "-env:UserInstallation=file://" + os.path.join(tmp, "profile"), "--headless",
                   "--convert-to", "csv", "--outdir", tmp, path]
    else:
        command = ["ssconvert", path, out]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out, encoding="utf-8", newline="") as f:
        return [row[0] for row in csv.reader(f) if row and row[0]]


def main():
    stream = workbook_stream()
    assert len(stream) > 8192
    parts = [("Workbook", stream), ("\x05SummaryInformation", b"\0" * 200)]
    plain = compound_file(parts)
    files = {
        "layout-4096.script.xls": compound_file(parts, shift=12),
        "layout-difat.script.xls": compound_file(parts, fat_sectors=120, backwards=True),
        "chain-loop.script.xls": damaged(plain, sector_value=0),
        "chain-outside.script.xls": damaged(plain, sector_value=100000),
        "chain-short.script.xls": damaged(plain, sector_value=0xFFFFFFFE),
        "size-too-large.script.xls": damaged(plain, size=10 << 20),
        "mini.script.xls": compound_file([("Workbook", small_stream())]),
        "mini-too-large.script.xls": damaged(compound_file([("Workbook", small_stream())]), root_size=10 << 20),
        "parts-4096.script.xls": compound_file(parts + [("Part %04d" % i, b"") for i in range(4094)]),
        "parts-4097.script.xls": compound_file(parts + [("Part %04d" % i, b"") for i in range(4095)]),
    }
    with open(os.path.join(HERE, "..", "rosters", "basic.lo.xlsx"), "rb") as f:
        info, body = agile_parts(f.read(), DEFAULT_PASSWORD, spins=1000)
    files.update({
        "locked-too-large.script.xlsx": compound_file(
            [("EncryptionInfo", info), ("EncryptedPackage", struct.pack("<Q", 200 << 20) + body[8:])]),
        "locked-cut-short.script.xlsx": compound_file(
            [("EncryptionInfo", info), ("EncryptedPackage", body[:len(body) // 2])]),
        "locked-bad-xml.script.xlsx": compound_file(
            [("EncryptionInfo", info[:len(info) // 2]), ("EncryptedPackage", body)]),
    })
    for name, data in files.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
    with tempfile.TemporaryDirectory() as tmp:
        for name, program in (("layout-4096.script.xls", "ssconvert"), ("layout-difat.script.xls", "soffice"),
                              ("parts-4096.script.xls", "soffice"), ("mini.script.xls", "soffice")):
            got = names_read_back(os.path.join(HERE, name), tmp, program)
            if got != (BASIC[:3] if name.startswith("mini") else BASIC):
                sys.exit("%s reads %s as %r" % (program, name, got))
    return 0


if __name__ == "__main__":
    sys.exit(main())
