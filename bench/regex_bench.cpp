// The own regular-expression engine against std::wregex (ECMAScript) on the same patterns and
// texts: file names searched with literals, classes, alternations, anchors and captures, a
// megabyte of text, and a pathological nested repeat.
#include "bench/harness.h"
#include "text/regex_engine.h"
#include "tools/common/kwill_dll.h"

#include <cwchar>
#include <regex>
#include <string>
#include <vector>

namespace kwill::bench {
namespace {

std::vector<std::wstring> Names(size_t count) {
    Random rng(7);
    const wchar_t* stems[] = {L"Report ", L"report_", L"IMG_", L"Invoice ", L"notes", L"Track "};
    const wchar_t* exts[] = {L".txt", L".jpeg", L".png", L".docx", L".gif", L".mp3"};
    std::vector<std::wstring> names;
    for (size_t i = 0; i < count; ++i) {
        std::wstring n = stems[rng.Below(6)];
        n += std::to_wstring(rng.Below(100000));
        n += exts[rng.Below(6)];
        names.push_back(n);
    }
    return names;
}

// One row: the same pattern over every name with both engines.
void NameRow(const char* kernel, const std::vector<std::wstring>& names, const wchar_t* pattern,
             bool caseSensitive, bool captures) {
    RegExp own;
    if (own.Compile(pattern) != kRegexOk) return;
    auto flags = std::regex_constants::ECMAScript;
    if (!caseSensitive) flags |= std::regex_constants::icase;
    std::wregex peer(pattern, flags);
    RegexMatchOptions options;
    options.caseSensitive = caseSensitive;
    size_t ownHits = 0, peerHits = 0;
    Compare(
        kernel, {Unit::NanosecondsPerOp, static_cast<double>(names.size())},
        [&] {
            RegexCaptures c;
            RegexError error;
            size_t hits = 0;
            for (const auto& n : names)
                hits += own.Search(n, options, captures ? &c : nullptr, &error);
            ownHits = hits;
            Keep(hits);
        },
        "std::wregex",
        [&] {
            std::wcmatch m;
            size_t hits = 0;
            for (const auto& n : names)
                hits += std::regex_search(n.c_str(), n.c_str() + n.size(), m, peer);
            peerHits = hits;
            Keep(hits);
        });
    if (ownHits != peerHits)
        std::fprintf(stderr, "  (%s: own %zu matches, std %zu)\n", kernel, ownHits, peerHits);
}

void Run() {
    auto names = Names(2000);
    NameRow("regex literal 'report' (2000 names)", names, L"report", true, false);
    NameRow("regex literal, ignore case 'REPORT'", names, L"REPORT", false, false);
    NameRow("regex class '[0-9]+\\.txt'", names, L"[0-9]+\\.txt", true, false);
    NameRow("regex alternation 'jpeg|png|gif'", names, L"jpeg|png|gif", true, false);
    NameRow("regex anchored '^IMG_[0-9]'", names, L"^IMG_[0-9]", true, false);
    NameRow("regex unanchored '_[0-9]+\\.(jpeg|png)$'", names, L"_[0-9]+\\.(jpeg|png)$", true,
            false);
    NameRow("regex captures '([A-Za-z]+)[ _]([0-9]+)\\.(...)'", names,
            L"([A-Za-z]+)[ _]([0-9]+)\\.(...)", true, true);

    // A megabyte of text: a literal near the end.
    std::wstring big;
    Random rng(3);
    while (big.size() < (1u << 20))
        big += L"lorem ipsum dolor sit amet " + std::to_wstring(rng.Below(1000));
    big += L"needle";
    {
        RegExp own;
        own.Compile(L"need+le");
        std::wregex peer(L"need+le");
        Compare(
            "regex 'need+le' in 1 MB", {Unit::MegabytesPerSecond, big.size() * 2.0},
            [&] {
                RegexError error;
                Keep(own.Search(big, {}, nullptr, &error));
            },
            "std::wregex",
            [&] {
                std::wcmatch m;
                Keep(std::regex_search(big.c_str(), big.c_str() + big.size(), m, peer));
            });
    }

    // Nested repeats over a run of 'a' that ends without the 'b' after it: the standard
    // matcher tries every way to split the run.
    for (size_t run : {16, 20}) {
        std::wstring text(run, L'a');
        text += L"cb";
        RegExp own;
        own.Compile(L"(a+)+b");
        std::wregex peer(L"(a+)+b");
        std::string kernel = "regex pathological '(a+)+b', " + std::to_string(run) + " a";
        Compare(
            kernel, {Unit::NanosecondsPerOp, 1},
            [&] {
                RegexError error;
                Keep(own.Search(text, {}, nullptr, &error));
            },
            "std::wregex",
            [&] {
                std::wcmatch m;
                Keep(std::regex_search(text.c_str(), text.c_str() + text.size(), m, peer));
            });
    }
    // The own engine refuses "(a*)*b" at compile time (a repeat of something that can match
    // nothing, error 7); its accepted equivalent "(a+)*b" runs against the standard engine's
    // "(a*)*b".
    {
        std::wstring text(10, L'a');
        text += L"cb";
        RegExp own;
        own.Compile(L"(a+)*b");
        std::wregex peer(L"(a*)*b");
        Compare(
            "regex pathological '(a*)*b' (own: '(a+)*b'), 10 a", {Unit::NanosecondsPerOp, 1},
            [&] {
                RegexError error;
                Keep(own.Search(text, {}, nullptr, &error));
            },
            "std::wregex",
            [&] {
                std::wcmatch m;
                Keep(std::regex_search(text.c_str(), text.c_str() + text.size(), m, peer));
            });
    }
    {
        std::wstring text(100000, L'a');
        text += L"cb";
        RegExp own;
        own.Compile(L"(a+)+b");
        Report({"regex pathological '(a+)+b', 100000 a", "std::wregex (not run: exponential)",
                Time(
                    [&] {
                        RegexError error;
                        Keep(own.Search(text, {}, nullptr, &error));
                    },
                    {Unit::NanosecondsPerOp, 1}),
                0, Unit::NanosecondsPerOp});
    }
}

// Worst cases through the exports, as a host meets them: short patterns with nested repeats that
// make a backtracking matcher try every way to split the text, on a 40-character and a 64 KB text
// without the character the pattern needs at the end. Every search must come back within 50 ms,
// with an answer or with the "too complex" error; the peer column is that limit, so a ratio of 1
// or more means the search stayed within it.
void LimitRows() {
    using AllocFn = void* (*)(const wchar_t*, DWORD);
    using FreeFn = void (*)(void*);
    using MatchFn = BOOL (*)(void*, const wchar_t*, DWORD, void**);
    using PatternAllocFn = void* (*)(const wchar_t*, DWORD);
    using PatternMatchFn = int (*)(const void*, const wchar_t*);
    using PatternFreeFn = void (*)(void*);
    tools::KwillDll& dll = tools::KwillDll::Get();
    auto alloc = dll.ByName<AllocFn>("RegExpAllocW");
    auto release = dll.ByName<FreeFn>("RegExpFree");
    auto match = dll.ByName<MatchFn>("RegExpMatchW");
    auto patternAlloc = dll.ByName<PatternAllocFn>("AllocMatchPatternW");
    auto patternMatch = dll.ByName<PatternMatchFn>("MatchPatternW");
    auto patternFree = dll.ByName<PatternFreeFn>("FreeMatchPattern");
    if (!alloc || !release || !match || !patternAlloc || !patternMatch || !patternFree) return;

    constexpr double kLimitNs = 50e6;
    const wchar_t* patterns[] = {L".+*b", L"..?*b", L".**b", L"(a+)+b", L"(a|aa)+b", L"(.*a){12}b"};
    for (size_t length : {size_t{40}, size_t{65536}}) {
        std::wstring text(length - 1, L'a');
        text += L'c';
        for (const wchar_t* pattern : patterns) {
            std::string name(pattern, pattern + std::wcslen(pattern));
            std::string size = length == 40 ? "40 a" : "64 KB of a";
            struct Engine {
                const char* label;
                DWORD engine;
            } engines[] = {{"std", 2}, {"own", 1}};
            for (const Engine& e : engines) {
                void* handle = alloc(pattern, e.engine);
                if (!handle) continue;
                double ns = Time([&] { Keep(match(handle, text.c_str(), 1, nullptr)); },
                                 {Unit::NanosecondsPerOp, 1});
                release(handle);
                Report({"regex limit " + std::string(e.label) + " '" + name + "', " + size,
                        "50 ms limit", ns, kLimitNs, Unit::NanosecondsPerOp});
            }
            // The same expression through a wildcard handle in regular-expression mode.
            if (void* wild = patternAlloc(pattern, 0x8)) {
                double ns = Time([&] { Keep(patternMatch(wild, text.c_str())); },
                                 {Unit::NanosecondsPerOp, 1});
                patternFree(wild);
                Report({"regex limit wildcard 0x8 '" + name + "', " + size, "50 ms limit", ns,
                        kLimitNs, Unit::NanosecondsPerOp});
            }
        }
    }
}

const SuiteRegistrar kSuite({"regex", Run});
const SuiteRegistrar kLimitSuite({"regex-limits", LimitRows});

}  // namespace
}  // namespace kwill::bench
