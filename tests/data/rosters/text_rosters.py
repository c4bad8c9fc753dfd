"""What LibreOffice lists for the XML Spreadsheet 2003 (lo.xml) and web-page
(lo.html, gnumeric.html) roster fixtures that make_rosters.py has LibreOffice
and Gnumeric write, and a reader that has LibreOffice open a file and list
its column A.

listed() gives, for the files where that differs from the case's cells, the
column-1 texts LibreOffice shows when it opens the file, in the text form
Plivan uses (numbers as written, dates ISO). expected.tsv takes these.
../text/make_text.py checks every file against LibreOffice.
"""

import datetime
import os

LISTED = {
    # The web-page export writes a cell's value in LibreOffice's own sdval
    # attribute, which its import reads back: #N/A as 0.
    "formulas.lo.html": ["Ann Lee", "17", "0.3", "TRUE", "0", None, "After the empty result"],
    # A cell holding one space is written as white space, which a web page
    # does not show: an empty cell.
    "values-lo.lo.html": ["Ann Lee", "17", None, "007", "12345678901", "0.3", "-2.5", "Last"],
    # The web-page export writes the rows in use, from the first one that
    # holds a cell: the empty A1 is left out.
    "empty-a1.lo.html": ["Ann Lee", "Bob Stone", "Cy Young"],
    # A web page of all sheets: a rule, a list of the sheets, then each
    # sheet under its heading. The rule is an empty A1.
    "three-sheets.lo.html": [None],
    # LibreOffice's SYLK keeps no number formats: dates read back as serial
    # numbers, as written.
    "dates.lo.slk": ["Ann Lee", "45537", "45537.5729166667", "0.572916666666667", "45537", "Last"],
    # LibreOffice writes DIF in Windows-1252, Gnumeric's SYLK is ASCII: "?"
    # for every character they cannot hold.
    "unicode.lo.dif": ["José Álvarez", "Zoë Ødegaard", "?????????? ????????????", "???? ???????", "? ??",
                       "?? ??", "Nguy?n Th? H??ng", "O'Brien, Siobhan", "?ucja Wróbel", "???? ???"],
    "unicode.gnumeric.slk": ["Jos? ?lvarez", "Zo? ?degaard", "?????????? ????????????", "???? ???????", "? ??",
                             "?? ??", "Nguy?n Th? H??ng", "O'Brien, Siobhan", "?ucja Wr?bel", "???? ???"],
    # Gnumeric's DIF writes numbers to 6 significant digits and no formats.
    "dates.gnumeric.dif": ["Ann Lee", "45537", "45537.6", "0.572917", "45537", "Last"],
    "values.gnumeric.dif": ["Ann Lee", "17", " ", "007", "12345700000", "0.3", "-2.5", "TRUE", "FALSE", "Last"],
}

# Gnumeric's web page: each sheet a table with the sheet's name as its
# caption, which LibreOffice puts in the table's first cell; cells as shown.
GNUMERIC_HTML = {
    "dates": ["Ann Lee", "02/09/2024", "2024-09-02 13:45", "13:45", "2 September 2024", "Last"],
    # All sheets, one table after the other.
    "three-sheets": (["Sheet 1 Name %d" % i for i in range(1, 6)]
                     + ["Period 2 \nSecond Sheet 1"] + ["Second Sheet %d" % i for i in range(2, 9)]
                     + ["Period 3 \nSheet 3 Name 1"] + ["Sheet 3 Name %d" % i for i in range(2, 6)]),
    "values": ["Ann Lee", "17", None],  # a cell of one space is written as white space: empty
}


def listed(fname, intended):
    """What LibreOffice lists for fname, given the cells its case holds."""
    if fname.endswith(".gnumeric.html"):
        texts = GNUMERIC_HTML.get(fname.split(".")[0], intended)
        return ["Period 1 \n" + texts[0]] + texts[1:]
    return LISTED.get(fname, intended)


