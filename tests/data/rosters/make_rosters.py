#!/usr/bin/python3
"""Makes the roster workbooks in this folder with real spreadsheet programs.

Run through make_rosters.sh (with case names, only those cases; "hand" for
the hand-written files) (Debian 12 with libreoffice-calc, python3-uno,
gnumeric, python3-xlwt, python3-openpyxl and python3-xlrd). Each case is
written by every program that can write it:

  <case>.xlwt.xls        Python xlwt, Excel 97-2003 (BIFF8)
  <case>.lo.xls          LibreOffice Calc, "MS Excel 97" (BIFF8)
  <case>.gnumeric.xls    Gnumeric ssconvert, excel_biff8
  <case>.gnumeric95.xls  Gnumeric ssconvert, excel_biff7 (BIFF5)
  <case>.openpyxl.xlsx   Python openpyxl
  <case>.lo.xlsx         LibreOffice Calc, "Calc MS Excel 2007 XML"
  <case>.gnumeric.xlsx   Gnumeric ssconvert, xlsx2
  <case>.lo.ods          LibreOffice Calc, OpenDocument
  <case>.gnumeric.ods    Gnumeric ssconvert, odf
  <case>.lo.csv          LibreOffice Calc, UTF-8 text
  <case>.hand.csv        written byte for byte by this script

Every file is then read back with independent readers (xlrd, openpyxl, the
OpenDocument XML, Python's csv) and the column-1 list checked against the
case's intended list; expected.tsv records the list for 6 and 30 seats.
"""

import csv
import datetime
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = HERE
SEATS = (6, 30)

# --------------------------------------------------------------------------
# The cases. A column-1 cell is a string, or a tuple:
#   None               no cell at all
#   ('n', 17.0)        number
#   ('b', True)        boolean
#   ('d', datetime, fmt) date/time value with a number format
#   ('f', formula, result)  formula and the text of its result (None: empty)
#   ('blank',)         formatted cell with no value
#   ('empty',)         cell holding empty text
#   ('rich', [(text, bold), ...])  text with runs
# --------------------------------------------------------------------------

BASIC = ["Ana Lima", "Ben Carter", "Chloe Nguyen", "Dev Patel", "Ella Brooks",
         "Finn O'Hara", "Grace Kim", "Hugo Silva", "Ivy Chen", "Jonah Reyes",
         "Kara Novak", "Liam Walsh", "Maya Torres", "Nico Rossi", "Olive Grant",
         "Priya Shah", "Quinn Moore", "Rosa Diaz", "Sam Whitfield", "Tara Quill",
         "Umar Farouk", "Vera Lindqvist", "Wes Jordan", "Xena Park", "Yusuf Demir"]

UNICODE = ["José Álvarez", "Zoë Ødegaard", "Αλέξανδρος Παπαδόπουλος", "Юлия Петрова",
           "李 小龍", "\U00020BB7田 花子", "Nguyễn Thị Hương", "O'Brien, Siobhan",
           "Łucja Wróbel", "עמית כהן"]

CP1252 = ["Zoë Ødegaard", "José Muñoz", "François Côté", "Jürgen Groß",
          "Šimon Žák", "Œda Dupré", "Ana “Nan” Díaz", "Björn Åström"]

MANY = ["Student %02d Name" % i for i in range(1, 61)]


def long_name(i):
    # Long, unique names; every third one needs 16-bit characters in BIFF8.
    if i % 3 == 0:
        return "Александра Владимировна Константинопольская %03d" % i
    return "Maximilian Alexander Bartholomew Featherstonehaugh %03d" % i


D_DATE = datetime.datetime(2024, 9, 2)
D_DATETIME = datetime.datetime(2024, 9, 2, 13, 45)
D_TIME = datetime.time(13, 45)

CASES = {}


def case(name, column1, makers, **extra):
    CASES[name] = dict(column1=column1, makers=makers, **extra)


ALL_BOOKS = ["xlwt.xls", "lo.xls", "gnumeric.xls", "gnumeric95.xls",
             "openpyxl.xlsx", "lo.xlsx", "gnumeric.xlsx", "lo.ods", "gnumeric.ods"]
NO95 = [m for m in ALL_BOOKS if "95" not in m]

