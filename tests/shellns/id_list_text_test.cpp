// The text forms of ID lists: known texts, buffer sizes, round trips of the shell's lists of
// real objects through both forms, malformed texts, texts cut short, and random texts.
#include "codec/base64.h"
#include "shellns/id_list.h"
#include "shellns/id_list_text.h"
#include "tests/common/test_support.h"
#include "tests/shellns/shellns_support.h"

#include <objidl.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using test::GuardedBytes;
using test::MakeList;
using test::Named;

using ToStringFn = DWORD (*)(LPCITEMIDLIST, wchar_t*, DWORD, WORD);
using FromStringFn = LPITEMIDLIST (*)(const wchar_t*, WORD*);
using SizeFn = DWORD (*)(LPCITEMIDLIST);
using FreeFn = void (*)(LPITEMIDLIST);

ToStringFn ToString() {
    static ToStringFn fn = Named<ToStringFn>("PIDLToString");
    return fn;
}
FromStringFn FromString() {
    static FromStringFn fn = Named<FromStringFn>("PIDLFromString");
    return fn;
}
void Free(LPITEMIDLIST list) {
    static FreeFn fn = Named<FreeFn>("PIDLFree");
    fn(list);
}

std::wstring TextOf(LPCITEMIDLIST list, WORD tag) {
    DWORD chars = ToString()(list, nullptr, 0, tag);
    std::wstring text(chars, L'#');
    EXPECT_EQ(ToString()(list, text.data(), chars, tag), 0u);
    EXPECT_EQ(text[chars - 1], L'\0');
    text.resize(chars - 1);
    return text;
}

// The bytes of the block that PIDLFromString returned, as the task allocator sizes it.
std::vector<uint8_t> BlockBytes(LPITEMIDLIST list) {
    IMalloc* malloc = nullptr;
    ::CoGetMalloc(1, &malloc);
    size_t size = malloc->GetSize(list);
    malloc->Release();
    auto* p = reinterpret_cast<const uint8_t*>(list);
    return {p, p + size};
}

struct Parsed {
    bool ok = false;
    std::vector<uint8_t> bytes;
    WORD tag = 0;
};

Parsed Parse(const std::wstring& text) {
    Parsed r;
    r.tag = 0xBEEF;
    LPITEMIDLIST list = FromString()(text.c_str(), &r.tag);
    if (!list) return r;
    r.ok = true;
    r.bytes = BlockBytes(list);
    Free(list);
    return r;
}

