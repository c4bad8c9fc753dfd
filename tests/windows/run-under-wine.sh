#!/bin/sh
# The Windows build under Wine, after scripts/build-windows.sh, in a fresh
# Wine prefix on a display of its own:
#
# - the QTest programs on the offscreen platform, with the zip's DLLs;
# - the MSI installed silently: its files, Start-menu shortcut, Apps &
#   features entry and first-use copy of the examples in C:\Plivan;
# - the installed plivan.exe on that C:\Plivan: a class chosen and seated at
#   random (the screen's grid and list checked), printed with no printer
#   (saved as a PDF in C:\Plivan), and Exit; the same for rosters whose file
#   names are in other scripts, named by settings files in UTF-8 and UTF-16;
# - a silent uninstall that leaves C:\Plivan as it was, an install that does
#   not touch an existing C:\Plivan, and an upgrade from a lower version.
#
# Each check is a function named check_*, run in the order listed at the end;
# each reports PASS or FAIL lines through `result`. Waits poll for what the
# step brings about (a window, a file, a change on screen) up to a deadline.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build-windows
here=$root/tests/windows
if [ -z "${PLIVAN_WINE_DISPLAY:-}" ]; then
    "$root/scripts/install-deps.sh" wine wine64 xvfb xauth xdotool x11-apps poppler-utils unzip python3 msitools wixl ||
        exit 1
    PLIVAN_WINE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh "$0" "$@"
