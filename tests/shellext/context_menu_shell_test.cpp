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
#include <optional>
#include <sstream>
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
    uint64_t settings2 = 0;
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
                      "<flags settings1=\"0x%llx\" settings2=\"0x%llx\" settings4=\"0x%llx\"/>",
                      static_cast<unsigned long long>(p.settings1),
                      static_cast<unsigned long long>(p.settings2),
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
    data.settings2 = p.settings2;
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

// ---- GetCommandString for every offset of a built menu.

TEST_F(FolderMenu, CommandStringsForEveryOffset) {
    Preferences p;
    p.context = 0x16;
    p.general = {kZip, k7z};
    p.named = {kZip};
    p.email = {k7z};
    ConfigFiles files(p);
    ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
    ASSERT_EQ(Initialize(menu.Get(), nullptr, Selection({L"a.zip", L"b.7z"}).Get()), S_OK);
    HMENU popup = ::CreatePopupMenu();
    HRESULT hr = menu->QueryContextMenu(popup, 0, 10, 100, CMF_NORMAL);
    ::DestroyMenu(popup);
    ASSERT_EQ(HRESULT_CODE(hr), 8);
    struct Row {
        const wchar_t* verb;
        std::wstring help;
    } rows[] = {
        {L"extracthere", LibText(20014)},
        {L"extractto", LibText(20027)},
        {L"extractsub", LibText(20015)},
        {L"addto.zip", LibFormat(20016, L".zip")},
        {L"addto.7z", LibFormat(20016, L".7z")},
        {L"addtoname.zip", LibFormat(20016, L".zip")},
        {L"addtofoldername.zip", LibFormat(20016, L".zip")},
        {L"zipandmail.7z", LibFormat(20021, L".7z")},
    };
    for (UINT offset = 0; offset < 8; ++offset) {
        const Row& r = rows[offset];
        SCOPED_TRACE(tools::Utf8FromWide(r.verb));
        for (bool wide : {true, false}) {
            for (UINT type : {GCS_VERBW, GCS_HELPTEXTW}) {
                std::wstring expected = type == GCS_VERBW ? r.verb : r.help;
                UINT asked = wide ? type : type & ~GCS_UNICODE;
                // Large, short, one unit and no room: always cut and terminated in the buffer.
                for (UINT size : {300u, 4u, 1u, 0u}) {
                    wchar_t buffer[320];
                    std::fill(std::begin(buffer), std::end(buffer), L'#');
                    char* out = reinterpret_cast<char*>(buffer);
                    HRESULT got = menu->GetCommandString(offset, asked, nullptr, out, size);
                    size_t unit = wide ? sizeof(wchar_t) : 1;
                    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer);
                    if (size == 0) {
                        EXPECT_EQ(got, E_INVALIDARG);
                        EXPECT_EQ(buffer[0], L'#');
                        continue;
                    }
                    ASSERT_EQ(got, S_OK) << size;
                    std::wstring text;
                    if (wide) {
                        text = buffer;
                    } else {
                        for (const char* c = out; *c; ++c) text += static_cast<wchar_t>(*c);
                    }
                    EXPECT_EQ(text, expected.substr(0, size - 1)) << size;
                    // Nothing is written past the buffer's size.
                    for (size_t i = size * unit; i < size * unit + 8; ++i)
                        EXPECT_EQ(bytes[i], reinterpret_cast<const uint8_t*>(L"####")[i % 2]) << i;
                }
            }
            EXPECT_EQ(menu->GetCommandString(offset, wide ? GCS_VALIDATEW : GCS_VALIDATEA, nullptr,
                                             nullptr, 0),
                      S_OK);
        }
    }
}

// ---- InvokeCommand, with the stand-in host recording what arrives.

// A recorded COPYDATA line taken apart: "COPYDATA <dwData> <cbData> <hex> [text ...] [from W]".
struct CopyData {
    unsigned long long data = 0;
    std::vector<uint8_t> bytes;
    unsigned long long from = 0;
};

