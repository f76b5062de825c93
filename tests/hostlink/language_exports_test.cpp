// The language exports through the real DLL, with the signed english.dll and the German
// translation that the language_files fixture puts into bin/Language: the current handle,
// LibStringW by its decorated names, another process's reload, translated byte-size units.
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace kwill {
namespace {

using test::Named;
using test::Ordinal;

using GetHandle = void* (*)();
using CreateHandle = void* (*)(const wchar_t*);
using HandleFn = void (*)(void*);
using TextFn = const wchar_t* (*)(const void*);
using LookupStringFn = int (*)(const void*, unsigned, wchar_t*, int, int, uint32_t*, uint64_t*);

struct LibStringW {
    wchar_t* text;
};

// The members as a host built with Microsoft's compiler calls them: `this` first.
using Construct = LibStringW* (*)(LibStringW*);
using ConstructNumber = LibStringW* (*)(LibStringW*, int);
using Destroy = void (*)(LibStringW*);
using GetString = const wchar_t* (*)(const LibStringW*);
using SetString = bool (*)(LibStringW*, const wchar_t*, int);
using Init = const wchar_t* (*)(LibStringW*, int);
using FormatMsg = int (*)(const LibStringW*, wchar_t*, int, ...);

TEST(LanguageExports, NamesAndOrdinals) {
    struct Row {
        const char* name;
        WORD ordinal;
    } rows[] = {
        {"LookupLanguage", 1800},
        {"GetLanguageHandle", 1805},
        {"ReloadLanguage", 1809},
        {"LookupLanguageString", 1811},
        {"GetLanguageExtraLetters", 1827},
        {"??0LibStringW@@QEAA@XZ", 1840},
        {"??0LibStringW@@QEAA@H@Z", 1841},
        {"?FreeString@LibStringW@@QEAAXXZ", 1843},
        {"?GetString@LibStringW@@QEBAPEB_WXZ", 1844},
        {"?SetString@LibStringW@@QEAA_NPEB_WH@Z", 1845},
        {"?Init@LibStringW@@QEAAPEB_WH@Z", 1846},
        {"?FormatMsg@LibStringW@@QEAAHPEA_WHZZ", 1847},
    };
    for (const Row& r : rows) {
        void* byName = Named<void*>(r.name);
        EXPECT_NE(byName, nullptr) << r.name;
        EXPECT_EQ(byName, Ordinal<void*>(r.ordinal)) << r.name;
    }
}

TEST(LanguageExports, CurrentLanguageAndLookups) {
    void* h = Named<GetHandle>("GetLanguageHandle")();
    ASSERT_NE(h, nullptr) << "the fixture puts a signed english.dll into bin/Language";
    auto lookup = Named<LookupStringFn>("LookupLanguageString");
    wchar_t buffer[64];
    EXPECT_GT(lookup(h, 20008, buffer, 64, 2, nullptr, nullptr), 0);
    EXPECT_EQ(std::wstring(buffer), L"Extract here");
    EXPECT_EQ(lookup(nullptr, 20008, buffer, 64, 2, nullptr, nullptr), 0);
    Named<HandleFn>("ReleaseLanguageHandle")(h);

    void* de = Named<CreateHandle>("CreateLanguageHandle")(L"deutsch");
    ASSERT_NE(de, nullptr);
    EXPECT_STREQ(Named<TextFn>("GetLanguageCode")(de), L"de");
    EXPECT_STREQ(Named<TextFn>("GetLanguageRequestedName")(de), L"deutsch");
    EXPECT_TRUE(Named<BOOL (*)(const void*, unsigned)>("HasStringTranslation")(de, 20005));
    EXPECT_FALSE(Named<BOOL (*)(const void*, unsigned)>("HasStringTranslation")(de, 20008));
    uint64_t submit = 0;
    EXPECT_TRUE(Named<BOOL (*)(const void*, uint64_t*)>("GetLanguageSubmit")(de, &submit));
    EXPECT_EQ(submit, 4711u);
    const void* node = nullptr;
    EXPECT_TRUE(Named<BOOL (*)(const void*, unsigned, const void**)>("LookupLanguageDialog")(
        de, 100, &node));
    EXPECT_NE(node, nullptr);
    auto translated =
        Named<int (*)(const void*, int, unsigned, unsigned, wchar_t*, int, uint64_t*)>(
            "LookupTranslatedText");
    EXPECT_EQ(translated(de, 1, 100, 1001, buffer, 64, nullptr), 7);
    EXPECT_EQ(std::wstring(buffer), L"Version");
    EXPECT_EQ(translated(de, 0, 0, 20006, buffer, 64, nullptr), 13);
    Named<HandleFn>("ReleaseLanguageHandle")(de);

    EXPECT_EQ(Named<CreateHandle>("CreateLanguageHandle")(L"francais"), nullptr);
    auto exists = Named<BOOL (*)(const wchar_t*)>("LanguageFileExists");
    EXPECT_TRUE(exists(L"deutsch"));
    EXPECT_TRUE(exists(L"de"));
    EXPECT_TRUE(exists(L"english"));
    EXPECT_FALSE(exists(L"francais"));
    EXPECT_FALSE(exists(L"..\\Language\\de"));
}

TEST(LanguageExports, LibStringW) {
    LibStringW s{reinterpret_cast<wchar_t*>(1)};
    EXPECT_EQ(Named<Construct>("??0LibStringW@@QEAA@XZ")(&s), &s);
    EXPECT_EQ(s.text, nullptr);
    auto get = Named<GetString>("?GetString@LibStringW@@QEBAPEB_WXZ");
    auto format = Named<FormatMsg>("?FormatMsg@LibStringW@@QEAAHPEA_WHZZ");
    EXPECT_STREQ(get(&s), L"");
    wchar_t buffer[64] = L"untouched";
    EXPECT_EQ(format(&s, buffer, 64, 5), 0);
    EXPECT_STREQ(buffer, L"untouched");

    auto set = Named<SetString>("?SetString@LibStringW@@QEAA_NPEB_WH@Z");
    EXPECT_TRUE(set(&s, L"abcdef", 3));
    EXPECT_STREQ(get(&s), L"abc");
    EXPECT_FALSE(set(&s, nullptr, 0));
    EXPECT_EQ(s.text, nullptr);

    auto init = Named<Init>("?Init@LibStringW@@QEAAPEB_WH@Z");
    EXPECT_STREQ(init(&s, 20008), L"Extract here");
    EXPECT_STREQ(init(&s, 98765), L"");
    EXPECT_EQ(s.text, nullptr);

    LibStringW n;
    Named<ConstructNumber>("??0LibStringW@@QEAA@H@Z")(&n, 20019);
    EXPECT_STREQ(get(&n), L"%1!u! entries");
    EXPECT_EQ(format(&n, buffer, 64, 42u), 10);
    EXPECT_STREQ(buffer, L"42 entries");
    EXPECT_EQ(format(&n, buffer, 0, 42u), 0);
    Named<Destroy>("KwillLibStringFree")(&n);
    EXPECT_EQ(n.text, nullptr);
    Named<Destroy>("?FreeString@LibStringW@@QEAAXXZ")(&s);
}

// Byte sizes take their unit names from the current language.
TEST(LanguageExports, SizeUnitsAreLanguageStrings) {
    auto bytes = Named<int (*)(uint64_t, wchar_t*, int, uint32_t, const void*)>("BytesToStringW");
    wchar_t out[64];
    bytes(12, out, 64, 0, nullptr);
    EXPECT_EQ(std::wstring(out).substr(2), L" bytes");
    bytes(3ull << 40, out, 64, 0, nullptr);
    EXPECT_EQ(std::wstring(out).substr(1), L" TB");
}

// A reload in another process makes this one build a new handle at its next request.
TEST(LanguageExports, ReloadInAChildRenewsTheHandle) {
    auto get = Named<GetHandle>("GetLanguageHandle");
    auto release = Named<HandleFn>("ReleaseLanguageHandle");
    void* before = get();
    ASSERT_NE(before, nullptr);
    void* again = get();
    EXPECT_EQ(again, before);
    release(again);
    const test::ProcessResult child =
        test::RunProcess(test::ExeFolder() + L"kwilltool.exe", L"lang reload");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0u);
    void* after = get();  // `before` is still held, so a new handle has a new address
    EXPECT_NE(after, nullptr);
    EXPECT_NE(after, before);
    release(after);
    release(before);
}

// Run under LC_ALL=de_DE.UTF-8 by ctest: German is preferred and installed.
TEST(LanguageExports, PreferredLanguage) {
    auto preferred = Named<int (*)(wchar_t*, int, BOOL*)>("GetPreferredLanguage");
    wchar_t buffer[32];
    BOOL flag = TRUE;
    const int n = preferred(buffer, 32, &flag);
    EXPECT_FALSE(flag);
    const char* lcAll = std::getenv("LC_ALL");
    if (lcAll && std::string(lcAll).rfind("de_DE", 0) == 0) {
        EXPECT_EQ(std::wstring(buffer), L"deutsch");
        EXPECT_EQ(n, 7);
        void* h = Named<GetHandle>("GetLanguageHandle")();
        ASSERT_NE(h, nullptr);
        EXPECT_STREQ(Named<TextFn>("GetLanguageName")(h), L"deutsch");
        Named<HandleFn>("ReleaseLanguageHandle")(h);
    }
    EXPECT_EQ(preferred(buffer, 0, nullptr), 0);
    const int cut = preferred(buffer, 3, nullptr);
    EXPECT_EQ(cut, static_cast<int>(std::wcslen(buffer)));
    EXPECT_LE(cut, 2);
}

}  // namespace
}  // namespace kwill
