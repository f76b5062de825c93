// The compiled program (the host reads it, so its units are checked one by one), diacritic
// folding with the system calls replaced, pinyin matching and regular-expression mode.
#include "frame/context.h"
#include "tests/common/test_support.h"
#include "text/fold_diacritics.h"
#include "text/wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace kwill::text {
namespace {

std::string Units(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) {
        char buf[12];
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof(buf), "<%X>", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

TEST(WildcardProgram, Layout) {
    struct Row {
        const wchar_t* pattern;
        uint32_t options;
        const wchar_t* program;
    } rows[] = {
        {L"a*b", 0x2,
         L"a\x80"
         L"b"},
        {L"#(ab|c)", 0x2,
         L"\x89\x82"
         L"ab\x83"
         L"c\x84\x8A"},
        {L"~[0-9]x", 0x200 | 0x2,
         L"\x85\x88"
         L"0-9\x88\x86"
         L"x"},
        {L"a*b", 0,
         L"A\x80"
         L"B"},  // literals are stored upper-cased without 0x2
        {L"?", 0x2, L"\x81"},
        {L"#?", 0x2, L"\x80"},
        {L"#*x", 0x2, L"\x80x"},
        {L"x~?y", 0x2, L"x\x85\x81y\x86"},  // ? leaves the negation open for y
        {L"[~a]", 0x2,
         L"\x87"
         L"a\x88"},
        {L"[]a]", 0x2, L"\x88]a\x88"},
        {L"[a'-]", 0x2,
         L"\x88"
         L"a-\x88"},
        {L"'*'(", 0x2, L"*("},
        {L"'a", 0x2, L"'a"},
        {L"a/b*", 0x12, L"a\\b\x80"},
        {L"a/b*", 0x10, L"A\\B\x80"},
        {L"x\x8B"
         L"y",
         0x2, L"x\x80\x8By"},
        {L"x\x8C"
         L"y",
         0x2, L"x\x8C\x80y"},
        {L"x\x82y*", 0x2, L"x\x8D\x82y\x80"},  // an operator unit in the text stays a literal
        {L"[\x88]", 0x2, L"\x88\x8D\x88\x88"},
        {L"(a#b|c)", 0x2,
         L"\x82"
         L"a\x89"
         L"b\x8A\x83"
         L"c\x84"},
        {L"#~(a)", 0x2, L""},  // # before ~ is invalid
        {L"abc", 0x80 | 0x2,
         L"\x80"
         L"abc\x80"},
        {L"a(b)", 0x4 | 0x2, L"a(b)"},
    };
    for (const Row& r : rows) {
        auto p = NewMatchPattern(r.pattern, r.options);
        EXPECT_EQ(Units(p->program), Units(r.program)) << Units(r.pattern);
    }
}

// NormalizeString stand-ins: one refuses the units listed in `bad` (reporting the first one's
// position), the other always fails with some other error.
std::wstring g_bad;
int RefusingNormalize(const wchar_t* src, int length, wchar_t* dst, int dstLength, DWORD* error) {
    for (int i = 0; i < length; ++i) {
        if (g_bad.find(src[i]) != std::wstring::npos) {
            *error = ERROR_NO_UNICODE_TRANSLATION;
            return -i;
        }
    }
    return SystemFold().normalize(src, length, dst, dstLength, error);
}
int FailingNormalize(const wchar_t*, int, wchar_t*, int, DWORD* error) {
    *error = ERROR_INVALID_PARAMETER;
    return 0;
}
bool FailingClassify(const wchar_t*, int, WORD*) {
    return false;
}

TEST(FoldDiacritics, Table) {
    struct Row {
        std::wstring text;
        std::wstring folded;
    } rows[] = {
        {L"", L""},
        {L"plain ascii 123", L"plain ascii 123"},
        {L"caf\u00E9", L"cafe"},
        {L"cafe\u0301", L"cafe"},
        {L"\u00D8resund \u00F8", L"Oresund o"},
        {L"\u0141\u00F3d\u017A", L"Lodz"},
        {L"\u0142", L"l"},
        {L"\uFB01le", L"file"},
        {L"\u00BD", L"1\u20442"},
        {L"\u1E9B\u0323", L"s"},
        {L"\u65E5\u672C", L"\u65E5\u672C"},
        {L"a\U0001F600b", L"a\U0001F600b"},  // a surrogate pair stays
    };
    for (const Row& r : rows) EXPECT_EQ(Units(FoldDiacritics(r.text)), Units(r.folded));
}

TEST(FoldDiacritics, RefusedUnitsAndFailures) {
    FoldSystem refusing = SystemFold();
    refusing.normalize = RefusingNormalize;
    // The refused unit is left out of the normalisation, the rest is folded.
    g_bad = L"\x2603";
    EXPECT_EQ(Units(FoldDiacritics(L"\x2603"
                                   L"caf\u00E9",
                                   refusing)),
              Units(L"cafe"));
    // Out of tries (length - 1 removals): the text comes back as it was.
    g_bad = L"\x2603\x2604";
    EXPECT_EQ(Units(FoldDiacritics(L"\x2603\x2604", refusing)), Units(L"\x2603\x2604"));
    EXPECT_EQ(Units(FoldDiacritics(L"\x2603\x2604\u00E9", refusing)), Units(L"e"));

    FoldSystem failing = SystemFold();
    failing.normalize = FailingNormalize;
    // Without normalisation the precomposed é stays; a separate mark is still dropped.
    EXPECT_EQ(Units(FoldDiacritics(L"caf\u00E9e\u0301", failing)), Units(L"caf\u00E9e"));
    failing = SystemFold();
    failing.classify = FailingClassify;
    EXPECT_EQ(Units(FoldDiacritics(L"caf\u00E9", failing)), Units(L"caf\u00E9"));
}

TEST(FoldDiacritics, UnitCacheAgreesWithTheWholeFold) {
    for (uint32_t c = 0x80; c < 0x10000; c += 37) {
        const wchar_t unit = static_cast<wchar_t>(c);
        EXPECT_EQ(FoldUnit(unit), FoldDiacritics(std::wstring(1, unit))) << std::hex << c;
    }
    EXPECT_EQ(FoldUnit(L'A'), L"A");
    EXPECT_TRUE(FoldUnit(0x0301).empty());
}

// A table in which U+4E2D holds 'z' and U+6587 holds 'w' and 'm'.
struct PinyinFixture : ::testing::Test {
    uint16_t entries[0x1800] = {};
    PinyinInitialsTable table{entries, 0x1800};
    void SetUp() override {
        entries[0x4E2D - 0x4E00] = 26;
        entries[0x6587 - 0x4E00] = 23 | (13 << 5);
    }
    int Match(const wchar_t* pattern, uint32_t options, const wchar_t* name) {
        auto p = NewMatchPattern(pattern, options);
        p->compare = PinyinCompare;
        p->pinyin = &table;
        return MatchPattern(*p, name);
    }
};

TEST_F(PinyinFixture, LettersMatchIdeographs) {
    struct Row {
        const wchar_t* pattern;
        uint32_t options;
        const wchar_t* name;
        int expected;
    } rows[] = {
        {L"zw*", 0, L"\u4E2D\u6587.txt", 1},
        {L"ZM*", 0, L"\u4E2D\u6587.txt", 1},
        {L"ZM*", 0x2, L"\u4E2D\u6587.txt", 1},  // A-Z are lowered for the rescue
        {L"zx*", 0, L"\u4E2D\u6587.txt", 0},
        {L"*w.txt", 0, L"\u4E2D\u6587.txt", 1},
        {L"[w]*", 0, L"\u6587", 0},  // classes compare plainly
        {L"l?", 0, L"\u3007x", 1},
        {L"\u4E2D*", 0, L"z", 0},  // never the other way round
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Match(r.pattern, r.options, r.name), r.expected) << Units(r.pattern);
    }
}

TEST(WildcardPinyin, InstalledFromTheContextAtAllocation) {
    using SetTableFn = void(__cdecl*)(const PinyinInitialsTable*);
    using EnableFn = void(__cdecl*)(BOOL);
    using AllocFn = void*(__cdecl*)(const wchar_t*, DWORD);
    using MatchFn = int(__cdecl*)(const void*, const wchar_t*);
    using FreeFn = void(__cdecl*)(void*);
    auto setTable = test::Ordinal<SetTableFn>(161);
    auto enable = test::Ordinal<EnableFn>(160);
    auto alloc = test::Named<AllocFn>("AllocMatchPatternW");
    auto match = test::Named<MatchFn>("MatchPatternW");
    auto free = test::Named<FreeFn>("FreeMatchPattern");
    static uint16_t entries[0x1800] = {};
    entries[0x4E2D - 0x4E00] = 26;
    PinyinInitialsTable table{entries, 0x1800};

    void* before = alloc(L"z*", 0);
    setTable(&table);
    enable(TRUE);
    void* after = alloc(L"z*", 0);
    EXPECT_EQ(match(before, L"\u4E2D"), 0);
    EXPECT_EQ(match(after, L"\u4E2D"), 1);
    // The handle reads the context's table, so removing the table ends the rescue.
    setTable(nullptr);
    EXPECT_EQ(match(after, L"\u4E2D"), 0);
    enable(FALSE);
    free(before);
    free(after);
}

TEST(WildcardRegex, RegularExpressionMode) {
    struct Row {
        const wchar_t* pattern;
        uint32_t options;
        const wchar_t* name;
        int expected;
    } rows[] = {
        {L"^a.*z$", 0x8, L"abcz", 1},
        {L"^a.*z$", 0x8, L"abc", 0},
        {L"b", 0x8, L"abc", 1},          // unanchored: anywhere
        {L"b", 0x8 | 0x100, L"abc", 0},  // anchored at both ends
        {L"a.c", 0x8 | 0x100, L"abc", 1},
        {L"b", 0x8 | 0x100 | 0x80, L"abc", 1},    // partial: left unanchored
        {L"b.*", 0x8 | 0x100 | 0x80, L"abc", 0},  // ends with .*: anchored
        {L"B", 0x8, L"abc", 1},
        {L"B", 0x8 | 0x2, L"abc", 0},
        {L"~x", 0x8, L"~x", 1},  // no whole-pattern negation in this mode
    };
    for (const Row& r : rows) {
        auto p = NewMatchPattern(r.pattern, r.options);
        EXPECT_EQ(p->state, kPatternWild) << Units(r.pattern);
        EXPECT_TRUE(IsPatternValid(*p));
        EXPECT_EQ(MatchPattern(*p, r.name), r.expected)
            << Units(r.pattern) << " options " << std::hex << r.options;
    }
    auto bad = NewMatchPattern(L"(a", 0x8);
    EXPECT_EQ(bad->state, kPatternInvalid);
    EXPECT_FALSE(IsPatternValid(*bad));
    auto empty = NewMatchPattern(L"", 0x8);
    EXPECT_EQ(empty->state, kPatternNotWild);
    EXPECT_TRUE(IsPatternValid(*empty));  // the handle exists
    auto wide = NewMatchPattern(L"\u0100+", 0x8);
    EXPECT_EQ(wide->unicode, 1u);
    EXPECT_EQ(ParsePattern(*wide, L"x+", false), kPatternWild);
    EXPECT_EQ(wide->unicode, 0u);
}

}  // namespace
}  // namespace kwill::text