std::optional<CopyData> LastCopyData(const std::vector<std::string>& lines, size_t since) {
    for (size_t i = lines.size(); i > since; --i) {
        const std::string& line = lines[i - 1];
        if (line.rfind("COPYDATA ", 0) != 0) continue;
        CopyData c;
        std::istringstream in(line.substr(9));
        size_t size = 0;
        std::string hex;
        in >> c.data >> size >> hex;
        for (size_t j = 0; j + 1 < hex.size(); j += 2)
            c.bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(j, 2), nullptr, 16)));
        size_t from = line.rfind(" from ");
        if (from != std::string::npos) c.from = std::stoull(line.substr(from + 6));
        return c;
    }
    return std::nullopt;
}

// The archive command block parsed back: target, extension, then the DROPFILES bytes.
struct ArchiveBlock {
    std::wstring target, extension;
    std::vector<uint8_t> files;
};

ArchiveBlock ParseArchiveBlock(const std::vector<uint8_t>& bytes) {
    ArchiveBlock block;
    size_t at = 0;
    auto text = [&](std::wstring* out) {
        while (at + 1 < bytes.size()) {
            wchar_t c = static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8));
            at += 2;
            if (!c) return;
            *out += c;
        }
    };
    text(&block.target);
    text(&block.extension);
    block.files.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    return block;
}

// The CF_HDROP block the data object gives, as the menu must pass it on.
std::vector<uint8_t> DropFilesOf(IDataObject* data) {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    std::vector<uint8_t> bytes;
    if (FAILED(data->GetData(&format, &medium))) return bytes;
    if (const void* p = ::GlobalLock(medium.hGlobal)) {
        bytes.assign(static_cast<const uint8_t*>(p),
                     static_cast<const uint8_t*>(p) + ::GlobalSize(medium.hGlobal));
        ::GlobalUnlock(medium.hGlobal);
    }
    ::ReleaseStgMedium(&medium);
    return bytes;
}

HRESULT InvokeOffset(IContextMenu* menu, UINT offset, HWND from) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.hwnd = from;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

// A text verb: ANSI in the plain structure, or wide in the extended one (with the Unicode mask,
// and an ANSI verb beside it when given).
HRESULT InvokeVerb(IContextMenu* menu, const char* ansi, const wchar_t* wide, HWND from) {
    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = wide ? sizeof(info) : sizeof(CMINVOKECOMMANDINFO);
    info.hwnd = from;
    info.lpVerb = ansi;
    info.nShow = SW_SHOWNORMAL;
    if (wide) {
        info.fMask = CMIC_MASK_UNICODE;
        info.lpVerbW = wide;
    }
    return menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}

// The offsets of a built menu with their verbs, in identifier order.
std::vector<std::pair<UINT, std::wstring>> Commands(IContextMenu* menu, UINT count) {
    std::vector<std::pair<UINT, std::wstring>> out;
    for (UINT offset = 0; offset < count; ++offset) out.emplace_back(offset, Verb(menu, offset));
    return out;
}

uint32_t KindOfVerb(const std::wstring& verb, bool dropMenu) {
    std::wstring base = verb.substr(0, verb.find(L'.'));
    if (base == L"extracthere") return dropMenu ? 16 : 2;
    if (base == L"extractto") return 3;
    if (base == L"extractsub") return dropMenu ? 5 : 4;
    if (base == L"convertsfx") return dropMenu ? 15 : 14;
    if (base == L"addto") return 6;
    if (base == L"addtoname") return 7;
    if (base == L"addtofoldername") return 18;
    if (base == L"zipandmail") return 8;
    return 99;
}

