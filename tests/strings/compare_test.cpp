// The comparison family: each rule as a table, the natural order as a total order on generated
// names, and the searches.
#include "strings/compare.h"

#include "frame/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

namespace kwill {
namespace {

std::string Show(const wchar_t* s) {
    if (!s) return "(null)";
    std::string out;
    for (; *s; ++s) {
        if (*s >= 0x20 && *s < 0x7F) {
            out += static_cast<char>(*s);
        } else {
            char buf[12];
            std::snprintf(buf, sizeof(buf), "\\u%04X", static_cast<unsigned>(*s));
            out += buf;
        }
    }
    return out;
}

using WideCompare = int (*)(const wchar_t*, const wchar_t*, int);

struct WideRow {
    const char* fn;
    WideCompare compare;
    const wchar_t* a;
    const wchar_t* b;
    int n;
    int expected;  // the exact result
};

// Differences are exact: callers use them, not only their signs.
const WideRow kWideRows[] = {
    // Limits: n units at most; 0 compares nothing; negative means no limit.
    {"strcmpnW", strcmpnW, L"abc", L"abd", 2, 0},
    {"strcmpnW", strcmpnW, L"abc", L"abd", 3, -1},
    {"strcmpnW", strcmpnW, L"abc", L"abd", -1, -1},
    {"strcmpnW", strcmpnW, L"abc", L"xyz", 0, 0},
    {"strcmpnW", strcmpnW, L"a", L"b", 1, -1},
    {"strcmpnW", strcmpnW, L"", L"a", -1, -'a'},
    {"strcmpnW", strcmpnW, L"ab", L"ab", 100, 0},
    {"strcmpnW", strcmpnW, L"Readme", L"README", -99,
     'e' - 'E'},                                              // -99 is special only when folding
    {"strcmpnW", strcmpnW, L"\x0080", L"a", -1, 0x80 - 'a'},  // units are unsigned
    // Surrogate pairs go unit by unit: U+1F600 sorts below U+FF01 here.
    {"strcmpnW", strcmpnW, L"\xD83D\xDE00", L"\xFF01", -1, 0xD83D - 0xFF01},
    {"strcmpnW", strcmpnW, L"\xD83D\xDE00", L"\xD83D\xDE01", -1, -1},
    // A-Z folding only; the -99 prefix test.
    {"stricmpnW", stricmpnW, L"Readme.txt", L"README", -99, 0},
    {"stricmpnW", stricmpnW, L"Readme.txt", L"README", -1, '.'},
    {"stricmpnW", stricmpnW, L"Readme.txt", L"README", -98, '.'},
    {"stricmpnW", stricmpnW, L"Read", L"README", -99, -'m'},  // the first string ending is no match
    {"stricmpnW", stricmpnW, L"Readme", L"REAX", -99, 'd' - 'x'},
    {"stricmpnW", stricmpnW, L"ABC", L"abd", -1, -1},
    {"stricmpnW", stricmpnW, L"[", L"a", -1, '[' - 'a'},  // folded to lower case, then compared
    {"stricmpnW", stricmpnW, L"\x00C4", L"\x00E4", -1, 0xC4 - 0xE4},
    {"stricmpnW", stricmpnW, L"ABCx", L"abcy", 3, 0},
    // The Windows case mapping folds beyond ASCII.
    {"stricmpnWF", stricmpnWF, L"\x00C4rger", L"\x00E4RGER", -1, 0},
    {"stricmpnWF", stricmpnWF, L"\x0416", L"\x0436", -1, 0},
    {"stricmpnWF", stricmpnWF, L"ABC", L"abd", -1, -1},
    {"stricmpnWF", stricmpnWF, L"Readme.txt", L"README", -99, '.'},  // no prefix test here
    // Separators are equal.
    {"strcmpnPSW", strcmpnPSW, L"C:/a\\b/c", L"C:\\a/b\\c", -1, 0},
    {"strcmpnPSW", strcmpnPSW, L"a/b", L"a\\c", -1, -1},
    {"strcmpnPSW", strcmpnPSW, L"a/", L"a-", -1, '/' - '-'},
    {"strcmpnPSW", strcmpnPSW, L"A/b", L"a\\b", -1, 'A' - 'a'},
    {"stricmpnPSW", stricmpnPSW, L"A/B", L"a\\b", -1, 0},
    {"stricmpnPSW", stricmpnPSW, L"a\\", L"a", -1, '\\'},
    // One trailing separator ignored; a separator orders as the slash; -1/0/+1 only.
    {"stricmpnPIESW", stricmpnPIESW, L"X:\\dir\\", L"x:\\dir", -1, 0},
    {"strcmpnPIESW", strcmpnPIESW, L"X:\\dir\\", L"x:\\dir", -1, -1},
    {"strcmpnPIESW", strcmpnPIESW, L"a\\\\", L"a\\", -1, 1},
    {"strcmpnPIESW", strcmpnPIESW, L"a/", L"a\\", -1, 0},
    {"strcmpnPIESW", strcmpnPIESW, L"a/b", L"a\\b", -1, 0},
    {"strcmpnPIESW", strcmpnPIESW, L"a\\b", L"a.b", -1, 1},  // as '/' (0x2F) against 0x2E
    {"strcmpnPIESW", strcmpnPIESW, L"a\\b", L"a0b", -1, -1},
    {"strcmpnPIESW", strcmpnPIESW, L"ab", L"a", -1, 1},
    {"strcmpnPIESW", strcmpnPIESW, L"a", L"ab", -1, -1},
    {"strcmpnPIESW", strcmpnPIESW, L"ab", L"ax", 1, 0},
    {"strcmpnPIESW", strcmpnPIESW, L"a\xFFFF", L"a\x0100", -1, 1},  // unsigned order
    {"stricmpnPIESW", stricmpnPIESW, L"\\", L"", -1, 0},
    // Space high: after all other printable ASCII, just below '|'.
    {"strcmpnHSW", strcmpnHSW, L"a b", L"ab", -1, 0x7B - ('b' - 1)},
    {"strcmpnHSW", strcmpnHSW, L"a b", L"a|", -1, -1},
    {"strcmpnHSW", strcmpnHSW, L"abc def", L"abcz", -1, 0x7B - ('z' - 1)},
    {"strcmpnHSW", strcmpnHSW, L"a!", L"a", -1, 0x20},
    {"strcmpnHSW", strcmpnHSW, L"a b", L"a{", -1, 0x7B - ('{' - 1)},
    {"stricmpnHSW", stricmpnHSW, L"A B", L"a|", -1, -1},
    {"stricmpnHSW", stricmpnHSW, L"AB", L"ab", -1, 0},
};

TEST(BoundedCompare, Table) {
    for (const WideRow& r : kWideRows) {
        EXPECT_EQ(r.compare(r.a, r.b, r.n), r.expected)
            << r.fn << "(" << Show(r.a) << ", " << Show(r.b) << ", " << r.n << ")";
    }
}

TEST(BoundedCompare, NullRule) {
    for (const WideRow& r : kWideRows) {
        EXPECT_EQ(r.compare(nullptr, nullptr, -1), 0) << r.fn;
        EXPECT_EQ(r.compare(nullptr, L"", 0), -1) << r.fn;
        EXPECT_EQ(r.compare(L"", nullptr, 0), 1) << r.fn;
    }
    EXPECT_EQ(strcmpnA(nullptr, "a", 5), -1);
    EXPECT_EQ(stricmpnA("a", nullptr, 5), 1);
    EXPECT_EQ(safestrcmpiW(nullptr, nullptr), 0);
    EXPECT_EQ(safestrcmpiW(nullptr, L"x"), -1);
    EXPECT_EQ(safestrcmpiW(L"x", nullptr), 1);
    EXPECT_EQ(StringCompareW(nullptr, L"x", 2, -1), -1);
    EXPECT_EQ(NumericStrCmp(L"x", nullptr, false), 1);
    EXPECT_EQ(strstriW(nullptr, L"a"), nullptr);
    EXPECT_EQ(strstriA("a", nullptr), nullptr);
}

TEST(BoundedCompare, EightBitIsSigned) {
    struct Row {
        int (*compare)(const char*, const char*, int);
        const char* a;
        const char* b;
        int n;
        int expected;
    } rows[] = {
        {strcmpnA, "\x80", "a", -1, -128 - 'a'},
        {strcmpnA, "abc", "abd", 2, 0},
        {strcmpnA, "a\xFF", "a", -1, -1},
        {stricmpnA, "ABC", "abd", -1, -1},
        {stricmpnA, "HELLO", "hello", -1, 0},
        {stricmpnA, "\xC4", "\xE4", -1, -60 - -28},  // no folding beyond A-Z
        {stricmpnA, "Readme.txt", "README", -99, '.'},
    };
    for (const Row& r : rows) EXPECT_EQ(r.compare(r.a, r.b, r.n), r.expected) << r.a;
}

// Entry 5 (U+4E05) holds 'z' and 'c'; entry 7 is 0; entry 9 holds field value 31 (no letter).
const uint16_t kEntries[] = {0, 0, 0, 0, 0, 26 | (3 << 5), 0, 0, 0, 31 | (2 << 10)};
const PinyinInitialsTable kTable = {kEntries, 10};

TEST(Pinyin, Rescue) {
    using PyCompare = int (*)(const wchar_t*, const wchar_t*, int, const PinyinInitialsTable*);
    struct Row {
        const char* fn;
        PyCompare compare;
        const wchar_t* a;
        const wchar_t* b;
        int n;
        const PinyinInitialsTable* table;
        bool equal;
    } rows[] = {
        {"stricmpnWPY", stricmpnWPY, L"\x4E05x", L"Cx", -1, &kTable, true},
        {"stricmpnWPY", stricmpnWPY, L"\x4E05x", L"zX", -1, &kTable, true},
        {"stricmpnWPY", stricmpnWPY, L"Cx", L"\x4E05x", -1, &kTable, false},  // one way only
        {"stricmpnWPY", stricmpnWPY, L"\x4E05x", L"bx", -1, &kTable, false},
        {"stricmpnWPY", stricmpnWPY, L"\x4E05x", L"Cx", -1, nullptr, false},
        {"stricmpnWPY", stricmpnWPY, L"\x4E05\x4E06", L"c", -99, &kTable, true},
        {"stricmpnWPY", stricmpnWPY, L"\x4E09", L"b", -1, &kTable, true},   // third field
        {"stricmpnWPY", stricmpnWPY, L"\x4E09", L"{", -1, &kTable, false},  // 31 is no letter
        {"stricmpnWPY", stricmpnWPY, L"\x4E0A", L"a", -1, &kTable, false},  // beyond count
        {"strcmpnWPY", strcmpnWPY, L"\x4E05", L"C", -1, &kTable, true},
        {"strcmpnWPY", strcmpnWPY, L"A\x4E05", L"ac", -1, &kTable, false},  // no case folding
        {"stricmpnWFPY", stricmpnWFPY, L"\x00C4\x4E05", L"\x00E4z", -1, &kTable, true},
        // The fixed exceptions hold with any table, or none.
        {"strcmpnWPY", strcmpnWPY, L"\x3007", L"L", -1, nullptr, true},
        {"strcmpnWPY", strcmpnWPY, L"\x7AD3\x7AD3\x7AD3", L"gsy", -1, nullptr, true},
        {"strcmpnWPY", strcmpnWPY, L"\x7AD5", L"s", -1, nullptr, false},
        {"strcmpnWPY", strcmpnWPY, L"\x7AD5\x7AD5", L"gy", -1, &kTable, true},
        {"strcmpnWPY", strcmpnWPY, L"\x7AE1", L"B", -1, nullptr, true},
        {"strcmpnWPY", strcmpnWPY, L"\x4DFF", L"a", -1, nullptr, false},
        {"strcmpnWPY", strcmpnWPY, L"\x4E05", L"", -1, &kTable, false},  // a letter is needed
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.compare(r.a, r.b, r.n, r.table) == 0, r.equal)
            << r.fn << "(" << Show(r.a) << ", " << Show(r.b) << ")";
    }
    const uint16_t* none = nullptr;
    const PinyinInitialsTable broken = {none, 100};  // a count without entries reads nothing
    EXPECT_NE(stricmpnWPY(L"\x4E05", L"c", -1, &broken), 0);
}

TEST(Search, Table) {
    struct Row {
        const char* fn;
        const wchar_t* (*search)(const wchar_t*, const wchar_t*);
        const wchar_t* text;
        const wchar_t* sought;
        int offset;  // -1: not found
    } rows[] = {
        {"strstriW", strstriW, L"Hello", L"", -1},
        {"strstriW", strstriW, L"Hello", L"LLO", 2},
        {"strstriW", strstriW, L"aaab", L"AAB", 1},  // a failed candidate resumes one unit on
        {"strstriW", strstriW, L"abc", L"abcd", -1},
        {"strstriW", strstriW, L"", L"a", -1},
        {"strstriW", strstriW, L"x[y", L"{", -1},  // '[' and '{' are not case pairs
        {"strstriW", strstriW, L"x\x00C4y", L"\x00E4", -1},
        {"strstriWW", strstriWW, L"x\x00C4y", L"\x00E4Y", 1},
        {"strstriWW", strstriWW,
         L"Stra\xDF"
         L"e",
         L"SSE", -1},  // one unit for one unit
        {"strstriWW", strstriWW, L"abc", L"", -1},
    };
    for (const Row& r : rows) {
        const wchar_t* found = r.search(r.text, r.sought);
        EXPECT_EQ(found ? static_cast<int>(found - r.text) : -1, r.offset)
            << r.fn << "(" << Show(r.text) << ", " << Show(r.sought) << ")";
    }
    const char* text = "xxAbC";
    EXPECT_EQ(strstriA(text, "abc"), text + 2);
    EXPECT_EQ(strstriA(text, "abcx"), nullptr);

    const wchar_t* name =
        L"ab\x4E05"
        L"d\x4E05x";
    EXPECT_EQ(strstrWPY(name, L"cd", &kTable), name + 2);
    EXPECT_EQ(strstrWPY(name, L"Cx", &kTable), name + 4);      // the letter is lowered
    EXPECT_EQ(strstrWPY(name, L"B\x4E05", &kTable), nullptr);  // otherwise exact
    EXPECT_EQ(strstrWPY(name, L"cd", nullptr), nullptr);
    EXPECT_EQ(strstriWWPY(name,
                          L"B\x4E05"
                          L"D",
                          &kTable),
              name + 1);
    EXPECT_EQ(strstriWWPY(name, L"zd", &kTable), name + 2);
    EXPECT_EQ(strstriWWPY(name, L"", &kTable), nullptr);
}

TEST(LocaleCompare, FileSystemCompareString) {
    EXPECT_EQ(FileSystemCompareString(L"abc", -1, L"ABC", -1, true, false), 0);
    EXPECT_NE(FileSystemCompareString(L"abc", -1, L"ABC", -1, false, false), 0);
    EXPECT_EQ(FileSystemCompareString(L"abcX", 3, L"abcY", 3, false, false), 0);
    EXPECT_EQ(FileSystemCompareString(L"abc", 2, L"abd", -1, false, false), -1);
    EXPECT_EQ(FileSystemCompareString(L"b", -1, L"a", -1, false, false), 1);
    EXPECT_EQ(FileSystemCompareString(nullptr, -1, L"a", -1, false, false), -2);
}

TEST(LocaleCompare, StringCompareW) {
    struct Row {
        const wchar_t* a;
        const wchar_t* b;
        uint32_t flags;
        int n;
        int expected;
    } rows[] = {
        {L"abc", L"abd", 0, -1, -1},
        {L"ABC", L"abd", 1, -1, -1},
        {L"Readme.txt", L"README", 1, -99, 0},
        {L"abc", L"ABC", 2 | 1, -1, 0},
        {L"abc", L"ABD", 2 | 1, 2, 0},
        // Locale mode puts `b` first: below zero means `b` sorts first.
        {L"b", L"a", 2, -1, -1},
        {L"a", L"b", 2, -1, 1},
        // A limit beyond a string is cut; the units at the cut decide, `b`'s minus `a`'s.
        {L"abc", L"ab", 2, 10, -'c'},
        {L"ab", L"abc", 2, 10, 'c'},
        {L"ab", L"AB", 2 | 1, 10, 0},
        {L"abC", L"ab", 2 | 1, 10, -'c'},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(StringCompareW(r.a, r.b, r.flags, r.n), r.expected)
            << Show(r.a) << " " << Show(r.b) << " flags " << r.flags << " n " << r.n;
    }
}

TEST(NaturalOrder, Examples) {
    struct Row {
        const wchar_t* a;
        const wchar_t* b;
        int expected;
    } rows[] = {
        {L"file9", L"file10", -1},
        {L"a01", L"a1", -1},
        {L"00", L"0", -1},
        {L"00", L"5", -1},
        {L"a01c", L"a1b", -1},  // the leading zeros decide before the later text
        {L"ABC", L"abc", 0},
        {L"", L"a", -1},
        {L"", L"", 0},
        {L"1.5", L"1.10", -1},
        {L"x-2", L"x-10", -1},  // signs are text
        {L"v1.2.10", L"v1.2.9", 1},
        {L"99999999999999999999999", L"100000000000000000000000", -1},
        {L"123456789012345678901234567890b", L"123456789012345678901234567890a", 1},
        {L"123456789012345678901234567891", L"123456789012345678901234567890", 1},
        {L"report 7.txt", L"Report 07.txt", 1},
        {L"a", L"a0", -1},
        {L"IMG_0010.jpg", L"img_9.JPG", 1},
        {L"\xFF11\xFF10", L"\xFF19", 1},  // full-width digits are digits
        {L"a\x4E2D"
         L"2",
         L"a\x4E2D"
         L"10",
         -1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(NumericStrCmp(r.a, r.b, false), r.expected) << Show(r.a) << " " << Show(r.b);
        EXPECT_EQ(NumericStrCmp(r.b, r.a, false), -r.expected) << Show(r.b) << " " << Show(r.a);
    }
}

// Where no two digits meet at the same position, the natural order is the collation of the
// whole strings; the shortcuts taken before calling the collation must agree with it.
TEST(NaturalOrder, AgreesWithCollationWithoutNumbers) {
    const wchar_t letters[] =
        L"aAbBcCxXyYzZ  -_.'()!~\x00E4\x00C4\x00E9\x4E2D\x6587\x00DF\x0301"
        L"#$%&*+,/:;<=>?@[\\]^`{|}\"\x4F1A\x5199\x4E00\x9FA5\x3400\x3007\xAC00\x0E40";
    const wchar_t digits[] = L"0123456789";
    uint32_t x = 99;
    auto next = [&x](uint32_t bound) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x % bound;
    };
    auto make = [&](bool withDigits) {
        std::wstring s;
        const uint32_t len = next(7);
        for (uint32_t i = 0; i < len; ++i) {
            s += (withDigits && next(3) == 0) ? digits[next(10)]
                                              : letters[next(std::size(letters) - 1)];
        }
        return s;
    };
    const LCID lcid = ::GetUserDefaultLCID();
    std::printf("user locale 0x%04lx\n", static_cast<unsigned long>(lcid));
    for (int i = 0; i < 4000; ++i) {
        // Digits on one side only, or shared prefixes that end in a difference.
        std::wstring a = make(i % 2 == 0 && i % 3 != 0);
        std::wstring b = (i % 3 == 0)
                             ? a.substr(0, next(static_cast<uint32_t>(a.size()) + 1)) + make(false)
                             : make(false);
        const bool wordSort = i % 5 == 0;
        const int expected = FileSystemCompareString(a.c_str(), -1, b.c_str(), -1, true, wordSort);
        ASSERT_EQ(NumericStrCmp(a.c_str(), b.c_str(), wordSort), expected)
            << Show(a.c_str()) << " / " << Show(b.c_str()) << " word sort " << wordSort;
    }
}

// The order of single units that the shortcuts learn from the collation must hold wherever the
// pair is the first difference: before and after equal text, with text following on either side,
// against ASCII and CJK ideographs, in both sort modes.
TEST(NaturalOrder, FirstDifferenceAgreesWithCollation) {
    std::wstring units;
    for (wchar_t c = 0x20; c < 0x7F; ++c) {
        if (c < L'0' || c > L'9') units += c;
    }
    units += L"\x4E00\x4E2D\x4F1A\x5199\x6587\x9FA5\x3400\x00E9\x00DF";
    const wchar_t* contexts[][3] = {
        {L"", L"", L""}, {L"x", L"", L"z"}, {L"ab-", L"b", L""}, {L"\x6587", L"a", L"\x4E00"}};
    for (const bool wordSort : {false, true}) {
        for (const auto& c : contexts) {
            for (const wchar_t x : units) {
                for (const wchar_t y : units) {
                    const std::wstring a = std::wstring(c[0]) + x + c[1];
                    const std::wstring b = std::wstring(c[0]) + y + c[2];
                    const int expected =
                        FileSystemCompareString(a.c_str(), -1, b.c_str(), -1, true, wordSort);
                    ASSERT_EQ(NumericStrCmp(a.c_str(), b.c_str(), wordSort), expected)
                        << Show(a.c_str()) << " / " << Show(b.c_str()) << " word sort " << wordSort;
                }
            }
        }
    }
}

// Realistic names: mixed case, versions, leading zeros, long digit runs, CJK, punctuation.
std::vector<std::wstring> GeneratedNames(size_t count, uint32_t seed) {
    const wchar_t* stems[] = {
        L"IMG_", L"img_",  L"Report ", L"report", L"v", L"track",      L"\x4E2D\x6587", L"a",
        L"A-",   L"file.", L"",        L"x y",    L"Z", L"\x00C4pfel", L"10",           L"0"};
    const wchar_t* tails[] = {L"", L".txt", L".TXT", L"b", L" (2)", L".tar.gz", L"a1", L"-", L"0"};
    std::vector<std::wstring> out;
    uint32_t x = seed;
    auto next = [&x](uint32_t bound) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x % bound;
    };
    while (out.size() < count) {
        std::wstring s = stems[next(std::size(stems))];
        const int parts = 1 + next(3);
        for (int p = 0; p < parts; ++p) {
            switch (next(5)) {
                case 0:
                    s += std::to_wstring(next(20));
                    break;
                case 1:
                    s += std::wstring(next(3), L'0') + std::to_wstring(next(1000));
                    break;
                case 2:
                    s += L"12345678901234567890" + std::to_wstring(next(100));
                    break;
                case 3:
                    s += L".";
                    s += std::to_wstring(next(12));
                    break;
                default:
                    s += stems[next(std::size(stems))];
                    break;
            }
        }
        s += tails[next(std::size(tails))];
        out.push_back(s);
    }
    return out;
}

