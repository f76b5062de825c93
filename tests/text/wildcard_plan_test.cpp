// The match plan against the general search: random patterns of one-character items, *,
// groups, repetitions and negations, in every case and path mode, on names built to match them
// and on near misses, must get the general search's answer. Plain patterns compared ignoring
// case must get the collation's answer.
#include "strings/compare.h"
#include "tests/common/test_support.h"
#include "text/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kwill::text {
namespace {

// Units whose case folds in and out of ASCII (dotless i, long s, the Kelvin sign), letters with
// diacritics in both cases, the path separators and a unit from the operator range.
const wchar_t kUnits[] = {L'a',      L'A',      L'b',      L'S',  L'i',      L'I',
                          L'.',      L'1',      L'/',      L'\\', L'\u00E9', L'\u00C9',
                          L'\u0131', L'\u017F', L'\u212A', L'k',  L'\u00DF', L'\u0085'};
constexpr size_t kUnitCount = sizeof(kUnits) / sizeof(kUnits[0]);

// A pattern text and a name that it matches (as far as a repetition or negation allows).
struct Generated {
    std::wstring pattern;
    std::wstring name;
};

class Generator {
  public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    Generated Pattern(int items, int depth = 0) {
        Generated g;
        for (int i = 0; i < items; ++i) Item(g, depth);
        return g;
    }

    // The name changed in one place: a unit replaced, added or taken away.
    std::wstring Mutate(std::wstring name) {
        const size_t at = name.empty() ? 0 : Pick(name.size());
        switch (Pick(3)) {
            case 0:
                if (!name.empty()) name[at] = Unit();
                break;
            case 1:
                name.insert(name.begin() + at, Unit());
                break;
            default:
                if (!name.empty()) name.erase(at, 1);
                break;
        }
        return name;
    }

  private:
    size_t Pick(size_t n) { return rng_() % n; }
    wchar_t Unit() { return kUnits[Pick(kUnitCount)]; }
    // The unit itself, or another that may be the same ignoring case.
    wchar_t Variant(wchar_t c) {
        if (Pick(2)) return c;
        if (c < 0x80) return static_cast<wchar_t>(c ^ 0x20);
        return Unit();
    }

    void Item(Generated& g, int depth) {
        switch (Pick(depth > 1 ? 7 : 11)) {
            case 0:
            case 1:
            case 2: {
                const wchar_t c = Unit();
                g.pattern += c;
                g.name += Variant(c);
                break;
            }
            case 3:
                g.pattern += L'?';
                g.name += Unit();
                break;
            case 4:
                g.pattern += L'*';
                for (size_t n = Pick(3); n > 0; --n) g.name += Unit();
                break;
            case 5: {
                const wchar_t* classes[] = {L"[a-b]", L"[~a]", L"[\u00E0-\u00FF]",
                                            L"[.1]",  L"[~/]", L"[A-Z]",
                                            L"[]a]",  L"[i-]"};
                const wchar_t* members[] = {L"bBa", L"bS1", L"\u00E9\u00FF", L".1",
                                            L"a\\", L"ZqA", L"]a",           L"i\u4E00"};
                const size_t k = Pick(8);
                g.pattern += classes[k];
                const std::wstring m = members[k];
                g.name += m[Pick(m.size())];
                break;
            }
            case 6: {
                const wchar_t special = L"*?[("[Pick(4)];
                g.pattern += L'\'';
                g.pattern += special;
                g.name += special;
                break;
            }
            case 7:
            case 8: {  // a group of two or three alternatives, one of them perhaps empty
                std::vector<Generated> alternatives;
                for (size_t n = 2 + Pick(2); n > 0; --n)
                    alternatives.push_back(Pattern(static_cast<int>(Pick(3)), depth + 1));
                g.pattern += L'(';
                for (size_t k = 0; k < alternatives.size(); ++k) {
                    if (k) g.pattern += L'|';
                    g.pattern += alternatives[k].pattern;
                }
                g.pattern += L')';
                g.name += alternatives[Pick(alternatives.size())].name;
                break;
            }
            case 9: {  // a repetition of a unit or a class
                const wchar_t c = Unit();
                g.pattern += Pick(2) ? std::wstring(L"#") + c : std::wstring(L"#[a-b]");
                for (size_t n = Pick(3); n > 0; --n) g.name += g.pattern.back() == L']' ? L'b' : c;
                break;
            }
            default:  // a negation, never first (that would be the whole-pattern negation)
                if (g.pattern.empty()) g.pattern += L'*';
                g.pattern += Pick(2) ? L"~a" : L"~(*b)";
                g.name += L'b';
                break;
        }
    }