case("basic", BASIC, ALL_BOOKS + ["lo.csv"])
case("unicode", UNICODE, NO95 + ["lo.csv"])
case("cp1252", CP1252, ["gnumeric95.xls", "lo.xls"])
case("values", ["Ann Lee", ('n', 17.0), " ", "007", ('n', 12345678901.0),
                ('n', 0.1 + 0.2), ('n', -2.5), ('b', True), ('b', False), "Last"],
     ["xlwt.xls", "openpyxl.xlsx", "gnumeric.xls", "gnumeric95.xls", "gnumeric.ods"])
# LibreOffice has no boolean constants; its booleans come from formulas.
case("values-lo", ["Ann Lee", ('n', 17.0), " ", "007", ('n', 12345678901.0),
                   ('n', 0.1 + 0.2), ('n', -2.5), "Last"],
     ["lo.xls", "lo.xlsx", "lo.ods", "lo.csv", "gnumeric95.xls"])
case("gap", ["Ann Lee", "Bob Stone", None, "Cy Young", "Di Prince", "Ed Wood"], ALL_BOOKS + ["lo.csv"])
case("formatted-empty", ["Ann Lee", "Bob Stone", "Cy Young", ('blank',), "Di Prince", "Ed Wood"],
     ALL_BOOKS)
case("empty-text", ["Ann Lee", "Bob Stone", ('empty',), "Cy Young", "Di Prince"],
     ["openpyxl.xlsx"])
case("empty-a1", [None, "Ann Lee", "Bob Stone", "Cy Young"], ALL_BOOKS)
case("sparse-row", ["Ann Lee", "Bob Stone", None, "Di Prince"], ALL_BOOKS,
     other={(3, 2): "Only in column B"})
case("many", MANY, ALL_BOOKS + ["lo.csv"])
case("three-sheets", ["Second Sheet %d" % i for i in range(1, 9)],
     [m for m in ALL_BOOKS if m != "lo.ods"], sheets=3, active=1, gnumeric_from="openpyxl.xlsx")
case("formulas", [('f', '="Ann"&" Lee"', "Ann Lee"), ('f', "=10+7", "17"),
                  ('f', "=0.1+0.2", "0.30000000000000004"), ('f', "=1=1", "TRUE"),
                  ('f', "=NA()", "#N/A"), ('f', '=""', None), "After the empty result"],
     ["lo.xls", "lo.xlsx", "lo.ods", "gnumeric.xls", "gnumeric.xlsx", "gnumeric.ods"])
case("dates", ["Ann Lee", ('d', D_DATE, "DD/MM/YYYY"), ('d', D_DATETIME, "YYYY-MM-DD HH:MM"),
               ('d', D_TIME, "HH:MM"), ('d', D_DATE, "D MMMM YYYY"), "Last"],
     ["xlwt.xls", "lo.xls", "gnumeric95.xls", "openpyxl.xlsx", "lo.xlsx", "lo.ods",
      "gnumeric.xls", "gnumeric.xlsx", "gnumeric.ods"])
case("dates1904", ["Ann Lee", ('d', D_DATE, "DD/MM/YYYY"), ('d', D_DATETIME, "YYYY-MM-DD HH:MM"), "Last"],
     ["xlwt.xls", "openpyxl.xlsx"], date1904=True)
case("rich-text", [('rich', [("Ann", True), (" Lee", False)]), "Plain Name",
                   ('rich', [("Bob ", False), ("Stone", True)]), "Cy Young"],
     ["xlwt.xls", "lo.xls", "gnumeric95.xls", "lo.xlsx", "lo.ods", "gnumeric.xls", "gnumeric.xlsx",
      "gnumeric.ods"])
case("chart", BASIC[:10], ["lo.xls", "lo.xlsx", "lo.ods", "openpyxl.xlsx"], chart=True)
case("far-cell", BASIC[:5], ["xlwt.xls", "lo.xls", "gnumeric.xls", "gnumeric95.xls"],
     other={(65536, 256): "Stray"})
case("far-cell-big", BASIC[:5], ["openpyxl.xlsx", "lo.xlsx", "lo.ods", "gnumeric.xlsx"],
     other={(1048576, 1024): "Stray"})
case("long-strings", [long_name(i) for i in range(1, 301)], ["xlwt.xls", "lo.xls", "gnumeric.xls"],
     columnB=["Notes %03d " % i + "lorem ipsum dolor sit amet " * 12 for i in range(1, 301)])
