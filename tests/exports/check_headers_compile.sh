#!/usr/bin/env bash
# Compiles the umbrella header alone, warnings as errors: as C and C++ with mingw-w64, and
# syntax-only as C and C++ with clang for Microsoft's ABI (the headers of mingw-w64 stand in
# for the Windows SDK there; without __uuidof support, hence -fno-ms-extensions).
set -u
include=$1
msvc=(clang --target=x86_64-pc-windows-msvc -fgnuc-version=12 -fno-ms-extensions -fdeclspec
      -idirafter /usr/x86_64-w64-mingw32/include)
gcc=x86_64-w64-mingw32-gcc-posix
gxx=x86_64-w64-mingw32-g++-posix
warn=(-Wall -Wextra -Werror)

rows=(
    "mingw-w64 C89|$gcc -x c -std=c89 -pedantic"
    "mingw-w64 C++11|$gxx -x c++ -std=c++11"
    "mingw-w64 C++20|$gxx -x c++ -std=c++20"
    "msvc-target C|${msvc[*]} -x c"
    "msvc-target C++17|${msvc[*]} -x c++ -std=c++17"
)
passed=0 failed=0
for row in "${rows[@]}"; do
    label=${row%%|*}
    read -r -a cmd <<<"${row#*|}"
    if out=$(echo '#include <kwilllib.h>' | "${cmd[@]}" "${warn[@]}" -I "$include" -fsyntax-only - 2>&1); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $label: the public headers do not compile cleanly"
        echo "$out" | head -20
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
