#!/usr/bin/env bash
# The header check must fail, and say what to do, for each way the .def and the headers can
# disagree: each row breaks a copy of one of them and names the message expected.
set -u
check=$(dirname "$0")/check_headers.py
def=$1
include=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# file to break | sed expression | text the failure must hold
rows=(
    "def|/^    BoyerFree @1112\$/d|declares BoyerFree, which kwilllib.def does not export: add \"BoyerFree @1112\" to kwilllib.def under a \"; ---- text: ...\" heading"
    "def|\$a\\    NewThing @2099|exports NewThing, but no public header declares it: declare it in include/kwilllib/util.h as KWILL_API(2099)"
    "def|s/^    OsVer @1000\$/    OsVer @1005/|declares OsVer with KWILL_API(1000), but kwilllib.def line"
    "def|s/^    GetHostWindow @49\$/    GetHostWindow @49 NONAME/|makes it KWILL_API_NONAME(49)"
    "codec.h|s/KWILL_MEMBER(1525) void HashData/void HashData/|the declaration of ?HashData@Hash@@QEAAXPEBX_K@Z must start with KWILL_MEMBER(1525)"
    "text.h|/KWILL_API(1112) void KWILLCALL BoyerFree/d|include/kwilllib/text.h as KWILL_API(1112) <return type> KWILLCALL BoyerFree(...)"
    "shellns.h|\$a\\KWILL_API(1112) void KWILLCALL BoyerFree(void* handle);|BoyerFree is declared twice"
    "def|s/^; ---- text: Boyer-Moore search/; ---- texts: Boyer-Moore search/|the heading \"; ---- texts: Boyer-Moore search\" names no family"
)
passed=0 failed=0
for row in "${rows[@]}"; do
    IFS='|' read -r target expr want <<<"$row"
    rm -rf "$scratch/include" "$scratch/kwilllib.def"
    cp -r "$include" "$scratch/include"
    cp "$def" "$scratch/kwilllib.def"
    if [ "$target" = def ]; then
        file=$scratch/kwilllib.def
    else
        file=$scratch/include/kwilllib/$target
    fi
    before=$(md5sum <"$file")
    sed -i "$expr" "$file"
    if [ "$before" = "$(md5sum <"$file")" ]; then
        echo "FAIL: row \"$expr\" changed nothing in $target (the row is out of date)"
        failed=$((failed + 1))
        continue
    fi
    out=$(/usr/bin/python3 "$check" "$scratch/kwilllib.def" "$scratch/include" 2>&1)
    status=$?
    if [ $status = 0 ] || ! grep -qF -- "$want" <<<"$out"; then
        echo "FAIL: after \"$expr\" on $target the check gave (exit $status):"
        echo "$out"
        echo "  expected a failure holding: $want"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
