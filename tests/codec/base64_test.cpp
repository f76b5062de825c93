// Base64: the exported encoders and decoders, the core against Windows' own encoder, and the
// kernels of every processor level against the portable ones.
#include "codec/base64.h"
#include "codec/kernels.h"
#include "tests/common/test_support.h"

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using EncodeStringFn = int (*)(const BYTE*, int, const wchar_t*, wchar_t**, int);
using EncodeFn = int (*)(const BYTE*, int, char*);
using DecodeWFn = int (*)(const wchar_t*, BYTE**, int, int);
using DecodeAFn = int (*)(const char*, BYTE**, int, int);

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

TEST(Base64, EncodeStringExport) {
    auto encode = test::Named<EncodeStringFn>("Base64EncodeString");
    ASSERT_NE(encode, nullptr);
    struct Row {
        const char* data;
        int length;  // negative: unpadded
        const wchar_t* prefix;
        int lineLength;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {"Ma", 2, nullptr, 0, L"TWE="},
        {"Ma", -2, nullptr, 0, L"TWE"},
        {"M", -1, nullptr, 0, L"TQ"},
        {"Man", 3, L"data:", 0, L"data:TWFu"},
        {"foobar", 6, nullptr, 1, L"Zm9vYmFy"},
        // Ten bytes at 8 characters a line: two full lines, both broken.
        {"0123456789", 10, nullptr, 8, L"MDEyMzQ1\r\nNjc4OQ==\r\n"},
        {"0123456789", -10, nullptr, 8, L"MDEyMzQ1\r\nNjc4OQ"},
        // A length that is not a multiple of 4 gives lines of the next multiple.
        {"0123456789ab", 12, nullptr, 5, L"MDEyMzQ1\r\nNjc4OWFi\r\n"},
        {"0123456", 7, L">", 4, L">MDEy\r\nMzQ1\r\nNg==\r\n"},
    };
    for (const Row& r : rows) {
        wchar_t* text = nullptr;
        ASSERT_EQ(
            encode(reinterpret_cast<const BYTE*>(r.data), r.length, r.prefix, &text, r.lineLength),
            1)
            << r.data;
        EXPECT_STREQ(text, r.expected) << r.data << " " << r.length << " " << r.lineLength;
        ::LocalFree(text);
    }
    // The caller's own buffer is used when *out is set.
    wchar_t own[16];
    wchar_t* ownPtr = own;
    ASSERT_EQ(encode(reinterpret_cast<const BYTE*>("abc"), 3, L"x", &ownPtr, 0), 1);
    EXPECT_EQ(ownPtr, own);
    EXPECT_STREQ(own, L"xYWJj");
    // Failures.
    wchar_t* text = nullptr;
    EXPECT_EQ(encode(nullptr, 3, nullptr, &text, 0), 0);
    EXPECT_EQ(encode(reinterpret_cast<const BYTE*>("abc"), 0, nullptr, &text, 0), 0);
    EXPECT_EQ(encode(reinterpret_cast<const BYTE*>("abc"), 3, nullptr, nullptr, 0), 0);
    EXPECT_EQ(text, nullptr);
}

