#!/usr/bin/env bash
# Installs what the build needs when it is missing, and fetches the TinyXML source into the build folder.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KWILL_BUILD:-$root/build}

# "bench" also installs the native peers the benchmark compares against.
optional=""
[ "${1:-}" = bench ] && optional="b3sum"
packages="$optional cmake make openssl zip unzip g++-mingw-w64-x86-64-posix mingw-w64 wine wine64 libz-mingw-w64-dev googletest nlohmann-json3-dev dpkg-dev xz-utils"
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

# TinyXML 2.6 comes as Debian's source package (with its security patches), never committed here.
tinyxml="$build/_deps/tinyxml"
if [ ! -f "$tinyxml/tinyxml.h" ]; then
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
    work=$(mktemp -d)
    chmod 755 "$work"
    # Try with the package lists as they are; refresh them only when that fails.
    if ! (cd "$work" && apt-get source -q tinyxml >/dev/null 2>&1); then
        [ "$updated" = 1 ] || $sudo apt-get update -q
        (cd "$work" && apt-get source -q tinyxml)
    fi
    mkdir -p "$build/_deps"
    rm -rf "$tinyxml"
    mv "$work"/tinyxml-2.6.*/ "$tinyxml"
    rm -rf "$work"
    echo "TinyXML source in $tinyxml"
fi
