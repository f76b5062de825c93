// The folder context menu as the shell builds it: the DLL registered with regsvr32, the object
// from CoCreateInstance, Initialize with shell data objects over real files, QueryContextMenu
// into a popup menu that is read back item by item, then GetCommandString and InvokeCommand. The
// preference flags come from the stand-in host, or from the configuration files with no host;
// the stand-in records what each command sends.
#include "hostlink/host_interface.h"
#include "hostlink/prefs_reply.h"
#include "shellext/archive_command.h"
#include "shellext/class_table.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/host/box_watchdog.h"
#include "tests/host/host_test_support.h"
#include "tests/shellext/registry_snapshot.h"
#include "tests/shellext/shellext_support.h"
#include "tests/support/test_data_object.h"
#include "tools/common/text_io.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace kwill::shellext {
namespace {

using Microsoft::WRL::ComPtr;

// ---- Language strings as the host sees them, through the exported LibStringW.

struct LibString {
    wchar_t* text;
};

std::wstring LibText(int number) {
    LibString s{};
    test::Named<LibString* (*)(LibString*, int)>("KwillLibStringConstructNumber")(&s, number);
    std::wstring text = test::Named<const wchar_t* (*)(const LibString*)>("KwillLibStringGet")(&s);
    test::Named<void (*)(LibString*)>("KwillLibStringFree")(&s);
    return text;
}

// The string formatted by the library's FormatMsg (FormatMessageW) with one text argument.
std::wstring LibFormat(int number, const std::wstring& argument) {
    LibString s{};
    test::Named<LibString* (*)(LibString*, int)>("KwillLibStringConstructNumber")(&s, number);
    wchar_t buffer[512] = {};
    int n = test::Named<int (*)(const LibString*, wchar_t*, int, ...)>("KwillLibStringFormatMsg")(
        &s, buffer, 512, argument.c_str());
    test::Named<void (*)(LibString*)>("KwillLibStringFree")(&s);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// ---- Configuration files in the tests' scratch folder, removed again at the end.

const GUID kZipGuid = {
    0x6566C9D9, 0xDD78, 0x446D, {0xBF, 0x74, 0xF9, 0x3B, 0x8B, 0x1B, 0x57, 0x1D}};
const GUID k7zGuid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

struct Format {
    const GUID* guid;
    const wchar_t* extension;
    const wchar_t* description;
};
const Format kZip = {&kZipGuid, L".zip", L"Zip"};
const Format k7z = {&k7zGuid, L"7z", L"7-Zip"};  // an extension without its dot

struct Preferences {
    uint64_t settings1 = 0;
    uint64_t settings4 = 0;
    uint32_t context = 0;
    std::vector<Format> general, named, email;
};

// As archives.txc holds it: the form UuidFromStringA reads, without braces.
std::string GuidText(const GUID& guid) {
    wchar_t text[64];
    ::StringFromGUID2(guid, text, 64);
    std::string braced = tools::Utf8FromWide(text);
    return braced.substr(1, braced.size() - 2);
}

std::string FormatElements(const char* list, const std::vector<Format>& formats) {
    std::string out = std::string("<") + list + ">";
    for (const Format& f : formats)
        out += "<fmt ext=\"" + tools::Utf8FromWide(f.extension) + "\" desc=\"" +
               tools::Utf8FromWide(f.description) + "\" guid=\"" + GuidText(*f.guid) + "\"/>";
    return out + "</" + list + ">";
}

class ConfigFiles {
  public:
    explicit ConfigFiles(const Preferences& p) {
        ::CreateDirectoryW(Path(L"ConfigFiles").c_str(), nullptr);
        char flags[200];
        std::snprintf(flags, sizeof(flags),
                      "<flags settings1=\"0x%llx\" settings2=\"0\" settings4=\"0x%llx\"/>",
                      static_cast<unsigned long long>(p.settings1),
                      static_cast<unsigned long long>(p.settings4));
        Write(L"ConfigFiles\\Prefs.txc", std::string("<?xml version=\"1.0\"?>\n<prefs>") + flags +
                                             "<zip flags=\"1\"/></prefs>");
        Write(L"ConfigFiles\\archives.txc",
              "<?xml version=\"1.0\"?>\n<prefs><archive_context flags=\"" +
                  std::to_string(p.context) + "\">" + FormatElements("general", p.general) +
                  FormatElements("named", p.named) + FormatElements("email", p.email) +
                  "</archive_context></prefs>");
    }
    ~ConfigFiles() {
        for (const wchar_t* name : {L"ConfigFiles\\Prefs.txc", L"ConfigFiles\\archives.txc"})
            ::DeleteFileW(Path(name).c_str());
        ::RemoveDirectoryW(Path(L"ConfigFiles").c_str());
    }
    ConfigFiles(const ConfigFiles&) = delete;
    ConfigFiles& operator=(const ConfigFiles&) = delete;

    static std::wstring Path(const wchar_t* name) { return test::ConfigScratch() + name; }

  private:
    static void Write(const wchar_t* name, const std::string& text) {
        test::WriteFileBytes(Path(name), text.data(), text.size());
    }
};

// The same preferences as the host's answer to "kwillmsg.GetPrefsFlags".
std::vector<uint8_t> HostReply(const Preferences& p) {
    host::PrefsFlagsData data;
    data.settings1 = p.settings1;
    data.settings4 = p.settings4;
    data.zipFlags = 1;
    data.archiveContext = p.context;
    const std::vector<Format>* lists[] = {&p.general, &p.named, &p.email};
    for (int i = 0; i < host::kFormatListCount; ++i)
        for (const Format& f : *lists[i]) {
            host::ArchiveFormatEntry entry{};
            std::memcpy(entry.guid, f.guid, sizeof(entry.guid));
            for (const wchar_t* c = f.extension; *c; ++c) entry.extension += char16_t(*c);
            for (const wchar_t* c = f.description; *c; ++c) entry.description += char16_t(*c);
            data.formatLists[i].push_back(entry);
        }
    return host::BuildPrefsReply(data, true);
}

// ---- The menu as the shell sees it.

ComPtr<IContextMenu> NewMenu(REFCLSID clsid) {
    ComPtr<IContextMenu> menu;
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                       reinterpret_cast<void**>(menu.GetAddressOf()));
    return menu;
}

HRESULT Initialize(IContextMenu* menu, PCIDLIST_ABSOLUTE folder, IDataObject* data) {
    return test::InitializeExtension(menu, folder, data);
}

std::wstring Verb(IContextMenu* menu, UINT offset) {
    wchar_t verb[128] = {};
    if (FAILED(
            menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<char*>(verb), 128)))
        return L"?";
    return verb;
}