TEST(NaturalOrder, TotalOrderOnGeneratedNames) {
    std::vector<std::wstring> names = GeneratedNames(300, 12345);
    names.push_back(L"");
    names.push_back(L"00");
    names.push_back(L"0");
    const size_t count = names.size();
    std::vector<int> r(count * count);
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = 0; j < count; ++j) {
            r[i * count + j] = NumericStrCmp(names[i].c_str(), names[j].c_str(), false);
        }
    }
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(r[i * count + i], 0) << Show(names[i].c_str());
        for (size_t j = 0; j < count; ++j) {
            ASSERT_NE(r[i * count + j], -2);
            ASSERT_EQ(r[i * count + j], -r[j * count + i])
                << Show(names[i].c_str()) << " / " << Show(names[j].c_str());
        }
    }
    // Transitivity: i <= j and j <= k imply i <= k, for every triple.
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = 0; j < count; ++j) {
            if (r[i * count + j] > 0) continue;
            for (size_t k = 0; k < count; ++k) {
                if (r[j * count + k] > 0) continue;
                ASSERT_LE(r[i * count + k], 0)
                    << Show(names[i].c_str()) << " <= " << Show(names[j].c_str())
                    << " <= " << Show(names[k].c_str());
            }
        }
    }
}

// The generator of the differential test below.
struct XorShift {
    uint32_t x;
    uint32_t Next() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    uint32_t Below(uint32_t bound) { return Next() % bound; }
};

