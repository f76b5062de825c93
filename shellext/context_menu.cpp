#include "shellext/context_menu.h"

#include "hostlink/config_paths.h"
#include "hostlink/config_values.h"
#include "hostlink/explorer_settings.h"
#include "hostlink/host_interface.h"
#include "hostlink/host_prefs.h"
#include "hostlink/host_requests.h"
#include "hostlink/host_start.h"
#include "shellext/archive_command.h"
#include "shellext/com_object.h"
#include "shellext/context_menu_commands.h"
#include "shellext/context_menu_plan.h"
#include "shellext/menu_bitmap.h"
#include "shellext/menu_layouts.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace kwill::shellext {
namespace {

constexpr int kFolderMode = 0;
constexpr int kDesktopMode = 1;
constexpr int kCollectionMode = 4;
constexpr size_t kMaxDroppedName = 4096;
constexpr ULONG_PTR kLayoutData = 12;
constexpr uint64_t kSettings2CollectionsIcon = 0x4000000;
constexpr wchar_t kNamespaceKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\"
    L"{D2FCA36D-93CD-46F2-8324-6308F6E31B53}";
constexpr wchar_t kControlPanelParameters[] = L"shell:::{52205fd8-5dfb-447d-801a-d0b52f2e83e1}";

bool EqualNoCase(const wchar_t* a, const wchar_t* b) {
    return ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

std::wstring Wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

// The preference flags the menu reads: the running host's answer, else the configuration files
// (the preferences file and the archive formats).
MenuFlags LoadMenuFlags() {
    host::HostPrefsFlags prefs;
    prefs.Load(/*full=*/true);
    MenuFlags flags;
    flags.settings1 = prefs.settings1;
    flags.settings4 = prefs.settings4;
    flags.archiveContext = prefs.archiveContext;
    std::vector<ArchiveFormat>* lists[host::kFormatListCount] = {&flags.general, &flags.named,
                                                                 &flags.email};
    for (int i = 0; i < host::kFormatListCount; ++i)
        for (const host::ArchiveFormatEntry& entry : prefs.formatLists[i])
            lists[i]->push_back({Wide(entry.extension), Wide(entry.description)});
    return flags;
}

// Parsing name of an item of a folder; empty when the folder gives none.
std::wstring ParsingName(IShellFolder* folder, const ITEMIDLIST* item) {
    STRRET name{};
    if (FAILED(folder->GetDisplayNameOf(item, SHGDN_FORPARSING, &name))) return {};
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(::StrRetToBufW(&name, item, buffer, MAX_PATH))) return {};
    return buffer;
}

bool ForegroundIsDesktop() {
    wchar_t name[81] = {};
    HWND front = ::GetForegroundWindow();
    if (!front || !::GetClassNameW(front, name, 81)) return false;
    return EqualNoCase(name, L"Progman") || EqualNoCase(name, L"WorkerW");
}

// The data object's files as names, or false when it offers no CF_HDROP block. The block is
// read within its size: the data object may come from any process.
bool ReadDroppedNames(IDataObject* data, std::vector<std::wstring>* names) {
    std::optional<std::vector<uint8_t>> files = GetDropFilesBlock(data, CF_HDROP);
    if (!files) return false;
    for (std::wstring& name : ParseDropFiles(*files))
        if (name.size() <= kMaxDroppedName) names->push_back(std::move(name));
    return true;
}

class KwillContextMenu final : public RefCountedObject<IContextMenu, IShellExtInit> {
  public:
    explicit KwillContextMenu(int mode) : baseMode_(mode), mode_(mode), bitmap_(MakeMenuBitmap()) {}
    ~KwillContextMenu() {
        if (data_) data_->Release();
        if (bitmap_) ::DeleteObject(bitmap_);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable({{&IID_IContextMenu, static_cast<IContextMenu*>(this)},
                                        {&IID_IShellExtInit, static_cast<IShellExtInit*>(this)}},
                                       iid, out);
    }

