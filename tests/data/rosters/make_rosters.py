#!/usr/bin/python3
"""Makes the roster fixtures in this folder and their expected.tsv.

Each case below is a list of column-1 cells, written by every maker in its
list to <case>.<maker>:
  xlwt.xls, openpyxl.xlsx          the Python libraries
  lo.xls, lo.xlsx, lo.ods, lo.csv  LibreOffice Calc, driven through python3-uno
  lo.xml, lo.html                  the same, as XML Spreadsheet 2003 and as a web page
  lo.fods                          the same, as a flat OpenDocument file (one XML document)
  lo-content.xml                   the content part of the case's lo.ods, unpacked
  script.fods                      LibreOffice's .fods with the view settings naming the
                                   active sheet added, which LibreOffice writes only with
                                   a window open; read back with LibreOffice
  lo.slk, lo.dif                   the same, as SYLK and as DIF
  gnumeric.xls (BIFF8), gnumeric95.xls (BIFF5), gnumeric.xlsx, gnumeric.ods, gnumeric.html,
  gnumeric.slk, gnumeric.dif
                                   Gnumeric's ssconvert, converting the case's
                                   LibreOffice .ods or openpyxl .xlsx
  script.xlsb                      xlsb_writer.py, a script of ours, as no
                                   program here writes the format; each file
                                   is read back with LibreOffice
The hand-written CSV files and the bad-* files (empty, plain text, truncated,
password-protected) come last. expected.tsv gives, for 6 and 30 seats, the
list each file must read as: its case's cells as text down to the first
empty one, then Empty.

Run as make_rosters.sh [case ...] (all cases when none, "hand" for the
hand-written files, "locked" and "locked-hashes" for the locked ones; ROSTERS_MAKERS=<maker>,... for those makers alone) on Debian 12 with libreoffice-calc, python3-uno, gnumeric,
python3-xlwt and python3-openpyxl. ROSTERS_OUT=<folder> writes the files
there instead of next to this script.
"""

import datetime
import os
import subprocess
import sys
import tempfile
import time
import zipfile

import text_rosters

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.abspath(os.environ.get("ROSTERS_OUT") or HERE)
SEATS = (6, 30)

# --------------------------------------------------------------------------
# The cases. A cell is a string, or a tuple:
#   None               no cell at all
#   ('n', 17.0)        number
#   ('b', True)        boolean
#   ('d', datetime, fmt) date/time value with a number format
#   ('f', formula, result)  formula and the text of its result (None: empty)
#   ('blank',)         formatted cell with no value
#   ('empty',)         cell holding empty text
#   ('rich', [(text, bold), ...])  text with runs
# Options: sheets/active (more sheets, the roster on the active one),
# columnB, other ({(row, column): text}, 1-based), chart, date1904, and
# gnumeric_from (the file ssconvert converts).
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

VALUES = ["Ann Lee", ('n', 17.0), " ", "007", ('n', 12345678901.0), ('n', 0.1 + 0.2), ('n', -2.5)]


def long_name(i):
    # Long, unique names; every third one needs 16-bit characters in BIFF8.
    if i % 3 == 0:
        return "Александра Владимировна Константинопольская %03d" % i
    return "Maximilian Alexander Bartholomew Featherstonehaugh %03d" % i


D_DATE = datetime.datetime(2024, 9, 2)
D_DATETIME = datetime.datetime(2024, 9, 2, 13, 45)

CASES = {}


def case(name, column1, makers, **extra):
    CASES[name] = dict(column1=column1, makers=makers, **extra)


ALL_BOOKS = ["xlwt.xls", "lo.xls", "gnumeric.xls", "gnumeric95.xls",
             "openpyxl.xlsx", "lo.xlsx", "gnumeric.xlsx", "lo.ods", "gnumeric.ods"]

case("basic", BASIC, ALL_BOOKS + ["lo.csv", "lo.fods", "lo-content.xml"])
case("unicode", UNICODE, [m for m in ALL_BOOKS if "95" not in m] + ["lo.csv"])
case("cp1252", CP1252, ["gnumeric95.xls", "lo.xls"])
case("values", VALUES + [('b', True), ('b', False), "Last"],
     ["xlwt.xls", "openpyxl.xlsx", "gnumeric.xls", "gnumeric95.xls", "gnumeric.ods"])
# LibreOffice has no boolean constants; its booleans come from formulas.
case("values-lo", VALUES + ["Last"], ["lo.xls", "lo.xlsx", "lo.ods", "lo.csv", "gnumeric95.xls"])
case("gap", ["Ann Lee", "Bob Stone", None, "Cy Young", "Di Prince", "Ed Wood"], ALL_BOOKS + ["lo.csv"])
case("formatted-empty", ["Ann Lee", "Bob Stone", "Cy Young", ('blank',), "Di Prince", "Ed Wood"],
     ALL_BOOKS)
