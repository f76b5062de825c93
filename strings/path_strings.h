// Path strings: the three kinds of location the file manager handles side by side (file-system
// paths, "ftp://" URLs and "lib://" library locations), the path comparison that knows them,
// the FTP URL splitter, the file-name part and extension, character-range tests, the conversion
// of a Unicode path to one that survives the ANSI code page, and a bounded path join.
//
// The backslash and the slash are both separators everywhere. All strings are null-terminated;
// nothing here is limited to MAX_PATH except the FTP parts, whose buffers are kFtpPartChars.
#pragma once

#include <cstdint>

namespace kwill {

// Size in units (terminator included) of each ExtractFTPSiteAndPathW output buffer.
inline constexpr int kFtpPartChars = 260;

// "ftp://" and "lib://" prefixes, any case; false for null.
bool IsFTPPathA(const char* path);
bool IsFTPPathW(const wchar_t* path);
bool IsLibraryPathW(const wchar_t* path);

// Splits "ftp://[SITE=name?][user[:password]@]host[:port]/path". Every non-null output (each of
// kFtpPartChars units) is first emptied; the password and the port are never copied. Returns a
// pointer into `url` just after the slash that ends the host, or null (not an FTP URL, no slash,
// or a site key without its closing '?').
const wchar_t* ExtractFTPSiteAndPathW(const wchar_t* url, wchar_t* host, wchar_t* user,
                                      wchar_t* site);

// PathStrCmpW flags.
enum PathCompareFlag : uint32_t {
    kPathAncestor = 0x1,            // 0 when `b` equals `a` or is a folder containing it
    kPathCaseSensitive = 0x2,       // otherwise A-Z fold
    kPathLibraryMarkers = 0x20000,  // library location markers count
};

// Orders two paths: ordinary paths first, then library locations, then FTP locations; a null
// path sorts last. The separators are equal and one trailing separator is ignored.
int PathStrCmpW(const wchar_t* a, const wchar_t* b, uint32_t flags);
// True when PathStrCmpW gives 0.
bool ComparePathStringW(const wchar_t* a, const wchar_t* b, uint32_t flags);

// The last component of a path, a trailing separator included ("X:/dir/" gives "dir/"); a root,
// a UNC server or a "::" shell name gives the whole string. Null for null, empty or (pointer)-1.
const wchar_t* FindFilePartW(const wchar_t* path);
const char* FindFilePartA(const char* path);  // no "::" rule

// The '.' that starts the extension, or null ("archive.zip (2)" and "name." have none).
const wchar_t* FindFileExtensionW(const wchar_t* path);

// Whether a unit above 0xFF (IsStringUnicode) or 0x7F (IsStringNonASCII) occurs in the first n
// units (n <= 0: the whole string).
bool IsStringUnicode(const wchar_t* s, int n);
bool IsStringNonASCII(const wchar_t* s, int n);

// Appends `more` to the path in a buffer of `capacity` units, with one backslash at the join.
// Writes nothing and returns false unless the whole result fits.
bool SafePathAppend(wchar_t* path, int capacity, const wchar_t* more);

// A copy of `path` in which every component holding a unit above 0xFF is replaced by the item's
// short (8.3) name. Returns the length written; when `out` is null or too small, the size needed
// (terminator included); 0 on failure with the last error set (ERROR_INVALID_PARAMETER for a
// null path, ERROR_NOT_ENOUGH_MEMORY, or FindFirstFileW's error). `out` may be `path` itself.
uint32_t GetMultibytePathFromUnicodeNameW(const wchar_t* path, wchar_t* out, uint32_t outLen);
// The same converted to the ANSI code page into `out` of `outLen` bytes. When the converted text
// does not fit, returns the byte size needed (terminator included, so at least outLen).
uint32_t GetMultibytePathFromUnicodeNameA(const wchar_t* path, char* out, uint32_t outLen);

}  // namespace kwill
