// The desktop context menu as the shell drives it: the DLL registered with regsvr32, the object
// from CoCreateInstance, the desktop background in front (a window of class "Progman" or
// "WorkerW"), the preference file and a "Layouts" tree on disk in the configuration folder. The
// menus are read back item by item with GetMenuItemInfoW, and a chosen layout reaches the
// stand-in host as a WM_COPYDATA record of kind 12.
#include "shellext/class_table.h"
#include "shellext/menu_layouts.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/shellext/shell_scene.h"
#include "tests/shellext/shellext_support.h"
#include "tests/support/test_data_object.h"
#include "tools/common/text_io.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kwill::shellext {
namespace {

using Microsoft::WRL::ComPtr;
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

constexpr uint64_t kDesktopMenu = 0x10000;        // settings1
constexpr uint64_t kFlatLayouts = 0x80000000ull;  // settings4
constexpr UINT kFirst = 100;
constexpr UINT kShellItem = 7;  // an item the shell's menu already holds

const char kLayoutFile[] = "<?xml version=\"1.0\" ?>\n<lister_layout flags=\"0x21\" />\n";

ComPtr<IContextMenu> Create(REFCLSID clsid) {
    ComPtr<IContextMenu> menu;
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                       reinterpret_cast<void**>(menu.GetAddressOf()));
    return menu;
}

// A menu as one line: "-" a separator, "name#offset" a command (its verb when it has one, else
// its text; the offset from the first identifier), "text{...}" a submenu ("SUB" for the
// extension's own submenu in the shell's menu, whose text is a language string), "shell" the item
// that was there before, and "!id" any identifier outside the range the shell granted.
struct MenuReader {
    IContextMenu* object;
    UINT first;
    UINT last;
    bool titledTop;  // a submenu in the shell's menu is the extension's own, titled by number
    std::set<UINT> seen;
    bool duplicate = false;

    std::wstring Read(HMENU menu, int depth = 0) {
        std::wstring line;
        int count = ::GetMenuItemCount(menu);
        for (int i = 0; i < count; ++i) {
            wchar_t text[512] = {};
            MENUITEMINFOW item{};
            item.cbSize = sizeof(item);
            item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
            item.dwTypeData = text;
            item.cch = 512;
            if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) {
                line += L" ?";
                continue;
            }
            if (!line.empty()) line += L' ';
            if (item.fType & MFT_SEPARATOR) {
                line += L'-';
                if (item.wID && (item.wID < first || item.wID > last))
                    line += L"!" + std::to_wstring(item.wID);
            } else if (item.hSubMenu) {
                line += depth == 0 && titledTop ? (text[0] ? L"SUB" : L"<untitled>")
                                                : std::wstring(text);
                line += L'{' + Read(item.hSubMenu, depth + 1) + L'}';
            } else if (item.wID == kShellItem && depth == 0) {
                line += L"shell";
            } else if (item.wID < first || item.wID > last) {
                line += L"!" + std::to_wstring(item.wID);
            } else {
                UINT offset = item.wID - first;
                duplicate |= !seen.insert(offset).second;
                wchar_t verb[64] = {};
                HRESULT hr = object->GetCommandString(offset, GCS_VERBW, nullptr,
                                                      reinterpret_cast<char*>(verb), 64);
                line += (hr == S_OK ? std::wstring(verb) : std::wstring(text)) + L'#' +
                        std::to_wstring(offset);
            }
        }
        return line;
    }
};

// The shell's menu with one item of its own, the extension's items put in after it.
struct Queried {
    HRESULT result = E_FAIL;
    std::wstring line;
    bool duplicate = false;
};

Queried Query(IContextMenu* object, UINT flags, UINT last = kFirst + 500, bool titledTop = true) {
    Queried out;
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, kShellItem, L"Shell's own");
    out.result = object->QueryContextMenu(menu, 1, kFirst, last, flags);
    MenuReader reader{object, kFirst, last, titledTop, {}};
    out.line = reader.Read(menu);
    out.duplicate = reader.duplicate;
    ::DestroyMenu(menu);
    return out;
}

std::string Narrow(const std::wstring& text) {
    return tools::Utf8FromWide(text);
}