    // ---- IShellExtInit
    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                         HKEY) override {
        // Each call starts afresh: nothing of an earlier selection carries over.
        if (data_) {
            data_->Release();
            data_ = nullptr;
        }
        mode_ = baseMode_;
        initialised_ = false;
        target_.clear();
        firstItem_.clear();
        layouts_.clear();
        commands_.Clear();

        if (data) {
            ReadSelection(data);
            if (mode_ == kCollectionMode) {
                initialised_ = true;
                return S_OK;
            }
        }
        flags_ = LoadMenuFlags();

        bool noFolder = !folder || folder->mkid.cb == 0;
        if (!data && noFolder) {
            if (mode_ == kDesktopMode && (flags_.settings1 & kSettings1DesktopMenu) &&
                ForegroundIsDesktop()) {
                initialised_ = true;
                return S_OK;
            }
            return E_FAIL;
        }
        if (mode_ == kDesktopMode || !data) return E_FAIL;
        if (!(flags_.archiveContext & kContextEnabled) ||
            (flags_.archiveContext & kContextDisabled))
            return E_FAIL;
        if (folder) {
            wchar_t path[MAX_PATH] = {};
            if (::SHGetPathFromIDListW(folder, path)) target_ = path;
        }
        data_ = data;
        data_->AddRef();
        initialised_ = true;
        return S_OK;
    }

