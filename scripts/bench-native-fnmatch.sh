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

# The library and fnmatch take turns (KWILL_WILDCARD_ROUNDS rounds, 3 when unset).
. "$(dirname "$0")/bench-peer-rounds.sh"
take_turns "${KWILL_WILDCARD_ROUNDS:-3}" wildcard "wildcard " "$peer" "$names" "$patterns"
echo "wildcards against glibc fnmatch with FNM_CASEFOLD (native Linux process, \"C\" locale, ns per name; best of $rounds alternating rounds)"
awk -F'\t' "$turns_awk"'
    $1 == "ours" && $3 > 0 { low(ours, $2, $3); high(oursTop, $2, $3) }
    $1 == "peer" {
        if (!($2 in order)) { order[$2] = ++count; labels[count] = $2 }
        low(peer, $2, $3); high(peerTop, $2, $3)
        if ($4 != $5) note[$2] = " [matches: ours " $5 ", fnmatch " $4 "]"
    }
    END {
        for (i = 1; i <= count; ++i) {
            k = labels[i]
            if (!(k in ours)) continue
            printf "%-44s | %12.2f | %12.2f ns/op | %6.2fx  (peer: fnmatch; ours %.2f-%.2f, fnmatch %.2f-%.2f)%s\n",
                k, ours[k], peer[k], peer[k] / ours[k], ours[k], oursTop[k], peer[k], peerTop[k], note[k]
        }
    }' "$turns"
