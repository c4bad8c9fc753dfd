"""Writes Excel binary workbooks (.xlsb) for the roster fixtures.

No program on Debian writes this format, so the parts are built here from
the published description of the binary workbook: a ZIP package whose
workbook, sheets, shared strings and styles are streams of records, each a
record type (one or two bytes of seven bits) and a size (one to four bytes
of seven bits) followed by that many bytes. The records are the ones a
spreadsheet program writes for such a workbook, so that LibreOffice opens
the files too; make_rosters.py reads every file back with LibreOffice.

make(name, case, path, cells) writes one roster case; the record helpers
(record, wide, cell_head, package, ...) build hand-made files for the
readers' own tests (tests/data/zip/make_zip_fixtures.py).
"""

import datetime
import struct
import zipfile

STAMP = (2024, 9, 2, 8, 0, 0)

# Record types.
ROW_HDR, CELL_BLANK, CELL_RK, CELL_ERROR, CELL_BOOL, CELL_REAL, CELL_ST, CELL_ISST = 0, 1, 2, 3, 4, 5, 6, 7
FMLA_STRING, FMLA_NUM, FMLA_BOOL, FMLA_ERROR = 8, 9, 10, 11
SST_ITEM, FONT, FMT, FILL, BORDER, XF, STYLE, CELL_RSTRING = 19, 43, 44, 45, 46, 47, 48, 62
FILE_VERSION, BEGIN_SHEET, END_SHEET, BEGIN_BOOK, END_BOOK = 128, 129, 130, 131, 132
BEGIN_WS_VIEWS, END_WS_VIEWS, BEGIN_BOOK_VIEWS, END_BOOK_VIEWS = 133, 134, 135, 136
BEGIN_WS_VIEW, END_WS_VIEW, BEGIN_CS_VIEWS, END_CS_VIEWS, BEGIN_CS_VIEW, END_CS_VIEW = 137, 138, 139, 140, 141, 142
BEGIN_BUNDLE_SHS, END_BUNDLE_SHS, BEGIN_SHEET_DATA, END_SHEET_DATA = 143, 144, 145, 146
WS_PROP, WS_DIM, WB_PROP, BUNDLE_SH, BOOK_VIEW, BEGIN_SST, END_SST = 147, 148, 153, 156, 158, 159, 160
BEGIN_STYLE_SHEET, END_STYLE_SHEET, MARGINS, WS_FMT_INFO = 278, 279, 476, 485
BEGIN_DXFS, END_DXFS, BEGIN_TABLE_STYLES, END_TABLE_STYLES = 505, 506, 508, 509
DRAWING, BEGIN_FILLS, END_FILLS, BEGIN_FONTS, END_FONTS, BEGIN_BORDERS, END_BORDERS = 550, 603, 604, 611, 612, 613, 614
BEGIN_FMTS, END_FMTS, BEGIN_CELL_XFS, END_CELL_XFS, BEGIN_STYLES, END_STYLES = 615, 616, 617, 618, 619, 620
BEGIN_CELL_STYLE_XFS, END_CELL_STYLE_XFS, CS_PROP = 626, 627, 651

ERRORS = {"#NULL!": 0x00, "#DIV/0!": 0x07, "#VALUE!": 0x0F, "#REF!": 0x17, "#NAME?": 0x1D, "#NUM!": 0x24,
          "#N/A": 0x2A}

REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
MS_REL = "http://schemas.microsoft.com/office/2006/relationships"  # Excel 4.0 macro sheets
FOLDERS = {"worksheet": "worksheets", "chartsheet": "chartsheets", "macrosheet": "macrosheets"}
CT_MAIN = "application/vnd.ms-excel.sheet.binary.macroEnabled.main"
CT_KINDS = {"worksheet": "application/vnd.ms-excel.worksheet",
            "macrosheet": "application/vnd.ms-excel.macrosheet",
            "chartsheet": "application/vnd.ms-excel.chartsheet",
            "sharedStrings": "application/vnd.ms-excel.sharedStrings",
            "styles": "application/vnd.ms-excel.styles"}


