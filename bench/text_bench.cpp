// Wildcard matching against the shell's PathMatchSpecW on a corpus of file names, hostile
// patterns, and Boyer-Moore search against the standard library's searchers over megabytes of
// UTF-16 text.
#include "bench/harness.h"
#include "frame/platform.h"
#include "text/boyer_moore.h"
#include "text/wildcard.h"

#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::bench {
namespace {

std::vector<std::wstring> FileNames(size_t count) {
    Random rng(6);
    const wchar_t* stems[] = {L"Report ", L"report_", L"IMG_",    L"Invoice ", L"notes",
                              L"Track ",  L"DSC",     L"backup-", L"readme",   L"setup"};
    const wchar_t* extensions[] = {L".txt", L".jpg", L".JPG", L".docx", L".tar.gz", L".mp3", L""};
    std::vector<std::wstring> names;
    for (size_t i = 0; i < count; ++i) {
        std::wstring n = stems[rng.Below(10)];
        n += std::to_wstring(rng.Below(100000));
        if (rng.Below(4) == 0) n += L" (copy)";
        n += extensions[rng.Below(7)];
        names.push_back(n);
    }
    return names;
}

void WildcardRows() {
    const std::vector<std::wstring> names = FileNames(4096);
    // One row: the pattern over all names against the shell's matcher on `spec` (a list separated
    // by ';' where the pattern has a group; `negated` counts the names it does not match).
    auto row = [&](const wchar_t* source, const wchar_t* spec, bool negated, const char* peer) {
        auto pattern = text::NewMatchPattern(source, 0);
        std::string label = "wildcard ";
        for (const wchar_t* c = source; *c; ++c) label += static_cast<char>(*c);
        Compare(
            label + " (file names)", {Unit::NanosecondsPerOp, static_cast<double>(names.size())},
            [&] {
                int hits = 0;
                for (const std::wstring& n : names) hits += text::MatchPattern(*pattern, n.c_str());
                Keep(hits);
            },
            peer,
            [&] {
                int hits = 0;
                for (const std::wstring& n : names)
                    hits += (::PathMatchSpecW(n.c_str(), spec) != FALSE) != negated;
                Keep(hits);
            });
    };
    for (const wchar_t* p : {L"*.txt", L"IMG_*.jpg", L"*report*", L"????????.mp3", L"*1?3*.*"})
        row(p, p, false, "PathMatchSpecW");
    // Groups and negations run the general matcher.
    row(L"(*.txt|*.jpg)", L"*.txt;*.jpg", false, "PathMatchSpecW list");
    row(L"~(*.txt|*.jpg)", L"*.txt;*.jpg", true, "PathMatchSpecW list");
}

void HostileRows() {
    const std::wstring as(10000, L'a');
    struct Hostile {
        const char* label;
        const wchar_t* pattern;
    } rows[] = {
        {"hostile *a*a*a*a*a*a*a*a*b, 10000 a", L"*a*a*a*a*a*a*a*a*b"},
        {"hostile #(*|*)b, 10000 a", L"#(*|*)b"},
        {"hostile #(#(*|*)|#(?|*))#(a|*)b, 10000 a", L"#(#(*|*)|#(?|*))#(a|*)b"},
        {"hostile #(a|aa)#(a|aa)c, 10000 a", L"#(a|aa)#(a|aa)c"},
        {"hostile *~(*b), 10000 a", L"*~(*b)"},
    };
    for (const Hostile& h : rows) {
        auto pattern = text::NewMatchPattern(h.pattern, 0x2);
        const std::wstring& name = as;
        Compare(
            h.label, {Unit::NanosecondsPerOp, 1},
            [&] { Keep(text::MatchPattern(*pattern, name.c_str())); }, "none (no such syntax)",
            nullptr);
    }
    // Negated items tried from many starts, nested negations and negations under repetition,
    // at growing name lengths: the time per match grows linearly.
    const wchar_t* negations[] = {L"*~(*b)c", L"~(*a*)", L"*~(~(*a)b)c", L"#(~(*b)|*)c",
                                  L"*~(*b)~(*c)"};
    for (const wchar_t* source : negations) {
        auto pattern = text::NewMatchPattern(source, 0x2);
        for (size_t length : {2000, 10000, 100000}) {
            const std::wstring name(length, L'a');
            std::string label = "hostile ";
            for (const wchar_t* c = source; *c; ++c) label += static_cast<char>(*c);
            label += ", " + std::to_string(length) + " a";
            Compare(
                label, {Unit::NanosecondsPerOp, 1},
                [&] { Keep(text::MatchPattern(*pattern, name.c_str())); }, "none (no such syntax)",
                nullptr);
        }
    }
    // The shell's matcher backtracks without memory: only a short run finishes.
    const std::wstring few(26, L'a');
    auto pattern = text::NewMatchPattern(L"*a*a*a*a*a*a*a*a*b", 0x2);
    Compare(
        "hostile *a*a*a*a*a*a*a*a*b, 26 a", {Unit::NanosecondsPerOp, 1},
        [&] { Keep(text::MatchPattern(*pattern, few.c_str())); }, "PathMatchSpecW",
        [&] { Keep(::PathMatchSpecW(few.c_str(), L"*a*a*a*a*a*a*a*a*b")); });
}

// About 4 MB of UTF-16 prose-like text from a small vocabulary. The sought phrases end in words
// outside the vocabulary and stand only at the very end (forward searches) and at the very start
// (backward searches), so that every search scans the whole text.
std::wstring Corpus() {
    Random rng(2);
    const wchar_t* words[] = {L"the",    L"search", L"of",      L"file",   L"names",  L"drive",
                              L"window", L"folder", L"content", L"viewer", L"binary", L"a",
                              L"to",     L"with",   L"pattern", L"text",   L"size",   L"date"};
    std::wstring text = L"folder pattern targets ";
    while (text.size() < (2u << 20)) {
        text += words[rng.Below(18)];
        text += rng.Below(12) == 0 ? L".\n" : L" ";
    }
    text += L"folder pattern windows";
    return text;
}

void BoyerRows() {
    const std::wstring corpus = Corpus();
    const std::wstring_view view(corpus);
    const std::wstring sought = L"folder pattern windows";
    const std::wstring soughtUpper = L"FOLDER PATTERN WINDOWS";
    const std::wstring soughtFirst = L"folder pattern targets";
    const double bytes = static_cast<double>(corpus.size() * sizeof(wchar_t));
    auto handle = text::NewBoyerHandle(sought.c_str());
    auto upperHandle = text::NewBoyerHandle(soughtUpper.c_str());
    auto firstHandle = text::NewBoyerHandle(soughtFirst.c_str());
    const wchar_t* begin = corpus.data();
    const wchar_t* end = begin + corpus.size();

    std::boyer_moore_horspool_searcher<const wchar_t*> horspool(sought.data(),
                                                                sought.data() + sought.size());
    Compare(
        "BoyerFindW exact, 4 MB UTF-16", {Unit::MegabytesPerSecond, bytes},
        [&] { Keep(text::BoyerFind(*handle, begin, corpus.size(), false, false)); },
        "std::boyer_moore_horspool_searcher", [&] { Keep(horspool(begin, end).first); });
    Compare(
        "BoyerFindW exact, 4 MB UTF-16", {Unit::MegabytesPerSecond, bytes},
        [&] { Keep(text::BoyerFind(*handle, begin, corpus.size(), false, false)); },
        "std::wstring_view::find", [&] { Keep(view.find(sought)); });
    Compare(
        "BoyerRFindW exact, 4 MB UTF-16", {Unit::MegabytesPerSecond, bytes},
        [&] { Keep(text::BoyerFind(*firstHandle, begin, corpus.size(), false, false, true)); },
        "std::wstring_view::rfind", [&] { Keep(view.rfind(soughtFirst)); });

    // Ignoring case: the peer is the standard searcher with an upper-casing hash and predicate.
    const wchar_t* table = nullptr;
    {
        static wchar_t upper[0x10000];
        for (uint32_t c = 0; c < 0x10000; ++c) upper[c] = static_cast<wchar_t>(c);
        ::CharUpperBuffW(upper, 0xD800);
        table = upper;
    }
    auto hash = [table](wchar_t c) { return std::hash<wchar_t>()(table[c]); };
    auto equal = [table](wchar_t a, wchar_t b) { return table[a] == table[b]; };
    std::boyer_moore_horspool_searcher<const wchar_t*, decltype(hash), decltype(equal)>
        horspoolNoCase(soughtUpper.data(), soughtUpper.data() + soughtUpper.size(), hash, equal);
    Compare(
        "BoyerFindW ignore case, 4 MB UTF-16", {Unit::MegabytesPerSecond, bytes},
        [&] { Keep(text::BoyerFind(*upperHandle, begin, corpus.size(), true, false)); },
        "std::boyer_moore_horspool_searcher, upper",
        [&] { Keep(horspoolNoCase(begin, end).first); });
    Compare(
        "BoyerFindW ignore case, 4 MB UTF-16", {Unit::MegabytesPerSecond, bytes},
        [&] { Keep(text::BoyerFind(*upperHandle, begin, corpus.size(), true, false)); },
        "BoyerFindW exact (same text)",
        [&] { Keep(text::BoyerFind(*handle, begin, corpus.size(), false, false)); });
    Compare(
        "BoyerFindW fold diacritics, 4 MB UTF-16", {Unit::MegabytesPerSecond, bytes},
        [&] { Keep(text::BoyerFind(*handle, begin, corpus.size(), false, true)); },
        "BoyerFindW exact (same text)",
        [&] { Keep(text::BoyerFind(*handle, begin, corpus.size(), false, false)); });
}

void Run() {
    WildcardRows();
    HostileRows();
    BoyerRows();
}

const SuiteRegistrar kSuite({"text", Run});

}  // namespace
}  // namespace kwill::bench
