#!/bin/sh
# Runs the end-to-end test: the built program under Xvfb, driven with the mouse
# (xdotool) and read through the accessibility interface (AT-SPI, pyatspi), in
# its own D-Bus session and with a private CUPS server whose default queue
# keeps every job.
#
#   run-e2e.sh <plivan program> <roster fixture folder>
#
# Exits 77 (skipped) when Xvfb or Debian's python3-pyatspi is missing; the
# other tools it needs are an error when missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)

skip() {
    echo "SKIP: $*"
    exit 77
}
missing() {
    echo "FAIL: $* (scripts/install-deps.sh installs it)" >&2
    exit 1
}
command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is not installed"
[ -x /usr/bin/python3 ] || skip "/usr/bin/python3 is not installed"
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || skip "python3-pyatspi is not installed"
for tool in xdotool dbus-run-session pdftotext; do
    command -v $tool >/dev/null 2>&1 || missing "$tool is not installed"
done
launcher=
for dir in /usr/libexec /usr/lib/at-spi2-core /usr/lib/at-spi2; do
    [ -x "$dir/at-spi-bus-launcher" ] && launcher=yes
done
[ -n "$launcher" ] || missing "at-spi2-core (the accessibility bus) is not installed"

exec sh "$here/../print/cups-test.sh" \
    dbus-run-session -- /usr/bin/python3 "$here/plivan_e2e.py" "$@"
