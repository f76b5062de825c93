// ShouldHostOpenFolder as the shell extensions call it: the settings come from the preferences
// file of a temporary configuration folder, or from the running host, and the exclusion file
// from the same folder. Each run is a fresh probe process, because the library reads its
// configuration folders once per process.
#include "hostlink/prefs_reply.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tools/common/text_io.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kwill {
namespace {

struct Column {
    const char* name;
    const char* settings1;
    const char* settings4;
    std::vector<std::string> expected;  // per target: "H|S rule entry"
};

std::wstring ListText(const wchar_t* path) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(::SHParseDisplayName(path, nullptr, &list, 0, nullptr))) return L"";
    using ToStringFn = DWORD (*)(LPCITEMIDLIST, wchar_t*, DWORD, WORD);
    auto toString = test::Named<ToStringFn>("PIDLToString");
    std::wstring text(toString(list, nullptr, 0, 0), L'\0');
    toString(list, text.data(), static_cast<DWORD>(text.size()), 0);
    ::CoTaskMemFree(list);
    return text.c_str();
}

// The configuration folder of installation mode 2: "PA_TARNDATAFILES", set for the probe only.
class ConfigFolder {
  public:
    ConfigFolder() {
        ::CreateDirectoryW((temp_ / L"ConfigFiles").c_str(), nullptr);
        std::wstring folder = temp_.path().substr(0, temp_.path().size() - 1);
        ::SetEnvironmentVariableW(L"PA_TARNDATAFILES", folder.c_str());
    }
    ~ConfigFolder() { ::SetEnvironmentVariableW(L"PA_TARNDATAFILES", nullptr); }
    bool Write(const std::wstring& name, const std::string& text) {
        return test::WriteFileBytes(temp_ / (L"ConfigFiles\\" + name), text.data(), text.size());
    }
    std::wstring operator/(const std::wstring& name) const { return temp_ / name; }

  private:
    test::TempFolder temp_;
};

std::string Prefs(const char* settings1, const char* settings4) {
    return std::string("<?xml version=\"1.0\"?>\n<prefs><flags settings1=\"") + settings1 +
           "\" settings2=\"0\" settings4=\"" + settings4 + "\"/></prefs>\n";
}

std::vector<std::string> RunProbe(const ConfigFolder& config,
                                  const std::vector<std::wstring>& targets) {
    std::wstring out = config / L"decisions.txt";
    std::wstring arguments = L"decide \"" + out + L"\"";
    for (const std::wstring& t : targets) arguments += L" \"" + t + L"\"";
    test::ProcessResult r = test::RunProcess(test::ExeFolder() + L"explorer_probe.exe", arguments);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    return tools::SplitLines(test::ReadFileText(out));
}

const std::string kExclusions =
    "<?xml version=\"1.0\"?>\n<exploreroverride>"
    "<path><dir><pathstring>C:\\Windows\\Fonts</pathstring></dir></path>"
    "</exploreroverride>\n";

std::vector<std::wstring> Targets() {
    return {L"path:C:\\windows\\fonts", L"path:C:\\windows", L"path:coll://x",
            L"pidl:" + ListText(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-"
                                L"A2DD-08002B30309D}"),
            L"none"};
}

// Rule numbers of ExplainHostOpenFolder: 0 coll path, 2 off, 3 control panel, 4 on,
// 6 excluded, 7 not excluded, 8 nothing to test, 9 file-system test, 11 not file-system.
const Column kColumns[] = {
    {"off", "0", "0", {"S 2 0", "S 2 0", "H 0 0", "S 2 0", "S 2 0"}},
    {"on", "0x8000000000000000", "0", {"H 4 0", "H 4 0", "H 0 0", "S 3 0", "H 4 0"}},
    {"on, exclusions", "0x8000000000000000", "0x8", {"S 6 0", "H 7 0", "H 0 0", "S 3 0", "H 7 0"}},
    {"on, file-system only",
     "0x8000000000000000",
     "4",
     {"H 9 0", "H 9 0", "H 0 0", "S 11 0", "H 8 0"}},
};

TEST(DecisionExport, SettingsFromThePreferencesFile) {
    using ExplainFn = BOOL (*)(const wchar_t*, LPCITEMIDLIST, DWORD*, DWORD*);
    using ShouldFn = BOOL (*)(const wchar_t*, LPCITEMIDLIST);
    ASSERT_NE(test::Named<ExplainFn>("ExplainHostOpenFolder"), nullptr);
    ASSERT_EQ(test::Named<ShouldFn>("ShouldHostOpenFolder"), test::Ordinal<ShouldFn>(42));
    ASSERT_EQ(::FindWindowW(L"Kwill.ParentWindow", L"Tarnwell"), nullptr);

    ConfigFolder config;
    ASSERT_TRUE(config.Write(L"exploreroverride.txc", kExclusions));
    const std::vector<std::wstring> targets = Targets();
    for (const Column& column : kColumns) {
        ASSERT_TRUE(config.Write(L"Prefs.txc", Prefs(column.settings1, column.settings4)));
        EXPECT_EQ(RunProbe(config, targets), column.expected) << column.name;
    }
    // Without a preferences file the replacement is off.
    ::DeleteFileW((config / L"ConfigFiles\\Prefs.txc").c_str());
    EXPECT_EQ(RunProbe(config, targets), kColumns[0].expected) << "no preferences file";
}

// The same table with the settings answered by the running host ("kwillmsg.GetPrefsFlags" from
// the stand-in), while the preferences file says the opposite: the host's answer wins.
TEST(DecisionExport, SettingsFromTheRunningHost) {
    ASSERT_EQ(::FindWindowW(L"Kwill.ParentWindow", L"Tarnwell"), nullptr);
    ConfigFolder config;
    ASSERT_TRUE(config.Write(L"exploreroverride.txc", kExclusions));
    const std::vector<std::wstring> targets = Targets();
    for (const Column& column : kColumns) {
        host::PrefsFlagsData data;
        data.settings1 = std::strtoull(column.settings1, nullptr, 0);
        data.settings4 = std::strtoull(column.settings4, nullptr, 0);
        std::vector<uint8_t> reply = host::BuildPrefsReply(data, false);
        std::wstring replyFile = config / L"reply.bin";
        ASSERT_TRUE(test::WriteFileBytes(replyFile, reply.data(), reply.size()));
        // The file holds the other answer: replacement on with exclusions where the host says
        // off, and off where the host says on.
        ASSERT_TRUE(config.Write(
            L"Prefs.txc", data.settings1 ? Prefs("0", "0") : Prefs("0x8000000000000000", "0x8")));
        test::StandInHost host;
        ASSERT_TRUE(host.Start(L"nodef \"--prefs-reply=" + replyFile + L"\""));
        EXPECT_EQ(RunProbe(config, targets), column.expected) << column.name << " (host)";
        EXPECT_TRUE(host.Stop());
    }
}

}  // namespace
}  // namespace kwill
