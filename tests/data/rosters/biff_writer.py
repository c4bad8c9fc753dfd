"""Excel 2.x, 3.0 and 4.0 files (BIFF2, BIFF3, BIFF4 and the BIFF4 workbook)
for make_rosters.py, which no program on Debian writes.

A worksheet of these versions is a bare stream of records (type, length,
body; little endian), not a compound file. Record layouts as the published
descriptions of the Excel file format give them for these versions:

  BOF      0x0009 / 0x0209 / 0x0409: version, substream type (0x0010 worksheet,
           0x0100 Excel 4.0 workbook globals), build (BIFF3 on)
  INDEX    0x000B / 0x020B; the cells follow row by row, as Excel writes them
  CODEPAGE 0x0042, DATEMODE 0x0022 (1 for the 1904 date system)
  FORMAT   0x001E (BIFF2-3: the code alone) / 0x041E (BIFF4: two unused
           bytes, then the code); formats are numbered in the order written
  FONT     0x0031 / 0x0231, XF 0x0043 / 0x0243 / 0x0443 (the number format:
           the low six bits of byte 2 in BIFF2, byte 1 in BIFF3-4)
  cells    BIFF2: row, column, three attribute bytes (cell format, number
           format, alignment), then BLANK 0x0001, INTEGER 0x0002, NUMBER
           0x0003, LABEL 0x0004 (8-bit length), BOOLERR 0x0005, FORMULA 0x0006,
           STRING 0x0007. BIFF3-4: row, column, cell format index, then BLANK
           0x0201, NUMBER 0x0203, LABEL 0x0204 (16-bit length), BOOLERR 0x0205,
           RK 0x027E, FORMULA 0x0206 / 0x0406, STRING 0x0207
  workbook BIFF4W: the globals list each sheet by name (BOUNDSHEET 0x0085),
           SHEETSOFFSET 0x008E (before them) gives where the first sheet's
           header is; each sheet is a SHEETHDR 0x008F (its length from its BOF,
           its name) followed by a worksheet substream, all before the
           globals' EOF. WINDOW1 (0x003D) has no active tab before BIFF5; the
           sheet that was showing has bits 0x0200 and 0x0400 set in the options
           of its WINDOW2 (0x023E).

Each file is read back with LibreOffice, which must show the column 1 the
case intends (check_with_libreoffice), rows 1-60. Where LibreOffice shows the
same values otherwise, that is allowed for: booleans without a boolean format
as 1 and 0; an Excel 4.0 workbook's dates as their serial numbers; the dates
of an Excel 2.x file read in the 1900 date system although it says 1904
(Gnumeric and xlrd show all of these as dates, 1904 kept). LibreOffice opens
an Excel 4.0 workbook at its first sheet whatever was showing, so Gnumeric's
ssconvert, which takes the sheet whose WINDOW2 says it was showing, checks the
active sheet of a workbook of several.
"""

import datetime
import os
import re
import struct
import subprocess
import tempfile
import zipfile

MAKERS = ["script.biff2.xls", "script.biff3.xls", "script.biff4.xls", "script.biff4w.xls"]

BOF = {2: 0x0009, 3: 0x0209, 4: 0x0409}
SHEET, WORKBOOK = 0x0010, 0x0100
MACRO_SHEET = 0x0040  # an Excel 4.0 macro sheet: cells like a worksheet's
# Case name: the CODEPAGE record's number and the encoding of the text. Other
# cases get 0x8001, Windows-1252 as Excel 2.x-4.0 wrote it; Excel for the
# Macintosh wrote 0x8000 for Mac Roman.
CODE_PAGES = {"cp1252": (1252, "cp1252"), "cp1251": (1251, "cp1251"), "cp1250": (1250, "cp1250"),
              "cp932": (932, "cp932"), "mac-roman": (0x8000, "mac_roman"),
              # Numbers writers put for Windows-1252: none, US-ASCII, UTF-16.
              "codepage-0": (0, "cp1252"), "codepage-367": (367, "cp1252"), "codepage-1200": (1200, "cp1252")}


def record(rtype, body=b""):
    return struct.pack("<HH", rtype, len(body)) + body


def byte_string(text, encoding):
    data = text.encode(encoding)
    assert len(data) < 256, text
    return bytes([len(data)]) + data


def serial(value, date1904):
    if isinstance(value, datetime.time):
        return (value.hour * 3600 + value.minute * 60 + value.second) / 86400.0
    delta = value - (datetime.datetime(1904, 1, 1) if date1904 else datetime.datetime(1899, 12, 30))
    return delta.days + delta.seconds / 86400.0


