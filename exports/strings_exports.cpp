// String comparison exports. The comparisons take null pointers under one rule: both null give
// 0, only the first -1, only the second +1; the searches give null. A limit n >= 0 compares at
// most n units; a negative n means no limit. None of them allocates or throws.
#include "exports/export.h"
#include "strings/compare.h"

using kwill::PinyinInitialsTable;

// _wcsicmp with the null rule.
KWILL_EXPORT int safestrcmpiW(const wchar_t* a, const wchar_t* b) {
    return kwill::safestrcmpiW(a, b);
}

// Byte strings; bytes are signed, so 0x80..0xFF sort before ASCII. Result: the difference of
// the first differing bytes.
KWILL_EXPORT int strcmpnA(const char* a, const char* b, int n) {
    return kwill::strcmpnA(a, b, n);
}

// As strcmpnA with A-Z folded to a-z (the "C" locale; nothing else folds).
KWILL_EXPORT int stricmpnA(const char* a, const char* b, int n) {
    return kwill::stricmpnA(a, b, n);
}

// Wide strings, unit by unit (surrogates are not paired); the difference of the first
// differing units as unsigned 16-bit values.
KWILL_EXPORT int strcmpnW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::strcmpnW(a, b, n);
}

// As strcmpnW with A-Z folded to a-z. n = -99 asks whether `a` begins with `b`: it returns 0
// when `b` ends first (any other negative n is a plain unlimited comparison).
KWILL_EXPORT int stricmpnW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::stricmpnW(a, b, n);
}

// As strcmpnW, folding every character with CharLowerW (the user's language).
KWILL_EXPORT int stricmpnWF(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::stricmpnWF(a, b, n);
}

// Pinyin matching: `a` is the name, `b` what the user typed. An ideograph in `a` also matches a
// letter in `b` (any case) that is one of its pinyin initials in `table`. A null table acts as
// an empty one (only the built-in readings of U+3007, U+7AD3, U+7AD5 and U+7AE1 then match).
KWILL_EXPORT int strcmpnWPY(const wchar_t* a, const wchar_t* b, int n,
                            const PinyinInitialsTable* table) {
    return kwill::strcmpnWPY(a, b, n, table);
}

// stricmpnW with pinyin matching; n = -99 is the prefix test as in stricmpnW.
KWILL_EXPORT int stricmpnWPY(const wchar_t* a, const wchar_t* b, int n,
                             const PinyinInitialsTable* table) {
    return kwill::stricmpnWPY(a, b, n, table);
}

// stricmpnWF with pinyin matching.
KWILL_EXPORT int stricmpnWFPY(const wchar_t* a, const wchar_t* b, int n,
                              const PinyinInitialsTable* table) {
    return kwill::stricmpnWFPY(a, b, n, table);
}

// As strcmpnW, but the backslash and the slash are equal.
KWILL_EXPORT int strcmpnPSW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::strcmpnPSW(a, b, n);
}

// As stricmpnW, but the backslash and the slash are equal.
KWILL_EXPORT int stricmpnPSW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::stricmpnPSW(a, b, n);
}

// Path order: one trailing separator is ignored and a separator sorts as the slash. Returns
// -1, 0 or +1 (not a difference).
KWILL_EXPORT int strcmpnPIESW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::strcmpnPIESW(a, b, n);
}

// strcmpnPIESW with A-Z folded to a-z.
KWILL_EXPORT int stricmpnPIESW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::stricmpnPIESW(a, b, n);
}

// The space sorts after the other printable ASCII characters ('abc def' after 'abcz'). The
// result is the difference of the mapped units.
KWILL_EXPORT int strcmpnHSW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::strcmpnHSW(a, b, n);
}

// strcmpnHSW with A-Z folded to a-z.
KWILL_EXPORT int stricmpnHSW(const wchar_t* a, const wchar_t* b, int n) {
    return kwill::stricmpnHSW(a, b, n);
}

// First occurrence of `sought` in `text` ignoring the case of A-Z; null when absent, when
// `sought` is empty or when either is null.
KWILL_EXPORT const char* strstriA(const char* text, const char* sought) {
    return kwill::strstriA(text, sought);
}

KWILL_EXPORT const wchar_t* strstriW(const wchar_t* text, const wchar_t* sought) {
    return kwill::strstriW(text, sought);
}

// As strstriW, folding every character with CharUpperW.
KWILL_EXPORT const wchar_t* strstriWW(const wchar_t* text, const wchar_t* sought) {
    return kwill::strstriWW(text, sought);
}

// strstriWW in which an ideograph of `text` also matches a pinyin initial in `sought`.
KWILL_EXPORT const wchar_t* strstriWWPY(const wchar_t* text, const wchar_t* sought,
                                        const PinyinInitialsTable* table) {
    return kwill::strstriWWPY(text, sought, table);
}

// Exact search in which an ideograph of `text` also matches a pinyin initial in `sought`.
KWILL_EXPORT const wchar_t* strstrWPY(const wchar_t* text, const wchar_t* sought,
                                      const PinyinInitialsTable* table) {
    return kwill::strstrWPY(text, sought, table);
}

// CompareStringW in the user's locale (string sort unless wordSort) on counted strings (-1: up
// to the terminator). Returns -1, 0, +1, or -2 when the system call fails.
KWILL_EXPORT int FileSystemCompareString(const wchar_t* s1, int len1, const wchar_t* s2, int len2,
                                         DWORD ignoreCase, DWORD wordSort) {
    return kwill::FileSystemCompareString(s1, len1, s2, len2, ignoreCase != 0, wordSort != 0);
}

// flags: 0x1 ignore case, 0x2 locale collation, 0x4 word sort (with 0x2). Without 0x2 this is
// stricmpnW or strcmpnW with limit n. With 0x2 at most n units go to the collation; a string
// shorter than n decides by its terminator. Kept for compatibility: in locale mode the operands
// are ordered the other way round (below zero means that `b` sorts first).
KWILL_EXPORT int StringCompareW(const wchar_t* a, const wchar_t* b, DWORD flags, int n) {
    return kwill::StringCompareW(a, b, flags, n);
}

// The natural order of file names: digit runs compare as whole numbers of any length, more
// leading zeros sort first, and the text between them compares by the user's collation
// ignoring case. Returns -1, 0, +1, or -2 when the collation fails.
KWILL_EXPORT int NumericStrCmp(const wchar_t* a, const wchar_t* b, DWORD wordSort) {
    return kwill::NumericStrCmp(a, b, wordSort != 0);
}
