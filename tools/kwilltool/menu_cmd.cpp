// kwill menu: the context menu the shell would show for files (or, with --desktop, for the
// desktop background), built by the library's own context-menu object from its class object, as
// the shell builds it: Initialize with a shell data object over the files, QueryContextMenu into
// a popup menu, then each item's verb and help text from GetCommandString. With --invoke it runs
// one command instead, as choosing it in the shell would.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/portable_data.h"
#include "tools/kwilltool/subcommand.h"

#include <shlobj.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

const Subcommand& Command();

const CLSID kFolderMenuClsid = {
    0xE9FE4040, 0x3C93, 0x11d4, {0x80, 0x06, 0x00, 0x20, 0x18, 0x60, 0xE8, 0x8A}};
const CLSID kDesktopMenuClsid = {
    0xB9DD4945, 0x1BED, 0x4cb7, {0x99, 0x4C, 0xF4, 0x0B, 0x72, 0xB7, 0x72, 0x5A}};

constexpr UINT kFirstId = 1;
constexpr UINT kLastId = 0x7FFF;

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

IContextMenu* CreateMenu(REFCLSID clsid) {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = KwillDll::Get().Require<GetClassObjectFn>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    if (FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
    IContextMenu* menu = nullptr;
    factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu));
    factory->Release();
    return menu;
}

// A shell data object over files of one folder, as the shell hands a selection over.
HRESULT SelectionOf(const std::vector<std::wstring>& files, IDataObject** out) {
    *out = nullptr;
    std::wstring folder;
    std::vector<PIDLIST_ABSOLUTE> lists;
    HRESULT hr = S_OK;
    for (const std::wstring& file : files) {
        wchar_t full[MAX_PATH];
        DWORD n = ::GetFullPathNameW(file.c_str(), MAX_PATH, full, nullptr);
        if (n == 0 || n >= MAX_PATH) return E_INVALIDARG;
        std::wstring path(full, n);
        std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
        if (folder.empty()) folder = parent;
        if (_wcsicmp(folder.c_str(), parent.c_str()) != 0) hr = E_INVALIDARG;
        PIDLIST_ABSOLUTE list = nullptr;
        if (SUCCEEDED(hr)) hr = ::SHParseDisplayName(path.c_str(), nullptr, &list, 0, nullptr);
        if (FAILED(hr)) break;
        lists.push_back(list);
    }
    if (SUCCEEDED(hr) && !lists.empty()) {
        PIDLIST_ABSOLUTE parent = ::ILClone(lists[0]);
        ::ILRemoveLastID(parent);
        std::vector<PCUITEMID_CHILD> children;
        for (PIDLIST_ABSOLUTE list : lists) children.push_back(::ILFindLastID(list));
        hr = ::CIDLData_CreateFromIDArray(
            parent, static_cast<UINT>(children.size()),
            reinterpret_cast<PCUIDLIST_RELATIVE_ARRAY>(children.data()), out);
        ::CoTaskMemFree(parent);
    }
    for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
    return hr;
}

std::wstring CommandString(IContextMenu* menu, UINT offset, UINT type) {
    wchar_t text[300] = {};
    if (FAILED(menu->GetCommandString(offset, type, nullptr, reinterpret_cast<char*>(text), 300)))
        return L"";
    return text;
}

// The command kind of an item: the menu reports only verbs, and a few verbs serve two kinds
// (the ordinary menu's and the drag-and-drop menu's).
const char* KindOfVerb(const std::wstring& verb, bool dropMenu) {
    std::wstring base = verb.substr(0, verb.find(L'.'));
    struct Row {
        const wchar_t* verb;
        const char* kind;
        const char* dropKind;
    } rows[] = {
        {L"newlister", "0", "0"},    {L"tarnprefs", "1", "1"},  {L"extracthere", "2", "16"},
        {L"extractto", "3", "3"},    {L"extractsub", "4", "5"}, {L"addto", "6", "6"},
        {L"addtoname", "7", "7"},    {L"zipandmail", "8", "8"}, {L"remcollicon", "13", "13"},
        {L"convertsfx", "14", "15"}, {L"open", "17", "17"},     {L"addtofoldername", "18", "18"},
    };
    for (const Row& r : rows)
        if (base == r.verb) return dropMenu ? r.dropKind : r.kind;
    return verb.empty() ? "12" : "?";  // only the layouts carry no verb
}

std::string Pad(std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + " ";
}

void Describe(IContextMenu* object, HMENU menu, bool dropMenu, const std::string& indent,
              std::string* out) {
    int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = 256;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) continue;
        if (item.fType & MFT_SEPARATOR) {
            *out += Pad("-", 5) + Pad("", 5) + Pad("", 20) + indent + "----\n";
        } else if (item.hSubMenu) {
            *out +=
                Pad("-", 5) + Pad("", 5) + Pad("", 20) + indent + "[" + Utf8FromWide(text) + "]\n";
            Describe(object, item.hSubMenu, dropMenu, indent + "  ", out);
        } else {
            UINT offset = item.wID - kFirstId;
            std::wstring verb = CommandString(object, offset, GCS_VERBW);
            std::wstring help = CommandString(object, offset, GCS_HELPTEXTW);
            *out += Pad(std::to_string(item.wID), 5) + Pad(KindOfVerb(verb, dropMenu), 5) +
                    Pad(verb.empty() ? "-" : Utf8FromWide(verb), 20) +
                    Pad(indent + Utf8FromWide(text), 44) + Utf8FromWide(help) + "\n";
        }
    }
}

