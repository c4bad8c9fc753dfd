#!/bin/sh
# make-ico.sh ICON.svg OUT.ico: the Windows icon, the SVG drawn at the sizes
# Windows picks from (title bar, taskbar, Explorer's views).
set -eu
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 24 32 48 64 256; do
    rsvg-convert -w $size -h $size -o "$tmp/$size.png" "$1"
done
# The largest stays PNG-compressed inside the icon, as Windows expects.
icotool -c -o "$2" "$tmp/16.png" "$tmp/24.png" "$tmp/32.png" "$tmp/48.png" "$tmp/64.png" -r "$tmp/256.png"
