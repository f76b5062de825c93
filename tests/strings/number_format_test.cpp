// Number formatting cores: grouping against GetNumberFormatW, quotients against an exact 128-bit
// reference, byte sizes by table, and the decimal and hexadecimal converters.
#include "strings/number_format.h"

#include "frame/platform.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>

namespace kwill {
namespace {

std::wstring NegativeSign() {
    wchar_t sign[8] = L"-";
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SNEGATIVESIGN, sign, 8);
    return sign;
}

NumberStyle Style(UINT grouping, const wchar_t* thousand, const wchar_t* decimal, UINT order) {
    static const std::wstring sign = NegativeSign();
    NumberStyle s{};
    s.format.Grouping = grouping;
    s.format.lpThousandSep = const_cast<wchar_t*>(thousand);
    s.format.lpDecimalSep = const_cast<wchar_t*>(decimal);
    s.format.NegativeOrder = order;
    s.negativeSign = sign.c_str();
    return s;
}

const NumberStyle kEnglish = Style(3, L",", L".", 1);

std::string Narrow(const std::wstring& w) {
    return test::Printable(w);
}

// The system and the library agree on every integer text for the explicit formats a caller can
// build: each negative order, no grouping, threes and three-then-twos, one- and multi-unit
// separators. Values span every digit count and the 64-bit extremes.
TEST(NumberFormat, GroupingMatchesGetNumberFormat) {
    const wchar_t* separators[] = {L",", L".", L"\x00A0", L"\x2019", L"", L"--"};
    std::mt19937_64 rng(15);
    std::vector<int64_t> values = {0,     1,      -1,       999,       1000,      -1000,
                                   99999, 100000, 12345678, INT64_MAX, INT64_MIN, INT64_MIN + 1};
    for (int digits = 1; digits <= 19; ++digits) {
        int64_t v = static_cast<int64_t>(rng() % 9 + 1);
        for (int i = 1; i < digits; ++i) v = v * 10 + static_cast<int64_t>(rng() % 10);
        values.push_back(v);
        values.push_back(-v);
    }
    for (UINT grouping : {0u, 3u, 32u}) {
        for (const wchar_t* sep : separators) {
            for (UINT order = 0; order <= 4; ++order) {
                NumberStyle style = Style(grouping, sep, L".", order);
                for (int64_t v : values) {
                    if (v == 0) continue;  // below
                    const std::wstring text = std::to_wstring(v);
                    wchar_t want[128], got[128];
                    const int w = ::GetNumberFormatW(LOCALE_USER_DEFAULT, 0, text.c_str(),
                                                     &style.format, want, 128);
                    const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : v;
                    const int g = FormatWholeNumber(mag, v < 0, style, got, 128);
                    ASSERT_EQ(g, w) << v << " grouping " << grouping << " order " << order;
                    ASSERT_EQ(Narrow(got), Narrow(want))
                        << v << " grouping " << grouping << " order " << order;
                    // The size query and the short buffer behave as the system's.
                    EXPECT_EQ(FormatWholeNumber(mag, v < 0, style, nullptr, 0), w);
                    ::SetLastError(0);
                    EXPECT_EQ(FormatWholeNumber(mag, v < 0, style, got, w - 1), 0);
                    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
                }
            }
        }
    }
}

// Wine's GetNumberFormatW drops the only digit of "0" when LeadingZero is 0 and writes an empty
// text; the library writes "0", which its quotients ("0.98") and byte sizes need.
TEST(NumberFormat, ZeroIsWritten) {
    wchar_t out[8];
    for (UINT grouping : {0u, 3u, 32u}) {
        EXPECT_EQ(FormatWholeNumber(0, false, Style(grouping, L",", L".", 1), out, 8), 2);
        EXPECT_EQ(std::wstring(out), L"0");
    }
}

// Independent reference: value / divisor rounded half up at d decimals, from one exact product.
std::wstring ReferenceQuotient(uint64_t value, uint64_t divisor, int decimals, bool keepZero) {
    auto autoDecimals = [](unsigned __int128 q) { return q < 10 ? 2 : q < 100 ? 1 : 0; };
    int d = decimals < 0 ? autoDecimals(value / divisor) : (decimals > 9 ? 9 : decimals);
    unsigned __int128 scale = 1;
    for (int i = 0; i < d; ++i) scale *= 10;
    const unsigned __int128 wide = value;
    const unsigned __int128 n =
        (2 * wide * scale + divisor) / (2 * static_cast<unsigned __int128>(divisor));
    unsigned __int128 q = n / scale, f = n % scale;
    if (decimals < 0 && autoDecimals(q) < d) d = autoDecimals(q);  // carried into 10 or 100
    std::string digits = std::to_string(static_cast<uint64_t>(q));
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    if (d > 0 && (keepZero || f != 0)) {
        std::string frac = std::to_string(static_cast<uint64_t>(f));
        grouped += '.' + std::string(static_cast<size_t>(d) - frac.size(), '0') + frac;
    }
    return std::wstring(grouped.begin(), grouped.end());
}

TEST(NumberFormat, DivideExamples) {
    struct Row {
        uint64_t value;
        uint32_t divisor;
        int decimals;
        bool keep;
        const wchar_t* expected;
    } rows[] = {
        {1536, 1024, -1, false, L"1.50"},
        {1024, 1024, 2, false, L"1"},
        {1024, 1024, 2, true, L"1.00"},
        {1023, 1024, 0, false, L"1"},
        {1023, 1024, -1, false, L"1"},
        {1023, 1024, -1, true, L"1.00"},
        {9999, 1000, -1, true, L"10.0"},
        {9999, 1000, -1, false, L"10"},
        {99960, 1000, -1, false, L"100"},
        {1234567, 1, -1, false, L"1,234,567"},
        {7, 0, 2, true, L"0"},
        // Rounding is half up: an odd divisor's remainder below one half stays down.
        {5, 1, 0, false, L"5"},
        {1, 3, 0, false, L"0"},
        {2, 3, 0, false, L"1"},
        {1, 3, 2, false, L"0.33"},
        {2, 3, 2, false, L"0.67"},
        // More than 9 decimals would overflow the fraction; 9 is the most.
        {1, 3, 12, false, L"0.333333333"},
        {UINT64_MAX, 1, -1, false, L"18,446,744,073,709,551,615"},
        {UINT64_MAX, 0xFFFFFFFF, 9, true, L"4,294,967,297.000000000"},
    };
    for (const Row& r : rows) {
        wchar_t out[64];
        const int n = DivideToString(r.value, r.divisor, r.decimals, r.keep, kEnglish, out, 64);
        EXPECT_EQ(Narrow(out), Narrow(r.expected)) << r.value << "/" << r.divisor;
        EXPECT_EQ(n, static_cast<int>(std::wcslen(r.expected)));
    }
}

TEST(NumberFormat, DivideMatchesExactReference) {
    std::mt19937_64 rng(33);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t value = rng() >> (rng() % 64);
        uint32_t divisor = static_cast<uint32_t>(rng() >> (32 + rng() % 32));
        if (i % 7 == 0) divisor = 1024;
        if (divisor == 0) divisor = 1;
        const int decimals = static_cast<int>(rng() % 12) - 1;
        const bool keep = rng() & 1;
        wchar_t out[64];
        DivideToString(value, divisor, decimals, keep, kEnglish, out, 64);
        ASSERT_EQ(Narrow(out), Narrow(ReferenceQuotient(value, divisor, decimals, keep)))
            << value << "/" << divisor << " decimals " << decimals << " keep " << keep;
    }
}

