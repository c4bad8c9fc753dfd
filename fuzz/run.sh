#!/bin/sh
# Runs one fuzz target from build-fuzz on seeds made from the test files, with
# the limits it was run under before each release:
#   fuzz/run.sh <target> [seconds]      (600 when not given)
# Targets: fuzz_xls fuzz_biff fuzz_cfb fuzz_encrypted fuzz_xlsx fuzz_xlsb
#          fuzz_ods fuzz_csv fuzz_xmlss fuzz_fods fuzz_html fuzz_sylk fuzz_dif
# Seeds go to build-fuzz/seeds/<target>, what it finds to build-fuzz/corpus/<target>.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
seconds=${2:-600}
work="$root/build-fuzz"
seeds="$work/seeds/$target"
corpus="$work/corpus/$target"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"

limits="-rss_limit_mb=512 -max_len=65536"
# ASan's quarantine of freed memory, and its records of every allocation path
# through the uninstrumented libraries (Qt, ICU, libxml2), would otherwise
# grow past the memory limit over millions of runs.
export ASAN_OPTIONS=malloc_context_size=2:quarantine_size_mb=64
case $target in
fuzz_xls) /usr/bin/python3 "$root/fuzz/make_xls_seeds.py" "$seeds" ;;
fuzz_biff) cp "$root"/tests/data/rosters/*.script.biff*.xls "$seeds/" ;;
fuzz_cfb)
    /usr/bin/python3 "$root/fuzz/make_xls_seeds.py" "$seeds"
    cp "$root"/tests/data/rosters/*velvet*.xlsx "$root"/tests/data/rosters/bad-password.*.xlsx "$seeds/" ;;
fuzz_encrypted) /usr/bin/python3 "$root/fuzz/make_locked_seeds.py" "$seeds" ;;
fuzz_xlsx | fuzz_xlsb | fuzz_ods)
    /usr/bin/python3 "$root/fuzz/make_zip_seeds.py" "$work/seeds/zip"
    cp "$work/seeds/zip/${target#fuzz_}"/* "$seeds/"
    limits="-rss_limit_mb=512 -max_len=131072" ;;
fuzz_csv | fuzz_xmlss | fuzz_html | fuzz_fods)
    sh "$root/fuzz/make_text_seeds.sh" "$work/seeds/text"
    cp "$work/seeds/text/${target#fuzz_}"/* "$seeds/"
    [ "$target" = fuzz_csv ] && limits="-max_len=140000"
    [ "$target" = fuzz_xmlss ] || [ "$target" = fuzz_fods ] && limits="-rss_limit_mb=512 -max_len=131072" ;;
fuzz_sylk) cp "$root"/tests/data/rosters/*.slk "$seeds/" ;;
fuzz_dif) cp "$root"/tests/data/rosters/*.dif "$seeds/" ;;
*) echo "unknown target: $target" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
exec "$work/fuzz/$target" "$corpus" "$seeds" -max_total_time="$seconds" $limits -timeout=10
