#!/usr/bin/env bash
# Native peers for the digests, codec, regex-peer and zip rows of kwillbench (the wildcard rows have
# bench-native-fnmatch.sh): runs OpenSSL, BLAKE3's reference C implementation and PCRE2 as Linux
# processes on the same machine right after kwillbench, and prints each against the library's
# figure from $KWILL_BUILD/bench.txt (so run kwillbench's digests, codec or regex-peer suite
# first). Peers that are not installed are skipped. Debian packages: openssl, librust-blake3-dev,
# libpcre2-dev, zlib1g-dev, gcc.
set -u
build=${KWILL_BUILD:-build}
rows="$build/bench.txt"
root=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$rows" ] || { echo "bench-native-peers: no $rows (run kwillbench first)"; exit 0; }
"$(dirname "$0")/bench-pcre2-peer.sh"  # the regex-peer suite's rows
"$(dirname "$0")/bench-native-fnmatch.sh"  # the wildcard suite's rows

# The zip suite's ceiling: libdeflate and zlib both native, on the same data and stream as the
# "zip member inflate (whole, CRC checked)" row (bench/native/deflate_peer.c, built here against
# the libdeflate sources in the build folder and Debian's zlib1g-dev). The library's row cannot
# be expected to beat the ratio libdeflate itself reaches natively.
if grep -q '^BENCH kernel="zip member inflate' "$rows" && [ -f "$build/_deps/libdeflate/libdeflate.h" ] &&
    [ -f /usr/include/zlib.h ] && command -v gcc >/dev/null; then
    dpeer="$build/native/deflate-peer"
    if [ ! -x "$dpeer" ] || [ "$root/bench/native/deflate_peer.c" -nt "$dpeer" ]; then
        mkdir -p "$build/native"
        gcc -O2 -w -I"$build/_deps/libdeflate" -o "$dpeer" "$root/bench/native/deflate_peer.c" \
            "$build/_deps/libdeflate"/lib/*.c "$build/_deps/libdeflate"/lib/x86/*.c -lz || dpeer=""
    fi
    [ -n "$dpeer" ] && { echo "native reference (a separate Linux process)"; "$dpeer" "$build/zip-files.bin"; }
fi
# Only the rows whose figure kwillbench just wrote (the digests and codec suites) get a peer.
grep -q '^BENCH kernel="\(md5\|base64\|blowfish\)' "$rows" || exit 0

ours() {  # the library's MB/s for a kernel name in bench.txt (or in the file given second)
    sed -n "s/^BENCH kernel=\"$1\" .* ours=\([0-9.]*\) .*/\1/p" "${2:-$rows}" | head -1
}

row() {  # kernel ours peer peerName
    if [ -z "$2" ] || [ -z "$3" ]; then return; fi
    awk -v k="$1" -v o="$2" -v p="$3" -v n="$4" 'BEGIN {
        printf "%-44s | %12.2f | %12.2f MB/s  | %6.2fx  (peer: %s)\n", k, o, p, (p > 0 ? o / p : 0), n }'
}

now() { date +%s.%N; }

openssl_mbs() {  # MB/s of openssl speed -evp ALG [provider options...] on 1 MB calls, one second
    local alg=$1 kb
    shift
    kb=$(openssl speed -elapsed "$@" -evp "$alg" -bytes 1048576 -seconds 1 2>/dev/null |
        awk -v a="$alg" 'tolower($1) == a { v = $NF } END { sub(/k$/, "", v); print v }')
    [ -n "$kb" ] && awk -v k="$kb" 'BEGIN { print k / 1000 }'
}

# BLAKE3's reference C implementation with its x86-64 assembly kernels, one thread, timed on
# 1 MB calls in memory by bench/native/blake3_peer.c (built here from the sources Debian's
# librust-blake3-dev ships, as they are not part of this tree).
b3src=$(ls -d /usr/share/cargo/registry/blake3-*/c 2>/dev/null | sort -V | tail -1)
b3peer=""
if [ -n "$b3src" ] && [ -f "$b3src/blake3.h" ] && command -v gcc >/dev/null; then
    b3peer="$build/native/blake3-peer"
    if [ ! -x "$b3peer" ] || [ "$root/bench/native/blake3_peer.c" -nt "$b3peer" ]; then
        mkdir -p "$build/native"
        gcc -O3 -I"$b3src" -o "$b3peer" "$root/bench/native/blake3_peer.c" "$b3src/blake3.c" \
            "$b3src/blake3_dispatch.c" "$b3src/blake3_portable.c" \
            "$b3src"/blake3_{sse2,sse41,avx2,avx512}_x86-64_unix.S || b3peer=""
    fi
fi

echo "native peers (separate Linux processes)"
# The hash rows: the library and its peers take turns for KWILL_DIGEST_ROUNDS rounds (3 when
# unset), and each side's best round counts, so that load that comes and goes on a shared
# machine cannot sink one side's only figure. Round 1 is the kwillbench run that wrote
# bench.txt; each later round runs its digests suite again under Wine, then the peers.
rounds=${KWILL_DIGEST_ROUNDS:-3}
kwillbench="$build/bin/kwillbench.exe"
command -v wine >/dev/null && [ -f "$kwillbench" ] || rounds=1
work=$(mktemp -d)
algs="md5 sha1 sha256 sha512 blake3"
for r in $(seq "$rounds"); do
    src="$rows"
    if [ "$r" -gt 1 ]; then
        src="$work/bench.$r.txt"
        wine "$kwillbench" digests >/dev/null 2>"$src" || true
    fi
    for alg in $algs; do
        echo "$(ours "$alg 1 MB" "$src")" >>"$work/ours.$alg"
        if [ "$alg" = blake3 ]; then
            [ -n "$b3peer" ] && "$b3peer" >>"$work/peer.$alg"
        elif command -v openssl >/dev/null; then
            openssl_mbs "$alg" >>"$work/peer.$alg"
        fi
    done
done
for alg in $algs; do
    [ -s "$work/peer.$alg" ] || continue
    best() { sort -g "$1" | grep . | tail -1; }
    spread() { sort -g "$1" | grep . | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.0f-%.0f", lo, hi }'; }
    if [ "$alg" = blake3 ]; then
        name="BLAKE3 C with x86-64 assembly ($(basename "$(dirname "$b3src")")), 1 thread"
    else
        name="openssl speed -evp $alg"
    fi
    row "$alg 1 MB" "$(best "$work/ours.$alg")" "$(best "$work/peer.$alg")" \
        "$name; best of $rounds rounds, ours $(spread "$work/ours.$alg"), peer $(spread "$work/peer.$alg")"
done
rm -rf "$work"
if command -v openssl >/dev/null; then
    mbs=$(openssl_mbs bf-ecb -provider legacy -provider default)
    [ -n "$mbs" ] && row "blowfish ecb 1 MB" "$(ours "blowfish ecb 1 MB")" "$mbs" "openssl speed -evp bf-ecb"
fi

# Base64 against OpenSSL's command on a 64 MB file, when the codec suite ran.
grep -q '^BENCH kernel="base64' "$rows" || exit 0
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
if command -v openssl >/dev/null; then
    openssl base64 -in "$tmp/data" -out "$tmp/text"
    row "base64 encode 1 MB" "$(ours "base64 encode 1 MB")" "$(best openssl base64 -in "$tmp/data")" "openssl base64 (64 MB file)"
    row "base64 decode 1 MB (76-char lines)" "$(ours "base64 decode 1 MB (76-char lines)")" "$(best openssl base64 -d -in "$tmp/text")" "openssl base64 -d (64 MB file, 64-char lines)"
fi
