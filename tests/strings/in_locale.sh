#!/usr/bin/env bash
# Runs a test program with the user locale LC_ALL names. Right after the prefix's server starts,
# the first Wine processes in a locale other than the last one may still read the previous
# locale's settings (measured with Wine 8), so the program runs once more when its first run
# fails: a real fault fails both runs.
set -eu
locale=$1
shift
export LC_ALL=$locale
run="$(dirname "$0")/../../scripts/wine-run.sh"
"$run" "$@" >/dev/null 2>&1 && exit 0
exec "$run" "$@"
