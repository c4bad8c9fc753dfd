#!/bin/sh
# Builds the Debian package from a finished build folder and checks it:
#
#   check-deb.sh <build folder> <source folder>            (the ctest entry)
#   check-deb.sh --install <build folder> <source folder>  (root: a real install)
#
# Its dependencies name Debian's runtime packages and resolve (simulated), its
# files sit where a desktop finds them, lintian finds no error or warning and
# the AppStream metadata validates (each where its checker is installed; the
# desktop entry has a test of its own), and the program (unpacked, or with
# --install installed with apt-get and removed again afterwards) finds every
# shared library and, started under Xvfb on a copy of the packaged example
# folder in a clean environment, shows its window and ends with status 0 on
# Exit.
# Exits 77 (skipped) when cpack, dpkg-deb, xvfb-run or xdotool is missing.
set -u
install=0
[ "${1:-}" = "--install" ] && install=1 && shift
[ $# -eq 2 ] || { echo "usage: $0 [--install] <build folder> <source folder>" >&2; exit 2; }
build=$(cd "$1" && pwd) && source=$(cd "$2" && pwd) || exit 2
for tool in cpack dpkg-deb xvfb-run xdotool; do
    command -v $tool >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d /tmp/plivan-deb.XXXXXX) || exit 1
installed=0
trap '[ $installed -eq 1 ] && DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq plivan >/dev/null 2>&1; rm -rf "$tmp"' EXIT
trap 'exit 143' INT TERM

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack failed"; }
deb=$(ls "$tmp"/pkg/plivan_*.deb | head -n 1)
dpkg-deb -f "$deb" Package Version Depends
for pkg in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 libzip4 libnettle8 libxml2 fonts-dejavu-core; do
    dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$pkg" || fail "Depends does not name $pkg"
done
for f in bin/plivan share/applications/plivan.desktop share/icons/hicolor/scalable/apps/plivan.svg \
    share/man/man1/plivan.1.gz share/doc/plivan/copyright share/doc/plivan/changelog.gz \
    share/metainfo/org.plivan.plivan.metainfo.xml; do
    dpkg-deb -c "$deb" | awk '{print $6}' | grep -qx "./usr/$f" || fail "the package lacks /usr/$f"
done
apt-get install -s "$deb" >"$tmp/apt.log" 2>&1 || { cat "$tmp/apt.log"; fail "its dependencies do not resolve"; }
dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb -x failed"
program="$tmp/root/usr/bin/plivan" doc="$tmp/root/usr/share/doc/plivan"
diff -r "$source/examples/Plivan" "$doc/examples/Plivan" || fail "the packaged examples differ from examples/Plivan"
version=$(dpkg-deb -f "$deb" Version)
[ "$(zcat "$doc/changelog.gz" | sed -n '1s/^plivan (\([^)]*\)).*/\1/p')" = "$version" ] ||
    fail "the changelog's newest entry is not $version"
grep -q "<release version=\"$version\"" "$tmp/root/usr/share/metainfo/org.plivan.plivan.metainfo.xml" ||
    fail "the AppStream metadata lists no release $version"
if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log"; fail "lintian"; }
    echo "PASS: lintian: no error or warning"
else
    echo "SKIP: lintian is not installed"
fi
if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate-tree --no-net "$tmp/root" || fail "appstreamcli validate-tree"
else
    echo "SKIP: appstreamcli is not installed"
fi
if [ $install -eq 1 ]; then
    dpkg-query -W -f='${Status}' plivan 2>/dev/null | grep -q "install ok installed" && fail "plivan is installed already"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "apt-get install failed"; }
    installed=1
    program=/usr/bin/plivan
fi
ldd "$program" | grep "not found" && fail "a shared library is missing"

# The first use the manual page describes: the packaged examples copied home.
mkdir -p "$tmp/home" && cp -r "${program%/bin/plivan}/share/doc/plivan/examples/Plivan" "$tmp/home/"
cat >"$tmp/run.sh" <<EOF
env -i HOME="$tmp/home" DISPLAY="\$DISPLAY" XAUTHORITY="\$XAUTHORITY" PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=xcb "$program" &
pid=\$!
window=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Plivan' | head -n 1)
[ -n "\$window" ] || exit 3
# Exit sits at (13440, 9480) twips, 1095 x 375: its middle is (932, 644) pixels.
xdotool mousemove --window "\$window" 932 644 click 1
i=0
while kill -0 \$pid 2>/dev/null && [ \$i -lt 100 ]; do sleep 0.1; i=\$((i + 1)); done
kill -0 \$pid 2>/dev/null && kill \$pid && exit 4
wait \$pid
EOF
xvfb-run -a -s "-screen 0 1280x1024x24" sh "$tmp/run.sh" >"$tmp/app.log" 2>&1
status=$?
[ $status -eq 0 ] || { cat "$tmp/app.log"; fail "$program did not show its window and end with status 0 on Exit ($status)"; }
echo "PASS: $program showed its window and ended with status 0 on Exit"
