#!/bin/sh
# Builds the Debian package from a finished build folder and checks it:
#
#   check-deb.sh <build folder> <source folder>            (the ctest entry)
#   check-deb.sh --install <build folder> <source folder>  (root: real install)
#
# Without --install the package is unpacked into a temporary root: its control
# fields name Debian's runtime packages, apt resolves them (simulated), its
# files sit where a desktop finds them, the desktop entry is valid, the
# unpacked program finds every shared library, and, started under Xvfb on a
# copy of the example folder, it shows its window and ends with status 0 when
# Exit is clicked. With --install the package is installed with apt-get,
# /usr/bin/plivan is checked the same way, and the package is removed again
# (it must not have been installed before). Exits 77 (skipped) when dpkg-deb,
# Xvfb or xdotool is missing.
set -u

install=0
if [ "${1:-}" = "--install" ]; then
    install=1
    shift
fi
if [ $# -ne 2 ]; then
    echo "usage: $0 [--install] <build folder> <source folder>" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
source=$(cd "$2" && pwd) || exit 2

skip() {
    echo "SKIP: $*"
    exit 77
}
for tool in cpack dpkg-deb Xvfb xdotool; do
    command -v $tool >/dev/null 2>&1 || skip "$tool is not installed"
done

tmp=$(mktemp -d /tmp/plivan-deb.XXXXXX) || exit 1
xvfb_pid=
app_pid=
installed_here=0
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    if [ $installed_here -eq 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq plivan >/dev/null 2>&1
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== Building the package"
(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) || {
    cat "$tmp/cpack.log"
    fail "cpack failed"
}
deb=$(ls "$tmp"/pkg/plivan_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no plivan_*.deb"
echo "$(basename "$deb")"

echo "== Control fields"
dpkg-deb -f "$deb" Package Version Architecture Depends
depends=$(dpkg-deb -f "$deb" Depends)
for pkg in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 libgsf-1-114 libzip4 fonts-dejavu-core; do
    echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$pkg" || fail "Depends does not name $pkg"
done

echo "== Files"
dpkg-deb -c "$deb" | awk '{print $6}' >"$tmp/files"
for f in ./usr/bin/plivan ./usr/share/applications/plivan.desktop \
    ./usr/share/icons/hicolor/scalable/apps/plivan.svg; do
    grep -qx "$f" "$tmp/files" || fail "the package lacks $f"
done
cat "$tmp/files" | grep -v '/$'

if command -v apt-get >/dev/null 2>&1; then
    echo "== Dependencies resolve (simulated install)"
    apt-get install -s "$deb" >"$tmp/apt.log" 2>&1 || {
        cat "$tmp/apt.log"
        fail "apt-get cannot resolve the package's dependencies"
    }
    grep -E '^(Inst|Conf) ' "$tmp/apt.log" || echo "(every dependency is installed already)"
fi

mkdir -p "$tmp/root"
dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb -x failed"
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$tmp/root/usr/share/applications/plivan.desktop" ||
        fail "the installed desktop entry is not valid"
fi

if [ $install -eq 1 ]; then
    [ "$(id -u)" -eq 0 ] || fail "--install needs root"
    if dpkg-query -W -f='${Status}' plivan 2>/dev/null | grep -q "install ok installed"; then
        fail "plivan is installed already; remove it first"
    fi
    echo "== Installing with apt-get"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$tmp/install.log" 2>&1 || {
        cat "$tmp/install.log"
        fail "apt-get install failed"
    }
    installed_here=1
    program=/usr/bin/plivan
else
    program="$tmp/root/usr/bin/plivan"
fi

echo "== Shared libraries of $program"
ldd "$program" >"$tmp/ldd" 2>&1 || fail "ldd failed: $(cat "$tmp/ldd")"
if grep -q "not found" "$tmp/ldd"; then
    cat "$tmp/ldd"
    fail "a shared library is missing"
fi

echo "== Starting $program under Xvfb on the example folder"
mkdir -p "$tmp/home"
cp -r "$source/examples/Plivan" "$tmp/home/Plivan"
# A display number of its own: other test runs may start servers meanwhile.
DISPLAY=
for attempt in 1 2 3 4 5; do
    number=$(( $(od -An -N2 -tu2 /dev/urandom) % 900 + 100 ))
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp 2>"$tmp/xvfb.log" &
    xvfb_pid=$!
    tries=0
    while [ $tries -lt 100 ] && kill -0 $xvfb_pid 2>/dev/null; do
        if DISPLAY=":$number" xdotool getmouselocation >/dev/null 2>&1; then
            DISPLAY=":$number"
            break 2
        fi
        tries=$((tries + 1))
        sleep 0.1
    done
    kill $xvfb_pid 2>/dev/null
    wait $xvfb_pid 2>/dev/null
    xvfb_pid=
done
[ -n "$DISPLAY" ] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
export DISPLAY

# A clean environment, as a desktop session would give: no build paths.
env -i HOME="$tmp/home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    QT_QPA_PLATFORM=xcb "$program" >"$tmp/app.log" 2>&1 &
app_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Plivan' 2>/dev/null | head -n 1)
if [ -z "$window" ]; then
    cat "$tmp/app.log"
    fail "the program showed no window within 30 s"
fi
xdotool getwindowgeometry "$window"
# Exit sits at (13440, 9480) twips, 1095 x 375: its middle is (932, 644) pixels.
xdotool mousemove --window "$window" 932 644 click 1
waited=0
while kill -0 $app_pid 2>/dev/null; do
    waited=$((waited + 1))
    if [ $waited -gt 100 ]; then
        cat "$tmp/app.log"
        fail "the program did not end within 10 s of Exit"
    fi
    sleep 0.1
done
wait $app_pid
status=$?
app_pid=
[ $status -eq 0 ] || {
    cat "$tmp/app.log"
    fail "the program ended with status $status"
}
echo "The program showed its window and ended with status 0 on Exit."
echo "PASS"
