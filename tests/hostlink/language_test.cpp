// Language handles made from files in a temporary folder: the languages table, translation
// documents, the module's signature and resource digest, and every way a translation archive
// can be bad. A translation that cannot be trusted gives English with the requested name, never
// a crash and never altered text.
#include "codec/ed25519.h"
#include "frame/context.h"
#include "hostlink/language.h"
#include "hostlink/translation.h"
#include "tests/common/test_support.h"
#include "tools/common/language_signing.h"
#include "zip/translation_password.h"
#include "zip/zip_writer.h"

#include <bcrypt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace kwill::lang {
namespace {

using test::TempFolder;

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::wstring UnsignedModule() {
    return test::ExeFolder() + L"..\\language\\english.dll";
}

const std::string kGermanJson =
    test::ReadFileText(test::ExeFolder() + L"..\\..\\tests\\hostlink\\data\\de.json");

class Language : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(DllEntry(::GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH));
        ASSERT_TRUE(tools::ReadSigningSeed(tools::DefaultSigningKeyPath(), seed_));
        module_ = folder_ / L"english.dll";
        std::string error;
        ASSERT_TRUE(tools::CertifyLanguageModule(UnsignedModule(), module_, seed_, error)) << error;
    }
    void TearDown() override { EXPECT_TRUE(DllEntry(nullptr, DLL_PROCESS_DETACH)); }

    // The signature member for a document, made with the release key.
    std::vector<uint8_t> Sign(const std::string& code, const std::vector<uint8_t>& json) {
        uint8_t value[32], signature[64];
        TranslationSigningValue(std::wstring(code.begin(), code.end()), json.data(), json.size(),
                                value);
        codec::Ed25519Sign(seed_, value, 32, signature);
        return std::vector<uint8_t>(signature, signature + 64);
    }

    // An archive with the given members (name, bytes), each written with the password.
    std::wstring Archive(const std::wstring& name,
                         const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members,
                         const std::string& password = zip::kTranslationArchivePassword,
                         int level = 6) {
        const std::wstring path = folder_ / name;
        zip::ZipWriter writer;
        EXPECT_EQ(writer.Create(path.c_str()), zip::ZipError::Ok);
        zip::MemberOptions options;
        options.password = password;
        options.level = level;
        for (const auto& [member, bytes] : members) {
            EXPECT_EQ(writer.AddBuffer(member, bytes, options), zip::ZipError::Ok);
        }
        EXPECT_EQ(writer.Commit(), zip::ZipError::Ok);
        return path;
    }

    std::wstring GoodGerman() {
        const auto json = Bytes(kGermanJson);
        return Archive(L"de.tarnml", {{"de.json", json}, {"signature", Sign("de", json)}});
    }

    TempFolder folder_;
    std::wstring module_;
    uint8_t seed_[32];
};

std::wstring Text(const LanguageHandle* h, uint32_t number, int mode = kTranslationThenModule) {
    wchar_t buffer[256];
    buffer[0] = 0;
    LookupString(h, number, buffer, 256, mode, nullptr, nullptr);
    return buffer;
}

TEST(LanguageTable, Lookups) {
    struct Row {
        const wchar_t* key;
        int mode;
        const wchar_t* text;  // modes 1 and 2
        uintptr_t number;     // modes 3 and 4
    } rows[] = {
        {L"de", 2, L"deutsch", 0},  {L"xx", 2, L"xx", 0},           {L"DEUTSCH", 1, L"de", 0},
        {L"pt-br", 1, L"pt-BR", 0}, {L"PT-BR", 2, L"pt-br", 0},     {L"unknown", 1, L"unknown", 0},
        {L"xx", 4, nullptr, 0},     {L"deutsch", 3, nullptr, 1031}, {L"zh-TW", 4, nullptr, 1028},
        {L"esm", 3, nullptr, 2058}, {L"de", 3, nullptr, 0},         {L"english", 7, nullptr, 0},
    };
    for (const Row& r : rows) {
        const uintptr_t result = LookupLanguage(r.key, r.mode);
        if (r.text) {
            EXPECT_STREQ(reinterpret_cast<const wchar_t*>(result), r.text) << r.mode;
        } else {
            EXPECT_EQ(result, r.number) << r.mode;
        }
    }
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(LookupLanguage(L"polski", 5)), L"+Łłęąńżźóćś");
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(LookupLanguage(L"sv", 6)), L"+ÅåÄäÖö");
    EXPECT_EQ(LookupLanguage(L"english", 5), 0u);
    EXPECT_EQ(LookupLanguage(nullptr, 1), 0u);

    struct NameRow {
        const wchar_t* name;
        bool english, chinese, usable;
    } names[] = {
        {L"english", true, false, true}, {L"EN", true, false, true},
        {L"zh", false, true, true},      {L"zh-TW", false, true, true},
        {L"zhx", false, false, true},    {L"CHT", false, true, true},
        {L"", false, false, false},      {L"..\\x", false, false, false},
        {L"C:", false, false, false},    {L"a/b", false, false, false},
        {L"de de", false, false, false}, {L"abcdefghijklmnopq", false, false, false},
    };
    for (const NameRow& r : names) {
        EXPECT_EQ(IsEnglishName(r.name), r.english) << static_cast<const void*>(r.name);
        EXPECT_EQ(IsChineseName(r.name), r.chinese);
        EXPECT_EQ(IsUsableCode(r.name), r.usable);
    }
    EXPECT_FALSE(IsEnglishName(nullptr));
}

