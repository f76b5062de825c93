// The wildcard language through the exported handle functions: each operator and option, the
// whole-pattern negation, path mode, folding, extension lists and bad input.
#include "tests/common/test_support.h"
#include "text/wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace kwill {
namespace {

using AllocFn = void*(__cdecl*)(const wchar_t*, DWORD);
using ParseFn = DWORD(__cdecl*)(void*, const wchar_t*, DWORD);
using MatchFn = int(__cdecl*)(const void*, const wchar_t*);
using StateFn = DWORD(__cdecl*)(const void*);
using ValidFn = BOOL(__cdecl*)(const void*);
using FreeFn = void(__cdecl*)(void*);
using WildTokenFn = BOOL(__cdecl*)(const wchar_t*, BYTE, int*);

struct Api {
    AllocFn alloc = test::Named<AllocFn>("AllocMatchPatternW");
    ParseFn parse = test::Named<ParseFn>("ParsePatternW");
    MatchFn match = test::Named<MatchFn>("MatchPatternW");
    StateFn wild = test::Named<StateFn>("IsPatternWild");
    ValidFn valid = test::Named<ValidFn>("IsPatternValid");
    StateFn unicode = test::Named<StateFn>("IsPatternUnicode");
    FreeFn free = test::Named<FreeFn>("FreeMatchPattern");
    WildTokenFn wildToken = test::Named<WildTokenFn>("IsWildToken");
};

const Api& Exports() {
    static const Api api;
    return api;
}

struct MatchRow {
    const wchar_t* pattern;
    DWORD options;
    const wchar_t* name;
    int expected;
};

void CheckRows(const MatchRow* rows, size_t count) {
    const Api& api = Exports();
    for (size_t i = 0; i < count; ++i) {
        const MatchRow& r = rows[i];
        void* h = api.alloc(r.pattern, r.options);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(api.match(h, r.name), r.expected)
            << "pattern '" << test::Printable(r.pattern) << "' options 0x" << std::hex << r.options
            << " name '" << test::Printable(r.name ? r.name : L"(null)") << "'";
        api.free(h);
    }
}

TEST(WildcardMatch, Operators) {
    const MatchRow rows[] = {
        // * and ?, case-insensitive by default
        {L"*.txt", 0, L"readme.TXT", 1},
        {L"*.txt", 0x2, L"readme.TXT", 0},
        {L"*.txt", 0x2, L"readme.txt", 1},
        {L"*", 0, L"", 1},
        {L"a*b*c", 0, L"aXbYbZc", 1},
        {L"a*b*c", 0, L"aXbYbZ", 0},
        {L"?", 0, L"", 0},
        {L"??", 0, L"ab", 1},
        {L"??", 0, L"abc", 0},
        {L"a?c", 0, L"abc", 1},
        // # repeats the next item; #? and #* are any sequence
        {L"#?", 0, L"", 1},
        {L"#*", 0, L"anything", 1},
        {L"#a", 0, L"", 1},
        {L"#a", 0, L"aaa", 1},
        {L"#a", 0, L"ab", 0},
        {L"x#(ab)y", 0, L"xababy", 1},
        {L"x#(ab)y", 0, L"xabay", 0},
        {L"#(a|bc)", 0, L"abcaa", 1},
        {L"#[0-9].txt", 0, L"2024.txt", 1},
        {L"#[0-9].txt", 0, L"20x4.txt", 0},
        // groups and alternatives
        {L"(a|b|c)x", 0, L"cx", 1},
        {L"(a|b|c)x", 0, L"dx", 0},
        {L"(a|)x", 0, L"x", 1},
        {L"f(oo|o)d", 0, L"food", 1},
        {L"f(oo|o)d", 0, L"fod", 1},
        {L"((a|b)(c|d))#e", 0, L"bdee", 1},
        // negation of an item
        {L"~(a)b", 0, L"ab", 0},
        {L"~(a)b", 0, L"xb", 1},
        {L"~(a)b", 0, L"aab", 1},
        {L"~(a)b", 0, L"b", 1},
        {L"~(*)", 0, L"", 0},
        {L"~(*)", 0, L"abc", 0},
        {L"a~?x", 0, L"abx", 0},   // ~ covers ?x: ?x matches "bx" up to the end
        {L"a~?x", 0, L"abxx", 1},  // "bxx": ?x only reaches "bx", so the negation may go on
        {L"x~[0-9]y", 0, L"x5y", 0},
        {L"x~[0-9]y", 0, L"xy", 1},
        {L"x~[0-9]y", 0, L"xay", 1},
        {L"~~a", 0x200, L"b", 0},
        // nested negations: the outer item ~(a)b can take all of "xb", so the outer fails
        {L"~(~(a)b)", 0, L"xb", 0},
        {L"~(~(a)b)", 0, L"ab", 1},
        {L"#(~(a)b)", 0, L"xbyb", 1},
        // classes
        {L"[a-c]", 0, L"B", 1},
        {L"[a-c]", 0x2, L"B", 0},
        {L"[~a-c]", 0, L"d", 1},
        {L"[~a-c]", 0, L"b", 0},
        {L"[~a-c]", 0, L"", 0},
        {L"[a-]", 0x2, L"z", 1},
        {L"[a-]", 0x2, L"\xFFFF", 1},
        {L"[a-]", 0x2, L"A", 0},
        {L"[]x]", 0, L"]", 1},
        {L"[]x]", 0, L"x", 1},
        {L"[']]", 0, L"]", 1},
        {L"[-a]", 0, L"-", 1},
        {L"[*?]", 0, L"?", 1},
        {L"[*?]", 0, L"x", 0},
        // quote escape
        {L"'*", 0, L"*", 1},
        {L"'*", 0, L"x", 0},
        {L"'a", 0, L"'a", 1},
        {L"a'(b')", 0, L"a(b)", 1},
        {L"it's", 0, L"IT'S", 1},
        // literal ~ at the end, and alone
        {L"~", 0, L"~", 1},
        {L"~", 0, L"x", 0},
        {L"a~", 0, L"a~", 1},
        // word markers
        {L"\x8B"
         L"bc",
         0x2, L"a bc", 1},
        {L"\x8B"
         L"bc",
         0x2, L"abc", 0},
        {L"\x8B"
         L"bc",
         0x2, L"bc", 1},
        {L"ab\x8C", 0x2, L"ab cd", 1},
        {L"ab\x8C", 0x2, L"abcd", 0},
        {L"ab\x8C", 0x2, L"ab", 1},
    };
    CheckRows(rows, std::size(rows));
}

TEST(WildcardMatch, WholePatternNegation) {
    const MatchRow rows[] = {
        {L"~*.bak", 0, L"a.bak", 0},     {L"~*.bak", 0, L"a.txt", 1}, {L"~*.bak", 0, nullptr, 1},
        {L"~*.bak", 0x200, L"a.txt", 0},  // a negation of * never matches
        {L"~*.bak", 0x200, L"a.bak", 0}, {L"~abc", 0, L"ABC", 0},     {L"~abc", 0, L"abd", 1},
        {L"*.bak", 0, nullptr, 0},       {L"~(a)", 0, L"a", 0},  // ~( is not whole-pattern negation
        {L"~[a]x", 0, L"bx", 1},
    };
    CheckRows(rows, std::size(rows));
}

TEST(WildcardMatch, Options) {
    const MatchRow rows[] = {
        // partial
        {L"abc", 0x80, L"xxabcxx", 1},
        {L"abc", 0x80, L"xxabxcx", 0},
        {L"*abc", 0x80, L"xxabc", 1},
        {L"*abc", 0x80, L"xxabcx", 0},
        {L"abc*", 0x80, L"xabc", 0},
        {L"~abc", 0x80, L"xxabcxx", 0},  // negation stripped first, then wrapped
        {L"~abc", 0x80, L"xxabxx", 1},
        // plain: only * and ? are special
        {L"a(b)", 0x4, L"a(b)", 1},
        {L"a(b)", 0x4, L"ab", 0},
        {L"#[x]*", 0x4, L"#[x]yz", 1},
        {L"a|b", 0x4, L"a|b", 1},
        {L"it's*", 0x4, L"it's me", 1},
        // path mode
        {L"a/*", 0x10, L"a\\b", 1},
        {L"a\\*", 0x10, L"a/b", 1},
        {L"a/b", 0x10, L"a\\b", 0},  // not wild: compared as plain text
        {L"a/*", 0, L"a\\b", 0},
        {L"A/*", 0x12, L"a\\b", 0},
        // folding
        {L"cafe", 0x40, L"caf\u00E9", 1},
        {L"cafe", 0x40, L"cafe\u0301", 1},
        {L"caf\u00E9", 0x40, L"cafe", 1},
        {L"cafe", 0, L"caf\u00E9", 0},
        {L"\u0141odz", 0x40, L"Lodz", 1},
        {L"\u0141odz", 0x40, L"lodz", 1},
        {L"\u0141odz", 0x42, L"lodz", 0},
        {L"*\u00D8*", 0x40, L"xox", 1},
        {L"\u00F8l", 0x42, L"\u00D8l", 0},
        {L"\u00F8l", 0x40, L"\u00D8L", 1},
        {L"na*ve", 0x40, L"na\u00EFve", 1},
        {L"*\uFB01*", 0x40, L"a file", 1},  // the ligature folds to "fi"
        // unicode upper-casing beyond ASCII
        {L"\u00E4*", 0, L"\u00C4rger", 1},
        {L"\u00E4*", 0x2, L"\u00C4rger", 0},
        // the locale comparison of a pattern without special elements
        {L"Stra\u00DFe", 0, L"STRA\u00DFE", 1},
    };
    CheckRows(rows, std::size(rows));
}

TEST(WildcardMatch, ExtensionLists) {
    const MatchRow rows[] = {
        {L"jpg gif", 0x1, L"Photo.JPG", 1},
        {L"jpg gif", 0x1, L"anim.gif", 1},
        {L"jpg gif", 0x1, L"photo.png", 0},
        {L"jpg png;gif", 0x1, L"x.png", 1},
        {L".jpg,.png", 0x1, L"x.png", 1},
        {L"jpg, png", 0x1, L"x.png", 1},
        {L"jpeg", 0x1, L"x.jpeg", 0},
        {L"jpeg", 0x1, L"jpeg", 1},
        {L"readme.txt", 0x1, L"readme.txt", 1},
        {L"readme.txt", 0x1, L"x.txt", 0},
        {L"jpg", 0x3, L"x.JPG", 0},
        {L"jpg", 0x3, L"x.jpg", 1},
        {L"jpg gif", 0, L"x.jpg", 0},     // only with option 0x1
        {L"~jpg gif", 0x1, L"x.jpg", 0},  // a negated list keeps its negation
        {L"~jpg gif", 0x1, L"x.txt", 1},
        {L"*.jpg", 0x1, L"x.jpg", 1},  // already wild: left alone
    };
    CheckRows(rows, std::size(rows));
}

TEST(WildcardMatch, CompileStates) {
    struct Row {
        const wchar_t* pattern;
        DWORD options;
        DWORD state;
    } rows[] = {
        {L"abc", 0, 0},
        {L"a*", 0, 1},
        {L"'*", 0, 1},
        {L"'a", 0, 0},
        {L"a?", 0, 1},
        {L"(a)", 0, 1},
        {L"[a]", 0, 1},
        {L"", 0, 0},
        {L"~", 0, 0},
        {L"a|b", 0, ~0u},
        {L"(ab", 0, ~0u},
        {L"a)", 0, ~0u},
        {L"#", 0, ~0u},
        {L"##a", 0, ~0u},
        {L"(#)", 0, ~0u},
        {L"#~a", 0, ~0u},
        {L"x~)", 0, ~0u},
        {L"a~?", 0, ~0u},
        {L"x#(", 0, ~0u},
        {L"[abc", 0, ~0u},
        {L"[]", 0, ~0u},
        {L"[a'", 0, ~0u},
        {L"(a#|b)", 0, 1},
        {L"a#|b", 0, ~0u},
        {L"a(b|c)", 0x4, 0},
        {L"a*", 0x4, 1},
        {L"\x8B"
         L"a",
         0, 1},
        {L"#a|b", 0, ~0u},
        {L"x\x85y", 0, 0},  // an operator unit in the text is only a literal
    };
    const Api& api = Exports();
    for (const Row& r : rows) {
        void* h = api.alloc(r.pattern, r.options);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(api.wild(h), r.state) << test::Printable(r.pattern);
        EXPECT_EQ(api.valid(h), r.state != ~0u && r.pattern[0] ? TRUE : FALSE)
            << test::Printable(r.pattern);
        if (r.state == ~0u) {
            EXPECT_EQ(api.match(h, r.pattern), 0) << test::Printable(r.pattern);
        }
        api.free(h);
    }
}

TEST(WildcardMatch, ReservedUnitsInTheTextAreLiterals) {
    const MatchRow rows[] = {
        {L"a\x82*", 0, L"a\x82z", 1},
        {L"a\x82*", 0, L"az", 0},
        {L"[\x88]*", 0, L"\x88q", 1},
        {L"*\x8D", 0, L"x\x8D", 1},
    };
    CheckRows(rows, std::size(rows));
}

TEST(WildcardMatch, ParseKeepsOptionsAndSetsCase) {
    const Api& api = Exports();
    void* h = api.alloc(L"jpg", 0x1 | 0x80);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(api.match(h, L"a.jpg"), 1);
    EXPECT_EQ(api.parse(h, L"abc", 1), 1u);  // partial wrapping makes it wild
    EXPECT_EQ(api.match(h, L"xabcx"), 1);
    EXPECT_EQ(api.match(h, L"xABCx"), 0);
    EXPECT_EQ(api.parse(h, L"jpg gif", 0), 1u);  // no extension rewriting on a re-parse
    EXPECT_EQ(api.match(h, L"a.gif"), 0);
    EXPECT_EQ(api.parse(h, L"(", 0), ~0u);
    EXPECT_EQ(api.valid(h), FALSE);
    EXPECT_EQ(api.match(h, L"("), 0);
    EXPECT_EQ(api.parse(h, L"~x", 0), 1u);
    EXPECT_EQ(api.match(h, L"y"), 1);
    EXPECT_EQ(api.parse(h, nullptr, 0), 0u);
    EXPECT_EQ(api.valid(h), FALSE);
    api.free(h);
}

TEST(WildcardMatch, NullHandlesAndUnicodeFlag) {
    const Api& api = Exports();
    EXPECT_EQ(api.parse(nullptr, L"a", 0), ~0u);
    EXPECT_EQ(api.match(nullptr, L"a"), 0);
    EXPECT_EQ(api.wild(nullptr), 0u);
    EXPECT_EQ(api.valid(nullptr), FALSE);
    EXPECT_EQ(api.unicode(nullptr), 0u);
    api.free(nullptr);

    void* h = api.alloc(nullptr, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(api.wild(h), 0u);
    EXPECT_EQ(api.match(h, L""), 0);
    EXPECT_EQ(api.parse(h, L"\u0100*", 0), 1u);
    EXPECT_EQ(api.unicode(h), 1u);
    EXPECT_EQ(api.parse(h, L"\u00FF*", 0), 1u);
    EXPECT_EQ(api.unicode(h), 0u);
    api.free(h);
}

TEST(WildcardMatch, WildTokens) {
    struct Row {
        const wchar_t* text;
        BYTE regex;
        BOOL special;
        int length;
    } rows[] = {
        {nullptr, 0, FALSE, 0}, {L"", 0, FALSE, 0},          {L"'x", 0, FALSE, 2},
        {L"'", 0, FALSE, 2},    {L"GRP:Images", 0, TRUE, 4}, {L"grp:", 0, TRUE, 4},
        {L"grp", 0, FALSE, 0},  {L"#", 0, TRUE, 1},          {L"~a", 0, TRUE, 1},
        {L"]", 0, TRUE, 1},     {L"+", 0, FALSE, 0},         {L"a", 0, FALSE, 0},
        {L"\\x", 1, FALSE, 2},  {L"\\", 1, FALSE, 0},        {L"+", 1, TRUE, 1},
        {L"^", 1, TRUE, 1},     {L"}", 1, TRUE, 1},          {L"#", 1, FALSE, 0},
        {L"~", 1, FALSE, 0},    {L"grp:x", 1, FALSE, 0},     {L"", 1, FALSE, 0},
    };
    const Api& api = Exports();
    for (const Row& r : rows) {
        int length = -1;
        EXPECT_EQ(api.wildToken(r.text, r.regex, &length), r.special)
            << test::Printable(r.text ? r.text : L"(null)") << " regex " << int(r.regex);
        EXPECT_EQ(length, r.length) << test::Printable(r.text ? r.text : L"(null)");
    }
    EXPECT_EQ(api.wildToken(L"*", 0, nullptr), TRUE);
}

// Patterns whose naive backtracking explodes, and inputs too large for recursion: each must
// come back with the right answer (how fast is the benchmark's business).
TEST(WildcardMatch, HostilePatternsAndLargeInputs) {
    const Api& api = Exports();
    std::wstring as(10000, L'a');
    struct Row {
        std::wstring pattern;
        std::wstring name;
        int expected;
    } rows[] = {
        {L"*a*a*a*a*a*a*a*a*b", as, 0},
        {L"*a*a*a*a*a*a*a*a*b", as + L"b", 1},
        {L"#(*|*)b", as, 0},
        {L"#(#(*|*)|#(?|*))#(a|*)b", as, 0},
        {L"#(#(*|*)|#(?|*))#(a|*)", as, 1},
        {L"#(a|aa)#(a|aa)c", as, 0},
        {L"*~(*b)", as, 1},
        {L"*~(*b)c", as.substr(0, 2000), 0},  // a negation tried from every start
        {L"*~(*b)c", as.substr(0, 2000) + L"c", 1},
        {L"~(*a)c", as.substr(0, 2000) + L"c", 0},
        {L"*~(*a)c", as.substr(0, 2000) + L"c", 1},  // the star may take every a
        {L"*~(a)", as, 1},                           // the negation may take the text's end
        {L"~(#(a|aa))", as, 0},
        {L"*[a-c]*[a-c]*[~a]", as, 0},
        {L"*[a-c]*[a-c]*[~a]", as + L"x", 1},
    };
    for (const Row& r : rows) {
        void* h = api.alloc(r.pattern.c_str(), 0x2);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(api.match(h, r.name.c_str()), r.expected) << test::Printable(r.pattern);
        api.free(h);
    }

    std::wstring big(1 << 20, L'x');
    big += L".txt";
    const wchar_t* bigPatterns[] = {L"*.txt", L"#(x|y)(.txt|.doc)", L"*~(.doc)", L"#?.txt"};
    for (const wchar_t* p : bigPatterns) {
        void* h = api.alloc(p, 0);
        EXPECT_EQ(api.match(h, big.c_str()), 1) << test::Printable(p);
        api.free(h);
    }

    std::wstring longPattern;  // 64K units of program
    for (int i = 0; i < 9400; ++i) longPattern += L"(a|b|)*";
    longPattern += L"z";
    std::wstring name;
    for (int i = 0; i < 100; ++i) name += L"ab";
    void* h = api.alloc(longPattern.c_str(), 0);
    EXPECT_EQ(api.wild(h), 1u);
    EXPECT_EQ(api.match(h, name.c_str()), 0);
    EXPECT_EQ(api.match(h, (name + L"z").c_str()), 1);
    api.free(h);

    std::wstring deep(30000, L'(');
    deep += L"a";
    deep += std::wstring(30000, L')');
    h = api.alloc(deep.c_str(), 0);
    EXPECT_EQ(api.match(h, L"a"), 1);
    EXPECT_EQ(api.match(h, L"b"), 0);
    api.free(h);
}

}  // namespace
}  // namespace kwill
