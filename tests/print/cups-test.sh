#!/bin/sh
# Runs a program beside a private CUPS server: cups-test.sh <program> [arguments...]
#
# The server runs from a temporary folder and listens only on a Unix socket
# there, so the system's own printers are never seen. Its default queue,
# "capture", takes PDF as it is (US Letter by default); a second one,
# "narrow", is CUPS's own HP DeskJet driver (half-inch margins at the paper's
# top and bottom, A4 by default) with its filters replaced by pdftopdf alone,
# so that its backend keeps the page turned onto the paper as the printer
# would get it. Both backends copy each job to a capture folder. The program
# gets CUPS_SERVER, PLIVAN_CAPTURE_DIR and PLIVAN_NARROW_AREA: the narrow
# queue's imageable area and paper size on A4 from its PPD, in points (empty
# when the DeskJet driver is missing). Exits with the program's status, or 77 (skipped)
# without CUPS.
set -u
here=$(cd "$(dirname "$0")" && pwd)
PATH="$PATH:/usr/sbin:/sbin"
for tool in cupsd lpadmin lpstat; do
    command -v $tool >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
cups=
for dir in /usr/lib/cups /usr/libexec/cups; do
    [ -x "$dir/daemon/cups-exec" ] && cups=$dir
done
[ -n "$cups" ] || { echo "SKIP: the CUPS server's helpers were not found"; exit 77; }

umask 022
tmp=$(mktemp -d /tmp/plivan-cups.XXXXXX) || exit 1 # a socket path must stay short
socket="$tmp/cups.sock"
pid=
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT
trap 'exit 143' INT TERM
mkdir -p "$tmp/root/ppd" "$tmp/bin/backend" "$tmp/bin/daemon" "$tmp/bin/filter" "$tmp/spool/tmp" "$tmp/log" "$tmp/capture"
chmod 0755 "$tmp" && chmod 0777 "$tmp/capture"
ln -s "$cups/daemon/cups-exec" "$tmp/bin/daemon/"
# cupsd looks for its filters once, at start.
[ -x "$cups/filter/pdftopdf" ] && ln -s "$cups/filter/pdftopdf" "$tmp/bin/filter/"
cp "$here/capture-backend" "$tmp/bin/backend/capture"
# A backend owned by root and readable by nobody else runs as root; any
# other runs as the user, who must then be named.
if [ "$(id -u)" -eq 0 ]; then
    chmod 0700 "$tmp/bin/backend/capture"
    user=
else
    user="User $(id -un)
Group $(id -gn)
SystemGroup $(id -gn)"
fi
printf '%s\n' "Listen $socket" "LogLevel warn" "Browsing No" "WebInterface No" "DefaultAuthType None" \
    "<Location />" "Order allow,deny" "Allow all" "</Location>" "<Policy default>" "<Limit All>" \
    "Order deny,allow" "</Limit>" "</Policy>" >"$tmp/cupsd.conf"
printf '%s\n' "ServerRoot $tmp/root" "ServerBin $tmp/bin" "RequestRoot $tmp/spool" "TempDir $tmp/spool/tmp" \
    "CacheDir $tmp/spool" "StateDir $tmp/spool" "ErrorLog $tmp/log/error_log" "AccessLog $tmp/log/access_log" \
    "PageLog $tmp/log/page_log" "Printcap $tmp/printcap" "$user" >"$tmp/cups-files.conf"
cupsd -f -c "$tmp/cupsd.conf" -s "$tmp/cups-files.conf" &
pid=$!
tries=0
until lpstat -h "$socket" -r 2>/dev/null | grep -q "is running"; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] && kill -0 $pid 2>/dev/null || { cat "$tmp/log/error_log"; echo "CUPS did not start" >&2; exit 1; }
    sleep 0.1
done
lpadmin -h "$socket" -p capture -E -v "capture:$tmp/capture" -P "$here/capture.ppd" &&
    lpadmin -h "$socket" -d capture || exit 1
narrow=
if "$cups/daemon/cups-driverd" cat drv:///sample.drv/deskjet.ppd 2>/dev/null |
    sed -E -e '/^\*cupsFilter2?:/d' -e 's/^\*Default(PageSize|PageRegion|ImageableArea|PaperDimension): .*/*Default\1: A4/' \
        -e 's|^(\*PPD-Adobe.*)$|\1\n*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"|' >"$tmp/narrow.ppd" &&
    [ -L "$tmp/bin/filter/pdftopdf" ] && lpadmin -h "$socket" -p narrow -E -v "capture:$tmp/capture" -P "$tmp/narrow.ppd"; then
    a4() { sed -n "s/^\*$1 A4[/:][^\"]*\"\([^\"]*\)\".*/\1/p" "$tmp/narrow.ppd"; }
    narrow="$(a4 ImageableArea) $(a4 PaperDimension)"
fi
CUPS_SERVER="$socket" PLIVAN_CAPTURE_DIR="$tmp/capture" PLIVAN_NARROW_AREA="$narrow" "$@"
status=$?
[ $status -eq 0 ] || grep '^E ' "$tmp/log/error_log" | grep -v 'Filter .* not found' | tail -n 20
exit $status