case("rows-65536", [BASIC[i % 25] for i in range(65536)], ["xlwt.xls"])
case("rows-100000", [BASIC[i % 25] for i in range(100000)], ["openpyxl.xlsx", "lo.xlsx", "lo.ods"])

# --------------------------------------------------------------------------
# Text forms, as the program shows them.
# --------------------------------------------------------------------------


def number_text(v):
    if float(v).is_integer() and abs(v) < 1e15:
        return "%d" % v
    return repr(float(v))


def date_text(v):
    if isinstance(v, datetime.time):
        return v.strftime("%H:%M:%S")
    if isinstance(v, datetime.datetime):
        if v.time() == datetime.time(0):
            return v.strftime("%Y-%m-%d")
        return v.strftime("%Y-%m-%d %H:%M:%S")
    return v.strftime("%Y-%m-%d")


def intended_text(cell):
    if cell is None:
        return None
    if isinstance(cell, str):
        return cell if cell != "" else None
    kind = cell[0]
    if kind == 'n':
        return number_text(cell[1])
    if kind == 'b':
        return "TRUE" if cell[1] else "FALSE"
    if kind == 'd':
        return date_text(cell[1])
    if kind == 'f':
        return cell[2]
    if kind in ('blank', 'empty'):
        return None
    if kind == 'rich':
        return "".join(t for t, _ in cell[1])
    raise ValueError(cell)


def roster(texts, seats):
    """The list for `seats` seats: names down to the first empty cell, then Empty."""
    out = []
    for r in range(seats):
        t = texts[r] if r < len(texts) else None
        if t is None or t == "":
            break
        out.append(t)
    return out + ["Empty"] * (seats - len(out))


# --------------------------------------------------------------------------
# xlwt
# --------------------------------------------------------------------------


def make_xlwt(name, c, path):
    import xlwt
    wb = xlwt.Workbook(encoding="utf-8")
    if c.get("date1904"):
        wb.dates_1904 = True
    nsheets = c.get("sheets", 1)
    sheets = []
    for s in range(nsheets):
        sheets.append(wb.add_sheet("Period %d" % (s + 1)))
    active = c.get("active", 0)
    ws = sheets[active]
    for s, other in enumerate(sheets):
        if s != active:
            for r in range(5):
                other.write(r, 0, "Sheet %d Name %d" % (s + 1, r + 1))
    yellow = xlwt.easyxf("pattern: pattern solid, fore_colour yellow")
    bold = xlwt.easyxf("font: bold on")
    bold_font = bold.font
    plain_font = xlwt.Font()
    for r, cell in enumerate(c["column1"]):
        if cell is None:
            continue
        if isinstance(cell, str):
            ws.write(r, 0, cell)
            continue
        kind = cell[0]
        if kind == 'n':
            ws.write(r, 0, cell[1])
        elif kind == 'b':
            ws.write(r, 0, cell[1])
        elif kind == 'd':
            fmt = cell[2].replace("DD", "dd").replace("MMMM", "mmmm").replace("YYYY", "yyyy") \
                .replace("HH", "hh").replace("D ", "d ").replace("MM", "mm")
            ws.write(r, 0, cell[1], xlwt.easyxf(num_format_str=fmt))
        elif kind == 'blank':
            ws.write(r, 0, None, yellow)
        elif kind == 'rich':
            ws.write_rich_text(r, 0, [(t, bold_font if b else plain_font) for t, b in cell[1]])
        else:
            raise ValueError(cell)
    for r, text in enumerate(c.get("columnB", [])):
        ws.write(r, 1, text)
    for (r, col), text in c.get("other", {}).items():
        ws.write(r - 1, col - 1, text)
    if nsheets > 1:
        wb.active_sheet = active
        for s, sh in enumerate(sheets):
            sh.set_selected(s == active)
    wb.save(path)


# --------------------------------------------------------------------------
# openpyxl
# --------------------------------------------------------------------------


