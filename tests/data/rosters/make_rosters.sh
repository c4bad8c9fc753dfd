#!/bin/sh
# Remakes the roster fixtures in this folder with LibreOffice (through
# python3-uno), Gnumeric's ssconvert, xlwt and openpyxl, and rewrites
# expected.tsv from the lists each case is meant to give.
#   apt-get install libreoffice-calc python3-uno gnumeric python3-xlwt python3-openpyxl
#   (and python3-xlrd python3-cryptography python3-msoffcrypto-tool for the locked ones)
# Arguments: case names to remake (all when none).
# ROSTERS_OUT=/absolute/folder writes everything there instead.
set -eu
cd "$(dirname "$0")"
# Debian's Python, where the Debian modules are.
exec /usr/bin/python3 ./make_rosters.py "$@"
