// Per-character upper-casing as the search and pattern code needs it, from tables that are
// filled from the system's case mapping once per process.
#pragma once

#include "strings/compare.h"

#include <cstdint>

namespace kwill::text {

// What CharUpperW gives for one character passed in the low word of its argument: the user
// language's simple upper-case mapping. Surrogates map to themselves.
wchar_t UpperUnit(wchar_t c);

// The whole mapping of UpperUnit, indexed by code unit, for loops that upper-case every
// character they read. Valid for the life of the process.
const wchar_t* UpperUnitTable();

// What CharUpperA gives for one byte in the ANSI code page.
char UpperByte(char c);
const char* UpperByteTable();  // 256 entries, indexed by the unsigned byte

// Upper-casing of the wildcard patterns: the runtime's "C" locale towupper below U+0080 (only
// a-z change), the system mapping above.
inline wchar_t PatternUpper(wchar_t c) {
    return c < 0x80 ? FoldUpperAscii(c) : UpperUnit(c);
}

}  // namespace kwill::text
