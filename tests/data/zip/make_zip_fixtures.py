#!/usr/bin/python3
"""Writes the hand-built .xlsx and .ods packages in this folder.

These are the layouts that spreadsheet programs seldom or never write but
that are valid, or that a hostile or damaged file can hold: rows and cells
without their r references, absolute relationship targets and unusual part
names, every cell value type written out by hand, huge repeat counts,
parts that are broken after the first rows (to show that reading stops
early), a zip bomb, and documents that are not workbooks.

Run with Debian's /usr/bin/python3 (standard library only); the output is
the same on every run.
"""

import os
import struct
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
STAMP = (2024, 9, 2, 8, 0, 0)

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"


def write_zip(name, parts, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(os.path.join(HERE, name), "w") as z:
        for part, data in parts:
            info = zipfile.ZipInfo(part, STAMP)
            # An OpenDocument mimetype entry is stored first and uncompressed.
            info.compress_type = zipfile.ZIP_STORED if part == "mimetype" else method
            z.writestr(info, data.encode("utf-8") if isinstance(data, str) else data)


def content_types(overrides):
    items = "".join('<Override PartName="%s" ContentType="%s"/>' % o for o in overrides)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>' + items + '</Types>')


def rels(items):
    body = "".join('<Relationship Id="%s" Type="%s/%s" Target="%s"/>' % i for i in items)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Relationships xmlns="%s">%s</Relationships>' % (PKG, body))


def workbook(sheets, active=None, extra=""):
    view = '<bookViews><workbookView activeTab="%d"/></bookViews>' % active if active is not None else ""
    items = "".join('<sheet name="%s" sheetId="%d" r:id="%s"/>' % (n, i + 1, r)
                    for i, (n, r) in enumerate(sheets))
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<workbook xmlns="%s" xmlns:r="%s">%s%s<sheets>%s</sheets></workbook>'
            % (MAIN, REL, extra, view, items))


def sheet(rows_xml):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<worksheet xmlns="%s" xmlns:r="%s"><sheetData>%s</sheetData></worksheet>'
            % (MAIN, REL, rows_xml))


def sst(strings_xml, count):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<sst xmlns="%s" count="%d" uniqueCount="%d">%s</sst>' % (MAIN, count, count, strings_xml))


def inline(text, r=None):
    ref = ' r="%s"' % r if r else ""
    return '<c%s t="inlineStr"><is><t>%s</t></is></c>' % (ref, text)


def simple_xlsx(name, sheet_xml, shared=None, styles=None, workbook_extra=""):
    parts = [
        ("[Content_Types].xml", content_types([])),
        ("_rels/.rels", rels([("rId1", REL, "officeDocument", "xl/workbook.xml")])),
        ("xl/workbook.xml", workbook([("Sheet1", "rId1")], 0, workbook_extra)),
    ]
    wb_rels = [("rId1", REL, "worksheet", "worksheets/sheet1.xml")]
    if shared is not None:
        wb_rels.append(("rId2", REL, "sharedStrings", "sharedStrings.xml"))
        parts.append(("xl/sharedStrings.xml", shared))
    if styles is not None:
        wb_rels.append(("rId3", REL, "styles", "styles.xml"))
        parts.append(("xl/styles.xml", styles))
    parts.append(("xl/_rels/workbook.xml.rels", rels(wb_rels)))
    parts.append(("xl/worksheets/sheet1.xml", sheet_xml))
    write_zip(name, parts)


# --- .xlsx ----------------------------------------------------------------

# Rows and cells with and without their references. A row without r follows
# the row before it; a cell without r follows the cell before it.
simple_xlsx("no-references.xlsx", sheet(
    '<row>' + inline("Row one") + '</row>'                       # row 1, cell A
    '<row><c><is><t>Row two</t></is><v/></c></row>'               # row 2 (no t, inline text)
    '<row r="3"><c r="B3" t="inlineStr"><is><t>Column B</t></is></c></row>'  # row 3: A empty
    '<row r="5">' + inline("Row five") + '</row>'
    '<row>' + inline("Row six", "A6") + inline("B six") + '</row>'  # row 6
    '<row><c/><c t="inlineStr"><is><t>B seven</t></is></c></row>'   # row 7: A has no value
    '<row>' + inline("Row eight") + inline("B eight") + '</row>'
    '<row r="10"><c r="B10" t="inlineStr"><is><t>B ten</t></is></c>'
    '<c t="inlineStr"><is><t>C ten</t></is></c></row>'              # row 10: A empty
    '<row>' + inline("Row eleven") + '</row>'))

