#!/usr/bin/env bash
# A short demonstration of the tool, run at the end of 'make'.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
echo
echo "== ./kwill version"
./kwill version
for cmd in sort cmp; do
    if ./kwill --help | grep -q "^  $cmd "; then
        case $cmd in
            sort) echo; echo "== printf 'file10\\nfile9\\nFile1\\n' | ./kwill sort --natural"
                  printf 'file10\nfile9\nFile1\n' | ./kwill sort --natural ;;
            cmp)  echo; echo "== ./kwill cmp NumericStrCmp a01 a1"
                  ./kwill cmp NumericStrCmp a01 a1 ;;
        esac
    fi
done
echo
echo "== ./kwill --help"
./kwill --help