fi
zip=$(ls "$out"/plivan-*-windows-x64.zip 2>/dev/null | tail -1)
version=${zip##*/plivan-} version=${version%-windows-x64.zip}
msi=$out/plivan-$version-x64.msi
qt=$(sed -n 's/^CMAKE_PREFIX_PATH:[A-Z]*=//p' "$out/plivan/CMakeCache.txt" 2>/dev/null)
[ -n "$zip" ] && [ -e "$msi" ] && [ -d "$qt/bin" ] || { echo "FAIL: no zip or MSI; run scripts/build-windows.sh first"; exit 1; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
now() { date +%s.%N; }
since() { awk "BEGIN { printf \"%.1f s\", $(now) - $1 }"; }

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds, for at most SECONDS.
wait_for() {
    deadline=$(($(date +%s) + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$(date +%s)" -ge "$deadline" ] && return 1
        sleep 0.2
    done
}

passed=0 failed=0
# result STATUS TEXT: counts and prints a check's outcome; returns STATUS.
result() {
    if [ "$1" = 0 ]; then passed=$((passed + 1)) && printf 'PASS: %s\n' "$2"; else failed=$((failed + 1)) && printf 'FAIL: %s\n' "$2"; fi
    return "$1"
}

# A prefix of our own, no printer (a print server nobody listens on), no Mono
# or Gecko installer prompts, and no menu entries or icons written to the
# Linux desktop for the shortcuts the installer makes; the folders Wine makes
# for them stay in build-windows, not in the home folder.
export WINEPREFIX="$out/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export XDG_DATA_HOME="$out/wine-xdg/data" XDG_CONFIG_HOME="$out/wine-xdg/config"
export CUPS_SERVER="$out/no-print-server.sock"
drive=$WINEPREFIX/drive_c
installed=$drive/Program\ Files/Plivan
data=$drive/Plivan
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# msiexec ARGS...: a silent msiexec, finished when every process it started is.
msiexec() {
    wine msiexec "$@" /qn
    status=$?
    wineserver -w
    return $status
}
# The Plivan entries in Apps & features (a busy machine can fail a first query).
entries() {
    for _ in 1 2 3; do reg=$(wine reg query "$uninstall_key" /s 2>/dev/null) && break; done
    printf '%s\n' "$reg" | python3 "$here/wine_checks.py" uninstall | grep "	Plivan	"
}
# The all-users Start menu on Windows; Wine's msi writes the user's instead.
shortcuts() { find "$drive/ProgramData" "$drive/users" -path '*/Start Menu/Programs/Plivan.lnk' 2>/dev/null; }
sums() { (cd "$1" && find . -type f -exec sha256sum {} + | sort -k 2); }

check_qtests() {
    # pdfPage and noPrinter read PDFs back with Debian's poppler tools, which a
    # Windows program cannot start; the saved PDF is read in check_program.
    echo "left out: tst_print's pdfPage and noPrinter (they run poppler's tools)"
    for exe in "$out"/plivan/tests/tst_*.exe; do
        name=$(basename "$exe" .exe) log=$out/$(basename "$exe" .exe).txt functions=""
        [ "$name" = tst_print ] && functions=$(grep -oP '^    void \K\w+(?=\(\)$)' "$root/tests/$name.cpp" |
            grep -Ev '_data$|^(pdfPage|noPrinter)$')
        # Wine hands QT_* variables over only when given as WINEQT_*.
        # shellcheck disable=SC2086 # one argument per test function
        WINEPATH="$(winpath "$zipped");$(winpath "$qt/bin")" WINEQT_PLUGIN_PATH="$(winpath "$qt/plugins")" \
            WINEQT_QPA_PLATFORM=offscreen timeout 300 wine "$exe" $functions -o "$log,txt" >/dev/null 2>&1
        result $? "$(basename "$exe") ($(grep -a '^Totals:' "$log" 2>/dev/null || echo "no result"))"
    done
    echo "left out: tst_print_cups (a CUPS server), e2e_plivan (X11 and AT-SPI), package_deb (a .deb)"
}

check_install() {
    t=$(now)
    msiexec /i "$(winpath "$msi")"
    result $? "msiexec /i $(basename "$msi") /qn ($(since "$t"))"
    # The program's folder holds the zip's files, byte for byte, examples included.
    [ "$(sums "$zipped")" = "$(sums "$installed")" ] && [ "$(sums "$root/examples/Plivan")" = "$(sums "$installed/examples/Plivan")" ]
    result $? "C:\\Program Files\\Plivan holds the zip's files, examples\\Plivan among them"
    [ "$(sums "$root/examples/Plivan")" = "$(sums "$data")" ]
    result $? "C:\\Plivan, absent before, holds the examples"
    # Wine's uninstall leaves these files even when they are not marked
    # permanent, so the table shows what Windows relies on: each file for
    # C:\Plivan permanent (16) and never-overwrite (128), only without PLIVANTXT.
    msiinfo export "$msi" Component | awk -F '\t' '$3 == "PLIVANFOLDER" {
        n++; if (int($4 / 16) % 2 == 0 || int($4 / 128) % 2 == 0 || $5 != "NOT PLIVANTXT") bad++ }
        END { exit !(n > 0 && !bad) }'
    result $? "the C:\\Plivan files are permanent and never-overwrite components, installed only without Plivan.txt"
}

check_shortcut() {
    lnk=$(shortcuts)
    target=$([ -n "$lnk" ] && python3 "$here/wine_checks.py" lnk "$lnk")
    [ "$target" = "C:\\Program Files\\Plivan\\plivan.exe	C:\\Program Files\\Plivan\\" ]
    result $? "Start-menu shortcut Plivan.lnk runs C:\\Program Files\\Plivan\\plivan.exe there (${lnk#"$drive"/})"
}

check_uninstall_entry() {
    entry=$(entries)
    [ "$(echo "$entry" | cut -f2-)" = "Plivan	$version	Plivan developers" ]
    result $? "one Apps & features entry: Plivan, DisplayVersion $version, Plivan developers"
    # The entry's icon is the product icon the installer keeps for it.
    icon=$(wine reg query "HKLM\\Software\\Classes\\Installer\\Products" /s /v ProductIcon 2>/dev/null |
        sed -n 's/^ *ProductIcon *REG_SZ *//p' | tr -d '\r' | tr '\\' / | sed 's|^C:|'"$drive"'|')
    [ -n "$icon" ] && cmp -s "$icon" "$out/plivan/generated/app/plivan.ico"
    result $? "the entry's icon is the program's"
}

# The window, found by its title, and its client area within Wine's frame.
window() { win=$(xdotool search --name '^Plivan  ' 2>/dev/null | head -1) && [ -n "$win" ]; }
click() { xdotool mousemove --window "$win" $((bx + $1)) $((by + $2)) click 1 mousemove 1270 1010; }
shot() { xwd -silent -id "$win" >"$out/$1.xwd"; }
screen_is() { shot "$1" && python3 "$here/wine_checks.py" screen "$out/$1.xwd" "$bx" "$by" "$1"; }
# click_and_settle X Y: a click, then until the window shows something new and holds still.
changed() { shot now && ! cmp -s "$out/now.xwd" "$out/before.xwd" && shot still && cmp -s "$out/now.xwd" "$out/still.xwd"; }
click_and_settle() { shot before && click "$1" "$2" && wait_for 10 changed; }
# The message box that names the saved PDF, once the PDF is there; and
# Return pressed in it until it has gone.
message() { box=$(xdotool search --name '^Plivan$' | head -1) && [ -n "$box" ] && [ -s "$pdf" ]; }
dismissed() {
    box=$(xdotool search --name '^Plivan$' | head -1)
    [ -z "$box" ] || { xdotool windowfocus "$box" key Return; false; }
}

# start_program: the installed plivan.exe, its window found and its client
# area placed; false when no window comes.
start_program() {
    (cd "$installed" && exec wine plivan.exe) &
    pid=$!
    wait_for 60 window || { kill $pid 2>/dev/null; return 1; }
    eval "$(xdotool getwindowgeometry --shell "$win")"
    # The client area is 981 x 670 pixels; Wine may draw a frame around it.
    bx=$(((WIDTH - 981) / 2)) by=$((HEIGHT - 670 - (WIDTH - 981) / 2))
    xdotool mousemove 1270 1010
}

# choose_seat_print CLASS HEADING NAMES: the first class chosen (an empty grid
# and 30 list rows), seated at random (every seat named, the list empty) and
# printed with no printer: the PDF named after the class in C:\Plivan holds
# HEADING and every word of NAMES (one a line). Then Exit.
choose_seat_print() {
    click_and_settle 828 564 # Select Class: the class list
    click 860 392            # its first class
    wait_for 20 screen_is chosen
    result $? "$1: class chosen, empty grid, 30 names in the list ($(screen_is chosen))"
    click 828 604 # Random Seating
    wait_for 20 screen_is seated
    result $? "$1: random seating, a name in every seat, the list empty ($(screen_is seated))"
    click 932 604 # Print, with no printer: saved as a PDF, and a message says so
    pdf="$data/$1.pdf"
    wait_for 30 message
    # A name may print on two lines: every word of every name must be on the
    # page, its ligatures (fi) read as their letters.
    text=" $(pdftotext "$pdf" - 2>/dev/null | python3 -c 'import sys, unicodedata
sys.stdout.write(unicodedata.normalize("NFKC", sys.stdin.read()))' | tr -s ' \n' '  ') "
    missing=$(printf '%s\n' "$3" | tr ' ' '\n' | while read -r w; do case "$text" in *" $w "*) ;; *) printf ' %s' "$w" ;; esac; done)
    case "$text" in *"$2"*) [ -z "$missing" ] ;; *) false ;; esac
    result $? "$1: PDF in C:\\Plivan with the heading and every name${missing:+ (missing:$missing)}"
    wait_for 15 dismissed
    click 932 644 # Exit
    wait_for 20 sh -c "! kill -0 $pid"
    # A program left running would hold up every later wineserver -w.
    result $? "$1: Exit ended the program" || wineserver -k
}

