// The comparison and path exports through the real DLL: the C signatures reach the cores with
// the right argument widths, and the flag words take any non-zero value as set.
#include "frame/pinyin_table.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace kwill {
namespace {

using test::Named;

using CompareN = int (*)(const wchar_t*, const wchar_t*, int);
using ComparePY = int (*)(const wchar_t*, const wchar_t*, int, const PinyinInitialsTable*);
using Search = const wchar_t* (*)(const wchar_t*, const wchar_t*);

TEST(StringExports, Comparisons) {
    struct Row {
        const char* name;
        const wchar_t* a;
        const wchar_t* b;
        int n;
        int expected;
    } rows[] = {
        {"strcmpnW", L"abc", L"abd", 2, 0},
        {"stricmpnW", L"Readme.txt", L"README", -99, 0},
        {"stricmpnW", L"Readme.txt", L"README", -1, '.'},
        {"stricmpnWF", L"\x00C4", L"\x00E4", -1, 0},
        {"strcmpnPSW", L"a/b", L"a\\b", -1, 0},
        {"stricmpnPSW", L"A/b", L"a\\B", -1, 0},
        {"strcmpnPIESW", L"X:\\dir\\", L"x:\\dir", -1, -1},
        {"stricmpnPIESW", L"X:\\dir\\", L"x:\\dir", -1, 0},
        {"strcmpnHSW", L"a b", L"a|", -1, -1},
        {"stricmpnHSW", L"A B", L"ab", -1, 0x7B - 0x61},
    };
    for (const Row& r : rows) {
        CompareN fn = Named<CompareN>(r.name);
        ASSERT_NE(fn, nullptr) << r.name;
        EXPECT_EQ(fn(r.a, r.b, r.n), r.expected) << r.name;
        EXPECT_EQ(fn(nullptr, r.b, r.n), -1) << r.name;
    }
    auto strcmpnA = Named<int (*)(const char*, const char*, int)>("strcmpnA");
    EXPECT_LT(strcmpnA("\x80", "a", -1), 0);
    auto stricmpnA = Named<int (*)(const char*, const char*, int)>("stricmpnA");
    EXPECT_EQ(stricmpnA("ABC", "abc", -1), 0);
    auto safe = Named<int (*)(const wchar_t*, const wchar_t*)>("safestrcmpiW");
    EXPECT_EQ(safe(L"ABC", L"abc"), 0);
    EXPECT_EQ(safe(L"x", nullptr), 1);
}

TEST(StringExports, PinyinAndSearches) {
    const uint16_t entries[] = {26 | (3 << 5)};  // U+4E00: 'z' and 'c'
    const PinyinInitialsTable table = {entries, 1};
    for (const char* name : {"strcmpnWPY", "stricmpnWPY", "stricmpnWFPY"}) {
        ComparePY fn = Named<ComparePY>(name);
        EXPECT_EQ(fn(L"\x4E00x", L"cx", -1, &table), 0) << name;
        EXPECT_NE(fn(L"\x4E00x", L"cx", -1, nullptr), 0) << name;  // a null table is empty
    }
    const wchar_t* text =
        L"ab\x4E00"
        L"Cd";
    EXPECT_EQ(Named<Search>("strstriW")(text, L"CD"), text + 3);
    EXPECT_EQ(Named<Search>("strstriWW")(text, L"B\x4E00"), text + 1);
    EXPECT_EQ(Named<Search>("strstriW")(text, L""), nullptr);
    using SearchPY = const wchar_t* (*)(const wchar_t*, const wchar_t*, const PinyinInitialsTable*);
    EXPECT_EQ(Named<SearchPY>("strstrWPY")(text, L"zC", &table), text + 2);
    EXPECT_EQ(Named<SearchPY>("strstriWWPY")(text, L"zc", &table), text + 2);
    EXPECT_EQ(Named<SearchPY>("strstriWWPY")(text, L"zc", nullptr), nullptr);
    const char* narrow = "xxAbC";
    EXPECT_EQ(Named<const char* (*)(const char*, const char*)>("strstriA")(narrow, "abc"),
              narrow + 2);
}

TEST(StringExports, LocaleAndNatural) {
    auto fscs = Named<int (*)(const wchar_t*, int, const wchar_t*, int, DWORD, DWORD)>(
        "FileSystemCompareString");
    EXPECT_EQ(fscs(L"abc", -1, L"ABC", -1, 0x100, 0), 0);  // any non-zero value ignores case
    EXPECT_EQ(fscs(L"abcX", 3, L"abcY", 3, 0, 0), 0);
    auto compare = Named<int (*)(const wchar_t*, const wchar_t*, DWORD, int)>("StringCompareW");
    EXPECT_EQ(compare(L"Readme.txt", L"README", 1, -99), 0);
    EXPECT_EQ(compare(L"abc", L"ABC", 3, -1), 0);
    auto natural = Named<int (*)(const wchar_t*, const wchar_t*, DWORD)>("NumericStrCmp");
    EXPECT_EQ(natural(L"file9", L"file10", 0), -1);
    EXPECT_EQ(natural(L"a01c", L"a1b", 0x80000000u), -1);
    EXPECT_EQ(natural(nullptr, nullptr, 0), 0);
}

TEST(PathExports, Table) {
    auto isFtpA = Named<BOOL (*)(const char*)>("IsFTPPathA");
    auto isFtpW = Named<BOOL (*)(const wchar_t*)>("IsFTPPathW");
    auto isLib = Named<BOOL (*)(const wchar_t*)>("IsLibraryPathW");
    EXPECT_TRUE(isFtpA("FTP://x"));
    EXPECT_FALSE(isFtpA(nullptr));
    EXPECT_TRUE(isFtpW(L"ftp://"));
    EXPECT_FALSE(isFtpW(L"ftp:/"));
    EXPECT_TRUE(isLib(L"Lib://Docs"));
    EXPECT_FALSE(isLib(L"lib:/Docs"));

    auto cmp = Named<int (*)(const wchar_t*, const wchar_t*, DWORD)>("PathStrCmpW");
    auto same = Named<BOOL (*)(const wchar_t*, const wchar_t*, DWORD)>("ComparePathStringW");
    EXPECT_EQ(cmp(L"X:/dir/sub", L"X:/dir", 1), 0);
    EXPECT_EQ(same(L"X:/dir/", L"X:/DIR", 0), 1);
    EXPECT_EQ(same(L"X:/dir/", L"X:/DIR", 2), 0);

    auto extract = Named<const wchar_t* (*)(const wchar_t*, wchar_t*, wchar_t*, wchar_t*)>(
        "ExtractFTPSiteAndPathW");
    wchar_t host[260], user[260], site[260];
    EXPECT_STREQ(extract(L"ftp://u:p@h:21/d/f", host, user, site), L"d/f");
    EXPECT_STREQ(host, L"h");
    EXPECT_STREQ(user, L"u");

    const wchar_t* path = L"X:/dir/file.txt";
    EXPECT_EQ(Named<const wchar_t* (*)(const wchar_t*)>("FindFilePartW")(path), path + 7);
    EXPECT_EQ(Named<const wchar_t* (*)(const wchar_t*)>("FindFileExtensionW")(path), path + 11);
    const char* narrow = "X:/dir/";
    EXPECT_EQ(Named<const char* (*)(const char*)>("FindFilePartA")(narrow), narrow + 3);
    EXPECT_EQ(Named<BOOL (*)(const wchar_t*, int)>("IsStringUnicode")(L"abcd\x0100", 4), 0);
    EXPECT_EQ(Named<BOOL (*)(const wchar_t*, int)>("IsStringNonASCII")(L"\x00E9", -1), 1);

    auto append = Named<BOOL (*)(wchar_t*, int, const wchar_t*)>("SafePathAppend");
    wchar_t buffer[6] = L"abc";
    EXPECT_FALSE(append(buffer, 5, L"d"));
    EXPECT_STREQ(buffer, L"abc");
    EXPECT_TRUE(append(buffer, 6, L"d"));
    EXPECT_STREQ(buffer, L"abc\\d");

    auto shortW =
        Named<DWORD (*)(const wchar_t*, wchar_t*, DWORD)>("GetMultibytePathFromUnicodeNameW");
    auto shortA =
        Named<DWORD (*)(const wchar_t*, char*, DWORD)>("GetMultibytePathFromUnicodeNameA");
    wchar_t wide[16];
    char bytes[16];
    EXPECT_EQ(shortW(L"C:\\abc", wide, 16), 6u);
    EXPECT_STREQ(wide, L"C:\\abc");
    EXPECT_EQ(shortA(L"C:\\abc", bytes, 16), 6u);
    EXPECT_STREQ(bytes, "C:\\abc");
    EXPECT_EQ(shortA(L"C:\\abc", bytes, 6), 7u);
    EXPECT_EQ(shortA(L"C:\\abc", bytes, 0), 7u);
    std::string large(5000, '#');  // a work buffer from the heap rather than the stack
    const std::wstring longPath = L"C:\\" + std::wstring(3000, L'x');
    EXPECT_EQ(shortA(longPath.c_str(), large.data(), 5000), 3003u);
    EXPECT_EQ(std::string(large.c_str()), "C:\\" + std::string(3000, 'x'));
    ::SetLastError(0xdeadbeef);
    EXPECT_EQ(shortA(nullptr, bytes, 16), 0u);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace kwill
