// The comparison family: bounded comparisons with and without case folding, separator-aware and
// space-high variants, pinyin-initial matching, substring searches, locale collation and the
// natural ("numeric") order of file names.
//
// Every function works on null-terminated strings one code unit at a time (surrogate pairs are
// not combined, nothing is normalised), allocates nothing and keeps no state. wchar_t is a 16-bit
// UTF-16 unit here.
//
// Null rule of the comparisons: both null gives 0, only the first null -1, only the second +1.
// The searches return null when either argument is null.
//
// Limit n of the bounded comparisons: n >= 0 compares at most n units (running out of limit
// means equal, n = 0 compares nothing); a negative n means no limit. kPrefixTest (-99) is also
// "no limit", but stricmpnW and stricmpnWPY then treat the second string ending first as a match,
// so the call asks whether the first string begins with the second.
#pragma once

#include "frame/pinyin_table.h"

#include <cstdint>

namespace kwill {

inline constexpr int kPrefixTest = -99;

// The "C" locale folding of the runtime: only A-Z and a-z change.
constexpr wchar_t FoldLowerAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 0x20) : c;
}
constexpr wchar_t FoldUpperAscii(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c;
}
constexpr char FoldLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
}
constexpr char FoldUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
}

// The Windows per-character conversion (CharLowerW/CharUpperW on one unit), which folds all of
// Unicode by the user's language.
wchar_t CharLowerUnit(wchar_t c);
wchar_t CharUpperUnit(wchar_t c);

constexpr bool IsPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// True when the typed letter (any case) is one of the pinyin initials of the ideograph. Only
// U+3007 and U+4E00..U+9FA5 can match; a null table acts as an empty one, so only the fixed
// exceptions (U+3007, U+7AD3, U+7AD5, U+7AE1) then match.
bool PinyinMatches(wchar_t ideograph, wchar_t letter, const PinyinInitialsTable* table);

// Plain and case-insensitive (A-Z only) comparisons of 8-bit strings. Bytes count as signed
// char, so 0x80..0xFF sort below ASCII.
int strcmpnA(const char* a, const char* b, int n);
int stricmpnA(const char* a, const char* b, int n);

// Wide comparisons; the result is the difference of the first differing (folded) units.
int strcmpnW(const wchar_t* a, const wchar_t* b, int n);
int stricmpnW(const wchar_t* a, const wchar_t* b, int n);   // A-Z folding; honours kPrefixTest
int stricmpnWF(const wchar_t* a, const wchar_t* b, int n);  // CharLowerW folding

// Pinyin variants: a unit of `a` that is an ideograph also matches a letter in `b` that is one
// of its initials (never the other way round). `a` is the name, `b` what the user typed.
int strcmpnWPY(const wchar_t* a, const wchar_t* b, int n, const PinyinInitialsTable* table);
int stricmpnWPY(const wchar_t* a, const wchar_t* b, int n, const PinyinInitialsTable* table);
int stricmpnWFPY(const wchar_t* a, const wchar_t* b, int n, const PinyinInitialsTable* table);

// The backslash and the slash compare equal.
int strcmpnPSW(const wchar_t* a, const wchar_t* b, int n);
int stricmpnPSW(const wchar_t* a, const wchar_t* b, int n);

// Paths: one trailing separator is ignored, a separator orders as the slash; -1, 0 or +1.
int strcmpnPIESW(const wchar_t* a, const wchar_t* b, int n);
int stricmpnPIESW(const wchar_t* a, const wchar_t* b, int n);

// The space sorts after the other printable ASCII characters (between '{' and '|').
int strcmpnHSW(const wchar_t* a, const wchar_t* b, int n);
int stricmpnHSW(const wchar_t* a, const wchar_t* b, int n);

// Null rule, then the runtime's _wcsicmp.
int safestrcmpiW(const wchar_t* a, const wchar_t* b);

// First occurrence of `sought` in `text` (case-insensitive by the named folding), or null. An
// empty `sought` is never found.
const char* strstriA(const char* text, const char* sought);            // A-Z folding
const wchar_t* strstriW(const wchar_t* text, const wchar_t* sought);   // A-Z folding
const wchar_t* strstriWW(const wchar_t* text, const wchar_t* sought);  // CharUpperW folding
const wchar_t* strstriWWPY(const wchar_t* text, const wchar_t* sought,
                           const PinyinInitialsTable* table);
const wchar_t* strstrWPY(const wchar_t* text, const wchar_t* sought,
                         const PinyinInitialsTable* table);  // exact but for pinyin

// CompareStringW in the user's locale on two counted strings (a length of -1 means up to the
// terminator). String sort unless wordSort. Returns -1, 0, +1, or -2 when the system call fails
// (null strings included).
int FileSystemCompareString(const wchar_t* s1, int len1, const wchar_t* s2, int len2,
                            bool ignoreCase, bool wordSort);

// StringCompareW flags.
enum StringCompareFlag : uint32_t {
    kCompareIgnoreCase = 0x1,
    kCompareLocale = 0x2,
    kCompareWordSort = 0x4,  // only with kCompareLocale
};

// Ordinal (stricmpnW/strcmpnW with limit n) or, with kCompareLocale, locale collation of at most
// n units. The locale mode orders its operands the other way round (below zero means `b` sorts
// first), which the host's callers have always seen; test it for equality only.
int StringCompareW(const wchar_t* a, const wchar_t* b, uint32_t flags, int n);

// The natural order of file names: digit runs compare as numbers of any length, more leading
// zeros sort first, the text between numbers compares by locale collation ignoring case.
// Returns -1, 0, +1, or -2 when the collation call fails.
int NumericStrCmp(const wchar_t* a, const wchar_t* b, bool wordSort);

}  // namespace kwill