class DesktopMenu : public test::ShellSceneTest {
  protected:
    // Layout files and folders below "Layouts"; the order file when given.
    void MakeTree(const std::vector<std::wstring>& files, const char* order) {
        ASSERT_TRUE(config().ResetLayouts());
        for (const std::wstring& file : files)
            ASSERT_TRUE(config().WriteLayout(file, kLayoutFile)) << Narrow(file);
        if (order) {
            ASSERT_TRUE(config().WriteLayout(L"order.xml", order));
        }
    }

    // A desktop menu object initialised over a "Progman" window in front.
    ComPtr<IContextMenu> DesktopObject() {
        test::ForegroundWindow desktop(L"Progman");
        EXPECT_TRUE(desktop.InFront());
        ComPtr<IContextMenu> object = Create(kClsidDesktopContextMenu);
        EXPECT_TRUE(object);
        if (object && test::InitializeExtension(object.Get(), nullptr, nullptr) != S_OK)
            object.Reset();
        return object;
    }
};

// The desktop menu is offered over the desktop background only, and only with its preference
// bit; every other arrangement fails Initialize.
TEST_F(DesktopMenu, OfferedOverTheDesktopBackgroundWithItsFlag) {
    PIDLIST_ABSOLUTE windows = nullptr;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &windows), S_OK);
    auto data = test::TestDataObject::Make();
    data->Add(CF_HDROP, test::DropFilesBlock({L"C:\\a.txt"}));
    struct Row {
        const char* name;
        const CLSID* clsid;
        const wchar_t* front;  // class of the foreground window
        uint64_t settings1;
        bool folder;  // a folder list is given
        bool data;    // a data object is given
        HRESULT expected;
    } rows[] = {
        {"Progman", &kClsidDesktopContextMenu, L"Progman", kDesktopMenu, false, false, S_OK},
        {"WorkerW, other case", &kClsidDesktopContextMenu, L"workerw", kDesktopMenu, false, false,
         S_OK},
        {"all flags", &kClsidDesktopContextMenu, L"WorkerW", ~0ull, false, false, S_OK},
        {"flag off", &kClsidDesktopContextMenu, L"Progman", ~kDesktopMenu, false, false, E_FAIL},
        {"another window in front", &kClsidDesktopContextMenu, L"KwillTestLister", kDesktopMenu,
         false, false, E_FAIL},
        {"a class that starts like it", &kClsidDesktopContextMenu, L"ProgmanX", kDesktopMenu, false,
         false, E_FAIL},
        {"a folder given", &kClsidDesktopContextMenu, L"Progman", kDesktopMenu, true, false,
         E_FAIL},
        {"a selection given", &kClsidDesktopContextMenu, L"Progman", kDesktopMenu, false, true,
         E_FAIL},
        {"folder class", &kClsidContextMenu, L"Progman", kDesktopMenu, false, false, E_FAIL},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(config().WritePrefs(r.settings1));
        test::ForegroundWindow front(r.front);
        ASSERT_TRUE(front.InFront());
        ComPtr<IContextMenu> object = Create(*r.clsid);
        ASSERT_TRUE(object);
        EXPECT_EQ(test::InitializeExtension(object.Get(), r.folder ? windows : nullptr,
                                            r.data ? data.Get() : nullptr),
                  r.expected);
    }
    ::CoTaskMemFree(windows);
}

