#!/bin/sh
# Remakes examples/Plivan/period*.xls with xlwt, openpyxl, LibreOffice and
# Gnumeric (Debian: python3-xlwt python3-openpyxl python3-xlrd
# libreoffice-calc gnumeric).
set -eu
cd "$(dirname "$0")"
exec /usr/bin/python3 ./make_examples.py "$@"
