#!/bin/sh
# The Windows build under Wine, after scripts/build-windows.sh: the QTest
# programs on the offscreen platform, then plivan.exe from the zip on a display
# of its own, on a C:\Plivan made from examples/Plivan in a fresh Wine prefix.
# A class is chosen and seated at random (the screen's grid and list checked),
# printed with no printer (saved as a PDF in C:\Plivan), and Exit ends it.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build-windows
if [ -z "${PLIVAN_WINE_DISPLAY:-}" ]; then
    PLIVAN_WINE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh "$0" "$@"
fi
for tool in wine xdotool xwd pdftotext unzip python3; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done
zip=$(ls "$out"/plivan-*-windows-x64.zip 2>/dev/null | tail -1)
qt=$(ls -d "$out"/deps/qt6-base-* 2>/dev/null | tail -1)
[ -n "$zip" ] && [ -n "$qt" ] || { echo "FAIL: no zip; run scripts/build-windows.sh first"; exit 1; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# A prefix of our own, no printer (a print server nobody listens on), no
# Mono or Gecko installer prompts.
export WINEPREFIX="$out/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export CUPS_SERVER="$out/no-print-server.sock"
rm -rf "$WINEPREFIX" && wineboot -i >/dev/null 2>&1
app=$WINEPREFIX/drive_c/Plivan-program
mkdir -p "$app" && unzip -q "$zip" -d "$app"
passed=0 failed=0
result() {
    if [ "$1" = 0 ]; then passed=$((passed + 1)); echo "PASS: $2"; else failed=$((failed + 1)); echo "FAIL: $2"; fi
}

# The QTest programs use the zip's DLLs, Qt's test library and its offscreen
# platform. Wine hands QT_* variables over only when given as WINEQT_*.
# pdfPage and noPrinter read PDFs back with Debian's poppler tools, which a
# Windows program cannot start; the saved PDF is read below instead.
echo "left out: tst_print's pdfPage and noPrinter (they run poppler's tools)"
for exe in "$out"/plivan/tests/tst_*.exe; do
    name=$(basename "$exe" .exe) log=$out/$(basename "$exe" .exe).txt functions=""
    [ "$name" = tst_print ] && functions=$(grep -oP '^    void \K\w+(?=\(\)$)' "$root/tests/$name.cpp" |
        grep -Ev '_data$|^(pdfPage|noPrinter)$')
    # shellcheck disable=SC2086 # one argument per test function
    WINEPATH="$(winpath "$app");$(winpath "$qt/bin")" WINEQT_PLUGIN_PATH="$(winpath "$qt/plugins")" \
        WINEQT_QPA_PLATFORM=offscreen timeout 300 wine "$exe" $functions -o "$log,txt" >/dev/null 2>&1
    result $? "$(basename "$exe") ($(grep -a '^Totals:' "$log" 2>/dev/null || echo "no result"))"
done
echo "left out: tst_print_cups (a CUPS server), e2e_plivan (X11 and AT-SPI), package_deb (a .deb)"

# The program on a Plivan folder in C:\.
data=$WINEPREFIX/drive_c/Plivan
mkdir -p "$data" && cp "$root"/examples/Plivan/* "$data/"
(cd "$app" && exec wine plivan.exe) &
pid=$!
win=""
for _ in $(seq 60); do
    win=$(xdotool search --name '^Plivan  ' 2>/dev/null | head -1) && [ -n "$win" ] && break
    sleep 1
done
[ -n "$win" ] || { echo "FAIL: no Plivan window"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$win")"
# The client area is 981 x 670 pixels; Wine may draw a frame around it.
bx=$(((WIDTH - 981) / 2)) by=$((HEIGHT - 670 - (WIDTH - 981) / 2))
click() { xdotool mousemove --window "$win" $((bx + $1)) $((by + $2)) click 1; sleep 1; }
shot() { xdotool mousemove 1270 1010; sleep 1; xwd -silent -id "$win" >"$out/$1.xwd"; }
# Ink in the window's seat boxes and student list rows, from an xwd dump:
# rows 5 x columns 6 of 120 x 112 pixels from (48, 72); the list at (784, 8).
check() {
    python3 - "$out/$1.xwd" $bx $by "$2" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
h = struct.unpack(">25I", data[:100])
px, bpp, line = data[h[0] + h[19] * 12:], h[11] // 8, h[12]
bx, by, want = int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
def dark(x, y):
    o = (by + y) * line + (bx + x) * bpp
    return sum(px[o:o + 3]) < 3 * 128
def ink(x0, y0, x1, y1):
    return sum(dark(x, y) for y in range(y0, y1) for x in range(x0, x1))
seats = [ink(48 + 120 * c + 8, 72 + 112 * r + 8, 48 + 120 * c + 112, 72 + 112 * r + 104) for r in range(5) for c in range(6)]
edges = all(dark(48 + 120 * c + 60, 72 + 112 * r + d) for r in range(5) for c in range(6) for d in (0, 112))
rows, gap = 0, 9  # a row of text starts after 3 blank lines (accents stand 1 apart)
for y in range(12, 528):
    if ink(790, y, 930, y + 1):
        rows, gap = rows + (gap >= 3), 0
    else:
        gap += 1
empty = sum(1 for s in seats if s == 0)
print("grid lines %s, %d of 30 seats empty, %d list rows with text" % ("drawn" if edges else "MISSING", empty, rows))
ok = edges and ((want == "chosen" and empty == 30 and rows == 30) or (want == "seated" and empty == 0 and rows == 0))
sys.exit(0 if ok else 1)
PY
}
click 828 564                 # Select Class
click 860 392                 # its first class, Period 1 Geometry
shot chosen && check chosen chosen
result $? "class chosen: empty grid, 30 names in the list"
click 828 604                 # Random Seating
shot seated && check seated seated
result $? "random seating: a name in every seat, the list empty"
click 932 604                 # Print, with no printer: saved as a PDF
pdf="$data/Period 1 Geometry.pdf"
for _ in $(seq 20); do [ -s "$pdf" ] && break; sleep 1; done
box=$(xdotool search --name '^Plivan$' | head -1)
[ -n "$box" ] && xdotool windowfocus "$box" key Return
names=$(cd "$root/examples" && python3 -c 'from make_examples import *; print("\n".join(class_list("period1", SIZES["period1"])))')
# A name may print on two lines: every word of every name must be on the page.
text=" $(pdftotext "$pdf" - 2>/dev/null | tr -s ' \n' '  ') "
missing=$(printf '%s\n' "$names" | tr ' ' '\n' | while read -r w; do case "$text" in *" $w "*) ;; *) printf ' %s' "$w" ;; esac; done)
case "$text" in *"Period 1 Geometry - Mrs. Tolvane"*) [ -z "$missing" ] ;; *) false ;; esac
result $? "PDF in C:\\Plivan with the heading and every name${missing:+ (missing:$missing)}"
click 932 644                 # Exit
for _ in $(seq 20); do kill -0 $pid 2>/dev/null || break; sleep 1; done
! kill -0 $pid 2>/dev/null
result $? "Exit ended the program"
wineserver -k 2>/dev/null
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
