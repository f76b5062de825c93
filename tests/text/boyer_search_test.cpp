// Boyer-Moore search through the exports: the kinds of handle, the bounds of the text, the four
// pattern variants in both directions, checked against a plain search on generated texts.
#include "strings/compare.h"
#include "tests/common/test_support.h"
#include "text/fold_diacritics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using AllocWFn = void*(__cdecl*)(const wchar_t*);
using AllocAFn = void*(__cdecl*)(const char*);
using FreeFn = void(__cdecl*)(void*);
using FindWFn = wchar_t*(__cdecl*)(void*, const wchar_t*, int, BYTE, BYTE);
using FindAFn = char*(__cdecl*)(void*, const char*, int, BYTE, BYTE);
using NoCaseWFn = wchar_t*(__cdecl*)(void*, const wchar_t*, int);
using NoCaseAFn = char*(__cdecl*)(void*, const char*, int);
using UnicodeFn = BYTE(__cdecl*)(void*);

struct Api {
    AllocWFn allocW = test::Named<AllocWFn>("BoyerAllocW");
    AllocAFn allocA = test::Named<AllocAFn>("BoyerAllocA");
    FreeFn free = test::Named<FreeFn>("BoyerFree");
    FindWFn findW = test::Named<FindWFn>("BoyerFindW");
    FindAFn findA = test::Named<FindAFn>("BoyerFindA");
    NoCaseWFn noCaseW = test::Named<NoCaseWFn>("BoyerFindNoCaseW");
    NoCaseAFn noCaseA = test::Named<NoCaseAFn>("BoyerFindNoCaseA");
    FindWFn rfindW = test::Named<FindWFn>("BoyerRFindW");
    UnicodeFn unicode = test::Named<UnicodeFn>("BoyerIsPatternUnicode");
};

const Api& Exports() {
    static const Api api;
    return api;
}

// Index of the match in the text, -1 for none.
long FindIndex(const wchar_t* pattern, const std::wstring& text, bool ignoreCase, bool fold,
               bool reverse) {
    const Api& api = Exports();
    void* h = api.allocW(pattern);
    EXPECT_NE(h, nullptr);
    const wchar_t* found = (reverse ? api.rfindW : api.findW)(
        h, text.data(), static_cast<int>(text.size()), ignoreCase, fold);
    api.free(h);
    return found ? static_cast<long>(found - text.data()) : -1;
}

TEST(BoyerSearch, Table) {
    struct Row {
        const wchar_t* pattern;
        std::wstring text;
        bool ignoreCase, fold, reverse;
        long expected;
    } rows[] = {
        {L"abc", L"xxabcabc", false, false, false, 2},
        {L"abc", L"xxabcabc", false, false, true, 5},
        {L"abc", L"abc", false, false, false, 0},
        {L"abc", L"abc", false, false, true, 0},
        {L"abc", L"ab", false, false, false, -1},
        {L"abc", L"ab", false, false, true, -1},
        {L"ABC", L"xaBc", true, false, false, 1},
        {L"ABC", L"xaBc", false, false, false, -1},
        {L"ABC", L"aBcx", true, false, true, 0},
        {L"aaa", L"aaaa", false, false, false, 0},
        {L"aaa", L"aaaa", false, false, true, 1},
        {L"\u00E4", L"x\u00C4", true, false, false, 1},
        // folding: precomposed and decomposed texts, pointers into the given text
        {L"cafe", L"un caf\u00E9", false, true, false, 3},
        {L"caf\u00E9", L"un cafe", false, true, false, 3},
        {L"cafe\u0301", L"un cafe!", false, true, false, 3},  // folded pattern is shorter
        {L"cafe", L"un cafe\u0301s", false, true, true, 3},
        {L"nee", L"ne\u0301e", false, true, false, 0},  // a mark inside the match
        {L"CAFE", L"caf\u00E9", true, true, false, 0},
        {L"CAFE", L"caf\u00E9", false, true, false, -1},
        {L"\u0141odz", L"in lodz", true, true, false, 3},
        {L"file", L"a \uFB01le", false, true, false, 2},  // the ligature folds to "fi"
        {L"le", L"a \uFB01le", false, true, true, 3},
        {L"i", L"\uFB01", false, true, false, 0},         // inside an expansion: its character
        {L"\u0301", L"e\u0301", false, true, false, -1},  // only marks: nothing to find
        {L"Ol", L"\u00D8l", false, true, false, 0},
        {L"Ol", L"\u00D8l", false, false, false, -1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FindIndex(r.pattern, r.text, r.ignoreCase, r.fold, r.reverse), r.expected)
            << "pattern #" << (&r - rows) << " case " << r.ignoreCase << " fold " << r.fold
            << " reverse " << r.reverse;
    }
}

