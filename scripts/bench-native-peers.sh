#!/usr/bin/env bash
# Native peers for the codec rows of kwillbench: runs OpenSSL and b3sum as Linux processes on
# the same machine right after kwillbench, and prints each against the library's figure from
# $KWILL_BUILD/bench.txt (so run kwillbench's codec suite first). Peers that are not installed
# are skipped. Debian packages: openssl, b3sum.
set -u
build=${KWILL_BUILD:-build}
rows="$build/bench.txt"
[ -f "$rows" ] || { echo "bench-native-peers: no $rows (run kwillbench codec first)"; exit 0; }
# The wildcard rows against fnmatch: a script of their own.
"$(dirname "$0")/bench-native-fnmatch.sh"
grep -q '^BENCH kernel="md5 1 MB"' "$rows" || exit 0  # the codec suite did not run

ours() {  # the library's MB/s for a kernel name in bench.txt
    sed -n "s/^BENCH kernel=\"$1\" .* ours=\([0-9.]*\) .*/\1/p" "$rows" | head -1
}

row() {  # kernel ours peer peerName
    if [ -z "$2" ] || [ -z "$3" ]; then return; fi
    awk -v k="$1" -v o="$2" -v p="$3" -v n="$4" 'BEGIN {
        printf "%-44s | %12.2f | %12.2f MB/s  | %6.2fx  (peer: %s)\n", k, o, p, (p > 0 ? o / p : 0), n }'
}

now() { date +%s.%N; }

echo "native peers (separate Linux processes)"
if command -v openssl >/dev/null; then
    for alg in md5 sha1 sha256 sha512; do
        kb=$(openssl speed -elapsed -evp "$alg" -bytes 1048576 -seconds 1 2>/dev/null |
            awk -v a="$alg" 'tolower($1) == a { v = $NF } END { sub(/k$/, "", v); print v }')
        [ -n "$kb" ] && row "$alg 1 MB" "$(ours "$alg 1 MB")" "$(awk -v k="$kb" 'BEGIN { print k / 1000 }')" "openssl speed -evp $alg"
    done
    kb=$(openssl speed -elapsed -provider legacy -provider default -evp bf-ecb -bytes 1048576 -seconds 1 2>/dev/null |
        awk 'tolower($1) == "bf-ecb" { v = $NF } END { sub(/k$/, "", v); print v }')
    [ -n "$kb" ] && row "blowfish ecb 1 MB" "$(ours "blowfish ecb 1 MB")" "$(awk -v k="$kb" 'BEGIN { print k / 1000 }')" "openssl speed -evp bf-ecb"
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
head -c $((64 << 20)) /dev/urandom >"$tmp/data"
fastest() {  # seconds of the fastest of RUNS runs of a command: fastest RUNS COMMAND...
    local runs=$1 b="" t0 t1
    shift
    for _ in $(seq "$runs"); do
        t0=$(now)
        "$@" >/dev/null 2>&1 || return
        t1=$(now)
        b=$(awk -v b="$b" -v s="$(awk -v a="$t0" -v c="$t1" 'BEGIN { print c - a }')" \
            'BEGIN { print (b == "" || s < b ? s : b) }')
    done
    echo "$b"
}
best() {  # MB/s of the fastest of three runs of a command over the 64 MB file
    local s
    s=$(fastest 3 "$@") || return
    [ -n "$s" ] && awk -v s="$s" 'BEGIN { print 64 * 1048576 / s / 1e6 }'
}
# b3sum maps a file by default and then spends most of its time on page faults; with --no-mmap
# it reads the file into a buffer that stays in cache, and what its run takes beyond reading the
# same file with cat is the hashing, which the library's row measures. A large file keeps
# process start-up and timer noise small against that difference.
if command -v b3sum >/dev/null; then
    head -c $((256 << 20)) /dev/urandom >"$tmp/large"
    hashing=$(awk -v h="$(fastest 5 b3sum --num-threads 1 --no-mmap "$tmp/large")" \
        -v r="$(fastest 5 cat "$tmp/large")" 'BEGIN { if (h > r) print 256 * 1048576 / (h - r) / 1e6 }')
    row "blake3 1 MB" "$(ours "blake3 1 MB")" "$hashing" \
        "b3sum --num-threads 1 --no-mmap, 256 MB file, time beyond cat's"
    rm -f "$tmp/large"
fi
if command -v openssl >/dev/null; then
    openssl base64 -in "$tmp/data" -out "$tmp/text"
    row "base64 encode 1 MB" "$(ours "base64 encode 1 MB")" "$(best openssl base64 -in "$tmp/data")" "openssl base64 (64 MB file)"
    row "base64 decode 1 MB (76-char lines)" "$(ours "base64 decode 1 MB (76-char lines)")" "$(best openssl base64 -d -in "$tmp/text")" "openssl base64 -d (64 MB file, 64-char lines)"
fi
