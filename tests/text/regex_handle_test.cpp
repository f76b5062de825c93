// The RegExp exports through the real DLL: engine choice, null handles, error numbers and their
// language strings, replacement templates and buffer limits, pinyin matching, and one handle
// shared by several threads.
#include "tests/common/test_support.h"
#include "text/regex_handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace kwill {
namespace {

using test::Named;
using test::Ordinal;

using AllocFn = void* (*)(const wchar_t*, DWORD);
using HandleFn = BOOL (*)(void*);
using FreeFn = void (*)(void*);
using CompileFn = BOOL (*)(void*, const wchar_t*);
using MatchFn = BOOL (*)(void*, const wchar_t*, DWORD, void**);
using ReplaceFn = BOOL (*)(void*, void*, DWORD*, const wchar_t*, wchar_t*, int);
using FreeResultsFn = void (*)(void*, void*);
using CodeFn = DWORD (*)(void*);
using ErrorMsgFn = DWORD (*)(void*, DWORD);
using CountFn = int (*)(void*, void*);
using ValidCharFn = BOOL (*)(WORD);
using SetLibFlagsFn = DWORD (*)(DWORD, DWORD);
using GetLibFlagsFn = DWORD (*)();

struct Api {
    AllocFn alloc = Named<AllocFn>("RegExpAllocW");
    FreeFn release = Named<FreeFn>("RegExpFree");
    HandleFn parsed = Named<HandleFn>("RegExpParsed");
    HandleFn unicode = Named<HandleFn>("RegExpUnicode");
    CompileFn compile = Named<CompileFn>("RegExpCompileW");
    MatchFn match = Named<MatchFn>("RegExpMatchW");
    ReplaceFn replace = Named<ReplaceFn>("RegExpReplaceW");
    FreeResultsFn freeResults = Named<FreeResultsFn>("RegExpFreeResults");
    CodeFn error = Named<CodeFn>("RegExpCompileError");
    ErrorMsgFn errorMsg = Named<ErrorMsgFn>("RegExpErrorMsg");
    CodeFn errorMsgOfLast = Named<CodeFn>("RegExpCompileErrorMsg");
    CountFn count = Named<CountFn>("RegExpCountCaptureGroups");
    ValidCharFn validChar = Named<ValidCharFn>("RegExpIsValidCharW");
};

const Api& R() {
    static const Api api;
    return api;
}

constexpr DWORD kOwn = 1;
constexpr DWORD kStd = 2;

std::string Narrow(std::wstring_view s) {
    std::string out;
    for (wchar_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

TEST(RegexHandle, ExportsExist) {
    const Api& r = R();
    for (const void* fn : {(const void*)r.alloc, (const void*)r.release, (const void*)r.parsed,
                           (const void*)r.unicode, (const void*)r.compile, (const void*)r.match,
                           (const void*)r.replace, (const void*)r.freeResults, (const void*)r.error,
                           (const void*)r.errorMsg, (const void*)r.errorMsgOfLast,
                           (const void*)r.count, (const void*)r.validChar})
        ASSERT_NE(fn, nullptr);
}

TEST(RegexHandle, NullHandleDoesNothing) {
    const Api& r = R();
    void* results = reinterpret_cast<void*>(0x1234);
    DWORD error = 77;
    wchar_t out[8] = L"keep";
    r.release(nullptr);
    r.freeResults(nullptr, nullptr);
    EXPECT_EQ(r.parsed(nullptr), 0);
    EXPECT_EQ(r.unicode(nullptr), 0);
    EXPECT_EQ(r.compile(nullptr, L"a"), 0);
    EXPECT_EQ(r.match(nullptr, L"a", 1, &results), 0);
    EXPECT_EQ(r.replace(nullptr, nullptr, &error, L"x", out, 8), 0);
    EXPECT_EQ(error, 77u);
    EXPECT_STREQ(out, L"keep");
    EXPECT_EQ(r.error(nullptr), 0u);
    EXPECT_EQ(r.errorMsg(nullptr, 5), 0u);
    EXPECT_EQ(r.errorMsgOfLast(nullptr), 0u);
    EXPECT_EQ(r.count(nullptr, nullptr), 0);
}

// Engine 2 is the standard engine, any other non-zero value the own one, 0 follows flag 0x40.
// "a{2}" tells them apart: a counted repeat for the standard engine, plain text for the own.
TEST(RegexHandle, EngineChoice) {
    const Api& r = R();
    auto setFlags = Ordinal<SetLibFlagsFn>(26);
    auto getFlags = Ordinal<GetLibFlagsFn>(27);
    ASSERT_TRUE(setFlags && getFlags);
    DWORD saved = getFlags();
    struct Row {
        DWORD engine;
        bool variantFlag;
        bool standard;
    } rows[] = {
        {2, false, true},           {2, true, true},  {1, false, false}, {3, false, false},
        {0xFFFFFFFF, false, false}, {0, false, true}, {0, true, false},
    };
    for (const Row& row : rows) {
        if (row.variantFlag)
            setFlags(0x40, 0);
        else
            setFlags(0, 0x40);
        void* h = r.alloc(L"a{2}", row.engine);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(r.parsed(h), 1);
        EXPECT_EQ(r.match(h, L"aa", 1, nullptr), row.standard ? 1 : 0) << row.engine;
        EXPECT_EQ(r.match(h, L"xa{2}", 1, nullptr), row.standard ? 0 : 1) << row.engine;
        r.release(h);
    }
    setFlags(saved & 0x40, ~saved & 0x40);
}

TEST(RegexHandle, AllocWithoutPattern) {
    const Api& r = R();
    for (DWORD engine : {kOwn, kStd}) {
        void* h = r.alloc(nullptr, engine);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(r.parsed(h), 0);
        EXPECT_EQ(r.match(h, L"abc", 1, nullptr), 0);
        EXPECT_EQ(r.compile(h, L"b"), 1);
        EXPECT_EQ(r.parsed(h), 1);
        EXPECT_EQ(r.match(h, L"abc", 1, nullptr), 1);
        r.release(h);
    }
    // A null pattern: the standard engine compiles the empty one, the own engine refuses it.
    void* h = r.alloc(L"x", kStd);
    EXPECT_EQ(r.compile(h, nullptr), 1);
    EXPECT_EQ(r.match(h, L"abc", 1, nullptr), 1);
    r.release(h);
    h = r.alloc(L"x", kOwn);
    EXPECT_EQ(r.compile(h, nullptr), 0);
    EXPECT_EQ(r.error(h), 1u);
    EXPECT_EQ(r.errorMsgOfLast(h), 10500u);
    r.release(h);
}

TEST(RegexHandle, CompileErrorsThroughExports) {
    const Api& r = R();
    static const struct {
        DWORD engine;
        const wchar_t* pattern;
        DWORD error;
        DWORD stringId;
    } rows[] = {
        {kStd, L"a(b", 5, 10504},     {kOwn, L"a(b", 5, 10504},
        {kOwn, L"a**", 8, 10507},     {kOwn, L"(a*)*", 7, 10506},
        {kOwn, L"[z-a]", 9, 10508},   {kOwn, L"*a", 12, 10511},
        {kOwn, L"a\\", 13, 10512},    {kOwn, L"[ab", 10, 10509},
        {kStd, L"[ab", 10, 10509},    {kOwn, L"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", 4, 10503},
        {kStd, L"a{2,1}", 15, 10522}, {kStd, L"a{2", 16, 10523},
        {kStd, L"[[.a", 17, 10524},   {kStd, L"[[:alpha", 18, 10525},
        {kStd, L"(a)\\2", 19, 10527}, {kStd, L"[z-a]", 20, 10526},
        {kStd, L"a\\", 13, 10512},    {kStd, L"a{100000}", 3, 10502},
    };
    for (const auto& row : rows) {
        void* h = r.alloc(row.pattern, row.engine);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(r.parsed(h), 0) << Narrow(row.pattern);
        EXPECT_EQ(r.error(h), row.error) << Narrow(row.pattern);
        EXPECT_EQ(r.errorMsgOfLast(h), row.stringId) << Narrow(row.pattern);
        EXPECT_EQ(r.match(h, L"ab", 1, nullptr), 0);
        // A good pattern afterwards clears the state.
        EXPECT_EQ(r.compile(h, L"b"), 1);
        EXPECT_EQ(r.error(h), 0u);
        EXPECT_EQ(r.match(h, L"ab", 1, nullptr), 1);
        r.release(h);
    }
}

TEST(RegexHandle, ErrorMessageTable) {
    const Api& r = R();
    static const DWORD ids[] = {0,     10500, 10501, 10502, 10503, 10504, 10505, 10506,
                                10507, 10508, 10509, 10510, 10511, 10512, 10513, 10522,
                                10523, 10524, 10525, 10527, 10526, 10514, 10515, 10516,
                                10517, 10518, 10519, 10520, 10521, 0};
    for (DWORD engine : {kOwn, kStd}) {
        void* h = r.alloc(L"a", engine);
        for (DWORD code = 0; code < std::size(ids); ++code)
            EXPECT_EQ(r.errorMsg(h, code), ids[code]) << code;
        EXPECT_EQ(r.errorMsg(h, 0xFFFFFFFF), 0u);
        r.release(h);
    }
}

TEST(RegexHandle, ValidChars) {
    const Api& r = R();
    std::wstring special = L"$()*+.?[\\]^|";
    for (WORD c = 0; c < 0x180; ++c)
        EXPECT_EQ(r.validChar(c),
                  special.find(static_cast<wchar_t>(c)) != std::wstring::npos && c != 0)
            << c;
    EXPECT_EQ(r.validChar(0xFF0A), 0);  // the full-width asterisk has no meaning
}

TEST(RegexHandle, UnicodeFlag) {
    const Api& r = R();
    static const struct {
        const wchar_t* pattern;
        BOOL unicode;
    } rows[] = {{L"abc", 0}, {L"caf\u00e9", 0}, {L"\u0100", 1}, {L"a\u4e2d", 1}};
    for (DWORD engine : {kOwn, kStd}) {
        for (const auto& row : rows) {
            void* h = r.alloc(row.pattern, engine);
            EXPECT_EQ(r.unicode(h), row.unicode) << Narrow(row.pattern);
            r.release(h);
        }
    }
}

// The standard engine keeps the case flag of the last match and recompiles when it changes; any
// non-zero value is "case-sensitive". The own engine folds case per match.
TEST(RegexHandle, CaseFlagPerMatch) {
    const Api& r = R();
    for (DWORD engine : {kOwn, kStd}) {
        void* h = r.alloc(L"B", engine);
        EXPECT_EQ(r.match(h, L"abc", 0, nullptr), 1);
        EXPECT_EQ(r.match(h, L"abc", 1, nullptr), 0);
        EXPECT_EQ(r.match(h, L"abc", 0x100, nullptr), 0);
        EXPECT_EQ(r.match(h, L"abc", 0, nullptr), 1);
        EXPECT_EQ(r.match(h, L"aBc", 0xFFFFFFFF, nullptr), 1);
        r.release(h);
    }
}

TEST(RegexHandle, OwnEngineEmptyText) {
    const Api& r = R();
    void* h = r.alloc(L"a*", kOwn);
    void* results = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(r.match(h, L"", 1, &results), 0);
    EXPECT_EQ(results, nullptr);
    EXPECT_EQ(r.error(h), 21u);
    EXPECT_EQ(r.match(h, nullptr, 1, nullptr), 0);
    EXPECT_EQ(r.error(h), 21u);
    EXPECT_EQ(r.errorMsgOfLast(h), 10514u);
    EXPECT_EQ(r.parsed(h), 1);  // the pattern stays usable
    EXPECT_EQ(r.match(h, L"b", 1, nullptr), 1);
    r.release(h);
    // The standard engine takes a null text as empty.
    h = r.alloc(L"^$", kStd);
    EXPECT_EQ(r.match(h, nullptr, 1, nullptr), 1);
    EXPECT_EQ(r.match(h, L"", 1, nullptr), 1);
    r.release(h);
}

struct ReplaceRow {
    DWORD engine;
    const wchar_t* pattern;
    const wchar_t* subject;
    const wchar_t* tmpl;
    int outSize;
    BOOL ok;
    DWORD error;
    const wchar_t* out;
};

TEST(RegexHandle, ReplaceTable) {
    static const ReplaceRow rows[] = {
        {kStd, L"(b)c", L"abcd", L"x&y\\1", 64, 1, 0, L"xbcyb"},
        {kOwn, L"(b)c", L"abcd", L"x&y\\1", 64, 1, 0, L"xbcyb"},
        {kStd, L"(b)c", L"abcd", L":GROUP::1::", 64, 1, 0, L"b"},
        {kStd, L"(b)c", L"abcd", L":group::1:", 64, 1, 0, L":group::1:"},
        {kStd, L"(b)c", L"abcd", L"[:Group::01::]", 64, 1, 0, L"[b]"},
        {kStd, L"(b)c", L"abcd", L":group::::", 64, 1, 0, L":group::::"},
        {kOwn, L"(b)c", L"abcd", L":group::1::", 64, 1, 0, L":group::1::"},
        {kStd, L"(b)c", L"abcd", L"\\\\ \\& \\x \\", 64, 1, 0, L"\\ & \\x \\"},
        {kOwn, L"(b)c", L"abcd", L"\\\\ \\& \\x \\", 64, 1, 0, L"\\ & \\x \\"},
        {kStd, L"(x)?b", L"ab", L"[\\1][\\5]", 64, 1, 0, L"[][]"},
        {kOwn, L"(x)?b", L"ab", L"[\\1][\\5]", 64, 1, 0, L"[][]"},
        {kStd, L"(b)(c)", L"abcd", L"\\2\\1\\0", 64, 1, 0, L"cbbc"},
        // Output limits: outSize - 2 units of text fit.
        {kStd, L"b", L"abc", L"12345", 7, 1, 0, L"12345"},
        {kStd, L"b", L"abc", L"123456", 7, 0, 23, L"12345"},
        {kOwn, L"b", L"abc", L"x&&&&", 7, 1, 0, L"xbbbb"},
        {kOwn, L"b", L"abc", L"x&&&&&", 7, 0, 23, L"xbbbb"},
        {kStd, L"b", L"abc", L"", 1, 1, 0, L""},
        {kStd, L"b", L"abc", L"x", 1, 0, 23, L""},
        {kStd, L"b", L"abc", L"x", 2, 0, 23, L""},
        {kStd, L"b", L"abc", L"x", 3, 1, 0, L"x"},
        {kStd, L"b", L"abc", L"x", 0, 0, 26, nullptr},
        {kOwn, L"b", L"abc", L"x", 0, 0, 26, nullptr},
        {kOwn, L"b", L"abc", L"x", -5, 0, 26, nullptr},
        // A template is required by the own engine only.
        {kStd, L"b", L"abc", nullptr, 8, 1, 0, L""},
        {kOwn, L"b", L"abc", nullptr, 8, 0, 26, L""},
    };
    const Api& r = R();
    for (const ReplaceRow& row : rows) {
        void* h = r.alloc(row.pattern, row.engine);
        void* results = nullptr;
        ASSERT_EQ(r.match(h, row.subject, 1, &results), 1) << Narrow(row.pattern);
        ASSERT_NE(results, nullptr);
        wchar_t out[64];
        std::wmemset(out, L'#', 64);
        DWORD error = 0xdead;
        EXPECT_EQ(r.replace(h, results, &error, row.tmpl, out, row.outSize), row.ok)
            << Narrow(row.tmpl ? row.tmpl : L"(null)") << " size " << row.outSize;
        EXPECT_EQ(error, row.error) << Narrow(row.tmpl ? row.tmpl : L"(null)");
        if (row.out) {
            EXPECT_STREQ(out, row.out) << Narrow(row.tmpl ? row.tmpl : L"(null)");
        } else {
            EXPECT_EQ(out[0], L'#');  // nothing written without room
        }
        r.freeResults(h, results);
        r.release(h);
    }
}

TEST(RegexHandle, ReplaceWithoutResultsOrBuffer) {
    const Api& r = R();
    wchar_t out[16];
    DWORD error = 0;
    void* h = r.alloc(L"(b)", kStd);
    EXPECT_EQ(r.replace(h, nullptr, &error, L"<&\\1>", out, 16), 1);  // groups add nothing
    EXPECT_STREQ(out, L"<>");
    EXPECT_EQ(r.replace(h, nullptr, &error, L"x", nullptr, 16), 0);
    EXPECT_EQ(error, 26u);
    EXPECT_EQ(r.replace(h, nullptr, nullptr, L"x", out, 16), 1);  // the error pointer is optional
    r.release(h);
    h = r.alloc(L"(b)", kOwn);
    EXPECT_EQ(r.replace(h, nullptr, &error, L"<&>", out, 16), 0);
    EXPECT_EQ(error, 26u);
    EXPECT_STREQ(out, L"");
    r.release(h);
}

TEST(RegexHandle, CountCaptureGroups) {
    const Api& r = R();
    static const struct {
        DWORD engine;
        const wchar_t* pattern;
        const wchar_t* subject;
        int groups;
    } rows[] = {
        {kStd, L"b", L"abc", 0},
        {kStd, L"(b)c", L"abcd", 1},
        {kStd, L"(x)|(b)", L"abc", 2},
        {kOwn, L"b", L"abc", 1},
        {kOwn, L"(b)c", L"abcd", 2},
        {kOwn, L"(x)|(b)", L"abc", 1},  // stops at unset group 1
        {kOwn, L"(a)(b)(c)(d)(e)(f)(g)(h)(i)", L"abcdefghi", 10},
    };
    for (const auto& row : rows) {
        void* h = r.alloc(row.pattern, row.engine);
        void* results = nullptr;
        ASSERT_EQ(r.match(h, row.subject, 1, &results), 1);
        EXPECT_EQ(r.count(h, results), row.groups) << Narrow(row.pattern);
        r.freeResults(h, results);
        EXPECT_EQ(r.count(h, nullptr), 0);
        r.release(h);
    }
}

// A pinyin table installed in the library context reaches the own engine's handles compiled
// while pinyin matching is on.
TEST(RegexHandle, PinyinThroughContext) {
    const Api& r = R();
    using SetTableFn = void (*)(const PinyinInitialsTable*);
    using EnableFn = void (*)(BOOL);
    using GetTableFn = const PinyinInitialsTable* (*)();
    auto setTable = Ordinal<SetTableFn>(161);
    auto enable = Ordinal<EnableFn>(160);
    auto getTable = Ordinal<GetTableFn>(162);
    auto getFlags = Ordinal<GetLibFlagsFn>(27);
    ASSERT_TRUE(setTable && enable && getTable && getFlags);
    const PinyinInitialsTable* old = getTable();
    PinyinInitialsTable saved = old ? *old : PinyinInitialsTable{};
    bool wasOn = (getFlags() & 0x400) != 0;
    static uint16_t entries[0x100] = {};
    entries[0x2D] = 26;  // U+4E2D: 'z'
    PinyinInitialsTable table{entries, 0x100};
    setTable(&table);
    enable(TRUE);
    void* h = r.alloc(L"^z.*\\.txt$", kOwn);
    EXPECT_EQ(r.match(h, L"\u4e2d.txt", 1, nullptr), 1);
    enable(FALSE);
    void* plain = r.alloc(L"^z.*\\.txt$", kOwn);
    EXPECT_EQ(r.match(plain, L"\u4e2d.txt", 1, nullptr), 0);
    r.release(plain);
    r.release(h);
    setTable(old ? &saved : nullptr);
    enable(wasOn);
}

// Threads share one handle: the spin lock keeps compile and match apart, and the standard
// engine's case flag changes (with its recompilation) under the same lock as the match.
TEST(RegexHandle, OneHandleManyThreads) {
    const Api& r = R();
    for (DWORD engine : {kOwn, kStd}) {
        void* h = r.alloc(L"([a-z]+)-([0-9]+)", engine);
        ASSERT_EQ(r.parsed(h), 1);
        std::vector<int> failures(4, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 300; ++i) {
                    std::wstring word = (t % 2 ? L"ABC" : L"abc") + std::to_wstring(i % 7);
                    std::wstring text =
                        L"x " + word.substr(0, 3) + L"-" + std::to_wstring(i) + L" y";
                    DWORD caseSensitive = t % 2 ? 0 : 1;  // odd threads need folding
                    void* results = nullptr;
                    if (r.match(h, text.c_str(), caseSensitive, &results) != 1) {
                        ++failures[t];
                        continue;
                    }
                    wchar_t out[64];
                    DWORD error = 0;
                    r.replace(h, results, &error, L"\\2:\\1", out, 64);
                    std::wstring want = std::to_wstring(i) + L":" + word.substr(0, 3);
                    if (want != out || r.count(h, results) < 2) ++failures[t];
                    r.freeResults(h, results);
                    if (r.match(h, L"no digits here", caseSensitive, nullptr) != 0) ++failures[t];
                }
            });
        }
        for (auto& th : threads) th.join();
        for (int t = 0; t < 4; ++t)
            EXPECT_EQ(failures[t], 0) << "engine " << engine << " thread " << t;
        r.release(h);
    }
}

