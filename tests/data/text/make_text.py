#!/usr/bin/python3
"""Writes the hand-made XML Spreadsheet 2003 and web-page files in this
folder and their table cells.tsv, and checks them with LibreOffice.

Each case is a file's content and what Plivan lists for it: column 1 row by
row (None for an empty cell) and the error, in the form of ../cells.tsv.
LibreOffice then opens every file (through UNO; web pages named .htm or
.html with its "HTML (StarCalc)" filter, as Calc opens them, anything else
with the filter it picks itself) and its column A must be the same, except
where LO_DIFFERS says why Plivan lists something else. The roster fixtures
of these formats and the hand-written text rosters in ../rosters are checked
the same way against expected.tsv.

Run as make_text.sh on Debian 12 with libreoffice-calc and python3-uno.
"""

import io
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROSTERS = os.path.join(HERE, "..", "rosters")
sys.path.insert(0, ROSTERS)
import make_rosters  # noqa: E402  (the LibreOffice session)
import text_rosters  # noqa: E402

E = None  # an empty cell

# --------------------------------------------------------------------------
# XML Spreadsheet 2003, written as Excel writes it.
# --------------------------------------------------------------------------

XML_HEAD = ('<?xml version="1.0"?>\n<?mso-application progid="Excel.Sheet"?>\n'
            '<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"\n'
            ' xmlns:o="urn:schemas-microsoft-com:office:office"\n'
            ' xmlns:x="urn:schemas-microsoft-com:office:excel"\n'
            ' xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet"\n'
            ' xmlns:html="http://www.w3.org/TR/REC-html40">\n')


def workbook(*sheets, active=None):
    book = XML_HEAD
    if active is not None:
        book += (' <ExcelWorkbook xmlns="urn:schemas-microsoft-com:office:excel">\n'
                 '  <ActiveSheet>%d</ActiveSheet>\n </ExcelWorkbook>\n' % active)
    return book + "".join(sheets) + "</Workbook>\n"


def worksheet(name, *rows):
    return (' <Worksheet ss:Name="%s">\n  <Table>\n%s  </Table>\n </Worksheet>\n'
            % (name, "".join("   %s\n" % r for r in rows)))


def text(t, kind="String"):
    return '<Cell><Data ss:Type="%s">%s</Data></Cell>' % (kind, t)


def row(*cells, attributes=""):
    return "<Row%s>%s</Row>" % (attributes, "".join(cells))


def names(*texts):
    return [row(text(t)) for t in texts]


def cut(content, at):
    """`content` up to and with the first `at`."""
    return content[:content.index(at) + len(at)]


RICH = '<Cell><ss:Data ss:Type="String" xmlns="http://www.w3.org/TR/REC-html40">%s</ss:Data></Cell>'

STUDENTS = ["Student %04d" % i for i in range(1, 1001)]

# A form feed, which XML does not allow, in a name on a line of its own.
CONTROL = workbook(worksheet("Period 1", *names("Ann Lee", "Bob Stone", "Cy\x0cYoung"))).replace("<Row>", "\n<Row>")

