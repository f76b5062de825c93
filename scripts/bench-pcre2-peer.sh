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
echo "PCRE2 peer (native Linux process; ns per text, ratio = PCRE2 interpreter / ours)"
"$build/pcre2_peer" "$folder" | awk -F'\t' -v bench="$build/bench.txt" '
    BEGIN {
        while ((getline line < bench) > 0) {
            if (line !~ /^BENCH kernel="regex /) continue
            split(line, quoted, "\"")
            value = line
            sub(/.* ours=/, "", value)
            sub(/ .*/, "", value)
            ours[quoted[2]] = value
        }
    }
    $1 in ours {
        o = ours[$1]
        printf "%-52s | %9.1f | %9.1f ns | %5.2fx | JIT %7.1f ns %5.2fx%s\n", $1, o, $2,
            (o > 0 ? $2 / o : 0), $3, (o > 0 ? $3 / o : 0), ($4 == "same" ? "" : "  MATCH COUNTS DIFFER")
    }'