# Absolute targets, parts in unusual places, the second of three sheets active.
write_zip("absolute-targets.xlsx", [
    ("[Content_Types].xml", content_types([])),
    ("_rels/.rels", rels([("rId9", REL, "officeDocument", "/book/main.xml")])),
    ("book/main.xml", workbook([("First", "s1"), ("Second", "s2"), ("Third", "s3")], 1)),
    ("book/_rels/main.xml.rels", rels([
        ("s1", REL, "worksheet", "/book/sheets/first.xml"),
        ("s2", REL, "worksheet", "../data/second%20sheet.xml"),
        ("s3", REL, "worksheet", "sheets/./third.xml"),
        ("t", REL, "sharedStrings", "/strings.xml"),
    ])),
    ("book/sheets/first.xml", sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>')),
    ("data/second sheet.xml", sheet('<row r="1"><c r="A1" t="s"><v>1</v></c></row>'
                                    '<row r="2"><c r="A2" t="s"><v>2</v></c></row>')),
    ("book/sheets/third.xml", sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>')),
    ("strings.xml", sst('<si><t>Wrong sheet</t></si><si><t>Second one</t></si>'
                        '<si><t>Second two</t></si>', 3)),
])

# Every kind of cell value, one per row.
STYLES = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
          '<styleSheet xmlns="%s"><numFmts count="2">'
          '<numFmt numFmtId="164" formatCode="dd/mm/yyyy"/>'
          '<numFmt numFmtId="165" formatCode="0.00&quot; days&quot;"/></numFmts>'
          '<fonts count="1"><font/></fonts><fills count="1"><fill/></fills>'
          '<borders count="1"><border/></borders>'
          '<cellStyleXfs count="1"><xf numFmtId="0"/></cellStyleXfs>'
          '<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="14" applyNumberFormat="1"/>'
          '<xf numFmtId="164" applyNumberFormat="1"/><xf numFmtId="165" applyNumberFormat="1"/>'
          '<xf numFmtId="22" applyNumberFormat="1"/></cellXfs></styleSheet>' % MAIN)
VALUES = [
    '<c t="s"><v>0</v></c>',                                        # 1 shared, rich runs
    '<c t="s"><v>1</v></c>',                                        # 2 phonetic run left out
    '<c t="inlineStr"><is><r><t>In</t></r><r><rPr><b/></rPr><t>line</t></r></is></c>',  # 3
    '<c><v>17</v></c>',                                             # 4
    '<c><v>0.30000000000000004</v></c>',                            # 5
    '<c><v>12345678901</v></c>',                                    # 6
    '<c s="1"><v>45537</v></c>',                                    # 7 built-in date
    '<c s="2"><v>45537.572916666664</v></c>',                       # 8 custom date
    '<c s="3"><v>2.5</v></c>',                                      # 9 not a date
    '<c t="b"><v>1</v></c>',                                        # 10
    '<c t="b"><v>0</v></c>',                                        # 11
    '<c t="e"><f>NA()</f><v>#N/A</v></c>',                          # 12
    '<c t="str"><f>"Form"&amp;"ula"</f><v>Formula</v></c>',         # 13
    '<c t="d"><v>2024-09-02T13:45:00</v></c>',                      # 14
    '<c t="s"><v>2</v></c>',                                        # 15 a single space
    '<c t="s"><v>3</v></c>',                                        # 16 "007"
    '<c s="4"><v>0.5729166666666666</v></c>',                       # 17 time of day
    '<c t="str"><f>""</f><v></v></c>',                              # 18 empty formula result
]
simple_xlsx("values.xlsx",
            sheet("".join('<row r="%d">%s</row>' % (i + 1, c.replace("<c", '<c r="A%d"' % (i + 1), 1))
                          for i, c in enumerate(VALUES))),
            shared=sst('<si><r><t>Ann</t></r><r><rPr><i/></rPr><t xml:space="preserve"> Lee</t></r></si>'
                       '<si><t>山田</t><rPh sb="0" eb="2"><t>ヤマダ</t></rPh><phoneticPr fontId="1"/></si>'
                       '<si><t xml:space="preserve"> </t></si><si><t>007</t></si>', 4),
            styles=STYLES)

# The 1904 date system.
simple_xlsx("date1904.xlsx",
            sheet('<row r="1"><c r="A1" s="1"><v>44075</v></c></row>'),
            styles=STYLES, workbook_extra='<workbookPr date1904="1"/>')

# 100,000 rows whose sheet and shared strings turn to rubbish after the first
# thousand entries: reading 30 names must never get that far.
rows = "".join('<row r="%d"><c r="A%d" t="s"><v>%d</v></c></row>' % (i, i, i - 1)
               for i in range(1, 1001))
strings = "".join("<si><t>Student %06d</t></si>" % i for i in range(1, 1001))
simple_xlsx("broken-tail.xlsx",
            sheet(rows + "<row><c><v>1</v></c></row><<<not xml" * 2000),
            shared=sst(strings + "<si><t>x</t></si>&bogus;" * 2000, 100000))

# A zip bomb: 64 MB of spaces inside the sheet after two rows, about 64 KB packed.
simple_xlsx("bomb.xlsx", sheet(
    '<row r="1">' + inline("First") + '</row><row r="2">' + inline("Second") + '</row>'
    + " " * (64 * 1024 * 1024) + '<row r="3">' + inline("Third") + '</row>'))

# A row whose cells after column 1 unpack to more than the sheet may: the
# name in column 1 is still read, the next row ends in an error.
simple_xlsx("wide-row.xlsx", sheet(
    '<row r="1">' + inline("Alone", "A1") + '<c r="B1"/>' * (70 * 1024 * 1024 // 11) + '</row>'
    '<row r="2">' + inline("Never", "A2") + '</row>'))

# A sheet whose packed data is damaged three quarters of the way in: the
# first rows unpack, the damage is met further on.
simple_xlsx("bad-deflate.xlsx", sheet("".join(
    '<row r="%d">%s</row>' % (i, inline("Student %04d of %d" % (i, i * 7919 % 10007), "A%d" % i))
    for i in range(1, 1001))))
with zipfile.ZipFile(os.path.join(HERE, "bad-deflate.xlsx")) as z:
    info = z.getinfo("xl/worksheets/sheet1.xml")
with open(os.path.join(HERE, "bad-deflate.xlsx"), "rb") as f:
    data = bytearray(f.read())
name_length, extra_length = struct.unpack("<HH", data[info.header_offset + 26:info.header_offset + 30])
start = info.header_offset + 30 + name_length + extra_length + info.compress_size * 3 // 4
data[start:start + 32] = b"\xff" * 32
with open(os.path.join(HERE, "bad-deflate.xlsx"), "wb") as f:
    f.write(bytes(data))

# A shared string index far past the table.
simple_xlsx("missing-shared.xlsx",
            sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>'
                  '<row r="2"><c r="A2" t="s"><v>2147483647</v></c></row>'),
            shared=sst('<si><t>Only one</t></si>', 1))
# One entry past the end of the table.
simple_xlsx("missing-shared-next.xlsx",
            sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>'
                  '<row r="2"><c r="A2" t="s"><v>1</v></c></row>'),
            shared=sst('<si><t>Only one</t></si>', 1))