// Layout trees on disk, read back from the menu: kinds 0 and 1 first, then the layouts in a
// submenu between separators, ordered by "Layouts\order.xml".
TEST_F(DesktopMenu, LayoutTreesBecomeTheLayoutsSubmenu) {
    ASSERT_TRUE(config().WritePrefs(kDesktopMenu));
    struct Row {
        const char* name;
        bool layoutsFolder;
        std::vector<std::wstring> files;
        const char* order;
        const wchar_t* expected;
        UINT count;
    } rows[] = {
        {"no Layouts folder", false, {}, nullptr, L"shell newlister#0 tarnprefs#1 -", 3},
        {"nothing that is a layout",
         true,
         {L"notes.txt", L".tll", L"a.tll.bak", L"Other\\y.tll", L"Folders\\Empty\\"},
         "<layout_order><layout name=\"a\"/></layout_order>",
         L"shell newlister#0 tarnprefs#1 -",
         3},
        {"unnamed: folders first, then names ignoring case",
         true,
         {L"b.tll", L"A.TLL", L"Folders\\Work\\c.tll"},
         nullptr,
         L"shell newlister#0 tarnprefs#1 - SUB{Work{c#3} A#4 b#5} -",
         7},
        {"named, with a separator and a folder's own order",
         true,
         {L"a.tll", L"b.tll", L"z.tll", L"Folders\\Work\\c.tll", L"Folders\\Work\\d.tll"},
         "<?xml version=\"1.0\" ?>\n<layout_order>\n  <layout name=\"b\" />\n"
         "  <layout separator=\"1\" />\n  <folder name=\"work\">\n    <layout name=\"d\" />\n"
         "    <layout name=\"C\" />\n  </folder>\n  <layout name=\"a\" />\n"
         "  <layout name=\"missing\" />\n</layout_order>\n",
         L"shell newlister#0 tarnprefs#1 - SUB{b#3 - Work{d#5 c#6} a#7 z#8} -",
         10},
        {"UTF-8 names, case ignored",
         true,
         {L"\u00DCber.tll", L"\u00E4rger.tll", L"Zed.tll"},
         "<layout_order><layout name=\"zed\"/><layout name=\"\xC3\x9C"
         "BER\"/></layout_order>",
         L"shell newlister#0 tarnprefs#1 - SUB{Zed#3 \u00DCber#4 \u00E4rger#5} -",
         7},
        {"malformed order file: as if unnamed",
         true,
         {L"b.tll", L"a.tll", L"Folders\\F\\x.tll"},
         "<layout_order><layout name=\"b\"/><layout name=",
         L"shell newlister#0 tarnprefs#1 - SUB{F{x#3} a#4 b#5} -",
         7},
        {"nested folders",
         true,
         {L"Folders\\A\\y.tll", L"Folders\\A\\B\\C\\x.tll"},
         nullptr,
         L"shell newlister#0 tarnprefs#1 - SUB{A{B{C{x#3}} y#4}} -",
         6},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(config().ResetLayouts(r.layoutsFolder));
        if (r.layoutsFolder) MakeTree(r.files, r.order);
        ComPtr<IContextMenu> object = DesktopObject();
        ASSERT_TRUE(object);
        Queried got = Query(object.Get(), CMF_NORMAL);
        EXPECT_EQ(got.result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, r.count));
        EXPECT_EQ(Narrow(got.line), Narrow(r.expected));
        EXPECT_FALSE(got.duplicate);
    }
}

// CMF_VERBSONLY, or settings4 bit 0x80000000, puts the layouts straight into the shell's menu.
TEST_F(DesktopMenu, LayoutsGoStraightIntoTheMenuWhenFlat) {
    MakeTree({L"a.tll", L"b.tll", L"Folders\\Work\\c.tll"},
             "<layout_order><layout name=\"b\"/><layout separator=\"1\"/></layout_order>");
    struct Row {
        const char* name;
        uint64_t settings4;
        UINT flags;
        const wchar_t* expected;
    } rows[] = {
        {"submenu", 0, CMF_NORMAL, L"shell newlister#0 tarnprefs#1 - SUB{b#3 - Work{c#5} a#6} -"},
        {"verbs only", 0, CMF_VERBSONLY, L"shell newlister#0 tarnprefs#1 - b#3 - Work{c#5} a#6 -"},
        {"settings4", kFlatLayouts, CMF_NORMAL,
         L"shell newlister#0 tarnprefs#1 - b#3 - Work{c#5} a#6 -"},
        {"settings4 with other bits", ~0ull, CMF_EXPLORE,
         L"shell newlister#0 tarnprefs#1 - b#3 - Work{c#5} a#6 -"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(config().WritePrefs(kDesktopMenu, r.settings4));
        ComPtr<IContextMenu> object = DesktopObject();
        ASSERT_TRUE(object);
        bool flat = r.settings4 || (r.flags & CMF_VERBSONLY);
        Queried got = Query(object.Get(), r.flags, kFirst + 500, !flat);
        EXPECT_EQ(got.result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 8));
        EXPECT_EQ(Narrow(got.line), Narrow(r.expected));
    }
}