TEST(Base64, EncodeExport) {
    auto encode = test::Named<EncodeFn>("Base64Encode");
    ASSERT_NE(encode, nullptr);
    char out[16];
    std::memset(out, '#', sizeof(out));
    EXPECT_EQ(encode(reinterpret_cast<const BYTE*>("abc"), 0, out), 0);
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(encode(nullptr, 3, out), 0);
    EXPECT_EQ(encode(reinterpret_cast<const BYTE*>("abc"), -3, out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(encode(reinterpret_cast<const BYTE*>("abc"), 3, out), 4);
    EXPECT_STREQ(out, "YWJj");
    std::memset(out, '#', sizeof(out));
    EXPECT_EQ(encode(reinterpret_cast<const BYTE*>("abcd"), 4, out), 8);
    EXPECT_STREQ(out, "YWJjZA==");
    EXPECT_EQ(out[9], '#');
}

TEST(Base64, DecodeRules) {
    auto decodeA = test::Named<DecodeAFn>("Base64DecodeStringA");
    auto decodeW = test::Named<DecodeWFn>("Base64DecodeStringW");
    ASSERT_NE(decodeA, nullptr);
    ASSERT_NE(decodeW, nullptr);
    struct Row {
        const char* text;
        int length;
        int skip;
        const char* expected;  // as hex
    };
    const Row rows[] = {
        {"TWE=", 0, 0, "4d61"},
        {"TWE", 0, 0, "4d61"},
        {"TQ", 0, 0, "4d"},
        {"T", 0, 0, ""},
        {"TQ==", 0, 0, "4d"},
        {"T=", 0, 0, ""},
        // A space inside a group counts as 0; the group is complete.
        {"TW E=", 0, 0, "4d6004"},
        // Separators between groups are skipped, a lone CR is not.
        {"TWFu\r\nTWFu", 0, 0, "4d616e4d616e"},
        {"TWFu\nTWFu", 0, 0, "4d616e4d616e"},
        {"TWFu \t TWFu", 0, 0, "4d616e4d616e"},
        {"TWFu\rTWFu", 0, 0, "4d616e013585"},
        // Characters outside the alphabet count as 0 and do not stop.
        {"TW*uTWFu", 0, 0, "4d602e4d616e"},
        // The length limits the text; a terminator inside it stops too.
        {"TWFuTWFu", 4, 0, "4d616e"},
        {"TWFuTWFu", 6, 0, "4d616e4d"},
        {"##TWFu", 0, 2, "4d616e"},
        {"##TWFuTWFu", 6, 2, "4d616e"},
        {"#", 0, 2, ""},
        {"##", 2, 2, ""},
        {"", 0, 0, ""},
        {"TWFu=TWFu", 0, 0, "4d616e013585"},
    };
    auto hex = [](const BYTE* p, int n) {
        std::string s;
        char b[3];
        for (int i = 0; i < n; ++i) {
            std::snprintf(b, sizeof(b), "%02x", p[i]);
            s += b;
        }
        return s;
    };
    for (const Row& r : rows) {
        BYTE* out = reinterpret_cast<BYTE*>(1);
        int n = decodeA(r.text, &out, r.length, r.skip);
        EXPECT_EQ(hex(out, n), r.expected) << r.text;
        if (n == 0 && !*r.expected && (!*r.text || r.skip > 0)) {
            EXPECT_EQ(out, nullptr) << r.text;
        }
        ::LocalFree(out);

        std::wstring wide(r.text, r.text + std::strlen(r.text));
        out = nullptr;
        n = decodeW(wide.c_str(), &out, r.length, r.skip);
        EXPECT_EQ(hex(out, n), r.expected) << "wide " << r.text;
        ::LocalFree(out);
    }
    // Wide characters beyond 8 bits are outside the alphabet, not their low byte.
    BYTE* out = nullptr;
    EXPECT_EQ(decodeW(L"T\x0157"
                      L"Fu",
                      &out, 0, 0),
              3);  // 0x157's low byte is 'W'
    EXPECT_EQ(out[0], 0x4c);
    ::LocalFree(out);
    // Null arguments.
    EXPECT_EQ(decodeA(nullptr, &out, 0, 0), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(decodeA("TWFu", nullptr, 0, 0), 0);
}

// Windows' encoder and ours give the same text, and each decodes the other's.
TEST(Base64, AgainstCryptBinaryToString) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        size_t n = round < 100 ? round : rng() % 5000;
        std::vector<uint8_t> data = RandomBytes(rng, n);
        if (n == 0) continue;
        DWORD chars = 0;
        DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
        ASSERT_TRUE(
            ::CryptBinaryToStringA(data.data(), static_cast<DWORD>(n), flags, nullptr, &chars));
        std::string theirs(chars, '\0');
        ASSERT_TRUE(::CryptBinaryToStringA(data.data(), static_cast<DWORD>(n), flags, theirs.data(),
                                           &chars));
        theirs.resize(chars);
        EXPECT_EQ(Base64EncodeToString(data), theirs) << n;

        // Windows' default form breaks lines of 64 characters with CR LF. (Its exact line
        // layout is not compared: emulated versions place the last group differently.)
        chars = 0;
        ASSERT_TRUE(::CryptBinaryToStringA(data.data(), static_cast<DWORD>(n), CRYPT_STRING_BASE64,
                                           nullptr, &chars));
        std::string lines(chars, '\0');
        ASSERT_TRUE(::CryptBinaryToStringA(data.data(), static_cast<DWORD>(n), CRYPT_STRING_BASE64,
                                           lines.data(), &chars));
        lines.resize(chars);
        EXPECT_EQ(Base64DecodeToVector(std::string_view(lines)), data) << n;
    }
}

TEST(Base64, RandomRoundTrips) {
    std::mt19937 rng(11);
    const int lineLengths[] = {0, 1, 4, 7, 60, 64, 76};
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> data = RandomBytes(rng, rng() % 3000);
        bool pad = rng() & 1;
        int line = lineLengths[rng() % std::size(lineLengths)];
        std::string text = Base64EncodeToString(data, pad, line);
        ASSERT_EQ(text.size(), Base64EncodedLength(data.size(), pad, line));
        EXPECT_EQ(Base64DecodeToVector(std::string_view(text)), data)
            << data.size() << " " << pad << " " << line;
        std::wstring wide = Base64EncodeToWString(data, pad, line);
        EXPECT_EQ(std::string(wide.begin(), wide.end()), text);
        EXPECT_EQ(Base64DecodeToVector(std::wstring_view(wide)), data);
        std::vector<uint8_t> reused(rng() % 5000, 0x55);
        EXPECT_EQ(Base64DecodeToVector(std::string_view(text), reused), data.size());
        EXPECT_EQ(reused, data);
    }
}