# Shared-text cells with no value in them: empty cells, as in every other
# reader, so the roster ends at the first one.
simple_xlsx("shared-empty.xlsx", sheet("".join(
    '<row r="%d">%s</row>' % (i + 1, c.replace("<c", '<c r="A%d"' % (i + 1), 1)) for i, c in enumerate([
        '<c t="s"><v>0</v></c>', '<c t="s"><v/></c>', '<c t="s"><v>1</v></c>', '<c t="s"><v></v></c>',
        '<c t="s"><v>2</v></c>', '<c t="s"/>', '<c t="s"><v>3</v></c>', '<c><v/></c>', '<c t="b"><v/></c>',
        '<c t="s"><v>4</v></c>']))),
    shared=sst("".join("<si><t>%s</t></si>" % n for n in
                       ("Ann Lee", "Bob Stone", "Cy Young", "Di Prince", "Ed Wood")), 5))

# The names on the first sheet, an Excel 4.0 macro sheet or a dialog sheet
# showing when the file was saved.
for name, kind, folder in (("macro-sheet.xlsx", "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet",
                            "macrosheets"),
                           ("dialog-sheet.xlsx", REL + "/dialogsheet", "dialogsheets")):
    write_zip(name, [
        ("[Content_Types].xml", content_types([])),
        ("_rels/.rels", rels([("rId1", REL, "officeDocument", "xl/workbook.xml")])),
        ("xl/workbook.xml", workbook([("Names", "rId1"), ("Other", "rId2")], 1)),
        ("xl/_rels/workbook.xml.rels", '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
         '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
         '<Relationship Id="rId2" Type="%s" Target="%s/sheet1.xml"/></Relationships>' % (PKG, REL, kind, folder)),
        ("xl/worksheets/sheet1.xml", sheet('<row r="1">' + inline("Ann Lee") + '</row>')),
        ("xl/%s/sheet1.xml" % folder, sheet('<row r="1">' + inline("Not a name") + '</row>')),
    ])