CASES = [
    # (file, content, cells Plivan lists, error)
    ("xmlss-index.hand.xml",
     workbook(worksheet("Period 1", row(text("Ann Lee")), row(text("Cy Young"), attributes=' ss:Index="3"'),
                        row('<Cell ss:Index="2"><Data ss:Type="String">Only in column B</Data></Cell>'),
                        row(text("Di Prince")),
                        row('<Cell ss:Index="1"><Data ss:Type="String">Ed Wood</Data></Cell>',
                            attributes=' ss:Index="7"'))),
     ["Ann Lee", E, "Cy Young", E, "Di Prince", E, "Ed Wood", E], None),
    ("xmlss-merge.hand.xml",
     workbook(worksheet("Period 1",
                        row('<Cell ss:MergeDown="2"><Data ss:Type="String">Ann Lee</Data></Cell>', text("b1")),
                        row('<Cell ss:Index="2"><Data ss:Type="String">b2</Data></Cell>'),
                        row('<Cell ss:Index="2"><Data ss:Type="String">b3</Data></Cell>'),
                        row('<Cell ss:MergeAcross="2"><Data ss:Type="String">Di Prince</Data></Cell>', text("d4")),
                        row(text("Ed Wood")))),
     ["Ann Lee", E, E, "Di Prince", "Ed Wood", E], None),
    ("xmlss-rich.hand.xml",
     workbook(worksheet("Period 1",
                        row(RICH % '<B>Ann</B><Font html:Color="#FF0000"> Lee</Font>'),
                        row(RICH % 'Bob <I>Stone</I>'),
                        row(text("Cy Young&#10;Second line")),
                        row(RICH % '<Font html:Face="Arial">Zo&#235; &#216;degaard</Font>'))),
     ["Ann Lee", "Bob Stone", "Cy Young\nSecond line", "Zoë Ødegaard", E], None),
    ("xmlss-active.hand.xml",
     workbook(worksheet("Period 1", *names("Sheet 1 Name 1", "Sheet 1 Name 2")),
              worksheet("Period 2", *names("Second Sheet 1", "Second Sheet 2", "Second Sheet 3")),
              worksheet("Period 3", *names("Sheet 3 Name 1")), active=1),
     ["Second Sheet 1", "Second Sheet 2", "Second Sheet 3", E], None),
    ("xmlss-types.hand.xml",
     workbook(worksheet("Period 1", row(text("17", "Number")), row(text("0.30000000000000004", "Number")),
                        row(text("1.5E3", "Number")), row(text("2024-09-02T00:00:00.000", "DateTime")),
                        row(text("2024-09-02T13:45:00.000", "DateTime")),
                        row(text("1899-12-31T13:45:00.000", "DateTime")), row(text("1", "Boolean")),
                        row(text("#DIV/0!", "Error")), row(text("007")), row(text("  spaced  ")),
                        row('<Cell ss:Formula="=1+1"><Data ss:Type="Number">2</Data></Cell>'),
                        row(RICH % 'Cy Young<Sup>2</Sup>'), row(RICH % 'Di <U>Prince</U>'), row(text("Last")))),
     ["17", "0.30000000000000004", "1500", "2024-09-02", "2024-09-02 13:45:00", "13:45:00", "TRUE", "#DIV/0!",
      "007", "  spaced  ", "2", "Cy Young2", "Di Prince", "Last", E], None),
    ("xmlss-span.hand.xml",
     workbook(worksheet("Period 1", row(text("Ann Lee")), row(attributes=' ss:Span="1"'), row(text("Cy Young")))),
     ["Ann Lee", E, E, "Cy Young", E], None),
    # As web systems write it, under a name ending in .xls.
    ("xmlss-web.hand.xls",
     '<?xml version="1.0" encoding="UTF-8"?>\n<?mso-application progid="Excel.Sheet"?>\n'
     '<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" '
     'xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">\n'
     '<Styles><Style ss:ID="h"><Font ss:Bold="1"/></Style></Styles>\n'
     '<Worksheet ss:Name="Roster"><Table ss:ExpandedColumnCount="2" ss:ExpandedRowCount="4">\n'
     + "".join('<Row><Cell><Data ss:Type="String">%s</Data></Cell><Cell><Data ss:Type="Number">%d</Data>'
               '</Cell></Row>\n' % (n, 7 + i) for i, n in enumerate(["José Álvarez", "Юлия Петрова", "李 小龍",
                                                                       "O'Brien, Siobhan"]))
     + '</Table></Worksheet>\n</Workbook>\n',
     ["José Álvarez", "Юлия Петрова", "李 小龍", "O'Brien, Siobhan", E], None),
    # What stands before the root element: white space before the declaration
    # (which XML does not allow, and LibreOffice reads), a comment, Excel's
    # processing instruction; a byte order mark.
    ("xmlss-leading-space.hand.xml",
     "\r\n  \t\n" + workbook(worksheet("Period 1", *names("Ann Lee", "Bob Stone"))).replace(
         "?>\n<?mso", "?>\n<!-- Exported by the school office -->\n<?mso"),
     ["Ann Lee", "Bob Stone", E], None),
    ("xmlss-bom.hand.xml",
     "\ufeff" + workbook(worksheet("Period 1", *names("Zoë Ødegaard", "Cy Young"))).replace(
         "?>\n<?mso", "?>\n<!-- roster -->\n<?mso"),
     ["Zoë Ødegaard", "Cy Young", E], None),
    # HTML's named characters, which XML does not define.
    ("xmlss-html-entities.hand.xml",
     workbook(worksheet("Period 1", *names("&Tau;heo Lee", "Ren&eacute;e Dupr&eacute;", "Ann&nbsp;Lee",
                                          "&Ouml;zil &amp; Co"))),
     ["Τheo Lee", "Renée Dupré", "Ann\u00a0Lee", "Özil & Co", E], None),
    # The declared encoding, decoded the same way on every system.
    ("xmlss-cp1251.hand.xml",
     workbook(worksheet("Period 1", *names("Юлия Петрова", "Ёжик Иванов"))).replace(
         '<?xml version="1.0"?>', '<?xml version="1.0" encoding="windows-1251"?>').encode("cp1251"),
     ["Юлия Петрова", "Ёжик Иванов", E], None),
    ("xmlss-utf16.hand.xml",
     workbook(worksheet("Period 1", *names("Αλέξανδρος Παπαδόπουλος", "𠮷田 花子"))).replace(
         '<?xml version="1.0"?>', '<?xml version="1.0" encoding="UTF-16"?>').encode("utf-16"),
     ["Αλέξανδρος Παπαδόπουλος", "𠮷田 花子", E], None),
    # Damaged on purpose (not checked with LibreOffice).
    ("xmlss-unknown-entity.hand.xml",
     workbook(worksheet("Period 1", *names("Ann Lee", "&notaname; Lee"))),
     ["Ann Lee", E, E], "is damaged (entity 'notaname' not declared at line 11)"),
    ("xmlss-utf7.hand.xml",
     workbook(worksheet("Period 1", *names("Ann Lee"))).replace(
         '<?xml version="1.0"?>', '<?xml version="1.0" encoding="UTF-7"?>'),
     [], "is written in the UTF-7 character encoding, which Plivan cannot read"),
    ("xmlss-cut.hand.xml", cut(workbook(worksheet("Period 1", *names("Ann Lee", "Bob Stone", "Cy Young"))), "Cy Y"),
     ["Ann Lee", "Bob Stone", E, E], "is damaged (the file ends early)"),
    ("xmlss-no-worksheet.hand.xml", workbook(), [], "is damaged (it holds no worksheet)"),
    ("xmlss-form-feed.hand.xml", CONTROL, ["Ann Lee", "Bob Stone", E],
     "is damaged (it holds a character that XML does not allow, U+000C, at line %d)"
     % (CONTROL.count("\n", 0, CONTROL.index("\x0c")) + 1)),
    ("xmlss-entities.hand.xml",
     XML_HEAD.replace("<Workbook", '<!DOCTYPE Workbook [<!ENTITY a "Ann Lee">]>\n<Workbook')
     + worksheet("Period 1", row(text("&a;"))) + "</Workbook>\n",
     [], "is damaged (its XML declares entities of its own)"),
    ("xmlss-broken-tail.hand.xml",
     workbook(worksheet("Period 1", *names(*STUDENTS))).replace("<Row><Cell><Data ss:Type=\"String\">Student 1000",
                                                                 "<Row><Cell></Row><Data ss:Type=\"String\">x"),
     ["Student 0001", "Student 0002"], None),
]