TEST(BoyerSearch, LongPatternsAreCutTo255) {
    std::wstring pattern;
    for (int i = 0; i < 300; ++i) pattern += static_cast<wchar_t>(L'a' + i % 7);
    std::wstring text = L"zz" + pattern.substr(0, 255) + L"q";
    EXPECT_EQ(FindIndex(pattern.c_str(), text, false, false, false), 2);
    EXPECT_EQ(FindIndex(pattern.c_str(), text, false, false, true), 2);
    EXPECT_EQ(FindIndex(pattern.c_str(), text.substr(0, 256), false, false, false), -1);
}

TEST(BoyerSearch, BadArgumentsFindNothing) {
    const Api& api = Exports();
    EXPECT_EQ(api.allocW(nullptr), nullptr);
    EXPECT_EQ(api.allocW(L""), nullptr);
    EXPECT_EQ(api.allocA(nullptr), nullptr);
    EXPECT_EQ(api.allocA(""), nullptr);
    api.free(nullptr);

    void* w = api.allocW(L"ab");
    void* a = api.allocA("ab");
    ASSERT_TRUE(w && a);
    const wchar_t* wide = L"xxab";
    const char* narrow = "xxab";
    EXPECT_EQ(api.findW(w, wide, 4, 0, 0), wide + 2);
    EXPECT_EQ(api.findW(w, wide, 3, 0, 0), nullptr);  // the length is the limit
    EXPECT_EQ(api.findW(w, wide, -1, 0, 0), nullptr);
    EXPECT_EQ(api.findW(w, nullptr, 4, 0, 0), nullptr);
    EXPECT_EQ(api.findW(nullptr, wide, 4, 0, 0), nullptr);
    EXPECT_EQ(api.rfindW(w, wide, -5, 0, 0), nullptr);
    EXPECT_EQ(api.findW(a, wide, 4, 0, 0), nullptr);  // wrong kind
    EXPECT_EQ(api.rfindW(a, wide, 4, 0, 0), nullptr);
    EXPECT_EQ(api.noCaseW(a, wide, 4), nullptr);
    EXPECT_EQ(api.findA(w, narrow, 4, 0, 0), nullptr);
    EXPECT_EQ(api.noCaseA(w, narrow, 4), nullptr);
    EXPECT_EQ(api.findA(a, narrow, 4, 0, 0), narrow + 2);
    EXPECT_EQ(api.findA(a, narrow, -1, 0, 0), nullptr);
    const char* upper = "xAB";
    EXPECT_EQ(api.noCaseA(a, upper, 3), upper + 1);
    EXPECT_EQ(api.unicode(a), 0);
    EXPECT_EQ(api.unicode(nullptr), 0);
    EXPECT_EQ(api.unicode(w), 0);
    // Memory that does not start with a kind word is left alone.
    uint64_t notAHandle[4] = {7, 0, 0, 0};
    api.free(notAHandle);
    EXPECT_EQ(api.findW(notAHandle, wide, 4, 0, 0), nullptr);
    api.free(w);
    api.free(a);

    void* u = api.allocW(L"x\u0100");
    EXPECT_EQ(api.unicode(u), 1);
    api.free(u);
    u = api.allocW(L"x\u00FF");
    EXPECT_EQ(api.unicode(u), 0);
    api.free(u);
}

TEST(BoyerSearch, AnsiHandles) {
    const Api& api = Exports();
    void* h = api.allocA("abc");
    const char* text = "xxaBcabc";
    EXPECT_EQ(api.findA(h, text, 8, 0, 0), text + 5);
    EXPECT_EQ(api.findA(h, text, 8, 1, 0), text + 2);
    EXPECT_EQ(api.noCaseA(h, text, 8), text + 2);
    api.free(h);
    // Code page 1252 folding: é (0xE9) is e, Ø (0xD8) is O.
    h = api.allocA("cafe");
    const char* folded = "un caf\xE9";
    EXPECT_EQ(api.findA(h, folded, 7, 0, 1), folded + 3);
    EXPECT_EQ(api.findA(h, folded, 7, 0, 0), nullptr);
    api.free(h);
    h = api.allocA("O");
    const char* slashed = "x\xD8";
    EXPECT_EQ(api.findA(h, slashed, 2, 0, 1), slashed + 1);
    EXPECT_EQ(api.findA(h, slashed, 2, 0, 0), nullptr);
    api.free(h);
}

// The reference: every window compared unit by unit, after the same per-character mapping.
struct Mapped {
    std::wstring units;
    std::vector<size_t> origin;
};