TEST(TranslationDocument, ChecksTheWholeDocument) {
    struct Row {
        const char* json;
        bool ok;
    } rows[] = {
        {R"({"string":{}})", true},
        {R"({"string":{"1":["a"],"2":["b",4294967295],"3":["c",0,18446744073709551615]}})", true},
        {R"({"string":{},"dialog":{"5":{"1":["x"]}},"submit":1})", true},
        {"", false},
        {"not json", false},
        {R"({"string":{"1":["a"]})", false},  // truncated
        {R"([1,2])", false},
        {R"({"strings":{}})", false},
        {R"({"string":[]})", false},
        {R"({"string":{"x":["a"]}})", false},
        {R"({"string":{"-1":["a"]}})", false},
        {R"({"string":{"4294967296":["a"]}})", false},
        {R"({"string":{"1":"a"}})", false},
        {R"({"string":{"1":[]}})", false},
        {R"({"string":{"1":[5]}})", false},
        {R"({"string":{"1":["a",4294967296]}})", false},
        {R"({"string":{"1":["a",-1]}})", false},
        {R"({"string":{"1":["a",1.5]}})", false},
        {R"({"string":{"1":["a",1,-2]}})", false},
        {R"({"string":{"1":["a",1,2,3]}})", false},
        {R"({"string":{},"dialog":[]})", false},
        {R"({"string":{},"dialog":{"1":{"2":[true]}}})", false},
        {R"({"string":{},"submit":"12"})", false},
        {"{\"string\":{\"1\":[\"\xff\"]}}", false},  // not UTF-8
    };
    for (const Row& r : rows) {
        std::string problem;
        auto t = Translation::Parse(r.json, std::strlen(r.json), &problem);
        EXPECT_EQ(t != nullptr, r.ok) << r.json << " " << problem;
        if (!r.ok) {
            EXPECT_FALSE(problem.empty()) << r.json;
        }
    }
    EXPECT_EQ(Translation::Parse(nullptr, 0), nullptr);
}

TEST_F(Language, SignedModuleLoadsAndDigestMatchesItsResources) {
    LanguageHandle* h = CreateLanguageHandle(module_, nullptr, false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->code, L"en");
    EXPECT_EQ(h->name, L"english");
    EXPECT_EQ(h->langId, 1033u);
    EXPECT_EQ(h->moduleVersion[0], 0x00030001u);
    EXPECT_EQ(h->moduleVersion[1], 0x00000007u);
    EXPECT_EQ(Text(h, 20005), L"Open a new Tarnwell window");

    // The digest again, by the system's MD5 over the resources as the loader lists them.
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ASSERT_EQ(::BCryptOpenAlgorithmProvider(&alg, BCRYPT_MD5_ALGORITHM, nullptr, 0), 0);
    ASSERT_EQ(::BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0), 0);
    struct Ctx {
        BCRYPT_HASH_HANDLE hash;
        int count;
    } ctx{hash, 0};
    for (LPCWSTR type : {RT_STRING, RT_DIALOG}) {
        ::EnumResourceNamesW(
            h->module, type,
            [](HMODULE m, LPCWSTR t, LPWSTR name, LONG_PTR p) -> BOOL {
                auto* c = reinterpret_cast<Ctx*>(p);
                HRSRC r = ::FindResourceW(m, name, t);
                const void* data = ::LockResource(::LoadResource(m, r));
                ::BCryptHashData(c->hash, static_cast<PUCHAR>(const_cast<void*>(data)),
                                 ::SizeofResource(m, r), 0);
                ++c->count;
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&ctx));
    }
    uint8_t expected[16];
    ASSERT_EQ(::BCryptFinishHash(hash, expected, 16, 0), 0);
    ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(alg, 0);
    EXPECT_GE(ctx.count, 4);  // several string blocks and both dialogs
    EXPECT_EQ(std::vector<uint8_t>(h->resourceDigest, h->resourceDigest + 16),
              std::vector<uint8_t>(expected, expected + 16));
    Release(h);
}