class InvokeTest : public FolderMenu {
  protected:
    void SetUp() override {
        FolderMenu::SetUp();
        window_ = ::CreateWindowExW(0, L"Static", L"invoker", WS_POPUP, 0, 0, 10, 10, nullptr,
                                    nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        ::DestroyWindow(window_);
        FolderMenu::TearDown();
    }
    static Preferences Archives() {
        Preferences p;
        p.context = 0x16;
        p.general = {k7z, kZip};
        p.named = {kZip};
        p.email = {kZip};
        return p;
    }
    HWND window_ = nullptr;
};

TEST_F(InvokeTest, EveryOffsetSendsItsArchiveCommand) {
    ConfigFiles files(Archives());
    test::StandInHost host;
    ASSERT_TRUE(host.Start(L"nodef --copydata-from"));
    PIDLIST_ABSOLUTE folderList = nullptr;
    ASSERT_EQ(::SHParseDisplayName(folderPath_.c_str(), nullptr, &folderList, 0, nullptr), S_OK);
    struct Row {
        const char* name;
        std::vector<std::wstring> selection;
        bool dropMenu;
        size_t commands;
    } rows[] = {
        {"one zip", {L"a.zip"}, false, 4},
        {"two archives", {L"a.zip", L"b.7z"}, false, 8},
        {"dropped zip", {L"a.zip"}, true, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ComPtr<IDataObject> data = Selection(r.selection);
        std::vector<uint8_t> dropFiles = DropFilesOf(data.Get());
        ASSERT_FALSE(dropFiles.empty());
        ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
        ASSERT_EQ(Initialize(menu.Get(), r.dropMenu ? folderList : nullptr, data.Get()), S_OK);
        HMENU popup = ::CreatePopupMenu();
        HRESULT hr = menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
        ::DestroyMenu(popup);
        ASSERT_EQ(HRESULT_CODE(hr), static_cast<int>(r.commands));
        for (const auto& [offset, verb] : Commands(menu.Get(), static_cast<UINT>(r.commands))) {
            SCOPED_TRACE(tools::Utf8FromWide(verb));
            size_t seen = host.Lines().size();
            ASSERT_EQ(InvokeOffset(menu.Get(), offset, window_), S_OK);
            std::optional<CopyData> sent = LastCopyData(host.Lines(), seen);
            ASSERT_TRUE(sent);
            EXPECT_EQ(sent->data, ArchiveCommandData(KindOfVerb(verb, r.dropMenu)));
            EXPECT_EQ(sent->from, reinterpret_cast<uintptr_t>(window_));
            ArchiveBlock block = ParseArchiveBlock(sent->bytes);
            EXPECT_EQ(block.target, r.dropMenu ? folderPath_ : L"");
            size_t dot = verb.find(L'.');
            EXPECT_EQ(block.extension, dot == std::wstring::npos ? L"" : verb.substr(dot));
            EXPECT_EQ(block.files, dropFiles);
        }
        // An offset the menu never gave out.
        size_t seen = host.Lines().size();
        EXPECT_EQ(InvokeOffset(menu.Get(), static_cast<UINT>(r.commands), window_), E_FAIL);
        EXPECT_EQ(host.Lines().size(), seen);
    }
    ::CoTaskMemFree(folderList);
    EXPECT_TRUE(host.Stop());
}

TEST_F(InvokeTest, TextVerbsAnsiAndWide) {
    ConfigFiles files(Archives());
    test::StandInHost host;
    ASSERT_TRUE(host.Start(L"nodef --copydata-from"));
    ComPtr<IDataObject> data = Selection({L"c.txt", L"d.txt"});
    ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
    ASSERT_EQ(Initialize(menu.Get(), nullptr, data.Get()), S_OK);
    const std::string window = std::to_string(reinterpret_cast<uintptr_t>(window_));
    struct Row {
        const char* ansi;
        const wchar_t* wide;
        HRESULT result;
        unsigned long long data;  // the COPYDATA kind, or 0 for none
        const wchar_t* extension;
        std::string posted;  // the REGISTERED line, or ""
    } rows[] = {
        {"extracthere", nullptr, S_OK, 0x2000F, L"", ""},
        {"EXTRACTTO", nullptr, S_OK, 0x3000F, L"", ""},
        {"extractsub", nullptr, S_OK, 0x4000F, L"", ""},
        // A text verb takes the first format of its list.
        {"addto", nullptr, S_OK, 0x6000F, L".7z", ""},
        {nullptr, L"AddToName", S_OK, 0x7000F, L".zip", ""},
        {nullptr, L"zipandmail", S_OK, 0x8000F, L".zip", ""},
        {"nosuchverb", L"addtofoldername", S_OK, 0x12000F, L".zip", ""},
        {"convertsfx", nullptr, S_OK, 0xE000F, L"", ""},
        {"newlister", nullptr, S_OK, 0, nullptr, "REGISTERED kwillmsg.NewLister 2 0"},
        {nullptr, L"tarnprefs", S_OK, 0, nullptr, "REGISTERED kwillmsg.Prefs 0 " + window},
        {"nosuchverb", nullptr, E_FAIL, 0, nullptr, ""},
        {nullptr, L"extracthere.zip", E_FAIL, 0, nullptr, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ansi ? r.ansi : tools::Utf8FromWide(r.wide));
        size_t seen = host.Lines().size();
        EXPECT_EQ(InvokeVerb(menu.Get(), r.ansi, r.wide, window_), r.result);
        // Posted messages arrive a moment later: wait for the line.
        std::vector<std::string> lines;
        for (int i = 0; i < 100; ++i) {
            lines = host.Lines();
            if (r.posted.empty() || lines.size() > seen) break;
            ::Sleep(20);
        }
        std::optional<CopyData> sent = LastCopyData(lines, seen);
        EXPECT_EQ(sent.has_value(), r.data != 0);
        if (sent) {
            EXPECT_EQ(sent->data, r.data);
            EXPECT_EQ(sent->from, reinterpret_cast<uintptr_t>(window_));
            ArchiveBlock block = ParseArchiveBlock(sent->bytes);
            EXPECT_EQ(block.extension, r.extension);
            EXPECT_EQ(block.files, DropFilesOf(data.Get()));
        }
        if (!r.posted.empty()) {
            ASSERT_GT(lines.size(), seen);
            EXPECT_EQ(lines.back(), r.posted);
        }
        if (!r.data && r.posted.empty()) {
            EXPECT_EQ(lines.size(), seen);
        }
    }
    EXPECT_TRUE(host.Stop());
}

// A host that answers an archive command with 0 has refused it.
TEST_F(InvokeTest, ZeroReplyFails) {
    ConfigFiles files(Archives());
    test::StandInHost host;
    ASSERT_TRUE(host.Start(L"nodef --copydata-result 0"));
    ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
    ASSERT_EQ(Initialize(menu.Get(), nullptr, Selection({L"a.zip"}).Get()), S_OK);
    HMENU popup = ::CreatePopupMenu();
    ASSERT_EQ(HRESULT_CODE(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL)), 4);
    ::DestroyMenu(popup);
    size_t seen = host.Lines().size();
    EXPECT_EQ(InvokeOffset(menu.Get(), 0, window_), E_FAIL);
    EXPECT_EQ(InvokeVerb(menu.Get(), "extractto", nullptr, window_), E_FAIL);
    EXPECT_EQ(host.Lines().size(), seen + 2);
    EXPECT_TRUE(host.Stop());
}

// With no host running, the command starts the stand-in kwill.exe beside the library, which then
// gets the command. No box appears.
TEST_F(InvokeTest, StartsTheHostWhenNoneRuns) {
    ASSERT_EQ(host::FindHostWindow(), nullptr);
    ConfigFiles files(Archives());
    ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
    ASSERT_EQ(Initialize(menu.Get(), nullptr, Selection({L"a.zip"}).Get()), S_OK);
    test::HostRecord record;
    test::BoxWatchdog watchdog(L"Tarnwell");
    EXPECT_EQ(InvokeVerb(menu.Get(), "extracthere", nullptr, window_), S_OK);
    HWND started = host::FindHostWindow();
    ASSERT_NE(started, nullptr);
    EXPECT_TRUE(test::CloseHost(started));
    std::vector<std::string> lines = record.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("START ", 0), 0u) << lines.front();
    std::optional<CopyData> sent = LastCopyData(lines, 0);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->data, 0x2000Fu);
    EXPECT_TRUE(watchdog.Texts().empty());
}

