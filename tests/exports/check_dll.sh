#!/usr/bin/env bash
# Reads kwilllib.dll's headers with objdump (natively, no Wine): the export table must hold
# exactly the ordinals and names of kwilllib.def, and the shared data section must be shared.
set -u
dll=$1
def=$2
objdump=x86_64-w64-mingw32-objdump
fail=0

headers=$($objdump -h "$dll")
if ! grep -A1 ' \.shared ' <<<"$headers" | grep -q 'SHARED'; then
    echo "FAIL: no .shared section with the SHARED flag"
    grep -A1 ' \.shared ' <<<"$headers"
    fail=1
fi

# From the .def: "ordinal name" for named exports, "ordinal -" for NONAME ones.
want=$(sed -e 's/;.*//' "$def" | awk '
    /^[ \t]*(LIBRARY|EXPORTS)/ { next }
    NF >= 2 && $2 ~ /^@[0-9]+$/ {
        ord = substr($2, 2); noname = 0
        for (i = 3; i <= NF; i++) if ($i == "NONAME") noname = 1
        print ord, (noname ? "-" : $1)
    }' | sort -n)

dump=$($objdump -p "$dll")
base=$(sed -n 's/.*Ordinal Base[[:space:]]*\([0-9][0-9]*\).*/\1/p' <<<"$dump" | head -1)
ordinals=$(sed -n 's/.*+base\[ *\([0-9]*\)\].*/\1/p' <<<"$dump" | sort -n)
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
    sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' |
    awk -v base="$base" '{ print $1 + base, $2 }' | sort -n)
have=$(awk 'NR == FNR { name[$1] = $2; next } { print $1, ($1 in name ? name[$1] : "-") }' \
    <(echo "$names") <(echo "$ordinals") | sort -n)

if [ "$want" != "$have" ]; then
    echo "FAIL: export table differs from kwilllib.def (< def, > dll):"
    diff <(echo "$want") <(echo "$have")
    fail=1
fi
count=$(echo "$want" | grep -c .)
if [ $fail = 0 ]; then
    echo "1 passed, 0 failed: $count exports match kwilllib.def; .shared is shared"
else
    echo "0 passed, 1 failed"
fi
exit $fail
