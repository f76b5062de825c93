#!/usr/bin/env bash
# PCRE2 beside the own regular-expression engine: builds bench/native/pcre2_peer.c with the host
# compiler, runs it on the texts and patterns that kwillbench's "regex-peer" suite wrote into
# $KWILL_BUILD/regex-peer, and prints each row's time per text against the library's figure from
# $KWILL_BUILD/bench.txt. The ratio is against the interpreter (16-bit code units, no JIT); the
# JIT is shown for reference. Skipped when the suite did not run or libpcre2-dev is missing.
set -u
build=${KWILL_BUILD:-build}
folder="$build/regex-peer"
[ -f "$folder/rows.txt" ] && [ -f "$build/bench.txt" ] || exit 0
grep -q '^BENCH kernel="regex names ' "$build/bench.txt" || exit 0  # not this run's suite
if [ ! -f /usr/include/pcre2.h ]; then
    echo "(PCRE2 rows skipped: libpcre2-dev is not installed)"
    exit 0
fi
gcc -O2 -o "$build/pcre2_peer" "$(dirname "$0")/../bench/native/pcre2_peer.c" -lpcre2-16 || exit 0
# The library and PCRE2 take turns (KWILL_REGEX_ROUNDS rounds, 3 when unset).
. "$(dirname "$0")/bench-peer-rounds.sh"
take_turns "${KWILL_REGEX_ROUNDS:-3}" regex-peer "regex " "$build/pcre2_peer" "$folder"
echo "PCRE2 peer (native Linux process; ns per text, ratio = PCRE2 interpreter / ours; best of $rounds alternating rounds)"
awk -F'\t' "$turns_awk"'
    $1 == "ours" && $3 > 0 { low(ours, $2, $3); high(oursTop, $2, $3) }
    $1 == "peer" {
        if (!($2 in order)) { order[$2] = ++count; names[count] = $2 }
        low(interp, $2, $3); high(interpTop, $2, $3); low(jit, $2, $4)
        if ($5 != "same") differ[$2] = 1
    }
    END {
        for (i = 1; i <= count; ++i) {
            k = names[i]
            if (!(k in ours)) continue
            o = ours[k]
            printf "%-52s | %9.1f | %9.1f ns | %5.2fx | JIT %7.1f ns %5.2fx | ours %.1f-%.1f, PCRE2 %.1f-%.1f%s\n",
                k, o, interp[k], interp[k] / o, jit[k], jit[k] / o, o, oursTop[k], interp[k],
                interpTop[k], (k in differ ? "  MATCH COUNTS DIFFER" : "")
        }
    }' "$turns"
