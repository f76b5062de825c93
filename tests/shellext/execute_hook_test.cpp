// The shell execute hook: its decision driven through a fake environment, one row per rule and
// branch, and the hook object as the shell reaches it through the DLL's class object.
#include "hostlink/prefs_reply.h"
#include "shellext/execute_hook_decision.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/shellext/shellext_support.h"
#include "tools/common/text_io.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <thread>

namespace kwill::shellext {
namespace {

// Three distinct "ID lists": the fake answers by pointer, so their content does not matter.
const uint8_t kListA[] = {4, 0, 1, 2, 0, 0};
const uint8_t kListB[] = {4, 0, 3, 4, 0, 0};
const uint8_t kListC[] = {4, 0, 5, 6, 0, 0};
PCIDLIST_ABSOLUTE ListA() {
    return reinterpret_cast<PCIDLIST_ABSOLUTE>(kListA);
}
PCIDLIST_ABSOLUTE ListB() {
    return reinterpret_cast<PCIDLIST_ABSOLUTE>(kListB);
}
PCIDLIST_ABSOLUTE ListC() {
    return reinterpret_cast<PCIDLIST_ABSOLUTE>(kListC);
}

// A fresh list the fake "parses", so the decision owns something to free.
OwnedIdList NewList() {
    auto* p = static_cast<uint8_t*>(::CoTaskMemAlloc(2));
    p[0] = p[1] = 0;
    return OwnedIdList(reinterpret_cast<PIDLIST_ABSOLUTE>(p));
}

class FakeEnvironment : public ExecuteHookEnvironment {
  public:
    bool bypass = false;
    bool skipNext = false;
    bool own = false;
    bool insideHost = false;
    uint64_t settings1 = kSettings1ReplaceFolders;
    PCIDLIST_ABSOLUTE libraries = nullptr;
    PCIDLIST_ABSOLUTE network = nullptr;
    PCIDLIST_ABSOLUTE defaultWindowItem = nullptr;
    std::map<std::wstring, bool> shellNames;    // name -> is a folder
    std::map<std::wstring, bool> desktopNames;  // names the desktop parses
    PCIDLIST_ABSOLUTE folderItem = nullptr;
    std::map<const void*, std::wstring> listPaths;
    std::map<std::wstring, std::wstring> classKey;  // subkey -> text
    std::map<std::wstring, DWORD> attributes;
    bool hostTakes = true;
    // What the decision asked ShouldHostOpenFolder.
    std::wstring askedPath;
    bool askedWithList = false;