TEST_F(Language, UnsignedOrAlteredModulesGiveNoHandle) {
    EXPECT_EQ(CreateLanguageHandle(UnsignedModule(), nullptr, true), nullptr);
    EXPECT_EQ(CreateLanguageHandle(folder_ / L"missing.dll", nullptr, true), nullptr);
    EXPECT_EQ(CreateLanguageHandle(std::wstring(), nullptr, true), nullptr);

    // A text added after signing (a new string-table block).
    const std::wstring altered = folder_ / L"altered.dll";
    ASSERT_TRUE(::CopyFileW(module_.c_str(), altered.c_str(), FALSE));
    HANDLE update = ::BeginUpdateResourceW(altered.c_str(), FALSE);
    std::vector<wchar_t> table(17, 0);  // 16 counted strings, the first "X"
    table[0] = 1;
    table[1] = L'X';
    ASSERT_TRUE(::UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(2000),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), table.data(),
                                  static_cast<DWORD>(table.size() * sizeof(wchar_t))));
    ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
    EXPECT_EQ(CreateLanguageHandle(altered, nullptr, true), nullptr);

    // A CERT that is not 64 bytes, and one with a flipped bit.
    for (int variant = 0; variant < 2; ++variant) {
        const std::wstring bad = folder_ / (L"cert" + std::to_wstring(variant) + L".dll");
        ASSERT_TRUE(::CopyFileW(module_.c_str(), bad.c_str(), FALSE));
        HMODULE m = ::LoadLibraryExW(module_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC r = ::FindResourceW(m, MAKEINTRESOURCEW(1), L"CERT");
        const auto* stored = static_cast<const uint8_t*>(::LockResource(::LoadResource(m, r)));
        std::vector<uint8_t> cert(stored, stored + 64);
        ::FreeLibrary(m);
        if (variant == 0) {
            cert.push_back(0);
        } else {
            cert[5] ^= 0x10;
        }
        update = ::BeginUpdateResourceW(bad.c_str(), FALSE);
        ASSERT_TRUE(::UpdateResourceW(update, L"CERT", MAKEINTRESOURCEW(1),
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), cert.data(),
                                      static_cast<DWORD>(cert.size())));
        ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
        EXPECT_EQ(CreateLanguageHandle(bad, nullptr, true), nullptr) << variant;
    }
}

