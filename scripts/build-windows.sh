#!/bin/bash
# Cross-builds Plivan for 64-bit Windows on Debian 12 and packs it into
# build-windows/plivan-<version>-windows-x64.zip with every DLL it needs, and
# into the installer build-windows/plivan-<version>-x64.msi (wixl).
#
# Qt and the libraries Plivan links are built from Debian's own source
# packages with MinGW-w64 and cached outside the clone, in
# $PLIVAN_WINDOWS_CACHE/<package>-<version> (~/.cache/plivan/windows unless set),
# so a second run, or a fresh clone on the same machine, only rebuilds Plivan.
# Set JOBS to change the parallelism (2).
#
#   build-windows.sh --cached   builds nothing: exits 0 when the cache holds the
#                               Qt this machine's Qt host tools match, and
#                               otherwise 1, saying why.
set -euo pipefail
shopt -s nullglob

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-windows
deps=${PLIVAN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/plivan/windows}
work=$out/work
jobs=${JOBS:-2}
triplet=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
started=$SECONDS

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
log() { printf '== %s (%ds)\n' "$*" $((SECONDS - started)); }

# The version of a source package apt would fetch (qt6-base: the one matching
# the host tools, installed or about to be).
source_version() {
    if [ "$1" = qt6-base ]; then
        local ver
        ver=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null) || true
        [ -n "$ver" ] || ver=$(apt-cache policy qt6-base-dev-tools | sed -n 's/^ *Candidate: //p')
        echo "$ver"
        return
    fi
    apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -V | tail -1
}

if [ "${1:-}" = --cached ]; then
    ver=$(source_version qt6-base)
    [ -n "$ver" ] || { echo "no qt6-base-dev-tools package is known to apt"; exit 1; }
    [ -e "$deps/qt6-base-${ver//:/_}/.done" ] || { echo "$deps holds no Qt $ver for Windows"; exit 1; }
    echo "$deps/qt6-base-${ver//:/_}"
    exit 0
fi

packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    libz-mingw-w64-dev qt6-base-dev qt6-base-dev-tools cmake ninja-build pkgconf dpkg-dev librsvg2-bin icoutils
    autoconf automake libtool m4 zip unzip msitools wixl python3)
"$root/scripts/install-deps.sh" "${packages[@]}"

