#!/usr/bin/env bash
# The symbols that a Microsoft-ABI caller of every class member imports (msvc_caller.obj) must
# all be exports of kwilllib.dll, and kwilllib.lib must import each the way kwilllib.def exports
# it: by name, or by ordinal for an ordinal-only export. Every decorated export of the DLL must
# be one that the caller imports, so that the caller keeps using every member.
set -u
obj=$1
dll=$2
lib=$3
def=$4
fail=0

wanted=$(llvm-nm -u "$obj" | awk '{ print $NF }' | sed -n 's/^__imp_//p' | sort -u)
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort -u)
ordinals=$(sed -n 's/.*+base\[ *\([0-9]*\)\].*/\1/p' <<<"$dump" | sort -n)
# "name ordinal named|noname" from the .def
entries=$(sed -e 's/;.*//' "$def" | awk '
    NF >= 2 && $2 ~ /^@[0-9]+$/ {
        noname = 0
        for (i = 3; i <= NF; i++) if ($i == "NONAME") noname = 1
        print $1, substr($2, 2), (noname ? "noname" : "named")
    }')
# "symbol nametype" for every import object of kwilllib.lib
imports=$(llvm-readobj --coff-imports "$lib" | awk '
    /^Name type:/ { type = $3 }
    /^Symbol: / && $2 !~ /^__imp_/ { print $2, type }')

if [ -z "$wanted" ]; then
    echo "FAIL: $obj imports nothing"
    fail=1
fi
while read -r name; do
    [ -n "$name" ] || continue
    read -r _ ordinal kind < <(awk -v n="$name" '$1 == n' <<<"$entries")
    if [ -z "${ordinal:-}" ]; then
        echo "FAIL: the caller imports $name, which kwilllib.def does not export"
        fail=1
        continue
    fi
    type=$(awk -v n="$name" '$1 == n { print $2 }' <<<"$imports")
    if [ "$kind" = named ]; then
        grep -qxF -- "$name" <<<"$names" ||
            { echo "FAIL: kwilllib.dll does not export $name by name"; fail=1; }
        [ "$type" = name ] ||
            { echo "FAIL: kwilllib.lib imports $name as '${type:-nothing}', not by name"; fail=1; }
    else
        grep -qx "$ordinal" <<<"$ordinals" ||
            { echo "FAIL: kwilllib.dll has no export at ordinal $ordinal ($name)"; fail=1; }
        [ "$type" = ordinal ] ||
            { echo "FAIL: kwilllib.lib imports $name as '${type:-nothing}', not by ordinal"; fail=1; }
    fi
    ordinal=
done <<<"$wanted"
while read -r name; do
    [ -n "$name" ] || continue
    grep -qxF -- "$name" <<<"$wanted" ||
        { echo "FAIL: kwilllib.dll exports the member $name, which msvc/msvc_caller.cpp never calls"; fail=1; }
done < <(grep '^?' <<<"$names")

if [ $fail = 0 ]; then
    echo "1 passed, 0 failed: $(grep -c . <<<"$wanted") imports of a Microsoft-ABI caller found, $(grep -c '^?' <<<"$wanted") of them members"
else
    echo "0 passed, 1 failed"
fi
exit $fail