// One line per item, read back with GetMenuItemInfoW: "-" for a separator, "verb=text" for a
// command (its verb asked of the object by the identifier's offset), "[text]" then the submenu's
// lines indented for a submenu; "*" after an item that carries a bitmap. Identifiers must run
// from `first` in menu order.
void Describe(IContextMenu* object, HMENU menu, UINT first, UINT* next,
              std::vector<std::wstring>* out, const std::wstring& indent = L"") {
    int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_BITMAP |
                     MIIM_CHECKMARKS | MIIM_STATE;
        item.dwTypeData = text;
        item.cch = 256;
        ASSERT_TRUE(::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item));
        std::wstring bitmap = item.hbmpItem || item.hbmpChecked ? L"*" : L"";
        if (item.fType & MFT_SEPARATOR) {
            out->push_back(indent + L"-");
            if (item.wID >= first) {
                EXPECT_EQ(item.wID, *next);
                ++*next;
            }
        } else if (item.hSubMenu) {
            out->push_back(indent + L"[" + text + L"]" + bitmap);
            Describe(object, item.hSubMenu, first, next, out, indent + L"  ");
        } else if (item.wID >= first) {
            EXPECT_EQ(item.wID, *next) << tools::Utf8FromWide(text);
            ++*next;
            out->push_back(indent + Verb(object, item.wID - first) + L"=" + text + bitmap);
        } else {
            out->push_back(indent + L"(shell's own)");
        }
    }
}

std::string Joined(const std::vector<std::wstring>& lines) {
    std::string out;
    for (const std::wstring& line : lines) out += tools::Utf8FromWide(line) + "\n";
    return out;
}

class FolderMenu : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        original_ = new test::RegistrySnapshot(test::TakeSnapshot());
        registered_ = test::RunRegsvr32(false) == 0;
    }
    static void TearDownTestSuite() {
        test::RunRegsvr32(true);
        test::RestoreAdded(*original_);
        delete original_;
    }
    void SetUp() override {
        ASSERT_TRUE(registered_) << "regsvr32 failed";
        ASSERT_EQ(::OleInitialize(nullptr), S_OK);
        ASSERT_FALSE(LibText(20005).empty()) << "english.dll is missing beside the library";
        for (const wchar_t* name : {L"a.zip", L"b.7z", L"c.txt", L"d.txt"})
            test::WriteFileBytes(files_ / name, "x", 1);
        folderPath_ = files_.path().substr(0, files_.path().size() - 1);
        folderName_ = folderPath_.substr(folderPath_.find_last_of(L'\\') + 1);
    }
    void TearDown() override { ::OleUninitialize(); }

    ComPtr<IDataObject> Selection(const std::vector<std::wstring>& names) {
        return test::ShellDataObject(files_.path(), names, /*fromIdArray=*/true);
    }

    static constexpr UINT kFirst = 100;
    static inline test::RegistrySnapshot* original_ = nullptr;
    static inline bool registered_ = false;
    test::TempFolder files_;
    std::wstring folderPath_;
    std::wstring folderName_;
};

