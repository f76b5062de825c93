// The number formatting exports through the real DLL, in whatever locale the run gives the
// process: ctest runs this program once more under LC_ALL de_DE, fr_FR and hi_IN, where the
// separators and the grouping differ from English.
#include "strings/number_format.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

namespace kwill {
namespace {

using test::Named;
using test::Ordinal;

using GetNumberString = int (*)(int64_t, wchar_t*, int);
using DivideToStringFn = int (*)(uint64_t, uint32_t, int, BOOL, wchar_t*, int);
using BytesToStringFn = int (*)(uint64_t, wchar_t*, int, uint32_t, const ByteSizeFormat*);
using GetLocalNumberFormat = void (*)(NUMBERFMTW*);

TEST(NumberExports, NamesAndOrdinals) {
    struct Row {
        const char* name;
        WORD ordinal;
    } rows[] = {
        {"GetDecimalSeparatorW", 106},   {"GetDecimalCharW", 151},  {"GetThousandCharW", 164},
        {"GetNumberStringW", 1400},      {"DivideToStringW", 1401}, {"BytesToStringW", 1402},
        {"GetLocalNumberFormatW", 1403}, {"L64ToStringA", 1404},    {"L64ToStringW", 1405},
        {"L64ToHexStringA", 1406},       {"L64ToHexStringW", 1407}, {"AsciiToHexA", 1408},
        {"AsciiToHexW", 1409},           {"AsciiToHex64A", 1410},   {"AsciiToHex64W", 1411},
    };
    for (const Row& r : rows) {
        void* byName = Named<void*>(r.name);
        EXPECT_NE(byName, nullptr) << r.name;
        EXPECT_EQ(byName, Ordinal<void*>(r.ordinal)) << r.name;
    }
}

// GetNumberStringW writes what GetNumberFormatW writes with the library's own format, and the
// separator accessors agree with that format, in the locale of this run.
TEST(NumberExports, FollowTheUserLocale) {
    NUMBERFMTW format{};
    Named<GetLocalNumberFormat>("GetLocalNumberFormatW")(&format);
    ASSERT_NE(format.lpDecimalSep, nullptr);
    ASSERT_NE(format.lpThousandSep, nullptr);
    EXPECT_EQ(format.NumDigits, 0u);
    const char* lcAll = std::getenv("LC_ALL");
    const std::string locale = lcAll ? lcAll : "";
    if (locale.rfind("hi_IN", 0) == 0) {
        EXPECT_EQ(format.Grouping, 32u);
    }
    if (locale.rfind("de_DE", 0) == 0 || locale.rfind("fr_FR", 0) == 0) {
        EXPECT_EQ(std::wstring(format.lpDecimalSep), L",");
    }

    auto separator = Ordinal<const wchar_t* (*)()>(106);
    auto decimalChar = Ordinal<wchar_t (*)()>(151);
    auto thousandChar = Ordinal<wchar_t (*)()>(164);
    EXPECT_EQ(std::wstring(separator()), std::wstring(format.lpDecimalSep));
    EXPECT_EQ(decimalChar(), format.lpDecimalSep[0]);
    EXPECT_EQ(thousandChar(), format.lpThousandSep[0]);

    auto getNumber = Named<GetNumberString>("GetNumberStringW");
    std::mt19937_64 rng(7);
    for (int i = 0; i < 2000; ++i) {
        const int64_t v = static_cast<int64_t>(rng()) >> (rng() % 64);
        if (v == 0) continue;  // the library writes "0" where Wine writes nothing
        const std::wstring text = std::to_wstring(v);
        wchar_t want[64] = {}, got[64] = {};
        const int w = ::GetNumberFormatW(LOCALE_USER_DEFAULT, 0, text.c_str(), &format, want, 64);
        ASSERT_EQ(getNumber(v, got, 64), w) << v;
        ASSERT_EQ(std::wstring(got), std::wstring(want)) << v;
    }

    // A quotient's fraction follows the library separator.
    wchar_t out[32];
    Named<DivideToStringFn>("DivideToStringW")(1536, 1024, -1, FALSE, out, 32);
    EXPECT_EQ(std::wstring(out), std::wstring(L"1") + format.lpDecimalSep + L"50");
}

TEST(NumberExports, BadBuffersGetNothing) {
    auto getNumber = Named<GetNumberString>("GetNumberStringW");
    auto divide = Named<DivideToStringFn>("DivideToStringW");
    auto bytes = Named<BytesToStringFn>("BytesToStringW");
    wchar_t out[4] = {L'#', L'#', L'#', L'#'};
    EXPECT_EQ(divide(5, 1, 0, FALSE, nullptr, 10), 0);
    EXPECT_EQ(divide(5, 1, 0, FALSE, out, 0), 0);
    EXPECT_EQ(bytes(5, nullptr, 10, 0, nullptr), 0);
    EXPECT_EQ(bytes(5, out, 0, 0, nullptr), 0);
    EXPECT_EQ(out[0], L'#');
    ::SetLastError(0);
    EXPECT_EQ(getNumber(12345, out, 4), 0);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(getNumber(-5, nullptr, 0), getNumber(-5, out, 4));  // the size query
    EXPECT_EQ(divide(1, 3, 2, FALSE, out, 1), 0);
    EXPECT_EQ(out[0], 0);

    // The default format's KB unit without a loaded language is an empty text.
    ByteSizeFormat f = DefaultByteSizeFormat();
    f.kbText = L" KB";
    wchar_t size[32];
    EXPECT_GT(bytes(1025, size, 32, 0x21, &f), 0);
    EXPECT_NE(std::wstring(size).find(L" KB"), std::wstring::npos);
}

TEST(NumberExports, Converters) {
    char a[21];
    wchar_t w[21];
    EXPECT_EQ(Named<int (*)(uint64_t, wchar_t*)>("L64ToStringW")(UINT64_MAX, w), 20);
    EXPECT_EQ(std::wstring(w), L"18446744073709551615");
    EXPECT_EQ(Named<int (*)(uint64_t, char*)>("L64ToStringA")(0, a), 1);
    EXPECT_STREQ(a, "0");
    EXPECT_EQ(Named<int (*)(uint64_t, char*)>("L64ToHexStringA")(0, a), 1);
    EXPECT_STREQ(a, "0");
    EXPECT_EQ(Named<int (*)(uint64_t, wchar_t*)>("L64ToHexStringW")(0xABC, w), 3);
    EXPECT_EQ(std::wstring(w), L"abc");
    EXPECT_EQ(Named<uint32_t (*)(const wchar_t*)>("AsciiToHexW")(L"1fZ"), 0x1Fu);
    EXPECT_EQ(Named<uint32_t (*)(const char*)>("AsciiToHexA")("123456789"), 0x12345678u);
    EXPECT_EQ(Named<uint64_t (*)(const char*)>("AsciiToHex64A")(" 1"), 0u);
    EXPECT_EQ(Named<uint64_t (*)(const wchar_t*)>("AsciiToHex64W")(nullptr), 0u);
}

}  // namespace
}  // namespace kwill
