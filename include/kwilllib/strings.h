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

/* The byte-size format of BytesToStringW, a plain struct in this field order (96 bytes). Pass
 * null for the defaults given with each field. */
typedef struct ByteSizeFormat {
    UINT32 unitBase;        /* bytes in one KB; 0 means 1,024 (default 1,024) */
    UINT32 kbThreshold;     /* smallest value shown in KB (1,024) */
    UINT32 mbThreshold;     /* smallest value shown in MB (1,024,000) */
    UINT64 gbThreshold;     /* smallest value shown in GB (1,048,576,000) */
    UINT64 tbThreshold;     /* smallest value shown in TB (1,073,741,824,000) */
    UINT64 pbThreshold;     /* smallest value shown in PB (1,099,511,627,776,000) */
    const wchar_t* bytesText; /* unit texts, used as they are (cut to 59 characters); null */
    const wchar_t* kbText;    /* takes the current language's string 20000, 20004, 20003, */
    const wchar_t* mbText;    /* 20002, 20001 or 20038 */
    const wchar_t* gbText;
    const wchar_t* tbText;
    const wchar_t* pbText;
    INT32 decimals;           /* digits after the separator; -1 automatic (-1) */
    BYTE keepZeroFraction;    /* show a fraction of zeros (0) */
} ByteSizeFormat;

/* BytesToStringW flags: 0x01 always show `decimals` digits (when decimals >= 0); the unit
 * 0x02 bytes, 0x20 KB (a non-zero value below one KB counts as one), 0x10 MB, 0x08 GB, 0x04 TB,
 * 0x80 PB; 0x40 round up to a whole KB first; 0x100 show 0 in KB. */
#define KWILL_SIZE_PAD_DECIMALS 0x01
#define KWILL_SIZE_BYTES 0x02
#define KWILL_SIZE_TB 0x04
#define KWILL_SIZE_GB 0x08
#define KWILL_SIZE_MB 0x10
#define KWILL_SIZE_KB 0x20
#define KWILL_SIZE_ROUND_UP 0x40
#define KWILL_SIZE_PB 0x80
#define KWILL_SIZE_ZERO_AS_KB 0x100

/* The library's copy of the user's decimal separator ("." when empty), its first character,
 * and the first character of the thousands separator (0 when none). */
KWILL_API(106) const wchar_t* KWILLCALL GetDecimalSeparatorW(void);
KWILL_API(151) wchar_t KWILLCALL GetDecimalCharW(void);
KWILL_API(164) wchar_t KWILLCALL GetThousandCharW(void);
/* The value grouped in the user's locale with its negative form and no decimals: what
 * GetNumberFormatW writes for it with GetLocalNumberFormatW's format ("0" for zero). Returns
 * the characters written with the terminator, or 0 with the last error set
 * (ERROR_INSUFFICIENT_BUFFER when it does not fit); outLen 0 asks for the size needed. */
KWILL_API(1400) int KWILLCALL GetNumberStringW(LONGLONG value, wchar_t* out, int outLen);
/* value / divisor with `decimals` digits (negative: 2 below 10, 1 below 100, else none; at most
 * 9), rounded half up, a zero fraction dropped unless keepZeroFraction; "0" for a zero divisor.
 * Returns the length of the text (cut to outLen with its terminator); 0 for a null or empty
 * buffer, which is left alone. */
KWILL_API(1401)
int KWILLCALL DivideToStringW(ULONGLONG value, UINT32 divisor, int decimals,
                              BOOL keepZeroFraction, wchar_t* out, int outLen);
/* A byte count in bytes, KB, MB, GB, TB or PB with its unit text; format may be null. Returns
 * the length of the text, as DivideToStringW. */
KWILL_API(1402)
int KWILLCALL BytesToStringW(ULONGLONG value, wchar_t* out, int outLen, UINT32 flags,
                             const ByteSizeFormat* format);
/* Copies the library's number format; its separators point into the library. */
KWILL_API(1403) void KWILLCALL GetLocalNumberFormatW(NUMBERFMTW* format);
/* The decimal digits of the value (out: 21 characters), or its lower-case hexadecimal digits
 * (out: 17); no sign, grouping, prefix or leading zeros. Returns the digit count. */
KWILL_API(1404) int KWILLCALL L64ToStringA(ULONGLONG value, char* out);
KWILL_API(1405) int KWILLCALL L64ToStringW(ULONGLONG value, wchar_t* out);
KWILL_API(1406) int KWILLCALL L64ToHexStringA(ULONGLONG value, char* out);
KWILL_API(1407) int KWILLCALL L64ToHexStringW(ULONGLONG value, wchar_t* out);
/* Up to 8 (AsciiToHex) or 16 (AsciiToHex64) leading hexadecimal digits; the first other
 * character ends the number; no sign, prefix or white space; null gives 0. */
KWILL_API(1408) UINT32 KWILLCALL AsciiToHexA(const char* s);
KWILL_API(1409) UINT32 KWILLCALL AsciiToHexW(const wchar_t* s);
KWILL_API(1410) ULONGLONG KWILLCALL AsciiToHex64A(const char* s);
KWILL_API(1411) ULONGLONG KWILLCALL AsciiToHex64W(const wchar_t* s);

#endif /* KWILLLIB_STRINGS_H */