# A sheet without its r:id and a relationship without its Id: no
# relationship names the sheet, not even the one with no Id to match.
write_zip("no-sheet-id.xlsx", [
    ("[Content_Types].xml", content_types([])),
    ("_rels/.rels", rels([("rId1", REL, "officeDocument", "xl/workbook.xml")])),
    ("xl/workbook.xml", workbook([]).replace("<sheets></sheets>",
                                             '<sheets><sheet name="Sheet1" sheetId="1"/></sheets>')),
    ("xl/_rels/workbook.xml.rels", rels([]).replace(
        "</Relationships>",
        '<Relationship Type="%s/worksheet" Target="worksheets/sheet1.xml"/></Relationships>' % REL)),
    ("xl/worksheets/sheet1.xml", sheet('<row r="1">' + inline("Ann Lee") + '</row>')),
])

# Elements nested far too deeply.
simple_xlsx("deep.xlsx", sheet('<row r="1">' + inline("Fine") + '</row>'
                               + "<x>" * 5000 + "</x>" * 5000))

# Every entry encrypted with the traditional PKWARE cipher (password "class").
def zip_crypto(data, crc, password=b"class"):
    keys = [0x12345678, 0x23456789, 0x34567890]

    def crc_byte(value, byte):
        return zlib.crc32(bytes([byte]), value ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

    def update(byte):
        keys[0] = crc_byte(keys[0], byte)
        keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = crc_byte(keys[2], keys[1] >> 24)

    for byte in password:
        update(byte)
    out = bytearray()
    for byte in bytes(range(11)) + bytes([crc >> 24]) + data:
        temp = (keys[2] | 2) & 0xFFFF
        out.append(byte ^ (((temp * (temp ^ 1)) >> 8) & 0xFF))
        update(byte)
    return bytes(out)


def write_encrypted_zip(name, parts):
    body, directory = bytearray(), bytearray()
    for part, text in parts:
        data, raw = text.encode("utf-8"), part.encode("utf-8")
        crc = zlib.crc32(data)
        sealed = zip_crypto(data, crc)
        fields = struct.pack("<HHHHHIII", 20, 1, 0, 0, 0x5922, crc, len(sealed), len(data))
        directory += (struct.pack("<IH", 0x02014B50, 20) + fields
                      + struct.pack("<HHHHHII", len(raw), 0, 0, 0, 0, 0, len(body)) + raw)
        body += struct.pack("<I", 0x04034B50) + fields + struct.pack("<HH", len(raw), 0) + raw + sealed
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(parts), len(parts), len(directory), len(body), 0)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(bytes(body + directory + end))


write_encrypted_zip("encrypted-entries.xlsx", [
    ("[Content_Types].xml", content_types([])),
    ("_rels/.rels", rels([("rId1", REL, "officeDocument", "xl/workbook.xml")])),
    ("xl/workbook.xml", workbook([("Sheet1", "rId1")], 0)),
    ("xl/_rels/workbook.xml.rels", rels([("rId1", REL, "worksheet", "worksheets/sheet1.xml")])),
    ("xl/worksheets/sheet1.xml", sheet('<row r="1">' + inline("Secret") + '</row>')),
])

# A word-processing package: not a workbook.
write_zip("document.docx", [
    ("[Content_Types].xml", content_types([])),
    ("_rels/.rels", rels([("rId1", REL, "officeDocument", "word/document.xml")])),
    ("word/document.xml", '<?xml version="1.0"?><w:document '
     'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body/></w:document>'),
])

# A ZIP archive of unrelated files.
write_zip("archive.zip", [("notes.txt", "Ann Lee\nBob Stone\n")])

# --- .xlsb ----------------------------------------------------------------

sys.path.insert(0, os.path.join(os.path.dirname(HERE), "rosters"))
import xlsb_writer as xb  # noqa: E402


def xb_cell(rtype, col, value=b"", style=0):
    return col, xb.record(rtype, xb.cell_head(col, style) + value)


def xb_formula(rtype, value):
    return xb_cell(rtype, 0, value + struct.pack("<H", 0) + xb.parsed_formula('=""'))