def rk(value):
    """The RK form of a number, or None when it has none."""
    for scale, flag in ((1, 0x02), (100, 0x03)):
        v = value * scale
        if v == int(v) and -(1 << 29) <= v < (1 << 29) and (scale == 1 or round(v) / 100 == value):
            return (int(v) << 2 | flag) & 0xFFFFFFFF
    return None


class Sheet:
    """The records of one worksheet substream, from BOF to EOF."""

    def __init__(self, biff, encoding, code_page, date1904, formats):
        self.biff, self.encoding, self.formats = biff, encoding, formats
        self.cells = []
        self.rows = 0
        self.shown = False  # the sheet of a workbook that was showing (WINDOW2)
        self.kind = SHEET  # or MACRO_SHEET
        self.head = [record(0x0042, struct.pack("<H", code_page)), record(0x0022, struct.pack("<H", date1904))]
        self.head += self.format_records()

    def format_records(self):
        b = self.biff
        out = [record(0x001E if b < 4 else 0x041E, (b"" if b < 4 else b"\0\0") + byte_string(code, "ascii"))
               for code in self.formats]
        if b == 2:
            out.append(record(0x0031, struct.pack("<HH", 200, 0) + byte_string("Arial", "ascii")))
            # One cell format a number format: font 0, the number format in byte 2.
            out += [record(0x0043, bytes([0, 0, f & 0x3F, 0])) for f in range(len(self.formats))]
        else:
            out.append(record(0x0231, struct.pack("<HHH", 200, 0, 0x7FFF) + byte_string("Arial", "ascii")))
            # Format 0 is the style every cell format follows; cell format 1 + f
            # has number format f, its own (all attribute groups used).
            style = struct.pack("<BBHBBHI", 0, 0, 0xFFF4, 0, 0, 0, 0) if b == 4 else \
                struct.pack("<BBBBHHI", 0, 0, 0x04, 0, 0xFFF0, 0, 0)
            out.append(record(0x0443 if b == 4 else 0x0243, style))
            for f in range(len(self.formats)):
                body = struct.pack("<BBHBBHI", 0, f, 0x0001, 0, 0xFC, 0, 0) if b == 4 else \
                    struct.pack("<BBBBHHI", 0, f, 0x01, 0xFC, 0x0000, 0, 0)
                out.append(record(0x0443 if b == 4 else 0x0243, body))
        return out

    def place(self, row, col, fmt):
        if self.biff == 2:
            return struct.pack("<HHBBB", row, col, fmt, fmt, 0)
        return struct.pack("<HHH", row, col, 1 + fmt)

    def cell(self, row, col, kind, value, fmt=0):
        self.rows = max(self.rows, row + 1)
        b, p = self.biff, self.place(row, col, fmt)
        if kind == 's':
            data = value.encode(self.encoding)
            body = p + (bytes([len(data)]) if b == 2 else struct.pack("<H", len(data))) + data
            self.cells.append(record(0x0004 if b == 2 else 0x0204, body))
        elif kind == 'n':
            small = rk(value)
            if b == 2 and value == int(value) and 0 <= value < 65536:
                self.cells.append(record(0x0002, p + struct.pack("<H", int(value))))
            elif b > 2 and small is not None:
                self.cells.append(record(0x027E, p + struct.pack("<I", small)))
            else:
                self.cells.append(record(0x0003 if b == 2 else 0x0203, p + struct.pack("<d", value)))
        elif kind == 'b':
            self.cells.append(record(0x0005 if b == 2 else 0x0205, p + bytes([int(value), 0])))
        elif kind == 'blank':
            self.cells.append(record(0x0001 if b == 2 else 0x0201, p))
        else:
            raise ValueError(kind)

    def formula(self, row, col, tokens, result):
        """`result`: a float, a bool, ('error', code), or text ('' for empty text)."""
        self.rows = max(self.rows, row + 1)
        if isinstance(result, bool):
            cached = bytes([1, 0, int(result), 0, 0, 0, 0xFF, 0xFF])
        elif isinstance(result, tuple):
            cached = bytes([2, 0, result[1], 0, 0, 0, 0xFF, 0xFF])
        elif isinstance(result, str):
            cached = bytes([0, 0, 0, 0, 0, 0, 0xFF, 0xFF])
        else:
            cached = struct.pack("<d", result)
        p = self.place(row, col, 0)
        if self.biff == 2:
            body = p + cached + bytes([0, len(tokens)]) + tokens
        else:
            body = p + cached + struct.pack("<HH", 0, len(tokens)) + tokens
        self.cells.append(record({2: 0x0006, 3: 0x0206, 4: 0x0406}[self.biff], body))
        if isinstance(result, str):
            data = result.encode(self.encoding)
            length = bytes([len(data)]) if self.biff == 2 else struct.pack("<H", len(data))
            self.cells.append(record(0x0007 if self.biff == 2 else 0x0207, length + data))

    def stream(self):
        b = self.biff
        bof = struct.pack("<HH", b, self.kind) if b == 2 else struct.pack("<HHH", b << 8, self.kind, 0)
        rows = min(self.rows, 0xFFFF)  # 16-bit: a full sheet's 65,536 rows say 65,535
        index = struct.pack("<IHH", 0, 0, rows) + (b"" if b == 2 else b"\0\0\0\0")
        dims = struct.pack("<HHHH", 0, rows, 0, 1) + (b"" if b == 2 else b"\0\0")
        if b == 2:  # formulas, grid, headers, frozen, zeros; top row, left column; default colour
            window2 = bytes([0, 1, 1, 0, 1]) + struct.pack("<HHBI", 0, 0, 1, 0)
        else:
            window2 = struct.pack("<HHHI", 0x00B6 | (0x0600 if self.shown else 0), 0, 0, 0)
        return b"".join([record(BOF[b], bof), record(0x000B if b == 2 else 0x020B, index)] + self.head
                        + [record(0x0000 if b == 2 else 0x0200, dims)] + self.cells
                        + [record(0x003E if b == 2 else 0x023E, window2), record(0x000A)])