// The natural order written out without any shortcut: the pending text between numbers always
// goes to the collation, every digit is asked of the runtime, nothing is skipped. NumericStrCmp
// must give the same answer on every pair; its shortcuts (the common run skipped unclassified,
// a number cut by that run compared from its first digit, known weights of ASCII units deciding
// a first difference or the end of one text) are only allowed to save time.
int ReferenceNaturalOrder(const std::wstring& a, const std::wstring& b, bool wordSort) {
    auto digit = [](const std::wstring& s, size_t i) {
        return i < s.size() && std::iswdigit(s[i]);
    };
    auto collate = [wordSort](const std::wstring& x, size_t from, size_t to, const std::wstring& y,
                              size_t yFrom, size_t yTo) {
        return FileSystemCompareString(x.c_str() + from, static_cast<int>(to - from),
                                       y.c_str() + yFrom, static_cast<int>(yTo - yFrom), true,
                                       wordSort);
    };
    size_t pa = 0, pb = 0, ma = 0, mb = 0;
    while (pa < a.size() && pb < b.size()) {
        if (!digit(a, pa) || !digit(b, pb)) {
            ++pa;
            ++pb;
            continue;
        }
        if (const int r = collate(a, ma, pa, b, mb, pb)) return r;
        size_t za = pa, zb = pb;
        while (za < a.size() && a[za] == L'0') ++za;
        while (zb < b.size() && b[zb] == L'0') ++zb;
        size_t ea = za, eb = zb;
        while (digit(a, ea)) ++ea;
        while (digit(b, eb)) ++eb;
        // Only zeros on one side: the other number is the larger.
        if ((ea == za) != (eb == zb)) return ea == za ? -1 : 1;
        if (ea - za != eb - zb) return ea - za < eb - zb ? -1 : 1;
        if (const int r = a.compare(za, ea - za, b, zb, eb - zb)) return r < 0 ? -1 : 1;
        if (za - pa != zb - pb) return za - pa < zb - pb ? 1 : -1;
        pa = ma = ea;
        pb = mb = eb;
    }
    return collate(a, ma, a.size(), b, mb, b.size());
}

