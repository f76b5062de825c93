#!/usr/bin/env bash
# Installs what the build needs when it is missing, and fetches the TinyXML and libdeflate sources
# into the build folder.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KWILL_BUILD:-$root/build}

# "bench" also installs the native peers the benchmark compares against (gcc builds the fnmatch
# peer, bench/native/fnmatch_peer.c).
optional=""
[ "${1:-}" = bench ] && optional="librust-blake3-dev libpcre2-dev zlib1g-dev gcc libc6-dev"
packages="$optional cmake make openssl g++-mingw-w64-x86-64-posix mingw-w64 wine wine64 libz-mingw-w64-dev googletest nlohmann-json3-dev dpkg-dev xz-utils zip unzip python3"
# The public headers and import libraries: clang reads the headers as a Microsoft-ABI compiler
# (python3-clang-14 lets the header check walk its syntax tree), LLVM's dlltool makes
# kwilllib.lib and llvm-nm lists symbols, lld links the Microsoft-ABI sample.
packages="$packages clang llvm lld python3-clang-14"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
updated=0
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $sudo apt-get update -q
    updated=1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

# Source packages (TinyXML with Debian's security patches, libdeflate) come from Debian and are
# unpacked into the build folder, never committed here.
sources_ready=0
add_source_lists() {
    [ "$sources_ready" = 1 ] && return
    sources_ready=1
    src=/etc/apt/sources.list.d/kwill-deb-src.sources
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
        $sudo tee "$src" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        updated=0 # the lists read so far hold no source packages
    fi
}

# fetch_source PACKAGE UNPACKED-DIR-GLOB TARGET: unpacks Debian's source package into TARGET.
fetch_source() {
    add_source_lists
    work=$(mktemp -d)
    chmod 755 "$work"
    # Try with the package lists as they are; refresh them only when that fails.
    if ! (cd "$work" && apt-get source -q "$1" >/dev/null 2>&1); then
        [ "$updated" = 1 ] || $sudo apt-get update -q
        updated=1
        (cd "$work" && apt-get source -q "$1")
    fi
    mkdir -p "$build/_deps"
    rm -rf "$3"
    mv "$work"/$2/ "$3"
    rm -rf "$work"
    echo "$1 source in $3"
}

tinyxml="$build/_deps/tinyxml"
[ -f "$tinyxml/tinyxml.h" ] || fetch_source tinyxml 'tinyxml-2.6.*' "$tinyxml"
libdeflate="$build/_deps/libdeflate"
[ -f "$libdeflate/libdeflate.h" ] || fetch_source libdeflate 'libdeflate-1.*' "$libdeflate"