def tokens(formula, biff, encoding):
    """The token arrays of the few formulas the cases hold."""
    def tstr(t):
        return b"\x17" + byte_string(t, encoding)

    def tint(n):
        return b"\x1E" + struct.pack("<H", n)

    def tnum(x):
        return b"\x1F" + struct.pack("<d", x)

    table = {
        '="Ann"&" Lee"': tstr("Ann") + tstr(" Lee") + b"\x08",
        "=10+7": tint(10) + tint(7) + b"\x03",
        "=0.1+0.2": tnum(0.1) + tnum(0.2) + b"\x03",
        "=1=1": tint(1) + tint(1) + b"\x0B",
        "=NA()": b"\x41" + (struct.pack("<H", 10) if biff == 4 else b"\x0A"),  # function 10, value class
        '=""': tstr(""),
    }
    return table[formula]


def formula_result(text):
    if text is None:
        return ""
    if text in ("TRUE", "FALSE"):
        return text == "TRUE"
    if text == "#N/A":
        return ('error', 0x2A)
    try:
        return float(text)
    except ValueError:
        return text


def write(name, c, path, cells):
    """Writes case `c` to `path` in the version the maker's name gives.
    `cells` lists (sheet, row, column, cell) as make_rosters lays them out."""
    maker = path.rsplit(".", 2)[-2]  # biff2, biff3, biff4 or biff4w
    biff = int(maker[4])
    code_page, encoding = CODE_PAGES.get(name, (0x8001, "cp1252"))
    date1904 = int(bool(c.get("date1904")))
    formats = ["General"] + sorted({cell[2] for _, _, _, cell in cells
                                     if not isinstance(cell, str) and cell[0] == 'd'})
    sheets = [Sheet(biff, encoding, code_page, date1904, formats) for _ in range(c.get("sheets", 1))]
    assert maker == "biff4w" or len(sheets) == 1, name
    for s, r, col, cell in cells:
        sheet = sheets[s]
        if isinstance(cell, str):
            sheet.cell(r, col, 's', cell)
        elif cell[0] == 'd':
            sheet.cell(r, col, 'n', serial(cell[1], date1904), formats.index(cell[2]))
        elif cell[0] == 'f':
            sheet.formula(r, col, tokens(cell[1], biff, encoding), formula_result(cell[2]))
        elif cell[0] == 'blank':
            sheet.cell(r, col, 'blank', None)
        else:
            sheet.cell(r, col, cell[0], cell[1])
    if c.get("macro_sheet"):
        sheets[c.get("active", 0)].kind = MACRO_SHEET
    if maker != "biff4w":
        data = sheets[0].stream()
    else:
        data = workbook4(sheets, c.get("active", 0), encoding, code_page, date1904)
    with open(path, "wb") as f:
        f.write(data)


def workbook4(sheets, active, encoding, code_page, date1904):
    names = ["Period %d" % (s + 1) for s in range(len(sheets))]
    sheets[active].shown = True
    window1 = struct.pack("<HHHHB", 0, 0, 0x3FCF, 0x2A4E, 0)  # place, size, not hidden
    # The formats stand in the globals too, where LibreOffice reads them.
    head = [record(BOF[4], struct.pack("<HHH", 0x0400, WORKBOOK, 0))] + sheets[0].head + [record(0x003D, window1)]
    listed = [record(0x0085, byte_string(n, encoding)) for n in names]
    size = sum(map(len, head + listed)) + len(record(0x008E, b"\0" * 4))
    out = b"".join(head + [record(0x008E, struct.pack("<I", size))] + listed)
    # The sheets stand inside the globals, before their EOF.
    for n, sheet in zip(names, sheets):
        body = sheet.stream()
        out += record(0x008F, struct.pack("<I", len(body)) + byte_string(n, encoding)) + body
    return out + record(0x000A)