// ---- The table: archive-context bits x selection x CMF_* x format lists, from both sources.

struct MenuRow {
    const char* name;
    uint32_t context;
    std::vector<std::wstring> selection;
    UINT flags;
    bool oneGeneralFormat;
    bool dropFolder;                     // a drag-and-drop menu: Initialize gets the target folder
    std::vector<std::wstring> expected;  // "" for Initialize failing; {"E_FAIL"} for no items
};

std::vector<MenuRow> MenuRows(const std::wstring& folderName) {
    std::wstring extract = L"extracthere=" + LibText(20008);
    std::wstring extractTo = L"extractto=" + LibText(20009);
    std::wstring subA = L"extractsub=" + LibFormat(20007, L"a");
    std::wstring subB = L"extractsub=" + LibFormat(20007, L"b");
    std::wstring subMany = L"extractsub=" + LibText(20030);
    std::wstring convert = L"convertsfx=" + LibText(20028);
    std::wstring addZip = L"addto.zip=" + LibFormat(20031, L"Zip");
    std::wstring add7z = L"addto.7z=" + LibFormat(20031, L"7-Zip");
    std::wstring addOne = L"addto.zip=" + LibText(20011);
    std::wstring namedC = L"addtoname.zip=" + LibFormat(20032, L"c.zip");
    std::wstring namedA = L"addtoname.zip=" + LibFormat(20032, L"a.zip");
    std::wstring folder = L"addtofoldername.zip=" + LibFormat(20032, folderName + L".zip");
    std::wstring mailC = L"zipandmail.zip=" + LibFormat(20033, L"c.zip");
    std::wstring mailA = L"zipandmail.zip=" + LibFormat(20033, L"a.zip");
    std::wstring title = L"[" + LibText(20022) + L"]";
    auto in = [](std::wstring line) { return L"  " + line; };
    const std::wstring shell = L"(shell's own)";
    return {
        {"one zip",
         0x16,
         {L"a.zip"},
         CMF_NORMAL,
         false,
         false,
         {shell, extract, extractTo, subA, convert}},
        {"one zip, submenu",
         0x1E,
         {L"a.zip"},
         CMF_NORMAL,
         false,
         false,
         {shell, title, in(extract), in(extractTo), in(subA), in(convert)}},
        {"one zip, submenu, verbs only",
         0x1E,
         {L"a.zip"},
         CMF_VERBSONLY,
         false,
         false,
         {shell, extract, extractTo, subA, convert}},
        {"one zip, submenu with bitmap",
         0x3E,
         {L"a.zip"},
         CMF_EXPLORE,
         false,
         false,
         {shell, title + L"*", in(extract), in(extractTo), in(subA), in(convert)}},
        {"one zip, bitmaps",
         0x36,
         {L"a.zip"},
         CMF_NORMAL,
         false,
         false,
         {shell, extract + L"*", extractTo + L"*", subA + L"*", convert + L"*"}},
        {"one 7z: no convert",
         0x16,
         {L"b.7z"},
         CMF_NORMAL,
         false,
         false,
         {shell, extract, extractTo, subB}},
        {"one zip, convert only", 0x14, {L"a.zip"}, CMF_NORMAL, false, false, {shell, convert}},
        {"one zip, nothing to offer", 0x10, {L"a.zip"}, CMF_NORMAL, false, false, {L"E_FAIL"}},
        {"two archives",
         0x12,
         {L"a.zip", L"b.7z"},
         CMF_NORMAL,
         false,
         false,
         {shell, extract, extractTo, subMany, addZip, add7z, namedA, folder, mailA}},
        {"a file",
         0x10,
         {L"c.txt"},
         CMF_NORMAL,
         false,
         false,
         {shell, addZip, add7z, namedC, mailC}},
        {"a file, one general format",
         0x10,
         {L"c.txt"},
         CMF_NORMAL,
         true,
         false,
         {shell, addOne, namedC, mailC}},
        {"files and a zip",
         0x16,
         {L"c.txt", L"a.zip"},
         CMF_NORMAL,
         true,
         false,
         {shell, addOne, namedC, L"addtofoldername.zip=" + LibFormat(20032, folderName + L".zip"),
          mailC}},
        {"dropped zip",
         0x16,
         {L"a.zip"},
         CMF_NORMAL,
         false,
         true,
         {shell, L"extracthere=" + LibText(20008), subA, convert}},
        {"dropped file: nothing", 0x16, {L"c.txt"}, CMF_NORMAL, false, true, {L"E_FAIL"}},
        {"menu off", 0x06, {L"a.zip"}, CMF_NORMAL, false, false, {}},
        {"menu disabled", 0x40000016, {L"a.zip"}, CMF_NORMAL, false, false, {}},
    };
}

