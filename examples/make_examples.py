#!/usr/bin/python3
"""Makes the example class lists in Plivan/ with real spreadsheet programs.

Run through make_examples.sh. The names are made up: first and family names
drawn from mixed lists with a fixed seed, plus a few written out by hand.
  period1.xls  Python xlwt (Excel 97-2003)
  period2.xls  LibreOffice Calc (Excel 97-2003)
  period3.xls  Python openpyxl: an Excel 2007+ workbook saved under an .xls name
  period4.xls  Python xlwt
  period6.xls  LibreOffice Calc
  period7.xls  Gnumeric (Excel 97-2003)
"""

import io
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "Plivan")

FIRST = ["Ana", "Ben", "Chloe", "Dmitri", "Elif", "Farah", "Gus", "Hana", "Ines", "Jonah",
         "Kofi", "Lena", "Mateo", "Nia", "Oskar", "Priya", "Quentin", "Rosa", "Sami", "Tomás",
         "Uma", "Vikram", "Wren", "Ximena", "Yara", "Zeke", "Christopher", "Maximiliana",
         "Bartholomew", "Jo", "Al", "Zoë", "Søren", "Anaïs", "Łukasz", "Núria", "Giulia"]
LAST = ["Lima", "Okafor", "Brandt", "Castellanos", "Haddad", "Ivanenko", "Jensen", "Kowal",
        "Lindqvist", "Moreau", "Nakamura", "Oyelaran", "Pereira", "Quist", "Rahman", "Sato",
        "Tanaka-Whitfield", "Underwood", "Vasquez", "Wojcik", "Yilmaz", "Zapata", "Montgomery",
        "Featherstone", "Ng", "Li", "Ødegaard", "Müller-Lüdenscheidt", "Dubois", "Esposito"]
SPECIAL = ["Юлия Петрова", "Арсений Волков", "李 小梅", "王 浩然", "Σοφία Καραγιάννη",
           "O'Brien, Siobhan", "Nguyễn Thị Mai", "Kim Ji-woo", "Ayşe Demir", "Priyanka",
           "D'Souza, Rohan", "Mary-Kate Van der Berg", "Ngozi Adeyemi-Okonkwo", "José Ángel Ruiz",
           "Wayra Quispe", "Aroha Ngata", "Björk Sigurðardóttir", "Farid al-Masri"]

SIZES = {"period1": 25, "period2": 28, "period3": 30, "period4": 22, "period6": 26, "period7": 20}


def class_list(name, count):
    rng = random.Random("plivan-" + name)
    names = set(rng.sample(SPECIAL, 5))
    while len(names) < count:
        names.add("%s %s" % (rng.choice(FIRST), rng.choice(LAST)))
    names = sorted(names)
    rng.shuffle(names)
    return names


def write_xlwt(names, path):
    import xlwt
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Students")
    for r, n in enumerate(names):
        ws.write(r, 0, n)
    ws.col(0).width = 256 * 30
    wb.save(path)


def write_openpyxl(names, path):
    import openpyxl
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Students"
    for r, n in enumerate(names, start=1):
        ws.cell(row=r, column=1, value=n)
    ws.column_dimensions["A"].width = 30
    tmp = path + ".xlsx"
    wb.save(tmp)
    os.replace(tmp, path)


def write_libreoffice(names, path, tmp):
    csv = os.path.join(tmp, os.path.basename(path)[:-4] + ".csv")
    with open(csv, "w", encoding="utf-8", newline="\r\n") as f:
        for n in names:
            f.write('"%s"\n' % n.replace('"', '""'))
    subprocess.run(["soffice", "--headless", "--norestore",
                    "-env:UserInstallation=file://" + os.path.join(tmp, "profile"),
                    "--infilter=CSV:44,34,76,1", "--convert-to", "xls:MS Excel 97",
                    "--outdir", tmp, csv], check=True, stdout=subprocess.DEVNULL)
    shutil.move(csv[:-4] + ".xls", path)


def write_gnumeric(names, path, tmp):
    csv = os.path.join(tmp, "gnumeric.csv")
    with open(csv, "w", encoding="utf-8", newline="\r\n") as f:
        for n in names:
            f.write('"%s"\n' % n.replace('"', '""'))
    subprocess.run(["ssconvert", "-T", "Gnumeric_Excel:excel_biff8", csv, path], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        for period, count in SIZES.items():
            names = class_list(period, count)
            path = os.path.join(OUT, period + ".xls")
            if period in ("period1", "period4"):
                write_xlwt(names, path)
            elif period == "period3":
                write_openpyxl(names, path)
            elif period == "period7":
                write_gnumeric(names, path, tmp)
            else:
                write_libreoffice(names, path, tmp)
            # Read back: the file holds exactly the list, in order.
            got = read_back(path)
            if got != names:
                print("%s: wrote %r, read %r" % (period, names, got))
                return 1
            print("%s.xls: %d names" % (period, len(names)))
    return 0


def read_back(path):
    with open(path, "rb") as f:
        zipped = f.read(2) == b"PK"
    if zipped:
        import openpyxl
        with open(path, "rb") as f:  # openpyxl goes by the name; give it the bytes
            ws = openpyxl.load_workbook(io.BytesIO(f.read())).active
        return [row[0].value for row in ws.iter_rows(max_col=1) if row[0].value]
    import xlrd
    sh = xlrd.open_workbook(path).sheet_by_index(0)
    return [sh.cell_value(r, 0) for r in range(sh.nrows)]


if __name__ == "__main__":
    sys.exit(main())
