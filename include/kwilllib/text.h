/* kwilllib: text search and matching (exports/kwilllib.def headings "text: ...").
 * Wildcard patterns, Boyer-Moore search, regular expressions. */
#ifndef KWILLLIB_TEXT_H
#define KWILLLIB_TEXT_H

#include "base.h"

/* A compiled wildcard pattern (or regular expression); its layout is the library's own. */
typedef struct String_Pattern String_Pattern;

/* ---- text: wildcard patterns */

/* Compiles a pattern under the option bits: 0x1 extension list, 0x2 case-sensitive, 0x4 plain
 * text, 0x8 regular expression, 0x10 path mode, 0x40 fold diacritics, 0x80 partial, 0x100
 * anchor the expression, 0x200 no whole-pattern negation. A null text is an empty pattern.
 * Returns a handle also for an invalid pattern (which matches nothing); null only when memory
 * is short. Release it with FreeMatchPattern. */
KWILL_API(1100) String_Pattern* KWILLCALL AllocMatchPatternW(const wchar_t* text, DWORD options);

/* Recompiles with a new text and case flag, keeping the options. Returns 0 not wild, 1 wild,
 * 0xFFFFFFFF invalid (also for a null handle). */
KWILL_API(1101)
DWORD KWILLCALL ParsePatternW(String_Pattern* pattern, const wchar_t* text, DWORD caseSensitive);

/* 1 when the text matches, else 0 (inverted for a pattern that starts with the whole-pattern
 * negation ~). 0 for a null handle. */
KWILL_API(1102) int KWILLCALL MatchPatternW(const String_Pattern* pattern, const wchar_t* text);

/* The compile state: 0 not wild, 1 wild, 0xFFFFFFFF invalid; 0 for a null handle. */
KWILL_API(1103) DWORD KWILLCALL IsPatternWild(const String_Pattern* pattern);
KWILL_API(1104) BOOL KWILLCALL IsPatternValid(const String_Pattern* pattern);
/* Whether the pattern holds a character above U+00FF. */
KWILL_API(1105) DWORD KWILLCALL IsPatternUnicode(const String_Pattern* pattern);
/* Frees the handle; null is ignored. */
KWILL_API(1106) void KWILLCALL FreeMatchPattern(String_Pattern* pattern);

/* Whether the text starts with a special token of the wildcard syntax (regex 0) or of the
 * regular-expression syntax (regex 1); *length (may be null) gets the token's length. */
KWILL_API(1107) BOOL KWILLCALL IsWildToken(const wchar_t* text, BYTE regex, int* length);

/* ---- text: Boyer-Moore search
 * A search handle holds one literal pattern (its first 255 characters), wide or ANSI. */

/* A new handle, or null for a null or empty pattern or when memory is short. Release it with
 * BoyerFree. */
KWILL_API(1110) void* KWILLCALL BoyerAllocW(const wchar_t* pattern);
KWILL_API(1111) void* KWILLCALL BoyerAllocA(const char* pattern);
/* Frees a handle of either kind; null is ignored. */
KWILL_API(1112) void KWILLCALL BoyerFree(void* handle);

/* The first character of the leftmost match in text[0, length) (no terminator needed), or
 * null. ignoreCase compares upper case; fold compares with diacritics folded. */
KWILL_API(1113)
wchar_t* KWILLCALL BoyerFindW(void* handle, const wchar_t* text, int length, BYTE ignoreCase,
                              BYTE fold);
KWILL_API(1114)
char* KWILLCALL BoyerFindA(void* handle, const char* text, int length, BYTE ignoreCase, BYTE fold);
KWILL_API(1115) wchar_t* KWILLCALL BoyerFindNoCaseW(void* handle, const wchar_t* text, int length);
KWILL_API(1116) char* KWILLCALL BoyerFindNoCaseA(void* handle, const char* text, int length);
/* The first character of the rightmost match, or null. */
KWILL_API(1117)
wchar_t* KWILLCALL BoyerRFindW(void* handle, const wchar_t* text, int length, BYTE ignoreCase,
                               BYTE fold);
/* 1 when a wide handle's pattern holds a character above U+00FF. */
KWILL_API(1118) BYTE KWILLCALL BoyerIsPatternUnicode(void* handle);

/* ---- text: regular expressions
 * Every function does nothing and returns 0 for a null handle. */

/* A new handle. engine 2 is the standard library's ECMAScript engine, another non-zero value
 * the library's own engine, 0 lets library flag 0x40 decide. A failed compilation still gives a
 * handle (RegExpParsed 0). Release it with RegExpFree, after its results objects. */
KWILL_API(1200) void* KWILLCALL RegExpAllocW(const wchar_t* pattern, DWORD engine);
KWILL_API(1201) void KWILLCALL RegExpFree(void* handle);
KWILL_API(1202) BOOL KWILLCALL RegExpParsed(void* handle);
KWILL_API(1203) BOOL KWILLCALL RegExpUnicode(void* handle);
/* 1 on success, else RegExpCompileError tells why. */
KWILL_API(1204) BOOL KWILLCALL RegExpCompileW(void* handle, const wchar_t* pattern);
/* 1 if the text holds a match. *results (may be null) receives the match's results object, to
 * be freed with RegExpFreeResults on the same handle. */
KWILL_API(1205)
BOOL KWILLCALL RegExpMatchW(void* handle, const wchar_t* text, DWORD caseSensitive, void** results);
/* Expands a replacement template ('&' the match, '\' and a digit a group) into out (outSize
 * units, always terminated). *error (may be null) gets the error code. */
KWILL_API(1206)
BOOL KWILLCALL RegExpReplaceW(void* handle, void* results, DWORD* error, const wchar_t* tmpl,
                              wchar_t* out, int outSize);
KWILL_API(1207) void KWILLCALL RegExpFreeResults(void* handle, void* results);
KWILL_API(1208) DWORD KWILLCALL RegExpCompileError(void* handle);
/* The language string number of an error code (10500 to 10527), 0 when unknown. */
KWILL_API(1209) DWORD KWILLCALL RegExpErrorMsg(void* handle, DWORD code);
KWILL_API(1210) DWORD KWILLCALL RegExpCompileErrorMsg(void* handle);
KWILL_API(1211) int KWILLCALL RegExpCountCaptureGroups(void* handle, void* results);
/* 1 for the characters with a meaning in the pattern syntax: $ ( ) * + . ? [ \ ] ^ | */
KWILL_API(1212) BOOL KWILLCALL RegExpIsValidCharW(WORD c);

#endif /* KWILLLIB_TEXT_H */