# apt-get source needs deb-src lines: the Debian archive's own deb lines
# (same URIs, suites and keys) with deb-src in their place.
ensure_deb_src() {
    local codename tmp sources=(/etc/apt/sources.list.d/*.sources)
    local lists=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list)
    if grep -Eqs '^(deb-src |Types:.*deb-src)' "${sources[@]}" "${lists[@]}"; then return; fi
    codename=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
    tmp=$(mktemp -d)
    awk -v RS= -v c="$codename" '$0 ~ "Types:[^\n]*deb" &&
        $0 ~ ("Suites:[^\n]*[ \t]" c "(-[a-z]+)?([ \t\n]|$)") { print $0 "\n" }' "${sources[@]}" /dev/null |
        sed 's/^Types:.*/Types: deb-src/' >"$tmp/plivan-deb-src.sources"
    grep -hE "^deb .* $codename(-[a-z]+)? " "${lists[@]}" /dev/null | sed 's/^deb /deb-src /' >"$tmp/plivan-deb-src.list" || true
    find "$tmp" -empty -delete
    [ -n "$(ls "$tmp")" ] || { echo "no Debian archive found in the apt sources" >&2; exit 1; }
    as_root cp "$tmp"/* /etc/apt/sources.list.d/
    rm -rf "$tmp"
    as_root apt-get update
}

# fetch PACKAGE VERSION DIR: unpacks Debian's source with Debian's patches
# applied; returns 1 when the archive does not serve the source.
fetch() {
    local dl=$work/download/$1-$2
    rm -rf "$3" "$dl" && mkdir -p "$dl" "$(dirname "$3")"
    if ! (cd "$dl" && apt-get source --download-only --only-source "$1=$2" >/dev/null); then
        echo "the source package $1 $2 could not be fetched" >&2
        rm -rf "$dl"
        return 1
    fi
    dpkg-source --no-check -x "$dl"/*.dsc "$3" >/dev/null || exit 1
    rm -rf "$dl"
}

# cached PACKAGE: sets $prefix; returns 0 when it was built by an earlier run.
cached() {
    local ver
    ver=$(source_version "$1")
    [ -n "$ver" ] || { echo "no source package $1" >&2; exit 1; }
    prefix=$deps/$1-${ver//:/_}
    pkgver=$ver
    [ -e "$prefix/.done" ]
}

build_qt() {
    if cached qt6-base; then return; fi
    local t=$SECONDS src=$work/qt6-base bld=$work/qt6-base-build
    log "qt6-base $pkgver"
    fetch qt6-base "$pkgver" "$src" || exit 1
    # Without Direct2D (a platform plugin of its own that Plivan does not use),
    # Qt 6.4 leaves out the DirectWrite font engine and font database that its
    # Windows print engine and platform still use whenever DirectWrite is on.
    sed -i 's/CONDITION QT_FEATURE_direct2d AND QT_FEATURE_directwrite/CONDITION QT_FEATURE_directwrite/' \
        "$src/src/gui/CMakeLists.txt"
    sed -i 's/#if QT_CONFIG(directwrite) && QT_CONFIG(direct2d)/#if QT_CONFIG(directwrite)/' \
        "$src/src/gui/text/windows/qwindowsfontdatabasebase.cpp"
    # Debian's source leaves out the Wintab header (its licence forbids
    # changes): the Windows platform is built without Wintab tablets; pens
    # still work as the mouse.
    (cd "$src/src/plugins/platforms/windows" &&
        sed -i 's/QT_CONFIG(tabletevent)/0/' qwindowscontext.cpp qwindowspointerhandler.cpp qwindowspointerhandler.h &&
        sed -i 's/CONDITION QT_FEATURE_tabletevent$/CONDITION FALSE/' CMakeLists.txt &&
        # Qt 6.4 turns on dynamic OpenGL even with OpenGL off.
        sed -i 's/QT_CONFIG(dynamicgl)/QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' qwindowswindow.cpp)
    rm -rf "$bld" "$prefix"
    # Only what Plivan and its tests use: Core, Gui, Widgets, PrintSupport, Test
    # and the Windows and offscreen platforms.
    cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF \
        -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_icu=OFF -DFEATURE_direct2d=OFF \
        -DFEATURE_system_zlib=ON -DFEATURE_system_png=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_freetype=OFF -DFEATURE_system_pcre2=OFF \
        -DFEATURE_windeployqt=OFF -DFEATURE_androiddeployqt=OFF
    nice -n 15 cmake --build "$bld" -j "$jobs"
    cmake --install "$bld" >/dev/null
    done_building "$t" qt6-base-build
    rm -rf "$src"
}

# done SECONDS_AT_START: records the build time, marks the prefix complete and
# makes its pkg-config files relocatable (the cache may be copied elsewhere).
done_building() {
    local pc
    for pc in "$prefix"/lib/pkgconfig/*.pc; do
        # shellcheck disable=SC2016 # pkg-config expands ${pcfiledir}
        [ -e "$pc" ] && sed -i 's|^prefix=.*|prefix=${pcfiledir}/../..|' "$pc"
    done
    echo "$((SECONDS - $1))" >"$prefix/.build-seconds"
    touch "$prefix/.done"
    rm -rf "${work:?}/$2"
}

# unpack PACKAGE: its source under $work with $prefix emptied for it; returns
# 1 when an earlier run built it.
unpack() {
    if cached "$1"; then return 1; fi
    log "$1 $pkgver"
    fetch "$1" "$pkgver" "$work/$1" || exit 1
    rm -rf "$prefix"
}

# autotools_build PACKAGE CONFIGURE-OPTIONS...
autotools_build() {
    local package=$1 t=$SECONDS
    shift
    unpack "$package" || return 0
    (
        cd "$work/$package"
        [ -x configure ] || autoreconf -fi >/dev/null 2>&1
        ./configure --host=$triplet --prefix="$prefix" --enable-shared --disable-static \
            CC=$triplet-gcc-posix CXX=$triplet-g++-posix "$@" >configure.log
        nice -n 15 make -j "$jobs" >make.log
        make install >/dev/null
    )
    done_building "$t" "$package"
}

# cmake_build PACKAGE CMAKE-OPTIONS...: a shared library.
cmake_build() {
    local package=$1 t=$SECONDS
    shift
    unpack "$package" || return 0
    cmake -S "$work/$package" -B "$work/$package/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON "$@" >/dev/null
    nice -n 15 cmake --build "$work/$package/build" -j "$jobs" >/dev/null
    cmake --install "$work/$package/build" >/dev/null
    done_building "$t" "$package"
}

build_deps() {
    build_qt
    qt=$prefix
    # Deflate through zlib only: no bzip2, xz, zstd or encryption back-ends.
    cmake_build libzip -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_OPENSSL=OFF \
        -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
        -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF \
        -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
    # Ciphers and hashes only: no public-key part, so no GMP and no hogweed.
    autotools_build nettle --disable-public-key --disable-documentation --disable-openssl
    # The HTML parser over UTF-8 that Plivan decodes itself: no iconv, ICU or
    # compression, no network, no Python, programs or tests.
    cmake_build libxml2 -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_LZMA=OFF \
        -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF \
        -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF
    dep_prefixes=("$qt")
    local p
    for p in libzip nettle libxml2; do
        cached $p || true
        dep_prefixes+=("$prefix")
    done
}

build_plivan() {
    local bld=$out/plivan pcdirs="" p
    for p in "${dep_prefixes[@]}"; do pcdirs+=$p/lib/pkgconfig:; done
    export PKG_CONFIG_LIBDIR=${pcdirs}/usr/$triplet/lib/pkgconfig PKG_CONFIG_PATH=
    log "Plivan"
    cmake -S "$root" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DPLIVAN_WERROR=ON \
        -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_FIND_ROOT_PATH="$(IFS=';' && echo "${dep_prefixes[*]}")" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
    nice -n 10 cmake --build "$bld" -j "$jobs"
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$bld/CMakeCache.txt")
}

imports() { $triplet-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }

# DLLs that come with every Windows since 7, never shipped with a program.
is_system_dll() {
    grep -Eqix '(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|winspool\.drv|uxtheme|dwmapi|imm32|winmm|version|ws2_32|mpr|netapi32|userenv|msvcrt|shlwapi|setupapi|wtsapi32|dwrite|d2d1|d3d9|d3d11|dxgi|shcore|authz|bcrypt|ntdll|crypt32|uiautomationcore|api-ms-win-[a-z0-9-]+)(\.dll)?' <<<"$1"
}

# The zip: plivan.exe, the Qt plugins it loads, and every DLL these import
# that Windows does not have, found among Qt, the libraries and MinGW's runtime.
pack() {
    local stage=$out/stage zip dll found f d lost=0
    local dirs=("${dep_prefixes[@]/%//bin}" "$(dirname "$($triplet-gcc-posix -print-libgcc-file-name)")" "/usr/$triplet/lib")
    rm -rf "$stage" && mkdir -p "$stage/platforms" "$stage/styles"
    cp "$out/plivan/app/plivan.exe" "$stage/"
    cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
    cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
    local queue=("$stage/plivan.exe" "$stage/platforms/qwindows.dll" "$stage/styles/qwindowsvistastyle.dll")
    while [ ${#queue[@]} -gt 0 ]; do
        f=${queue[0]}
        queue=("${queue[@]:1}")
        for dll in $(imports "$f"); do
            [ -e "$stage/$dll" ] && continue
            found=""
            for d in "${dirs[@]}"; do
                if [ -z "$found" ] && [ -e "$d/$dll" ]; then found=$d/$dll; fi
            done
            if [ -n "$found" ]; then
                cp "$found" "$stage/" && queue+=("$stage/$dll")
            elif ! is_system_dll "$dll"; then
                echo "$(basename "$f") imports $dll, which is neither in the zip nor part of Windows" >&2
                lost=1
            fi
        done
    done
    [ $lost = 0 ] || exit 1
    find "$stage" \( -name '*.dll' -o -name '*.exe' \) -exec $triplet-strip --strip-unneeded {} +
    # The example Plivan folder, to copy to C:\Plivan (the installer does).
    mkdir -p "$stage/examples" && cp -r "$root/examples/Plivan" "$stage/examples/"
    zip=$out/plivan-$version-windows-x64.zip
    rm -f "$zip" && (cd "$stage" && zip -qr -X "$zip" .)
    log "$(basename "$zip"): $(du -k "$zip" | cut -f1) KiB"
    (cd "$stage" && find . -type f | sort | sed 's|^\./|    |')
    # The installer: the same files, and the program's icon.
    msi=$out/plivan-$version-x64.msi
    python3 "$root/packaging/make-msi.py" "$stage" "$root/examples/Plivan" "$out/plivan/generated/app/plivan.ico" \
        "$version" "$msi"
    log "$(basename "$msi"): $(du -k "$msi" | cut -f1) KiB"
}

main() {
    ensure_deb_src
    mkdir -p "$deps" "$work"
    build_deps
    build_plivan
    pack
    local p
    for p in "$deps"/*/.build-seconds; do
        echo "   $(basename "$(dirname "$p")"): built in $(cat "$p") s"
    done
    log "done"
}

main "$@"
exit
