#!/usr/bin/env bash
# Runs the benchmark program; the machine-readable BENCH lines go to build/bench.txt.
set -eu
. "$(dirname "$0")/wine-env.sh"
# The zip suite's second data set: the files of this built checkout.
"$(dirname "$0")/bench-zip-files.sh"
wine "$KWILL_BUILD/bin/kwillbench.exe" "$@" 2>"$KWILL_BUILD/bench.txt"
# Peers that are native Linux programs (OpenSSL, b3sum) run as separate processes, when installed.
"$(dirname "$0")/bench-native-peers.sh"
echo "(machine-readable rows: $KWILL_BUILD/bench.txt)"
