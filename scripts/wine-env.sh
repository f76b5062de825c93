# Sourced by the scripts that run Windows programs: one private, headless Wine prefix per build folder.
kwill_root=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)
KWILL_BUILD=${KWILL_BUILD:-$kwill_root/build}
export KWILL_BUILD
export WINEPREFIX="$KWILL_BUILD/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono/Gecko install prompts; no menu entries; no debugger (a crashing test must exit, not hang).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