Mapped MapText(const std::wstring& text, bool ignoreCase, bool fold) {
    Mapped m;
    for (size_t i = 0; i < text.size(); ++i) {
        std::wstring piece =
            fold ? text::FoldDiacritics(std::wstring(1, text[i])) : std::wstring(1, text[i]);
        for (wchar_t c : piece) {
            m.units += ignoreCase ? CharUpperUnit(c) : c;
            m.origin.push_back(i);
        }
    }
    return m;
}

std::wstring MapPattern(std::wstring pattern, bool ignoreCase, bool fold) {
    pattern.resize(std::min<size_t>(pattern.size(), 255));
    if (fold) {
        pattern = text::FoldDiacritics(pattern);
        pattern.resize(std::min<size_t>(pattern.size(), 255));
    }
    if (ignoreCase)
        for (wchar_t& c : pattern) c = CharUpperUnit(c);
    return pattern;
}

long NaiveFind(const std::wstring& pattern, const std::wstring& text, bool ignoreCase, bool fold,
               bool reverse) {
    Mapped t = MapText(text, ignoreCase, fold);
    std::wstring p = MapPattern(pattern, ignoreCase, fold);
    if (p.empty() || p.size() > t.units.size()) return -1;
    const size_t last = t.units.size() - p.size();
    for (size_t k = 0; k <= last; ++k) {
        size_t i = reverse ? last - k : k;
        if (t.units.compare(i, p.size(), p) == 0) return static_cast<long>(t.origin[i]);
    }
    return -1;
}

TEST(BoyerSearch, AgreesWithAPlainSearch) {
    // A small alphabet with case pairs, precomposed and decomposed accents, a ligature and
    // characters that fold to letters, so that matches, near misses and length changes abound.
    const wchar_t alphabet[] = L"abAB\u00E9\u00C9e\u0301\uFB01fi\u0141l\u4E00";
    const size_t letters = std::wcslen(alphabet);
    std::mt19937 rng(20261206);
    std::vector<int> lengths;
    for (int n = 1; n <= 24; ++n) lengths.push_back(n);
    for (int n = 31; n < 250; n += 17) lengths.push_back(n);
    for (int n : {253, 254, 255, 256, 257, 299, 300}) lengths.push_back(n);
    const Api& api = Exports();
    int checked = 0;
    for (int n : lengths) {
        for (int trial = 0; trial < 3; ++trial) {
            std::wstring text;
            const size_t size = 2 * n + rng() % 200;
            for (size_t i = 0; i < size; ++i) text += alphabet[rng() % letters];
            std::wstring pattern;
            if (trial == 0) {  // a piece of the text, so that there is a match
                pattern = text.substr(rng() % (text.size() - n + 1), n);
            } else {
                for (int i = 0; i < n; ++i) pattern += alphabet[rng() % (trial == 1 ? 4 : letters)];
            }
            void* h = api.allocW(pattern.c_str());
            ASSERT_NE(h, nullptr);
            for (int variant = 0; variant < 4; ++variant) {
                const bool ignoreCase = variant & 1, fold = variant & 2;
                for (bool reverse : {false, true}) {
                    const wchar_t* found = (reverse ? api.rfindW : api.findW)(
                        h, text.data(), static_cast<int>(text.size()), ignoreCase, fold);
                    long got = found ? static_cast<long>(found - text.data()) : -1;
                    ASSERT_EQ(got, NaiveFind(pattern, text, ignoreCase, fold, reverse))
                        << "length " << n << " trial " << trial << " case " << ignoreCase
                        << " fold " << fold << " reverse " << reverse;
                    ++checked;
                }
            }
            api.free(h);
        }
    }
    EXPECT_GT(checked, 800);
}

