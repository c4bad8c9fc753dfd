#!/usr/bin/python3
"""Writes workbooks whose second cell of column 1 is longer than any cell may
be (32,767 characters), and the same workbooks with a second cell of exactly
32,767 characters (...-limit...), each by a program that writes its format:

  long-shared-limit.lo.xlsx          LibreOffice, a shared string
  long-inline-limit.openpyxl.xlsx    openpyxl, an inline string
  long-shared.script.xlsx,           those files with their string made
  long-inline.script.xlsx            1,048,576 characters long here, as no
                                     program writes it (openpyxl and
                                     LibreOffice cut a cell to 32,767 when
                                     they write it; LibreOffice reads it whole)
  long-cell[-limit].lo.ods           LibreOffice, its cell set through UNO to
                                     40,000 characters
  long-cell-limit.lo.xls             LibreOffice (it writes no longer cell in
                                     .xls, and xlwt refuses to)
  long-sst[-limit].script.xlsb       xlsb_writer.py: a shared text of 40,000
                                     characters

LibreOffice reads every file back and must show the first name, the long
cell whole and the name after it.

Run with Debian's /usr/bin/python3 (python3-openpyxl, libreoffice-calc,
python3-uno).
"""

import os
import sys
import tempfile
import zipfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "rosters"))
import make_rosters  # noqa: E402  (the LibreOffice session)
import xlsb_writer  # noqa: E402

LIMIT = 32767


def column(length):
    return ["Ann Lee", "x" * length, "Bob Stone"]


def write_xlsx(path, cells):
    book = openpyxl.Workbook()
    for r, text in enumerate(cells, 1):
        book.active.cell(row=r, column=1, value=text)
    book.save(path)


def lengthened(source, part):
    """A writer of the .xlsx `source` (written before) with the string of
    32,767 characters in `part` made as long as the cell it is given."""
    def write(path, cells):
        with zipfile.ZipFile(os.path.join(HERE, source)) as book, \
                zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
            for info in book.infolist():
                data = book.read(info)
                if info.filename == part:
                    assert data.count(b"x" * LIMIT) == 1
                    data = data.replace(b"x" * LIMIT, cells[1].encode("ascii"))
                out.writestr(info, data)
    return write


def write_xlsb(path, cells):
    xlsb_writer.make("long", dict(column1=cells), path, [(0, r, 0, text) for r, text in enumerate(cells)])


def write_lo(office, path, cells, filter_name):
    doc = office.load("private:factory/scalc")
    try:
        sheet = doc.Sheets.getByIndex(0)
        for r, text in enumerate(cells):
            sheet.getCellByPosition(0, r).setString(text)
        office.store(doc, path, filter_name)
    finally:
        doc.close(True)


def lo_column(office, path):
    doc = office.load("file://" + path)
    try:
        sheet = doc.CurrentController.ActiveSheet
        return [row[0] for row in sheet.getCellRangeByPosition(0, 0, 0, 2).getDataArray()]
    finally:
        doc.close(True)


def main():
    # name, writer, length written, length LibreOffice shows
    files = [("long-shared-limit.lo.xlsx", "Calc MS Excel 2007 XML", LIMIT, LIMIT),
             ("long-shared.script.xlsx", lengthened("long-shared-limit.lo.xlsx", "xl/sharedStrings.xml"),
              1024 * 1024, 1024 * 1024),
             ("long-inline-limit.openpyxl.xlsx", write_xlsx, LIMIT, LIMIT),
             ("long-inline.script.xlsx", lengthened("long-inline-limit.openpyxl.xlsx", "xl/worksheets/sheet1.xml"),
              1024 * 1024, 1024 * 1024),
             ("long-sst.script.xlsb", write_xlsb, 40000, 40000),
             ("long-sst-limit.script.xlsb", write_xlsb, LIMIT, LIMIT),
             ("long-cell.lo.ods", "calc8", 40000, 40000),
             ("long-cell-limit.lo.ods", "calc8", LIMIT, LIMIT),
             ("long-cell-limit.lo.xls", "MS Excel 97", LIMIT, LIMIT)]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        office = make_rosters.Office(os.path.join(tmp, "profile"))
        try:
            for name, write, length, shown_length in files:
                path = os.path.join(HERE, name)
                if isinstance(write, str):
                    write_lo(office, path, column(length), write)
                else:
                    write(path, column(length))
            for name, _, _, shown_length in files:
                shown = lo_column(office, os.path.join(HERE, name))
                if shown != column(shown_length):
                    failures.append("%s: LibreOffice shows %r, a cell of %d characters, %r"
                                    % (name, shown[0], len(shown[1]), shown[2]))
        finally:
            office.close()
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