# --------------------------------------------------------------------------
# Web pages.
# --------------------------------------------------------------------------


def page(body, head=""):
    return ("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Roster</title>\n%s</head>\n"
            "<body>\n%s</body>\n</html>\n" % (head, body))


def table(*rows):
    return "<table border=\"1\">\n%s</table>\n" % "".join("  <tr>%s</tr>\n" % r for r in rows)


def sjis_page(names, at):
    """A page in Shift_JIS whose first name starts at byte `at`."""
    head = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS"></head><body>\n'
            "<!-- %s -->\n<table>\n<tr><td>")
    body = "</td></tr>\n<tr><td>".join(names) + "</td></tr>\n</table></body></html>\n"
    pad = at - len((head % "").encode("shift_jis"))
    return ((head % ("x" * pad)) + body).encode("shift_jis")


def excel_page(names, at):
    """A sheet as Excel saves it as a web page, in Windows-1252: a conditional
    comment in the head, and conditional marks around rows, the first of
    which starts at byte `at`."""
    head = ('<html xmlns:o="urn:schemas-microsoft-com:office:office"\n'
            'xmlns:x="urn:schemas-microsoft-com:office:excel"\nxmlns="http://www.w3.org/TR/REC-html40">\n<head>\n'
            '<meta http-equiv=Content-Type content="text/html; charset=windows-1252">\n'
            '<meta name=ProgId content=Excel.Sheet>\n<style>\n<!--table\n\t{mso-displayed-decimal-separator:"\\.";}\n'
            '-->\n</style>\n<!--[if gte mso 9]><xml>\n <x:ExcelWorkbook>\n  <x:ExcelWorksheets>\n'
            '   <x:ExcelWorksheet>\n    <x:Name>Roster</x:Name>\n   </x:ExcelWorksheet>\n  </x:ExcelWorksheets>\n'
            ' </x:ExcelWorkbook>\n</xml><![endif]-->\n</head>\n<body link=blue vlink=purple>\n<!-- %s -->\n'
            "<table border=0 cellpadding=0 cellspacing=0 width=64>\n <col width=64>\n")
    row = " <tr height=20>\n  <td height=20 width=64>%s</td>\n </tr>\n"
    body = (" <![if supportMisc]>\n" + row % names[0] + " <![endif]>\n" + "".join(row % n for n in names[1:])
            + " <![if supportMisc]>\n <tr height=0 style='display:none'>\n  <td width=64></td>\n </tr>\n"
            " <![endif]>\n</table>\n</body>\n</html>\n")
    pad = at - len((head % "").encode("cp1252"))
    return ((head % ("x" * pad)) + body).encode("cp1252")