# Every kind of cell record, one a row (row 24 has none), and cells written
# twice: the last record for a cell holds its value.
XB_ROWS = [
    [xb_cell(xb.CELL_ISST, 0, struct.pack("<I", 0))],                        # 1 shared, with runs
    [xb_cell(xb.CELL_ISST, 0, struct.pack("<I", 1))],                        # 2 shared, phonetic text after it
    [xb_cell(xb.CELL_ST, 0, xb.wide("Inline"))],                             # 3
    [xb_cell(xb.CELL_RSTRING, 0, xb.rich("Rich inline", [(0, 1), (4, 0)]))],  # 4
    [xb_cell(xb.CELL_RK, 0, struct.pack("<I", xb.rk(17)))],                  # 5 whole number
    [xb_cell(xb.CELL_RK, 0, struct.pack("<I", xb.rk(-2.5)))],                # 6 whole number / 100
    [xb_cell(xb.CELL_RK, 0, struct.pack("<I", xb.rk(0.5)))],                 # 7 top of a double
    [xb_cell(xb.CELL_RK, 0, struct.pack("<I", xb.rk(123.45)))],              # 8
    [xb_cell(xb.CELL_REAL, 0, struct.pack("<d", 0.1 + 0.2))],                # 9
    [xb_cell(xb.CELL_REAL, 0, struct.pack("<d", 12345678901))],              # 10
    [xb_cell(xb.CELL_BOOL, 0, b"\x01")],                                     # 11
    [xb_cell(xb.CELL_BOOL, 0, b"\x00")],                                     # 12
    [xb_cell(xb.CELL_ERROR, 0, b"\x07")],                                    # 13
    [xb_formula(xb.FMLA_STRING, xb.wide("Formula"))],                        # 14
    [xb_formula(xb.FMLA_NUM, struct.pack("<d", 17))],                        # 15
    [xb_formula(xb.FMLA_BOOL, b"\x01")],                                     # 16
    [xb_formula(xb.FMLA_ERROR, b"\x2a")],                                    # 17
    # 18: built-in date format 14, and a flag above the 24 bits of the style
    [xb_cell(xb.CELL_RK, 0, struct.pack("<I", xb.rk(45537)), 1 | 1 << 24)],
    [xb_cell(xb.CELL_REAL, 0, struct.pack("<d", 45537.572916666664), 2)],    # 19 custom date format
    [xb_cell(xb.CELL_REAL, 0, struct.pack("<d", 2.5), 3)],                   # 20 custom, not a date
    [xb_cell(xb.CELL_BLANK, 0), xb_cell(xb.CELL_ST, 0, xb.wide("Second wins"))],     # 21
    [xb_cell(xb.CELL_ST, 0, xb.wide("Written first")), xb_cell(xb.CELL_BLANK, 0)],  # 22
    [xb_cell(xb.CELL_ST, 1, xb.wide("Column B"))],                           # 23
    None,                                                                    # 24
    [xb_cell(xb.CELL_ST, 1, xb.wide("B first")), xb_cell(xb.CELL_ST, 0, xb.wide("A after B"))],  # 25
    [xb_formula(xb.FMLA_STRING, xb.wide(""))],                               # 26
    [xb_cell(xb.CELL_BLANK, 0)],                                             # 27
    [xb_cell(xb.CELL_ISST, 0, struct.pack("<I", 2))],                        # 28
]
xb.book(os.path.join(HERE, "values.xlsb"),
        [("Sheet1", "worksheet",
          xb.worksheet({r: cells for r, cells in enumerate(XB_ROWS) if cells}, True, (0, 27, 0, 1)))],
        strings=[xb.rich("Ann Lee", [(0, 1), (3, 0)]),
                 b"\x02" + xb.wide("山田") + struct.pack("<I", 16) + bytes(12),
                 xb.rich("Last")],
        style_part=xb.styles([(164, "dd/mm/yyyy hh:mm"), (165, '0.00" days"')],
                             [(0, 0), (14, 0), (164, 0), (165, 0)]))

# A shared text index one past the table's end.
xb.book(os.path.join(HERE, "missing-shared.xlsb"),
        [("Sheet1", "worksheet", xb.worksheet({0: [xb_cell(xb.CELL_ISST, 0, struct.pack("<I", 0))],
                                               1: [xb_cell(xb.CELL_ISST, 0, struct.pack("<I", 1))]}, True))],
        strings=[xb.rich("Only one")])

# 100,000 rows whose sheet and shared strings turn to rubbish after the
# first thousand: reading 30 names must never get that far.
XB_GARBAGE = b"\xff" * 4000
xb.book(os.path.join(HERE, "broken-tail.xlsb"),
        [("Sheet1", "worksheet", xb.record(xb.BEGIN_SHEET) + xb.record(xb.BEGIN_SHEET_DATA) + b"".join(
            xb.row_header(r, 0, 0) + xb.record(xb.CELL_ISST, xb.cell_head(0) + struct.pack("<I", r))
            for r in range(1001)) + XB_GARBAGE)],
        strings=[xb.rich("Student %06d" % i) for i in range(1, 1001)], string_total=100000,
        extra=[])