case("empty-text", ["Ann Lee", "Bob Stone", ('empty',), "Cy Young", "Di Prince"],
     ["openpyxl.xlsx"])
case("empty-a1", [None, "Ann Lee", "Bob Stone", "Cy Young"], ALL_BOOKS)
case("sparse-row", ["Ann Lee", "Bob Stone", None, "Di Prince"], ALL_BOOKS,
     other={(3, 2): "Only in column B"})
case("many", ["Student %02d Name" % i for i in range(1, 61)], ALL_BOOKS + ["lo.csv"])
case("three-sheets", ["Second Sheet %d" % i for i in range(1, 9)],
     [m for m in ALL_BOOKS if m != "lo.ods"] + ["script.fods"], sheets=3, active=1, gnumeric_from="openpyxl.xlsx")
case("formulas", [('f', '="Ann"&" Lee"', "Ann Lee"), ('f', "=10+7", "17"),
                  ('f', "=0.1+0.2", "0.30000000000000004"), ('f', "=1=1", "TRUE"),
                  ('f', "=NA()", "#N/A"), ('f', '=""', None), "After the empty result"],
     ["lo.xls", "lo.xlsx", "lo.ods", "gnumeric.xls", "gnumeric.xlsx", "gnumeric.ods"])
case("dates", ["Ann Lee", ('d', D_DATE, "DD/MM/YYYY"), ('d', D_DATETIME, "YYYY-MM-DD HH:MM"),
               ('d', datetime.time(13, 45), "HH:MM"), ('d', D_DATE, "D MMMM YYYY"), "Last"],
     ALL_BOOKS)
case("dates1904", ["Ann Lee", ('d', D_DATE, "DD/MM/YYYY"), ('d', D_DATETIME, "YYYY-MM-DD HH:MM"), "Last"],
     ["xlwt.xls", "openpyxl.xlsx"], date1904=True)
case("rich-text", [('rich', [("Ann", True), (" Lee", False)]), "Plain Name",
                   ('rich', [("Bob ", False), ("Stone", True)]), "Cy Young"],
     [m for m in ALL_BOOKS if m != "openpyxl.xlsx"])
case("chart", BASIC[:10], ["lo.xls", "lo.xlsx", "lo.ods", "openpyxl.xlsx"],
     columnB=[('n', r * 3) for r in range(1, 11)], chart=True)
case("far-cell", BASIC[:5], ["xlwt.xls", "lo.xls", "gnumeric.xls", "gnumeric95.xls"],
     other={(65536, 256): "Stray"})
case("far-cell-big", BASIC[:5], ["openpyxl.xlsx", "lo.xlsx", "lo.ods", "gnumeric.xlsx"],
     other={(1048576, 1024): "Stray"})
case("long-strings", [long_name(i) for i in range(1, 301)], ["xlwt.xls", "lo.xls", "gnumeric.xls"],
     columnB=["Notes %03d " % i + "lorem ipsum dolor sit amet " * 12 for i in range(1, 301)])
# One roster cell a row and nothing else; written in bulk.
case("rows-65536", [BASIC[i % 25] for i in range(65536)], ["xlwt.xls"])
case("rows-100000", [BASIC[i % 25] for i in range(100000)], ["openpyxl.xlsx", "lo.xlsx", "lo.ods"])


def also(makers, names):
    """Further makers for cases listed above, one line per format family."""
    for n in names:
        CASES[n]["makers"] = CASES[n]["makers"] + makers


# Further formats: each family adds its makers to the cases it writes here.
# Locked with the default password: office_crypto.py ("make_rosters.py locked" makes them alone).
also(["lo-velvet.xls", "lo-velvet.xlsx", "script-velvet-xor.xls", "script-velvet-xor95.xls",
      "script-velvet-cryptoapi.xls", "script-velvet-agile.xlsx", "script-velvet-agile-sha1.xlsx",
      "script-velvet-agile.xlsb", "script-velvet-agile-sha256.xlsx", "script-velvet-agile-sha384.xlsx"],
     ["basic"])
also(["script-velvet-agile.xlsx"], ["unicode"])
# XML Spreadsheet 2003 and web pages (HTML) from LibreOffice; text_rosters.py
# says what LibreOffice lists for them where that differs from the cells.
also(["lo.xml"], ["basic", "unicode", "values-lo", "gap", "formatted-empty", "empty-a1", "sparse-row", "many",
                  "dates", "formulas"])