// A compile racing with matches never leaves a half-built program behind.
TEST(RegexHandle, CompileWhileMatching) {
    const Api& r = R();
    for (DWORD engine : {kOwn, kStd}) {
        void* h = r.alloc(L"cat", engine);
        std::atomic<bool> stop{false};
        std::atomic<int> bad{0};
        std::thread matcher([&] {
            while (!stop) {
                // Either pattern matches this text; a torn state would fail or crash.
                if (r.match(h, L"a cat and a dog", 1, nullptr) != 1) ++bad;
            }
        });
        for (int i = 0; i < 200; ++i) r.compile(h, i % 2 ? L"dog" : L"c(a|o)t");
        stop = true;
        matcher.join();
        EXPECT_EQ(bad.load(), 0);
        r.release(h);
    }
}

// The template expansion stops at a terminator inside a captured piece when asked to (the own
// engine's results come from null-terminated texts, so such a piece means damaged results).
TEST(RegexHandle, TemplateStopsAtCapturedTerminator) {
    static const wchar_t text[] = {L'a', L'b', 0, L'c', L'd'};
    RegexCaptures c{};
    c.start[0] = text;
    c.end[0] = text + 5;
    auto group = [](const void* results, int n, const wchar_t** s, const wchar_t** e) {
        auto* r = static_cast<const RegexCaptures*>(results);
        if (!r->start[n]) return false;
        *s = r->start[n];
        *e = r->end[n];
        return true;
    };
    wchar_t out[16];
    uint32_t error = 0;
    EXPECT_FALSE(ExpandRegexTemplate(L"<&>", group, &c, false, true, out, 16, &error));
    EXPECT_EQ(error, 28u);
    EXPECT_STREQ(out, L"<ab");
    error = 0;
    EXPECT_TRUE(ExpandRegexTemplate(L"<&>", group, &c, false, false, out, 16, &error));
    EXPECT_EQ(std::wstring(out, 7), std::wstring(L"<ab\0cd>", 7));
}

}  // namespace
}  // namespace kwill