CASES += [
    ("html-spans.hand.html",
     page(table('<th scope="row">Ann Lee</th><td>7</td>', '<td rowspan="2">Bob Stone</td><td>7</td>', '<td>8</td>',
                '<td colspan="2">Cy Young</td>', '<td>Di Prince</td><td rowspan="2">8</td>', '<td>Ed Wood</td>',
                '<td></td><td>Only in column B</td>', '<td>Flo Hart</td>')),
     ["Ann Lee", "Bob Stone", E, "Cy Young", "Di Prince", "Ed Wood", E, "Flo Hart", E], None),
    ("html-text.hand.html",
     page(table("<td>\n      Ann Lee\n    </td>", "<td>Bob<br>Stone</td>", "<td>Cy&nbsp;&nbsp;Young</td>",
                "<td><p>Di</p><p>Prince</p></td>", "<td><b>Ed</b> <i>Wood</i></td>",
                "<td>Zo&euml; &Oslash;degaard &amp; co</td>", '<td><img src="photo.png" alt="Photo"> Flo Hart</td>',
                "<td>Gus Lamb<br></td>", "<td>&nbsp;</td>", "<td><span>Ha</span><span>l</span></td>",
                '<td><img src="photo.png" alt="Ivy Chen"></td>')),
     ["Ann Lee ", "Bob\nStone", "Cy  Young", "Di\nPrince", "Ed Wood", "Zoë Ødegaard & co", "Flo Hart",
      "Gus Lamb", " ", "Hal", "Ivy Chen", E], None),
    ("html-outside.hand.html",
     page("<h1>Period 1 Geometry</h1>\n<p>Mrs. Tolvane</p>\n" + table("<td>Ann Lee</td>", "<td>Bob Stone</td>")
          + "<p>Between tables</p>\n" + table("<td>Cy Young</td>")
          + "<ul>\n  <li>Di Prince</li>\n  <li>Ed Wood</li>\n</ul>\nA loose line<br>\nA second line\n<hr>\n"
          "<p>After the rule</p>\n"),
     ["Period 1 Geometry", "Mrs. Tolvane", "Ann Lee", "Bob Stone", "Between tables", "Cy Young", "Di Prince",
      "Ed Wood", "A loose line", "A second line ", E, "After the rule", E], None),
    # A layout table with the class list in its cells.
    ("html-nested.hand.htm",
     page(table("<td>" + table("<td>Ann Lee</td><td>1</td>", "<td>Bob Stone</td><td>2</td>") + "</td>",
                "<td>" + table("<td>Cy Young</td>") + "</td>")),
     ["Ann Lee", "Bob Stone", "Cy Young", E], None),
    ("html-nested-after.hand.html",
     page(table("<td>Lincoln School</td>", "<td>" + table("<td>Ann Lee</td>", "<td>Bob Stone</td>",
                                                           "<td>Cy Young</td>") + "</td>", "<td>Footer</td>")),
     ["Lincoln School", "Ann Lee", "Bob Stone", "Cy Young", "Footer", E], None),
    ("html-caption.hand.html",
     page("<table>\n<caption>Period 1</caption>\n<thead><tr><th>Ann Lee</th></tr></thead>\n"
          "<tbody><tr><td>Bob Stone</td></tr>\n<tr><td>Cy Young</td></tr></tbody>\n"
          "<tfoot><tr><td>3 students</td></tr></tfoot>\n</table>\n<p>After</p>\n"),
     ["Period 1 \nAnn Lee", "Bob Stone", "Cy Young", "After", E], None),
    ("html-numbers.hand.html",
     page(table(*("<td>%s</td>" % v for v in ["17", "1,234.5", "007", "0.30", "-2.5", "1e3", "02/09/2024", "TRUE",
                                              "12%", "$5.00", "1 234", "Lee, Ann"]))),
     ["17", "1234.5", "7", "0.3", "-2.5", "1000", "02/09/2024", "TRUE", "12%", "$5.00", "1 234", "Lee, Ann", E],
     None),
    # As web systems write a list for Excel: a bare table in Windows-1252,
    # named .xls.
    ("html-web.hand.xls",
     ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252"></head><body>\n'
      '<table border="1">\n' + "".join("<tr><td>%s</td><td>%s</td></tr>\n" % (n, c) for n, c in [
          ("Zoë Ødegaard", "7B"), ("José Muñoz", "7B"), ("Œda “Nan” Dupré", "7C")])
      + "</table></body></html>\n").encode("cp1252"),
     ["Zoë Ødegaard", "José Muñoz", "Œda “Nan” Dupré", E], None),
    ("html-cp1251.hand.html",
     ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1251"></head><body>\n'
      + table("<td>Юлия Петрова</td>", "<td>Ёжик Иванов</td>") + "</body></html>\n").encode("cp1251"),
     ["Юлия Петрова", "Ёжик Иванов", E], None),
    ("html-utf16.hand.htm",
     ("\ufeff" + page(table("<td>Αλέξανδρος Παπαδόπουλος</td>", "<td>\U00020BB7田 花子</td>"))
      .replace('<meta charset="utf-8">\n', "")).encode("utf-16-le"),
     ["Αλέξανδρος Παπαδόπουλος", "\U00020BB7田 花子", E], None),
    # Entities without their semicolons, numbered characters 128-159 in a
    # Windows-1252 page, and end tags that close nothing.
    ("html-entities.hand.html",
     page(table("<td>Ann&nbspLee</td>", "<td>Tom &amp Jerry</td>", "<td>O&#146;Brien</td>",
                "<td>Zo&euml &Oslash;degaard</td>", "<td>AT&T &notit;</td>", "<td>Cy</p>Young</td>",
                "<td>Di</br>Prince</td>")).replace('charset="utf-8"', 'charset="windows-1252"'),
     ["Ann Lee", "Tom & Jerry", "O\u2019Brien", "Zoë Ødegaard", "AT&T &notit;", "Cy\nYoung", "Di\nPrince", E],
     None),
    # Text in a table outside its cells: after the last row, a row of its own.
    ("html-stray.hand.html",
     page(table("<td>Ann Lee</td>").replace("</table>", "  Bob Stone\n</table>")
          + table("<td>Cy Young</td>", "<td>Ed Wood</td>").replace("  <tr><td>Ed", "  Di Prince\n  <tr><td>Ed")),
     ["Ann Lee", "Bob Stone ", "Cy Young", "Di Prince \nEd Wood", E], None),
    # A </table> inside a cell ends the table there: the rest of the cell and
    # the rows left after it are lines of their own, never joined together.
    ("html-stray-end.hand.html", page(table("<td>Ann Lee</td>", "<td>Bob</table> Stone</td>", "<td>Cy Young</td>")),
     ["Ann Lee", "Bob", "Stone ", "Cy Young ", E], None),
    # Shift_JIS, read in blocks of 1,024 bytes: the first name's first
    # character straddles the end of the fourth.
    ("html-sjis.hand.html", sjis_page(["山田 太郎", "鈴木 花子", "ソニー 次郎"], 4095),
     ["山田 太郎", "鈴木 花子", "ソニー 次郎", E], None),
    # Excel's conditional marks are no text; the first is cut by the end of
    # the first block of 1,024 bytes.
    ("html-excel.hand.htm", excel_page(["Zoë Ødegaard", "17", "Bob Stone"], 1020),
     ["Zoë Ødegaard", "17", "Bob Stone", E, E], None),
    # Damaged on purpose (not checked with LibreOffice).
    ("html-deep.hand.html", page("<div>" * 600 + table("<td>Ann Lee</td>")), [],
     "is damaged (its markup is nested too deeply)"),
    ("html-deep-tail.hand.html", page(table(*("<td>%s</td>" % s for s in STUDENTS[:400])) + "<div>" * 600),
     ["Student 0001", "Student 0002"], None),
]