def varint(value, most):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            break
    if len(out) > most:
        raise ValueError("value too large for a record header")
    return bytes(out)


def record(rtype, data=b""):
    return varint(rtype, 2) + varint(len(data), 4) + data


def wide(text):
    """A string: its length in UTF-16 code units, then the code units."""
    units = text.encode("utf-16-le")
    return struct.pack("<I", len(units) // 2) + units


def nullable(text):
    return struct.pack("<I", 0xFFFFFFFF) if text is None else wide(text)


def color(kind=0, index=0, rgb=(0, 0, 0)):
    """kind 0 automatic, 1 indexed, 2 RGB, 3 theme."""
    return struct.pack("<BBhBBBB", (kind << 1) | (1 if kind == 2 else 0), index, 0, rgb[0], rgb[1], rgb[2], 0xFF)


def cell_head(col, style=0):
    return struct.pack("<II", col, style & 0xFFFFFF)


def rich(text, runs=()):
    """A rich string: flags, the text, and its runs (first character, font)."""
    if not runs:
        return b"\x00" + wide(text)
    return (b"\x01" + wide(text) + struct.pack("<I", len(runs))
            + b"".join(struct.pack("<HH", ich, font) for ich, font in runs))


def rk(value):
    """The four-byte form of a number, or None when it has none: a 30-bit
    integer, possibly times 100, or the top 30 bits of a double."""
    for times100, v in ((0, value), (1, value * 100)):
        if float(v).is_integer() and -(1 << 29) <= v < (1 << 29) and (not times100 or int(v) / 100 == value):
            return ((int(v) << 2) | 2 | times100) & 0xFFFFFFFF
    bits = struct.unpack("<Q", struct.pack("<d", value))[0]
    if bits & 0x3FFFFFFFF == 0:
        return (bits >> 32) & 0xFFFFFFFC
    return None


def number_cell(col, style, value):
    packed = rk(value)
    if packed is not None:
        return record(CELL_RK, cell_head(col, style) + struct.pack("<I", packed))
    return record(CELL_REAL, cell_head(col, style) + struct.pack("<d", value))


# A formula in the few forms the cases use: a string, whole or decimal
# number, or NA(), alone or joined by one of &, + and =.
PTG_STR, PTG_INT, PTG_NUM, PTG_FUNC = 0x17, 0x1E, 0x1F, 0x41
PTG_OPS = {"&": 0x08, "+": 0x03, "=": 0x0B}


def formula_operand(text):
    if text.startswith('"') and text.endswith('"'):
        units = text[1:-1].encode("utf-16-le")
        return struct.pack("<BH", PTG_STR, len(units) // 2) + units
    if text == "NA()":
        return struct.pack("<BH", PTG_FUNC, 10)
    value = float(text)
    if value.is_integer() and 0 <= value < 65536:
        return struct.pack("<BH", PTG_INT, int(value))
    return struct.pack("<Bd", PTG_NUM, value)


def parsed_formula(formula):
    body = formula[1:]
    for op, ptg in PTG_OPS.items():
        quoted = False
        for i, ch in enumerate(body):
            quoted = quoted != (ch == '"')
            if not quoted and ch == op and i > 0:
                rgce = formula_operand(body[:i]) + formula_operand(body[i + 1:]) + bytes([ptg])
                return struct.pack("<I", len(rgce)) + rgce + struct.pack("<I", 0)
    rgce = formula_operand(body)
    return struct.pack("<I", len(rgce)) + rgce + struct.pack("<I", 0)


def formula_cell(col, style, formula, result):
    head, tail = cell_head(col, style), struct.pack("<H", 0) + parsed_formula(formula)
    if result is None:
        return record(FMLA_STRING, head + wide("") + tail)
    if result in ("TRUE", "FALSE"):
        return record(FMLA_BOOL, head + bytes([result == "TRUE"]) + tail)
    if result in ERRORS:
        return record(FMLA_ERROR, head + bytes([ERRORS[result]]) + tail)
    try:
        return record(FMLA_NUM, head + struct.pack("<d", float(result)) + tail)
    except ValueError:
        return record(FMLA_STRING, head + wide(result) + tail)


# --------------------------------------------------------------------------
# Parts.
# --------------------------------------------------------------------------


def row_header(row, first_col, last_col):
    return record(ROW_HDR, struct.pack("<IIHBBBI", row, 0, 300, 0, 0, 0, 1) + struct.pack("<II", first_col, last_col))


def worksheet(rows, selected, dimension=None):
    """rows: {row: [cell records in column order]}, with (first, last column)
    from `dimension` (first row, last row, first column, last column)."""
    dim = dimension or (0, 0, 0, 0)
    out = [record(BEGIN_SHEET),
           record(WS_PROP, bytes([0xC1, 0x04, 0x02]) + color() + struct.pack("<ii", -1, -1) + wide("")),
           record(WS_DIM, struct.pack("<IIII", *dim)),
           record(BEGIN_WS_VIEWS),
           record(BEGIN_WS_VIEW, struct.pack("<HIIIBBHHHHHI", 0x31C | (0x40 if selected else 0), 0, 0, 0,
                                             64, 0, 0, 100, 0, 0, 0, 0)),
           record(END_WS_VIEW), record(END_WS_VIEWS),
           record(WS_FMT_INFO, struct.pack("<IHHHBB", 0xFFFFFFFF, 8, 300, 0, 0, 0)),
           record(BEGIN_SHEET_DATA)]
    for row in sorted(rows):
        cols = rows[row]
        out.append(row_header(row, cols[0][0], cols[-1][0]))
        out.extend(data for _, data in cols)
    out += [record(END_SHEET_DATA),
            record(MARGINS, struct.pack("<6d", 0.7, 0.7, 0.75, 0.75, 0.3, 0.3)),
            record(END_SHEET)]
    return b"".join(out)


def chartsheet(selected):
    return b"".join([record(BEGIN_SHEET),
                     record(CS_PROP, struct.pack("<H", 0) + color() + wide("")),
                     record(BEGIN_CS_VIEWS),
                     record(BEGIN_CS_VIEW, struct.pack("<HII", 1 if selected else 0, 100, 0)),
                     record(END_CS_VIEW), record(END_CS_VIEWS),
                     record(MARGINS, struct.pack("<6d", 0.7, 0.7, 0.75, 0.75, 0.3, 0.3)),
                     record(DRAWING, wide("rId1")),
                     record(END_SHEET)])


def workbook(sheets, active, date1904=False):
    """sheets: [(name, relationship id)]."""
    out = [record(BEGIN_BOOK),
           record(FILE_VERSION, bytes(16) + wide("xl") + wide("7") + wide("7") + wide("27328")),
           record(WB_PROP, struct.pack("<II", 1 if date1904 else 0, 0) + wide("")),
           record(BEGIN_BOOK_VIEWS),
           record(BOOK_VIEW, struct.pack("<iiIIIIIB", 120, 30, 23760, 14640, 600, 0, active, 0x78)),
           record(END_BOOK_VIEWS),
           record(BEGIN_BUNDLE_SHS)]
    for i, (name, rid) in enumerate(sheets):
        out.append(record(BUNDLE_SH, struct.pack("<II", 0, i + 1) + nullable(rid) + wide(name)))
    out += [record(END_BUNDLE_SHS),
            record(END_BOOK)]
    return b"".join(out)


def shared_strings(items, total):
    """items: rich string payloads, in index order."""
    return b"".join([record(BEGIN_SST, struct.pack("<II", total, len(items)))]
                    + [record(SST_ITEM, item) for item in items] + [record(END_SST)])


def font(bold=False):
    return record(FONT, struct.pack("<HHHHBBBB", 220, 0, 700 if bold else 400, 0, 0, 2, 0, 0)
                  + color(3, 1) + b"\x02" + wide("Calibri"))


def fill(pattern, fore=None):
    fore_color = color(2, 0, fore) if fore else color(1, 64)
    return record(FILL, struct.pack("<I", pattern) + fore_color + color(1, 65)
                  + struct.pack("<I5dI", 0, 0, 0, 0, 0, 0, 0))


def xf(parent, fmt=0, font_index=0, fill_index=0):
    return record(XF, struct.pack("<HHHHHBBHBB", parent, fmt, font_index, fill_index, 0, 0, 0,
                                  0x1000 | 0x10, 0, 0))


def styles(formats, cell_xfs):
    """formats: [(id, code)]; cell_xfs: [(format id, fill index)], the
    default first."""
    border = record(BORDER, b"\x00" + (b"\x00\x00" + color()) * 5)
    out = [record(BEGIN_STYLE_SHEET)]
    if formats:
        out += ([record(BEGIN_FMTS, struct.pack("<I", len(formats)))]
                + [record(FMT, struct.pack("<H", i) + wide(code)) for i, code in formats]
                + [record(END_FMTS)])
    out += [record(BEGIN_FONTS, struct.pack("<I", 2)), font(), font(bold=True), record(END_FONTS),
            record(BEGIN_FILLS, struct.pack("<I", 3)), fill(0), fill(17), fill(1, (0xFF, 0xFF, 0x00)),
            record(END_FILLS),
            record(BEGIN_BORDERS, struct.pack("<I", 1)), border, record(END_BORDERS),
            record(BEGIN_CELL_STYLE_XFS, struct.pack("<I", 1)), xf(0xFFFF), record(END_CELL_STYLE_XFS),
            record(BEGIN_CELL_XFS, struct.pack("<I", len(cell_xfs)))]
    out += [xf(0, fmt, 0, fill_index) for fmt, fill_index in cell_xfs]
    out += [record(END_CELL_XFS),
            record(BEGIN_STYLES, struct.pack("<I", 1)),
            record(STYLE, struct.pack("<IHBB", 0, 1, 0, 0xFF) + wide("Normal")),
            record(END_STYLES),
            record(BEGIN_DXFS, struct.pack("<I", 0)), record(END_DXFS),
            record(BEGIN_TABLE_STYLES, struct.pack("<I", 0) + wide("TableStyleMedium2") + wide("PivotStyleLight16")),
            record(END_TABLE_STYLES),
            record(END_STYLE_SHEET)]
    return b"".join(out)


def relationships(items):
    body = "".join('<Relationship Id="%s" Type="%s/%s" Target="%s"/>' % i for i in items)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Relationships xmlns="%s">%s</Relationships>' % (PKG, body))


def content_types(overrides):
    items = "".join('<Override PartName="/%s" ContentType="%s"/>' % o for o in overrides)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="bin" ContentType="%s"/>'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>%s</Types>' % (CT_MAIN, items))


def package(path, parts):
    """Writes the parts, [(name, bytes or text)], as a ZIP package."""
    with zipfile.ZipFile(path, "w") as z:
        for name, data in parts:
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data.encode("utf-8") if isinstance(data, str) else data)


