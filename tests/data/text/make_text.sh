#!/bin/sh
# Writes the hand-made XML spreadsheets and web pages in this folder and
# cells.tsv, and checks them and the roster fixtures of those formats with
# LibreOffice (through python3-uno).
#   apt-get install libreoffice-calc python3-uno
set -eu
cd "$(dirname "$0")"
# Debian's Python, where the Debian modules are.
exec /usr/bin/python3 ./make_text.py "$@"
