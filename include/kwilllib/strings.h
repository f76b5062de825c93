/* kwilllib: strings, paths and numbers (exports/kwilllib.def headings "strings: ...").
 * The comparison family, path strings, number formatting. */
#ifndef KWILLLIB_STRINGS_H
#define KWILLLIB_STRINGS_H

#include "base.h"
#include "frame.h"

/* ---- strings: comparison
 * Null pointers: both null give 0, only the first -1, only the second +1; the searches give
 * null. A limit n >= 0 compares at most n units; a negative n means no limit. Unless said
 * otherwise the result is the difference of the first differing units. */

KWILL_API(1300) int KWILLCALL safestrcmpiW(const wchar_t* a, const wchar_t* b);
/* Bytes compare signed, so 0x80..0xFF sort before ASCII. */
KWILL_API(1301) int KWILLCALL strcmpnA(const char* a, const char* b, int n);
/* A-Z folded to a-z; nothing else folds. */
KWILL_API(1302) int KWILLCALL stricmpnA(const char* a, const char* b, int n);
KWILL_API(1303) int KWILLCALL strcmpnW(const wchar_t* a, const wchar_t* b, int n);
/* A-Z folded to a-z. n = -99 asks whether a begins with b (0 when b ends first). */
KWILL_API(1304) int KWILLCALL stricmpnW(const wchar_t* a, const wchar_t* b, int n);
/* Every character folded with CharLowerW. */
KWILL_API(1305) int KWILLCALL stricmpnWF(const wchar_t* a, const wchar_t* b, int n);
/* Pinyin matching: an ideograph of the name a also matches a letter of b that is one of its
 * initials in the table (null: an empty table). */
KWILL_API(1306)
int KWILLCALL strcmpnWPY(const wchar_t* a, const wchar_t* b, int n,
                         const PinyinInitialsTable* table);
KWILL_API(1307)
int KWILLCALL stricmpnWPY(const wchar_t* a, const wchar_t* b, int n,
                          const PinyinInitialsTable* table);
KWILL_API(1308)
int KWILLCALL stricmpnWFPY(const wchar_t* a, const wchar_t* b, int n,
                           const PinyinInitialsTable* table);
/* The backslash and the slash are equal. */
KWILL_API(1309) int KWILLCALL strcmpnPSW(const wchar_t* a, const wchar_t* b, int n);
KWILL_API(1310) int KWILLCALL stricmpnPSW(const wchar_t* a, const wchar_t* b, int n);
/* Path order: one trailing separator is ignored, a separator sorts as the slash; -1, 0 or +1. */
KWILL_API(1311) int KWILLCALL strcmpnPIESW(const wchar_t* a, const wchar_t* b, int n);
KWILL_API(1312) int KWILLCALL stricmpnPIESW(const wchar_t* a, const wchar_t* b, int n);
/* The space sorts after the other printable ASCII characters. */
KWILL_API(1313) int KWILLCALL strcmpnHSW(const wchar_t* a, const wchar_t* b, int n);
KWILL_API(1314) int KWILLCALL stricmpnHSW(const wchar_t* a, const wchar_t* b, int n);
/* The first occurrence of sought in text ignoring the case of A-Z (strstriWW: CharUpperW);
 * null when absent or when sought is empty. */
KWILL_API(1315) const char* KWILLCALL strstriA(const char* text, const char* sought);
KWILL_API(1316) const wchar_t* KWILLCALL strstriW(const wchar_t* text, const wchar_t* sought);
KWILL_API(1317) const wchar_t* KWILLCALL strstriWW(const wchar_t* text, const wchar_t* sought);
KWILL_API(1318)
const wchar_t* KWILLCALL strstriWWPY(const wchar_t* text, const wchar_t* sought,
                                     const PinyinInitialsTable* table);
KWILL_API(1319)
const wchar_t* KWILLCALL strstrWPY(const wchar_t* text, const wchar_t* sought,
                                   const PinyinInitialsTable* table);
/* CompareStringW in the user's locale on counted strings (-1: up to the terminator). Returns
 * -1, 0, +1, or -2 when the system call fails. */
