#!/usr/bin/env bash
# Puts a signed english.dll into bin/Language beside the library (the build leaves the module
# unsigned), so that the library finds its English texts. With an argument, also packs the
# example translations of the tests there.
set -eu
. "$(dirname "$0")/wine-env.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$KWILL_BUILD/bin/Language"
wine "$KWILL_BUILD/bin/kwillsign.exe" cert "$KWILL_BUILD/language/english.dll" \
    "$KWILL_BUILD/bin/Language/english.dll"
if [ "${1:-}" = examples ]; then
    wine "$KWILL_BUILD/bin/kwillsign.exe" pack --code de "$root/tests/hostlink/data/de.json" \
        "$KWILL_BUILD/bin/Language/de.tarnml"
fi
