// The host-or-shell decision with the real shell: real and hand-made ID lists, a class the test
// registers with a control-panel category, and exclusion files in a temporary folder.
#include "hostlink/explorer_override.h"
#include "hostlink/folder_probe.h"
#include "tests/common/test_support.h"
#include "tools/common/text_io.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kwill {
namespace {

using hostlink::FolderRule;
using hostlink::ReplacementSettings;

// {6A8C5E11-2D4B-4F0A-9C1E-18A1B2C3D4E5}: a class this test registers for a moment.
constexpr GUID kCategoryClass = {
    0x6A8C5E11, 0x2D4B, 0x4F0A, {0x9C, 0x1E, 0x18, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5}};
constexpr wchar_t kCategoryKey[] =
    L"Software\\Classes\\CLSID\\{6A8C5E11-2D4B-4F0A-9C1E-18A1B2C3D4E5}";

// A list of one class item holding the GUID, as the shell makes for root folders.
std::vector<uint8_t> ClassItem(const GUID& g) {
    std::vector<uint8_t> list(22, 0);
    list[0] = 20;
    list[2] = 0x1F;
    list[3] = 0x50;
    std::memcpy(list.data() + 4, &g, sizeof(g));
    return list;
}

std::vector<uint8_t> Parse(const wchar_t* path) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(::SHParseDisplayName(path, nullptr, &list, 0, nullptr)) || !list) return {};
    std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(list),
                               reinterpret_cast<uint8_t*>(list) + ::ILGetSize(list));
    ::CoTaskMemFree(list);
    return bytes;
}

std::string ListText(const std::vector<uint8_t>& list) {
    using ToStringFn = DWORD (*)(LPCITEMIDLIST, wchar_t*, DWORD, WORD);
    auto toString = test::Named<ToStringFn>("PIDLToString");
    auto pidl = reinterpret_cast<LPCITEMIDLIST>(list.data());
    std::wstring text(toString(pidl, nullptr, 0, 0), L'\0');
    toString(pidl, text.data(), static_cast<DWORD>(text.size()), 0);
    return tools::Utf8FromWide(text.c_str());
}

class ShellDecision : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ::CoInitialize(nullptr); }
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCategoryKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const wchar_t category[] = L"5";
        ::RegSetValueExW(key, L"System.ControlPanel.Category", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(category), sizeof(category));
        ::RegCloseKey(key);
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCategoryKey); }
};

constexpr uint64_t kOn = hostlink::kSettings1ReplaceExplorer;
constexpr uint64_t kFs = hostlink::kSettings4FileSystemOnly;
constexpr uint64_t kEx = hostlink::kSettings4UseExclusions;

struct Target {
    const char* name;
    const wchar_t* path;
    std::vector<uint8_t> list;
};