TEST(NumberFormat, ShortBuffersAreCutAndTerminated) {
    wchar_t out[8];
    std::fill(std::begin(out), std::end(out), L'#');
    EXPECT_EQ(DivideToString(1234567, 1, 0, false, kEnglish, out, 5), 4);
    EXPECT_EQ(std::wstring(out), L"1234");  // too long to group: the digits that fit
    EXPECT_EQ(out[5], L'#');
    EXPECT_EQ(DivideToString(1536, 1024, 2, false, kEnglish, out, 3), 2);
    EXPECT_EQ(std::wstring(out), L"1.");
    out[0] = L'#';
    EXPECT_EQ(DivideToString(1, 1, 0, false, kEnglish, out, 0), 0);
    EXPECT_EQ(out[0], L'#');
    EXPECT_EQ(BytesToString(5, 0, nullptr, kEnglish, nullptr, 10), 0);
    ByteSizeFormat f = DefaultByteSizeFormat();
    f.bytesText = L" bytes";
    EXPECT_EQ(BytesToString(1023, 0, &f, kEnglish, out, 8), 7);
    EXPECT_EQ(std::wstring(out), L"1,023 b");
}

TEST(NumberFormat, ByteSizes) {
    ByteSizeFormat named = DefaultByteSizeFormat();
    named.bytesText = L" bytes";
    named.kbText = L" KB";
    named.mbText = L" MB";
    named.gbText = L" GB";
    named.tbText = L" TB";
    named.pbText = L" PB";
    ByteSizeFormat fixed2 = named;
    fixed2.decimals = 2;
    ByteSizeFormat base1000 = named;
    base1000.unitBase = 1000;
    ByteSizeFormat huge = named;  // a unit base whose cube no longer fits 32 bits
    huge.unitBase = 2000;
    ByteSizeFormat texts = named;
    texts.kbText = L"0123456789012345678901234567890123456789012345678901234567890123";

    struct Row {
        uint64_t value;
        uint32_t flags;
        const ByteSizeFormat* format;
        const wchar_t* expected;
    } rows[] = {
        {0, 0, &named, L"0 bytes"},
        {1023, 0, &named, L"1,023 bytes"},
        {1536, 0, &named, L"1.50 KB"},
        {1023999, 0, &named, L"1,000 KB"},
        {1024000, 0, &named, L"0.98 MB"},
        {1048575, 0, &named, L"1 MB"},
        {5000000000, 0, &named, L"4.66 GB"},
        {0x3E80000000000ull, 0, &named, L"0.98 PB"},
        {0xFA00000000ull, 0, &named, L"0.98 TB"},
        {0, kSizeZeroAsKB, &named, L"0 KB"},
        {1, kSizeKB, &named, L"1 KB"},
        {1, kSizeRoundUpToUnit, &named, L"1 KB"},
        {1024, kSizeRoundUpToUnit, &named, L"1 KB"},
        {1025, kSizeRoundUpToUnit, &named, L"2 KB"},
        // Raising the largest count to a whole unit saturates instead of wrapping to 0.
        {UINT64_MAX, kSizeRoundUpToUnit | kSizePB, &named, L"16,384 PB"},
        {UINT64_MAX, kSizeBytes, &named, L"18,446,744,073,709,551,615 bytes"},
        {5000000000, kSizeMB, &named, L"4,768 MB"},
        {5000000000, kSizeKB, &named, L"4,882,813 KB"},
        {1536, kSizePadDecimals, &fixed2, L"1.50 KB"},
        {1024, kSizePadDecimals, &fixed2, L"1.00 KB"},
        {1024, 0, &fixed2, L"1 KB"},
        {1500, 0, &base1000, L"1.50 KB"},
        // Exact divisors: 2000^3 bytes is one GB of this base.
        {8000000000ull, kSizeGB, &huge, L"1 GB"},
        {12000000000ull, kSizeGB, &huge, L"1.50 GB"},
        {1024, kSizeKB, &texts, L"101234567890123456789012345678901234567890123456789012345678"},
    };
    for (const Row& r : rows) {
        wchar_t out[96];
        const int n = BytesToString(r.value, r.flags, r.format, kEnglish, out, 96);
        EXPECT_EQ(Narrow(out), Narrow(r.expected)) << r.value << " flags " << r.flags;
        EXPECT_EQ(n, static_cast<int>(std::wcslen(out)));
    }
}