# One page for each code page a page's character set can name, with names
# that only that code page spells so: the charset in <meta charset> or in
# the http-equiv form, under one of the names pages give it.
CHARSETS = [
    ("windows-1250", "cp1250", ["Łucja Wróbel", "Šárka Čermáková"]), ("windows-1253", "cp1253", ["Αλέξανδρος"]),
    ("windows-1254", "cp1254", ["Çağlar Şahin"]), ("windows-1255", "cp1255", ["עמית כהן"]),
    ("windows-1256", "cp1256", ["ليلى حسن"]), ("windows-1257", "cp1257", ["Jānis Bērziņš"]),
    ("windows-1258", "cp1258", ["Đào Tư"]), ("windows-874", "cp874", ["สมชาย ใจดี"]),
    ("gbk", "gbk", ["李小龙"]), ("gb2312", "gb2312", ["王小明"]), ("big5", "big5", ["李小龍"]),
    ("euc-kr", "euc_kr", ["김민준"]), ("ks_c_5601-1987", "cp949", ["박서연"]), ("euc-jp", "euc_jp", ["山田 太郎"]),
    ("gb18030", "gb18030", ["李小龙 \U00020BB7"]), ("koi8-r", "koi8_r", ["Юлия Петрова"]),
    ("koi8-u", "koi8_u", ["Ґрета Їжакова"]), ("macintosh", "mac_roman", ["Zoë Ødegaard"]),
    ("x-mac-roman", "mac_roman", ["Björn Åström"]), ("iso-8859-2", "iso8859_2", ["Łucja Wróbel"]),
    ("iso-8859-5", "iso8859_5", ["Юлия Петрова"]), ("iso-8859-7", "iso8859_7", ["Αλέξανδρος"]),
    ("iso-8859-15", "iso8859_15", ["Zoë Œuvre €"]), ("cp850", "cp850", ["Zoë Ødegaard"]),
    ("cp866", "cp866", ["Юлия Петрова"]), ("x-cp1251", "cp1251", ["Ёжик Иванов"]),
    ("windows-31j", "cp932", ["鈴木 花子"]), ("latin1", "cp1252", ["Zoë Dupré"]),
    ("us-ascii", "cp1252", ["Zoë Dupré"]), ("utf-16", "utf-8", ["Zoë 李"]),
]