def check_with_libreoffice(office, path, c, intended_text, rows):
    """Fails unless LibreOffice, opening `path`, shows on its active sheet the
    column 1 that case `c` intends, for `rows` rows, in the text form Plivan
    lists it in."""
    if c.get("macro_sheet"):
        # Neither LibreOffice nor Gnumeric shows the cells of an Excel 4.0
        # macro sheet (Excel does): the same file with the sheet marked as a
        # worksheet in its BOF must show them.
        with open(path, "rb") as f:
            data = f.read()
        macro = record(BOF[4], struct.pack("<HHH", 0x0400, MACRO_SHEET, 0))
        assert data.count(macro) == 1, path
        with tempfile.TemporaryDirectory() as tmp:
            copy = os.path.join(tmp, os.path.basename(path))
            with open(copy, "wb") as f:
                f.write(data.replace(macro, record(BOF[4], struct.pack("<HHH", 0x0400, SHEET, 0))))
            return check_with_libreoffice(office, copy, dict(c, macro_sheet=False), intended_text, rows)
    doc = office.load("file://" + path)
    try:
        sheet = doc.Sheets.getByIndex(c.get("active", 0))
        shown = [libreoffice_text(doc, sheet.getCellByPosition(0, r)) for r in range(rows)]
    finally:
        doc.close(True)
    if c.get("sheets", 1) > 1 and gnumeric_active_tab(path) != c["active"]:
        raise AssertionError("%s: Gnumeric shows another sheet" % path)
    # A boolean (a value or a formula's result) without a boolean number
    # format LibreOffice may show as 1 or 0.
    want = [intended_text(x) for x in c["column1"][:rows]]
    want = [{"TRUE": "1", "FALSE": "0"}.get(w, w) if shown[r] in ("1", "0") else w for r, w in enumerate(want)]
    # LibreOffice shows the dates of an Excel 4.0 workbook's sheets as their
    # serial numbers (Gnumeric shows them as dates): the same values.
    if path.endswith(".biff4w.xls"):
        for r, x in enumerate(c["column1"][:rows]):
            if isinstance(x, tuple) and x[0] == 'd' and shown[r] == number_text(serial(x[1], c.get("date1904"))):
                want[r] = shown[r]
    # LibreOffice reads the serial numbers of an Excel 2.x file in the 1900
    # date system even where it records 1904 (Gnumeric keeps 1904).
    if path.endswith(".biff2.xls") and c.get("date1904"):
        for r, x in enumerate(c["column1"][:rows]):
            if isinstance(x, tuple) and x[0] == 'd' and shown[r]:
                moved = datetime.datetime.fromisoformat(shown[r]) + datetime.timedelta(days=1462)
                want[r] = shown[r] if intended_text(x) == moved.isoformat(" ").removesuffix(" 00:00:00") else want[r]
    want += [None] * (rows - len(want))
    if shown != want:
        raise AssertionError("%s: LibreOffice lists %r, not %r" % (path, shown, want))


def gnumeric_active_tab(path):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "book.xlsx")
        subprocess.run(["ssconvert", path, out], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with zipfile.ZipFile(out) as z:
            view = re.search(rb'activeTab="(\d+)"', z.read("xl/workbook.xml"))
    return int(view.group(1)) if view else 0


def libreoffice_text(doc, cell):
    from com.sun.star.table.CellContentType import EMPTY, TEXT, FORMULA
    from com.sun.star.util.NumberFormat import DATE, TIME, LOGICAL
    if cell.Type == EMPTY:
        return None
    if cell.Type == TEXT or (cell.Type == FORMULA and (cell.getError() or cell.FormulaResultType2 != 1)):
        return cell.String or None
    kind = doc.NumberFormats.getByKey(cell.NumberFormat).Type
    if kind & LOGICAL:
        return "TRUE" if cell.Value else "FALSE"
    if kind & (DATE | TIME):
        null = doc.NullDate
        when = datetime.datetime(null.Year, null.Month, null.Day) + \
            datetime.timedelta(seconds=round(cell.Value * 86400))
        if cell.Value < 1:
            return when.strftime("%H:%M:%S")
        return when.strftime("%Y-%m-%d" if when.time() == datetime.time(0) else "%Y-%m-%d %H:%M:%S")
    return number_text(cell.Value)


def number_text(v):
    return "%d" % v if float(v).is_integer() else repr(v)