// However few identifiers the shell grants, none beyond the last is handed out: commands that
// do not fit are left out, and separators that do not fit carry none. The result counts only
// identifiers within the range.
TEST_F(DesktopMenu, NoIdentifierBeyondTheLast) {
    ASSERT_TRUE(config().WritePrefs(kDesktopMenu));
    MakeTree({L"b.tll", L"A.tll", L"Folders\\Work\\c.tll"}, nullptr);
    struct Row {
        UINT granted;  // idCmdLast - idCmdFirst + 1
        const wchar_t* expected;
    } rows[] = {
        {7, L"shell newlister#0 tarnprefs#1 - SUB{Work{c#3} A#4 b#5} -"},
        {6, L"shell newlister#0 tarnprefs#1 - SUB{Work{c#3} A#4 b#5} -"},
        {5, L"shell newlister#0 tarnprefs#1 - SUB{Work{c#3} A#4} -"},
        {3, L"shell newlister#0 tarnprefs#1 - SUB{Work{}} -"},
        {2, L"shell newlister#0 tarnprefs#1 - SUB{Work{}} -"},
        {1, L"shell newlister#0 - SUB{Work{}} -"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.granted);
        ComPtr<IContextMenu> object = DesktopObject();
        ASSERT_TRUE(object);
        Queried got = Query(object.Get(), CMF_NORMAL, kFirst + r.granted - 1);
        EXPECT_EQ(Narrow(got.line), Narrow(r.expected));
        ASSERT_FALSE(FAILED(got.result));
        EXPECT_LE(HRESULT_CODE(got.result), static_cast<int>(r.granted));
    }
}

// The same on the folder menu, in its submenu and straight in the shell's menu: a selection of
// two plain files gets the add-to items, as many as the identifiers granted allow.
TEST_F(DesktopMenu, FolderMenusHandOutNoIdentifierBeyondTheLast) {
    ASSERT_TRUE(config().WritePrefs(0));
    test::TempFolder folder;
    ASSERT_TRUE(test::WriteFileBytes(folder / L"a.txt", "a", 1));
    ASSERT_TRUE(test::WriteFileBytes(folder / L"b.txt", "b", 1));
    ComPtr<IDataObject> data = test::ShellDataObject(folder.path(), {L"a.txt", L"b.txt"});
    ASSERT_TRUE(data);
    ComPtr<IContextMenu> object = Create(kClsidContextMenu);
    ASSERT_TRUE(object);
    // No archives.txc: the archive context of the defaults, the zip format in every list.
    ASSERT_EQ(test::InitializeExtension(object.Get(), nullptr, data.Get()), S_OK);
    UINT all = HRESULT_CODE(Query(object.Get(), CMF_VERBSONLY).result);
    ASSERT_GE(all, 2u);
    for (UINT flags : {CMF_NORMAL, CMF_VERBSONLY}) {
        for (UINT granted : {1u, 2u, all - 1, all, all + 5}) {
            SCOPED_TRACE(std::to_string(flags) + " " + std::to_string(granted));
            Queried got = Query(object.Get(), flags, kFirst + granted - 1);
            ASSERT_FALSE(FAILED(got.result));
            EXPECT_EQ(static_cast<UINT>(HRESULT_CODE(got.result)), std::min(granted, all));
            EXPECT_EQ(got.line.find(L'!'), std::wstring::npos) << Narrow(got.line);
            size_t commands = 0;
            for (wchar_t c : got.line) commands += c == L'#';
            EXPECT_EQ(commands, std::min(granted, all)) << Narrow(got.line);
            EXPECT_FALSE(got.duplicate);
        }
    }
}