with zipfile.ZipFile(os.path.join(HERE, "broken-tail.xlsb")) as z:
    XB_PARTS = [(i.filename, z.read(i.filename)) for i in z.infolist()]
xb.package(os.path.join(HERE, "broken-tail.xlsb"),
           [(n, d + XB_GARBAGE if n == "xl/sharedStrings.bin" else d) for n, d in XB_PARTS])



def xb_repack(name, replace):
    """Rewrites package `name` with some of its parts replaced: {part: bytes}."""
    with zipfile.ZipFile(os.path.join(HERE, name)) as z:
        parts = [(i.filename, z.read(i.filename)) for i in z.infolist()]
    xb.package(os.path.join(HERE, name), [(n, replace.get(n, d)) for n, d in parts])


def xb_workbook(sheets, properties=True, times=1):
    """The workbook part of xlsb_writer, listing `sheets` [(name, relationship
    id or None)], the first `times` times over, with or without its
    properties record (BrtWbProp)."""
    data = xb.workbook(sheets, 0)
    if sheets and times > 1:
        first = xb.record(xb.BUNDLE_SH, struct.pack("<II", 0, 1) + xb.nullable(sheets[0][1]) + xb.wide(sheets[0][0]))
        data = data.replace(first, first * times)
    if not properties:
        data = data.replace(xb.record(xb.WB_PROP, struct.pack("<II", 0, 0) + xb.wide("")), b"")
    return data


# Records a writer may leave short or out: no workbook properties (the 1900
# date system, then), a cell format cut after its number format (14, a
# date), and a cell whose text is the null string.
XB_DATE_STYLES = xb.styles([], [(0, 0), (14, 0)])
xb.book(os.path.join(HERE, "short-records.xlsb"),
        [("Sheet1", "worksheet", xb.worksheet({
            0: [xb_cell(xb.CELL_REAL, 0, struct.pack("<d", 45537), 1)],
            1: [xb_cell(xb.CELL_ST, 0, struct.pack("<I", 0xFFFFFFFF))],
            2: [xb_cell(xb.CELL_ST, 0, xb.wide("Last"))]}, True))],
        strings=None,
        style_part=XB_DATE_STYLES.replace(xb.xf(0, 14), xb.record(xb.XF, struct.pack("<HH", 0, 14))))
xb_repack("short-records.xlsb", {"xl/workbook.bin": xb_workbook([("Sheet1", "rId1")], properties=False)})

# Workbooks whose sheet list is damaged: no sheets; the active one named by
# a relationship that is not there, or by none; and a list as long as the
# reader takes (100,000 sheets), and one sheet longer.
XB_ONE = [("Sheet1", "worksheet", xb.worksheet({0: [xb_cell(xb.CELL_ST, 0, xb.wide("Ann Lee"))]}, True))]
for name, listed in (("no-sheets.xlsb", []), ("unrelated-sheet.xlsb", [("Sheet1", "rId9")]),
                     ("null-sheet-id.xlsb", [("Sheet1", None)]),
                     ("sheets-100000.xlsb", [("Sheet1", "rId1")] * 100000),
                     ("sheets-100001.xlsb", [("Sheet1", "rId1")] * 100001)):
    xb.book(os.path.join(HERE, name), XB_ONE, strings=None)
    xb_repack(name, {"xl/workbook.bin": xb_workbook(listed[:1], times=len(listed))})

# --- .ods -----------------------------------------------------------------

OFFICE = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
          'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
          'xmlns:xlink="http://www.w3.org/1999/xlink" '
          'xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0" '
          'office:version="1.3"')
SPREADSHEET = "application/vnd.oasis.opendocument.spreadsheet"


def manifest(encrypted=False):
    enc = ('<manifest:encryption-data manifest:checksum-type="SHA1/1K" manifest:checksum="AAAA">'
           '<manifest:algorithm manifest:algorithm-name="Blowfish CFB" manifest:initialisation-vector="AAAA"/>'
           '<manifest:key-derivation manifest:key-derivation-name="PBKDF2" manifest:iteration-count="1024" '
           'manifest:salt="AAAA"/></manifest:encryption-data>') if encrypted else ""
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" '
            'manifest:version="1.3">'
            '<manifest:file-entry manifest:full-path="/" manifest:media-type="%s"/>'
            '<manifest:file-entry manifest:full-path="settings.xml" manifest:media-type="text/xml"/>'
            '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml">%s'
            '</manifest:file-entry></manifest:manifest>' % (SPREADSHEET, enc))