also(["lo.html"], ["basic", "unicode", "values-lo", "gap", "formatted-empty", "empty-a1", "sparse-row", "many",
                   "three-sheets", "dates", "formulas"])
also(["gnumeric.html"], ["basic", "unicode", "values", "gap", "three-sheets", "dates"])
# SYLK and DIF, one sheet each, from LibreOffice and Gnumeric; text_rosters.py
# says what the writing program reads back where that differs from the cells.
also(["lo.slk", "lo.dif"], ["basic", "unicode", "values-lo", "gap", "dates", "many"])
also(["gnumeric.slk", "gnumeric.dif"], ["basic", "unicode", "values", "gap", "dates"])
# A macro-enabled workbook is read like any other .xlsx.
also(["lo.xlsm"], ["basic", "three-sheets"])

# Makers of formats no program here writes: maker -> write(name, case, path,
# cells), cells as layout() gives them. main() reads each file they write
# back with LibreOffice (lo_read_back) and stops unless it shows the case.
SCRIPTED = {}

# Excel binary workbooks (.xlsb), written by xlsb_writer.py. A chart sheet
# showing when the file was saved is refused, in .xlsx as in .xlsb.
import xlsb_writer  # noqa: E402
SCRIPTED["script.xlsb"] = xlsb_writer.make
also(["script.xlsb"], ["basic", "unicode", "values", "gap", "formatted-empty", "empty-a1", "sparse-row", "many",
                       "three-sheets", "formulas", "dates", "dates1904", "rich-text", "far-cell-big", "rows-100000"])
case("chart-sheet", BASIC[:10], ["openpyxl.xlsx", "script.xlsb"], columnB=[('n', r * 3) for r in range(1, 11)],
     chart_sheet=True)
# An Excel 4.0 macro sheet showing when the file was saved: a grid of cells,
# whose column 1 is read as a worksheet's.
case("macro-sheet", ["Second Sheet %d" % i for i in range(1, 6)], ["script.xlsb", "script.biff4w.xls"], sheets=2,
     active=1, macro_sheet=True)
case("macro-sheet-alone", BASIC[:5], ["script.biff4.xls"], macro_sheet=True)

# Read-back checks of their own for scripted makers whose files LibreOffice
# shows otherwise than the case in known ways: maker -> check(office, fname, case).
READ_BACK = {}

# Excel 2.x to 4.0 (BIFF2, BIFF3, BIFF4 worksheets and the BIFF4 workbook),
# written by biff_writer.py, which also says what its read-back allows for.
import biff_writer  # noqa: E402
case("cp1251", ["Юлия Петрова", "Александр Пушкин", "Ёжик Иванов", "Ґрета Їжакова"], [])
also(biff_writer.MAKERS, ["basic", "cp1252", "cp1251", "values", "gap", "formatted-empty", "dates", "dates1904",
                          "formulas", "many"])
# More code pages of those versions, in an Excel 4.0 worksheet: one that
# writes a letter in two bytes, and Excel for the Macintosh's Mac Roman.
case("cp1250", ["Łucja Wróbel", "Šárka Čermáková", "Ľubomír Ďurčo"], ["script.biff4.xls"])
case("cp932", ["山田 太郎", "鈴木 花子", "ｿﾆｰ 次郎"], ["script.biff4.xls"])
case("mac-roman", ["Zoë Ødegaard", "Björn Åström", "Œda “Nan” Dupré", "Ωmega π"], ["script.biff4.xls"])
# Code page numbers that stand for Windows-1252 in files written so.
for _n in ("codepage-0", "codepage-367", "codepage-1200"):
    case(_n, CP1252, ["script.biff4.xls"])
also(["script.biff4w.xls"], ["three-sheets"])
also(["script.biff4.xls"], ["rows-65536"])
for _m in biff_writer.MAKERS:
    SCRIPTED[_m] = biff_writer.write
    READ_BACK[_m] = lambda office, fname, c: biff_writer.check_with_libreoffice(
        office, os.path.join(OUT, fname), c, intended_text, 60)


