// Path strings: kinds, comparison, FTP URLs, name parts, range tests, short-name paths, join.
#include "strings/path_strings.h"

#include "frame/platform.h"
#include "strings/compare.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>

namespace kwill {
namespace {

inline bool IsMarker(wchar_t c) {
    return c == L'?' || c == L'|';
}

inline bool EndsName(wchar_t c) {
    return c == 0 || IsPathSeparator(c);
}

inline int Limit(size_t n) {
    return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// Copies [begin, end) into an FTP part buffer, cut to fit.
void CopyPart(wchar_t* out, const wchar_t* begin, const wchar_t* end) {
    size_t n = static_cast<size_t>(end - begin);
    n = std::min(n, static_cast<size_t>(kFtpPartChars - 1));
    std::wmemcpy(out, begin, n);
    out[n] = 0;
}

const wchar_t* SkipComponent(const wchar_t* p) {
    while (!EndsName(*p)) ++p;
    return p;
}

// Ordinary paths and the remainders of FTP and library locations.
int GeneralCompare(const wchar_t* a, const wchar_t* b, uint32_t flags) {
    const bool exact = (flags & kPathCaseSensitive) != 0;
    auto compare = [exact](const wchar_t* x, const wchar_t* y, size_t n) {
        return exact ? strcmpnPSW(x, y, Limit(n)) : stricmpnPSW(x, y, Limit(n));
    };
    const size_t la = std::wcslen(a);
    const size_t lb = std::wcslen(b);
    const bool aEndsInSeparator = la > 0 && IsPathSeparator(a[la - 1]);
    const bool bEndsInSeparator = lb > 0 && IsPathSeparator(b[lb - 1]);
    if (!(flags & kPathAncestor)) {
        size_t n;
        if (la == lb || (la + 1 == lb && bEndsInSeparator)) {
            n = la;
        } else if (la == lb + 1 && aEndsInSeparator) {
            n = lb;
        } else {
            return stricmpnW(a, b, -1);  // the lengths differ, so never 0
        }
        return compare(a, b, n);
    }
    // Ancestor test. A folder written with its trailing separator is still the same folder.
    bool ancestor = true;
    size_t n = lb;
    if (la + 1 == lb && bEndsInSeparator) {
        n = la;
        ancestor = false;
    } else if (la < lb) {
        return 1;
    } else if (la == lb) {
        ancestor = false;
    }
    const int r = compare(a, b, n);
    if (r != 0) return r;
    // `a` goes on: it lies inside `b` only if a separator comes at the join (an empty `b`
    // has no last unit to look at, so only a separator in `a` counts).
    if (ancestor && !bEndsInSeparator && a[n] != 0 && !IsPathSeparator(a[n])) return -1;
    return 0;
}

int LibraryCompare(const wchar_t* a, const wchar_t* b, uint32_t flags) {
    const bool exact = (flags & kPathCaseSensitive) != 0;
    const bool markersCount = (flags & kPathLibraryMarkers) != 0;
    const bool ancestor = (flags & kPathAncestor) != 0;
    if (*a == 0 || *b == 0) {
        if (ancestor && *b == 0) return 0;
        return static_cast<int>(*a) - static_cast<int>(*b);
    }
    // The library names.
    while (!EndsName(*a) && !EndsName(*b)) {
        const wchar_t x = exact ? *a : FoldLowerAscii(*a);
        const wchar_t y = exact ? *b : FoldLowerAscii(*b);
        if (x != y) break;
        ++a;
        ++b;
    }
    if (!EndsName(*a) || !EndsName(*b)) return *a == 0 ? -1 : 1;
    if (IsPathSeparator(*a)) ++a;
    if (IsPathSeparator(*b)) ++b;

    if (*a == 0 || *b == 0) {
        if (ancestor && *b == 0) return 0;
        if (!markersCount) {
            // The library's root equals the root of one of its locations.
            if (IsMarker(*a)) {
                a = SkipComponent(a);
                if (IsPathSeparator(*a)) ++a;
            } else if (IsMarker(*b)) {
                b = SkipComponent(b);
                if (IsPathSeparator(*b)) return static_cast<int>(*a) - static_cast<int>(b[1]);
            }
        }
        return static_cast<int>(*a) - static_cast<int>(*b);
    }

    const bool markerA = IsMarker(*a), markerB = IsMarker(*b);
    if (markerA && markerB) {
        ++a;
        ++b;
    } else if ((markerA || markerB) && !markersCount) {
        // A location on one side only: compare the paths inside the library.
        const wchar_t*& side = markerA ? a : b;
        side = SkipComponent(side);
        if (IsPathSeparator(*side)) ++side;
    }
    // Without markers the paths inside the library compare whole, from their first unit.
    return GeneralCompare(a, b, flags);
}

template <typename C>
size_t Length(const C* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

template <typename C>
bool IsSeparatorUnit(C c) {
    return c == static_cast<C>('\\') || c == static_cast<C>('/');
}

template <typename C>
const C* FilePart(const C* path, bool isFtp, bool shellNames) {
    if (!path || path == reinterpret_cast<const C*>(static_cast<intptr_t>(-1)) || !*path) {
        return nullptr;
    }
    const C* colon = nullptr;  // the drive colon: a ':' before any separator
    for (const C* s = path; *s && !IsSeparatorUnit(*s); ++s) {
        if (*s == static_cast<C>(':')) {
            colon = s;
            break;
        }
    }
    const size_t len = Length(path);
    const C* r = path + len - 1;
    if (len >= 2) {
        bool atStart = false;
        if (IsSeparatorUnit(*r)) {
            --r;
            atStart = r == path;
            if (!atStart && isFtp && path[len - 1] == static_cast<C>('/') &&
                path[len - 2] == static_cast<C>('/')) {
                --r;
                atStart = r == path;
            }
        }
        if (!atStart) {
            if (r == colon) --r;
            while (r > path && !IsSeparatorUnit(*r) && r != colon) --r;
        }
    }
    if (!IsSeparatorUnit(*r) && r != colon) return r;
    if ((r == path + 1 && *r == static_cast<C>('\\') && *path == static_cast<C>('\\')) ||
        r[1] == 0 || (shellNames && r == colon && r[1] == static_cast<C>(':'))) {
        return path;
    }
    return r + 1;
}

template <typename Above>
bool AnyUnit(const wchar_t* s, int n, Above above) {
    if (!s) return false;
    for (int i = 0; s[i] && (n <= 0 || i < n); ++i) {
        if (above(s[i])) return true;
    }
    return false;
}

// Keeps the system from showing "insert a disk" boxes while short names are looked up.
class ErrorModeScope {
  public:
    ErrorModeScope() : old_(::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    ~ErrorModeScope() { ::SetErrorMode(old_); }
    ErrorModeScope(const ErrorModeScope&) = delete;
    ErrorModeScope& operator=(const ErrorModeScope&) = delete;

  private:
    UINT old_;
};

class HeapBuffer {
  public:
    explicit HeapBuffer(size_t units, bool zero)
        : data_(static_cast<wchar_t*>(::HeapAlloc(::GetProcessHeap(), zero ? HEAP_ZERO_MEMORY : 0,
                                                  units * sizeof(wchar_t)))) {}
    ~HeapBuffer() {
        if (data_) ::HeapFree(::GetProcessHeap(), 0, data_);
    }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    wchar_t* get() const { return data_; }

  private:
    wchar_t* data_;
};

// Length of the root that short-name conversion leaves alone; `len` when the path has no
// components at all.
size_t RootLength(const wchar_t* p, size_t len) {
    if (len >= 2 && IsPathSeparator(p[0]) && IsPathSeparator(p[1])) {
        if (len >= 3 && p[2] == L'.') {
            return (len >= 4 && IsPathSeparator(p[3])) ? 4 : len;  // device prefix
        }
        // Server and share, or the '?' and drive of a long-path prefix.
        size_t i = 2;
        for (int seen = 0; i < len && seen < 2; ++i) {
            if (IsPathSeparator(p[i])) ++seen;
        }
        return i;
    }
    if (len >= 2 && p[1] == L':' && ((p[0] | 0x20) >= L'a' && (p[0] | 0x20) <= L'z')) {
        return (len >= 3 && IsPathSeparator(p[2])) ? 3 : 2;
    }
    if (len >= 1 && IsPathSeparator(p[0])) return 1;
    return 0;
}

// The next component at or after `from` that holds a unit above 0xFF: [begin, end).
bool NextWideComponent(const wchar_t* p, size_t len, size_t from, size_t* begin, size_t* end) {
    size_t i = from;
    while (i < len) {
        while (i < len && IsPathSeparator(p[i])) ++i;
        const size_t start = i;
        bool wide = false;
        while (i < len && !IsPathSeparator(p[i])) wide |= p[i++] > 0xFF;
        if (wide) {
            *begin = start;
            *end = i;
            return true;
        }
    }
    return false;
}

// Appends as much as fits below `cap` and counts all of it.
void AppendCounted(wchar_t* dst, size_t cap, size_t* total, const wchar_t* src, size_t n) {
    if (dst && *total < cap) {
        const size_t room = cap - *total;
        std::wmemcpy(dst + *total, src, std::min(n, room));
    }
    *total += n;
}

}  // namespace

bool IsFTPPathA(const char* path) {
    return path && stricmpnA(path, "ftp://", 6) == 0;
}

bool IsFTPPathW(const wchar_t* path) {
    return path && stricmpnW(path, L"ftp://", 6) == 0;
}

bool IsLibraryPathW(const wchar_t* path) {
    return path && stricmpnW(path, L"lib://", 6) == 0;
}

const wchar_t* ExtractFTPSiteAndPathW(const wchar_t* url, wchar_t* host, wchar_t* user,
                                      wchar_t* site) {
    if (host) *host = 0;
    if (user) *user = 0;
    if (site) *site = 0;
    if (!IsFTPPathW(url)) return nullptr;
    const wchar_t* p = url + 6;
    if (stricmpnW(p, L"SITE=", 5) == 0) {
        const wchar_t* q = std::wcschr(p, L'?');
        if (site) {
            if (q) {
                CopyPart(site, p + 5, q);
            } else {
                CopyPart(site, p, p + std::wcslen(p));
            }
            size_t n = std::wcslen(site);
            while (n > 1 && IsPathSeparator(site[n - 1])) site[--n] = 0;
        }
        if (!q) return nullptr;
        // The site key ends at the '?': a separator or ':' inside the site name is not part
        // of the host or the path.
        p = q + 1;
    }
    const wchar_t* slash = std::wcschr(p, L'/');
    const wchar_t* result = slash ? slash + 1 : nullptr;
    if (!host && !user) return result;

    // The host: back from its end, dropping a ":port".
    const wchar_t* hostEnd = slash ? slash : p + std::wcslen(p);
    const wchar_t* hostBegin = p;
    bool colonSeen = false;
    for (const wchar_t* s = hostEnd - 1; s > p; --s) {
        const wchar_t c = *s;
        if (c == L':') {
            if (!colonSeen) {
                colonSeen = true;
                hostEnd = s;
                continue;
            }
            hostBegin = s + 1;
            break;
        }
        if (c == L'/' || c == L'?' || c == L'@' || c == L'\\') {
            hostBegin = s + 1;
            break;
        }
    }
    if (host) CopyPart(host, hostBegin, std::max(hostBegin, hostEnd));

    // The user: from after the '/' or '?' before the at sign up to the first ':' (the password
    // follows it and is never copied; it may itself hold ':').
    if (user && hostBegin > p && hostBegin[-1] == L'@') {
        const wchar_t* at = hostBegin - 1;
        const wchar_t* begin = p;
        for (const wchar_t* s = at; s > p;) {
            --s;
            if (*s == L'/' || *s == L'?') {
                begin = s + 1;
                break;
            }
        }
        const wchar_t* end = begin;
        while (end < at && *end != L':') ++end;
        CopyPart(user, begin, end);
    }
    return result;
}

int PathStrCmpW(const wchar_t* a, const wchar_t* b, uint32_t flags) {
    if (!a) return b ? 1 : 0;
    if (!b) return -1;
    const bool ftpA = IsFTPPathW(a), ftpB = IsFTPPathW(b);
    if (ftpA != ftpB) return ftpA ? 1 : -1;
    if (!ftpA) {
        const bool libA = IsLibraryPathW(a), libB = IsLibraryPathW(b);
        if (libA != libB) return libA ? 1 : -1;
        if (libA) return LibraryCompare(a + 6, b + 6, flags);
        return GeneralCompare(a, b, flags);
    }

    wchar_t hostA[kFtpPartChars], userA[kFtpPartChars], siteA[kFtpPartChars];
    wchar_t hostB[kFtpPartChars], userB[kFtpPartChars], siteB[kFtpPartChars];
    const wchar_t* pathA = ExtractFTPSiteAndPathW(a, hostA, userA, siteA);
    const wchar_t* pathB = ExtractFTPSiteAndPathW(b, hostB, userB, siteB);
    int r = stricmpnW(hostA, hostB, -1);
    if (r != 0) return r;
    r = stricmpnW(userA, userB, -1);
    if (r != 0) {
        // A site entry supplies its own user: a URL with the user and one without name the
        // same place when both go through the same site.
        const bool userMissing = userA[0] == 0 || userB[0] == 0;
        if (!(userMissing && siteA[0] != 0 && stricmpnW(siteA, siteB, -1) == 0)) return r;
    }
    if (hostA[0] == 0) {
        r = stricmpnW(siteA, siteB, -1);
        if (r != 0) return r;
    }
    if (!pathA) return pathB ? 1 : 0;
    if (!pathB) return -1;
    while (IsPathSeparator(*pathA)) ++pathA;
    while (IsPathSeparator(*pathB)) ++pathB;
    return GeneralCompare(pathA, pathB, flags);
}

bool ComparePathStringW(const wchar_t* a, const wchar_t* b, uint32_t flags) {
    return PathStrCmpW(a, b, flags) == 0;
}

const wchar_t* FindFilePartW(const wchar_t* path) {
    const bool valid = path && path != reinterpret_cast<const wchar_t*>(static_cast<intptr_t>(-1));
    return FilePart(path, valid && IsFTPPathW(path), true);
}

const char* FindFilePartA(const char* path) {
    const bool valid = path && path != reinterpret_cast<const char*>(static_cast<intptr_t>(-1));
    return FilePart(path, valid && IsFTPPathA(path), false);
}

const wchar_t* FindFileExtensionW(const wchar_t* path) {
    if (!path || !*path) return nullptr;
    const wchar_t* last = path + std::wcslen(path) - 1;
    for (const wchar_t* s = last;; --s) {
        switch (*s) {
            case L'.':
                if (s != last) return s;
                break;
            case L' ':
            case L'(':
            case L')':
            case L'/':
            case L':':
            case L'\\':
            case L'|':
                return nullptr;
            default:
                break;
        }
        if (s == path) return nullptr;
    }
}

bool IsStringUnicode(const wchar_t* s, int n) {
    return AnyUnit(s, n, [](wchar_t c) { return c > 0xFF; });
}

bool IsStringNonASCII(const wchar_t* s, int n) {
    return AnyUnit(s, n, [](wchar_t c) { return c > 0x7F; });
}

bool SafePathAppend(wchar_t* path, int capacity, const wchar_t* more) {
    if (!path || !more) return false;
    const size_t lp = std::wcslen(path);
    const bool pathEndsInSeparator = lp > 0 && IsPathSeparator(path[lp - 1]);
    if (pathEndsInSeparator && IsPathSeparator(*more)) ++more;
    const bool insert = lp > 0 && !pathEndsInSeparator && !IsPathSeparator(*more);
    const size_t lm = std::wcslen(more);
    const size_t total = lp + (insert ? 1 : 0) + lm;
    if (capacity <= 0 || total >= static_cast<size_t>(capacity)) return false;
    // Move first: `more` may be a part of `path` itself.
    std::wmemmove(path + lp + (insert ? 1 : 0), more, lm + 1);
    if (insert) path[lp] = L'\\';
    return true;
}

uint32_t GetMultibytePathFromUnicodeNameW(const wchar_t* path, wchar_t* out, uint32_t outLen) {
    if (!path) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ErrorModeScope errorMode;
    const size_t len = std::wcslen(path);
    const size_t root = RootLength(path, len);
    size_t begin = 0, end = 0;
    if (!NextWideComponent(path, len, root, &begin, &end)) {
        if (out && outLen > len) {
            if (out != path) std::wmemmove(out, path, len + 1);
            return static_cast<uint32_t>(len);
        }
        return static_cast<uint32_t>(len + 1);
    }

    HeapBuffer copy(len + 1, false);
    if (!copy.get()) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    std::wmemcpy(copy.get(), path, len + 1);
    // Build in a buffer of our own when `out` overlaps the path we are reading.
    wchar_t* dst = out;
    const bool overlaps = out && outLen > 0 && out < path + len + 1 && path < out + outLen;
    HeapBuffer temp(overlaps ? outLen : 1, true);
    if (overlaps) {
        if (!temp.get()) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        dst = temp.get();
    }
    const size_t cap = dst ? outLen : 0;
    size_t total = 0;
    size_t done = 0;  // end of the text already appended
    do {
        AppendCounted(dst, cap, &total, path + done, begin - done);
        const wchar_t saved = copy.get()[end];
        copy.get()[end] = 0;
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW(copy.get(), &data);
        copy.get()[end] = saved;
        if (find == INVALID_HANDLE_VALUE) return 0;
        ::FindClose(find);
        const size_t shortLen = std::wcslen(data.cAlternateFileName);
        if (shortLen > 0) {
            AppendCounted(dst, cap, &total, data.cAlternateFileName, shortLen);
        } else {
            AppendCounted(dst, cap, &total, path + begin, end - begin);
        }
        done = end;
    } while (NextWideComponent(path, len, end, &begin, &end));
    AppendCounted(dst, cap, &total, path + done, len - done);

    if (!out || total >= outLen) {
        // Too small: what was written is cut and terminated, unless the buffer is the caller's
        // path, which stays as it was so that the call can be repeated.
        if (out && outLen > 0 && !overlaps) out[outLen - 1] = 0;
        return static_cast<uint32_t>(total + 1);
    }
    dst[total] = 0;
    if (overlaps) std::wmemcpy(out, dst, total + 1);
    return static_cast<uint32_t>(total);
}

uint32_t GetMultibytePathFromUnicodeNameA(const wchar_t* path, char* out, uint32_t outLen) {
    if (!out) return GetMultibytePathFromUnicodeNameW(path, nullptr, outLen);
    wchar_t stackBuffer[1024];
    wchar_t* work = stackBuffer;
    HLOCAL heap = nullptr;
    if (outLen > 1024) {
        heap = ::LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(outLen) * sizeof(wchar_t));
        if (!heap) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        work = static_cast<wchar_t*>(heap);
    }
    uint32_t r = GetMultibytePathFromUnicodeNameW(path, work, outLen);
    const bool fits = r < outLen && (r > 0 || (path && *path == 0));
    if (fits) {
        const int units = static_cast<int>(r) + 1;
        const int cap = static_cast<int>(std::min<uint32_t>(outLen, INT_MAX));
        if (::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, work, units, out, cap, nullptr,
                                  nullptr) == 0) {
            // Double-byte characters can make the text longer in bytes than in units: report
            // the size needed rather than a half-written buffer.
            const int need = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, work, units,
                                                   nullptr, 0, nullptr, nullptr);
            if (outLen > 0) out[0] = 0;
            r = need > 0 ? static_cast<uint32_t>(need) : 0;
        }
    }
    if (heap) ::LocalFree(heap);
    return r;
}

}  // namespace kwill