def settings(active):
    item = ('<config:config-item config:name="ActiveTable" config:type="string">%s</config:config-item>'
            % active) if active is not None else ""
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<office:document-settings xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0" office:version="1.3">'
            '<office:settings><config:config-item-set config:name="ooo:view-settings">'
            '<config:config-item config:name="VisibleAreaTop" config:type="int">0</config:config-item>'
            '<config:config-item-map-indexed config:name="Views"><config:config-item-map-entry>'
            '<config:config-item config:name="ViewId" config:type="string">view1</config:config-item>'
            '%s</config:config-item-map-entry></config:config-item-map-indexed>'
            '</config:config-item-set><config:config-item-set config:name="ooo:configuration-settings">'
            '<config:config-item config:name="ActiveTable" config:type="string">Wrong</config:config-item>'
            '</config:config-item-set></office:settings></office:document-settings>' % item)


def content(tables_xml, body="spreadsheet"):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<office:document-content %s><office:automatic-styles/><office:body>'
            '<office:%s>%s</office:%s></office:body></office:document-content>'
            % (OFFICE, body, tables_xml, body))


def table(name, rows_xml):
    return ('<table:table table:name="%s"><table:table-column table:number-columns-repeated="1024"/>'
            '%s</table:table>' % (name, rows_xml))


def row(cell, repeat=None):
    rep = ' table:number-rows-repeated="%d"' % repeat if repeat else ""
    return "<table:table-row%s>%s</table:table-row>" % (rep, cell)


def text_cell(text):
    return '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % text


def write_ods(name, content_xml, active=None, encrypted=False, settings_xml=True):
    parts = [("mimetype", SPREADSHEET), ("content.xml", content_xml)]
    if settings_xml:
        parts.append(("settings.xml", settings(active)))
    parts.append(("META-INF/manifest.xml", manifest(encrypted)))
    write_ods_parts(name, parts)


def write_ods_parts(name, parts):
    write_zip(name, parts)


# Huge repeat counts: only the rows asked for may be produced.
write_ods("repeats.ods", content(table("Sheet1",
    row(text_cell("Ann Lee")) +
    row(text_cell("Twin"), 3) +                                               # rows 2-4
    row('<table:table-cell table:number-columns-repeated="16384" office:value-type="string">'
        '<text:p>Wide</text:p></table:table-cell>') +                        # row 5
    row('<table:table-cell table:number-columns-repeated="1024"/>', 1048566) +  # rows 6-1048571
    row(text_cell("Far away")) +                                              # row 1048572
    row('<table:table-cell/>', 2147483647) +
    row(text_cell("Past the end")))))

# The cell text forms: spaces, tabs, line breaks, spans, links, paragraphs,
# annotations, covered cells and every value type.
CELLS = [
    text_cell('A<text:s/>B<text:s text:c="3"/>C'),                                   # 1
    text_cell('Tab<text:tab/>and<text:line-break/>break'),                            # 2
    text_cell('<text:span text:style-name="T1">Sp</text:span>an '
              '<text:a xlink:href="https://example.invalid/">link</text:a>'),         # 3
    '<table:table-cell office:value-type="string"><text:p>Two</text:p>'
    '<text:p>paragraphs</text:p></table:table-cell>',                                 # 4
    '<table:table-cell office:value-type="string"><office:annotation><text:p>A note'
    '</text:p></office:annotation><text:p>Noted</text:p></table:table-cell>',         # 5
    '<table:table-cell office:value-type="string"><text:p>\n   Collapsed \n  white   space\n'
    '</text:p></table:table-cell>',                                                   # 6
    '<table:table-cell office:value-type="float" office:value="17"><text:p>17.00</text:p>'
    '</table:table-cell>',                                                            # 7
    '<table:table-cell office:value-type="float" office:value="0.30000000000000004">'
    '<text:p>0.3</text:p></table:table-cell>',                                        # 8
    '<table:table-cell office:value-type="percentage" office:value="0.25"><text:p>25%</text:p>'
    '</table:table-cell>',                                                            # 9
    '<table:table-cell office:value-type="currency" office:currency="EUR" office:value="12.5">'
    '<text:p>12,50 €</text:p></table:table-cell>',                                    # 10
    '<table:table-cell office:value-type="date" office:date-value="2024-09-02">'
    '<text:p>02/09/24</text:p></table:table-cell>',                                   # 11
    '<table:table-cell office:value-type="date" office:date-value="2024-09-02T13:45:00">'
    '<text:p>02/09/24 13:45</text:p></table:table-cell>',                             # 12
    '<table:table-cell office:value-type="time" office:time-value="PT13H45M00S">'
    '<text:p>13:45</text:p></table:table-cell>',                                      # 13
    '<table:table-cell office:value-type="boolean" office:boolean-value="true">'
    '<text:p>TRUE</text:p></table:table-cell>',                                       # 14
    '<table:table-cell table:formula="of:=NA()" office:value-type="string" '
    'office:string-value="" calcext:value-type="error"><text:p>#N/A</text:p>'
    '</table:table-cell>',                                                            # 15
    '<table:table-cell office:value-type="string" office:string-value="From the attribute"/>',  # 16
    '<table:covered-table-cell office:value-type="string"><text:p>Covered</text:p>'
    '</table:covered-table-cell><table:table-cell/>',                                 # 17
    '<table:table-cell table:number-columns-spanned="2" office:value-type="string">'
    '<text:p>Spanned</text:p></table:table-cell><table:covered-table-cell/>',         # 18
    '<table:table-cell><text:p><text:s/></text:p></table:table-cell>',                # 19 one space
    '<table:table-cell><draw:frame><draw:text-box><text:p>Drawn</text:p></draw:text-box>'
    '</draw:frame><text:p>Framed</text:p></table:table-cell>',                        # 20
]
write_ods("text-forms.ods", content(table("Sheet1", "".join(row(c) for c in CELLS))))