KWILL_API(1320)
int KWILLCALL FileSystemCompareString(const wchar_t* s1, int len1, const wchar_t* s2, int len2,
                                      DWORD ignoreCase, DWORD wordSort);
/* flags: 0x1 ignore case, 0x2 locale collation, 0x4 word sort (with 0x2). In locale mode the
 * result is reversed (below zero means that b sorts first), as it always was. */
KWILL_API(1321)
int KWILLCALL StringCompareW(const wchar_t* a, const wchar_t* b, DWORD flags, int n);
/* Natural order of file names: digit runs compare as numbers. -1, 0, +1, or -2 on failure. */
KWILL_API(1322) int KWILLCALL NumericStrCmp(const wchar_t* a, const wchar_t* b, DWORD wordSort);

/* ---- strings: path strings
 * The backslash and the slash are both separators. Caller buffers are never written past their
 * size. */

/* Whether the path begins "ftp://" (IsFTPPath) or "lib://" (IsLibraryPathW), in any case. */
KWILL_API(1340) BOOL KWILLCALL IsFTPPathA(const char* path);
KWILL_API(1341) BOOL KWILLCALL IsFTPPathW(const wchar_t* path);
KWILL_API(1342) BOOL KWILLCALL IsLibraryPathW(const wchar_t* path);
/* Splits "ftp://[SITE=name?][user[:password]@]host[:port]/path". host, user and site are
 * optional buffers of 260 characters. Returns a pointer into url after the slash that ends the
 * host, or null. */
KWILL_API(1343)
const wchar_t* KWILLCALL ExtractFTPSiteAndPathW(const wchar_t* url, wchar_t* host, wchar_t* user,
                                                wchar_t* site);
/* Orders two paths: ordinary paths, then "lib://", then "ftp://"; null after all. flags: 0x1
 * ancestor test, 0x2 case-sensitive, 0x20000 library location markers count. */
KWILL_API(1344) int KWILLCALL PathStrCmpW(const wchar_t* a, const wchar_t* b, DWORD flags);
/* 1 when PathStrCmpW gives 0. */
KWILL_API(1345) BOOL KWILLCALL ComparePathStringW(const wchar_t* a, const wchar_t* b, DWORD flags);
/* The last component of a path (a pointer into it), keeping a trailing separator. */
KWILL_API(1346) const char* KWILLCALL FindFilePartA(const char* path);
KWILL_API(1347) const wchar_t* KWILLCALL FindFilePartW(const wchar_t* path);
/* The '.' that starts the extension, or null. */
KWILL_API(1348) const wchar_t* KWILLCALL FindFileExtensionW(const wchar_t* path);
/* 1 when a unit above 0xFF (IsStringUnicode) or 0x7F (IsStringNonASCII) occurs in the first n
 * units (n <= 0: the whole string). */
KWILL_API(1349) BOOL KWILLCALL IsStringUnicode(const wchar_t* s, int n);
KWILL_API(1350) BOOL KWILLCALL IsStringNonASCII(const wchar_t* s, int n);
/* The path with each component that needs characters above 0xFF replaced by its short name.
 * Returns the length written; when out is null or too small, the size needed with the
 * terminator; 0 on failure with the last error set. out may be the path's own buffer. The A
 * form converts the result to the ANSI code page (outLen in bytes). */
KWILL_API(1351)
DWORD KWILLCALL GetMultibytePathFromUnicodeNameW(const wchar_t* path, wchar_t* out, DWORD outLen);
KWILL_API(1352)
DWORD KWILLCALL GetMultibytePathFromUnicodeNameA(const wchar_t* path, char* out, DWORD outLen);
/* Appends more to the path (capacity characters in all) with one backslash at the join.
 * 1 when appended; 0 and the buffer unchanged when it would not fit. */
KWILL_API(1353) BOOL KWILLCALL SafePathAppend(wchar_t* path, int capacity, const wchar_t* more);

/* ---- strings: number formatting */

#endif /* KWILLLIB_STRINGS_H */