# Where LibreOffice, opening a file again, lists something else than Plivan
# does, and why Plivan does not follow it: file -> reason.
LO_DIFFERS = {
    "dates.lo.xml": "LibreOffice counts the day Excel writes times alone on (1899-12-31) as day 1 of its "
                    "dates: 13:45 reads as 1899-12-31 13:45:00; Plivan lists the time alone, as Excel does",
    "formulas.lo.xml": "LibreOffice 7.4 leaves cells of ss:Type Boolean empty; Plivan lists TRUE",
    "unicode.gnumeric.dif": "LibreOffice and Gnumeric read Gnumeric's UTF-8 DIF as Windows-1252 (JosÃ©); "
                            "Plivan reads valid UTF-8 as UTF-8",
    "values.gnumeric.dif": "Gnumeric reads its DIF truth values both as TRUE and the text \"007\" as 7, "
                           "LibreOffice reads them as 1, 0 and 007; Plivan lists TRUE, FALSE and 007",
    "values.gnumeric.slk": "LibreOffice reads Gnumeric's SYLK truth values as 0; Gnumeric and Plivan "
                           "list TRUE and FALSE",
    "dates.lo.html": "LibreOffice shows its own date cells (sdval with a date format in sdnum) as serial "
                     "numbers (45537); Plivan lists the date (2024-09-02)",
}

# com.sun.star.util.NumberFormat: DATE 2, TIME 4, DATETIME 6, LOGICAL 1024.
DATE_OR_TIME = 2 | 4
LOGICAL = 1024
# com.sun.star.sheet.FormulaResult.STRING
FORMULA_TEXT = 2


def number_text(v):
    if float(v).is_integer() and abs(v) < 2 ** 53:
        return "%d" % v
    return repr(float(v))


def date_text(serial):
    """A serial of the 1900 date system as Plivan shows it."""
    seconds = round(serial * 86400)
    day, rest = divmod(seconds, 86400)
    time = "%02d:%02d:%02d" % (rest // 3600, rest // 60 % 60, rest % 60)
    if serial < 1:
        return time
    date = (datetime.date(1899, 12, 30) + datetime.timedelta(days=day)).isoformat()
    return date if rest == 0 else date + " " + time


def lo_column_a(office, path, filter_name=None, rows=None, options=None):
    """Column A of the active sheet as LibreOffice loads `path` (with the
    filter and filter options given, else its own choice): a text per row
    (None for an empty cell) down to the last row in use, or `rows` rows."""
    props = [office.prop("Hidden", True)]
    if filter_name:
        props.append(office.prop("FilterName", filter_name))
    if options:
        props.append(office.prop("FilterOptions", options))
    doc = office.desktop.loadComponentFromURL("file://" + os.path.abspath(path), "_blank", 0, tuple(props))
    if doc is None:
        raise RuntimeError("LibreOffice could not open " + path)
    try:
        sheet = doc.CurrentController.ActiveSheet
        cursor = sheet.createCursor()
        cursor.gotoEndOfUsedArea(False)
        last = cursor.RangeAddress.EndRow + 1
        formats = doc.NumberFormats
        out = []
        for r in range(min(last, rows or last)):
            cell = sheet.getCellByPosition(0, r)
            kind = cell.Type.value
            if kind == "EMPTY":
                out.append(None)
            elif cell.getError() != 0:
                out.append(cell.String)
            elif kind == "TEXT" or (kind == "FORMULA" and cell.FormulaResultType2 == FORMULA_TEXT):
                out.append(cell.String or None)
            else:
                try:
                    kind = formats.getByKey(cell.NumberFormat).Type
                except Exception:  # a format LibreOffice cannot apply: it shows the number
                    out.append(cell.String)
                    continue
                if kind & LOGICAL:
                    out.append("TRUE" if cell.Value else "FALSE")
                else:
                    out.append(date_text(cell.Value) if kind & DATE_OR_TIME else number_text(cell.Value))
        return out
    finally:
        doc.close(True)
