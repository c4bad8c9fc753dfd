#!/bin/sh
# Runs a test program against a private CUPS server whose default queue keeps
# every job it is sent.
#
#   cups-test.sh <test program> [arguments...]
#
# The server runs from a temporary folder (configuration, spool, logs, cache,
# state) and listens only on a Unix socket there, so no port is opened and the
# system's own printers are never seen. Its one queue, "capture", is the
# default; its backend copies each job's file to a capture folder. The test
# program is run with CUPS_SERVER set to the socket and PLIVAN_CAPTURE_DIR set
# to the capture folder. Exits with the program's status, or 77 (skipped) when
# CUPS is not installed. The server is stopped and the folder removed however
# the script ends.
set -u

here=$(cd "$(dirname "$0")" && pwd)
PATH="$PATH:/usr/sbin:/sbin"
export PATH

if [ $# -lt 1 ]; then
    echo "usage: $0 <test program> [arguments...]" >&2
    exit 2
fi

skip() {
    echo "SKIP: $*"
    exit 77
}

command -v cupsd >/dev/null 2>&1 || skip "cupsd is not installed"
command -v lpadmin >/dev/null 2>&1 || skip "lpadmin is not installed"
command -v lpstat >/dev/null 2>&1 || skip "lpstat is not installed"
# cupsd starts backends through its cups-exec helper, found in ServerBin.
cups_exec=
for dir in /usr/lib/cups /usr/libexec/cups /usr/local/lib/cups; do
    if [ -x "$dir/daemon/cups-exec" ]; then
        cups_exec="$dir/daemon/cups-exec"
        break
    fi
done
[ -n "$cups_exec" ] || skip "cups-exec of the CUPS server was not found"

umask 022
# Under /tmp: a Unix socket path must stay short.
tmp=$(mktemp -d /tmp/plivan-cups.XXXXXX) || exit 1
socket="$tmp/cups.sock"
cupsd_pid=

cleanup() {
    if [ -n "$cupsd_pid" ]; then
        kill "$cupsd_pid" 2>/dev/null
        wait "$cupsd_pid" 2>/dev/null
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

show_log() {
    echo "--- CUPS error log: last errors, warnings and notes ---"
    grep -E '^[EWI] ' "$tmp/log/error_log" 2>/dev/null | tail -n 30
}

mkdir -p "$tmp/root/ppd" "$tmp/bin/backend" "$tmp/bin/daemon" "$tmp/bin/filter" \
    "$tmp/spool/tmp" "$tmp/cache" "$tmp/state" "$tmp/log" "$tmp/capture" || exit 1
chmod 0755 "$tmp"
ln -s "$cups_exec" "$tmp/bin/daemon/cups-exec"
# pdftopdf, for the second queue below; cupsd looks for its filters once, at start.
pdftopdf=${cups_exec%/daemon/cups-exec}/filter/pdftopdf
[ -x "$pdftopdf" ] && ln -s "$pdftopdf" "$tmp/bin/filter/pdftopdf"
cp "$here/capture-backend" "$tmp/bin/backend/capture" || exit 1
# cupsd runs a backend as root only when it is owned by root and readable by
# nobody else; any other backend runs as the unprivileged User. It refuses
# backends that others can write.
if [ "$(id -u)" -eq 0 ]; then
    chmod 0700 "$tmp/bin/backend/capture"
    run_as=
else
    chmod 0755 "$tmp/bin/backend/capture"
    run_as="User $(id -un)
Group $(id -gn)
SystemGroup $(id -gn)"
fi
chmod 0777 "$tmp/capture"

cat > "$tmp/cupsd.conf" <<CONF
Listen $socket
LogLevel debug
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

cat > "$tmp/cups-files.conf" <<CONF
ServerRoot $tmp/root
ServerBin $tmp/bin
RequestRoot $tmp/spool
TempDir $tmp/spool/tmp
CacheDir $tmp/cache
StateDir $tmp/state
AccessLog $tmp/log/access_log
ErrorLog $tmp/log/error_log
PageLog $tmp/log/page_log
Printcap $tmp/printcap
$run_as
CONF

cupsd -f -c "$tmp/cupsd.conf" -s "$tmp/cups-files.conf" &
cupsd_pid=$!
# Should this script itself be killed outright (SIGKILL runs no trap), a
# watchdog stops the server and removes the folder.
script_pid=$$
(
    trap '' INT TERM
    while kill -0 "$script_pid" 2>/dev/null; do
        sleep 1
    done
    kill "$cupsd_pid" 2>/dev/null
    sleep 1
    rm -rf "$tmp"
) </dev/null >/dev/null 2>&1 &

tries=0
until [ -S "$socket" ] && lpstat -h "$socket" -r 2>/dev/null | grep -q "is running"; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$cupsd_pid" 2>/dev/null; then
        echo "The private CUPS server did not start." >&2
        show_log
        exit 1
    fi
    sleep 0.1
done

# The queue takes PDF as it is; its PPD gives it US Letter paper by default.
if ! lpadmin -h "$socket" -p capture -E -v "capture:$tmp/capture" -P "$here/capture.ppd" 2>"$tmp/lpadmin.err" ||
    ! lpadmin -h "$socket" -d capture 2>>"$tmp/lpadmin.err"; then
    cat "$tmp/lpadmin.err" >&2
    show_log
    exit 1
fi

# A second queue, "narrow": CUPS's own HP DeskJet driver, half-inch margins at
# the top and bottom of the paper, A4 by default. Its filters are replaced by
# CUPS's pdftopdf alone, so the backend keeps the page as the printer would
# get it: turned onto the paper.
narrow=
driverd=${cups_exec%/cups-exec}/cups-driverd
if [ -x "$driverd" ] && [ -x "$tmp/bin/filter/pdftopdf" ]; then
    "$driverd" cat drv:///sample.drv/deskjet.ppd 2>/dev/null |
        sed -E -e '/^\*cupsFilter2?:/d' -e 's/^\*Default(PageSize|PageRegion|ImageableArea|PaperDimension): .*/*Default\1: A4/' \
            -e 's|^(\*PPD-Adobe.*)$|\1\n*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"|' >"$tmp/narrow.ppd"
    lpadmin -h "$socket" -p narrow -E -v "capture:$tmp/capture" -P "$tmp/narrow.ppd" 2>>"$tmp/lpadmin.err" &&
        narrow="$tmp/narrow.ppd"
fi

CUPS_SERVER="$socket" PLIVAN_CAPTURE_DIR="$tmp/capture" PLIVAN_NARROW_PPD="$narrow" "$@"
status=$?
[ $status -eq 0 ] || show_log
exit $status