def charset_page(charset, codec, names, http_equiv):
    meta = ('<meta http-equiv="Content-Type" content="text/html; charset=%s">' % charset if http_equiv
            else '<meta charset="%s">' % charset)
    return ("<html><head>%s</head><body>\n" % meta + table(*("<td>%s</td>" % n for n in names))
            + "</body></html>\n").encode(codec)


# No character set named, or one of no known name: UTF-8 while the bytes are
# UTF-8, else Windows-1252.
CASES += [("html-no-charset.hand.html",
           page(table("<td>Zoë Ødegaard</td>", "<td>Œda “Nan” Dupré</td>")).replace('<meta charset="utf-8">\n', "")
           .encode("cp1252"), ["Zoë Ødegaard", "Œda “Nan” Dupré", E], None),
          ("html-unknown-charset.hand.html", page(table("<td>Zoë 李</td>")).replace('"utf-8"', '"x-klingon"'),
           ["Zoë 李", E], None)]

# A page that names UTF-8 stays UTF-8 where a byte is not.
CASES += [("html-utf8-stray-byte.hand.html",
           page(table("<td>Zoë Ødegaard</td>", "<td>Ren@</td>")).encode("utf-8").replace(b"@", b"\xe9"),
           ["Zoë Ødegaard", "Ren\ufffd", E], None)]

# A byte order mark settles the encoding whatever the page's <meta> says.
CASES += [("html-bom-meta.hand.html",
           "\ufeff" + page(table("<td>Zoë Ødegaard</td>", "<td>李 小龍</td>")).replace('"utf-8"', '"windows-1252"'),
           ["Zoë Ødegaard", "李 小龍", E], None)]

CASES += [("html-charset-%s.hand.html" % charset, charset_page(charset, codec, names, i % 2 == 0), names + [E], None)
          for i, (charset, codec, names) in enumerate(CHARSETS)]

# --------------------------------------------------------------------------
# Formats Plivan names but does not read, written from their published
# layouts; LibreOffice or Gnumeric open the first two as what they are.
# --------------------------------------------------------------------------

READS = ("it reads .xls, .xlsx, .xlsb and .ods workbooks, Excel XML spreadsheets, SYLK and DIF spreadsheets, "
         "web pages holding a table, and text such as .csv and .txt files")


def unread(what):
    return "is %s, which Plivan cannot read (%s)" % (what, READS)


def records(*pairs):
    """Lotus-style records: a 16-bit type, a 16-bit length, the data."""
    return b"".join(struct.pack("<HH", kind, len(data)) + data for kind, data in pairs)


def zipped(*names):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for name in names:
            z.writestr(zipfile.ZipInfo(name, date_time=(2024, 9, 2, 8, 0, 0)), b"")
    return buffer.getvalue()


# A 1-2-3 Release 2 worksheet: BOF (version 0x0406), the sheet's range, a
# LABEL at A1 (format, column, row, text after its alignment prefix), EOF.
LOTUS = records((0x0000, struct.pack("<H", 0x0406)), (0x0006, struct.pack("<HHHH", 0, 0, 0, 0)),
                (0x000F, struct.pack("<BHH", 0xFF, 0, 0) + b"'Ann Lee\0"), (0x0001, b""))
# Quattro Pro for Windows 1.0 (.wb1): its BOF (version 0x1001), a page with
# a label at A1 (column, row, attribute, alignment prefix, text), EOF.
QUATTRO = records((0x0000, struct.pack("<H", 0x1001)), (202, b""),
                  (0x000F, struct.pack("<BBHH", 0, 0, 0, 0) + b"'Ann Lee\0"), (203, b""), (0x0001, b""))

