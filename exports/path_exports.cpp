// Path string exports. Separators are the backslash and the slash alike. Caller buffers are
// never written past their size.
#include "exports/export.h"
#include "strings/path_strings.h"

// Non-zero when the path begins "ftp://" in any case; 0 for null.
KWILL_EXPORT BOOL IsFTPPathA(const char* path) {
    return kwill::IsFTPPathA(path);
}

KWILL_EXPORT BOOL IsFTPPathW(const wchar_t* path) {
    return kwill::IsFTPPathW(path);
}

// Non-zero when the path begins "lib://" in any case; 0 for null.
KWILL_EXPORT BOOL IsLibraryPathW(const wchar_t* path) {
    return kwill::IsLibraryPathW(path);
}

// Splits "ftp://[SITE=name?][user[:password]@]host[:port]/path". host, user and site are
// optional buffers of 260 units; each given one is emptied first and receives at most 259
// units. The password and port are never copied. Returns a pointer into url after the slash
// that ends the host, or null (not FTP, no slash, or a site key without its '?').
KWILL_EXPORT const wchar_t* ExtractFTPSiteAndPathW(const wchar_t* url, wchar_t* host, wchar_t* user,
                                                   wchar_t* site) {
    return kwill::ExtractFTPSiteAndPathW(url, host, user, site);
}

// Orders two paths of any kind: ordinary paths, then "lib://" locations, then "ftp://" URLs;
// a null path sorts after all others. flags: 0x1 ancestor test (0 when b is a or a folder that
// holds a), 0x2 case-sensitive, 0x20000 library location markers ('?' or '|' components)
// count. The separators are equal and one trailing separator is ignored.
KWILL_EXPORT int PathStrCmpW(const wchar_t* a, const wchar_t* b, DWORD flags) {
    return kwill::PathStrCmpW(a, b, flags);
}

// 1 when PathStrCmpW gives 0, else 0.
KWILL_EXPORT BOOL ComparePathStringW(const wchar_t* a, const wchar_t* b, DWORD flags) {
    return kwill::ComparePathStringW(a, b, flags);
}

// The last component of a path, keeping a trailing separator ("X:/dir/" gives "dir/"). A root,
// a UNC server or a shell name beginning "::" gives the whole string, "X:name" gives "name".
// Null for null, the value -1 or the empty string.
KWILL_EXPORT const wchar_t* FindFilePartW(const wchar_t* path) {
    return kwill::FindFilePartW(path);
}

// As FindFilePartW for 8-bit strings, without the "::" rule.
KWILL_EXPORT const char* FindFilePartA(const char* path) {
    return kwill::FindFilePartA(path);
}

// The '.' that starts the extension, or null. The last name's last '.' counts unless it ends
// the string; a space, bracket, separator, ':' or '|' after it means no extension.
KWILL_EXPORT const wchar_t* FindFileExtensionW(const wchar_t* path) {
    return kwill::FindFileExtensionW(path);
}

// 1 when a unit above 0xFF occurs in the first n units (n <= 0: the whole string), else 0.
KWILL_EXPORT BOOL IsStringUnicode(const wchar_t* s, int n) {
    return kwill::IsStringUnicode(s, n);
}

// 1 when a unit above 0x7F occurs in the first n units (n <= 0: the whole string), else 0.
KWILL_EXPORT BOOL IsStringNonASCII(const wchar_t* s, int n) {
    return kwill::IsStringNonASCII(s, n);
}

// The path with each component that holds a unit above 0xFF replaced by the item's short name,
// so that it survives the ANSI code page. Returns the length written; when out is null or
// outLen too small, the size needed with the terminator; 0 on failure with the last error set
// (87 for a null path, 8 when memory runs out, or the error of the failed look-up). out may be
// the path's own buffer.
KWILL_EXPORT DWORD GetMultibytePathFromUnicodeNameW(const wchar_t* path, wchar_t* out,
                                                    DWORD outLen) {
    return kwill::GetMultibytePathFromUnicodeNameW(path, out, outLen);
}

// The same, converted to the ANSI code page into out of outLen bytes. Returns what the wide
// function returns; when the converted text needs more bytes than outLen (double-byte code
// pages), out is emptied and the byte size needed is returned.
KWILL_EXPORT DWORD GetMultibytePathFromUnicodeNameA(const wchar_t* path, char* out, DWORD outLen) {
    return kwill::GetMultibytePathFromUnicodeNameA(path, out, outLen);
}

// Appends `more` to the path in a buffer of `capacity` units with one backslash at the join.
// Returns 1 when appended; 0 (buffer unchanged) for null arguments or when the result with its
// terminator would not fit.
KWILL_EXPORT BOOL SafePathAppend(wchar_t* path, int capacity, const wchar_t* more) {
    return kwill::SafePathAppend(path, capacity, more);
}