def book(path, sheets, active=0, strings=(), string_total=None, style_part=None, date1904=False, extra=()):
    """A whole package. sheets: [(name, kind, part bytes)] with kind
    "worksheet", "chartsheet" or "macrosheet" (an Excel 4.0 macro sheet, whose
    records are a worksheet's); extra: further [(name, data)] parts."""
    parts, rels, types = [], [], [("xl/workbook.bin", CT_MAIN)]
    counts = {}
    for i, (name, kind, data) in enumerate(sheets):
        counts[kind] = counts.get(kind, 0) + 1
        target = "%s/sheet%d.bin" % (FOLDERS[kind], counts[kind])
        if kind == "macrosheet":
            rels.append(("rId%d" % (i + 1), MS_REL, "xlMacrosheet", target))
        else:
            rels.append(("rId%d" % (i + 1), REL, kind, target))
        types.append(("xl/" + target, CT_KINDS[kind]))
        parts.append(("xl/" + target, data))
    if strings is not None:
        rels.append(("rId%d" % (len(rels) + 1), REL, "sharedStrings", "sharedStrings.bin"))
        types.append(("xl/sharedStrings.bin", CT_KINDS["sharedStrings"]))
        parts.append(("xl/sharedStrings.bin",
                      shared_strings(list(strings), len(strings) if string_total is None else string_total)))
    rels.append(("rId%d" % (len(rels) + 1), REL, "styles", "styles.bin"))
    types.append(("xl/styles.bin", CT_KINDS["styles"]))
    parts.append(("xl/styles.bin", style_part or styles([], [(0, 0)])))
    for name, _ in extra:
        if name.endswith("drawing1.xml"):
            types.append((name, "application/vnd.openxmlformats-officedocument.drawing+xml"))
        elif name.endswith("chart1.xml"):
            types.append((name, "application/vnd.openxmlformats-officedocument.drawingml.chart+xml"))
    listed = [(name, "rId%d" % (i + 1)) for i, (name, _, _) in enumerate(sheets)]
    package(path, [("[Content_Types].xml", content_types(types)),
                   ("_rels/.rels", relationships([("rId1", REL, "officeDocument", "xl/workbook.bin")])),
                   ("xl/workbook.bin", workbook(listed, active, date1904)),
                   ("xl/_rels/workbook.bin.rels", relationships(rels))] + parts + list(extra))