def make_openpyxl(name, c, path):
    import openpyxl
    from openpyxl.styles import PatternFill
    wb = openpyxl.Workbook(write_only=name.startswith("rows-"))
    if c.get("date1904"):
        from openpyxl.utils.datetime import CALENDAR_MAC_1904
        wb.epoch = CALENDAR_MAC_1904
    if name.startswith("rows-"):
        ws = wb.create_sheet("Roster")
        for cell in c["column1"]:
            ws.append([cell])
        wb.save(path)
        return
    nsheets = c.get("sheets", 1)
    sheets = [wb.active]
    sheets[0].title = "Period 1"
    for s in range(1, nsheets):
        sheets.append(wb.create_sheet("Period %d" % (s + 1)))
    active = c.get("active", 0)
    ws = sheets[active]
    for s, other in enumerate(sheets):
        if s != active:
            for r in range(5):
                other.cell(row=r + 1, column=1, value="Sheet %d Name %d" % (s + 1, r + 1))
    for r, cell in enumerate(c["column1"], start=1):
        if cell is None:
            continue
        target = ws.cell(row=r, column=1)
        if isinstance(cell, str):
            target.value = cell
            continue
        kind = cell[0]
        if kind in ('n', 'b'):
            target.value = cell[1]
        elif kind == 'd':
            target.value = cell[1]
            target.number_format = cell[2].lower().replace("hh:mm", "hh:mm")
        elif kind == 'blank':
            target.fill = PatternFill("solid", fgColor="FFFF00")
        elif kind == 'empty':
            target.value = ""
        else:
            raise ValueError(cell)
    for (r, col), text in c.get("other", {}).items():
        ws.cell(row=r, column=min(col, 16384), value=text)
    if c.get("chart"):
        from openpyxl.chart import BarChart, Reference
        for r in range(1, 11):
            ws.cell(row=r, column=2, value=r * 3)
        chart = BarChart()
        chart.add_data(Reference(ws, min_col=2, min_row=1, max_row=10))
        ws.add_chart(chart, "D2")
    if nsheets > 1:
        wb.active = active
        for s, sh in enumerate(sheets):
            sh.sheet_view.tabSelected = (s == active)
    wb.save(path)


# --------------------------------------------------------------------------
# LibreOffice through UNO
# --------------------------------------------------------------------------