    std::mt19937 rng_;
};

// What the general search answers, with the transform and comparison called through their
// pointers as for any other transform.
int GeneralAnswer(const String_Pattern& p, const std::wstring& name) {
    MatchContext context{p.transform, p.compare, p.pinyin};
    const int match = RunPattern(p.program, p.links, name, context) ? 1 : 0;
    return p.negate ? 1 - match : match;
}

TEST(WildcardPlan, AgreesWithTheGeneralSearch) {
    const uint32_t optionSets[] = {0, kPatternCaseSensitive, kPatternPathMode,
                                   kPatternPathMode | kPatternCaseSensitive,
                                   kPatternNoWholeNegation};
    Generator generate(2323);
    std::mt19937 rng(23);
    size_t compared = 0, matched = 0, sequences = 0, ends = 0;
    for (int round = 0; round < 6000; ++round) {
        Generated g = generate.Pattern(1 + static_cast<int>(rng() % 6));
        const uint32_t options = optionSets[rng() % 5];
        if (rng() % 8 == 0) g.pattern = L"~" + g.pattern;  // the whole-pattern negation
        auto pattern = NewMatchPattern(g.pattern.c_str(), options);
        if (pattern->state != kPatternWild) continue;
        sequences += pattern->plan.mode == MatchPlan::Mode::Sequences;
        ends += pattern->plan.mode == MatchPlan::Mode::Ends;
        std::vector<std::wstring> names = {g.name, generate.Mutate(g.name), generate.Mutate(g.name),
                                           L""};
        names.push_back(g.name + g.name);
        if (!g.name.empty()) names.push_back(g.name.substr(1));
        for (const std::wstring& name : names) {
            const int expected = GeneralAnswer(*pattern, name);
            ASSERT_EQ(MatchPattern(*pattern, name.c_str()), expected)
                << "pattern '" << test::Printable(g.pattern) << "' options " << options << " name '"
                << test::Printable(name) << "'";
            ++compared;
            matched += expected;
        }
    }
    EXPECT_GT(compared, 20000u);
    EXPECT_GT(matched, compared / 5);
    EXPECT_GT(sequences, 1500u);
    EXPECT_GT(ends, 300u);
}

// Fixed lengths settled before measuring the name, the first-unit test, names shorter and
// longer than the pattern, the empty and the null name, negations and groups spelled out.
TEST(WildcardPlan, EdgesOfTheFastPaths) {
    struct Row {
        const wchar_t* pattern;
        uint32_t options;
        const wchar_t* name;
        int expected;
    } rows[] = {
        {L"IMG_????.JPG", 0, L"img_1234.jpg", 1},
        {L"IMG_????.JPG", 0, L"IMG_123.JPG", 0},
        {L"IMG_????.JPG", 0, L"IMG_12345.JPG", 0},
        {L"IMG_????.JPG", 0, L"IMG_1234.JPG ", 0},
        {L"IMG_????.JPG", 0, L"", 0},
        {L"IMG_????.JPG", 0, nullptr, 0},
        {L"IMG_????.JPG", kPatternCaseSensitive, L"img_1234.jpg", 0},
        {L"~IMG_????.JPG", 0, L"", 1},
        {L"~IMG_????.JPG", 0, nullptr, 1},
        {L"~IMG_????.JPG", 0, L"IMG_\u00E91\u00C9\u0131.jpg", 0},
        {L"*", 0, L"", 1},
        {L"?", 0, L"", 0},
        {L"*?", 0, L"", 0},
        {L"[~0-9]*.mp3", 0, L"1.mp3", 0},
        {L"[~0-9]*.mp3", 0, L"\u00E9.MP3", 1},
        {L"*.(jpg|png)", 0, L".PNG", 1},
        {L"*.(jpg|png)", 0, L"a.png.gif", 0},
        {L"(|a)b", 0, L"b", 1},
        {L"(|a)b", 0, L"ab", 1},
        {L"(|a)b", 0, L"aab", 0},
        {L"*final*", 0, L"report_FINAL", 1},
        {L"*final*", 0, L"Caf\u00E9 finale", 1},
        {L"*final*", 0, L"fina", 0},
        {L"*ab*ab*", 0, L"aabab", 1},
        {L"*ab*ab*", 0, L"abab", 1},
        {L"*ab*ab*", 0, L"aba", 0},
        {L"*x", 0, L"0123456789abcdefX", 1},  // a tail that starts past a full search block
        {L"*xy*", 0, L"0123456789abcdexy", 1},
        {L"*xy*", 0, L"0123456789abcdeyx", 0},
        {L"track [0-9]#[0-9].mp3", 0, L"Track 12.MP3", 1},
        {L"track [0-9]#[0-9].mp3", 0, L"track .mp3", 0},
        {L"track [0-9]#[0-9].mp3", 0, L"track 1x.mp3", 0},
        {L"a/*", kPatternPathMode, L"A\\b", 1},
        {L"a\\*", kPatternPathMode | kPatternCaseSensitive, L"a/b", 1},
    };
    for (const Row& r : rows) {
        auto pattern = NewMatchPattern(r.pattern, r.options);
        EXPECT_EQ(MatchPattern(*pattern, r.name), r.expected)
            << test::Printable(r.pattern) << " on " << (r.name ? test::Printable(r.name) : "null");
        if (r.name) {
            EXPECT_EQ(MatchPattern(*pattern, r.name), GeneralAnswer(*pattern, r.name));
        }
    }
}

// The empty pattern matches nothing, the empty name included; groups nested too deep to spell
// out go to the general search.
TEST(WildcardPlan, EmptyAndDeeplyNestedPatterns) {
    for (const wchar_t* text : {static_cast<const wchar_t*>(nullptr), L""}) {
        auto empty = NewMatchPattern(text, 0);
        EXPECT_EQ(MatchPattern(*empty, L""), 0);
        EXPECT_EQ(MatchPattern(*empty, L"a"), 0);
    }
    for (size_t depth : {8, 9, 30000}) {
        const std::wstring nested = std::wstring(depth, L'(') + L"a|b*" + std::wstring(depth, L')');
        auto pattern = NewMatchPattern(nested.c_str(), 0);
        EXPECT_EQ(pattern->plan.mode,
                  depth <= 8 ? MatchPlan::Mode::Sequences : MatchPlan::Mode::None);
        EXPECT_EQ(MatchPattern(*pattern, L"A"), 1);
        EXPECT_EQ(MatchPattern(*pattern, L"bcd"), 1);
        EXPECT_EQ(MatchPattern(*pattern, L"ab"), 0);
    }
}

// A plain pattern ignoring case is equal to the name as the collation says; printable ASCII is
// settled without it, and units beyond (ignorable, combining, accented, control) go to it.
TEST(WildcardPlan, PlainTextAgreesWithTheCollation) {
    auto probe = NewMatchPattern(L"report", 0);
    if (probe->plan.mode != MatchPlan::Mode::Text)
        GTEST_SKIP() << "the user's sort is not the default English one";
    const wchar_t alphabet[] = L"aAbBzZ-. 1_,!";
    const wchar_t extras[] = {0x01, 0x7F, 0xAD, 0x301, 0xE9, 0x200B, L'a', L'-'};
    std::mt19937 rng(9);
    size_t equal = 0;
    for (int round = 0; round < 3000; ++round) {
        std::wstring text;
        for (size_t n = 1 + rng() % 6; n > 0; --n) text += alphabet[rng() % 13];
        auto pattern = NewMatchPattern(text.c_str(), 0);
        ASSERT_EQ(pattern->plan.mode, MatchPlan::Mode::Text) << test::Printable(text);
        std::wstring name = text;
        for (wchar_t& c : name)
            if (rng() % 2 && c < 0x80) c = FoldLowerAscii(c);
        switch (rng() % 4) {
            case 0:
                break;
            case 1:
                name.insert(rng() % (name.size() + 1), 1, extras[rng() % 8]);
                break;
            case 2:
                name[rng() % name.size()] = alphabet[rng() % 13];
                break;
            default:
                name.erase(rng() % name.size(), 1);
                break;
        }
        const int expected =
            StringCompareW(text.c_str(), name.c_str(), kCompareIgnoreCase | kCompareLocale, -1) == 0
                ? 1
                : 0;
        ASSERT_EQ(MatchPattern(*pattern, name.c_str()), expected)
            << "pattern '" << test::Printable(text) << "' name '" << test::Printable(name) << "'";
        equal += expected;
    }
    EXPECT_GT(equal, 500u);
}

}  // namespace
}  // namespace kwill::text