    // ---- IContextMenu
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last,
                                               UINT flags) override {
        if (flags & CMF_DEFAULTONLY) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        if (!initialised_) return E_FAIL;
        if (!menu || !::IsMenu(menu) || last < first) return E_INVALIDARG;
        commands_.Clear();
        first_ = first;
        last_ = last;
        bool verbsOnly = flags & CMF_VERBSONLY;

        if (mode_ == kCollectionMode) {
            // The collection item takes its commands from its own namespace: nothing to add.
        } else if (mode_ == kFolderMode || data_) {
            if (!AddArchiveItems(menu, index, verbsOnly)) return E_FAIL;
            if (mode_ == kFolderMode && commands_.Counter() == 0) return E_FAIL;
        } else {
            AddDesktopItems(menu, index, verbsOnly);
        }
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, commands_.Counter());
    }

    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
        if (!info) return E_INVALIDARG;
        if (!initialised_) return E_FAIL;
        bool extended = info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX);
        // The wide fields exist only in the extended structure and hold text only when the
        // caller says so; otherwise they may be anything.
        auto* wide = extended && (info->fMask & CMIC_MASK_UNICODE)
                         ? reinterpret_cast<CMINVOKECOMMANDINFOEX*>(info)
                         : nullptr;
        uint32_t kind = 0;
        uint32_t format = 0;
        bool textVerb = !IS_INTRESOURCE(info->lpVerb) || (wide && !IS_INTRESOURCE(wide->lpVerbW));
        if (textVerb) {
            std::optional<uint32_t> found;
            if (!IS_INTRESOURCE(info->lpVerb)) found = FindTextVerbA(info->lpVerb);
            if (!found && wide && !IS_INTRESOURCE(wide->lpVerbW))
                found = FindTextVerb(wide->lpVerbW);
            if (!found) return E_FAIL;
            kind = *found;
        } else {
            const MenuCommandEntry* entry =
                commands_.Find(static_cast<UINT>(LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb))));
            if (!entry) return E_FAIL;
            kind = entry->kind;
            format = entry->format;
        }
        const MenuCommand* command = FindMenuCommand(kind);
        if (!command) return E_FAIL;
        if (command->action == MenuAction::RemoveCollectionsIcon) {
            RemoveCollectionsIcon();
            return S_OK;
        }
        if (command->action == MenuAction::OpenFolder) {
            if (firstItem_.empty()) return OpenControlPanelShortcut(wide);
            // Asked before the host is looked for, so that "open" never starts a host only for
            // it to refuse the folder.
            if (!HostTakesFolder(firstItem_)) return E_FAIL;
        }

        HWND host = hostlink::FindOrStartKwill(0, nullptr);
        if (!host) return E_FAIL;
        HWND from = info->hwnd;
        switch (command->action) {
            case MenuAction::NewLister:
                ::PostMessageW(host, ::RegisterWindowMessageW(host::kMsgNewLister), 2, 0);
                return S_OK;
            case MenuAction::Prefs:
                ::PostMessageW(host, ::RegisterWindowMessageW(host::kMsgPrefs), 0,
                               reinterpret_cast<LPARAM>(from));
                return S_OK;
            case MenuAction::Layout: {
                std::optional<std::wstring> name =
                    LayoutRelativeName(layouts_, static_cast<int>(format));
                if (!name) return E_FAIL;
                COPYDATASTRUCT copy{kLayoutData,
                                    static_cast<DWORD>((name->size() + 1) * sizeof(wchar_t)),
                                    name->data()};
                ::SendMessageW(host, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                               reinterpret_cast<LPARAM>(&copy));
                return S_OK;
            }
            case MenuAction::Archive: {
                std::wstring extension = FormatExtension(flags_, kind, format);
                LRESULT reply = SendArchiveCommand(host, from, data_, kind, target_, extension);
                return reply ? S_OK : E_FAIL;
            }
            case MenuAction::OpenFolder: {
                INT_PTR result = hostlink::SendOpenRequestToHost(
                    host, from, L"open", firstItem_.c_str(), nullptr, false, 0, nullptr);
                return result > 32 ? S_OK : E_FAIL;
            }
            default:
                return E_FAIL;
        }
    }

    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR offset, UINT type, UINT*, CHAR* buffer,
                                               UINT cchMax) override {
        if (!initialised_) return E_INVALIDARG;
        uint32_t kind = static_cast<uint32_t>(offset);
        uint32_t format = 0;
        if (const MenuCommandEntry* entry = commands_.Find(static_cast<UINT>(offset))) {
            kind = entry->kind;
            format = entry->format;
        } else if (offset > 0xFFFF) {
            kind = 0xFFFFFFFF;
        }
        const MenuCommand* command = FindMenuCommand(kind);
        bool wide = type & GCS_UNICODE;
        switch (type & ~GCS_UNICODE) {
            case GCS_VALIDATEA:
                return S_OK;
            case GCS_VERBA: {
                if (!command || !command->verb) return E_INVALIDARG;
                std::wstring extension = FormatExtension(flags_, kind, format);
                return CopyCommandString(CommandVerb(*command, extension), wide, buffer, cchMax);
            }
            case GCS_HELPTEXTA: {
                std::wstring extension = FormatExtension(flags_, kind, format);
                std::wstring help = command ? CommandHelp(*command, extension) : std::wstring();
                return CopyCommandString(help, wide, buffer, cchMax);
            }
            default:
                return E_INVALIDARG;
        }
    }

  private:
    void ReadSelection(IDataObject* data) {
        FORMATETC format = {static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(CFSTR_SHELLIDLIST)),
                            nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        if (FAILED(data->GetData(&format, &medium))) return;
        if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
            const void* bytes = ::GlobalLock(medium.hGlobal);
            if (bytes) {
                std::span<const uint8_t> block(static_cast<const uint8_t*>(bytes),
                                               ::GlobalSize(medium.hGlobal));
                CheckedIdLists lists;
                if (ReadIdListArray(block, &lists) && !lists.items.empty()) ReadFirstItem(lists);
                ::GlobalUnlock(medium.hGlobal);
            }
        }
        ::ReleaseStgMedium(&medium);
    }

    void ReadFirstItem(const CheckedIdLists& lists) {
        IShellFolder* desktop = nullptr;
        if (FAILED(::SHGetDesktopFolder(&desktop))) return;
        bool desktopParent = lists.parent->mkid.cb == 0;
        if (lists.items.size() == 1 && desktopParent &&
            EqualNoCase(ParsingName(desktop, lists.items[0]).c_str(), kCollectionItemName)) {
            mode_ = kCollectionMode;
            desktop->Release();
            return;
        }
        IShellFolder* parent = nullptr;
        if (desktopParent) {
            parent = desktop;
            parent->AddRef();
        } else {
            desktop->BindToObject(lists.parent, nullptr, IID_IShellFolder,
                                  reinterpret_cast<void**>(&parent));
        }
        if (parent) {
            SFGAOF attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER;
            PCUITEMID_CHILD child = lists.items[0];
            if (SUCCEEDED(parent->GetAttributesOf(1, &child, &attributes)) &&
                (attributes & SFGAO_FILESYSTEM) && (attributes & SFGAO_FOLDER))
                firstItem_ = ParsingName(parent, lists.items[0]);
            parent->Release();
        }
        desktop->Release();
    }

    // One item at a position: a text (null: a separator), a submenu or a command. Identifiers
    // never pass the last one the shell allows.
    bool InsertItem(HMENU menu, UINT position, const wchar_t* text, uint32_t kind, uint32_t format,
                    bool bitmap, HMENU submenu = nullptr) {
        // A command past the last identifier is left out; a separator past it goes in without
        // one, so that no identifier the shell did not grant is ever handed out.
        bool identified = !submenu && commands_.Counter() <= last_ - first_;
        if (!submenu && text && !identified) return false;
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_STATE | MIIM_ID;
        item.fState = MFS_ENABLED;
        bool themed = MenuBitmapsThemed();
        if (!text) {
            item.fMask |= MIIM_FTYPE;
            item.fType = MFT_SEPARATOR;
        } else {
            item.fMask |= themed ? MIIM_STRING : (MIIM_FTYPE | MIIM_STRING);
            item.fType = MFT_STRING;
            item.dwTypeData = const_cast<wchar_t*>(text);
        }
        if (submenu) {
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = submenu;
        } else if (identified) {
            item.wID = first_ + commands_.Counter();
        } else {
            item.fMask &= ~MIIM_ID;
        }
        if (bitmap && bitmap_ && text) {
            if (themed) {
                item.fMask |= MIIM_BITMAP;
                item.hbmpItem = bitmap_;
            } else {
                item.fMask |= MIIM_CHECKMARKS;
                item.hbmpChecked = bitmap_;
            }
        }
        if (!::InsertMenuItemW(menu, position, TRUE, &item)) return false;
        // Only commands are mapped: a submenu has no identifier of its own, and mapping it at
        // the counter would shadow the command that gets that offset next.
        if (identified && text) commands_.Add(kind, format);
        if (identified) commands_.Advance();
        return true;
    }

    bool AddArchiveItems(HMENU menu, UINT index, bool verbsOnly) {
        std::vector<std::wstring> names;
        if (!ReadDroppedNames(data_, &names)) return false;
        MenuPlan plan = PlanArchiveMenu(flags_, names, !target_.empty(), verbsOnly);
        bool bitmaps = flags_.archiveContext & kContextBitmap;
        HMENU into = plan.submenu ? ::CreatePopupMenu() : menu;
        if (!into) return true;
        UINT position = plan.submenu ? 0 : index;
        for (const PlannedItem& item : plan.items)
            if (InsertItem(into, position, item.text.c_str(), item.kind, item.format,
                           bitmaps && !plan.submenu))
                ++position;
        if (plan.submenu) {
            if (::GetMenuItemCount(into) > 0) {
                std::wstring title = MenuText(20022);
                if (!InsertItem(menu, index, title.c_str(), 0xFFFFFFFF, 0, bitmaps, into))
                    ::DestroyMenu(into);
            } else {
                ::DestroyMenu(into);
            }
        }
        return true;
    }

    void AddDesktopItems(HMENU menu, UINT index, bool verbsOnly) {
        std::wstring text = MenuText(20005);
        InsertItem(menu, index, text.c_str(), kKindNewLister, 0, false);
        text = MenuText(20006);
        InsertItem(menu, index + 1, text.c_str(), kKindPrefs, 0, false);
        std::wstring folder = config::ConfigFolder(0);
        if (!folder.empty()) layouts_ = LoadLayoutTree(folder + L"\\Layouts");
        if (layouts_.empty()) {
            InsertItem(menu, index + 2, nullptr, 0, 0, false);
            return;
        }
        bool flat = verbsOnly || (flags_.settings4 & kSettings4FlatLayouts);
        UINT position = index + 2;
        InsertItem(menu, position++, nullptr, 0, 0, false);
        if (flat) {
            AddLayouts(menu, &position, layouts_);
        } else {
            HMENU submenu = ::CreatePopupMenu();
            UINT inner = 0;
            AddLayouts(submenu, &inner, layouts_);
            std::wstring title = MenuText(20023);
            if (!InsertItem(menu, position++, title.c_str(), kKindLayout, 0, false, submenu))
                ::DestroyMenu(submenu);
        }
        InsertItem(menu, position, nullptr, 0, 0, false);
    }

    void AddLayouts(HMENU menu, UINT* position, const std::vector<LayoutEntry>& list) {
        for (const LayoutEntry& entry : list) {
            if (entry.separator) {
                if (InsertItem(menu, *position, nullptr, 0, 0, false)) ++*position;
            } else if (entry.folder) {
                HMENU submenu = ::CreatePopupMenu();
                UINT inner = 0;
                AddLayouts(submenu, &inner, entry.children);
                if (InsertItem(menu, *position, entry.name.c_str(), kKindLayout, 0xFFFFFFFF, false,
                               submenu))
                    ++*position;
                else
                    ::DestroyMenu(submenu);
            } else if (InsertItem(menu, *position, entry.name.c_str(), kKindLayout,
                                  static_cast<uint32_t>(entry.index), false)) {
                ++*position;
            }
        }
    }

    // Whether the host should open the folder rather than the shell: the user lets "open" hand
    // folders over, and the folder is not one the host leaves to the shell.
    bool HostTakesFolder(const std::wstring& path) const {
        if (!(flags_.settings1 & kSettings1OpenFolders)) return false;
        return hostlink::ShouldHostOpenFolder(path.c_str(), nullptr).host;
    }

    // "open" on a shortcut to the control panel: the shell's own program opens it.
    HRESULT OpenControlPanelShortcut(const CMINVOKECOMMANDINFOEX* info) {
        if (!info || IS_INTRESOURCE(info->lpParametersW) || !info->lpParametersW ||
            !EqualNoCase(info->lpParametersW, kControlPanelParameters))
            return E_FAIL;
        if (IS_INTRESOURCE(info->lpTitleW) || !info->lpTitleW) return E_FAIL;
        size_t length = wcsnlen(info->lpTitleW, 32768);
        if (length < 5 || !EqualNoCase(info->lpTitleW + length - 4, L".lnk")) return E_FAIL;
        wchar_t windows[MAX_PATH] = {};
        std::wstring program = L"explorer.exe";
        UINT got = ::GetWindowsDirectoryW(windows, MAX_PATH);
        if (got && got < MAX_PATH) {
            std::wstring full = std::wstring(windows) + L"\\explorer.exe";
            if (::GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES) program = full;
        }
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        const wchar_t* directory =
            IS_INTRESOURCE(info->lpDirectoryW) ? nullptr : info->lpDirectoryW;
        if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                              NORMAL_PRIORITY_CLASS, nullptr, directory, &startup, &process))
            return E_FAIL;
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return S_FALSE;
    }

    void RemoveCollectionsIcon() {
        if (HWND host = host::FindHostWindow()) {
            ::PostMessageW(host, ::RegisterWindowMessageW(host::kMsgRemoveCollectionsIcon), 0, 0);
            return;
        }
        int64_t settings2 = config::ReadConfigFlagValue("flags", "settings2");
        if (settings2 & static_cast<int64_t>(kSettings2CollectionsIcon))
            config::WriteConfigFlagValue(
                "flags", "settings2", settings2 & ~static_cast<int64_t>(kSettings2CollectionsIcon));
        ::SHDeleteKeyW(HKEY_CURRENT_USER, kNamespaceKey);
        PIDLIST_ABSOLUTE desktop = nullptr;
        if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop))) {
            ::SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, desktop, nullptr);
            ::CoTaskMemFree(desktop);
        }
    }

    const int baseMode_;
    int mode_;
    bool initialised_ = false;
    IDataObject* data_ = nullptr;
    std::wstring target_;
    std::wstring firstItem_;
    MenuFlags flags_;
    HBITMAP bitmap_ = nullptr;
    MenuCommandMap commands_;
    UINT first_ = 0;
    UINT last_ = 0;
    std::vector<LayoutEntry> layouts_;
};

