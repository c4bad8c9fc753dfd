#!/bin/sh
# Remakes the roster fixtures in this folder with LibreOffice (through
# python3-uno), Gnumeric's ssconvert, xlwt and openpyxl, then checks each
# file with independent readers and rewrites expected.tsv.
#   apt-get install libreoffice-calc python3-uno gnumeric python3-xlwt python3-openpyxl python3-xlrd
# Arguments: case names to remake (all when none).
set -eu
cd "$(dirname "$0")"
# Debian's Python, where the Debian modules are.
exec /usr/bin/python3 ./make_rosters.py "$@"