// Names of real folders, and names made of every kind of unit the order treats apart.
std::vector<std::wstring> DifferentialNames(uint32_t seed) {
    std::vector<std::wstring> names = GeneratedNames(400, seed);
    const wchar_t* real[] = {L"IMG_0042.JPG",
                             L"IMG_0042.jpg",
                             L"img_0420.JPG",
                             L"DSC01234.jpg",
                             L"DSC1234.JPG",
                             L"scan 001.tif",
                             L"scan 01.TIF",
                             L"scan 1.tif",
                             L"Report 2023 9709 (1).txt",
                             L"Report 2023 9709.txt",
                             L"report 2023 970 (1).txt",
                             L"track 6471 v2.JPG",
                             L"track 6471 v10.jpg",
                             L"invoice_0042_final.pdf",
                             L"invoice_042_draft.PDF",
                             L"New Folder (2)",
                             L"New Folder",
                             L"New folder (10)",
                             L"Screenshot 2024-03-05 at 09.15.02.png"};
    names.insert(names.end(), std::begin(real), std::end(real));
    const wchar_t units[] =
        L"aZ _-.()'!~,0123456789\x00E4\x00C4\x00E9\x00DF\x4E2D\x6587\xFF11"
        L"\xFF10\x0661\x0301\xAC00";
    XorShift rng{seed};
    auto next = [&rng](uint32_t bound) { return rng.Below(bound); };
    for (int i = 0; i < 300; ++i) {
        std::wstring s;
        const uint32_t len = next(10);
        for (uint32_t j = 0; j < len; ++j) {
            switch (next(6)) {
                case 0:  // a long digit run, zeros first
                    s += std::wstring(next(4), L'0') + L"98765432109876543210" +
                         std::to_wstring(next(1000));
                    break;
                case 1:
                    s += std::wstring(next(3), L'0');
                    break;
                default:
                    s += units[next(std::size(units) - 1)];
                    break;
            }
        }
        names.push_back(s);
    }
    return names;
}

