#!/usr/bin/env bash
# The native peer of the wildcard rows: builds bench/native/fnmatch_peer.c with the host's C
# compiler, runs it on the names and patterns that kwillbench's wildcard suite wrote into the
# build folder, and prints each fnmatch figure beside the library's from $KWILL_BUILD/bench.txt.
# Skipped when the wildcard suite did not run or no host compiler is installed (Debian: gcc).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KWILL_BUILD:-$root/build}
rows="$build/bench.txt"
names="$build/wildcard-names.txt"
patterns="$build/wildcard-patterns.txt"
[ -f "$rows" ] && [ -f "$names" ] && [ -f "$patterns" ] || exit 0
grep -q '^BENCH kernel="wildcard ' "$rows" || exit 0
command -v gcc >/dev/null || { echo "bench-native-fnmatch: no gcc, fnmatch rows skipped"; exit 0; }

peer="$build/native/fnmatch_peer"
source="$root/bench/native/fnmatch_peer.c"
if [ ! -x "$peer" ] || [ "$source" -nt "$peer" ]; then
    mkdir -p "$build/native"
    gcc -O2 -Wall -Wextra -o "$peer" "$source" || exit 0
fi

echo "wildcards against glibc fnmatch with FNM_CASEFOLD (native Linux process, \"C\" locale, ns per name)"
"$peer" "$names" "$patterns" | while IFS=$'\t' read -r label peerNs peerHits ourHits; do
    oursNs=$(awk -v k="$label" 'index($0, "BENCH kernel=\"" k "\" ") == 1 {
        for (i = 1; i <= NF; ++i) if ($i ~ /^ours=/) { sub(/^ours=/, "", $i); print $i; exit } }' "$rows")
    [ -n "$oursNs" ] || continue
    note=""
    [ "$peerHits" = "$ourHits" ] || note=" [matches: ours $ourHits, fnmatch $peerHits]"
    awk -v k="$label" -v o="$oursNs" -v p="$peerNs" -v n="$note" 'BEGIN {
        printf "%-44s | %12.2f | %12.2f ns/op | %6.2fx  (peer: fnmatch)%s\n", k, o, p, (o > 0 ? p / o : 0), n }'
done