TEST_F(Language, TranslationOverlaysByNumber) {
    GoodGerman();
    LanguageHandle* h = CreateLanguageHandle(module_, L"deutsch", false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->code, L"de");
    EXPECT_EQ(h->name, L"deutsch");
    EXPECT_TRUE(h->requestedName.empty());
    EXPECT_EQ(h->langId, 1031u);
    EXPECT_STREQ(h->extraLetters, L"+äöüÄÖÜß");
    EXPECT_EQ(h->filePath, folder_ / L"de.tarnml");
    EXPECT_TRUE(h->hasSubmit);
    EXPECT_EQ(h->submit, 4711u);

    struct Row {
        uint32_t number;
        int mode;
        const wchar_t* text;
        int result;
    } rows[] = {
        {20005, kTranslationThenModule, L"Neues Tarnwell-Fenster öffnen", 29},
        {20005, kTranslationOnly, L"Neues Tarnwell-Fenster öffnen", 29},
        {20005, kModuleOnly, L"Open a new Tarnwell window", 26},
        {20008, kTranslationThenModule, L"Extract here", 12},  // not translated: English
        {20008, kTranslationOnly, L"", 0},
        {20020, kTranslationOnly, L"", 0},  // an empty text; its value was not asked for
        {99999, kTranslationThenModule, L"", 0},
    };
    for (const Row& r : rows) {
        wchar_t buffer[64] = L"#";
        EXPECT_EQ(LookupString(h, r.number, buffer, 64, r.mode, nullptr, nullptr), r.result)
            << r.number << " mode " << r.mode;
        if (r.result > 0) {
            EXPECT_EQ(std::wstring(buffer), r.text) << r.number;
        }
    }

    uint32_t v1 = 0;
    uint64_t v2 = 0;
    wchar_t buffer[64];
    EXPECT_EQ(LookupString(h, 20019, buffer, 64, kTranslationOnly, &v1, &v2), 14);
    EXPECT_EQ(v1, 3u);
    EXPECT_EQ(v2, UINT64_MAX);
    v1 = 0;
    EXPECT_EQ(LookupString(h, 20020, buffer, 64, kTranslationOnly, &v1, nullptr), 1);
    EXPECT_EQ(v1, 5u);

    // Short buffers are cut and terminated; an empty one is never written, by either source.
    EXPECT_EQ(LookupString(h, 20005, buffer, 6, kTranslationThenModule, nullptr, nullptr), 5);
    EXPECT_EQ(std::wstring(buffer), L"Neues");
    EXPECT_EQ(LookupString(h, 20008, buffer, 6, kTranslationThenModule, nullptr, nullptr), 5);
    EXPECT_EQ(std::wstring(buffer), L"Extra");
    buffer[0] = L'#';
    EXPECT_EQ(LookupString(h, 20008, buffer, 0, kModuleOnly, nullptr, nullptr), 0);
    EXPECT_EQ(LookupString(h, 20005, buffer, 0, kTranslationOnly, nullptr, nullptr), 0);
    EXPECT_EQ(buffer[0], L'#');
    EXPECT_EQ(LookupString(h, 20008, nullptr, 10, kModuleOnly, nullptr, nullptr), 0);

    TranslatedEntry entry;
    EXPECT_TRUE(Translation::FindControl(h->translation->Dialog(100), 1002, entry));
    EXPECT_EQ(entry.text, "Ein Dateimanager");
    EXPECT_EQ(entry.value2, 2u);
    EXPECT_FALSE(Translation::FindControl(h->translation->Dialog(101), 1002, entry));
    EXPECT_FALSE(Translation::FindControl(nullptr, 1, entry));
    Release(h);
}

TEST_F(Language, InfoZipArchiveWithTheBuiltInPasswordLoads) {
    const std::wstring infozip = test::ExeFolder() + L"..\\language-tests\\infozip\\de.tarnml";
    ASSERT_TRUE(::CopyFileW(infozip.c_str(), (folder_ / L"de.tarnml").c_str(), FALSE));
    LanguageHandle* h = CreateLanguageHandle(module_, L"de", false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Text(h, 20006), L"Einstellungen");
    Release(h);
}