std::wstring Hex(const std::vector<uint8_t>& bytes, bool upper) {
    std::wstring out;
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

TEST(IdListText, KnownTexts) {
    struct Row {
        std::vector<uint8_t> list;
        WORD tag;
        const wchar_t* text;
    } rows[] = {
        {MakeList({}), 0, L"?AAAAAAA="},
        {MakeList({}), 0x0041, L"?QQAAAAA="},
        {MakeList({}), 0xFFFE, L"?/v8AAAA="},
        {MakeList({{0x31, 0x7A}}), 0x1234, L"?NBIABAAxegAA"},
        {MakeList({{0x31}}), 0, L"?AAAAAwAxAAA="},
        {MakeList({{1, 2, 3}}), 7, L"?BwAABQABAgMAAA=="},
    };
    for (const Row& r : rows) {
        GuardedBytes g(r.list);
        EXPECT_EQ(TextOf(g.pidl(), r.tag), r.text);
        Parsed p = Parse(r.text);
        ASSERT_TRUE(p.ok) << test::Narrow(r.text);
        EXPECT_EQ(p.bytes, r.list);
        EXPECT_EQ(p.tag, r.tag);
    }
    EXPECT_EQ(ToString()(nullptr, nullptr, 0, 0), 10u);  // a null list is written as empty
    EXPECT_EQ(TextOf(nullptr, 0), L"?AAAAAAA=");
}

// The required size is exact for every list size (the written text is checked against a buffer
// that ends at an inaccessible page), and one character less writes nothing.
TEST(IdListText, BufferSizes) {
    for (size_t data = 0; data < 12; ++data) {
        std::vector<uint8_t> list =
            data == 0 ? MakeList({}) : MakeList({std::vector<uint8_t>(data - 1, 0x5A)});
        if (data == 1) list = {2, 0, 0, 0};  // an item of cb 2: list size 4
        GuardedBytes g(list);
        DWORD required = ToString()(g.pidl(), nullptr, 0, 0);
        EXPECT_EQ(required, 1 + 4 + 4 * ((list.size() + 2) / 3) + 1) << list.size();

        std::vector<uint8_t> fill(required * sizeof(wchar_t), 0xCC);
        GuardedBytes out(fill);
        auto* buffer = reinterpret_cast<wchar_t*>(out.data());
        EXPECT_EQ(ToString()(g.pidl(), buffer, required - 1, 0), required);
        EXPECT_EQ(out.bytes(), fill);
        EXPECT_EQ(ToString()(g.pidl(), buffer, required, 0), 0u);
        EXPECT_EQ(std::wcslen(buffer), required - 1);
        EXPECT_EQ(Parse(buffer).bytes, list);
    }
}

TEST(IdListText, RealListsRoundTripThroughBothForms) {
    test::ComScope com;
    const WORD tags[] = {0, 1, 0x41, 0x8000, 0xFFFF};
    for (const std::wstring& name : test::PrefixNames()) {
        SCOPED_TRACE(test::Narrow(name));
        test::ShellList shell(name);
        ASSERT_NE(shell.get(), nullptr);
        std::vector<uint8_t> bytes = shell.bytes();
        for (WORD tag : tags) {
            Parsed viaBase64 = Parse(TextOf(shell.get(), tag));
            ASSERT_TRUE(viaBase64.ok);
            EXPECT_EQ(viaBase64.bytes, bytes);
            EXPECT_EQ(viaBase64.tag, tag);

            wchar_t tagText[8];
            std::swprintf(tagText, 8, L"+%04X", tag);
            Parsed viaHex = Parse(L"[" + std::wstring(tagText) + Hex(bytes, tag & 1) + L"]");
            ASSERT_TRUE(viaHex.ok);
            EXPECT_EQ(viaHex.bytes, bytes);
            EXPECT_EQ(viaHex.tag, tag);
        }
        Parsed noTag = Parse(L"[" + Hex(bytes, false) + L"]");
        ASSERT_TRUE(noTag.ok);
        EXPECT_EQ(noTag.bytes, bytes);
        EXPECT_EQ(noTag.tag, 0);
    }
}

TEST(IdListText, MalformedTexts) {
    struct Row {
        const char* rule;
        const wchar_t* text;
    } rows[] = {
        {"null", nullptr},
        {"empty", L""},
        {"other first character", L"x?AAAAAAA="},
        {"character outside the alphabet", L"?AAAA!AAA="},
        {"text after the fill", L"?AAAAAAA=A"},
        {"fill in the middle of a group", L"?AAAAA=AA"},
        {"a group of one character", L"?AAAAAAAAA"},
        {"fewer than 5 bytes", L"?AAAAAA=="},
        {"Base64 item of cb 1", L"?AAAAAQAAAA=="},
        {"hex: odd digit count", L"[000]"},
        {"hex: one byte", L"[00]"},
        {"hex: no digits", L"[]"},
        {"hex: bracket not last", L"[0000]x"},
        {"hex: no closing bracket", L"[0000"},
        {"hex: item overruns, no terminator", L"[0400aa00]"},
        {"hex: bytes after the terminator", L"[0200000000]"},
        {"hex: item of cb 1", L"[01000000]"},
        {"hex: bad byte digit", L"[00g0]"},
        {"hex: bracket among the digits", L"[00]000]"},
        {"hex: bad tag digit", L"[+00G10000]"},
        {"hex: tag cut short", L"[+004"},
        {"hex: tag but no bytes", L"[+0041]"},
    };
    for (const Row& r : rows) {
        WORD tag = 0x1234;
        LPITEMIDLIST list = FromString()(r.text, &tag);
        EXPECT_EQ(list, nullptr) << r.rule;
        EXPECT_EQ(tag, 0x1234) << r.rule;  // the tag is stored only on success
        Free(list);
    }
    // Accepted variants of the same rules.
    struct Ok {
        const wchar_t* text;
        std::vector<uint8_t> list;
        WORD tag;
    } oks[] = {
        {L"[0000]", MakeList({}), 0},
        {L"[+00410000]", MakeList({}), 0x41},
        {L"[+fFfF0300310000]", MakeList({{0x31}}), 0xFFFF},
        {L"?AAAAAAA", MakeList({}), 0},        // unpadded
        {L"?AAAA AAA=\r\n", MakeList({}), 0},  // white space between groups and after
        {L"?AAAAAAAAAAA=", MakeList({}), 0},   // bytes after the terminator are dropped
        {L"?AAAABAAxegQAAQ==", MakeList({{0x31, 0x7A}}), 0},  // last item cut short
    };
    for (const Ok& r : oks) {
        Parsed p = Parse(r.text);
        ASSERT_TRUE(p.ok) << test::Narrow(r.text);
        EXPECT_EQ(p.bytes, r.list) << test::Narrow(r.text);
        EXPECT_EQ(p.tag, r.tag) << test::Narrow(r.text);
    }
    EXPECT_NE(FromString()(L"?AAAAAAA=", nullptr), nullptr);  // the tag is optional
}

// A written text cut after any number of characters gives null or the complete items before
// the cut, never a damaged item.
TEST(IdListText, TextsCutShortKeepCompleteItems) {
    test::ComScope com;
    test::ShellList shell(test::PrefixNames()[3]);
    ASSERT_NE(shell.get(), nullptr);
    std::vector<uint8_t> bytes = shell.bytes();
    std::wstring text = TextOf(shell.get(), 0x77);
    for (size_t n = 0; n <= text.size(); ++n) {
        Parsed p = Parse(text.substr(0, n));
        if (!p.ok) continue;
        ASSERT_TRUE(shellns::IsExactList(p.bytes)) << n;
        size_t items = p.bytes.size() - 2;
        ASSERT_LE(items, bytes.size() - 2) << n;
        EXPECT_TRUE(std::equal(p.bytes.begin(), p.bytes.begin() + items, bytes.begin())) << n;
        // Every full item whose bytes (and room for a terminator) were in the text is kept.
        size_t decoded = (n - 1) * 3 / 4;
        size_t keep = 0;
        for (size_t at = 0; at + 2 <= bytes.size() - 2;) {
            size_t cb = bytes[at] | (bytes[at + 1] << 8);
            if (3 + at + cb + 2 > decoded) break;
            at += cb;
            keep = at;
        }
        EXPECT_EQ(items, keep) << n;
    }
    EXPECT_EQ(Parse(text).bytes, bytes);
}

// Random texts and random damage to valid texts: never a crash, and every list returned fills
// its block exactly and matches what the core parser reads.
TEST(IdListText, RandomTexts) {
    test::ComScope com;
    std::mt19937 rng(20261206);
    const std::wstring alphabet =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=[]?! \r\n\x00e9";
    std::vector<std::wstring> seeds;
    for (const std::wstring& name : test::PrefixNames()) {
        test::ShellList shell(name);
        std::wstring text = TextOf(shell.get(), static_cast<WORD>(rng()));
        seeds.push_back(text);
        seeds.push_back(L"[+1234" + Hex(shell.bytes(), false) + L"]");
    }
    seeds.push_back(L"?AAAAAAA=");
    seeds.push_back(L"[0000]");

    auto check = [](const std::wstring& text) {
        std::optional<shellns::ParsedList> core = shellns::ParseText(text.c_str());
        Parsed p = Parse(text);
        ASSERT_EQ(p.ok, core.has_value()) << test::Narrow(text);
        if (!p.ok) return;
        ASSERT_TRUE(shellns::IsExactList(p.bytes)) << test::Narrow(text);
        ASSERT_EQ(p.bytes, core->bytes);
        ASSERT_EQ(p.tag, core->tag);
    };
    for (int i = 0; i < 20000; ++i) {
        std::wstring text;
        int kind = static_cast<int>(rng() % 3);
        if (kind == 0) {
            // Random characters after a valid first character.
            text = (rng() & 1) ? L"?" : L"[";
            size_t length = rng() % 80;
            for (size_t k = 0; k < length; ++k) text += alphabet[rng() % alphabet.size()];
        } else if (kind == 1) {
            // Random bytes in either form: mostly well-formed text of malformed lists.
            std::vector<uint8_t> bytes(rng() % 40);
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng() % 8 == 0 ? 0 : rng());
            if (rng() & 1) {
                text = L"[" + Hex(bytes, rng() & 1) + L"]";
            } else {
                bytes.insert(bytes.begin(), 3, 0);  // header, then random bytes as the list
                text = L"?" + Base64EncodeToWString(bytes);
            }
        } else {
            // A valid text with one to three random edits.
            text = seeds[rng() % seeds.size()];
            int edits = 1 + static_cast<int>(rng() % 3);
            for (int e = 0; e < edits && !text.empty(); ++e) {
                size_t at = rng() % text.size();
                switch (rng() % 3) {
                    case 0:
                        text[at] = alphabet[rng() % alphabet.size()];
                        break;
                    case 1:
                        text.erase(at, 1);
                        break;
                    default:
                        text.insert(at, 1, alphabet[rng() % alphabet.size()]);
                        break;
                }
            }
        }
        check(text);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace kwill
