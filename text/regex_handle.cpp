#include "text/regex_handle.h"

#include "frame/context.h"
#include "frame/platform.h"
#include "strings/path_strings.h"

#include <cwchar>
#include <mutex>
#include <new>

namespace kwill {
namespace {

bool HasUnitAbove0xFF(const wchar_t* s) {
    return s && IsStringUnicode(s, -1);
}

bool StdGroup(const void* results, int n, const wchar_t** start, const wchar_t** end) {
    auto* r = static_cast<const StdRegexResults*>(results);
    if (!r || n < 0 || static_cast<size_t>(n) >= r->start.size() || !r->start[n]) return false;
    *start = r->start[n];
    *end = r->end[n];
    return true;
}

bool OwnGroup(const void* results, int n, const wchar_t** start, const wchar_t** end) {
    auto* r = static_cast<const RegexCaptures*>(results);
    if (n < 0 || n > 9 || !r->start[n] || !r->end[n]) return false;
    *start = r->start[n];
    *end = r->end[n];
    return true;
}

// ":group::" in any letter case, then decimal digits and "::"; the group number and the length
// of the whole token, or false when the text is not such a token.
bool NamedGroupToken(const wchar_t* t, int* group, size_t* length) {
    static constexpr wchar_t kHead[] = L":group::";
    size_t i = 0;
    for (; kHead[i]; ++i) {
        wchar_t c = t[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 0x20);
        if (c != kHead[i]) return false;
    }
    size_t digits = i;
    long value = 0;
    while (t[i] >= L'0' && t[i] <= L'9') {
        if (value < 100000) value = value * 10 + (t[i] - L'0');
        ++i;
    }
    if (i == digits || t[i] != L':' || t[i + 1] != L':') return false;
    *group = static_cast<int>(value);
    *length = i + 2;
    return true;
}

}  // namespace

void RegexSpinLock::lock() {
    uint32_t expected = 0;
    while (!word_.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
        expected = 0;
        ::Sleep(0);
    }
}

bool ExpandRegexTemplate(const wchar_t* tmpl, RegexGroupFn group, const void* results,
                         bool namedGroups, bool stopAtTerminator, wchar_t* out, int outSize,
                         uint32_t* error) {
    // Room for outSize - 2 units of text: one unit more than the terminator needs stays unused,
    // which callers have always sized their buffers for.
    size_t room = outSize > 2 ? static_cast<size_t>(outSize) - 2 : 0;
    size_t used = 0;
    auto put = [&](wchar_t c) {
        if (used == room) return false;
        out[used++] = c;
        return true;
    };
    auto putGroup = [&](int n) {
        const wchar_t* start = nullptr;
        const wchar_t* end = nullptr;
        if (!results || !group(results, n, &start, &end)) return true;
        for (const wchar_t* p = start; p < end; ++p) {
            if (stopAtTerminator && *p == 0) {
                *error = kRegexCaptureCut;
                return false;
            }
            if (!put(*p)) {
                *error = kRegexOutputFull;
                return false;
            }
        }
        return true;
    };
    bool ok = true;
    for (const wchar_t* t = tmpl; ok && t && *t;) {
        wchar_t c = *t;
        int n = 0;
        size_t length = 0;
        if (c == L'&') {
            ok = putGroup(0);
            ++t;
        } else if (c == L'\\' && t[1] >= L'0' && t[1] <= L'9') {
            ok = putGroup(t[1] - L'0');
            t += 2;
        } else if (c == L'\\' && (t[1] == L'\\' || t[1] == L'&')) {
            ok = put(t[1]);
            if (!ok) *error = kRegexOutputFull;
            t += 2;
        } else if (namedGroups && c == L':' && NamedGroupToken(t, &n, &length)) {
            ok = putGroup(n);
            t += length;
        } else {
            ok = put(c);
            if (!ok) *error = kRegexOutputFull;
            ++t;
        }
    }
    out[used] = 0;
    return ok;
}

bool IsRegexSyntaxChar(wchar_t c) {
    return c && std::wcschr(L"$()*+.?[\\]^|", c) != nullptr;
}

// ---- standard engine

void RegExWrapper_TR1<wchar_t>::Destroy() {
    delete this;
}

void RegExWrapper_TR1<wchar_t>::CompileLocked(const wchar_t* pattern) {
    compiled_ = true;
    regex_.Reset();
    parsed_ = 0;
    try {
        if (pattern != pattern_.c_str()) pattern_.assign(pattern ? pattern : L"");
        unicode_ = HasUnitAbove0xFF(pattern_.c_str());
        error_ = regex_.Compile(pattern_, caseSensitive_);
    } catch (const std::bad_alloc&) {
        error_ = kRegexNoMemory;
    }
    parsed_ = error_ == kRegexOk;
}

int RegExWrapper_TR1<wchar_t>::Compile(const wchar_t* pattern) {
    std::lock_guard<RegexSpinLock> hold(lock_);
    CompileLocked(pattern);
    return parsed_;
}

int RegExWrapper_TR1<wchar_t>::Match(const wchar_t* text, int caseSensitive, void** results) {
    if (results) *results = nullptr;
    std::lock_guard<RegexSpinLock> hold(lock_);
    // The flag check and the recompilation share the match's hold on the lock, so another
    // thread cannot change the case in between.
    if ((caseSensitive != 0) != caseSensitive_) {
        caseSensitive_ = caseSensitive != 0;
        // A handle that was never given a pattern stays without an expression; compiling its
        // empty kept pattern would make it match everything.
        if (compiled_) CompileLocked(pattern_.c_str());
    }
    if (!regex_.ok()) return 0;
    try {
        std::unique_ptr<StdRegexResults> found(results ? new StdRegexResults : nullptr);
        RegexError error = kRegexOk;
        std::wstring_view subject = text ? std::wstring_view(text) : std::wstring_view();
        if (!regex_.Search(subject, found.get(), &error)) {
            if (error != kRegexOk) error_ = error;
            return 0;
        }
        if (results) *results = found.release();
        return 1;
    } catch (const std::bad_alloc&) {
        error_ = kRegexNoMemory;
        return 0;
    }
}

int RegExWrapper_TR1<wchar_t>::Replace(void* results, uint32_t* error, const wchar_t* tmpl,
                                       wchar_t* out, int outSize) {
    *error = kRegexOk;
    if (!out || outSize < 1) {
        *error = kRegexNoOutput;
        return 0;
    }
    return ExpandRegexTemplate(tmpl, StdGroup, results, true, false, out, outSize, error);
}

void RegExWrapper_TR1<wchar_t>::FreeResults(void* results) {
    delete static_cast<StdRegexResults*>(results);
}

int RegExWrapper_TR1<wchar_t>::CountCaptureGroups(void* results) {
    auto* r = static_cast<StdRegexResults*>(results);
    if (!r || r->start.size() < 2) return 0;
    return static_cast<int>(r->start.size() - 1);
}

// ---- own engine

void RegExWrapper_Std::Destroy() {
    delete this;
}

int RegExWrapper_Std::Compile(const wchar_t* pattern) {
    std::lock_guard<RegexSpinLock> hold(lock_);
    parsed_ = 0;
    unicode_ = HasUnitAbove0xFF(pattern);
    const PinyinInitialsTable* table = ActivePinyinTable();
    hasPinyin_ = table != nullptr;
    if (table) pinyin_ = *table;
    try {
        lastError_ = RegExp::Compile(pattern);
    } catch (const std::bad_alloc&) {
        programForTesting().clear();
        lastError_ = kRegexNoMemory;
    }
    parsed_ = lastError_ == kRegexOk;
    return parsed_;
}

int RegExWrapper_Std::Match(const wchar_t* text, int caseSensitive, void** results) {
    if (results) *results = nullptr;
    std::lock_guard<RegexSpinLock> hold(lock_);
    if (!parsed_) return 0;
    RegexMatchOptions options;
    options.caseSensitive = caseSensitive != 0;
    options.pinyin = hasPinyin_ ? &pinyin_ : nullptr;
    try {
        std::unique_ptr<RegexCaptures> captures(results ? new RegexCaptures : nullptr);
        RegexError error = kRegexOk;
        std::wstring_view subject =
            text ? std::wstring_view(text, UnitLength(text)) : std::wstring_view();
        if (!Search(subject, options, captures.get(), &error)) {
            if (error != kRegexOk) lastError_ = error;
            return 0;
        }
        if (results) *results = captures.release();
        return 1;
    } catch (const std::bad_alloc&) {
        lastError_ = kRegexNoMemory;
        return 0;
    }
}

int RegExWrapper_Std::Replace(void* results, uint32_t* error, const wchar_t* tmpl, wchar_t* out,
                              int outSize) {
    *error = kRegexOk;
    if (!out || outSize < 1 || !tmpl || !results) {
        if (out && outSize >= 1) out[0] = 0;
        *error = kRegexNoOutput;
        return 0;
    }
    return ExpandRegexTemplate(tmpl, OwnGroup, results, false, true, out, outSize, error);
}

void RegExWrapper_Std::FreeResults(void* results) {
    delete static_cast<RegexCaptures*>(results);
}

int RegExWrapper_Std::CountCaptureGroups(void* results) {
    std::lock_guard<RegexSpinLock> hold(lock_);
    auto* r = static_cast<RegexCaptures*>(results);
    if (!r) return 0;
    int n = 0;
    while (n < 10 && r->start[n]) ++n;
    return n;
}

RegExWrapper* NewRegExWrapper(const wchar_t* pattern, uint32_t engine) {
    if (engine == kRegexEngineDefault)
        engine = (LibFlags() & kLibRegexVariant) ? kRegexEngineOwn : kRegexEngineStd;
    if (engine == kRegexEngineStd) {
        auto* handle = new (std::nothrow) RegExWrapper_TR1<wchar_t>();
        if (handle && pattern) handle->Compile(pattern);
        return handle;
    }
    auto* handle = new (std::nothrow) RegExWrapper_Std();
    if (handle && pattern) handle->Compile(pattern);
    return handle;
}

}  // namespace kwill
