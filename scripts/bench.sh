#!/usr/bin/env bash
# Runs the benchmark program; the machine-readable BENCH lines go to build/bench.txt.
set -eu
. "$(dirname "$0")/wine-env.sh"
wine "$KWILL_BUILD/bin/kwillbench.exe" "$@" 2>"$KWILL_BUILD/bench.txt"
echo "(machine-readable rows: $KWILL_BUILD/bench.txt)"