# The active table, named in the view settings; rows inside row groups.
THREE = (table("First", row(text_cell("Wrong"))) +
         table("Second", '<table:table-header-rows>' + row(text_cell("Second one")) +
               '</table:table-header-rows><table:table-row-group>' + row(text_cell("Second two")) +
               '</table:table-row-group>' + row(text_cell("Second three"))) +
         table("Third", row(text_cell("Wrong"))))
write_ods("active-second.ods", content(THREE), active="Second")
write_ods("active-missing.ods", content(THREE), active="Gone")   # the first table
write_ods("no-settings.ods", content(THREE), settings_xml=False)

# Broken after the first thousand rows: reading 30 names must not get there.
write_ods("broken-tail.ods", content(table("Sheet1",
    "".join(row(text_cell("Student %06d" % i)) for i in range(1, 1001))
    + "<table:table-row><<<not xml" * 2000)))

# Encrypted content named in the manifest.
write_ods("encrypted.ods", content(table("Sheet1", row(text_cell("Secret")))), encrypted=True)

# A text document in OpenDocument form, and a spreadsheet body that is not.
write_zip("letter.odt", [("mimetype", "application/vnd.oasis.opendocument.text"),
                         ("content.xml", content("<text:p>Dear Ann</text:p>", body="text")),
                         ("META-INF/manifest.xml", manifest())])
write_zip("text-body.ods", [("mimetype", SPREADSHEET),
                            ("content.xml", content("<text:p>Dear Ann</text:p>", body="text"))])

# A spreadsheet package without its content part, and a row repeat count
# that is not a number after the first row.
write_zip("no-content.ods", [("mimetype", SPREADSHEET), ("META-INF/manifest.xml", manifest())])
write_ods("bad-repeat.ods", content(table("Sheet1", row(text_cell("Ann Lee"))
                                          + row(text_cell("Bob Stone")).replace("<table:table-row>",
                                                '<table:table-row table:number-rows-repeated="two">'))))

# Entry names written with backslashes (xl\worksheets\sheet1.xml), as some
# Windows tools write them: LibreOffice's and our own rosters repacked.
def with_backslashes(source, name):
    with zipfile.ZipFile(os.path.join(HERE, "..", "rosters", source)) as z:
        parts = [(i.filename.replace("/", "\\"), z.read(i)) for i in z.infolist() if not i.is_dir()]
    write_zip(name, parts)


with_backslashes("basic.lo.xlsx", "backslashes.lo.xlsx")
with_backslashes("basic.script.xlsb", "backslashes.script.xlsb")
with_backslashes("basic.lo.ods", "backslashes.lo.ods")

# A character XML does not allow in a shared text well after the first
# names: a form feed, as some exports copy it from a page break, and a NUL.
def with_control(source, name, old, new):
    with zipfile.ZipFile(os.path.join(HERE, "..", "rosters", source)) as z:
        parts = [(i.filename, z.read(i)) for i in z.infolist() if not i.is_dir()]
    for k, (part, data) in enumerate(parts):
        if part == "xl/sharedStrings.xml":
            assert data.count(old) == 1
            parts[k] = (part, data.replace(old, new))
    write_zip(name, parts)


with_control("basic.lo.xlsx", "form-feed.lo.xlsx", b"Dev Patel", b"Dev\x0cPatel")
with_control("basic.lo.xlsx", "null-char.lo.xlsx", b"Dev Patel", b"Dev\x00Patel")
