#!/usr/bin/env bash
# Runs a command with a persistent, warmed-up wineserver for the project's prefix, and stops the
# server afterwards whatever the command's outcome. Without it every Wine process pays the server
# start, and a lingering server can make ctest wait forever.
set -u
. "$(dirname "$0")/wine-env.sh"
# Tests need the prefix as the project sets it up (no display driver, no debugger), not as Wine
# would create it on first use.
"$(dirname "$0")/wine-prefix.sh" || exit 1
wineserver -k >/dev/null 2>&1 || true
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1
"$@"
rc=$?
wineserver -k >/dev/null 2>&1 || true
exit $rc
