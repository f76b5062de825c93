// Wildcard pattern handles: the file manager's own pattern language (or a regular expression)
// compiled once and matched against many names.
#include "exports/export.h"
#include "text/wildcard.h"

#include <new>

using kwill::text::String_Pattern;

// Compiles a pattern under the option bits (0x1 extension list, 0x2 case-sensitive, 0x4 plain,
// 0x8 regular expression, 0x10 path mode, 0x40 fold diacritics, 0x80 partial, 0x100 anchor the
// expression, 0x200 no whole-pattern negation). A null text is an empty pattern. Returns the
// handle, also for an invalid pattern (which then matches nothing); null only when memory is
// short. Release it with FreeMatchPattern.
KWILL_EXPORT String_Pattern* AllocMatchPatternW(const wchar_t* text, DWORD options) {
    try {
        return kwill::text::NewMatchPattern(text, options).release();
    } catch (...) {
        return nullptr;
    }
}

// Recompiles the handle with a new text and case flag, keeping its options and pinyin setting;
// an extension list is not rewritten again. Returns the compile state: 0 not wild, 1 wild,
// 0xFFFFFFFF invalid (also for a null handle, and when memory runs out).
KWILL_EXPORT DWORD ParsePatternW(String_Pattern* pattern, const wchar_t* text,
                                 DWORD caseSensitive) {
    if (!pattern) return kwill::text::kPatternInvalid;
    try {
        return kwill::text::ParsePattern(*pattern, text, caseSensitive != 0);
    } catch (...) {
        pattern->program.clear();
        return pattern->state = kwill::text::kPatternInvalid;
    }
}

// 1 when the text matches, else 0 (inverted for a pattern that began with the whole-pattern
// negation ~, so a null text then gives 1). In regular-expression mode, the regular-expression
// match result. 0 for a null handle, and 0 when memory runs short (a pattern with thousands of
// negated items on a name of millions of characters), also for a negated pattern.
KWILL_EXPORT int MatchPatternW(const String_Pattern* pattern, const wchar_t* text) {
    if (!pattern) return 0;
    try {
        return kwill::text::MatchPattern(*pattern, text);
    } catch (...) {
        return 0;
    }
}

// The compile state (0 not wild, 1 wild, 0xFFFFFFFF invalid); 0 for a null handle.
KWILL_EXPORT DWORD IsPatternWild(const String_Pattern* pattern) {
    return pattern ? pattern->state : 0;
}

// TRUE when the handle holds a compiled program or a regular expression and is not invalid.
KWILL_EXPORT BOOL IsPatternValid(const String_Pattern* pattern) {
    return pattern && kwill::text::IsPatternValid(*pattern);
}

// Whether the pattern holds a character above U+00FF (in regular-expression mode, what the
// expression reports); 0 for a null handle.
KWILL_EXPORT DWORD IsPatternUnicode(const String_Pattern* pattern) {
    return pattern ? pattern->unicode : 0;
}

// Frees the handle with its regular expression. A null handle is ignored.
KWILL_EXPORT void FreeMatchPattern(String_Pattern* pattern) {
    delete pattern;
}

// Whether the text starts with a special token: in wildcard syntax "grp:" (any case, length 4)
// or one of # ( ) * ? [ ] | ~ (length 1), while ' is an escape pair (length 2, not special); in
// regular-expression syntax one of $ ( ) * + . ? [ ] ^ { | } (length 1), while \ and the next
// character are an escape pair (length 2, not special). *length (may be null) gets the length,
// 0 when there is no token; a null or empty text gives FALSE and 0.
KWILL_EXPORT BOOL IsWildToken(const wchar_t* text, BYTE regex, int* length) {
    return kwill::text::IsWildToken(text, regex != 0, length);
}