check_program() {
    start_program
    result $? "the installed plivan.exe shows its window" || return
    choose_seat_print "Period 1 Geometry" "Period 1 Geometry - Mrs. Tolvane" "$(cd "$root/examples" &&
        python3 -c 'from make_examples import *; print("\n".join(class_list("period1", SIZES["period1"])))')"
}

# Rosters under names in other scripts, named by a settings file in UTF-8 and
# in UTF-16 (Notepad's "Unicode"), each chosen, seated and printed in the
# installed program; C:\Plivan is put back as it was afterwards.
check_unicode_names() {
    saved=$out/plivan-folder-saved
    rm -rf "$saved" && cp -r "$data" "$saved"
    names=$(awk -F '\t' '$1 == "basic.lo.xlsx" && $2 == 30 { for (i = 4; i <= NF; i++) if ($i != "Empty") print $i }' \
        "$root/tests/data/rosters/expected.tsv")
    for run in "utf-8 Période 2|Période 2.xlsx|basic.lo.xlsx" "utf-16 Łódź 3|Łódź 3 Τάξη Класс 三班 🎒.xlsb|basic.script.xlsb" \
        "utf-16 Класс 5|Класс 5.ods|basic.lo.ods"; do
        encoding=${run%% *} rest=${run#* }
        class=${rest%%|*} rest=${rest#*|}
        roster=${rest%%|*} fixture=${rest#*|}
        rm -rf "$data" && mkdir -p "$data" && cp "$root/tests/data/rosters/$fixture" "$data/$roster"
        printf '#Teacher Name\r\nPani Wiśniewska\r\n#Rows of seats, Cols of Seats\r\n5,6\r\n#Class Names and student xls files\r\n%s#%s\r\n' \
            "$class" "$roster" | python3 -c 'import sys; sys.stdout.buffer.write(sys.stdin.buffer.read().decode("utf-8").encode(sys.argv[1]))' \
            "$encoding" >"$data/Plivan.txt"
        start_program
        result $? "$class ($encoding settings, roster $roster): the window" || continue
        choose_seat_print "$class" "$class - Pani Wiśniewska" "$names"
    done
    rm -rf "$data" && mv "$saved" "$data"
}

check_uninstall() {
    before=$(sums "$data")
    t=$(now)
    msiexec /x "$(winpath "$msi")"
    result $? "msiexec /x $(basename "$msi") /qn ($(since "$t"))"
    [ ! -e "$installed" ] && [ -z "$(shortcuts)" ] && [ -z "$(entries)" ]
    result $? "C:\\Program Files\\Plivan, the shortcut and the Apps & features entry are gone"
    [ "$(sums "$data")" = "$before" ]
    result $? "C:\\Plivan is as it was, the printed PDF included"
}

check_existing_folder() {
    # A teacher's own folder: their settings, a roster gone. Nothing changes.
    printf '#Teacher\nMs. Own\n#Rows\n2,2\n#Classes\nMine#mine.csv\n' >"$data/Plivan.txt"
    rm -f "$data/period2.xls"
    before=$(sums "$data")
    msiexec /i "$(winpath "$msi")" && [ "$(sums "$data")" = "$before" ]
    result $? "an install leaves an existing C:\\Plivan with its Plivan.txt as it was"
    msiexec /x "$(winpath "$msi")"
    # No Plivan.txt, but a roster of the teacher's own: the examples come,
    # and the roster stays.
    rm -f "$data/Plivan.txt"
    echo "Own roster" >"$data/period1.xls"
    msiexec /i "$(winpath "$msi")" && cmp -s "$data/Plivan.txt" "$root/examples/Plivan/Plivan.txt" &&
        cmp -s "$data/period2.xls" "$root/examples/Plivan/period2.xls" && [ "$(cat "$data/period1.xls")" = "Own roster" ]
    result $? "without Plivan.txt the examples come, and no file of the same name is replaced"
    msiexec /x "$(winpath "$msi")"
}

check_upgrade() {
    # The same build under a lower version number stands in for the release before.
    lower=$(python3 -c 'import sys; m, n = sys.argv[1].split(".")[:2]
print("%s.%0*d" % (m, len(n), int(n) - 1) if int(n) else "%d.99" % (int(m) - 1))' "$version")
    old=$out/plivan-$lower-x64.msi
    python3 "$root/packaging/make-msi.py" "$zipped" "$root/examples/Plivan" "$out/plivan/generated/app/plivan.ico" \
        "$lower" "$old" 2>/dev/null && msiexec /i "$(winpath "$old")"
    result $? "msiexec /i plivan-$lower-x64.msi /qn"
    t=$(now)
    msiexec /i "$(winpath "$msi")"
    status=$?
    took=$(since "$t")
    entry=$(entries)
    [ $status = 0 ] && [ "$(echo "$entry" | cut -f2-3)" = "Plivan	$version" ] && [ -e "$installed/plivan.exe" ]
    result $? "$version over $lower: one entry, version $version ($took)"
    msiexec /i "$(winpath "$old")"
    status=$?
    after=$(entries)
    [ $status != 0 ] && [ "$after" = "$entry" ]
    result $? "$lower over $version refused (msiexec exit $status), the entry kept$([ "$after" = "$entry" ] ||
        printf ' (entries now: %s)' "$(echo "$after" | cut -f2-3 | tr '\n\t' '; ')")"
    # A rebuild of the same version has a product code of its own.
    rebuilt=$out/plivan-$version-rebuilt.msi
    python3 "$root/packaging/make-msi.py" "$zipped" "$root/examples/Plivan" "$out/plivan/generated/app/plivan.ico" \
        "$version" "$rebuilt" && msiexec /i "$(winpath "$rebuilt")" && [ "$(entries | wc -l)" = 1 ] &&
        [ "$(entries)" != "$entry" ]
    result $? "a rebuild of $version over $version replaces it: one entry"
    rm -f "$old" "$rebuilt"
}

rm -rf "$WINEPREFIX" && wineboot -i >/dev/null 2>&1
zipped=$drive/Plivan-zip
mkdir -p "$zipped" && unzip -q "$zip" -d "$zipped"
for check in qtests install shortcut uninstall_entry program unicode_names uninstall existing_folder upgrade; do
    echo "== $check"
    "check_$check"
done
wineserver -k 2>/dev/null
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
