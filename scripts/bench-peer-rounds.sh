# Sourced by the native-peer scripts whose rows take tens of nanoseconds (bench-pcre2-peer.sh,
# bench-native-fnmatch.sh). The library and the peer take turns for a number of rounds and each
# side's fastest round counts, with the range of its rounds, so that load which comes and goes on
# a shared machine cannot decide a ratio by which side it hit (the digests in
# bench-native-peers.sh are measured the same way). Round 1 is the kwillbench run that wrote
# bench.txt; each later round runs the suite again under Wine.

# take_turns ROUNDS SUITE PREFIX PEER-COMMAND...: for each round, appends to the file $turns an
# "ours<TAB>KERNEL<TAB>VALUE" line for every row of that round's bench.txt whose kernel starts
# with PREFIX, then the peer command's output lines, each after "peer<TAB>". Sets rounds to the
# number of rounds run (1 when Wine or kwillbench is missing). $build must be set.
take_turns() {
    rounds=$1
    local suite=$2 prefix=$3 kwillbench="$build/bin/kwillbench.exe" r src
    shift 3
    command -v wine >/dev/null && [ -f "$kwillbench" ] || rounds=1
    turnsDir=$(mktemp -d)
    trap 'rm -rf "$turnsDir"' EXIT
    turns="$turnsDir/all"
    for r in $(seq "$rounds"); do
        src="$build/bench.txt"
        if [ "$r" -gt 1 ]; then
            src="$turnsDir/bench.$r.txt"
            wine "$kwillbench" "$suite" >/dev/null 2>"$src" || true
        fi
        awk -v start="BENCH kernel=\"$prefix" 'index($0, start) == 1 {
                kernel = substr($0, 15); kernel = substr(kernel, 1, index(kernel, "\" peer=") - 1)
                for (i = 1; i <= NF; ++i)
                    if ($i ~ /^ours=/) { sub(/^ours=/, "", $i); print "ours\t" kernel "\t" $i } }' \
            "$src" >>"$turns"
        "$@" | awk -F'\t' '{ print "peer\t" $0 }' >>"$turns"
    done
}

# awk functions for the reports: the lowest and the highest value seen under a key.
turns_awk='
    function low(table, key, v) { if (!(key in table) || v < table[key]) table[key] = v }
    function high(table, key, v) { if (!(key in table) || v > table[key]) table[key] = v }'
