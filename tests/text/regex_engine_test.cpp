// The own engine on its own: grammar, leftmost-first captures, case folding, pinyin initials,
// compile errors, the checks on a damaged program, bounded work on hostile input, the runner of
// straight programs and the direct search of literals against the checking matcher, the quick
// start checks against the general ones, and the block scan for one unit.
#include "text/regex_engine.h"
#include "text/unit_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>

namespace kwill {
namespace {

// Deterministic numbers below a bound for generated patterns and texts (xorshift), so that a
// failure names a case that comes back on the next run.
auto SeededBelow(uint64_t seed) {
    return [state = seed](uint32_t n) mutable {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state % n);
    };
}

std::string Narrow(std::wstring_view s) {
    std::string out;
    for (wchar_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// "s-e" for each group from 0 up to the pattern's group count, "-" for an unset group.
std::string Spans(const RegexCaptures& c, const wchar_t* text, int groups) {
    std::string out;
    for (int g = 0; g <= groups; ++g) {
        if (g) out += ' ';
        if (!c.start[g]) {
            out += '-';
            continue;
        }
        out += std::to_string(c.start[g] - text) + "-" + std::to_string(c.end[g] - text);
    }
    return out;
}

struct MatchRow {
    const wchar_t* pattern;
    bool caseSensitive;
    const wchar_t* subject;
    const char* spans;  // null: no match
};

TEST(RegexEngine, MatchTable) {
    static const MatchRow rows[] = {
        {L"abc", true, L"xxabcxx", "2-5"},
        {L"a.c", true, L"a\nc", "0-3"},
        {L"^ab", true, L"xab", nullptr},
        {L"^ab", true, L"abx", "0-2"},
        {L"b$", true, L"abab", "3-4"},
        {L"$", true, L"abc", "3-3"},
        {L"a^b", true, L"a^b", nullptr},  // '^' is an anchor anywhere
        {L"a|b|c", true, L"xxc", "2-3"},
        {L"(a|ab)(c|bcd)(d*)", true, L"abcd", "0-4 0-1 1-4 4-4"},
        {L"x*", true, L"aaa", "0-0"},
        {L"a*b", true, L"aaab", "0-4"},
        {L"a+", true, L"baaa", "1-4"},
        {L"a?b", true, L"xab", "1-3"},
        {L"a*ab", true, L"aaab", "0-4"},
        {L"[a-c]+", true, L"xxbcay", "2-5"},
        {L"[^a-c]+", true, L"abxyc", "2-4"},
        {L"[]a]+", true, L"x]a]", "1-4"},
        {L"[^]a]", true, L"]ab", "2-3"},
        {L"[-a]+", true, L"x-a", "1-3"},
        {L"[a-]+", true, L"x-a", "1-3"},
        {L"[a-c-e]", true, L"d", "0-1"},
        {L"[a-a]", true, L"a", "0-1"},
        {L"a\\.b", true, L"axb a.b", "4-7"},
        {L"a\\*", true, L"aa*", "1-3"},
        {L"\\\\", true, L"a\\", "1-2"},
        {L"a{2}", true, L"a{2}", "0-4"},  // no counted repeats: braces are text
        {L"(a)(b)(c)", true, L"abc", "0-3 0-1 1-2 2-3"},
        {L"(ab)*c", true, L"ababc", "0-5 2-4"},
        {L"(a|b)*abb", true, L"aababb", "0-6 2-3"},
        {L"(a(b)?)+", true, L"aba", "0-3 2-3 1-2"},
        {L"()", true, L"x", "0-0 0-0"},
        {L"a|", true, L"b", "0-0"},
        {L"", true, L"b", "0-0"},
        {L"abc*", true, L"abccc", "0-5"},  // the repeat takes only the last unit of a run
        {L"(x)|(y)", true, L"y", "0-1 - 0-1"},
        {L"HELLO", false, L"say hello", "4-9"},
        {L"HELLO", true, L"say hello", nullptr},
        {L"\u00e9", false, L"\u00c9", "0-1"},
        {L"\u00c4b\u00e4", false, L"x\u00e4B\u00c4",
         "1-4"},  // folding holds over the whole literal
        {L"[a-z]+", false, L"ABC", "0-3"},
        {L"[^a-z]", false, L"ABC1", "3-4"},
        {L"[\u00c9]", false, L"\u00e9", "0-1"},
        {L".*x", true, L"aaaxbbb", "0-4"},
        {L"a*b*c*$", true, L"xxaabbc", "2-7"},
    };
    for (const MatchRow& r : rows) {
        RegExp re;
        ASSERT_EQ(re.Compile(r.pattern), kRegexOk) << Narrow(r.pattern);
        RegexMatchOptions options;
        options.caseSensitive = r.caseSensitive;
        RegexCaptures c{};
        RegexError error = kRegexOk;
        bool hit = re.Search(r.subject, options, &c, &error);
        EXPECT_EQ(error, kRegexOk) << Narrow(r.pattern);
        ASSERT_EQ(hit, r.spans != nullptr) << Narrow(r.pattern) << " on " << Narrow(r.subject);
        if (hit) {
            EXPECT_EQ(Spans(c, r.subject, re.groupCount()), r.spans)
                << Narrow(r.pattern) << " on " << Narrow(r.subject);
        }
    }
}

TEST(RegexEngine, CompileErrors) {
    static const struct {
        const wchar_t* pattern;
        RegexError error;
    } rows[] = {
        {L"a**", kRegexNestedRepeat},
        {L"a+?", kRegexNestedRepeat},
        {L"(a*)*", kRegexEmptyRepeat},
        {L"(a?)+", kRegexEmptyRepeat},
        {L"(|a)*", kRegexEmptyRepeat},
        {L"(^)*", kRegexEmptyRepeat},
        {L"[z-a]", kRegexBadSetRange},
        {L"[b-a]", kRegexBadSetRange},
        {L"*a", kRegexRepeatNothing},
        {L"a|+", kRegexRepeatNothing},
        {L"(?a)", kRegexRepeatNothing},
        {L"a\\", kRegexBadEscape},
        {L"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", kRegexTooManyGroups},
        {L"((((((((((a))))))))))", kRegexTooManyGroups},
        {L"a(b", kRegexUnmatchedParen},
        {L"a)b", kRegexUnmatchedParen},
        {L"(a|b", kRegexUnmatchedParen},
        {L"[abc", kRegexUnmatchedBracket},
        {L"[]", kRegexUnmatchedBracket},
        {L"[^", kRegexUnmatchedBracket},
    };
    for (const auto& r : rows) {
        RegExp re;
        EXPECT_EQ(re.Compile(r.pattern), r.error) << Narrow(r.pattern);
        EXPECT_FALSE(re.ok());
        RegexError error = kRegexOk;
        EXPECT_FALSE(re.Search(L"abc", {}, nullptr, &error));
        EXPECT_EQ(error, r.error);
    }
    RegExp re;
    EXPECT_EQ(re.Compile(static_cast<const wchar_t*>(nullptr)), kRegexNullPattern);
    EXPECT_EQ(re.Compile(L"(a)(b)(c)(d)(e)(f)(g)(h)(i)"), kRegexOk);
    EXPECT_EQ(re.groupCount(), 9);
}

TEST(RegexEngine, MatchErrors) {
    RegExp re;
    ASSERT_EQ(re.Compile(L"a*"), kRegexOk);
    RegexError error = kRegexOk;
    EXPECT_FALSE(re.Search(L"", {}, nullptr, &error));
    EXPECT_EQ(error, kRegexEmptyText);
    EXPECT_FALSE(re.Search(std::wstring_view(), {}, nullptr, &error));
    EXPECT_EQ(error, kRegexEmptyText);

    struct Damage {
        const wchar_t* pattern;
        size_t unit;
        uint16_t value;
        RegexError error;
    } damages[] = {
        {L"abc", 0, 0, kRegexDamagedProgram},    // magic unit
        {L"abc", 1, 0x7777, kRegexUnknownNode},  // first instruction
        {L"a|b", 4, 0x4000, kRegexBrokenLink},   // low half of the first choice's target
        {L"(a)", 2, 40, kRegexUnknownNode},      // capture slot out of range
    };
    for (const Damage& d : damages) {
        RegExp bad;
        ASSERT_EQ(bad.Compile(d.pattern), kRegexOk);
        ASSERT_LT(d.unit, bad.programForTesting().size());
        bad.programForTesting()[d.unit] = d.value;
        EXPECT_FALSE(bad.Search(L"xabc", {}, nullptr, &error)) << Narrow(d.pattern);
        EXPECT_EQ(error, d.error) << Narrow(d.pattern);
    }
}

// Ignoring case, a text unit matches a pattern unit that upper-cases alike, and a set when it
// or its upper or lower form is a member, above 0x7F as below it, whether the unit is met by
// the scan for where a match can start, by a later atom of the start, or after a repeat.
TEST(RegexEngine, FoldingBeyondAscii) {
    const wchar_t texts[] = {0xE9, 0xC9, 0x130, 0x131, 0x17F, 0x212A, L'i', L'I', L's', L'K'};
    for (wchar_t letter : {L'i', L's', L'k', L'e', L'\u00e9'}) {
        for (wchar_t t : texts) {
            bool same = t == letter || RegexUpper(t) == RegexUpper(letter);
            std::wstring one(1, letter);
            for (const std::wstring& pattern : {one, L"-" + one, L"-*" + one}) {
                RegExp re;
                ASSERT_EQ(re.Compile(pattern), kRegexOk);
                RegexMatchOptions options;
                options.caseSensitive = false;
                std::wstring text = L"-";
                text += t;
                RegexError error;
                EXPECT_EQ(re.Search(text, options, nullptr, &error), same)
                    << Narrow(pattern) << " against U+" << std::hex << static_cast<int>(t);
            }
        }
    }
    for (const wchar_t* set : {L"[a-z]", L"[I]", L"[^a-z]", L"[\u00c0-\u00de]"}) {
        RegExp re;
        ASSERT_EQ(re.Compile(set), kRegexOk);
        std::wstring inner(set + 1, std::wcslen(set) - 2);
        bool negate = inner[0] == L'^';
        if (negate) inner.erase(0, 1);
        wchar_t lo = inner[0], hi = inner.size() == 3 ? inner[2] : inner[0];
        auto member = [&](wchar_t c) { return c >= lo && c <= hi; };
        for (wchar_t t : texts) {
            bool in = member(t) || member(RegexUpper(t)) || member(RegexLower(t));
            RegexMatchOptions options;
            options.caseSensitive = false;
            RegexError error;
            EXPECT_EQ(re.Search(std::wstring(1, t), options, nullptr, &error), in != negate)
                << Narrow(set) << " against U+" << std::hex << static_cast<int>(t);
        }
    }
}

// A pinyin table with U+4E2D ('z'), U+6587 ('w') and U+884C ('x' or 'h').
TEST(RegexEngine, PinyinInitials) {
    static uint16_t entries[0x5000] = {};
    entries[0x4E2D - 0x4E00] = 26;
    entries[0x6587 - 0x4E00] = 23;
    entries[0x884C - 0x4E00] = 24 | (8 << 5);
    PinyinInitialsTable table{entries, 0x5000};
    static const struct {
        const wchar_t* pattern;
        bool caseSensitive;
        const wchar_t* subject;
        bool hit;
    } rows[] = {
        {L"zw", true, L"\u4e2d\u6587.txt", true},
        {L"ZW", true, L"\u4e2d\u6587", true},  // the typed letter is always lowered
        {L"zx", true, L"\u4e2d\u6587", false},
        {L"h", true, L"a\u884c", true},
        {L"x", true, L"a\u884c", true},
        {L"^z.*\\.txt$", false, L"\u4e2d\u6587.TXT", true},
        {L"[\u4e2d]", true, L"z", true},  // an ideograph of a set takes its initials
        {L"[^\u4e2d]", true, L"z", false},
        {L"[z]", true, L"\u4e2d", false},  // a letter of a set does not take ideographs
        {L"l", true, L"\u3007", true},
        {L"g", true, L"\u7ad3", true},  // fixed readings outside the table
        {L"b", true, L"\u7ae1", true},
        {L"\u4e2d", true, L"z", false},  // no rescue the other way
    };
    for (const auto& r : rows) {
        RegExp re;
        ASSERT_EQ(re.Compile(r.pattern), kRegexOk);
        RegexMatchOptions options;
        options.caseSensitive = r.caseSensitive;
        options.pinyin = &table;
        RegexError error = kRegexOk;
        EXPECT_EQ(re.Search(r.subject, options, nullptr, &error), r.hit) << Narrow(r.pattern);
        EXPECT_EQ(error, kRegexOk);
        options.pinyin = nullptr;
        bool plain = re.Search(r.subject, options, nullptr, &error);
        if (r.hit) {
            EXPECT_FALSE(plain && std::wstring_view(r.subject).find(r.pattern) == 0);
        }
    }
}

// Patterns that make a naive backtracker take exponential time finish here, on long texts, with
// a result; a tiny step limit turns the same work into error 2.
TEST(RegexEngine, HostilePatternsFinish) {
    std::wstring as(20000, L'a');
    as += L"!b=";
    static const struct {
        const wchar_t* pattern;
        bool hit;
    } rows[] = {
        {L"(a|aa)+b", false},       {L"(a+)+b", false},   {L"((a+)+)+!", true},
        {L"(a|a)+b", false},        {L"(.*a)+b", false},  {L"a*a*a*a*a*b", true},
        {L"(a+a+)+$", false},       {L".*.*.*.*=", true}, {L"(a|b|ab)*!", true},
        {L"(aa|a)+(a|b)+=", false},
    };
    for (const auto& r : rows) {
        RegExp re;
        ASSERT_EQ(re.Compile(r.pattern), kRegexOk) << Narrow(r.pattern);
        RegexError error = kRegexOk;
        EXPECT_EQ(re.Search(as, {}, nullptr, &error), r.hit) << Narrow(r.pattern);
        EXPECT_EQ(error, kRegexOk) << Narrow(r.pattern);
        RegexMatchOptions tight;
        tight.stepLimit = 1000;
        EXPECT_FALSE(re.Search(as, tight, nullptr, &error));
        EXPECT_EQ(error, kRegexTooComplex) << Narrow(r.pattern);
    }
}

// Which programs run without a backtracking stack: one line of atoms, groups and anchors in which
// every repeat is followed by something that no unit of its atom passes, with case.
TEST(RegexEngine, StraightPrograms) {
    static const struct {
        const wchar_t* pattern;
        bool straight;
    } rows[] = {
        {L"[a-z]+-[0-9]+\\]", true},
        {L"^[0-9]+ ms$", true},
        {L"x+$", true},
        {L"[0-9]*", true},       // the repeat ends the program
        {L"([0-9]+)(x)", true},  // saves between a repeat and its follower
        {L"[^a]+a", true},       // the follower is outside the negated set
        {L"a.c", true},
        {L"[a-z]+[a-c]", false},  // the follower shares units with the atom
        {L"a*a", false},
        {L".*x", false},          // '.' takes every unit
        {L"[^a]+\u00e9", false},  // both can take units from 0x80 up
        {L"a+b*c", false},        // the follower of a+ is another repeat
        {L"a+^", false},
        {L"a|b", false},
        {L"(ab)+", false},
        {L"a?b", false},
    };
    for (const auto& r : rows) {
        RegExp re;
        ASSERT_EQ(re.Compile(r.pattern), kRegexOk) << Narrow(r.pattern);
        EXPECT_EQ(re.straight(), r.straight) << Narrow(r.pattern);
    }
}

// The runner of straight programs against the checking matcher on the same program (a program
// handed out for testing runs through the checking matcher): the same hit, captures and error,
// and the same step count, seen through every step limit up to past where the search ends.
// The patterns put repeats next to literals, sets, groups, anchors and other repeats, so that
// runs overlap, end at the text's end, match empty, and are entered again by later starts.
TEST(RegexEngine, StraightRunnerAgreesWithCheckingMatcher) {
    int straight = 0, compared = 0, limited = 0;
    auto agree = [&](const std::wstring& pattern, const std::wstring& text) {
        RegExp runner, checker;
        if (runner.Compile(pattern) != kRegexOk) return;
        ASSERT_EQ(checker.Compile(pattern), kRegexOk);
        checker.programForTesting();
        for (bool caseSensitive : {true, false}) {
            for (uint64_t limit = 1; limit <= 200; ++limit) {
                RegexMatchOptions options;
                options.caseSensitive = caseSensitive;
                options.stepLimit = limit == 200 ? RegexMatchOptions().stepLimit : limit;
                RegexCaptures a{}, b{};
                RegexError errorA = kRegexOk, errorB = kRegexOk;
                bool hitA = runner.Search(text, options, &a, &errorA);
                bool hitB = checker.Search(text, options, &b, &errorB);
                ++compared;
                ASSERT_EQ(hitA, hitB)
                    << Narrow(pattern) << " on " << Narrow(text) << " limit " << limit;
                ASSERT_EQ(errorA, errorB)
                    << Narrow(pattern) << " on " << Narrow(text) << " limit " << limit;
                if (hitA) {
                    ASSERT_EQ(Spans(a, text.c_str(), runner.groupCount()),
                              Spans(b, text.c_str(), checker.groupCount()))
                        << Narrow(pattern) << " on " << Narrow(text);
                }
                if (errorA != kRegexTooComplex) break;  // a higher limit changes nothing
                ++limited;
            }
        }
        straight += runner.straight();
    };
    // A leading run that the search passes over without a step after starts that took steps;
    // runs that end the text; saves on both sides of a repeat; a repeat entered again inside
    // the run of an earlier start.
    static const struct {
        const wchar_t* pattern;
        const wchar_t* text;
    } rows[] = {
        {L"[a-z]+-[0-9]", L"a-x ab"},  {L"[a-z]+-[0-9]", L"ab-1"}, {L"([a-z]+)-", L"ab cd-"},
        {L"(b)([a-z]+)(-)", L"bb-b-"}, {L"[0-9]+x", L"1x2y33"},    {L"-[0-9]*$", L"-1-22-"},
        {L".[0-9]*a", L"x1111b2a"},    {L"a[^a]*a", L"abbbabba"},  {L"^[a-z]+[0-9]+$", L"abc123"},
        {L"[0-9]*", L"abc"},
    };
    for (const auto& r : rows) agree(r.pattern, r.text);
    EXPECT_EQ(straight, static_cast<int>(std::size(rows)));

    // Generated patterns put repeats next to literals, sets, groups, anchors and other repeats,
    // so that runs overlap, end at the text's end, match empty, and are entered again by later
    // starts.
    static const wchar_t* const kAtoms[] = {
        L"a", L"b", L"-", L"[a-b]", L"[^a]", L"[0-9]", L"[^0-9-]", L".", L"\\]", L"\u00e9",
    };
    static const wchar_t kUnits[] = L"aab-09b]\u00e9\u00c9a-";
    auto below = SeededBelow(20261207);
    straight = 0;
    for (int i = 0; i < 800; ++i) {
        std::wstring pattern;
        if (below(5) == 0) pattern += L'^';
        for (uint32_t pieces = 1 + below(5); pieces > 0; --pieces) {
            std::wstring piece = kAtoms[below(std::size(kAtoms))];
            uint32_t repeat = below(6);
            if (repeat < 3) piece += L"+*?"[repeat];
            if (below(5) == 0) piece = L"(" + piece + L")";
            pattern += piece;
        }
        if (below(4) == 0) pattern += L'$';
        for (int k = 0; k < 4; ++k) {
            std::wstring text;
            for (uint32_t length = 1 + below(24); length > 0; --length)
                text += kUnits[below(std::size(kUnits) - 1)];
            agree(pattern, text);
        }
    }
    EXPECT_GT(straight, 800);
    EXPECT_GT(limited, 10000);  // the limits cut many searches short
    EXPECT_GT(compared, 20000);
}

// A program of one literal is looked for directly; the answers, captures, errors and the step
// a match costs must be the checking matcher's on the same program, for literals at the start
// and end of the text, texts shorter than the literal or as long, at every alignment of the
// text, and case folding onto units from 0x80 up (which keeps such literals off the direct
// search when ignoring case).
TEST(RegexEngine, LiteralSearchAgreesWithCheckingMatcher) {
    static const struct {
        const wchar_t* pattern;
        bool literal;
    } kinds[] = {
        {L"report", true},
        {L"a", true},
        {L"\\.x", true},
        {L"\u00e9t\u00e9", true},
        {L"0123456789abcdef", true},  // as long as the prefix checks reach
        {L"0123456789abcdefg", false},
        {L"^ab", false},
        {L"ab$", false},
        {L"a.c", false},
        {L"ab|cd", false},
        {L"(ab)", false},
        {L"ab+", false},
    };
    for (const auto& k : kinds) {
        RegExp re;
        ASSERT_EQ(re.Compile(k.pattern), kRegexOk) << Narrow(k.pattern);
        EXPECT_EQ(re.literal(), k.literal) << Narrow(k.pattern);
    }

    alignas(16) wchar_t buffer[80];
    int compared = 0;
    auto agree = [&](const std::wstring& pattern, const std::wstring& text) {
        RegExp direct, checker;
        ASSERT_EQ(direct.Compile(pattern), kRegexOk) << Narrow(pattern);
        ASSERT_TRUE(direct.literal()) << Narrow(pattern);
        ASSERT_EQ(checker.Compile(pattern), kRegexOk);
        checker.programForTesting();
        ASSERT_LE(text.size() + 8, std::size(buffer));
        for (size_t offset = 0; offset < 8; ++offset) {
            std::fill(std::begin(buffer), std::end(buffer), pattern[0]);  // around the text too
            std::copy(text.begin(), text.end(), buffer + offset);
            std::wstring_view view(buffer + offset, text.size());
            for (bool caseSensitive : {true, false}) {
                for (uint64_t limit : {0ull, 1ull, 2ull, 256ull * 1024 * 1024}) {
                    RegexMatchOptions options;
                    options.caseSensitive = caseSensitive;
                    options.stepLimit = limit;
                    RegexCaptures a{}, b{};
                    RegexError errorA = kRegexOk, errorB = kRegexOk;
                    bool hitA = direct.Search(view, options, &a, &errorA);
                    bool hitB = checker.Search(view, options, &b, &errorB);
                    ++compared;
                    std::string where = Narrow(pattern) + " on " + Narrow(text) + " offset " +
                                        std::to_string(offset) + " limit " + std::to_string(limit) +
                                        (caseSensitive ? "" : " folded");
                    ASSERT_EQ(hitA, hitB) << where;
                    ASSERT_EQ(errorA, errorB) << where;
                    if (hitA) {
                        ASSERT_EQ(Spans(a, view.data(), 9), Spans(b, view.data(), 9)) << where;
                    }
                }
            }
        }
    };
    static const struct {
        const wchar_t* pattern;
        const wchar_t* text;
    } rows[] = {
        {L"report", L"report.txt"},
        {L"report", L"q3-report"},
        {L"report", L"repor"},
        {L"report", L"report"},
        {L"REPORT", L"Q3 Report, final"},
        {L"report", L"rep-reprt-repo"},
        {L"s", L"\u017f"},
        {L"S", L"x\u017fs"},
        {L"i", L"\u0131\u0130i"},
        {L"k", L"\u212a"},
        {L"\u00e9", L"\u00c9"},
        {L"a\u00e9", L"A\u00c9"},
        {L"x", L"x"},
        {L"x", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaax"},
        {L"0123456789abcdef", L"0123456789ABCDEF"},
    };
    for (const auto& r : rows) agree(r.pattern, r.text);

    // Generated literals and texts from a few units, so that partial matches, repeats of the
    // first unit and matches across the 8-unit blocks come often.
    static const wchar_t kUnits[] = L"rReEpP-.\u00e9\u00c9sS\u017fiI\u0131";
    auto below = SeededBelow(20261207);
    for (int i = 0; i < 400; ++i) {
        std::wstring pattern;
        for (uint32_t length = 1 + below(4); length > 0; --length)
            pattern += kUnits[below(std::size(kUnits) - 1)];
        if (pattern.find_first_of(L"\\.") != std::wstring::npos) continue;
        std::wstring text;
        for (uint32_t length = below(40); length > 0; --length)
            text += kUnits[below(std::size(kUnits) - 1)];
        if (below(3) == 0 && text.size() >= pattern.size()) {
            // The literal itself somewhere, often at the start or the end.
            size_t at = below(3) == 0 ? 0 : text.size() - pattern.size();
            text.replace(at, pattern.size(), pattern);
        }
        agree(pattern, text);
    }
    EXPECT_GT(compared, 20000);

    // An empty or null text fails with the empty-text error, as in the checking matcher.
    RegExp re;
    ASSERT_EQ(re.Compile(L"report"), kRegexOk);
    for (bool caseSensitive : {true, false}) {
        RegexMatchOptions options;
        options.caseSensitive = caseSensitive;
        RegexError error = kRegexOk;
        EXPECT_FALSE(re.Search(L"", options, nullptr, &error));
        EXPECT_EQ(error, kRegexEmptyText);
        error = kRegexOk;
        EXPECT_FALSE(re.Search(std::wstring_view(), options, nullptr, &error));
        EXPECT_EQ(error, kRegexEmptyText);
    }
}

// The quick ways of finding where a search can start (the prefix checks' maps, the direct
// search for the literal that every match holds, that literal looked for before the starts)
// against the general checks, which a search takes when pinyin initials are in play: with an
// empty table and no ideograph in the text, both must give the same answers and captures. The
// patterns put a literal after, before and between atoms that take many places; the units
// include letters whose case folds onto ASCII from above 0x80, at every alignment of the text.
TEST(RegexEngine, StartChecksAgreeWithGeneralChecks) {
    static const wchar_t* const kHeads[] = {
        L"",      L"^",   L"[0-9]+", L"(a|b)", L"x*",       L".",
        L"[^a]*", L"^.*", L"(ab|S)", L"s+",    L"[a-z]+_?", L"\u00e9*",
    };
    static const wchar_t* const kTails[] = {L"", L"$", L"[a-z]?", L".*\\.", L"[0-9]+$"};
    static const wchar_t kUnits[] = L"aAbBsS1\u017f\u0131iI\u212akK\u00e9\u00c9 _.";
    PinyinInitialsTable empty{nullptr, 0};
    auto below = SeededBelow(20261208);
    alignas(16) wchar_t buffer[64];
    int compared = 0, hits = 0;
    for (int i = 0; i < 1500; ++i) {
        std::wstring literal;
        for (uint32_t length = 1 + below(4); length > 0; --length) {
            wchar_t u = kUnits[below(std::size(kUnits) - 1)];
            if (u == L'.') u = L'_';  // keep the literal a literal
            literal += u;
        }
        std::wstring pattern = std::wstring(kHeads[below(std::size(kHeads))]) + literal +
                               kTails[below(std::size(kTails))];
        RegExp re;
        if (re.Compile(pattern) != kRegexOk) continue;
        for (int t = 0; t < 4; ++t) {
            std::wstring text;
            for (uint32_t length = 1 + below(40); length > 0; --length)
                text += kUnits[below(std::size(kUnits) - 1)];
            if (below(2) == 0 && text.size() >= literal.size()) {
                size_t at = below(static_cast<uint32_t>(text.size() - literal.size() + 1));
                text.replace(at, literal.size(), literal);
            }
            size_t offset = below(8);
            std::fill(std::begin(buffer), std::end(buffer), literal[0]);  // around the text too
            std::copy(text.begin(), text.end(), buffer + offset);
            std::wstring_view view(buffer + offset, text.size());
            for (bool caseSensitive : {true, false}) {
                RegexMatchOptions quick, general;
                quick.caseSensitive = general.caseSensitive = caseSensitive;
                general.pinyin = &empty;
                RegexCaptures a{}, b{};
                RegexError errorA = kRegexOk, errorB = kRegexOk;
                bool hitA = re.Search(view, quick, &a, &errorA);
                bool hitB = re.Search(view, general, &b, &errorB);
                std::string where =
                    Narrow(pattern) + " on " + Narrow(text) + (caseSensitive ? "" : " folded");
                ASSERT_EQ(hitA, hitB) << where;
                ASSERT_EQ(errorA, errorB) << where;
                if (hitA) {
                    ASSERT_EQ(Spans(a, view.data(), re.groupCount()),
                              Spans(b, view.data(), re.groupCount()))
                        << where;
                }
                ++compared;
                hits += hitA;
            }
        }
    }
    EXPECT_GT(compared, 10000);
    EXPECT_GT(hits, compared / 10);  // the literal is often there
}

// The block scan for one unit, against a plain loop, for every start within a block, lengths
// around the block size, the unit at each place, before the start or past the end, or absent.
TEST(UnitScan, FindUnit) {
    alignas(16) wchar_t buffer[64];
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t n = 0; n + offset <= 48; ++n) {
            for (size_t at = 0; at <= 56; ++at) {
                std::fill(std::begin(buffer), std::end(buffer), L'a');
                if (at < 56) buffer[at] = L'-';
                const wchar_t* s = buffer + offset;
                size_t expected = 0;
                while (expected < n && s[expected] != L'-') ++expected;
                ASSERT_EQ(FindUnit(s, n, L'-'), expected)
                    << "offset " << offset << " length " << n << " unit at " << at;
            }
        }
    }
}

// A megabyte of text runs through the explicit stack, not the machine stack.
TEST(RegexEngine, MegabyteSubject) {
    std::wstring text(1 << 20, L'a');
    text += L"needle";
    static const struct {
        const wchar_t* pattern;
        const char* spans;
    } rows[] = {
        {L".*needle", "0-1048582"},
        {L"(a|b)*needle", "0-1048582 1048575-1048576"},
        {L"(aa)+n", "0-1048577 1048574-1048576"},
        {L"needle$", "1048576-1048582"},
        {L"(a*)x", nullptr},
        {L"[^a]+", "1048576-1048582"},
    };
    for (const auto& r : rows) {
        RegExp re;
        ASSERT_EQ(re.Compile(r.pattern), kRegexOk);
        RegexCaptures c{};
        RegexError error = kRegexOk;
        bool hit = re.Search(text, {}, &c, &error);
        EXPECT_EQ(error, kRegexOk) << Narrow(r.pattern);
        ASSERT_EQ(hit, r.spans != nullptr) << Narrow(r.pattern);
        if (hit) {
            EXPECT_EQ(Spans(c, text.c_str(), re.groupCount()), r.spans) << Narrow(r.pattern);
        }
    }
}

}  // namespace
}  // namespace kwill