// Every kernel level gives the portable result, on clean text and on text with stray characters
// placed at every position of a block.
TEST(Base64, KernelsMatchPortable) {
    const codec::Kernels& ref = codec::KernelsAt(codec::CpuLevel::Portable);
    std::mt19937 rng(3);
    for (int lv = 1; lv <= static_cast<int>(codec::DetectedCpuLevel()); ++lv) {
        const codec::Kernels& k = codec::KernelsAt(static_cast<codec::CpuLevel>(lv));
        for (size_t groups = 0; groups < 200; groups += 1 + groups / 8) {
            std::vector<uint8_t> data = RandomBytes(rng, groups * 3);
            std::string a(groups * 4, '\0'), b(groups * 4, '\0');
            ref.base64Encode(data.data(), groups, a.data());
            k.base64Encode(data.data(), groups, b.data());
            ASSERT_EQ(a, b) << "level " << lv << " groups " << groups;
            for (size_t bad = 0; bad <= a.size(); bad += 1 + bad / 16) {
                std::string t = a;
                if (bad < t.size()) t[bad] = "=\n*\x80"[rng() % 4];
                std::vector<uint8_t> x(groups * 3 + 1, 0xAA), y(groups * 3 + 1, 0xAA);
                size_t nx = ref.base64Decode(t.data(), groups, x.data());
                size_t ny = k.base64Decode(t.data(), groups, y.data());
                ASSERT_EQ(nx, ny) << "level " << lv << " groups " << groups << " bad " << bad;
                ASSERT_TRUE(std::equal(x.begin(), x.begin() + nx * 3, y.begin()));
                ASSERT_EQ(y[groups * 3], 0xAA) << "wrote past the groups";
            }
        }
    }
}

}  // namespace
}  // namespace kwill