CASES += [
    ("named-lotus.hand.wk1", LOTUS, [], unread("a Lotus 1-2-3 worksheet")),
    ("named-quattro.hand.wb1", QUATTRO, [], unread("a Quattro Pro notebook")),
    ("named-numbers.hand.numbers", zipped("Index/Document.iwa", "Metadata/Properties.plist"), [],
     unread("an Apple Numbers spreadsheet")),
    ("named-word2003.hand.xml", '<?xml version="1.0"?>\n<?mso-application progid="Word.Document"?>\n'
     '<w:wordDocument xmlns:w="http://schemas.microsoft.com/office/word/2003/wordml"><w:body><w:p><w:r><w:t>'
     'Ann Lee</w:t></w:r></w:p></w:body></w:wordDocument>\n', [], unread("a Word document")),
    ("named-pdf.hand.pdf", b"%PDF-1.4\n1 0 obj <</Type /Catalog /Pages 2 0 R>> endobj\n"
     b"2 0 obj <</Type /Pages /Kids [3 0 R] /Count 1>> endobj\n"
     b"3 0 obj <</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>> endobj\n"
     b"trailer <</Root 1 0 R>>\n%%EOF\n", [], unread("a PDF document")),
    ("named-rtf.hand.xls", "{\\rtf1\\ansi Ann Lee\\par Bob Stone\\par}\n", [], unread("an RTF document")),
    ("other-xml.hand.xml", '<?xml version="1.0"?>\n<class><student>Ann Lee</student></class>\n', [],
     "is not a workbook Plivan can read (%s)" % READS),
]

NAMED = {"named-lotus.hand.wk1": "Lotus", "named-quattro.hand.wb1": None}

DAMAGED = {"xmlss-cut.hand.xml", "xmlss-form-feed.hand.xml", "xmlss-entities.hand.xml", "xmlss-broken-tail.hand.xml", "html-deep.hand.html",
           "html-deep-tail.hand.html"}

# Where LibreOffice lists something else than Plivan, and why Plivan does
# not follow it.
LO_DIFFERS = {
    "html-stray-end.hand.html": "LibreOffice 7.4 passes over a </table> inside a cell, lists the cell whole ('Bob "
                                "Stone') and then empty rows; browsers, as libxml2's parser, end the table there and "
                                "run what follows into one line ('Stone Cy Young'). Plivan keeps each piece apart",
    "xmlss-utf16.hand.xml": "LibreOffice 7.4 reads the bytes of a UTF-16 XML spreadsheet as a single-byte text; "
                            "XML parsers, Gnumeric's among them, read UTF-16 by its byte order mark",
    "xmlss-html-entities.hand.xml": "LibreOffice 7.4 drops the & of a name XML does not define and keeps the rest "
                                    "as text ('Tau;heo Lee'); Gnumeric refuses the file, and a browser shows it "
                                    "as an XML error. Plivan reads each as the character HTML names by it",
    "xmlss-active.hand.xml": "LibreOffice 7.4 (and Gnumeric) open the first worksheet whatever ActiveSheet says; "
                             "Excel opens the one it names",
    "xmlss-types.hand.xml": "LibreOffice 7.4 leaves Boolean and Error cells empty, counts the day Excel writes "
                            "times alone on (1899-12-31) as a day of its own, and leaves out rich text inside "
                            "<U>, <S>, <Sup>, <Sub>, <Span> and formatting nested in formatting",
    "xmlss-span.hand.xml": "LibreOffice 7.4 (and Gnumeric) ignore ss:Span, which makes the row stand for itself and "
                           "the rows after it",
    "html-charset-x-mac-roman.hand.html": "LibreOffice 7.4 does not know x-mac-roman, the name browsers also read "
                                          "as Mac Roman, and reads the page as Windows-1252",
    "html-charset-x-cp1251.hand.html": "LibreOffice 7.4 does not know x-cp1251, the name browsers also read as "
                                       "Windows-1251, and reads the page as Windows-1252",
    "html-charset-windows-31j.hand.html": "LibreOffice 7.4 does not know Windows-31J, the name browsers also read "
                                          "as Shift_JIS, and reads the page as Windows-1252",
    "html-bom-meta.hand.html": "LibreOffice 7.4 reads the page in the character set its <meta> names although it "
                               "begins with UTF-8's byte order mark; browsers go by the byte order mark",
    "html-utf8-stray-byte.hand.html": "LibreOffice 7.4 takes the stray byte 0xE9 for the start of a three-byte "
                                      "character and swallows the '</' after it ('Ren?/td> '); browsers replace "
                                      "the byte alone with U+FFFD",
    "html-nested-after.hand.html": "LibreOffice's HTML (StarCalc) import places a table inside a cell by its "
                                   "width in pixels and leaves empty rows and shifted cells when rows come before "
                                   "it; Plivan puts the inner table's rows in the cell's place, as LibreOffice "
                                   "does when the inner table comes first",
}


