// kwilllib.dll's own version resource, read back through the library's version exports: the
// numbers and strings of exports/version.h.in, as a maintainer or Explorer would see them.
#include "kwill_revision.h"
#include "kwill_version.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kwill {
namespace {

using GetFileVersionStringsFn = DWORD (*)(const wchar_t*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*,
                                          wchar_t*, int, wchar_t*, int, wchar_t*, int, wchar_t*,
                                          int);
using GetDllVersionFn = DWORD (*)(const wchar_t*, DWORD*, DWORD*);

constexpr DWORD kVersionMS = (KWILL_VERSION_MAJOR << 16) | KWILL_VERSION_MINOR;
constexpr DWORD kVersionLS = (KWILL_VERSION_PATCH << 16) | KWILL_VERSION_BUILD;

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(test::KwillDll::Get().module(), path, MAX_PATH);
    return path;
}

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

TEST(VersionResource, NumbersAndStringsThroughGetFileVersionStrings) {
    auto getStrings = test::Ordinal<GetFileVersionStringsFn>(52);
    ASSERT_NE(getStrings, nullptr);
    DWORD fileMS = 0, fileLS = 0, productMS = 0, productLS = 0, translation = 0;
    wchar_t company[64], product[64], copyright[64], description[64];
    DWORD result =
        getStrings(OwnPath().c_str(), &fileMS, &fileLS, &productMS, &productLS, &translation,
                   company, 64, product, 64, copyright, 64, description, 64);
    EXPECT_EQ(result, DWORD{KWILL_VERSION_MAJOR * 100 + KWILL_VERSION_MINOR});
    EXPECT_EQ(fileMS, kVersionMS);
    EXPECT_EQ(fileLS, kVersionLS);
    EXPECT_EQ(productMS, kVersionMS);
    EXPECT_EQ(productLS, kVersionLS);
    EXPECT_EQ(translation, DWORD{0x04B00409});  // U.S. English, Unicode

    const struct {
        const char* what;
        const wchar_t* got;
        const char* want;
    } strings[] = {
        {"CompanyName", company, KWILL_COMPANY_NAME},
        {"ProductName", product, KWILL_PRODUCT_NAME},
        {"LegalCopyright", copyright, KWILL_COPYRIGHT},
        {"FileDescription", description, KWILL_FILE_DESCRIPTION},
    };
    for (const auto& s : strings) EXPECT_EQ(std::wstring(s.got), Wide(s.want)) << s.what;
}

// A string buffer of the exact size, one short, and of one character: cut and terminated.
TEST(VersionResource, StringsCutToTheirBuffers) {
    auto getStrings = test::Ordinal<GetFileVersionStringsFn>(52);
    ASSERT_NE(getStrings, nullptr);
    const std::wstring full = Wide(KWILL_FILE_DESCRIPTION);
    const int exact = static_cast<int>(full.size()) + 1;
    for (int size : {exact, exact - 1, 1}) {
        std::wstring buffer(static_cast<size_t>(exact) + 4, L'#');
        getStrings(OwnPath().c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
                   nullptr, 0, nullptr, 0, buffer.data(), size);
        EXPECT_EQ(std::wstring(buffer.c_str()), full.substr(0, static_cast<size_t>(size - 1)))
            << "buffer of " << size;
        EXPECT_EQ(buffer[static_cast<size_t>(size)], L'#') << "written past a buffer of " << size;
    }
}

// The text versions, read with the system's own version functions: FileVersion the number alone,
// ProductVersion the number and the source revision of this build.
TEST(VersionResource, TextVersionsNameTheBuild) {
    std::wstring path = OwnPath();
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    const struct {
        const wchar_t* key;
        const char* want;
    } rows[] = {
        {L"\\StringFileInfo\\040904B0\\FileVersion", KWILL_VERSION_TEXT},
        {L"\\StringFileInfo\\040904B0\\ProductVersion", KWILL_PRODUCT_VERSION_TEXT},
        {L"\\StringFileInfo\\040904B0\\OriginalFilename", "kwilllib.dll"},
    };
    for (const auto& row : rows) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        ASSERT_TRUE(
            ::VerQueryValueW(block.data(), row.key, reinterpret_cast<void**>(&value), &chars))
            << row.want;
        EXPECT_EQ(std::wstring(value), Wide(row.want));
    }
    EXPECT_NE(std::string(KWILL_SOURCE_REVISION), "");
}

// GetDllVersion asks DllGetVersion when the library has one, else reads the version resource,
// whose whole MS and LS words then come back; either way major * 100 + minor.
TEST(VersionResource, GetDllVersionOfTheLibraryItself) {
    auto getDllVersion = test::Named<GetDllVersionFn>("GetDllVersion");
    ASSERT_NE(getDllVersion, nullptr);
    DWORD major = 0xdead, minor = 0xbeef;
    EXPECT_EQ(getDllVersion(OwnPath().c_str(), &major, &minor),
              DWORD{KWILL_VERSION_MAJOR * 100 + KWILL_VERSION_MINOR});
    if (::GetProcAddress(test::KwillDll::Get().module(), "DllGetVersion")) {
        EXPECT_EQ(major, DWORD{KWILL_VERSION_MAJOR});
        EXPECT_EQ(minor, DWORD{KWILL_VERSION_MINOR});
    } else {
        EXPECT_EQ(major, kVersionMS);
        EXPECT_EQ(minor, kVersionLS);
    }
}

}  // namespace
}  // namespace kwill
