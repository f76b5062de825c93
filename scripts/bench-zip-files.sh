#!/usr/bin/env bash
# Writes the zip suite's second data set, $KWILL_BUILD/zip-files.bin: 64 MiB of the files of this
# built checkout, the kind of folder a file manager's user zips. In this order: the tracked
# sources (git ls-files, else every file below the source folder outside the build folder), the
# dependency sources fetched into the build folder, then the programs and DLLs built; each group
# sorted by path, the whole repeated if it is short of 64 MiB and cut there. The same checkout
# and build give the same bytes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${KWILL_BUILD:-$root/build}" && pwd)
out="$build/zip-files.bin"
size=$((64 << 20))
list=$(mktemp)
trap 'rm -f "$list" "$out.tmp"' EXIT
{
    if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git -C "$root" ls-files | LC_ALL=C sort | sed "s|^|$root/|"
    else
        find "$root" -path "$build" -prune -o -type f -print | LC_ALL=C sort
    fi
    find "$build/_deps" -type f 2>/dev/null | LC_ALL=C sort
    find "$build/bin" -maxdepth 1 -type f \( -name '*.exe' -o -name '*.dll' \) 2>/dev/null | LC_ALL=C sort
} | while IFS= read -r f; do [ -f "$f" ] && printf '%s\n' "$f"; done >"$list"
[ -s "$list" ] || { echo "bench-zip-files: no files found" >&2; exit 1; }
: >"$out.tmp"
while [ "$(stat -c %s "$out.tmp")" -lt "$size" ]; do
    tr '\n' '\0' <"$list" | xargs -0 cat >>"$out.tmp"
done
truncate -s "$size" "$out.tmp"
mv "$out.tmp" "$out"