// Kind 13 removes the collections icon: a running host is told to; without one the menu clears
// the preference bit and the desktop's namespace key itself.
class RemoveIconTest : public InvokeTest {
  protected:
    static constexpr wchar_t kNamespace[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\"
        L"{D2FCA36D-93CD-46F2-8324-6308F6E31B53}";
    static constexpr wchar_t kBackup[] = L"Software\\kwilltest-namespace-backup";
    void SetUp() override {
        InvokeTest::SetUp();
        HKEY key = nullptr;
        existed_ = ::RegOpenKeyExW(HKEY_CURRENT_USER, kNamespace, 0, KEY_READ, &key) == 0;
        if (existed_) {
            HKEY backup = nullptr;
            ::RegCreateKeyExW(HKEY_CURRENT_USER, kBackup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &backup, nullptr);
            ::RegCopyTreeW(key, nullptr, backup);
            ::RegCloseKey(backup);
            ::RegCloseKey(key);
        }
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kNamespace);
        if (existed_) {
            HKEY backup = nullptr, key = nullptr;
            ::RegOpenKeyExW(HKEY_CURRENT_USER, kBackup, 0, KEY_READ, &backup);
            ::RegCreateKeyExW(HKEY_CURRENT_USER, kNamespace, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr);
            ::RegCopyTreeW(backup, nullptr, key);
            ::RegCloseKey(key);
            ::RegCloseKey(backup);
            ::RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
        }
        InvokeTest::TearDown();
    }
    static void CreateNamespaceKey() {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kNamespace, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr),
                  0);
        HKEY child = nullptr;
        ::RegCreateKeyExW(key, L"child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
        ::RegCloseKey(child);
        ::RegCloseKey(key);
    }
    static bool NamespaceKeyExists() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kNamespace, 0, KEY_READ, &key) != 0) return false;
        ::RegCloseKey(key);
        return true;
    }
    static unsigned long long Settings2() {
        std::string text = test::ReadFileText(ConfigFiles::Path(L"ConfigFiles\\Prefs.txc"));
        size_t at = text.find("settings2=\"");
        return at == std::string::npos ? ~0ull : std::strtoull(text.c_str() + at + 11, nullptr, 0);
    }
    bool existed_ = false;
};