// Each bad archive falls back to English, naming the language that was asked for; without
// fallback there is no handle.
TEST_F(Language, BadArchivesGiveEnglish) {
    const auto json = Bytes(kGermanJson);
    const auto signature = Sign("de", json);
    const auto otherJson = Bytes(R"({"string":{"20005":["Anderes"]}})");
    const auto notJson = Bytes("{\"string\": ");
    const auto mistyped = Bytes(R"({"string":{"20005":"Neues Fenster"}})");
    std::vector<uint8_t> zeros(64, 0);
    std::vector<uint8_t> highS = signature;
    highS[63] |= 0xF0;  // S far above the group order
    std::vector<uint8_t> shortSig(signature.begin(), signature.end() - 1);

    struct Row {
        const char* what;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
        std::string password;
    } rows[] = {
        {"wrong password", {{"de.json", json}, {"signature", signature}}, "wrongpass"},
        {"no document", {{"signature", signature}}, zip::kTranslationArchivePassword},
        {"no signature", {{"de.json", json}}, zip::kTranslationArchivePassword},
        {"document named by another code",
         {{"fr.json", json}, {"signature", signature}},
         zip::kTranslationArchivePassword},
        {"signature of another document",
         {{"de.json", otherJson}, {"signature", signature}},
         zip::kTranslationArchivePassword},
        {"signature for another code",
         {{"de.json", json}, {"signature", Sign("fr", json)}},
         zip::kTranslationArchivePassword},
        {"zero signature",
         {{"de.json", json}, {"signature", zeros}},
         zip::kTranslationArchivePassword},
        {"unreduced S",
         {{"de.json", json}, {"signature", highS}},
         zip::kTranslationArchivePassword},
        {"short signature",
         {{"de.json", json}, {"signature", shortSig}},
         zip::kTranslationArchivePassword},
        {"signed, not JSON",
         {{"de.json", notJson}, {"signature", Sign("de", notJson)}},
         zip::kTranslationArchivePassword},
        {"signed, mistyped",
         {{"de.json", mistyped}, {"signature", Sign("de", mistyped)}},
         zip::kTranslationArchivePassword},
    };
    for (const Row& r : rows) {
        Archive(L"de.tarnml", r.members, r.password);
        LanguageHandle* h = CreateLanguageHandle(module_, L"deutsch", true);
        ASSERT_NE(h, nullptr) << r.what;
        EXPECT_EQ(h->code, L"en") << r.what;
        EXPECT_EQ(h->requestedName, L"deutsch") << r.what;
        EXPECT_EQ(h->translation, nullptr) << r.what;
        EXPECT_EQ(Text(h, 20005), L"Open a new Tarnwell window") << r.what;
        Release(h);
        EXPECT_EQ(CreateLanguageHandle(module_, L"deutsch", false), nullptr) << r.what;
    }

    // No archive at all, a folder in its place, and codes that would leave the folder.
    ::DeleteFileW((folder_ / L"de.tarnml").c_str());
    for (const wchar_t* name : {L"deutsch", L"..\\de", L"C:\\de", L"de/x"}) {
        LanguageHandle* h = CreateLanguageHandle(module_, name, true);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->requestedName, name);
        Release(h);
    }
    ::CreateDirectoryW((folder_ / L"de.tarnml").c_str(), nullptr);
    EXPECT_EQ(CreateLanguageHandle(module_, L"de", false), nullptr);
}

// Damaged copies of a good archive: cut short, sizes that lie, and random byte changes. Whatever
// survives must read exactly the signed text.
TEST_F(Language, DamagedArchivesNeverGiveAlteredText) {
    const std::vector<uint8_t> good = test::ReadFileBytes(GoodGerman());
    ASSERT_GT(good.size(), 100u);
    const std::wstring path = folder_ / L"de.tarnml";
    auto check = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        ASSERT_TRUE(test::WriteFileBytes(path, bytes.data(), bytes.size()));
        LanguageHandle* h = CreateLanguageHandle(module_, L"de", true);
        ASSERT_NE(h, nullptr) << what;
        if (h->translation) {
            EXPECT_EQ(Text(h, 20005), L"Neues Tarnwell-Fenster öffnen") << what;
        } else {
            EXPECT_EQ(h->requestedName, L"de") << what;
        }
        Release(h);
    };
    for (size_t cut :
         {size_t{0}, size_t{1}, size_t{22}, good.size() / 2, good.size() - 22, good.size() - 1}) {
        check(std::vector<uint8_t>(good.begin(), good.begin() + cut), "cut " + std::to_string(cut));
    }
    // Every 32-bit size field of the local headers and the directory set to lies.
    const uint8_t local[] = {'P', 'K', 3, 4}, central[] = {'P', 'K', 1, 2};
    for (size_t i = 0; i + 4 <= good.size(); ++i) {
        size_t fields[2] = {0, 0};
        if (std::equal(local, local + 4, good.begin() + i)) fields[0] = i + 18, fields[1] = i + 22;
        if (std::equal(central, central + 4, good.begin() + i))
            fields[0] = i + 20, fields[1] = i + 24;
        for (size_t field : fields) {
            if (!field || field + 4 > good.size()) continue;
            for (uint32_t lie : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
                auto bytes = good;
                std::memcpy(bytes.data() + field, &lie, 4);
                check(bytes, "size at " + std::to_string(field) + " = " + std::to_string(lie));
            }
        }
    }
    std::mt19937 rng(1515);
    for (int i = 0; i < 300; ++i) {
        auto bytes = good;
        const int changes = 1 + static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c) bytes[rng() % bytes.size()] ^= 1 << (rng() % 8);
        check(bytes, "mutation " + std::to_string(i));
    }
}

}  // namespace
}  // namespace kwill::lang
