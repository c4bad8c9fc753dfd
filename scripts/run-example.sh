#!/usr/bin/env bash
# Installs what is missing, builds Plivan, and opens its window on a copy of
# the example folder (examples/Plivan) under the build tree. Your own Plivan
# folder is never touched: the program runs with HOME set to that copy's parent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target plivan

home="$build/example-home"
rm -rf "$home"
mkdir -p "$home"
cp -r "$root/examples/Plivan" "$home/Plivan"
HOME="$home" exec "$build/app/plivan"