def tsv_row(fname, cells, error):
    out = ["text/" + fname, error or "-"]
    for c in cells:
        out.append("<empty>" if c is None else c.replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n"))
    return "\t".join(out)


def lo_filter(fname):
    return "HTML (StarCalc)" if fname.endswith((".htm", ".html")) else None


def compare(office, path, want, rows):
    """Differences between LibreOffice's column A and `want` over `rows` rows."""
    listed = text_rosters.lo_column_a(office, path, lo_filter(path), rows)
    listed += [None] * (rows - len(listed))
    return [(r + 1, a, b) for r, (a, b) in enumerate(zip(listed, want)) if a != b]


# The hand-written text rosters of ../rosters that split at tabs or hold
# UTF-16, read by LibreOffice's text import told the separator (a tab unless
# the name ends in .csv, as the spreadsheet application splits them) and the
# encoding (65535: UTF-16 by its byte order mark; 76: UTF-8).
TEXT_ROSTERS = ["csv-unicode-text.hand.txt", "csv-utf16be.hand.csv", "csv-one-name-a-line.hand.txt",
                "csv-tabs.hand.xls"]


def expected_names(fname):
    """The names expected.tsv gives `fname` for 30 seats."""
    for line in open(os.path.join(ROSTERS, "expected.tsv"), encoding="utf-8"):
        f = line.rstrip("\n").split("\t")
        if f[0] == fname and f[1] == "30":
            return [n.replace("\\n", "\n") for n in f[3:]]
    raise KeyError(fname)


def check(office, failures):
    # LibreOffice opens the Lotus file with its Lotus filter; Gnumeric, which
    # reads Quattro Pro for Windows, takes the Quattro Pro file.
    props = (office.prop("Hidden", True),)
    doc = office.desktop.loadComponentFromURL("file://" + os.path.join(HERE, "named-lotus.hand.wk1"), "_blank", 0,
                                              props)
    filter_name = [a.Value for a in doc.getArgs() if a.Name == "FilterName"] if doc else []
    if doc:
        doc.close(True)
    if filter_name != ["Lotus"]:
        failures.append("named-lotus.hand.wk1: LibreOffice opens it with %s" % filter_name)
    with tempfile.TemporaryDirectory() as tmp:
        run = subprocess.run(["ssconvert", "-I", "Gnumeric_QPro:qpro", os.path.join(HERE, "named-quattro.hand.wb1"),
                              os.path.join(tmp, "out.csv")], capture_output=True, text=True)
        if run.returncode != 0:
            failures.append("named-quattro.hand.wb1: Gnumeric does not read it: " + run.stderr.strip())
    for fname, _, cells, error in CASES:
        if fname in DAMAGED or error:
            continue
        differs = compare(office, os.path.join(HERE, fname), cells, len(cells))
        if bool(differs) != (fname in LO_DIFFERS):
            failures.append("%s: LibreOffice lists %s" % (fname, differs or "the same (LO_DIFFERS is stale)"))
    # The roster fixtures: the list for 30 seats.
    # LibreOffice's and Gnumeric's; a content part alone is no file LibreOffice
    # opens, and lists what the .ods it comes from lists.
    rosters = [f for f in sorted(os.listdir(ROSTERS)) if f.endswith((".xml", ".html")) and "-content." not in f]
    for fname in rosters + TEXT_ROSTERS:
        path = os.path.join(ROSTERS, fname)
        options = None
        if fname in TEXT_ROSTERS:
            with open(path, "rb") as f:
                utf16 = f.read(2) in (b"\xff\xfe", b"\xfe\xff")
            options = "%d,34,%d,1" % (44 if fname.endswith(".csv") else 9, 65535 if utf16 else 76)
        listed = text_rosters.lo_column_a(office, path, "Text - txt - csv (StarCalc)" if options else lo_filter(fname),
                                          31, options)
        listed = make_rosters.roster(listed, 30)
        want = expected_names(fname)
        differs = [(r + 1, a, b) for r, (a, b) in enumerate(zip(listed, want)) if a != b]
        if bool(differs) != (fname in text_rosters.LO_DIFFERS):
            failures.append("%s: LibreOffice lists %s" % (fname, differs or "the same (LO_DIFFERS is stale)"))


def main():
    lines = ["# Hand-made XML spreadsheets and web pages (make_text.py): file, error (- for none), cells as in",
             "# ../cells.tsv."]
    for fname, content, cells, error in CASES:
        with open(os.path.join(HERE, fname), "wb") as f:
            f.write(content.encode("utf-8") if isinstance(content, str) else content)
        lines.append(tsv_row(fname, cells, error))
    with open(os.path.join(HERE, "cells.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        office = make_rosters.Office(os.path.join(tmp, "profile"))
        try:
            check(office, failures)
        finally:
            office.close()
    for failure in failures:
        print(failure, file=sys.stderr)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