// The other name of a pair: the same name edited at one place, so that long common runs end in
// every kind of difference (a digit more or less, another case, another unit, a cut).
std::wstring Edited(const std::wstring& name, uint32_t r) {
    std::wstring s = name;
    const size_t at = s.empty() ? 0 : r % (s.size() + 1);
    const wchar_t replacements[] = L"0159a Z._(\x00E4\x4E2D\xFF11";
    switch ((r >> 8) % 6) {
        case 0:
            s.insert(at, 1, L"0123456789"[(r >> 12) % 10]);
            break;
        case 1:
            if (at < s.size()) s.erase(at, 1);
            break;
        case 2:
            if (at < s.size())
                s[at] =
                    FoldUpperAscii(s[at]) == s[at] ? FoldLowerAscii(s[at]) : FoldUpperAscii(s[at]);
            break;
        case 3:
            if (at < s.size()) s[at] = replacements[(r >> 12) % (std::size(replacements) - 1)];
            break;
        case 4:
            s.resize(at);
            break;
        default:
            s.insert(at, L"00");
            break;
    }
    return s;
}

TEST(NaturalOrder, ShortcutsAgreeWithReference) {
    const std::vector<std::wstring> names = DifferentialNames(4711);
    XorShift rng{2024};
    auto next = [&rng]() { return rng.Next(); };
    for (int i = 0; i < 12000; ++i) {
        const std::wstring& a = names[next() % names.size()];
        const std::wstring b = (i % 3 == 0) ? names[next() % names.size()] : Edited(a, next());
        const bool wordSort = i % 4 == 0;
        ASSERT_EQ(NumericStrCmp(a.c_str(), b.c_str(), wordSort),
                  ReferenceNaturalOrder(a, b, wordSort))
            << Show(a.c_str()) << " / " << Show(b.c_str()) << " word sort " << wordSort;
        ASSERT_EQ(NumericStrCmp(b.c_str(), a.c_str(), wordSort),
                  ReferenceNaturalOrder(b, a, wordSort))
            << Show(b.c_str()) << " / " << Show(a.c_str()) << " word sort " << wordSort;
    }
}

}  // namespace
}  // namespace kwill