HAND_CSV = {
    # name: (bytes, intended column-1 texts; None: a quote never closed)
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
    # Excel's "Unicode Text": UTF-16 LE with its byte order mark, tabs between fields.
    "csv-unicode-text.hand.txt": ("\ufeffAnn Lee\t12\r\nZoë Ødegaard\t13\r\nLee, Ann\t14\r\n李 小龍\t15\r\n"
                                  "\U00020BB7田 花子\t16\r\n\"Two\nLines\"\t17\r\n".encode("utf-16-le"),
                                  ["Ann Lee", "Zoë Ødegaard", "Lee, Ann", "李 小龍", "\U00020BB7田 花子", "Two\nLines"]),
    "csv-utf16be.hand.csv": ("\ufeffJosé Muñoz,1\r\n\"Lee, Ann\",2\r\nЮлия Петрова,3\r\n".encode("utf-16-be"),
                             ["José Muñoz", "Lee, Ann", "Юлия Петрова"]),
    "csv-one-name-a-line.hand.txt": (b"Ann Lee\r\nLee, Ann\r\nO'Brien, Siobhan\r\nCy Young\r\n",
                                     ["Ann Lee", "Lee, Ann", "O'Brien, Siobhan", "Cy Young"]),
    # A web system's "export to Excel": tab-separated text named .xls.
    "csv-tabs.hand.xls": (b"Ann Lee\t7B\t12\r\nLee, Ann\t7B\t13\r\nBob Stone\t7C\t12\r\n",
                          ["Ann Lee", "Lee, Ann", "Bob Stone"]),
}
HAND_BAD = {"bad-empty.hand.xlsx": b"", "bad-text.hand.xlsx": b"Ann Lee\r\nBob Stone\r\n"}

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
    "chart-sheet.openpyxl.xlsx": "chart",
    "chart-sheet.script.xlsb": "chart",
}
BAD.update({"bad-password.script-%s" % m: "password"  # office_crypto.py, with another password
            for m in ("xor.xls", "xor95.xls", "cryptoapi.xls", "agile.xlsx")})

# --------------------------------------------------------------------------
# Text forms, as the program shows them.
# --------------------------------------------------------------------------


def intended_text(cell):
    if cell is None or isinstance(cell, str):
        return cell or None
    kind, v = cell[0], (cell[1] if len(cell) > 1 else None)
    if kind == 'n':
        return "%d" % v if float(v).is_integer() and abs(v) < 1e15 else repr(float(v))
    if kind == 'b':
        return "TRUE" if v else "FALSE"
    if kind == 'd':
        if isinstance(v, datetime.time):
            return v.strftime("%H:%M:%S")
        return v.strftime("%Y-%m-%d" if v.time() == datetime.time(0) else "%Y-%m-%d %H:%M:%S")
    if kind == 'f':
        return cell[2]
    if kind == 'rich':
        return "".join(t for t, _ in v)
    return None  # 'blank', 'empty'


def roster(texts, seats):
    """The list for `seats` seats: names down to the first empty cell, then Empty."""
    out = []
    for t in texts[:seats]:
        if not t:
            break
        out.append(t)
    return out + ["Empty"] * (seats - len(out))


def escape(t):
    return t.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


# --------------------------------------------------------------------------
# Every writer places the same cells; layout() lists them.
# --------------------------------------------------------------------------


def layout(c):
    """(sheet, row, column, cell), 0-based, for every cell of case c."""
    active = c.get("active", 0)
    for s in range(c.get("sheets", 1)):
        if s != active:
            for r in range(5):
                yield s, r, 0, "Sheet %d Name %d" % (s + 1, r + 1)
    for col, cells in enumerate((c["column1"], c.get("columnB", ()))):
        for r, cell in enumerate(cells):
            if cell is not None:
                yield active, r, col, cell
    for (r, col), text in c.get("other", {}).items():
        yield active, r - 1, col - 1, text


def kind_of(cell):
    return 's' if isinstance(cell, str) else cell[0]


def make_xlwt(name, c, path):
    import xlwt
    wb = xlwt.Workbook(encoding="utf-8")
    wb.dates_1904 = bool(c.get("date1904"))
    sheets = [wb.add_sheet("Period %d" % (s + 1)) for s in range(c.get("sheets", 1))]
    yellow = xlwt.easyxf("pattern: pattern solid, fore_colour yellow")
    fonts = {True: xlwt.easyxf("font: bold on").font, False: xlwt.Font()}
    for s, r, col, cell in layout(c):
        ws, kind = sheets[s], kind_of(cell)
        if kind == 's':
            ws.write(r, col, cell)
        elif kind in ('n', 'b'):
            ws.write(r, col, cell[1])
        elif kind == 'd':
            ws.write(r, col, cell[1], xlwt.easyxf(num_format_str=cell[2].lower()))
        elif kind == 'blank':
            ws.write(r, col, None, yellow)
        elif kind == 'rich':
            ws.write_rich_text(r, col, [(t, fonts[b]) for t, b in cell[1]])
        else:
            raise ValueError(cell)
    if len(sheets) > 1:
        wb.active_sheet = c["active"]
        for s, sh in enumerate(sheets):
            sh.set_selected(s == c["active"])
    wb.save(path)