class Office:
    def __init__(self, profile):
        import uno
        self.uno = uno
        self.pipe = "plivanrosters%d" % os.getpid()
        self.proc = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
             "--nodefault", "-env:UserInstallation=file://" + profile,
             "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(120):
            try:
                self.ctx = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except Exception:
                time.sleep(0.5)
        else:
            raise RuntimeError("LibreOffice did not start")
        self.desktop = self.ctx.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", self.ctx)

    def prop(self, name, value):
        from com.sun.star.beans import PropertyValue
        p = PropertyValue()
        p.Name = name
        p.Value = value
        return p

    def new_doc(self):
        return self.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                                 (self.prop("Hidden", True),))

    def store(self, doc, path, filt, password=None, options=None):
        props = [self.prop("FilterName", filt), self.prop("Overwrite", True)]
        if password:
            props.append(self.prop("Password", password))
        if options:
            props.append(self.prop("FilterOptions", options))
        doc.storeToURL("file://" + path, tuple(props))

    def close(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()


LO_FILTERS = {
    "lo.xls": "MS Excel 97",
    "lo.xlsx": "Calc MS Excel 2007 XML",
    "lo.ods": "calc8",
    "lo.csv": "Text - txt - csv (StarCalc)",
}


def lo_number_format(doc, code):
    from com.sun.star.lang import Locale
    formats = doc.NumberFormats
    loc = Locale("en", "US", "")
    key = formats.queryKey(code, loc, False)
    if key == -1:
        key = formats.addNew(code, loc)
    return key


def build_lo(office, name, c):
    from com.sun.star.awt import Rectangle
    from com.sun.star.table import CellRangeAddress
    if c.get("sheets", 1) > 1:
        # A document made here has no view to record its active sheet in, so
        # LibreOffice opens the openpyxl workbook and saves it again; the
        # active sheet it read is kept in the .xls and .xlsx it writes.
        src = os.path.join(OUT, "%s.openpyxl.xlsx" % name)
        return office.desktop.loadComponentFromURL("file://" + src, "_blank", 0,
                                                   (office.prop("Hidden", True),))
    doc = office.new_doc()
    sheets = doc.Sheets
    nsheets = c.get("sheets", 1)
    first = sheets.getByIndex(0)
    first.Name = "Period 1"
    for s in range(1, nsheets):
        sheets.insertNewByName("Period %d" % (s + 1), s)
    active = c.get("active", 0)
    ws = sheets.getByIndex(active)
    for s in range(nsheets):
        if s != active:
            other = sheets.getByIndex(s)
            for r in range(5):
                other.getCellByPosition(0, r).setString("Sheet %d Name %d" % (s + 1, r + 1))
    column = c["column1"]
    if name.startswith("rows-"):
        data = tuple((t,) for t in column)
        ws.getCellRangeByPosition(0, 0, 0, len(data) - 1).setDataArray(data)
    else:
        for r, cell in enumerate(column):
            if cell is None:
                continue
            target = ws.getCellByPosition(0, r)
            if isinstance(cell, str):
                target.setString(cell)
                continue
            kind = cell[0]
            if kind == 'n':
                target.setValue(cell[1])
            elif kind == 'f':
                target.setFormula(cell[1])
            elif kind == 'd':
                v = cell[1]
                if isinstance(v, datetime.time):
                    serial = (v.hour * 3600 + v.minute * 60 + v.second) / 86400.0
                else:
                    delta = v - datetime.datetime(1899, 12, 30)
                    serial = delta.days + delta.seconds / 86400.0
                target.setValue(serial)
                target.NumberFormat = lo_number_format(doc, cell[2])
            elif kind == 'blank':
                target.CellBackColor = 0xFFFF00
            elif kind == 'rich':
                text = target.getText()
                cursor = text.createTextCursor()
                for t, b in cell[1]:
                    cursor.CharWeight = 150.0 if b else 100.0
                    text.insertString(cursor, t, False)
            else:
                raise ValueError(cell)
    if "columnB" in c:
        data = tuple((t,) for t in c["columnB"])
        ws.getCellRangeByPosition(1, 0, 1, len(data) - 1).setDataArray(data)
    for (r, col), text in c.get("other", {}).items():
        ws.getCellByPosition(col - 1, r - 1).setString(text)
    if c.get("chart"):
        for r in range(10):
            ws.getCellByPosition(1, r).setValue((r + 1) * 3)
        rect = Rectangle(6000, 1000, 12000, 8000)
        rng = CellRangeAddress(active, 1, 0, 1, 9)
        ws.Charts.addNewByName("Scores", rect, (rng,), False, False)
    doc.CurrentController.setActiveSheet(ws)
    return doc


def make_lo_all(office, jobs):
    for name, makers in jobs:
        c = CASES[name]
        doc = build_lo(office, name, c)
        for m in makers:
            path = os.path.join(OUT, "%s.%s" % (name, m))
            opts = "44,34,76,1,,0,false,true,true" if m.endswith(".csv") else None
            office.store(doc, path, LO_FILTERS[m], options=opts)
        doc.close(True)


def make_lo_protected(office):
    doc = build_lo(office, "basic", CASES["basic"])
    for ext, filt in (("xls", "MS Excel 97"), ("ods", "calc8")):
        office.store(doc, os.path.join(OUT, "bad-password.lo.%s" % ext), filt, password="secret")
    # Office Open XML takes its password as encryption data, as the save
    # dialog passes it; the result is an encrypted package in a compound file.
    import uno
    from com.sun.star.beans import NamedValue
    data = []
    for key, value in (("OOXPassword", "secret"), ("CryptoType", "Standard")):
        nv = NamedValue()
        nv.Name = key
        nv.Value = value
        data.append(nv)
    props = (office.prop("FilterName", "Calc MS Excel 2007 XML"), office.prop("Overwrite", True),
             office.prop("EncryptionData", uno.Any("[]com.sun.star.beans.NamedValue", tuple(data))))
    uno.invoke(doc, "storeToURL", ("file://" + os.path.join(OUT, "bad-password.lo.xlsx"), props))
    doc.close(True)


# --------------------------------------------------------------------------
# Gnumeric: converts the LibreOffice .ods (or the openpyxl .xlsx) of a case.
# --------------------------------------------------------------------------

SSCONVERT = {
    "gnumeric.xls": "Gnumeric_Excel:excel_biff8",
    "gnumeric95.xls": "Gnumeric_Excel:excel_biff7",
    "gnumeric.xlsx": "Gnumeric_Excel:xlsx2",
    "gnumeric.ods": "Gnumeric_OpenCalc:odf",
}


def make_gnumeric(name, m, source):
    path = os.path.join(OUT, "%s.%s" % (name, m))
    subprocess.run(["ssconvert", "-T", SSCONVERT[m], source, path], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# --------------------------------------------------------------------------
# Hand-written text files and bad files.
# --------------------------------------------------------------------------

HAND_CSV = {
    # name: (bytes, intended column-1 texts)
    "csv-crlf.hand.csv": (b"Ann Lee,10\r\nBob Stone,11\r\nCy Young,12\r\n",
                          ["Ann Lee", "Bob Stone", "Cy Young"]),
    "csv-lf-bom.hand.csv": ("\ufeffZoë Ødegaard,1\n李 小龍,2\n\U00020BB7田 花子,3\n".encode("utf-8"),
                            ["Zoë Ødegaard", "李 小龍", "\U00020BB7田 花子"]),
    "csv-cr.hand.csv": (b"Ann Lee\rBob Stone\rCy Young", ["Ann Lee", "Bob Stone", "Cy Young"]),
    "csv-cp1252.hand.csv": ("Zoë Ødegaard,x\r\nJosé Muñoz\r\nŒda “Nan” Dupré\r\nŠimon Žák\r\n".encode("cp1252"),
                            ["Zoë Ødegaard", "José Muñoz", "Œda “Nan” Dupré", "Šimon Žák"]),
    "csv-quoted.hand.csv": (b'"Lee, Ann",x\r\n"Say ""Hi"" Sam"\r\n"Two\r\nLines",y\r\n" "\r\n"007",z\r\nLast\r\n',
                            ["Lee, Ann", 'Say "Hi" Sam', "Two\r\nLines", " ", "007", "Last"]),
    "csv-gap.hand.csv": (b"Ann Lee\r\nBob Stone\r\n\r\nCy Young\r\n", ["Ann Lee", "Bob Stone", None, "Cy Young"]),
    "csv-empty-first-field.hand.csv": (b'Ann Lee\r\n,Only in column B\r\nCy Young\r\n',
                                       ["Ann Lee", None, "Cy Young"]),
    "csv-empty-quoted.hand.csv": (b'Ann Lee\r\n""\r\nCy Young\r\n', ["Ann Lee", None, "Cy Young"]),
    "csv-no-final-newline.hand.txt": (b"Ann Lee\nBob Stone", ["Ann Lee", "Bob Stone"]),
    "csv-open-quote.hand.csv": (b'Ann Lee\r\n"Bob Stone\r\nCy Young\r\n', None),
    "csv-empty.hand.csv": (b"", []),
}

BAD = {
    # name: reason word the message must hold
    "bad-empty.hand.xlsx": "empty",
    "bad-text.hand.xlsx": "not a workbook",
    "bad-truncated.lo.xls": "damaged",
    "bad-truncated.lo.xlsx": "damaged",
    "bad-truncated.lo.ods": "damaged",
    "bad-password.lo.xls": "password",
    "bad-password.lo.xlsx": "password",
    "bad-password.lo.ods": "password",
}


def make_hand():
    for fname, (data, _) in HAND_CSV.items():
        with open(os.path.join(OUT, fname), "wb") as f:
            f.write(data)
    with open(os.path.join(OUT, "bad-empty.hand.xlsx"), "wb"):
        pass
    with open(os.path.join(OUT, "bad-text.hand.xlsx"), "wb") as f:
        f.write(b"Ann Lee\r\nBob Stone\r\n")


def make_truncated():
    for ext, keep in (("xls", 4096), ("xlsx", None), ("ods", None)):
        src = os.path.join(OUT, "basic.lo.%s" % ext)
        with open(src, "rb") as f:
            data = f.read()
        if keep is None:
            keep = len(data) * 6 // 10
        with open(os.path.join(OUT, "bad-truncated.lo.%s" % ext), "wb") as f:
            f.write(data[:keep])


# --------------------------------------------------------------------------
# Reading back with independent readers.
# --------------------------------------------------------------------------


def read_xls(path, seats):
    import xlrd
    import struct
    import xlrd.compdoc
    book = xlrd.open_workbook(path, formatting_info=True, on_demand=True)
    # The active sheet is the tab WINDOW1 (0x3D) names.
    with open(path, "rb") as f:
        cd = xlrd.compdoc.CompDoc(f.read(), logfile=open(os.devnull, "w"))
    stream = cd.get_named_stream("Workbook") or cd.get_named_stream("Book")
    itab, pos = 0, 0
    while pos + 4 <= len(stream):
        rid, size = struct.unpack_from("<HH", stream, pos)
        if rid == 0x3D:
            itab = struct.unpack_from("<H", stream, pos + 4 + 10)[0]
            break
        pos += 4 + size
    sheet = book.sheet_by_index(itab)
    texts = []
    for r in range(min(seats, sheet.nrows)):
        if sheet.ncols == 0:
            break
        cell = sheet.cell(r, 0)
        t = None
        if cell.ctype == xlrd.XL_CELL_TEXT:
            t = cell.value
        elif cell.ctype == xlrd.XL_CELL_NUMBER:
            t = number_text(cell.value)
        elif cell.ctype == xlrd.XL_CELL_DATE:
            v = cell.value
            tup = xlrd.xldate_as_tuple(v, book.datemode)
            if v < 1:
                t = datetime.time(*tup[3:]).strftime("%H:%M:%S")
            else:
                t = date_text(datetime.datetime(*tup))
        elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
            t = "TRUE" if cell.value else "FALSE"
        elif cell.ctype == xlrd.XL_CELL_ERROR:
            t = xlrd.error_text_from_code.get(cell.value)
        texts.append(t)
    return texts


def read_xlsx(path, seats):
    import openpyxl
    wb = openpyxl.load_workbook(path, data_only=True, read_only=True)
    ws = wb.active
    texts = []
    for row in ws.iter_rows(min_row=1, max_row=seats, min_col=1, max_col=1):
        cell = row[0] if row else None
        v = getattr(cell, "value", None)
        if v is None or v == "":
            t = None
        elif isinstance(v, bool):
            t = "TRUE" if v else "FALSE"
        elif isinstance(v, (int, float)):
            t = number_text(v)
        elif isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
            t = date_text(v)
        else:
            t = str(v)
        texts.append(t)
    return texts


NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "config": "urn:oasis:names:tc:opendocument:xmlns:config:1.0",
}


def q(prefix, local):
    return "{%s}%s" % (NS[prefix], local)


def ods_paragraph_text(p):
    out = []

    def walk(e):
        if e.text:
            out.append(e.text)
        for child in e:
            if child.tag == q("text", "s"):
                out.append(" " * int(child.get(q("text", "c"), "1")))
            elif child.tag == q("text", "tab"):
                out.append("\t")
            elif child.tag == q("text", "line-break"):
                out.append("\n")
            else:
                walk(child)
            if child.tail:
                out.append(child.tail)
    walk(p)
    return "".join(out)


def read_ods(path, seats):
    z = zipfile.ZipFile(path)
    active_name = None
    try:
        settings = ET.fromstring(z.read("settings.xml"))
        for item in settings.iter(q("config", "config-item")):
            if item.get(q("config", "name")) == "ActiveTable":
                active_name = item.text
                break
    except KeyError:
        pass
    content = ET.fromstring(z.read("content.xml"))
    tables = list(content.iter(q("table", "table")))
    table = tables[0]
    for t in tables:
        if t.get(q("table", "name")) == active_name:
            table = t
    texts = []
    for row in table.iter(q("table", "table-row")):
        repeat = int(row.get(q("table", "number-rows-repeated"), "1"))
        first = None
        for child in row:
            if child.tag in (q("table", "table-cell"), q("table", "covered-table-cell")):
                first = child
                break
        t = None
        if first is not None:
            vt = first.get(q("office", "value-type"))
            if vt == "string":
                paras = first.findall(q("text", "p"))
                t = "\n".join(ods_paragraph_text(p) for p in paras)
            elif vt in ("float", "percentage", "currency"):
                t = number_text(float(first.get(q("office", "value"))))
            elif vt == "boolean":
                t = "TRUE" if first.get(q("office", "boolean-value")) == "true" else "FALSE"
            elif vt == "date":
                v = first.get(q("office", "date-value"))
                t = v.replace("T", " ") if "T" in v else v
                if t.endswith(" 00:00:00"):
                    t = t[:-9]
            elif vt == "time":
                m = re.match(r"PT(\d+)H(\d+)M(\d+)(?:\.\d+)?S", first.get(q("office", "time-value")))
                t = "%02d:%02d:%02d" % tuple(int(x) for x in m.groups())
            elif vt is None:
                paras = first.findall(q("text", "p"))
                # Error results (#N/A) are text with no value type.
                t = "\n".join(ods_paragraph_text(p) for p in paras) if paras else None
        for _ in range(min(repeat, seats - len(texts))):
            texts.append(t if t != "" else None)
        if len(texts) >= seats:
            break
    return texts


def read_csv(path, seats):
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8-sig")
    except UnicodeDecodeError:
        text = data.decode("cp1252")
    texts = []
    for row in csv.reader(io.StringIO(text, newline="")):
        texts.append(row[0] if row and row[0] != "" else None)
        if len(texts) >= seats:
            break
    return texts


def read_back(path, seats):
    if path.endswith(".xls"):
        return read_xls(path, seats)
    if path.endswith(".xlsx"):
        return read_xlsx(path, seats)
    if path.endswith(".ods"):
        return read_ods(path, seats)
    return read_csv(path, seats)


def escape(t):
    return t.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def main():
    only = set(sys.argv[1:])
    for name, c in CASES.items():
        if only and name not in only:
            continue
        for m in c["makers"]:
            path = os.path.join(OUT, "%s.%s" % (name, m))
            if m == "xlwt.xls":
                make_xlwt(name, c, path)
            elif m == "openpyxl.xlsx":
                make_openpyxl(name, c, path)
    jobs = []
    for name, c in CASES.items():
        if only and name not in only:
            continue
        lo = [m for m in c["makers"] if m in LO_FILTERS]
        gn = [m for m in c["makers"] if m.startswith("gnumeric")]
        if gn and "lo.ods" not in lo and "openpyxl.xlsx" not in c["makers"]:
            lo.append("source.ods")
        if lo:
            jobs.append((name, lo))
    LO_FILTERS["source.ods"] = "calc8"
    with tempfile.TemporaryDirectory() as tmp:
        office = Office(os.path.join(tmp, "profile")) if jobs or not only else None
        try:
            if office:
                make_lo_all(office, jobs)
            if not only:
                make_lo_protected(office)
        finally:
            if office:
                office.close()
    for name, c in CASES.items():
        if only and name not in only:
            continue
        # Gnumeric converts the LibreOffice file, or the openpyxl one where
        # LibreOffice cannot hold the values (booleans).
        sources = ("lo.ods", "source.ods", "openpyxl.xlsx")
        if "gnumeric_from" in c:
            sources = (c["gnumeric_from"],)
        for m in c["makers"]:
            if m.startswith("gnumeric"):
                for src in sources:
                    src = os.path.join(OUT, "%s.%s" % (name, src))
                    if os.path.exists(src):
                        break
                make_gnumeric(name, m, src)
        src = os.path.join(OUT, "%s.source.ods" % name)
        if os.path.exists(src):
            os.remove(src)
    if not only or "hand" in only:
        make_hand()
    if not only:
        make_truncated()

    # Check every file against its case and write the expectations.
    problems = 0
    lines = ["# file\tseats\terror word (- when none)\tnames (tab-separated; \\t \\r \\n \\\\ escaped)"]
    entries = []
    for name, c in CASES.items():
        intended = [intended_text(x) for x in c["column1"]]
        for m in c["makers"]:
            entries.append(("%s.%s" % (name, m), intended))
    for fname, (_, intended) in HAND_CSV.items():
        entries.append((fname, intended))
    for fname, intended in sorted(entries):
        path = os.path.join(OUT, fname)
        if not os.path.exists(path):
            continue
        for seats in SEATS:
            word = "-"
            if intended is None:
                # A quote that is never closed: the names before it, and a
                # message that the file is damaged.
                want = roster(["Ann Lee"], seats)
                word = "damaged"
            else:
                want = roster(intended, seats)
                got = roster(read_back(path, seats), seats)
                # Text formats hold numbers as decimal text, and these
                # programs write 15 significant digits: 0.1 + 0.2 is stored
                # as 0.3, and that is what the file says.
                if not fname.endswith(".xls") or "gnumeric" in fname:
                    want = ["0.3" if t == "0.30000000000000004" else t for t in want]
                if got != want:
                    problems += 1
                    print("MISMATCH %s (%d seats):\n  intended %r\n  read     %r" % (fname, seats, want, got))
            lines.append("\t".join([fname, str(seats), word] + [escape(t) for t in want]))
    for fname, word in sorted(BAD.items()):
        for seats in SEATS:
            lines.append("\t".join([fname, str(seats), word] + ["Empty"] * seats))
    with open(os.path.join(OUT, "expected.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print("%d mismatches" % problems)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