    bool HookBypassed() override { return bypass; }
    bool TakeSkipNext() override {
        bool was = skipNext;
        skipNext = false;
        return was;
    }
    bool IsOwnRequest(const SHELLEXECUTEINFOW&) override { return own; }
    bool InsideHost() override { return insideHost; }
    uint64_t Settings1() override { return settings1; }
    bool IsLibrariesFolder(PCIDLIST_ABSOLUTE list) override { return list == libraries; }
    bool IsNetworkFolder(PCIDLIST_ABSOLUTE list) override { return list == network; }
    bool ItemHasClass(PCIDLIST_ABSOLUTE list, REFCLSID) override {
        return list == defaultWindowItem;
    }
    OwnedIdList ParseShellName(const std::wstring& name, bool* folder) override {
        auto it = shellNames.find(name);
        *folder = it != shellNames.end() && it->second;
        return it == shellNames.end() ? nullptr : NewList();
    }
    OwnedIdList ParseDesktopName(const std::wstring& name) override {
        return desktopNames.count(name) ? NewList() : nullptr;
    }
    bool IsFolderItem(PCIDLIST_ABSOLUTE list) override { return list == folderItem; }
    std::wstring ListPath(PCIDLIST_ABSOLUTE list) override {
        auto it = listPaths.find(list);
        return it == listPaths.end() ? L"" : it->second;
    }
    std::optional<std::wstring> ClassKeyText(HKEY, const std::wstring& subkey) override {
        auto it = classKey.find(subkey);
        if (it == classKey.end()) return std::nullopt;
        return it->second;
    }
    DWORD FileAttributes(const std::wstring& path) override {
        auto it = attributes.find(path);
        return it == attributes.end() ? INVALID_FILE_ATTRIBUTES : it->second;
    }
    std::wstring FullPath(const std::wstring& path, const wchar_t* directory) override {
        if (directory && *directory && path.size() > 1 && path[1] != L':')
            return std::wstring(directory) + L"\\" + path;
        return path;
    }
    bool ShouldHostOpenFolder(const wchar_t* path, PCIDLIST_ABSOLUTE list) override {
        askedPath = path ? path : L"";
        askedWithList = list != nullptr;
        return hostTakes;
    }
};

constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kFile = FILE_ATTRIBUTE_ARCHIVE;

struct Row {
    const char* name;
    // The request.
    const wchar_t* verb;
    const wchar_t* file;
    const wchar_t* params;
    ULONG mask;
    PCIDLIST_ABSOLUTE list;
    bool classKey;
    const wchar_t* directory;
    // How the fake answers.
    void (*setUp)(FakeEnvironment&);
    // What the decision should be.
    HookAction action;
    bool setSkipNext;
    bool setPassThrough;
    const wchar_t* path;  // kSendOpen / kStartExplorer: the path (null: not checked)
    const wchar_t* select;
    int list_;  // kSendOpen: 0 no list, 1 the request's list, 2 a list the hook made
};

void Nothing(FakeEnvironment&) {}

const Row kRows[] = {
    // The shared switches come first, whatever the request.
    {"bypass counter", nullptr, L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) {
         e.bypass = true;
         e.attributes[L"C:\\dir"] = kDir;
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"skip-next flag", nullptr, L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) {
         e.skipNext = true;
         e.attributes[L"C:\\dir"] = kDir;
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"own request", nullptr, L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) {
         e.own = true;
         e.attributes[L"C:\\dir"] = kDir;
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},

    // The shell's own "open Explorer" item starts Explorer itself.
    {"Explorer item", nullptr, L"::{26ee0668-a00a-44d7-9371-beb064c98683}", nullptr, 0, nullptr,
     false, nullptr, Nothing, HookAction::kStartExplorer, false, false,
     L"::{26ee0668-a00a-44d7-9371-beb064c98683}", nullptr, 0},
    {"Explorer item with parameters", nullptr, L"::{26EE0668-A00A-44D7-9371-BEB064C98683}",
     L"/e", 0, nullptr, false, nullptr, Nothing, HookAction::kPass, false, false, nullptr, nullptr,
     0},

    // Verbs.
    {"print", L"print", L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.attributes[L"C:\\dir"] = kDir; }, HookAction::kPass, false,
     false, nullptr, nullptr, 0},
    {"saved search", L"open", L"C:\\s\\q.FND", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.attributes[L"C:\\s\\q.FND"] = kDir; }, HookAction::kPass, false,
     false, nullptr, nullptr, 0},
    {"libraries in a new window", L"opennewwindow", nullptr, nullptr, SEE_MASK_IDLIST, ListA(),
     false, nullptr,
     [](FakeEnvironment& e) {
         e.libraries = ListA();
         e.folderItem = ListA();
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"folder in a new window", L"opennewwindow", nullptr, nullptr, SEE_MASK_IDLIST, ListA(),
     false, nullptr, [](FakeEnvironment& e) { e.folderItem = ListA(); }, HookAction::kSendOpen,
     false, false, L"", nullptr, 1},

    // The "default window" item.
    {"default window, bit 55", nullptr, nullptr, nullptr, SEE_MASK_IDLIST, ListB(), false,
     nullptr,
     [](FakeEnvironment& e) {
         e.defaultWindowItem = ListB();
         e.settings1 = kSettings1DefaultWindowHost;
     },
     HookAction::kDefaultWindow, false, false, nullptr, nullptr, 0},
    {"default window, bit 7", nullptr, nullptr, nullptr, SEE_MASK_IDLIST, ListB(), false, nullptr,
     [](FakeEnvironment& e) { e.defaultWindowItem = ListB(); }, HookAction::kDefaultWindow,
     false, false, nullptr, nullptr, 0},
    {"default window, bit 7 and 56", nullptr, nullptr, nullptr, SEE_MASK_IDLIST, ListB(), false,
     nullptr,
     [](FakeEnvironment& e) {
         e.defaultWindowItem = ListB();
         e.settings1 |= kSettings1DefaultWindowShell;
         e.folderItem = ListB();
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},

    // ftp:// addresses, only when the user wants them in the host.
    {"ftp, bit 23", nullptr, L"FTP://host/dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.settings1 = kSettings1FtpToHost; }, HookAction::kSendOpen, false,
     false, L"FTP://host/dir", nullptr, 0},
    {"ftp, explore verb", L"explore", L"ftp://host/dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.settings1 = kSettings1FtpToHost; }, HookAction::kPass, false,
     false, nullptr, nullptr, 0},
    {"ftp, no bit 23", nullptr, L"ftp://host/dir", nullptr, 0, nullptr, false, nullptr, Nothing,
     HookAction::kPass, false, false, nullptr, nullptr, 0},

    // Paths.
    {"replacement off", nullptr, L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) {
         e.settings1 = 0;
         e.attributes[L"C:\\dir"] = kDir;
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"folder path", L"explore", L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.attributes[L"C:\\dir"] = kDir; }, HookAction::kSendOpen, false,
     false, L"C:\\dir", nullptr, 0},
    {"relative folder path", L"open", L"sub", nullptr, 0, nullptr, false, L"C:\\base",
     [](FakeEnvironment& e) { e.attributes[L"C:\\base\\sub"] = kDir; }, HookAction::kSendOpen,
     false, false, L"C:\\base\\sub", nullptr, 0},
    {"folder the shell keeps", nullptr, L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) {
         e.attributes[L"C:\\dir"] = kDir;
         e.hostTakes = false;
     },
     HookAction::kPass, false, true, nullptr, nullptr, 0},
    {"a file", nullptr, L"C:\\a.txt", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.attributes[L"C:\\a.txt"] = kFile; }, HookAction::kPass, false,
     false, nullptr, nullptr, 0},
    {"find on a folder path", L"find", L"C:\\dir", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.attributes[L"C:\\dir"] = kDir; }, HookAction::kPass, false,
     false, nullptr, nullptr, 0},
    {"file:// with a third slash and %20", nullptr, L"file:///C:/a%20b/", nullptr, 0, nullptr,
     false, nullptr, [](FakeEnvironment& e) { e.attributes[L"C:/a b/"] = kDir; },
     HookAction::kSendOpen, false, false, L"C:/a b/", nullptr, 0},
    {"shell: folder", nullptr, L"shell:Downloads", nullptr, 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.shellNames[L"shell:Downloads"] = true; }, HookAction::kSendOpen,
     false, false, L"", nullptr, 2},
    {"shell: item that is no folder", nullptr, L"shell:AppsFolder\\x", nullptr, 0, nullptr, false,
     nullptr, [](FakeEnvironment& e) { e.shellNames[L"shell:AppsFolder\\x"] = false; },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"a program named like Explorer", nullptr, L"C:\\tools\\fileexplorer.exe", L"/e,C:\\dir", 0,
     nullptr, false, nullptr,
     [](FakeEnvironment& e) {
         e.attributes[L"C:\\tools\\fileexplorer.exe"] = kFile;
         e.desktopNames[L"C:\\dir"] = true;
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},

    // Explorer itself with a command line.
    {"Explorer /e", nullptr, L"explorer.exe", L"/e,C:\\dir", 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.desktopNames[L"C:\\dir"] = true; }, HookAction::kSendOpen, false,
     false, L"C:\\dir", nullptr, 2},
    {"Explorer, quoted path, root wins", nullptr, L"\"C:\\Windows\\EXPLORER.EXE\"",
     L"/root,\"C:\\r d\",C:\\p", 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.desktopNames[L"C:\\r d"] = true; }, HookAction::kSendOpen, false,
     false, L"C:\\r d", nullptr, 2},
    {"Explorer /select", nullptr, L"C:\\Windows\\explorer", L"/select,C:\\dir\\a.txt", 0, nullptr,
     false, nullptr,
     [](FakeEnvironment& e) {
         e.attributes[L"C:\\dir\\a.txt"] = kFile;
         e.desktopNames[L"C:\\dir"] = true;
     },
     HookAction::kSendOpen, false, false, L"C:\\dir", L"a.txt", 2},
    {"Explorer /select in a drive's root", nullptr, L"explorer", L"/select,C:\\a.txt", 0, nullptr,
     false, nullptr, [](FakeEnvironment& e) { e.desktopNames[L"C:\\"] = true; },
     HookAction::kSendOpen, false, false, L"C:\\", L"a.txt", 2},
    {"Explorer on a drive", nullptr, L"explorer.exe", L"D:", 0, nullptr, false, nullptr,
     [](FakeEnvironment& e) { e.desktopNames[L"D:\\"] = true; }, HookAction::kSendOpen, false,
     false, L"D:\\", nullptr, 2},
    {"Explorer opening a file", nullptr, L"explorer.exe", L"C:\\a.txt", 0, nullptr, false,
     nullptr,
     [](FakeEnvironment& e) {
         e.attributes[L"C:\\a.txt"] = kFile;
         e.desktopNames[L"C:\\a.txt"] = true;
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"Explorer with a web address", nullptr, L"explorer.exe", L"  HTTPS://example.com", 0,
     nullptr, false, nullptr, Nothing, HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"Explorer inside the host", nullptr, L"explorer.exe", L"/e,C:\\dir", 0, nullptr, false,
     nullptr,
     [](FakeEnvironment& e) {
         e.insideHost = true;
         e.desktopNames[L"C:\\dir"] = true;
     },
     HookAction::kPass, true, false, nullptr, nullptr, 0},
    {"Explorer without a folder", nullptr, L"explorer.exe", nullptr, 0, nullptr, false, nullptr,
     Nothing, HookAction::kPass, true, true, nullptr, nullptr, 0},
    {"Explorer's folder does not parse", nullptr, L"explorer.exe", L"/e,Q:\\gone", 0, nullptr,
     false, nullptr, Nothing, HookAction::kPass, true, true, nullptr, nullptr, 0},
    {"Explorer's folder relative to the request's", nullptr, L"explorer.exe", L"sub", 0, nullptr,
     false, L"C:\\base", [](FakeEnvironment& e) { e.desktopNames[L"C:\\base\\sub"] = true; },
     HookAction::kSendOpen, false, false, L"C:\\base\\sub", nullptr, 2},
    {"Explorer, folder the shell keeps", nullptr, L"explorer.exe", L"/e,C:\\dir", 0, nullptr,
     false, nullptr,
     [](FakeEnvironment& e) {
         e.desktopNames[L"C:\\dir"] = true;
         e.hostTakes = false;
     },
     HookAction::kPass, true, true, nullptr, nullptr, 0},

    // Class key requests.
    {"class key, Explorer command", L"open", L"C:\\dir", nullptr, SEE_MASK_CLASSKEY, nullptr, true,
     nullptr,
     [](FakeEnvironment& e) {
         e.classKey[L"shell\\open\\command"] = L"C:\\Windows\\Explorer.exe /e,C:\\dir";
         e.desktopNames[L"C:\\dir"] = true;
     },
     HookAction::kSendOpen, false, false, L"C:\\dir", nullptr, 2},
    {"class key, quoted Explorer", L"open", L"C:\\dir", nullptr, SEE_MASK_CLASSNAME, nullptr, true,
     nullptr,
     [](FakeEnvironment& e) {
         e.classKey[L"shell\\open\\command"] = L"\"C:\\Win dows\\explorer.exe\" /e,C:\\dir";
         e.desktopNames[L"C:\\dir"] = true;
     },
     HookAction::kSendOpen, false, false, L"C:\\dir", nullptr, 2},
    {"class key, shell file DDE", L"open", L"C:\\dir", nullptr, SEE_MASK_CLASSKEY, nullptr, true,
     nullptr,
     [](FakeEnvironment& e) {
         e.classKey[L"shell\\open\\command"] = L"explorer.exe /e,C:\\dir";
         e.classKey[L"shell\\open\\ddeexec"] = L"[ShellFile(\"%1\")]";
         e.desktopNames[L"C:\\dir"] = true;
     },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"class key, another program", L"open", L"C:\\dir", nullptr, SEE_MASK_CLASSKEY, nullptr, true,
     nullptr,
     [](FakeEnvironment& e) { e.classKey[L"shell\\open\\command"] = L"notepad.exe %1"; },
     HookAction::kPass, false, false, nullptr, nullptr, 0},
    {"class key, explore", L"explore", L"C:\\dir", nullptr, SEE_MASK_CLASSKEY, nullptr, true,
     nullptr, [](FakeEnvironment& e) { e.attributes[L"C:\\dir"] = kDir; }, HookAction::kPass,
     false, false, nullptr, nullptr, 0},
    {"class key, find on the network", L"find", nullptr, nullptr, SEE_MASK_CLASSKEY | SEE_MASK_IDLIST,
     ListC(), true, nullptr, [](FakeEnvironment& e) { e.network = ListC(); },
     HookAction::kSendOpen, false, false, L"", nullptr, 1},
    {"class key, find elsewhere", L"find", nullptr, nullptr, SEE_MASK_CLASSKEY | SEE_MASK_IDLIST,
     ListA(), true, nullptr, [](FakeEnvironment& e) { e.network = ListC(); }, HookAction::kPass,
     false, false, nullptr, nullptr, 0},

    // Item list requests.
    {"folder item", nullptr, nullptr, nullptr, SEE_MASK_INVOKEIDLIST, ListA(), false, nullptr,
     [](FakeEnvironment& e) { e.folderItem = ListA(); }, HookAction::kSendOpen, false, false, L"",
     nullptr, 1},
    {"Explorer's item with a command line", nullptr, nullptr, L"/e,C:\\dir", SEE_MASK_IDLIST,
     ListA(), false, nullptr,
     [](FakeEnvironment& e) {
         e.listPaths[ListA()] = L"C:\\Windows\\explorer.exe";
         e.desktopNames[L"C:\\dir"] = true;
     },
     HookAction::kSendOpen, false, false, L"C:\\dir", nullptr, 2},
    {"item that is no folder", nullptr, nullptr, nullptr, SEE_MASK_IDLIST, ListA(), false,
     nullptr, Nothing, HookAction::kPass, false, false, nullptr, nullptr, 0},
};