// Choosing a layout sends its relative name (folders joined by backslashes) to the host as
// WM_COPYDATA kind 12; kinds 0 and 1 post the host's registered messages.
TEST_F(DesktopMenu, ChosenLayoutsReachTheHost) {
    ASSERT_TRUE(config().WritePrefs(kDesktopMenu));
    MakeTree({L"\u00DCber.tll", L"Folders\\Work\\Deep\\c.tll", L"Folders\\Work\\d.tll"}, nullptr);
    test::StandInHost host;
    ASSERT_TRUE(host.Start());
    ComPtr<IContextMenu> object = DesktopObject();
    ASSERT_TRUE(object);
    Queried got = Query(object.Get(), CMF_NORMAL);
    ASSERT_EQ(Narrow(got.line),
              Narrow(L"shell newlister#0 tarnprefs#1 - SUB{Work{Deep{c#3} d#4} \u00DCber#5} -"));
    HWND invoking = ::CreateWindowExW(0, L"Static", L"lister", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);

    auto lastLine = [&](const char* prefix) {
        std::string found;
        for (const std::string& line : host.Lines())
            if (line.rfind(prefix, 0) == 0) found = line;
        return found;
    };
    struct Row {
        UINT offset;
        const char* verb;  // an ANSI text verb instead of the offset
        const char* prefix;
        std::string expected;
    } rows[] = {
        {3, nullptr, "COPYDATA", "text \"Work\\Deep\\c\""},
        {4, nullptr, "COPYDATA", "text \"Work\\d\""},
        {5, nullptr, "COPYDATA",
         "text \"\xC3\x9C"
         "ber\""},
        {0, nullptr, "REGISTERED", "REGISTERED kwillmsg.NewLister 2 0"},
        {1, "TarnPrefs", "REGISTERED",
         "REGISTERED kwillmsg.Prefs 0 " + std::to_string(reinterpret_cast<ULONG_PTR>(invoking))},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.offset);
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof(info);
        info.hwnd = invoking;
        info.lpVerb = r.verb ? r.verb : MAKEINTRESOURCEA(r.offset);
        info.nShow = SW_SHOWNORMAL;
        size_t before = host.Lines().size();
        ASSERT_EQ(object->InvokeCommand(&info), S_OK);
        // Posted messages arrive later than the call returns: on a loaded machine, much later.
        for (int i = 0; i < 3000 && host.Lines().size() == before; ++i) ::Sleep(10);
        std::string line = lastLine(r.prefix);
        EXPECT_NE(line.find(r.expected), std::string::npos) << line;
        if (std::string(r.prefix) == "COPYDATA") {
            EXPECT_EQ(line.rfind("COPYDATA 12 ", 0), 0u);
        }
    }
    // Offsets the menu never gave out, and the separator's, send nothing.
    size_t before = host.Lines().size();
    for (UINT offset : {2u, 6u, 7u, 500u}) {
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof(info);
        info.hwnd = invoking;
        info.lpVerb = MAKEINTRESOURCEA(offset);
        EXPECT_EQ(object->InvokeCommand(&info), E_FAIL) << offset;
    }
    ::Sleep(100);
    EXPECT_EQ(host.Lines().size(), before);
    ::DestroyWindow(invoking);
    EXPECT_TRUE(host.Stop());
}

// A layout whose relative name would pass 260 characters is refused when chosen, rather than
// sent cut short (the host would open another layout, or none).
TEST_F(DesktopMenu, OverlongLayoutNamesAreRefused) {
    ASSERT_TRUE(config().WritePrefs(kDesktopMenu));
    // Folders below "Folders" whose path stays short enough to scan, and a layout of 150
    // characters: 4 × 41 + 150 > 260 in the relative name.
    std::wstring folders = L"Folders";
    for (int i = 0; i < 4; ++i) folders += L"\\" + std::wstring(40, static_cast<wchar_t>(L'p' + i));
    std::wstring deep = std::wstring(150, L'x');
    std::wstring path = config().folder() + L"\\Layouts\\" + folders;
    if (path.size() + 2 >= MAX_PATH) GTEST_SKIP() << "the configuration folder's path is too long";
    MakeTree({L"short.tll", folders + L"\\" + deep + L".tll"}, nullptr);
    test::StandInHost host;
    ASSERT_TRUE(host.Start());
    ComPtr<IContextMenu> object = DesktopObject();
    ASSERT_TRUE(object);
    Queried got = Query(object.Get(), CMF_VERBSONLY, kFirst + 500, false);
    size_t at = got.line.find(deep + L"#");
    if (at == std::wstring::npos) GTEST_SKIP() << "no layout file of that length here";
    UINT offset = static_cast<UINT>(std::stoul(got.line.substr(at + deep.size() + 1)));
    size_t before = host.Lines().size();
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(offset);
    EXPECT_EQ(object->InvokeCommand(&info), E_FAIL);
    ::Sleep(100);
    EXPECT_EQ(host.Lines().size(), before);
    EXPECT_TRUE(host.Stop());
}