HRESULT Invoke(IContextMenu* menu, const std::string& verb) {
    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = sizeof(info);
    info.fMask = CMIC_MASK_UNICODE;
    info.nShow = SW_SHOWNORMAL;
    bool number = !verb.empty();
    for (char c : verb) number = number && c >= '0' && c <= '9';
    std::wstring wide = WideFromUtf8(verb);
    if (number) {
        // An identifier as listed, taken as the offset from the first.
        UINT offset = static_cast<UINT>(std::stoul(verb)) - kFirstId;
        info.lpVerb = MAKEINTRESOURCEA(offset);
        info.lpVerbW = MAKEINTRESOURCEW(offset);
    } else {
        info.lpVerb = verb.c_str();
        info.lpVerbW = wide.c_str();
    }
    return menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}

int Run(const std::vector<std::string>& args) {
    bool desktop = false;
    std::string invoke, target;
    std::vector<std::wstring> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--desktop") {
            desktop = true;
        } else if (a == "--invoke" && hasValue) {
            invoke = args[++i];
        } else if (a == "--target" && hasValue) {
            target = args[++i];
        } else if (a == "--data" && hasValue) {
            if (!UsePortableData(args[++i])) {
                WriteErr("kwill menu: cannot use " + args[i] + " as the data folder\n");
                return 1;
            }
        } else if (a.rfind("--", 0) == 0) {
            return UsageError(Command(), a == "--help" ? "" : "unknown argument " + a);
        } else {
            files.push_back(WideFromUtf8(a));
        }
    }
    if (files.empty() && !desktop) return UsageError(Command(), "no files");

    ::OleInitialize(nullptr);
    int code = 1;
    IDataObject* data = nullptr;
    PIDLIST_ABSOLUTE folder = nullptr;
    IContextMenu* menu = CreateMenu(desktop ? kDesktopMenuClsid : kFolderMenuClsid);
    IShellExtInit* init = nullptr;
    HRESULT hr = menu ? S_OK : REGDB_E_CLASSNOTREG;
    if (SUCCEEDED(hr) && !files.empty()) hr = SelectionOf(files, &data);
    if (SUCCEEDED(hr) && !target.empty()) {
        wchar_t full[MAX_PATH];
        DWORD n = ::GetFullPathNameW(WideFromUtf8(target).c_str(), MAX_PATH, full, nullptr);
        hr = n == 0 || n >= MAX_PATH ? E_INVALIDARG
                                     : ::SHParseDisplayName(full, nullptr, &folder, 0, nullptr);
    }
    if (FAILED(hr)) {
        WriteErr("kwill menu: the selection cannot be made (" + HexResult(hr) +
                 "); the files (and the target folder) must exist, the files in one folder\n");
    } else {
        // Over the desktop background the shell has the desktop window in front.
        if (desktop && files.empty()) {
            if (HWND front = ::FindWindowW(L"Progman", nullptr)) ::SetForegroundWindow(front);
        }
        menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
        hr = init ? init->Initialize(folder, data, nullptr) : E_NOINTERFACE;
        if (FAILED(hr)) {
            WriteErr("kwill menu: no menu here (Initialize " + HexResult(hr) +
                     "): the preference flags offer none for this selection" +
                     (desktop ? " (the desktop menu also needs the desktop in front)" : "") + "\n");
        }
    }
    if (SUCCEEDED(hr)) {
        HMENU popup = ::CreatePopupMenu();
        hr = menu->QueryContextMenu(popup, 0, kFirstId, kLastId, CMF_NORMAL);
        if (FAILED(hr)) {
            WriteErr("kwill menu: no items (QueryContextMenu " + HexResult(hr) + ")\n");
        } else if (invoke.empty()) {
            std::string out =
                Pad("id", 5) + Pad("kind", 5) + Pad("verb", 20) + Pad("text", 44) + "help\n";
            Describe(menu, popup, !target.empty(), "", &out);
            WriteOut(out);
            code = 0;
        } else {
            HRESULT result = Invoke(menu, invoke);
            WriteOut("invoke " + invoke + ": " + HexResult(result) +
                     (result == S_OK      ? " (done)\n"
                      : SUCCEEDED(result) ? "\n"
                                          : " (failed)\n"));
            code = SUCCEEDED(result) ? 0 : 1;
        }
        ::DestroyMenu(popup);
    }
    if (init) init->Release();
    if (menu) menu->Release();
    if (data) data->Release();
    if (folder) ::CoTaskMemFree(folder);
    ::OleUninitialize();
    return code;
}

const Subcommand kCommand = {
    "menu", "the shell context menu the library builds for files, or runs one of its commands",
    "[--desktop] [--invoke VERB] [--target FOLDER] [--data DIR] FILE...\n"
    "  --desktop  the desktop menu (with no FILE: the desktop background)\n"
    "  --invoke   runs the command with this verb, or with an id as listed\n"
    "  --target   a drag-and-drop menu: the files are dropped into FOLDER\n"
    "  --data     the data folder of a portable installation",
    Run};

const Subcommand& Command() {
    return kCommand;
}

const SubcommandRegistrar kRegistrar(kCommand);

}  // namespace
}  // namespace kwill::tools