# --------------------------------------------------------------------------
# A chart sheet's drawing and chart, both XML in this format too.
# --------------------------------------------------------------------------

DRAWING_XML = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<xdr:wsDr xmlns:xdr="http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing" '
    'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">'
    '<xdr:absoluteAnchor><xdr:pos x="0" y="0"/><xdr:ext cx="8666922" cy="6292707"/>'
    '<xdr:graphicFrame macro=""><xdr:nvGraphicFramePr><xdr:cNvPr id="2" name="Chart 1"/>'
    '<xdr:cNvGraphicFramePr><a:graphicFrameLocks noGrp="1"/></xdr:cNvGraphicFramePr></xdr:nvGraphicFramePr>'
    '<xdr:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/></xdr:xfrm><a:graphic>'
    '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart">'
    '<c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" '
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" r:id="rId1"/>'
    '</a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/></xdr:absoluteAnchor></xdr:wsDr>')


def chart_xml(sheet_name, values):
    points = "".join('<c:pt idx="%d"><c:v>%s</c:v></c:pt>' % (i, v) for i, v in enumerate(values))
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" '
            'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">'
            '<c:chart><c:plotArea><c:layout/><c:barChart><c:barDir val="col"/><c:grouping val="clustered"/>'
            '<c:varyColors val="0"/><c:ser><c:idx val="0"/><c:order val="0"/><c:val><c:numRef>'
            "<c:f>'%s'!$B$1:$B$%d</c:f><c:numCache><c:formatCode>General</c:formatCode>"
            '<c:ptCount val="%d"/>%s</c:numCache></c:numRef></c:val></c:ser>'
            '<c:axId val="10"/><c:axId val="100"/></c:barChart>'
            '<c:catAx><c:axId val="10"/><c:scaling><c:orientation val="minMax"/></c:scaling>'
            '<c:delete val="0"/><c:axPos val="b"/><c:crossAx val="100"/></c:catAx>'
            '<c:valAx><c:axId val="100"/><c:scaling><c:orientation val="minMax"/></c:scaling>'
            '<c:delete val="0"/><c:axPos val="l"/><c:crossAx val="10"/></c:valAx></c:plotArea>'
            '<c:plotVisOnly val="1"/></c:chart></c:chartSpace>'
            % (sheet_name, len(values), len(values), points))


