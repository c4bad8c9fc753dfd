#!/usr/bin/env bash
# Installs the Debian 12 packages Plivan needs to build, run and test, when
# any is missing; given package names, installs those instead (when missing).
# Uses sudo when not run as root.
set -euo pipefail

packages=(
    # build
    g++ cmake make pkg-config qt6-base-dev libzip-dev nettle-dev libxml2-dev
    # run: fonts for the window and the page (Latin, Greek, Cyrillic and CJK names)
    fonts-dejavu-core fonts-liberation2 fonts-wqy-microhei
    # tests: reading printed pages back, a private print server, a display server
    poppler-utils cups cups-client cups-bsd xvfb xauth xdotool
    at-spi2-core python3-pyatspi dbus-daemon desktop-file-utils x11-apps
    # tests: the sources' layout, checked with Debian 12's clang-format (14)
    clang-format
    # the package: dpkg-shlibdeps finds its dependencies; Debian's and
    # AppStream's checkers
    dpkg-dev lintian appstream
)
[ $# -eq 0 ] || packages=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
