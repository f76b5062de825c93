#!/usr/bin/env bash
# Packs a release with scripts/dist.sh into a scratch folder, unpacks it and checks that it holds
# what a program needs to link against the library, that SHA256SUMS lists every file and matches
# each, and that the DLL in it is the one just built.
set -u
root=$1
build=$2
scratch=$build/dist-test
rm -rf "$scratch"
mkdir -p "$scratch"
fail=0

zip=$(KWILL_BUILD=$build bash "$root/scripts/dist.sh" "$scratch/out") || { echo "FAIL: dist.sh failed"; exit 1; }
(cd "$scratch" && cmake -E tar xf "$zip") || { echo "FAIL: cannot unpack $zip"; exit 1; }
top=$(find "$scratch" -mindepth 1 -maxdepth 1 -type d -name 'kwilllib-*')

required=(bin/kwilllib.dll bin/kwilltool.exe lib/libkwilllib.dll.a lib/kwilllib.lib
          include/kwilllib.h include/kwilllib/base.h include/kwilllib/codec.h README.md
          examples/sample_host.cpp licences/tinyxml.txt licences/nlohmann-json.txt
          licences/zlib.txt SHA256SUMS)
for f in "${required[@]}"; do
    [ -s "$top/$f" ] || { echo "FAIL: the package lacks $f"; fail=1; }
done
listed=$(awk '{ print $2 }' "$top/SHA256SUMS" | sort)
present=$(cd "$top" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)
if [ "$listed" != "$present" ]; then
    echo "FAIL: SHA256SUMS does not list exactly the files of the package:"
    diff <(echo "$listed") <(echo "$present")
    fail=1
fi
(cd "$top" && sha256sum --quiet -c SHA256SUMS) || { echo "FAIL: a checksum does not match"; fail=1; }
cmp -s "$top/bin/kwilllib.dll" "$build/bin/kwilllib.dll" || { echo "FAIL: the packed DLL is not the built one"; fail=1; }
grep -q 'Permission is granted to anyone' "$top/licences/tinyxml.txt" ||
    { echo "FAIL: licences/tinyxml.txt lacks TinyXML's licence"; fail=1; }

rm -rf "$scratch"
if [ $fail = 0 ]; then
    echo "1 passed, 0 failed: $(basename "$zip") holds $(grep -c . <<<"$present") files, all checksummed"
else
    echo "0 passed, 1 failed"
fi
exit $fail
