#!/usr/bin/env bash
# Runs one Windows program in the project's prefix; ctest uses this as its cross-compiling emulator.
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