TEST_F(RemoveIconTest, TheRunningHostIsTold) {
    Preferences p = Archives();
    p.settings2 = 0x4000001;
    ConfigFiles files(p);
    CreateNamespaceKey();
    test::StandInHost host;
    ASSERT_TRUE(host.Start());
    ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
    ASSERT_EQ(Initialize(menu.Get(), nullptr, Selection({L"c.txt"}).Get()), S_OK);
    EXPECT_EQ(InvokeVerb(menu.Get(), "remcollicon", nullptr, window_), S_OK);
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) {
        lines = host.Lines();
        if (!lines.empty() && lines.back().rfind("REGISTERED", 0) == 0) break;
        ::Sleep(20);
    }
    EXPECT_EQ(lines.back(), "REGISTERED kwillmsg.RemoveCollectionsIcon 0 0");
    // The host does the rest: nothing changed here.
    EXPECT_EQ(Settings2(), 0x4000001u);
    EXPECT_TRUE(NamespaceKeyExists());
    EXPECT_TRUE(host.Stop());
}

TEST_F(RemoveIconTest, WithoutAHostTheMenuClearsTheBitAndTheKey) {
    ASSERT_EQ(host::FindHostWindow(), nullptr);
    Preferences p = Archives();
    p.settings2 = 0x4000001;
    ConfigFiles files(p);
    CreateNamespaceKey();
    ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
    ASSERT_EQ(Initialize(menu.Get(), nullptr, Selection({L"c.txt"}).Get()), S_OK);
    test::HostRecord record;
    EXPECT_EQ(InvokeVerb(menu.Get(), nullptr, L"RemCollIcon", window_), S_OK);
    EXPECT_EQ(Settings2(), 0x1u);
    EXPECT_FALSE(NamespaceKeyExists());
    // Again, with nothing left to clear.
    EXPECT_EQ(InvokeVerb(menu.Get(), "remcollicon", nullptr, window_), S_OK);
    EXPECT_EQ(Settings2(), 0x1u);
    // No host was started for it.
    EXPECT_EQ(host::FindHostWindow(), nullptr);
    EXPECT_TRUE(record.Lines().empty());
}