TEST_F(ShellDecision, TargetsBySettings) {
    const GUID collection = {
        0xD2FCA36D, 0x93CD, 0x46F2, {0x83, 0x24, 0x63, 0x08, 0xF6, 0xE3, 0x1B, 0x53}};
    const GUID panelA = {
        0x26EE0668, 0xA00A, 0x44D7, {0x93, 0x71, 0xBE, 0xB0, 0x64, 0xC9, 0x86, 0x83}};
    const GUID panelB = {
        0x21EC2020, 0x3AEA, 0x1069, {0xA2, 0xDD, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D}};
    const GUID panelC = {
        0x5399E694, 0x6CE5, 0x4D6C, {0x8F, 0xCE, 0x1D, 0x88, 0x70, 0xFD, 0xCB, 0xA0}};
    const Target targets[] = {
        {"coll path", L"COLL://set", {}},
        {"collection item", nullptr, ClassItem(collection)},
        {"control panel 26EE", nullptr, ClassItem(panelA)},
        {"control panel 21EC", nullptr, ClassItem(panelB)},
        {"control panel 5399", nullptr, ClassItem(panelC)},
        {"registered category", nullptr, ClassItem(kCategoryClass)},
        {"shell's control panel", nullptr,
         Parse(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-"
               L"08002B30309D}")},
        {"windows path", L"C:\\windows", {}},
        {"windows list", nullptr, Parse(L"C:\\windows")},
        {"my computer", nullptr, Parse(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}")},
        {"unc path", L"\\\\nosuchserver\\share", {}},
        {"nothing", nullptr, {}},
    };
    // Expected answers per settings column: off, on, on + file-system only.
    struct Row {
        const char* target;
        const char* off;
        const char* on;
        const char* fileSystem;
    };
    const Row rows[] = {
        {"coll path", "H collection path", "H collection path", "H collection path"},
        {"collection item", "H collection item", "H collection item", "H collection item"},
        {"control panel 26EE", "S replacement off", "S control panel", "H file-system test"},
        {"control panel 21EC", "S replacement off", "S control panel",
         "S not a file-system folder"},
        {"control panel 5399", "S replacement off", "S control panel", "H file-system test"},
        {"registered category", "S replacement off", "S control panel", "H file-system test"},
        {"shell's control panel", "S replacement off", "S control panel",
         "S not a file-system folder"},
        {"windows path", "S replacement off", "H replacement on", "H file-system test"},
        {"windows list", "S replacement off", "H replacement on", "H file-system test"},
        {"my computer", "S replacement off", "H replacement on", "H file-system test"},
        {"unc path", "S replacement off", "H replacement on", "H file-system test"},
        {"nothing", "S replacement off", "H replacement on", "H nothing to test"},
    };
    const ReplacementSettings columns[] = {{0, kFs | kEx}, {kOn, 0}, {kOn, kFs}};
    for (const Row& row : rows) {
        const Target* target = nullptr;
        for (const Target& t : targets) {
            if (std::strcmp(t.name, row.target) == 0) target = &t;
        }
        ASSERT_NE(target, nullptr) << row.target;
        if (!target->path) {
            ASSERT_TRUE(!target->list.empty() || std::strcmp(row.target, "nothing") == 0)
                << row.target;
        }
        const char* expected[] = {row.off, row.on, row.fileSystem};
        for (int c = 0; c < 3; ++c) {
            hostlink::FolderDecision d = hostlink::DecideFolderRequest(
                columns[c], target->path, target->list.empty() ? nullptr : target->list.data(),
                nullptr, 0);
            std::string got = std::string(d.host ? "H " : "S ") + FolderRuleName(d.rule);
            EXPECT_EQ(got, expected[c]) << row.target << ", column " << c;
        }
    }
}

TEST_F(ShellDecision, ExclusionEntries) {
    test::TempFolder temp;
    const std::wstring file = temp / L"exploreroverride.txc";
    const std::vector<uint8_t> system32 = Parse(L"C:\\windows\\system32");
    const std::vector<uint8_t> fonts = Parse(L"C:\\windows\\fonts");
    const std::vector<uint8_t> temporary = Parse(L"C:\\windows\\temp");
    const std::vector<uint8_t> help = Parse(L"C:\\windows\\help");
    const std::vector<uint8_t> windows = Parse(L"C:\\windows");
    ASSERT_FALSE(system32.empty() || fonts.empty() || temporary.empty() || help.empty());
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<exploreroverride>\n"
        "<path><dir><pidl>" +
        ListText(system32) +
        "</pidl></dir></path>\n"                                                  // 0
        "<path><dir><pathstring>C:\\WINDOWS\\FONTS</pathstring></dir></path>\n"   // 1
        "<path><dir><pathstring>c:\\windows\\temp\\</pathstring></dir></path>\n"  // 2
        "<path><dir><pidl>?not-a-list</pidl><pathstring>C:\\windows\\help</pathstring>"
        "</dir></path>\n"                                                           // 3
        "<path><dir><pathstring>C:\\windows\\system32</pathstring></dir></path>\n"  // 4
        "<path><other/></path>\n"                                                   // 5
        "</exploreroverride>\n";
    ASSERT_TRUE(test::WriteFileBytes(file, xml.data(), xml.size()));

    struct Row {
        const char* name;
        const wchar_t* path;
        const std::vector<uint8_t>* list;
        const char* expected;
        size_t entry;
    };
    const Row rows[] = {
        {"by list", nullptr, &system32, "S exclusion entry", 0},
        // a path is compared by path: entry 0 has no path, entry 4 matches
        {"by path, later entry", L"C:\\Windows\\System32", nullptr, "S exclusion entry", 4},
        {"path in another case", L"c:\\windows\\fonts", nullptr, "S exclusion entry", 1},
        {"list by parsing name", nullptr, &fonts, "S exclusion entry", 1},
        {"trailing separator", L"C:\\windows\\temp", nullptr, "S exclusion entry", 2},
        {"list by parsed entry", nullptr, &temporary, "S exclusion entry", 2},
        {"bad pidl text falls back", nullptr, &help, "S exclusion entry", 3},
        {"path and list: list wins", L"C:\\elsewhere", &system32, "S exclusion entry", 0},
        {"no match", L"C:\\windows", nullptr, "H no exclusion matched", 0},
        {"no match by list", nullptr, &windows, "H no exclusion matched", 0},
    };
    const ReplacementSettings withExclusions{kOn, kEx};
    for (const Row& row : rows) {
        hostlink::FolderDecision d = hostlink::DecideFolderRequest(
            withExclusions, row.path, row.list ? row.list->data() : nullptr, file.c_str(), 0);
        std::string got = std::string(d.host ? "H " : "S ") + FolderRuleName(d.rule);
        EXPECT_EQ(got, row.expected) << row.name;
        if (!d.host) {
            EXPECT_EQ(d.entry, row.entry) << row.name;
        }
        // Without the exclusion bit, or in file-system mode, the file is not consulted.
        EXPECT_TRUE(hostlink::DecideFolderRequest(
                        {kOn, 0}, row.path, row.list ? row.list->data() : nullptr, file.c_str(), 0)
                        .host)
            << row.name;
    }

    // A missing or malformed file means no exclusions.
    const std::string broken = "<exploreroverride><path><dir>";
    const std::wstring brokenFile = temp / L"broken.txc";
    ASSERT_TRUE(test::WriteFileBytes(brokenFile, broken.data(), broken.size()));
    for (const std::wstring& name : {brokenFile, temp / L"missing.txc"}) {
        hostlink::FolderDecision d = hostlink::DecideFolderRequest(
            withExclusions, L"C:\\windows\\fonts", nullptr, name.c_str(), 0);
        EXPECT_TRUE(d.host);
        EXPECT_STREQ(FolderRuleName(d.rule), "exclusions unavailable");
    }
    // A document of another kind has no entries.
    const std::string other = "<?xml version=\"1.0\"?><prefs/>";
    ASSERT_TRUE(test::WriteFileBytes(brokenFile, other.data(), other.size()));
    hostlink::FolderDecision d = hostlink::DecideFolderRequest(
        withExclusions, L"C:\\windows\\fonts", nullptr, brokenFile.c_str(), 0);
    EXPECT_STREQ(FolderRuleName(d.rule), "no exclusion matched");
}

}  // namespace
}  // namespace kwill
