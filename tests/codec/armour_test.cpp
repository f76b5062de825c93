// Armoured text blocks through the exports: the written layout, reading it back, and every way
// a block can be damaged.
#include "codec/armour.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using EncodeAFn = int (*)(const BYTE*, int, char**, const char*);
using EncodeWFn = int (*)(const BYTE*, int, wchar_t**, const wchar_t*);
using DecodeAFn = int (*)(const char*, int, BYTE**, int*, const char*);

struct Armour {
    EncodeAFn encodeA = test::Ordinal<EncodeAFn>(21);
    EncodeWFn encodeW = test::Ordinal<EncodeWFn>(18);
    DecodeAFn decodeA = test::Ordinal<DecodeAFn>(22);

    std::string Encode(const std::vector<uint8_t>& data, const char* label) const {
        char* text = nullptr;
        EXPECT_EQ(encodeA(data.data(), static_cast<int>(data.size()), &text, label), 1);
        std::string s = text ? text : "";
        ::LocalFree(text);
        return s;
    }
    // The data, or "<fail>" when the block is rejected.
    std::string Decode(const std::string& text, const char* label) const {
        BYTE* out = reinterpret_cast<BYTE*>(1);
        int length = -1;
        int ok = decodeA(text.data(), static_cast<int>(text.size()), &out, &length, label);
        if (!ok) {
            EXPECT_EQ(out, nullptr);
            return "<fail>";
        }
        std::string s(reinterpret_cast<char*>(out), static_cast<size_t>(length));
        ::LocalFree(out);
        return s;
    }
};

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(Armour, Layout) {
    Armour a;
    ASSERT_TRUE(a.encodeA && a.encodeW && a.decodeA);
    std::string data(46, 'x');
    std::string text = a.Encode(Bytes(data), "X");
    EXPECT_EQ(text,
              "-----BEGIN X-----\r\n"
              "DeHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4\r\n"
              "DeA==\r\n"
              "cnOiFIUCapubsu8qu5m83OA==\r\n"
              "-----END X-----\r\n");
    EXPECT_EQ(a.Decode(text, "X"), data);

    wchar_t* wide = nullptr;
    ASSERT_EQ(a.encodeW(reinterpret_cast<const BYTE*>(data.data()), 46, &wide, L"X"), 1);
    EXPECT_EQ(std::wstring(wide), std::wstring(text.begin(), text.end()));
    ::LocalFree(wide);
}

TEST(Armour, RoundTripsAtLineBoundaries) {
    Armour a;
    std::mt19937 rng(4);
    // 0 bytes and whole multiples of 45 have no short line; the check line ends their data.
    for (size_t n : {0, 1, 44, 45, 46, 89, 90, 91, 1000, 4500}) {
        std::vector<uint8_t> data(n);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        std::string text = a.Encode(data, "KWILL DATA");
        EXPECT_EQ(a.Decode(text, "KWILL DATA"), std::string(data.begin(), data.end())) << n;
        EXPECT_EQ(a.Decode("junk before\r\n" + text + "junk after", nullptr),
                  std::string(data.begin(), data.end()))
            << n;
    }
}

TEST(Armour, DamagedBlocks) {
    Armour a;
    const std::string data = "The quick brown fox jumps over the lazy dog, twice over: once more.";
    const std::string good = a.Encode(Bytes(data), "LBL");
    auto replace = [&](std::string s, const std::string& from, const std::string& to) {
        size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    std::string firstData = good.substr(good.find("\nD") + 2, 60);
    std::string changedData = firstData;
    changedData[0] = changedData[0] == 'A' ? 'B' : 'A';
    struct Row {
        const char* what;
        std::string text;
        const char* label;
        bool ok;
    };
    const Row rows[] = {
        {"intact", good, "LBL", true},
        {"label prefix matches", good, "LB", true},
        {"any label", good, nullptr, true},
        {"other label", good, "OTHER", false},
        {"data character changed", replace(good, firstData, changedData), "LBL", false},
        {"check line missing", replace(good, good.substr(good.find("\nc") + 1, 27), ""), "LBL",
         false},
        {"no header", replace(good, "-----BEGIN LBL-----", "-----BEGUN LBL-----"), "LBL", false},
        {"truncated after the first line", good.substr(0, good.find("\nD") + 40), "LBL", false},
        {"LF line ends and indentation",
         [&] {
             std::string s;
             for (char ch : good)
                 if (ch != '\r') s += ch == '\n' ? std::string("\n  \t") : std::string(1, ch);
             return s;
         }(),
         "LBL", true},
        {"empty", "", "LBL", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(a.Decode(r.text, r.label), r.ok ? data : "<fail>") << r.what;
    }
    // Null arguments.
    BYTE* out = nullptr;
    int length = 0;
    EXPECT_EQ(a.decodeA(nullptr, 10, &out, &length, nullptr), 0);
    EXPECT_EQ(a.decodeA(good.c_str(), static_cast<int>(good.size()), nullptr, &length, nullptr), 0);
    char* text = nullptr;
    EXPECT_EQ(a.encodeA(nullptr, 5, &text, "X"), 0);
    EXPECT_EQ(a.encodeA(reinterpret_cast<const BYTE*>("x"), 1, nullptr, "X"), 0);
}

TEST(Armour, LongLabelIsWrittenWhole) {
    Armour a;
    std::string label(3000, 'L');
    std::string text = a.Encode(Bytes("abc"), label.c_str());
    EXPECT_NE(text.find("-----END " + label + "-----\r\n"), std::string::npos);
    EXPECT_EQ(a.Decode(text, label.c_str()), "abc");
}

}  // namespace
}  // namespace kwill
