#include "hostlink/dde_folder_string.h"

namespace kwill::hostlink {
namespace {

constexpr size_t npos = std::wstring_view::npos;

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool IsSlash(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// Reads decimal digits at `at`. Nothing when there are none or the value does not fit in
// `limit`; `end` is set past the digits either way.
std::optional<uint64_t> ReadDecimal(std::wstring_view text, size_t at, uint64_t limit,
                                    size_t* end) {
    uint64_t value = 0;
    bool overflow = false;
    size_t i = at;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        uint64_t digit = static_cast<uint64_t>(text[i] - L'0');
        if (value > (limit - digit) / 10) overflow = true;
        if (!overflow) value = value * 10 + digit;
    }
    *end = i;
    if (i == at || overflow) return std::nullopt;
    return value;
}

// Finds ":" followed by "-" or a digit, then a second ":" followed by a digit, from `at`. On
// success `request.shared` is set and the position after the second number is returned.
size_t ScanSharedPair(std::wstring_view text, size_t at, DdeFolderRequest& request) {
    size_t first = at;
    for (;; ++first) {
        first = text.find(L':', first);
        if (first == npos || first + 1 >= text.size()) return npos;
        if (text[first + 1] == L'-' || IsDigit(text[first + 1])) break;
    }
    size_t at1 = first + 1;
    bool negative = text[at1] == L'-';
    if (negative) ++at1;
    size_t end1 = 0;
    std::optional<uint64_t> handle = ReadDecimal(text, at1, UINT64_MAX, &end1);

    size_t second = end1;
    for (;; ++second) {
        second = text.find(L':', second);
        if (second == npos || second + 1 >= text.size()) return npos;
        if (IsDigit(text[second + 1])) break;
    }
    size_t end2 = 0;
    std::optional<uint64_t> pid = ReadDecimal(text, second + 1, UINT32_MAX, &end2);

    SharedListRef ref;
    if (handle) ref.handle = negative ? 0 - *handle : *handle;
    if (pid) ref.processId = static_cast<uint32_t>(*pid);
    request.shared = ref;
    request.sharedValid = handle && pid;
    return end2;
}

std::wstring Capped(std::wstring_view text) {
    return std::wstring(text.substr(0, kDdePathChars));
}

}  // namespace

DdeFolderRequest ScanDdeFolderString(std::wstring_view text, bool afterCommand) {
    DdeFolderRequest request;
    size_t at = 0;
    const size_t bracket = text.find(L'[');
    if (bracket != npos) {
        // The command form: the first argument, when quoted, is the path.
        size_t open = text.find(L'(', bracket);
        at = open == npos ? text.size() : open + 1;
        size_t stop = text.find_first_of(L"\",", at);
        if (stop == npos) {
            at = text.size();
        } else if (text[stop] == L'"') {
            size_t close = text.find(L'"', stop + 1);
            size_t end = close == npos ? text.size() : close;
            request.path = Capped(text.substr(stop + 1, end - stop - 1));
            at = close == npos ? text.size() : close + 1;
        } else {
            at = stop;
        }
    }
    if (bracket != npos || !afterCommand) {
        size_t comma = text.find(L',', at);
        if (comma == npos) return request;
        at = comma + 1;
    }

    if (at >= text.size() || text[at] == L'"') return request;
    size_t next = at;
    if (text[at] != L',') {
        next = ScanSharedPair(text, at, request);
        if (next == npos) return request;
    }
    // In the command form the argument after the list is the show code, never a path: the quoted
    // path stands. Only the after-command form names the folder after the list.
    if (bracket != npos) return request;
    size_t comma = text.find(L',', next);
    if (comma == npos) return request;
    request.fallback = Capped(text.substr(comma + 1));
    size_t n = request.fallback.size();
    if (n >= 3 && IsSlash(request.fallback[n - 1]) && IsSlash(request.fallback[n - 2]) &&
        IsSlash(request.fallback[n - 3])) {
        request.fallback.pop_back();
    }
    return request;
}

std::wstring DdeFallbackPath(const DdeFolderRequest& request) {
    return request.fallback.empty() ? request.path : request.fallback;
}

}  // namespace kwill::hostlink