# --------------------------------------------------------------------------
# A roster case.
# --------------------------------------------------------------------------


def serial(value, date1904):
    if isinstance(value, datetime.time):
        return (value.hour * 3600 + value.minute * 60 + value.second) / 86400.0
    delta = value - (datetime.datetime(1904, 1, 1) if date1904 else datetime.datetime(1899, 12, 30))
    return delta.days + delta.seconds / 86400.0


def make(name, c, path, cells):
    """Writes case `c` to `path`; cells are make_rosters.layout(c)."""
    date1904 = bool(c.get("date1904"))
    strings, string_index, string_uses = [], {}, [0]
    formats, cell_xfs = [], [(0, 0)]

    def shared(text, runs=()):
        string_uses[0] += 1
        key = (text, tuple(runs))
        if key not in string_index:
            string_index[key] = len(strings)
            strings.append(rich(text, runs))
        return string_index[key]

    def style(fmt_code=None, fill_index=0):
        fmt = 0
        if fmt_code:
            codes = dict((code, i) for i, code in formats)
            if fmt_code not in codes:
                codes[fmt_code] = 164 + len(formats)
                formats.append((codes[fmt_code], fmt_code))
            fmt = codes[fmt_code]
        if (fmt, fill_index) not in cell_xfs:
            cell_xfs.append((fmt, fill_index))
        return cell_xfs.index((fmt, fill_index))

    sheet_count = c.get("sheets", 1)
    rows = [dict() for _ in range(sheet_count)]
    for s, r, col, cell in cells:
        kind = "s" if isinstance(cell, str) else cell[0]
        if kind == "s":
            data = record(CELL_ISST, cell_head(col) + struct.pack("<I", shared(cell)))
        elif kind == "n":
            data = number_cell(col, 0, cell[1])
        elif kind == "b":
            data = record(CELL_BOOL, cell_head(col) + bytes([bool(cell[1])]))
        elif kind == "d":
            data = number_cell(col, style(cell[2].lower()), serial(cell[1], date1904))
        elif kind == "f":
            data = formula_cell(col, 0, cell[1], cell[2])
        elif kind == "blank":
            data = record(CELL_BLANK, cell_head(col, style(fill_index=2)))
        elif kind == "rich":
            runs, at = [], 0
            for text, bold in cell[1]:
                runs.append((at, 1 if bold else 0))
                at += len(text.encode("utf-16-le")) // 2
            data = record(CELL_ISST, cell_head(col) + struct.pack("<I", shared("".join(t for t, _ in cell[1]), runs)))
        else:
            raise ValueError(cell)
        rows[s].setdefault(r, []).append((col, data))

    active = c.get("active", 0)
    sheets = []
    for s in range(sheet_count):
        for cols in rows[s].values():
            cols.sort(key=lambda x: x[0])
        used = [(r, col) for r, cols in rows[s].items() for col, _ in cols]
        dim = ((min(r for r, _ in used), max(r for r, _ in used), min(col for _, col in used),
                max(col for _, col in used)) if used else None)
        selected = s == active and not c.get("chart_sheet")
        kind = "macrosheet" if c.get("macro_sheet") and s == active else "worksheet"
        sheets.append(("Period %d" % (s + 1) if kind == "worksheet" else "Macro1", kind,
                       worksheet(rows[s], selected, dim)))
    extra = ()
    if c.get("chart_sheet"):
        # A chart of column B on a sheet of its own, the sheet showing when saved.
        values = [cell[1] for cell in c.get("columnB", ())]
        sheets.append(("Chart", "chartsheet", chartsheet(True)))
        active = len(sheets) - 1
        extra = (("xl/chartsheets/_rels/sheet1.bin.rels",
                  relationships([("rId1", REL, "drawing", "../drawings/drawing1.xml")])),
                 ("xl/drawings/drawing1.xml", DRAWING_XML),
                 ("xl/drawings/_rels/drawing1.xml.rels",
                  relationships([("rId1", REL, "chart", "../charts/chart1.xml")])),
                 ("xl/charts/chart1.xml", chart_xml("Period 1", values)))
    book(path, sheets, active, strings if strings else None, string_uses[0], styles(formats, cell_xfs),
         date1904, extra)
