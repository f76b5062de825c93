#!/usr/bin/env bash
# Packs a release: kwilllib-<version>.zip with the DLL, both import libraries, the public headers,
# the tool, the sample host's source, the README and the licence texts of what the DLL is built
# from, plus SHA256SUMS over every file in it. The version is the project's (CMakeLists.txt).
# usage: scripts/dist.sh [OUTPUT_FOLDER]   (default: <build>/dist)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KWILL_BUILD:-$root/build}
out=${1:-$build/dist}

version=$(sed -n 's/^#define KWILL_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/kwill_version.h")
[ -n "$version" ] || { echo "dist: no version in $build/generated/kwill_version.h (build first)" >&2; exit 1; }
name=kwilllib-$version

# What goes in: "source destination" rows; every source must exist.
tinyxml_licence=$build/_deps/tinyxml/debian/copyright
files=(
    "$build/bin/kwilllib.dll bin/kwilllib.dll"
    "$build/bin/kwilltool.exe bin/kwilltool.exe"
    "$build/lib/libkwilllib.dll.a lib/libkwilllib.dll.a"
    "$build/lib/kwilllib.lib lib/kwilllib.lib"
    "$root/include/kwilllib.h include/kwilllib.h"
    "$root/examples/sample_host.cpp examples/sample_host.cpp"
    "$root/README.md README.md"
    "$tinyxml_licence licences/tinyxml.txt"
    "/usr/share/doc/nlohmann-json3-dev/copyright licences/nlohmann-json.txt"
    "/usr/share/doc/libz-mingw-w64-dev/copyright licences/zlib.txt"
    "/usr/share/doc/mingw-w64-common/copyright licences/mingw-w64-runtime.txt"
    "/usr/share/doc/gcc-mingw-w64-base/copyright licences/gcc-runtime.txt"
)
for header in "$root"/include/kwilllib/*.h; do
    files+=("$header include/kwilllib/$(basename "$header")")
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for row in "${files[@]}"; do
    src=${row% *}
    dst=$stage/$name/${row##* }
    [ -f "$src" ] || { echo "dist: missing $src" >&2; exit 1; }
    mkdir -p "$(dirname "$dst")"
    cp "$src" "$dst"
done
(cd "$stage/$name" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
    xargs sha256sum >SHA256SUMS)

mkdir -p "$out"
rm -f "$out/$name.zip"
(cd "$stage" && cmake -E tar cf "$out/$name.zip" --format=zip --mtime="2000-01-01 00:00:00 UTC" "$name")
echo "$out/$name.zip"