bool ValidIdList(std::span<const uint8_t> block, size_t offset) {
    // Each item's size, then the terminating zero size, all inside the block.
    while (true) {
        if (offset + sizeof(USHORT) > block.size()) return false;
        USHORT size = 0;
        std::memcpy(&size, block.data() + offset, sizeof(size));
        if (size == 0) return true;
        if (size < sizeof(USHORT) || size > block.size() - offset) return false;
        offset += size;
    }
}

}  // namespace

bool ReadIdListArray(std::span<const uint8_t> block, CheckedIdLists* out) {
    *out = {};
    UINT count = 0;
    if (block.size() < sizeof(UINT)) return false;
    std::memcpy(&count, block.data(), sizeof(count));
    if (count > (block.size() - sizeof(UINT)) / sizeof(UINT) - 1) return false;
    std::vector<const ITEMIDLIST*> lists;
    for (UINT i = 0; i <= count; ++i) {
        UINT offset = 0;
        std::memcpy(&offset, block.data() + sizeof(UINT) * (1 + i), sizeof(offset));
        if (!ValidIdList(block, offset)) return false;
        lists.push_back(reinterpret_cast<const ITEMIDLIST*>(block.data() + offset));
    }
    out->parent = lists[0];
    out->items.assign(lists.begin() + 1, lists.end());
    return true;
}

IUnknown* CreateFolderContextMenu() {
    return static_cast<IContextMenu*>(new (std::nothrow) KwillContextMenu(kFolderMode));
}

IUnknown* CreateDesktopContextMenu() {
    return static_cast<IContextMenu*>(new (std::nothrow) KwillContextMenu(kDesktopMode));
}

}  // namespace kwill::shellext