// Kind 17: "open" on a folder goes to the host only when the user lets it (settings1 0x80) and
// the folder decision says the host takes it; otherwise it fails without a host being started.
TEST_F(InvokeTest, OpenAsksTheFolderDecisionBeforeAnyHost) {
    ASSERT_EQ(host::FindHostWindow(), nullptr);
    ASSERT_TRUE(::CreateDirectoryW((files_ / L"sub").c_str(), nullptr));
    struct Row {
        const char* name;
        uint64_t settings1;
        HRESULT result;
        bool started;
    } rows[] = {
        {"open off", 0, E_FAIL, false},
        {"open on, replacement off", 0x80, E_FAIL, false},
        {"replacement on, open off", 1ull << 63, E_FAIL, false},
        {"open on, replacement on", 0x80 | (1ull << 63), S_OK, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Preferences p = Archives();
        p.settings1 = r.settings1;
        ConfigFiles files(p);
        ComPtr<IContextMenu> menu = NewMenu(kClsidContextMenu);
        ASSERT_EQ(Initialize(menu.Get(), nullptr, Selection({L"sub"}).Get()), S_OK);
        test::HostRecord record;
        EXPECT_EQ(InvokeVerb(menu.Get(), "open", nullptr, window_), r.result);
        HWND started = host::FindHostWindow();
        EXPECT_EQ(started != nullptr, r.started);
        if (started) {
            EXPECT_TRUE(test::CloseHost(started));
        }
        std::vector<std::string> lines = record.Lines();
        EXPECT_EQ(!lines.empty(), r.started);
        if (r.started) {
            std::optional<CopyData> sent = LastCopyData(lines, 0);
            ASSERT_TRUE(sent);
            EXPECT_EQ(sent->data, 18u);  // the open request
        }
    }
}

// The tool and the library copied to a folder without kwill.exe and without the language files:
// the menu falls back to its built-in English texts (the same as the language module's), and a
// command finds no host to start: the library's box (closed here) and a failure.
TEST_F(InvokeTest, WithoutTheProgramTheCommandFails) {
    ASSERT_EQ(host::FindHostWindow(), nullptr);
    ConfigFiles files(Archives());
    test::TempFolder copy;
    for (const wchar_t* name : {L"kwilltool.exe", L"kwilllib.dll"})
        ASSERT_TRUE(::CopyFileW((test::ExeFolder() + name).c_str(), (copy / name).c_str(), FALSE));
    std::wstring data = test::ConfigScratch();
    data.pop_back();
    std::wstring arguments = L"menu --data \"" + data + L"\" \"" + (files_ / L"a.zip") + L"\"";

    test::ProcessResult listed = test::RunProcessCaptured(copy / L"kwilltool.exe", arguments);
    ASSERT_TRUE(listed.finished);
    EXPECT_EQ(listed.exitCode, 0u) << listed.err;
    EXPECT_NE(listed.out.find(tools::Utf8FromWide(LibText(20008))), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find(tools::Utf8FromWide(LibFormat(20007, L"a"))), std::string::npos)
        << listed.out;

    test::BoxWatchdog watchdog(L"Tarnwell");
    test::ProcessResult invoked = test::RunProcessCaptured(
        copy / L"kwilltool.exe", L"menu --invoke 1 " + arguments.substr(5));
    ASSERT_TRUE(invoked.finished);
    EXPECT_EQ(invoked.exitCode, 1u);
    EXPECT_EQ(invoked.out.rfind("invoke 1: 0x80004005", 0), 0u) << invoked.out;
    std::vector<std::wstring> texts = watchdog.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0] == L"KwillRT: Tarnwell could not be found" ||
                texts[0].rfind(L"KwillRT: Unable to launch Tarnwell from\n\"", 0) == 0)
        << test::Printable(texts[0]);
    EXPECT_EQ(host::FindHostWindow(), nullptr);
}

}  // namespace
}  // namespace kwill::shellext