// The scan through its lister seam: what Wine's file system cannot make (junctions, symbolic
// links) and what no disk should hold (a folder inside itself, without end).
std::map<std::wstring, std::vector<LayoutFolderItem>>* g_fakeDisk = nullptr;

std::vector<LayoutFolderItem> FakeLister(const std::wstring& folder) {
    auto found = g_fakeDisk->find(folder);
    if (found != g_fakeDisk->end()) return found->second;
    // Below "R:\loop" every folder holds a layout and a folder again, without end.
    if (folder.rfind(L"R:\\loop", 0) == 0)
        return {{L".", FILE_ATTRIBUTE_DIRECTORY},
                {L"..", FILE_ATTRIBUTE_DIRECTORY},
                {L"here.tll", FILE_ATTRIBUTE_ARCHIVE},
                {L"again", FILE_ATTRIBUTE_DIRECTORY}};
    return {};
}

std::wstring Describe(const std::vector<LayoutEntry>& list) {
    std::wstring out;
    for (const LayoutEntry& entry : list) {
        if (!out.empty()) out += L' ';
        out += entry.separator ? L"-" : entry.name;
        if (entry.folder) out += L'{' + Describe(entry.children) + L'}';
    }
    return out;
}

int Depth(const std::vector<LayoutEntry>& list) {
    int deepest = 0;
    for (const LayoutEntry& entry : list)
        if (entry.folder) deepest = std::max(deepest, 1 + Depth(entry.children));
    return deepest;
}

TEST(LayoutScan, SkipsReparsePointsAndStopsAtItsDepth) {
    std::map<std::wstring, std::vector<LayoutFolderItem>> disk = {
        {L"R:\\Layouts",
         {{L".", FILE_ATTRIBUTE_DIRECTORY},
          {L"top.tll", FILE_ATTRIBUTE_ARCHIVE},
          {L"linked.tll", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT}}},
        {L"R:\\Layouts\\Folders",
         {{L"Real", FILE_ATTRIBUTE_DIRECTORY},
          {L"Junction", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
          {L"Symlink",
           FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY}}},
        {L"R:\\Layouts\\Folders\\Real", {{L"in.tll", FILE_ATTRIBUTE_NORMAL}}},
        {L"R:\\Layouts\\Folders\\Junction", {{L"never.tll", FILE_ATTRIBUTE_NORMAL}}},
        {L"R:\\Layouts\\Folders\\Symlink", {{L"never.tll", FILE_ATTRIBUTE_NORMAL}}},
    };
    g_fakeDisk = &disk;
    LayoutFolderLister real = SetLayoutFolderLister(FakeLister);
    std::vector<LayoutEntry> tree = LoadLayoutTree(L"R:\\Layouts");
    EXPECT_EQ(Narrow(Describe(tree)), "Real{in} top");
    EXPECT_EQ(CountLayouts(tree), 2);

    // A folder inside itself: eight levels of folders, each with its layout, and no more.
    std::vector<LayoutEntry> loop = ScanLayouts(L"R:\\loop", true, nullptr);
    EXPECT_EQ(Depth(loop), kMaxLayoutDepth);
    EXPECT_EQ(CountLayouts(loop), kMaxLayoutDepth + 1);
    // Not recursive: the layouts of the folder itself only.
    EXPECT_EQ(Narrow(Describe(ScanLayouts(L"R:\\loop", false, nullptr))), "here");
    SetLayoutFolderLister(real);
    g_fakeDisk = nullptr;
}

}  // namespace
}  // namespace kwill::shellext
