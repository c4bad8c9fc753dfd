#!/bin/sh
# Runs plivan_e2e.py under Xvfb, in a D-Bus session of its own (for the
# accessibility bus), beside the private print server of cups-test.sh.
#
#   run-e2e.sh <plivan program> <roster fixture folder>
#
# Exits 77 (skipped) without xvfb-run or Debian's python3-pyatspi; the other
# tools it needs are an error when missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null 2>&1 || { echo "SKIP: xvfb-run is not installed"; exit 77; }
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
for tool in xdotool xwd dbus-run-session pdftotext; do
    command -v $tool >/dev/null 2>&1 || { echo "FAIL: $tool is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
exec sh "$here/../print/cups-test.sh" dbus-run-session -- \
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" /usr/bin/python3 "$here/plivan_e2e.py" "$@"
