#!/usr/bin/python3
"""Makes the .xls files of this folder for the reader's own tests.

Run through make_xls.sh (Debian 12 with python3-xlwt, python3-xlrd,
libreoffice-calc and gnumeric). Every workbook is read back with xlrd and
checked against what was written.

  sst-continue.xlwt.xls  1,500 shared strings (about 100 KB, so the table runs
                         over many CONTINUE records, strings split between
                         them, 8-bit and 16-bit), column 1 using them out of
                         order; sst-continue.expected.txt holds column 1.
  kinds.xlwt.xls         every kind of value xlwt writes in column 1: numbers
                         as RK (whole, hundredths, double) and NUMBER,
                         booleans, errors, dates with built-in and own formats,
                         empty text; numbers also in columns 2 and 3 so that
                         other writers store those rows as MULRK.
  filepass.xlwt.xls      a workbook whose globals carry a FILEPASS record, as
                         a password-protected workbook does.
  chart-active.xlwt.xls  the saved active tab is listed as a chart sheet.
  sheet-offset.xlwt.xls  the active sheet's offset points past the stream.
  tail-garbled.xlwt.xls  5,000 names; all bytes after those the first 39
                         names need (shared strings and cells) overwritten.
  truncated-stream.xlwt.xls  the same workbook stream cut off before row 40,
                         in a sound container.
  blanks-first.xlwt.xls  columns 1 and 2 of rows 1-75 written first as
                         formatted blanks (MULBLANK), the names after them,
                         as some writers do; no INDEX record.
  window2-first.xlwt.xls the sheet's WINDOW2 before its cells, and an embedded
                         chart's substream (its own BOF and EOF, a cached
                         value for A6 inside) between rows 5 and 6.
  macro-active.xlwt.xls, dialog-active.xlwt.xls  the active sheet is an Excel
                         4.0 macro sheet, or a dialog sheet (WSBOOL).
  bof8-biff3.script.xls, bof8-biff2.script.xls  a bare worksheet stream, as
                         small export scripts write it: a BOF with the BIFF5/8
                         record number (0x0809), a 6-byte body and version 0,
                         then Excel 3.0-4.0 cells (LABEL 0x0204, NUMBER
                         0x0203), or Excel 2.x cells (LABEL 0x0004, NUMBER
                         0x0003), and EOF.

Run as make_xls.py [file ...] to make only the files named. The crafted files
of the last four are read back with LibreOffice too, which must list the same
names.

make_xls.sh converts some of them with LibreOffice and Gnumeric and makes a
Word document (a compound file that is not a workbook).
"""

import csv
import os
import struct
import subprocess
import sys
import tempfile

import xlrd
import xlwt
from xlwt import CompoundDoc

HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


