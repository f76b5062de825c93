#!/usr/bin/env bash
# Checks the files the zip tests wrote with the other producers' readers: every archive passes
# Info-ZIP's "unzip -t" and Python's testzip() (with its password when it is encrypted), and
# Python's zlib reads the compressed files back to their originals. Runs natively after the tests.
set -eu
dir=$1
[ -d "$dir" ] || { echo "no output folder $dir"; exit 1; }
count=0
for zip in "$dir"/*.zip; do
    [ -e "$zip" ] || continue
    pass=""
    [ -f "$zip.password" ] && pass=$(cat "$zip.password")
    if [ -n "$pass" ]; then
        unzip -tq -P "$pass" "$zip" >/dev/null || { echo "unzip -t failed: $zip"; exit 1; }
    else
        unzip -tq "$zip" >/dev/null || { echo "unzip -t failed: $zip"; exit 1; }
    fi
    python3 - "$zip" "$pass" <<'PY' || { echo "testzip failed: $zip"; exit 1; }
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    if sys.argv[2]:
        z.setpassword(sys.argv[2].encode())
    bad = z.testzip()
    if bad is not None:
        sys.exit("bad member %s" % bad)
PY
    count=$((count + 1))
done
for packed in "$dir"/*.kzc; do
    [ -e "$packed" ] || continue
    python3 - "$packed" <<'PY' || { echo "zlib failed: $packed"; exit 1; }
import sys, zlib
data = open(sys.argv[1], "rb").read()
if sys.argv[1].endswith(".scrambled.kzc"):
    data = bytes(b ^ ((i + 2) & 0xFF) for i, b in enumerate(data))
original = open(sys.argv[1].rsplit(".", 2 if ".scrambled." in sys.argv[1] else 1)[0] + ".orig", "rb").read()
if zlib.decompress(data) != original:
    sys.exit("content differs")
PY
    count=$((count + 1))
done
[ "$count" -gt 0 ] || { echo "nothing to check in $dir"; exit 1; }
echo "$count files checked"