def make_openpyxl(name, c, path):
    import openpyxl
    from openpyxl.styles import PatternFill
    if name.startswith("rows-"):
        wb = openpyxl.Workbook(write_only=True)
        ws = wb.create_sheet("Roster")
        for cell in c["column1"]:
            ws.append([cell])
        wb.save(path)
        return
    wb = openpyxl.Workbook()
    if c.get("date1904"):
        from openpyxl.utils.datetime import CALENDAR_MAC_1904
        wb.epoch = CALENDAR_MAC_1904
    sheets = [wb.active] + [wb.create_sheet("Period %d" % (s + 1)) for s in range(1, c.get("sheets", 1))]
    sheets[0].title = "Period 1"
    for s, r, col, cell in layout(c):
        target, kind = sheets[s].cell(row=r + 1, column=col + 1), kind_of(cell)
        if kind == 'blank':
            target.fill = PatternFill("solid", fgColor="FFFF00")
        elif kind not in ('s', 'n', 'b', 'd', 'empty'):
            raise ValueError(cell)
        else:
            target.value = cell if kind == 's' else "" if kind == 'empty' else cell[1]
        if kind == 'd':
            target.number_format = cell[2].lower()
    active = c.get("active", 0)
    if c.get("chart_sheet"):
        # Column B as a chart on a sheet of its own, the sheet showing.
        from openpyxl.chart import BarChart, Reference
        chart = BarChart()
        chart.add_data(Reference(sheets[active], min_col=2, min_row=1, max_row=10))
        wb.create_chartsheet("Chart").add_chart(chart)
        sheets[active].sheet_view.tabSelected = False
        wb.active = len(sheets)
    if c.get("chart"):
        from openpyxl.chart import BarChart, Reference
        chart = BarChart()
        chart.add_data(Reference(sheets[active], min_col=2, min_row=1, max_row=10))
        sheets[active].add_chart(chart, "D2")
    if len(sheets) > 1:
        wb.active = active
        for s, sh in enumerate(sheets):
            sh.sheet_view.tabSelected = (s == active)
    wb.save(path)


# --------------------------------------------------------------------------
# LibreOffice through UNO.
# --------------------------------------------------------------------------

LO_FILTERS = {
    "lo.xls": "MS Excel 97",
    "lo.xlsx": "Calc MS Excel 2007 XML",
    "lo.ods": "calc8",
    "source.ods": "calc8",  # ssconvert's input, kept in a temporary folder
    "lo.csv": "Text - txt - csv (StarCalc)",
    "lo.xml": "MS Excel 2003 XML",
    "lo.html": "HTML (StarCalc)",
    "lo.xlsm": "Calc MS Excel 2007 VBA XML",
    "lo.slk": "SYLK",
    "lo.dif": "DIF",
    "lo.fods": "OpenDocument Spreadsheet Flat XML",
    "source.fods": "OpenDocument Spreadsheet Flat XML",  # script.fods's start, kept in a temporary folder
}
CSV_OPTIONS = "44,34,76,1,,0,false,true,true"  # comma, double quote, UTF-8, as shown