TEST(ExecuteHookDecision, Table) {
    for (const Row& row : kRows) {
        FakeEnvironment env;
        row.setUp(env);
        SHELLEXECUTEINFOW request{};
        request.cbSize = sizeof(request);
        request.lpVerb = row.verb;
        request.lpFile = row.file;
        request.lpParameters = row.params;
        request.fMask = row.mask;
        request.lpIDList = const_cast<ITEMIDLIST_ABSOLUTE*>(row.list);
        request.lpDirectory = row.directory;
        if (row.classKey) request.hkeyClass = HKEY_CLASSES_ROOT;
        HookDecision d = DecideExecuteHook(request, env);
        SCOPED_TRACE(std::string(row.name) + " (rule: " + d.why + ")");
        EXPECT_EQ(static_cast<int>(d.action), static_cast<int>(row.action));
        EXPECT_EQ(d.setSkipNext, row.setSkipNext);
        EXPECT_EQ(d.setPassThrough, row.setPassThrough);
        if (row.path) {
            EXPECT_EQ(d.path, row.path);
        }
        EXPECT_EQ(d.select, row.select ? row.select : L"");
        if (row.action == HookAction::kSendOpen) {
            switch (row.list_) {
                case 0:
                    EXPECT_EQ(d.list, nullptr);
                    break;
                case 1:
                    EXPECT_EQ(d.list, row.list);
                    EXPECT_EQ(d.ownedList, nullptr);
                    break;
                case 2:
                    ASSERT_NE(d.ownedList, nullptr);
                    EXPECT_EQ(d.list, d.ownedList.get());
                    break;
            }
            if (!d.ftp) {
                EXPECT_EQ(env.askedWithList, d.list != nullptr);
            }
        }
    }
}

