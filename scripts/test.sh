#!/usr/bin/env bash
# Builds Plivan and runs every test twice: in a build with warnings as errors,
# and in an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

jobs=$(nproc)
run() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -DPLIVAN_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
    (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

echo "== Build and tests"
run "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DPLIVAN_SANITIZE=ON