TEST(NumberFormat, UnitTextsComeFromTheLanguage) {
    SetUnitTextSource([](unsigned number, wchar_t* out, int outLen) -> int {
        return std::swprintf(out, static_cast<size_t>(outLen), L" <%u>", number);
    });
    struct Row {
        uint64_t value;
        uint32_t flags;
        const wchar_t* expected;
    } rows[] = {
        {12, 0, L"12 <20000>"},        {2048, 0, L"2 <20004>"},       {1 << 20, 0, L"1 <20003>"},
        {1ull << 30, 0, L"1 <20002>"}, {1ull << 40, 0, L"1 <20001>"}, {1ull << 50, 0, L"1 <20038>"},
    };
    for (const Row& r : rows) {
        wchar_t out[64];
        BytesToString(r.value, r.flags, nullptr, kEnglish, out, 64);
        EXPECT_EQ(Narrow(out), Narrow(r.expected)) << r.value;
    }
    SetUnitTextSource(nullptr);
    wchar_t out[64];
    BytesToString(12, 0, nullptr, kEnglish, out, 64);
    EXPECT_EQ(std::wstring(out), L"12");
}

TEST(NumberFormat, DecimalAndHexConverters) {
    struct Row {
        uint64_t value;
        const char* decimal;
        const char* hex;
    } rows[] = {
        {0, "0", "0"},
        {0xABC, "2748", "abc"},
        {UINT64_MAX, "18446744073709551615", "ffffffffffffffff"},
        {1ull << 63, "9223372036854775808", "8000000000000000"},
    };
    for (const Row& r : rows) {
        char a[21];
        wchar_t w[21];
        EXPECT_EQ(U64ToDecimal(r.value, a), static_cast<int>(std::strlen(r.decimal)));
        EXPECT_STREQ(a, r.decimal);
        U64ToDecimal(r.value, w);
        EXPECT_EQ(Narrow(w), r.decimal);
        EXPECT_EQ(U64ToHex(r.value, a), static_cast<int>(std::strlen(r.hex)));
        EXPECT_STREQ(a, r.hex);
        U64ToHex(r.value, w);
        EXPECT_EQ(Narrow(w), r.hex);
    }
    struct HexRow {
        const char* text;
        uint64_t value32;
        uint64_t value64;
    } hex[] = {
        {"1fZ", 0x1F, 0x1F}, {"123456789", 0x12345678, 0x123456789},
        {"0x10", 0, 0},      {" 1", 0, 0},
        {"", 0, 0},          {"aBcDeF0123456789ff", 0xABCDEF01, 0xABCDEF0123456789},
    };
    for (const HexRow& r : hex) {
        EXPECT_EQ(LeadingHex(r.text, 8), r.value32) << r.text;
        EXPECT_EQ(LeadingHex(r.text, 16), r.value64) << r.text;
        const std::wstring w(r.text, r.text + std::strlen(r.text));
        EXPECT_EQ(LeadingHex(w.c_str(), 16), r.value64) << r.text;
    }
    EXPECT_EQ(LeadingHex(static_cast<const char*>(nullptr), 8), 0u);
    EXPECT_EQ(LeadingHex(L"\x0661", 8), 0u);  // only ASCII digits count
}

}  // namespace
}  // namespace kwill