class Office:
    def __init__(self, profile):
        import uno
        accept = "pipe,name=plivanrosters%d;urp;StarOffice.ComponentContext" % os.getpid()
        self.proc = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
             "-env:UserInstallation=file://" + profile, "--accept=" + accept],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(120):
            try:
                ctx = resolver.resolve("uno:" + accept)
                break
            except Exception:
                time.sleep(0.5)
        else:
            raise RuntimeError("LibreOffice did not start")
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    @staticmethod
    def prop(name, value):
        from com.sun.star.beans import PropertyValue
        return PropertyValue(Name=name, Value=value)

    def load(self, url):
        return self.desktop.loadComponentFromURL(url, "_blank", 0, (self.prop("Hidden", True),))

    def store(self, doc, path, filt, **props):
        doc.storeToURL("file://" + path, tuple(self.prop(k, v) for k, v in
                                               dict(FilterName=filt, Overwrite=True, **props).items()))

    def close(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def build_lo(office, name, c):
    from com.sun.star.awt import Rectangle
    from com.sun.star.lang import Locale
    from com.sun.star.table import CellRangeAddress
    if c.get("sheets", 1) > 1:
        # A document made here has no view to record its active sheet in, so
        # LibreOffice opens the openpyxl workbook and saves it again; the
        # active sheet it read is kept in the .xls and .xlsx it writes.
        return office.load("file://" + os.path.join(OUT, "%s.openpyxl.xlsx" % name))
    doc = office.load("private:factory/scalc")
    ws = doc.Sheets.getByIndex(0)
    ws.Name = "Period 1"
    cells = layout(c)
    if name.startswith("rows-"):
        data = tuple((t,) for t in c["column1"])
        ws.getCellRangeByPosition(0, 0, 0, len(data) - 1).setDataArray(data)
        cells = ()
    for _, r, col, cell in cells:
        target, kind = ws.getCellByPosition(col, r), kind_of(cell)
        if kind == 's':
            target.setString(cell)
        elif kind == 'n':
            target.setValue(cell[1])
        elif kind == 'f':
            target.setFormula(cell[1])
        elif kind == 'd':
            v = cell[1]
            if isinstance(v, datetime.time):
                target.setValue((v.hour * 3600 + v.minute * 60 + v.second) / 86400.0)
            else:
                delta = v - datetime.datetime(1899, 12, 30)
                target.setValue(delta.days + delta.seconds / 86400.0)
            formats, locale = doc.NumberFormats, Locale("en", "US", "")
            key = formats.queryKey(cell[2], locale, False)
            target.NumberFormat = key if key != -1 else formats.addNew(cell[2], locale)
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
    if c.get("chart"):
        ws.Charts.addNewByName("Scores", Rectangle(6000, 1000, 12000, 8000),
                               (CellRangeAddress(0, 1, 0, 1, 9),), False, False)
    doc.CurrentController.setActiveSheet(ws)
    return doc


def make_lo_protected(office):
    import uno
    from com.sun.star.beans import NamedValue
    doc = build_lo(office, "basic", CASES["basic"])
    for ext, filt in (("xls", "MS Excel 97"), ("ods", "calc8")):
        office.store(doc, os.path.join(OUT, "bad-password.lo.%s" % ext), filt, Password="secret")
    # Office Open XML takes its password as encryption data, as the save
    # dialog passes it; the result is an encrypted package in a compound file.
    data = tuple(NamedValue(Name=k, Value=v) for k, v in (("OOXPassword", "secret"), ("CryptoType", "Standard")))
    props = (office.prop("FilterName", "Calc MS Excel 2007 XML"), office.prop("Overwrite", True),
             office.prop("EncryptionData", uno.Any("[]com.sun.star.beans.NamedValue", data)))
    uno.invoke(doc, "storeToURL", ("file://" + os.path.join(OUT, "bad-password.lo.xlsx"), props))
    doc.close(True)


# LibreOffice's number format types (com.sun.star.util.NumberFormat).
LO_DATE, LO_TIME, LO_LOGICAL = 2, 4, 1024


def lo_text(doc, cell):
    """A cell as LibreOffice holds it, in the text form of intended_text()."""
    kind = cell.Type.value
    if kind == "EMPTY":
        return None
    # FormulaResultType2 1 is a number; text and errors show as they are.
    if kind == "TEXT" or (kind == "FORMULA" and (cell.getError() or cell.FormulaResultType2 != 1)):
        return cell.getString() or None
    value = cell.getValue()
    kinds = doc.NumberFormats.getByKey(cell.NumberFormat).Type
    if kinds & (LO_DATE | LO_TIME):
        null = doc.NullDate
        when = datetime.datetime(null.Year, null.Month, null.Day) + datetime.timedelta(seconds=round(value * 86400))
        return intended_text(('d', when.time() if value < 1 else when))
    if kinds & LO_LOGICAL:
        return "TRUE" if value else "FALSE"
    return intended_text(('n', value))


def lo_read_back(office, fname, c):
    """Stops unless LibreOffice, opening a file a script of ours wrote, shows
    its case: column 1 of the active sheet row by row (and nothing below),
    the other cells, and a chart on the active sheet for a chart sheet."""
    doc = office.load("file://" + os.path.join(OUT, fname))
    try:
        ws = doc.CurrentController.ActiveSheet
        if c.get("chart_sheet"):
            if ws.Charts.Count != 1 or ws.getCellByPosition(0, 0).Type.value != "EMPTY":
                raise RuntimeError("%s: LibreOffice shows no chart sheet" % fname)
            ws = doc.Sheets.getByIndex(0)
        cells = list(c["column1"]) + [None]
        column = ws.getCellRangeByPosition(0, 0, 0, len(cells) - 1).getDataArray()
        shown = []  # (column, row, intended cell, intended text, what LibreOffice shows)
        for r, cell in enumerate(cells):
            # Text as the whole column gives it, at once; other cells one by one.
            quick = column[r][0]
            if isinstance(quick, str) and (cell is None or isinstance(cell, str)):
                got = quick or None
            else:
                got = lo_text(doc, ws.getCellByPosition(0, r))
            shown.append((0, r, cell, intended_text(cell), got))
        for (r, col), text in c.get("other", {}).items():
            shown.append((col - 1, r - 1, text, text, lo_text(doc, ws.getCellByPosition(col - 1, r - 1))))
        for col, r, cell, want, got in shown:
            # LibreOffice shows a formula's truth value as 1 or 0 until a
            # format says otherwise; the value is the same.
            if got != want and not (isinstance(cell, tuple) and cell[0] == 'f'
                                    and (want, got) in (("TRUE", "1"), ("FALSE", "0"))):
                raise RuntimeError("%s: LibreOffice shows %r at row %d, column %d, not %r"
                                   % (fname, got, r + 1, col + 1, want))
    finally:
        doc.close(True)


def lo_text_sheet_read_back(office, fname, c):
    """Stops unless LibreOffice, opening the SYLK or DIF file it wrote, lists
    what expected.tsv gives for it (numbers as these formats store them)."""
    want = text_rosters.listed(fname, [intended_text(x) for x in c["column1"]])
    want = ["0.3" if t == "0.30000000000000004" else t for t in want]
    got = text_rosters.lo_column_a(office, os.path.join(OUT, fname), rows=len(want))
    if got + [None] * (len(want) - len(got)) != want:
        raise RuntimeError("%s: LibreOffice lists %r, not %r" % (fname, got, want))


# --------------------------------------------------------------------------
# Gnumeric's ssconvert converts another maker's file of the same case.
# --------------------------------------------------------------------------

SSCONVERT = {
    "gnumeric.xls": "Gnumeric_Excel:excel_biff8",
    "gnumeric95.xls": "Gnumeric_Excel:excel_biff7",
    "gnumeric.xlsx": "Gnumeric_Excel:xlsx2",
    "gnumeric.ods": "Gnumeric_OpenCalc:odf",
    "gnumeric.html": "Gnumeric_html:html40",
    "gnumeric.slk": "Gnumeric_sylk:sylk",
    "gnumeric.dif": "Gnumeric_dif:dif",
}


def flat_with_view(source, path, active):
    """LibreOffice's .fods at `source` written to `path` with the view
    settings of a window showing table number `active` (from 0), as
    LibreOffice saves them from a window."""
    import re
    with open(source, encoding="utf-8") as f:
        xml = f.read()
    table = re.findall(r'<table:table table:name="([^"]*)"', xml)[active]
    views = ('<config:config-item-map-indexed config:name="Views"><config:config-item-map-entry>'
             '<config:config-item config:name="ViewId" config:type="string">view1</config:config-item>'
             '<config:config-item config:name="ActiveTable" config:type="string">%s</config:config-item>'
             '</config:config-item-map-entry></config:config-item-map-indexed>' % table)
    start = '<config:config-item-set config:name="ooo:view-settings">'
    assert xml.count(start) == 1 and 'config:name="Views"' not in xml
    with open(path, "w", encoding="utf-8") as f:
        f.write(xml.replace(start, start + views))


def gnumeric_source(c):
    """The LibreOffice .ods, else the openpyxl .xlsx (for what LibreOffice
    cannot hold, such as booleans), else a .ods made only for ssconvert."""
    for m in (c.get("gnumeric_from"), "lo.ods", "openpyxl.xlsx"):
        if m in c["makers"]:
            return m
    return "source.ods"


def main():
    only = set(sys.argv[1:])
    # ROSTERS_MAKERS=<maker>,... writes only those makers' files of the cases.
    makers = set(filter(None, os.environ.get("ROSTERS_MAKERS", "").split(",")))
    cases = [(n, dict(c, makers=[m for m in c["makers"] if not makers or m in makers]))
             for n, c in CASES.items() if not only or n in only]
    os.makedirs(OUT, exist_ok=True)
    for name, c in cases:
        for m, make in (("xlwt.xls", make_xlwt), ("openpyxl.xlsx", make_openpyxl)):
            if m in c["makers"]:
                make(name, c, os.path.join(OUT, "%s.%s" % (name, m)))
        for m, make in SCRIPTED.items():
            if m in c["makers"]:
                make(name, c, os.path.join(OUT, "%s.%s" % (name, m)), list(layout(c)))
    scripted = [("%s.%s" % (name, m), c) for name, c in cases for m in c["makers"] if m in SCRIPTED]
    with tempfile.TemporaryDirectory() as tmp:
        jobs = []
        for name, c in cases:
            lo = [m for m in c["makers"] if m in LO_FILTERS]
            if any(m in SSCONVERT for m in c["makers"]) and gnumeric_source(CASES[name]) == "source.ods":
                lo.append("source.ods")
            if "script.fods" in c["makers"]:
                lo.append("source.fods")
            if lo:
                jobs.append((name, c, lo))
        office = Office(os.path.join(tmp, "profile")) if jobs or scripted or not only else None
        try:
            for name, c, makers in jobs:
                doc = build_lo(office, name, c)
                for m in makers:
                    path = os.path.join(tmp if m.startswith("source.") else OUT, "%s.%s" % (name, m))
                    extra = dict(FilterOptions=CSV_OPTIONS) if m.endswith(".csv") else {}
                    office.store(doc, path, LO_FILTERS[m], **extra)
                doc.close(True)
                for m in makers:
                    if m in ("lo.slk", "lo.dif"):
                        lo_text_sheet_read_back(office, "%s.%s" % (name, m), c)
            for name, c, makers in jobs:
                if "source.fods" in makers:
                    flat_with_view(os.path.join(tmp, "%s.source.fods" % name),
                                   os.path.join(OUT, "%s.script.fods" % name), c.get("active", 0))
                    scripted.append(("%s.script.fods" % name, c))
            for fname, c in scripted:
                READ_BACK.get(fname.split(".", 1)[1], lo_read_back)(office, fname, c)
            if not only:
                make_lo_protected(office)
        finally:
            if office:
                office.close()
        for name, c in cases:
            if "lo-content.xml" in c["makers"]:
                # content.xml of the case's .ods on its own, as a file.
                with zipfile.ZipFile(os.path.join(OUT, "%s.lo.ods" % name)) as ods:
                    with open(os.path.join(OUT, "%s.lo-content.xml" % name), "wb") as f:
                        f.write(ods.read("content.xml"))
            # The source as a run of all makers has it, kept from that run
            # when ROSTERS_MAKERS leaves its maker out.
            src = gnumeric_source(CASES[name])
            src = os.path.join(tmp if src == "source.ods" else OUT, "%s.%s" % (name, src))
            for m in c["makers"]:
                if m in SSCONVERT:
                    subprocess.run(["ssconvert", "-T", SSCONVERT[m], src,
                                    os.path.join(OUT, "%s.%s" % (name, m))],
                                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not only or "locked-hashes" in only:
        import office_crypto
        with tempfile.TemporaryDirectory() as tmp:
            office = Office(os.path.join(tmp, "profile"))
            try:
                office_crypto.make_agile_hashes(OUT, office)
            finally:
                office.close()
    if not only or "locked" in only:
        import office_crypto
        with tempfile.TemporaryDirectory() as tmp:
            office = Office(os.path.join(tmp, "profile"))
            try:
                office_crypto.make_locked_rosters(OUT, office, build_lo, CASES["basic"])
            finally:
                office.close()
    if not only or "hand" in only:
        files = {f: data for f, (data, _) in HAND_CSV.items()}
        for fname, data in dict(files, **HAND_BAD).items():
            with open(os.path.join(OUT, fname), "wb") as f:
                f.write(data)
    if not only:
        for ext, keep in (("xls", 4096), ("xlsx", None), ("ods", None)):
            with open(os.path.join(OUT, "basic.lo.%s" % ext), "rb") as f:
                data = f.read()
            with open(os.path.join(OUT, "bad-truncated.lo.%s" % ext), "wb") as f:
                f.write(data[:keep or len(data) * 6 // 10])

    # The expectations, from each case's intended cells.
    entries = [("%s.%s" % (n, m), [intended_text(x) for x in c["column1"]])
               for n, c in CASES.items() for m in c["makers"]]
    entries += [(f, texts) for f, (_, texts) in HAND_CSV.items()]
    lines = ["# file\tseats\terror word (- when none)\tnames (tab-separated; \\t \\r \\n \\\\ escaped)"]
    for fname, intended in sorted(entries):
        if not os.path.exists(os.path.join(OUT, fname)) or fname in BAD:
            continue
        intended = text_rosters.listed(fname, intended)
        for seats in SEATS:
            if intended is None:
                # A quote that is never closed: the names before it, and a
                # message that the file is damaged.
                word, want = "damaged", roster(["Ann Lee"], seats)
            else:
                word, want = "-", roster(intended, seats)
            # Text formats hold numbers as decimal text, and these programs
            # write 15 significant digits: 0.1 + 0.2 is stored as 0.3.
            if not fname.endswith((".xls", ".xlsb")) or "gnumeric" in fname:
                want = ["0.3" if t == "0.30000000000000004" else t for t in want]
            lines.append("\t".join([fname, str(seats), word] + [escape(t) for t in want]))
    for fname, word in sorted(BAD.items()):
        for seats in SEATS:
            lines.append("\t".join([fname, str(seats), word] + ["Empty"] * seats))
    with open(os.path.join(OUT, "expected.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
