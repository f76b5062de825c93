// What the wildcard patterns take from the string comparisons, the path strings and the
// regular-expression handles, in the form the pattern code uses.
#pragma once

#include "frame/pinyin_table.h"

namespace kwill::text::deps {

bool IsUnicodeText(const wchar_t* text);  // a unit above U+00FF
bool EqualExact(const wchar_t* a, const wchar_t* b);
bool EqualIgnoringCase(const wchar_t* a, const wchar_t* b);  // locale collation, ignoring case
bool PinyinInitialMatches(wchar_t ideograph, wchar_t letter, const PinyinInitialsTable* table);
bool StartsWithGroupToken(const wchar_t* text);  // "grp:" in any case

// Regular-expression mode. RegexAlloc gives null when no handle can be made.
void* RegexAlloc();
bool RegexCompile(void* regex, const wchar_t* text);
bool RegexUnicode(void* regex);
int RegexMatch(void* regex, const wchar_t* text, bool caseSensitive);
void RegexFree(void* regex);

}  // namespace kwill::text::deps
