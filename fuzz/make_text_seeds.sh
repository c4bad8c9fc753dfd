#!/bin/sh
# Seeds for fuzz_csv, fuzz_xmlss, fuzz_html and fuzz_fods from the test
# files: every text roster, XML spreadsheet, web page and OpenDocument file
# of one XML document, whatever it is named.
#   fuzz/make_text_seeds.sh <folder>   writes <folder>/csv, <folder>/xmlss, <folder>/html, <folder>/fods
set -eu
data="$(cd "$(dirname "$0")/../tests/data" && pwd)"
out="$1"
mkdir -p "$out/csv" "$out/xmlss" "$out/html" "$out/fods"
cp "$data"/rosters/*.csv "$data"/rosters/*.txt "$data"/rosters/csv-tabs.hand.xls "$out/csv/"
cp "$data"/rosters/*.lo.xml "$data"/text/xmlss-*.xml "$data"/text/xmlss-web.hand.xls "$out/xmlss/"
cp "$data"/rosters/*.lo.html "$data"/text/html-*.htm* "$data"/text/html-web.hand.xls "$out/html/"
cp "$data"/rosters/*.fods "$data"/rosters/*-content.xml "$out/fods/"
