#!/usr/bin/env bash
# Creates the project's Wine prefix once: no display driver (windows and messages still work), no debugger.
set -eu
. "$(dirname "$0")/wine-env.sh"
if [ -f "$WINEPREFIX/.kwill-ready" ]; then exit 0; fi
mkdir -p "$WINEPREFIX"
echo "Creating the Wine prefix in $WINEPREFIX"
wineboot -i </dev/null >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.kwill-ready"