// Long texts are searched in two halves at once: matches on either side of the middle, in
// both halves, or only in one must all come out as the leftmost (backwards: the rightmost).
TEST(BoyerSearch, LongTextsAroundTheMiddle) {
    const size_t length = 20000, mid = length / 2;
    const std::wstring pattern = L"needle";
    const Api& api = Exports();
    void* h = api.allocW(pattern.c_str());
    const std::vector<std::vector<size_t>> placements = {
        {},
        {0},
        {length - 6},
        {mid - 6},
        {mid - 5},
        {mid - 1},
        {mid},
        {mid + 1},
        {mid + 3, length - 6},
        {100, mid},
        {mid - 3, mid + 2000},
        {mid + 7000},
        {3, 12000},
    };
    for (const auto& at : placements) {
        std::wstring text(length, L'e');
        for (size_t i = 0; i < length; i += 7) text[i] = L'n';
        for (size_t pos : at) text.replace(pos, pattern.size(), pattern);
        for (bool ignoreCase : {false, true}) {
            const wchar_t* found =
                api.findW(h, text.data(), static_cast<int>(length), ignoreCase, 0);
            const size_t expected = text.find(pattern);
            EXPECT_EQ(found ? static_cast<size_t>(found - text.data()) : std::wstring::npos,
                      expected)
                << "first placement " << (at.empty() ? 0 : at[0]) << " case " << ignoreCase;
            const wchar_t* last =
                api.rfindW(h, text.data(), static_cast<int>(length), ignoreCase, 0);
            EXPECT_EQ(last ? static_cast<size_t>(last - text.data()) : std::wstring::npos,
                      text.rfind(pattern))
                << "first placement " << (at.empty() ? 0 : at[0]) << " case " << ignoreCase;
        }
    }
    api.free(h);
}

// Long texts over two letters with many near misses, both directions, against the standard
// string's own search (exact, and on upper-cased copies ignoring case).
TEST(BoyerSearch, LongRandomTextsBothDirections) {
    const Api& api = Exports();
    std::mt19937 rng(7);
    for (int trial = 0; trial < 60; ++trial) {
        const size_t length = 8192 + rng() % 30000;
        std::wstring text(length, L'a');
        for (wchar_t& c : text) c = L"abAB"[rng() % (trial % 2 ? 4 : 2)];
        const size_t n = 1 + rng() % (trial % 3 ? 12 : 40);
        std::wstring pattern;
        for (size_t i = 0; i < n; ++i) pattern += L"abAB"[rng() % 2];
        if (trial % 4 == 0) pattern = text.substr(rng() % (length - n), n);
        void* h = api.allocW(pattern.c_str());
        std::wstring upperText = text, upperPattern = pattern;
        for (wchar_t& c : upperText) c = static_cast<wchar_t>(std::towupper(c));
        for (wchar_t& c : upperPattern) c = static_cast<wchar_t>(std::towupper(c));
        for (bool ignoreCase : {false, true}) {
            const std::wstring& t = ignoreCase ? upperText : text;
            const std::wstring& p = ignoreCase ? upperPattern : pattern;
            for (bool reverse : {false, true}) {
                const wchar_t* found = (reverse ? api.rfindW : api.findW)(
                    h, text.data(), static_cast<int>(length), ignoreCase, 0);
                const size_t expected = reverse ? t.rfind(p) : t.find(p);
                ASSERT_EQ(found ? static_cast<size_t>(found - text.data()) : std::wstring::npos,
                          expected)
                    << "trial " << trial << " case " << ignoreCase << " reverse " << reverse;
            }
        }
        api.free(h);
    }
}

TEST(BoyerSearch, AnsiAgreesWithAPlainSearch) {
    const char alphabet[] =
        "abAB\xE9\xC9"
        "e\xD8O";
    const size_t letters = std::strlen(alphabet);
    auto upper = [](char c) {
        ::CharUpperBuffA(&c, 1);
        return c;
    };
    std::mt19937 rng(7);
    const Api& api = Exports();
    for (int n : {1, 2, 3, 5, 8, 13, 40, 254, 255, 256, 300}) {
        for (int trial = 0; trial < 4; ++trial) {
            std::string text;
            const size_t size = n + rng() % 300;
            for (size_t i = 0; i < size; ++i) text += alphabet[rng() % letters];
            std::string pattern = trial == 0 && static_cast<size_t>(n) <= text.size()
                                      ? text.substr(rng() % (text.size() - n + 1), n)
                                      : std::string();
            while (pattern.size() < static_cast<size_t>(n)) pattern += alphabet[rng() % 4];
            void* h = api.allocA(pattern.c_str());
            std::string p = pattern.substr(0, 255);
            for (bool ignoreCase : {false, true}) {
                long expected = -1;
                for (size_t i = 0; expected < 0 && i + p.size() <= text.size(); ++i) {
                    size_t k = 0;
                    while (k < p.size() &&
                           (ignoreCase ? upper(text[i + k]) == upper(p[k]) : text[i + k] == p[k]))
                        ++k;
                    if (k == p.size()) expected = static_cast<long>(i);
                }
                const char* found =
                    api.findA(h, text.data(), static_cast<int>(text.size()), ignoreCase, 0);
                ASSERT_EQ(found ? static_cast<long>(found - text.data()) : -1, expected)
                    << "length " << n << " case " << ignoreCase;
            }
            api.free(h);
        }
    }
}

}  // namespace
}  // namespace kwill