void RunMenuTable(
    const std::function<void(const Preferences&)>& arrange,
    const std::function<ComPtr<IDataObject>(const std::vector<std::wstring>&)>& selection,
    const std::wstring& folderPath, const std::wstring& folderName) {
    PIDLIST_ABSOLUTE folderList = nullptr;
    ASSERT_EQ(::SHParseDisplayName(folderPath.c_str(), nullptr, &folderList, 0, nullptr), S_OK);
    for (const MenuRow& row : MenuRows(folderName)) {
        SCOPED_TRACE(row.name);
        Preferences p;
        p.context = row.context;
        p.general =
            row.oneGeneralFormat ? std::vector<Format>{kZip} : std::vector<Format>{kZip, k7z};
        p.named = {kZip};
        p.email = {kZip};
        arrange(p);
        ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
        ASSERT_TRUE(menu);
        ComPtr<IDataObject> data = selection(row.selection);
        ASSERT_TRUE(data);
        HRESULT init = Initialize(menu.Get(), row.dropFolder ? folderList : nullptr, data.Get());
        if (row.expected.empty()) {
            EXPECT_EQ(init, E_FAIL);
            continue;
        }
        ASSERT_EQ(init, S_OK);
        std::vector<std::wstring> lines;
        HRESULT hr = [&] {
            HMENU popup = ::CreatePopupMenu();
            ::AppendMenuW(popup, MF_STRING, 1, L"Open");
            HRESULT result = menu->QueryContextMenu(popup, 1, 100, 300, row.flags);
            UINT next = 100;
            Describe(menu.Get(), popup, 100, &next, &lines);
            if (SUCCEEDED(result)) {
                EXPECT_EQ(HRESULT_CODE(result), static_cast<int>(next - 100)) << Joined(lines);
            }
            ::DestroyMenu(popup);
            return result;
        }();
        if (row.expected == std::vector<std::wstring>{L"E_FAIL"}) {
            EXPECT_EQ(hr, E_FAIL) << Joined(lines);
            continue;
        }
        EXPECT_TRUE(SUCCEEDED(hr));
        EXPECT_EQ(Joined(lines), Joined(row.expected));
        // Asking only for the default item adds nothing.
        HMENU popup = ::CreatePopupMenu();
        EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 300, CMF_DEFAULTONLY),
                  MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
        EXPECT_EQ(::GetMenuItemCount(popup), 0);
        ::DestroyMenu(popup);
    }
    ::CoTaskMemFree(folderList);
}

TEST_F(FolderMenu, ItemsFromTheConfigurationFiles) {
    ASSERT_EQ(host::FindHostWindow(), nullptr);
    std::unique_ptr<ConfigFiles> files;
    RunMenuTable(
        [&](const Preferences& p) {
            files.reset();
            files = std::make_unique<ConfigFiles>(p);
        },
        [&](const std::vector<std::wstring>& names) { return Selection(names); }, folderPath_,
        folderName_);
}

TEST_F(FolderMenu, ItemsFromTheRunningHost) {
    // The files say "no menu": every item must come from the host's answer.
    ConfigFiles off(Preferences{});
    test::TempFolder replies;
    std::unique_ptr<test::StandInHost> host;
    RunMenuTable(
        [&](const Preferences& p) {
            std::vector<uint8_t> reply = HostReply(p);
            std::wstring file = replies / L"reply.bin";
            ASSERT_TRUE(test::WriteFileBytes(file, reply.data(), reply.size()));
            host.reset();
            host = std::make_unique<test::StandInHost>();
            ASSERT_TRUE(host->Start(L"nodef \"--prefs-reply=" + file + L"\""));
        },
        [&](const std::vector<std::wstring>& names) { return Selection(names); }, folderPath_,
        folderName_);
    if (host) {
        EXPECT_TRUE(host->Stop());
    }
}

}  // namespace
}  // namespace kwill::shellext
