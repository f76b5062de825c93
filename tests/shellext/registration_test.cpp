// Registration for real: regsvr32 runs DllRegisterServer in its own process, and a snapshot of
// HKLM\Software and HKCU\Software before and after shows exactly what it wrote. The expected
// rows are kept in registration_rows.txt. Every test puts the registry back as it found it.
#include "tests/common/test_support.h"
#include "tests/shellext/registry_snapshot.h"
#include "tests/shellext/shellext_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <sstream>

namespace kwill::test {
namespace {

const wchar_t kAutoplay[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\";
const wchar_t kHookClass[] = L"Software\\Classes\\CLSID\\{3CF9ECE0-1A9F-11d2-8C73-00C06C2005DE}";

// Keys of older versions that registering removes.
const wchar_t* const kCleanupKeys[] = {
    L"Software\\Classes\\Directory\\Background\\shellex\\ContextMenuHandlers\\Kwill",
    L"Software\\Classes\\coll",
    L"Software\\Classes\\CLSID\\{42BEF283-A10E-472D-B105-9F2B59AFBFC8}",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved\\"
    L"{42BEF283-A10E-472D-B105-9F2B59AFBFC8}",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindExtensions\\Static\\KwillFind",
    L"Software\\Classes\\tarnhelp",
};

// Keys that unregistering deletes with everything below them.
const wchar_t* const kTreeKeys[] = {
    L"Software\\Classes\\CLSID\\{3CF9ECE0-1A9F-11d2-8C73-00C06C2005DE}",
    L"Software\\Classes\\CLSID\\{E9FE4040-3C93-11d4-8006-00201860E88A}",
    L"Software\\Classes\\CLSID\\{B9DD4945-1BED-4cb7-994C-F40B72B7725A}",
    L"Software\\Classes\\CLSID\\{2DF394BA-1955-4a52-900E-303836135F67}",
    L"Software\\Classes\\CLSID\\{BBD5F00E-26A6-4fb2-BAE1-31543C0BEA47}",
    L"Software\\Classes\\CLSID\\{F85D7E1E-9662-4b38-B1AE-3CF1E9581A3C}",
    L"Software\\Classes\\CLSID\\{D2FCA36D-93CD-46f2-8324-6308F6E31B53}",
    L"Software\\Classes\\.kcf",
    L"Software\\Classes\\TarnCommandFile",
    L"Software\\Classes\\.kop",
    L"Software\\Classes\\TarnButtonFile",
    L"Software\\Classes\\.kpf",
    L"Software\\Classes\\TarnPrefsFile",
    L"Software\\Classes\\.kft",
    L"Software\\Classes\\TarnFileTypesFile",
    L"Software\\Classes\\.kps",
    L"Software\\Classes\\TarnSettingsFile",
    L"Software\\Classes\\.klt",
    L"Software\\Classes\\TarnListerTheme",
    L"Software\\Classes\\.flt",
    L"Software\\Classes\\TarnFilterFile",
    L"Software\\Classes\\.tsp",
    L"Software\\Classes\\TarnScriptPackage",
    L"Software\\Classes\\.tarnscriptinstall",
    L"Software\\Classes\\TarnScriptInstallPackage",
    L"Software\\Classes\\tarnprefs",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\"
    L"TarnOpenFolder",
    L"Software\\Microsoft\\Internet Explorer\\Low Rights\\DragDrop\\"
    L"{EE0F1650-117B-4075-A78C-EA86C85710B3}",
};

// Keys that keep existing after unregistering: only values were ours.
const wchar_t* const kValueOnlyKeys[] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\EventHandlers\\"
    L"UnknownContentOnArrival",
};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The expected difference lines, with the placeholders filled in and the key paths lower-cased
// as Difference writes them.
std::vector<std::wstring> ExpectedRows(const std::wstring& action) {
    std::string text = ReadFileText(ExeFolder() + L"registration_rows.txt");
    std::vector<std::wstring> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::wstring wide(line.begin(), line.end());  // the file is ASCII
        size_t bar = wide.find(L" | ");
        wide = Lower(wide.substr(0, bar)) + wide.substr(bar);
        ReplaceAll(wide, L"%DLLDIR%", DllFolder());
        ReplaceAll(wide, L"%ACTION%", action);
        lines.push_back(wide);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool UnderAny(const std::wstring& line, const wchar_t* const* keys, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        std::wstring key = L"hklm\\" + Lower(keys[i]);
        std::wstring path =
            line.substr(2, line.find(L" | ") == std::wstring::npos ? std::wstring::npos
                                                                   : line.find(L" | ") - 2);
        if (path == key || path.compare(0, key.size() + 1, key + L"\\") == 0) return true;
    }
    return false;
}

std::string Show(const std::vector<std::wstring>& lines) {
    std::string out;
    for (const std::wstring& line : lines) out += Narrow(line) + "\n";
    return out;
}

void ExpectLines(const std::vector<std::wstring>& actual,
                 const std::vector<std::wstring>& expected) {
    std::vector<std::wstring> missing, extra;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                        std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << "rows not written:\n" << Show(missing);
    EXPECT_TRUE(extra.empty()) << "written beyond the rows:\n" << Show(extra);
}

std::wstring SystemFile(const wchar_t* name) {
    wchar_t system[MAX_PATH];
    UINT chars = ::GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system, chars) + L"\\" + name;
}

class Registration : public ::testing::Test {
  protected:
    void SetUp() override { original_ = TakeSnapshot(); }
    void TearDown() override {
        for (const wchar_t* key : {kHookClass}) SetMachineKeyDacl(key, L"D:(A;;KA;;;WD)");
        ::DeleteFileW(SystemFile(L"kwill.cpl").c_str());
        EXPECT_EQ(Show(RestoreAdded(original_)), "") << "the registry was not left as found";
    }
    RegistrySnapshot original_;
};

TEST_F(Registration, WritesExactlyTheRowsAndRemovesOldOnes) {
    for (const wchar_t* key : kCleanupKeys) {
        ASSERT_TRUE(CreateMachineKey(std::wstring(key) + L"\\Old")) << Narrow(key);
        ASSERT_TRUE(WriteMachineString(key, L"Old", L"1"));
    }
    const std::wstring cpl = SystemFile(L"kwill.cpl");
    ASSERT_TRUE(WriteFileBytes(cpl, "MZ", 2));
    RegistrySnapshot before = TakeSnapshot();

    ASSERT_EQ(RunRegsvr32(false), 0u);
    std::vector<std::wstring> written;
    for (const std::wstring& line : Difference(before, TakeSnapshot()))
        if (!UnderAny(line, kCleanupKeys, std::size(kCleanupKeys))) written.push_back(line);
    ExpectLines(written, ExpectedRows(L""));  // this prefix has no MSOpenFolder handler
    for (const wchar_t* key : kCleanupKeys) EXPECT_FALSE(MachineKeyExists(key)) << Narrow(key);
    EXPECT_EQ(::GetFileAttributesW(cpl.c_str()), INVALID_FILE_ATTRIBUTES) << "kwill.cpl stays";

    // Unregistering leaves only keys without values: those whose values alone were ours, and
    // the parents that registering made on the way.
    ASSERT_EQ(RunRegsvr32(true), 0u);
    std::vector<std::wstring> allowed;
    auto allowWithParents = [&](const std::wstring& key, bool self) {
        std::wstring path = L"hklm\\" + Lower(key);
        if (self) allowed.push_back(L"+ " + path);
        for (size_t at = path.rfind(L'\\'); at != std::wstring::npos;
             at = path.rfind(L'\\', at - 1)) {
            allowed.push_back(L"+ " + path.substr(0, at));
            if (at == 0) break;
        }
    };
    for (const wchar_t* key : kValueOnlyKeys) allowWithParents(key, true);
    for (const wchar_t* key : kTreeKeys) allowWithParents(key, false);
    for (const wchar_t* key : kCleanupKeys) allowWithParents(key, false);
    for (const std::wstring& line : Difference(original_, TakeSnapshot())) {
        if (UnderAny(line, kCleanupKeys, std::size(kCleanupKeys)) && line[0] == L'-') continue;
        bool isAllowed = std::find(allowed.begin(), allowed.end(), line) != allowed.end();
        EXPECT_TRUE(isAllowed) << "left after unregistering: " << Narrow(line);
    }
    for (const wchar_t* key : kTreeKeys) EXPECT_FALSE(MachineKeyExists(key)) << Narrow(key);
}

TEST_F(Registration, AutoplayActionCopiesTheSystemHandlersText) {
    const std::wstring system = std::wstring(kAutoplay) + L"Handlers\\MSOpenFolder";
    const std::wstring ours = std::wstring(kAutoplay) + L"Handlers\\TarnOpenFolder";
    bool had = false;
    std::wstring action = ReadMachineString(system, L"Action", &had);
    if (!had) {
        action = L"Open folder to view files";
        ASSERT_TRUE(WriteMachineString(system, L"Action", action));
    }
    ASSERT_EQ(RunRegsvr32(false), 0u);
    bool found = false;
    EXPECT_EQ(Narrow(ReadMachineString(ours, L"Action", &found)), Narrow(action));
    EXPECT_TRUE(found);
    ASSERT_EQ(RunRegsvr32(true), 0u);
    EXPECT_FALSE(MachineKeyExists(ours));
}

TEST_F(Registration, AKeyThatMayNotBeWrittenFailsRegistration) {
    ASSERT_TRUE(CreateMachineKey(kHookClass));
    // Everyone may do everything but set values: opening the key for all access fails.
    ASSERT_TRUE(SetMachineKeyDacl(kHookClass, L"D:(D;;0x0002;;;WD)(A;;KA;;;WD)"));
    EXPECT_EQ(RunRegsvr32(false), 5u);
    auto reg = Named<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg(), static_cast<HRESULT>(0x80040201));
    // The first row failed, so nothing was written: the key is as empty as it was made, and the
    // rows after it are missing.
    bool found = true;
    ReadMachineString(kHookClass, nullptr, &found);
    EXPECT_FALSE(found);
    EXPECT_FALSE(MachineKeyExists(std::wstring(kHookClass) + L"\\InprocServer32"));
    EXPECT_FALSE(MachineKeyExists(L"Software\\Classes\\tarnprefs"));
}

TEST_F(Registration, AKeyThatMayNotBeDeletedFailsUnregistration) {
    ASSERT_EQ(RunRegsvr32(false), 0u);
    ASSERT_TRUE(SetMachineKeyDacl(kHookClass, L"D:(D;;SD;;;WD)(A;;KA;;;WD)"));
    EXPECT_EQ(RunRegsvr32(true), 5u);
    auto unreg = Named<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
    ASSERT_NE(unreg, nullptr);
    EXPECT_EQ(unreg(), static_cast<HRESULT>(0x80040201));
    EXPECT_TRUE(MachineKeyExists(kHookClass));
    ASSERT_TRUE(SetMachineKeyDacl(kHookClass, L"D:(A;;KA;;;WD)"));
    EXPECT_EQ(unreg(), S_OK);
    EXPECT_FALSE(MachineKeyExists(kHookClass));
}

}  // namespace
}  // namespace kwill::test