def sst_strings():
    """Long strings, a third of them outside Latin-1, so that record
    boundaries fall inside 8-bit and 16-bit strings alike."""
    words = ["Alexandra", "Bartholomew", "Constance", "Demetrius", "Evangeline"]
    wide = ["Александра", "Βαρθολομαίος", "李小龍", "Ødegaard", "Nguyễn"]
    out = []
    for i in range(1500):
        if i % 3 == 1:
            base = wide[i % len(wide)] + " " + wide[(i // 5) % len(wide)]
        else:
            base = words[i % len(words)] + " " + words[(i // 7) % len(words)]
        out.append("%s %04d %s" % (base, i, "x" * (i % 41)))
    return out


def make_sst_continue():
    strings = sst_strings()
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Names")
    # Column 2 first, so the table is in the order of column 2, ...
    for r, s in enumerate(strings):
        ws.write(r, 1, s)
    # ... and column 1 picks from all over it, forwards and backwards.
    col1 = [strings[(r * 617 + 1499) % 1500] for r in range(80)]
    for r, s in enumerate(col1):
        ws.write(r, 0, s)
    wb.save(path("sst-continue.xlwt.xls"))
    with open(path("sst-continue.expected.txt"), "w", encoding="utf-8") as f:
        for s in col1:
            f.write(s + "\n")
    book = xlrd.open_workbook(path("sst-continue.xlwt.xls"))
    assert book.sheet_by_index(0).col_values(0)[:80] == col1
    assert book.sheet_by_index(0).col_values(1) == strings


def make_kinds():
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Kinds")
    iso = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    stamp = xlwt.easyxf(num_format_str="DD.MM.YYYY hh:mm:ss")
    clock = xlwt.easyxf(num_format_str="h:mm AM/PM")
    builtin = xlwt.easyxf(num_format_str="M/D/YY")  # built-in format 14
    money = xlwt.easyxf(num_format_str='#,##0.00 "days"')
    rows = [
        ("Ann Lee", None),
        (17, None),
        (1.25, None),
        (0.1 + 0.2, None),
        (12345678901, None),
        (-3, None),
        (0.5, None),
        (True, None),
        (False, None),
        (7, "error"),  # #DIV/0!
        (42, "error"),  # #N/A
        (45537, iso),
        (45537.572916666664, stamp),
        (0.5729166666666666, clock),
        (45537, builtin),
        (2.5, money),
        ("", None),
        ("After the empty text", None),
    ]
    for r, (value, style) in enumerate(rows):
        if style == "error":
            ws.row(r).set_cell_error(0, value)
        elif style is not None:
            ws.write(r, 0, value, style)
        else:
            ws.write(r, 0, value)
        if style != "error" and isinstance(value, (int, float)) and not isinstance(value, bool):
            ws.write(r, 1, 2)
            ws.write(r, 2, 3)
    wb.save(path("kinds.xlwt.xls"))
    sheet = xlrd.open_workbook(path("kinds.xlwt.xls")).sheet_by_index(0)
    assert sheet.cell_value(1, 0) == 17 and sheet.cell_value(9, 0) == 7


def records(stream):
    """(offset, type, body) of each record of a BIFF stream."""
    out = []
    pos = 0
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        out.append((pos, rtype, stream[pos + 4:pos + 4 + length]))
        pos += 4 + length
    return out


def three_sheet_stream():
    wb = xlwt.Workbook(encoding="utf-8")
    for n in range(3):
        ws = wb.add_sheet("Sheet %d" % (n + 1))
        for r in range(5):
            ws.write(r, 0, "Sheet %d Name %d" % (n + 1, r + 1))
    wb.set_active_sheet(1)
    return bytearray(wb.get_biff_data())


def boundsheets(stream):
    return [(off, body) for off, rtype, body in records(stream) if rtype == 0x0085]


def make_filepass():
    stream = three_sheet_stream()
    bof_end = 4 + struct.unpack_from("<H", stream, 2)[0]
    # XOR obfuscation: type 0, key, verifier.
    filepass = struct.pack("<HHHHH", 0x002F, 6, 0, 0x1234, 0x5678)
    stream[bof_end:bof_end] = filepass
    for off, body in boundsheets(stream):
        pos = struct.unpack_from("<I", body, 0)[0]
        struct.pack_into("<I", stream, off + 4, pos + len(filepass))
    CompoundDoc.XlsDoc().save(path("filepass.xlwt.xls"), bytes(stream))


def make_chart_active():
    stream = three_sheet_stream()
    off, body = boundsheets(stream)[1]
    stream[off + 4 + 5] = 2  # sheet kind: chart
    CompoundDoc.XlsDoc().save(path("chart-active.xlwt.xls"), bytes(stream))


def make_sheet_offset():
    stream = three_sheet_stream()
    off, body = boundsheets(stream)[1]
    struct.pack_into("<I", stream, off + 4, len(stream) + 1000)
    CompoundDoc.XlsDoc().save(path("sheet-offset.xlwt.xls"), bytes(stream))


CELL_RECORDS = {0x0006, 0x00BD, 0x00BE, 0x00D6, 0x00FD, 0x0201, 0x0203, 0x0204, 0x0205,
                0x027E}


def long_sheet_stream():
    """5,000 rows of distinct names, so the shared string table runs to
    about 90 KB; returns the stream and the offsets where the 40th shared
    string and the first cell of row 40 begin."""
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Long")
    for r in range(5000):
        ws.write(r, 0, "Student %05d" % (r + 1))
    stream = bytearray(wb.get_biff_data())
    recs = records(stream)
    sst = [off for off, rtype, body in recs if rtype == 0x00FC][0]
    pos = sst + 4 + 8
    for _ in range(39):
        count = struct.unpack_from("<H", stream, pos)[0]
        pos += 3 + count  # 8-bit characters, no runs
    assert pos < sst + 4 + 8224
    sheet = struct.unpack_from("<I", boundsheets(stream)[0][1], 0)[0]
    row40 = [off for off, rtype, body in recs
             if off > sheet and rtype in CELL_RECORDS
             and struct.unpack_from("<H", body, 0)[0] >= 39][0]
    return stream, pos, sheet, row40


def make_tail_garbled():
    """Everything after what 39 names need is overwritten: from the 40th
    shared string up to the sheet, and from row 40 to the end of the stream."""
    stream, string40, sheet, row40 = long_sheet_stream()
    for i in range(string40, sheet):
        stream[i] = 0xFF
    for i in range(row40, len(stream)):
        stream[i] = 0xFF
    CompoundDoc.XlsDoc().save(path("tail-garbled.xlwt.xls"), bytes(stream))


def make_truncated_stream():
    """A sound container whose workbook stream stops where row 40 begins."""
    stream, string40, sheet, row40 = long_sheet_stream()
    CompoundDoc.XlsDoc().save(path("truncated-stream.xlwt.xls"), bytes(stream[:row40]))


def serialize(recs):
    """A stream from (type, body) records, each sheet list entry (BOUNDSHEET)
    pointing at its sheet's BOF again."""
    out, sheet_bofs, depth = bytearray(), [], 0
    for rtype, body in recs:
        if rtype == 0x0809:
            if depth == 0 and out:
                sheet_bofs.append(len(out))
            depth += 1
        elif rtype == 0x000A:
            depth -= 1
        out += struct.pack("<HH", rtype, len(body)) + body
    for (off, body), bof in zip(boundsheets(out), sheet_bofs):
        struct.pack_into("<I", out, off + 4, bof)
    return bytes(out)


def one_sheet_records(names):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Names")
    for r, name in enumerate(names):
        ws.write(r, 0, name)
        ws.write(r, 1, r + 1)
    return [(rtype, bytes(body)) for _, rtype, body in records(wb.get_biff_data())]


FIRST_NAMES = ["Ann Lee", "Bob Stone", "Cy Young", "Di Prince", "Ed Wood", "Flo Reed", "Gus Hale", "Hal Ford"]


def make_blanks_first():
    recs = one_sheet_records(FIRST_NAMES[:6])
    first_cell = next(i for i, (rtype, body) in enumerate(recs) if rtype in CELL_RECORDS)
    blanks = [(0x00BE, struct.pack("<HHHHH", r, 0, 15, 15, 1)) for r in range(75)]
    recs[first_cell:first_cell] = blanks
    save_checked("blanks-first.xlwt.xls", serialize(recs), FIRST_NAMES[:6])


def make_window2_first():
    recs = one_sheet_records(FIRST_NAMES)
    window2 = next(i for i, (rtype, body) in enumerate(recs) if rtype == 0x023E)
    rec = recs.pop(window2)
    dimensions = next(i for i, (rtype, body) in enumerate(recs) if rtype == 0x0200)
    recs.insert(dimensions + 1, rec)
    # A chart substream between the cells of row 5 and row 6, holding a
    # cached series value with the place of A6.
    row6 = next(i for i, (rtype, body) in enumerate(recs)
                if rtype in CELL_RECORDS and struct.unpack_from("<H", body)[0] == 5)
    chart = [(0x0809, struct.pack("<HHHHII", 0x0600, 0x0020, 0x0DBB, 0x07CC, 0, 6)),
             (0x0203, struct.pack("<HHHd", 5, 0, 15, 99.0)),
             (0x000A, b"")]
    recs[row6:row6] = chart
    save_checked("window2-first.xlwt.xls", serialize(recs), FIRST_NAMES)


def make_active_kind(name, patch):
    stream = three_sheet_stream()
    patch(stream, boundsheets(stream)[1])
    CompoundDoc.XlsDoc().save(path(name), bytes(stream))
    assert libreoffice_opens(path(name)), name


def macro_sheet(stream, entry):
    off, body = entry
    stream[off + 4 + 5] = 1  # sheet kind: macro sheet
    bof = struct.unpack_from("<I", body, 0)[0]
    struct.pack_into("<H", stream, bof + 4 + 2, 0x0040)


def dialog_sheet(stream, entry):
    bof = struct.unpack_from("<I", entry[1], 0)[0]
    wsbool = [off for off, rtype, body in records(stream) if off > bof and rtype == 0x0081][0]
    stream[wsbool + 4] |= 0x10  # fDialog


def libreoffice_csv(source):
    """Column 1 of the active sheet as LibreOffice lists it, or None when it
    does not convert the file."""
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["soffice", "-env:UserInstallation=file://%s/profile" % tmp, "--headless",
                        "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir", tmp, source],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = os.path.join(tmp, os.path.splitext(os.path.basename(source))[0] + ".csv")
        if not os.path.exists(out):
            return None
        with open(out, encoding="utf-8", newline="") as f:
            return [row[0] if row else "" for row in csv.reader(f)]


def libreoffice_opens(source):
    return libreoffice_csv(source) is not None


def save_checked(name, stream, names):
    CompoundDoc.XlsDoc().save(path(name), stream)
    listed = libreoffice_csv(path(name))
    assert listed is not None and listed[:len(names)] == names and not any(listed[len(names):]), \
        (name, listed)


BOF8_NAMES = ["Ana Lima", "Ben Carter", "Chloe Nguyen", "Dev Patel"]


def make_bof8_sheet(name, biff):
    """A worksheet stream that opens with a BIFF5/8 BOF of version 0 and
    goes on with Excel 2.x (biff 2) or 3.0-4.0 (biff 3) cell records."""
    out = [struct.pack("<HHHHH", 0x0809, 6, 0, 0x0010, 0)]
    for row, text in enumerate(BOF8_NAMES):
        data = text.encode("cp1252")
        if biff == 2:
            out.append(struct.pack("<HHHH3sB", 0x0004, 8 + len(data), row, 0, b"\0\0\0", len(data)) + data)
        else:
            out.append(struct.pack("<HHHHHH", 0x0204, 8 + len(data), row, 0, 0, len(data)) + data)
    number = len(BOF8_NAMES)
    if biff == 2:
        out.append(struct.pack("<HHHH3sd", 0x0003, 15, number, 0, b"\0\0\0", 17.0))
    else:
        out.append(struct.pack("<HHHHHd", 0x0203, 14, number, 0, 0, 17.0))
    out.append(struct.pack("<HH", 0x000A, 0))
    with open(path(name), "wb") as f:
        f.write(b"".join(out))
    listed = libreoffice_csv(path(name))
    assert listed is not None and listed[:5] == BOF8_NAMES + ["17"] and not any(listed[5:]), (name, listed)


MAKERS = {
    "sst-continue.xlwt.xls": make_sst_continue,
    "kinds.xlwt.xls": make_kinds,
    "filepass.xlwt.xls": make_filepass,
    "chart-active.xlwt.xls": make_chart_active,
    "sheet-offset.xlwt.xls": make_sheet_offset,
    "tail-garbled.xlwt.xls": make_tail_garbled,
    "truncated-stream.xlwt.xls": make_truncated_stream,
    "blanks-first.xlwt.xls": make_blanks_first,
    "window2-first.xlwt.xls": make_window2_first,
    "macro-active.xlwt.xls": lambda: make_active_kind("macro-active.xlwt.xls", macro_sheet),
    "dialog-active.xlwt.xls": lambda: make_active_kind("dialog-active.xlwt.xls", dialog_sheet),
    "bof8-biff3.script.xls": lambda: make_bof8_sheet("bof8-biff3.script.xls", 3),
    "bof8-biff2.script.xls": lambda: make_bof8_sheet("bof8-biff2.script.xls", 2),
}


def main(only):
    for name, make in MAKERS.items():
        if not only or name in only:
            make()
    if not only or "chart-active.xlwt.xls" in only:
        # The crafted file still opens in xlrd.
        book = xlrd.open_workbook(path("chart-active.xlwt.xls"))
        assert book.nsheets == 2  # xlrd leaves chart sheets out
    return 0


if __name__ == "__main__":
    sys.exit(main(set(sys.argv[1:])))