// The skip-next flag lets exactly one request through.
TEST(ExecuteHookDecision, SkipNextPassesOneRequest) {
    FakeEnvironment env;
    env.skipNext = true;
    env.attributes[L"C:\\dir"] = kDir;
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.lpFile = L"C:\\dir";
    EXPECT_EQ(DecideExecuteHook(request, env).action, HookAction::kPass);
    EXPECT_EQ(DecideExecuteHook(request, env).action, HookAction::kSendOpen);
}

TEST(ExecuteHookDecision, NamesExplorer) {
    static const struct {
        const wchar_t* text;
        bool explorer;
    } rows[] = {
        {L"explorer", true},
        {L"EXPLORER.EXE", true},
        {L"C:\\Windows\\explorer.exe", true},
        {L"\"C:\\Windows\\explorer.exe\"", true},
        {L"C:/Windows/Explorer", true},
        {L"fileexplorer.exe", false},
        {L"C:\\tools\\fileexplorer.exe", false},
        {L"explorer.exe.lnk", false},
        {L"C:\\explorer\\x.exe", false},
        {L"", false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(NamesExplorer(r.text), r.explorer) << tools::Utf8FromWide(r.text);
    }
}

TEST(ExecuteHookDecision, FileUrlToPath) {
    static const struct {
        const wchar_t* url;
        const wchar_t* path;
    } rows[] = {
        {L"file:///C:/a%20b/", L"C:/a b/"},
        {L"FILE://C:/x", L"C:/x"},
        {L"file://server/share", L"server/share"},
        {L"file:///C:/%E2%82%AC", L"C:/\u20AC"},              // UTF-8 bytes: one character
        {L"file:///C:/%FCber", L"C:/\u00FCber"},              // not UTF-8: byte by byte
        {L"file:///C:/%C3%BC%FC", L"C:/\u00C3\u00BC\u00FC"},  // a run that is not UTF-8
        {L"file:///C:/%F0%9F%98%80", L"C:/\U0001F600"},       // a surrogate pair
        {L"file:///C:/50%", L"C:/50%"},
        {L"file:///C:/%4", L"C:/%4"},
        {L"file:///C:/%zz%41", L"C:/%zzA"},
        {L"file:///C:/%%41", L"C:/%A"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(FileUrlToPath(r.url), r.path) << tools::Utf8FromWide(r.url);
    }
}

// The Run dialog's elevation switch needs every condition; taking any one away leaves the
// request alone.
TEST(ExecuteHookDecision, RunDialogSwitch) {
    const RunDialogFacts all{true, true, true, true};
    SHELLEXECUTEINFOW base{};
    base.cbSize = sizeof(base);
    base.fMask = 0x30C;
    base.hwnd = reinterpret_cast<HWND>(0x1234);
    base.lpFile = L"cmd";
    EXPECT_TRUE(RunDialogWantsElevation(base, all));
    SHELLEXECUTEINFOW high = base;
    high.fMask = 0x7030C;  // only the low word counts
    EXPECT_TRUE(RunDialogWantsElevation(high, all));

    RunDialogFacts facts = all;
    facts.shiftAndCtrlDown = false;
    EXPECT_FALSE(RunDialogWantsElevation(base, facts));
    facts = all;
    facts.switchOn = false;
    EXPECT_FALSE(RunDialogWantsElevation(base, facts));
    facts = all;
    facts.callerIsExplorer = false;
    EXPECT_FALSE(RunDialogWantsElevation(base, facts));
    facts = all;
    facts.windowIsStatic = false;
    EXPECT_FALSE(RunDialogWantsElevation(base, facts));

    SHELLEXECUTEINFOW r = base;
    r.fMask = 0x30D;
    EXPECT_FALSE(RunDialogWantsElevation(r, all));
    r = base;
    r.lpVerb = L"open";
    EXPECT_FALSE(RunDialogWantsElevation(r, all));
    r = base;
    r.lpClass = L".txt";
    EXPECT_FALSE(RunDialogWantsElevation(r, all));
    r = base;
    r.hkeyClass = HKEY_CLASSES_ROOT;
    EXPECT_FALSE(RunDialogWantsElevation(r, all));
    r = base;
    r.hwnd = nullptr;
    EXPECT_FALSE(RunDialogWantsElevation(r, all));
}

// The hook object as the shell gets it: from the DLL's class object, without registration.
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
using BypassFn = LONG (*)();

const CLSID kHookClsid = {
    0x3CF9ECE0, 0x1A9F, 0x11d2, {0x8C, 0x73, 0x00, 0xC0, 0x6C, 0x20, 0x05, 0xDE}};

IShellExecuteHookW* NewHook() {
    IShellExecuteHookW* hook = nullptr;
    test::CreateFromClassObject(kHookClsid, IID_IShellExecuteHookW, &hook);
    return hook;
}

TEST(ExecuteHookObject, RefusesBadRequestsAndPassesWhileBypassed) {
    IShellExecuteHookW* hook = NewHook();
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(hook->Execute(nullptr), E_INVALIDARG);
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request) - 1;
    request.lpFile = L"C:\\";
    EXPECT_EQ(hook->Execute(&request), E_INVALIDARG);

    // A verb the hook never takes, and any request while the bypass counter is up.
    request.cbSize = sizeof(request);
    request.lpVerb = L"print";
    EXPECT_EQ(hook->Execute(&request), S_FALSE);
    auto begin = test::Ordinal<BypassFn>(43);
    auto end = test::Ordinal<BypassFn>(44);
    ASSERT_NE(begin, nullptr);
    ASSERT_NE(end, nullptr);
    begin();
    request.lpVerb = nullptr;
    request.lpFile = L"C:\\windows";
    EXPECT_EQ(hook->Execute(&request), S_FALSE);
    EXPECT_EQ(request.hInstApp, nullptr);
    end();
    EXPECT_EQ(hook->Release(), 0u);
    auto canUnload = test::Named<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
}

// End to end: the stand-in host answers the preference request, and the hook of this process
// hands it a folder request (the WM_COPYDATA open request, kind 18, code 16 for "open" with a
// path) and reports 33 in hInstApp; with the replacement off the shell keeps the request and the
// host hears nothing of it.
TEST(ExecuteHookObject, FolderRequestsGoToTheHostWhenTheUserSaysSo) {
    IShellExecuteHookW* hook = NewHook();
    ASSERT_NE(hook, nullptr);
    test::TempFolder folder;
    struct Row {
        const char* name;
        uint64_t settings1;
        HRESULT result;
        INT_PTR instApp;
        bool sent;
    } rows[] = {
        {"replacement on", kSettings1ReplaceFolders | (1ull << 63), S_OK, 33, true},
        {"replacement off", 0, S_FALSE, 0, false},
    };
    for (const Row& r : rows) {
        host::PrefsFlagsData data;
        data.settings1 = r.settings1;
        std::vector<uint8_t> reply = host::BuildPrefsReply(data, false);
        std::wstring replyFile = folder / L"reply.bin";
        ASSERT_TRUE(test::WriteFileBytes(replyFile, reply.data(), reply.size()));
        test::StandInHost host;
        ASSERT_TRUE(host.Start(L"nodef \"--prefs-reply=" + replyFile + L"\""));
        size_t before = host.Lines().size();

        std::wstring target = folder.path().substr(0, folder.path().size() - 1);
        SHELLEXECUTEINFOW request{};
        request.cbSize = sizeof(request);
        request.fMask = SEE_MASK_NOASYNC;
        request.lpFile = target.c_str();
        EXPECT_EQ(hook->Execute(&request), r.result) << r.name;
        EXPECT_EQ(reinterpret_cast<INT_PTR>(request.hInstApp), r.instApp) << r.name;
        bool sent = false;
        std::vector<std::string> lines = host.Lines();
        for (size_t i = before; i < lines.size(); ++i) {
            if (lines[i].rfind("COPYDATA 18 ", 0) != 0) continue;
            sent = true;
            // The block starts with the request code, 16 (open, a path), little-endian.
            EXPECT_NE(lines[i].find(" 10000000"), std::string::npos) << lines[i];
        }
        EXPECT_EQ(sent, r.sent) << r.name;
        EXPECT_TRUE(host.Stop());
    }
    hook->Release();
}

// Sends a folder request through the hook; true when the host got it.
bool HostTakes(IShellExecuteHookW* hook, test::StandInHost& host, const std::wstring& folder) {
    size_t before = host.Lines().size();
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOASYNC;
    request.lpFile = folder.c_str();
    HRESULT hr = hook->Execute(&request);
    std::vector<std::string> lines = host.Lines();
    bool sent = false;
    for (size_t i = before; i < lines.size(); ++i)
        if (lines[i].rfind("COPYDATA 18 ", 0) == 0) sent = true;
    EXPECT_EQ(hr, sent ? S_OK : S_FALSE);
    return sent;
}

// What another process does reaches this one's hook: the bypass counter while it is held, and a
// skip-next flag that lets exactly one request through, also when a thread that held the named
// mutex ended without releasing it.
TEST(ExecuteHookObject, OtherProcessesBypassAndSkip) {
    IShellExecuteHookW* hook = NewHook();
    ASSERT_NE(hook, nullptr);
    test::TempFolder folder;
    host::PrefsFlagsData data;
    data.settings1 = kSettings1ReplaceFolders | (1ull << 63);
    std::vector<uint8_t> reply = host::BuildPrefsReply(data, false);
    std::wstring replyFile = folder / L"reply.bin";
    ASSERT_TRUE(test::WriteFileBytes(replyFile, reply.data(), reply.size()));
    test::StandInHost host;
    ASSERT_TRUE(host.Start(L"nodef \"--prefs-reply=" + replyFile + L"\""));
    std::wstring target = folder.path().substr(0, folder.path().size() - 1);
    std::wstring probe = test::ExeFolder() + L"hookprobe.exe";
    ASSERT_TRUE(HostTakes(hook, host, target));

    // The bypass counter, held up by another process.
    std::wstring tag = std::to_wstring(::GetCurrentProcessId());
    std::wstring readyName = L"kwilltest.hookprobe.ready." + tag;
    std::wstring releaseName = L"kwilltest.hookprobe.release." + tag;
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + probe + L"\" bypass " + readyName + L" " + releaseName;
    ASSERT_TRUE(::CreateProcessW(probe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &si, &pi));
    ASSERT_EQ(::WaitForSingleObject(ready, 30000), WAIT_OBJECT_0);
    EXPECT_FALSE(HostTakes(hook, host, target)) << "while another process holds the bypass";
    ::SetEvent(release);
    ::WaitForSingleObject(pi.hProcess, 30000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(ready);
    ::CloseHandle(release);
    EXPECT_TRUE(HostTakes(hook, host, target)) << "after the bypass ended";

    // The skip-next flag, set by another process's hook: one request passes, the next is taken.
    test::ProcessResult skip = test::RunProcess(probe, L"skipnext");
    ASSERT_TRUE(skip.finished);
    EXPECT_EQ(skip.exitCode, 0u);
    EXPECT_FALSE(HostTakes(hook, host, target)) << "the request the flag lets through";
    EXPECT_TRUE(HostTakes(hook, host, target)) << "the one after it";

    // The same with the named mutex abandoned by a thread that ended holding it.
    skip = test::RunProcess(probe, L"skipnext");
    ASSERT_TRUE(skip.finished);
    EXPECT_EQ(skip.exitCode, 0u);
    std::thread([] {
        HANDLE mutex =
            ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"kwill.win7exhookhelper.mutex");
        if (mutex) ::WaitForSingleObject(mutex, 5000);  // and end without releasing it
    }).join();
    EXPECT_FALSE(HostTakes(hook, host, target)) << "abandoned mutex: the flag still counts";
    EXPECT_TRUE(HostTakes(hook, host, target)) << "abandoned mutex: and is cleared";

    EXPECT_TRUE(host.Stop());
    hook->Release();
}

// The Run dialog's switch from a process named explorer.exe with Shift and Ctrl held and a
// "Static" window: "runas" only with the user's switch on and the request's mask exactly 0x30C
// in its low word; the same probe under its own name never gets it.
TEST(ExecuteHookObject, RunDialogSwitchInExplorersProcess) {
    test::TempFolder folder;
    std::wstring explorer = folder / L"explorer.exe";
    std::wstring other = folder / L"hookprobe.exe";
    ASSERT_TRUE(
        ::CopyFileW((test::ExeFolder() + L"hookprobe.exe").c_str(), explorer.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((test::ExeFolder() + L"hookprobe.exe").c_str(), other.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((test::ExeFolder() + L"kwilllib.dll").c_str(),
                            (folder / L"kwilllib.dll").c_str(), FALSE));

    const wchar_t* key = L"Software\\Brightfold\\Tarnwell";
    HKEY user = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &user, &disposition),
              ERROR_SUCCESS);
    auto setSwitch = [&](bool on) {
        if (on) {
            DWORD one = 1;
            ::RegSetValueExW(user, L"EnableUACForWINR", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof(one));
        } else {
            ::RegDeleteValueW(user, L"EnableUACForWINR");
        }
    };
    static const struct {
        bool explorerName;
        bool switchOn;
        const wchar_t* mask;
        DWORD expected;
    } rows[] = {
        {true, true, L"0x30C", 1}, {true, true, L"0x1030C", 1}, {true, true, L"0x30D", 0},
        {true, true, L"0x10C", 0}, {true, false, L"0x30C", 0},  {false, true, L"0x30C", 0},
    };
    for (const auto& r : rows) {
        setSwitch(r.switchOn);
        test::ProcessResult result =
            test::RunProcess(r.explorerName ? explorer : other, std::wstring(L"runas ") + r.mask);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, r.expected)
            << tools::Utf8FromWide(r.mask) << (r.explorerName ? " as explorer.exe" : "")
            << (r.switchOn ? " switch on" : " switch off");
    }
    setSwitch(false);
    ::RegCloseKey(user);
    if (disposition == REG_CREATED_NEW_KEY) ::RegDeleteKeyW(HKEY_CURRENT_USER, key);
}

}  // namespace
}  // namespace kwill::shellext
