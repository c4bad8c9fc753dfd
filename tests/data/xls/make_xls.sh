#!/bin/sh
# Makes the .xls files of this folder (see make_xls.py for what each holds).
# Needs python3-xlwt, python3-xlrd, libreoffice-calc, libreoffice-writer, gnumeric.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lo() { libreoffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }

/usr/bin/python3 "$here/make_xls.py"

# LibreOffice's own BIFF8: numbers side by side stored as MULRK, its own
# splitting of the shared strings over CONTINUE records.
for name in kinds sst-continue; do
    mkdir -p "$work/$name"
    lo --convert-to xls --outdir "$work/$name" "$here/$name.xlwt.xls"
    mv "$work/$name/$name.xlwt.xls" "$here/$name.lo.xls"
done

# Gnumeric's BIFF5 (Excel 95) of the same values.
ssconvert "$here/kinds.xlwt.xls" "$here/kinds.gnumeric95.xls" \
    --export-type=Gnumeric_Excel:excel_biff7 2>/dev/null

# BIFF5 text in a code page other than Windows-1252: Gnumeric writes 1252,
# so the names are written as the Windows-1252 characters whose bytes are the
# Windows-1251 Cyrillic names, and the CODEPAGE record is changed to 1251.
/usr/bin/python3 - "$work/cyrillic.csv" <<'EOF'
import sys
names = ["Юлия Петрова", "Александр Пушкин", "Ёжик Иванов"]
with open(sys.argv[1], "w", encoding="utf-8") as f:
    for n in names:
        f.write(n.encode("cp1251").decode("cp1252") + "\n")
EOF
ssconvert "$work/cyrillic.csv" "$work/cyrillic.xls" --export-type=Gnumeric_Excel:excel_biff7 2>/dev/null
/usr/bin/python3 - "$work/cyrillic.xls" "$here/cp1251.gnumeric95.xls" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
record = b"\x42\x00\x02\x00\xe4\x04"  # CODEPAGE 1252
assert data.count(record) == 1
open(sys.argv[2], "wb").write(data.replace(record, b"\x42\x00\x02\x00\xe3\x04"))
EOF

# A compound file that is not a workbook: a Word 97 document.
printf 'Not a class list\n' > "$work/letter.txt"
lo --convert-to doc --outdir "$work" "$work/letter.txt"
mv "$work/letter.doc" "$here/not-a-workbook.lo.doc"
