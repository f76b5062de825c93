#include "shellext/drop_target.h"

#include "frame/context.h"
#include "hostlink/host_start.h"
#include "shellext/archive_command.h"
#include "shellext/com_object.h"
#include "shellext/persist_file.h"
#include "shellext/menu_bitmap.h"
#include "strings/path_strings.h"

#include <intshcut.h>
#include <shlobj.h>
#include <uxtheme.h>

#include <cwchar>
#include <new>
#include <string>

namespace kwill::shellext {
namespace {

// {FBF23B40-E3F0-101B-8488-00AA003E56F8}: the shell's Internet shortcut.
constexpr CLSID kInternetShortcut = {
    0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
// {CABB0DA0-DA57-11CF-9974-0020AFD79762}: IUniformResourceLocatorW.
constexpr IID kUrlInterface = {
    0xCABB0DA0, 0xDA57, 0x11CF, {0x99, 0x74, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x62}};

bool EqualExtension(const wchar_t* extension, const wchar_t* wanted) {
    return extension && ::CompareStringOrdinal(extension, -1, wanted, -1, TRUE) == CSTR_EQUAL;
}

DWORD Effect(bool move) {
    return move ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
}

class KwillDropTarget final : public RefCountedObject<IDropTarget, LoadOnlyPersistFile> {
  public:
    KwillDropTarget() : bitmap_(MakeMenuBitmap()) {}
    ~KwillDropTarget() {
        if (bitmap_) ::DeleteObject(bitmap_);
        if (url_) ::CoTaskMemFree(url_);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable({{&IID_IDropTarget, static_cast<IDropTarget*>(this)},
                                        {&IID_IPersistFile, static_cast<IPersistFile*>(this)},
                                        {&IID_IPersist, static_cast<IPersistFile*>(this)}},
                                       iid, out);
    }

    // A zip archive, or an Internet shortcut to an FTP site. A path too long for the field is
    // refused rather than cut: the cut path would name another file.
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override {
        loaded_ = false;
        path_.clear();
        if (url_) {
            ::CoTaskMemFree(url_);
            url_ = nullptr;
        }
        if (!name || wcsnlen(name, MAX_PATH) >= MAX_PATH) return E_FAIL;
        path_ = name;
        const wchar_t* extension = FindFileExtensionW(path_.c_str());
        if (!extension || !*extension) return E_FAIL;
        if (EqualExtension(extension, L".zip")) {
            loaded_ = true;
            return S_OK;
        }
        if (!EqualExtension(extension, L".url")) return E_FAIL;
        IUniformResourceLocatorW* shortcut = nullptr;
        if (FAILED(::CoCreateInstance(kInternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                      kUrlInterface, reinterpret_cast<void**>(&shortcut))))
            return E_FAIL;
        HRESULT hr = E_FAIL;
        IPersistFile* file = nullptr;
        if (SUCCEEDED(
                shortcut->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t* url = nullptr;
            if (SUCCEEDED(file->Load(path_.c_str(), STGM_READ)) &&
                SUCCEEDED(shortcut->GetURL(&url)) && url) {
                if (IsFTPPathW(url)) {
                    url_ = url;
                    loaded_ = true;
                    hr = S_OK;
                } else {
                    ::CoTaskMemFree(url);
                }
            }
            file->Release();
        }
        shortcut->Release();
        return hr;
    }

    // ---- IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL,
                                        DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        int button = ::GetSystemMetrics(SM_SWAPBUTTON) ? VK_LBUTTON : VK_RBUTTON;
        rightButton_ = (::GetAsyncKeyState(button) & 0x8000) != 0;
        accepted_ = OffersDropFiles(data);
        *effect = accepted_ ? Effect(keys & MK_SHIFT) : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL, DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        // What DragEnter refused stays refused while the drag moves over the file.
        *effect = accepted_ ? Effect(keys & MK_SHIFT) : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        *effect = DROPEFFECT_NONE;
        // Nothing was loaded to drop onto: the shell would have sent the files nowhere.
        if (!loaded_ || !data) return S_OK;
        bool move = (keys & MK_SHIFT) != 0;
        if (rightButton_) {
            unsigned chosen = ChooseFromMenu(move);
            if (chosen != kDropCopyHere && chosen != kDropMoveHere) return S_OK;
            // The menu's choice decides: "Copy Here" copies even with Shift held.
            move = chosen == kDropMoveHere;
        }
        HWND host = hostlink::FindOrStartKwill(0, nullptr);
        const wchar_t* target = url_ ? url_ : path_.c_str();
        LRESULT reply = SendArchiveCommand(host, ::GetForegroundWindow(), data,
                                           move ? kKindDropMove : kKindDropCopy, target, L"");
        if (reply) *effect = Effect(move);
        return S_OK;
    }

  private:
    unsigned ChooseFromMenu(bool move) {
        HMENU menu = ::LoadMenuW(Context().module, MAKEINTRESOURCEW(kDropMenuResource));
        if (!menu) return 0;
        HMENU popup = ::GetSubMenu(menu, 0);
        unsigned chosen = 0;
        if (popup) {
            if (!url_ && bitmap_) {
                for (unsigned id : {kDropCopyHere, kDropMoveHere}) {
                    if (::IsAppThemed()) {
                        MENUITEMINFOW item{};
                        item.cbSize = sizeof(item);
                        item.fMask = MIIM_BITMAP;
                        item.hbmpItem = bitmap_;
                        ::SetMenuItemInfoW(popup, id, FALSE, &item);
                    } else {
                        ::SetMenuItemBitmaps(popup, id, MF_BYCOMMAND, bitmap_, bitmap_);
                    }
                }
            }
            ::SetMenuDefaultItem(popup, move ? kDropMoveHere : kDropCopyHere, FALSE);
            POINT at{};
            ::GetCursorPos(&at);
            chosen = static_cast<unsigned>(
                ::TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_NONOTIFY | TPM_RETURNCMD, at.x, at.y,
                                 0, ::GetForegroundWindow(), nullptr));
        }
        ::DestroyMenu(menu);
        return chosen;
    }

    HBITMAP bitmap_ = nullptr;
    bool rightButton_ = false;
    bool accepted_ = false;
    bool loaded_ = false;
    wchar_t* url_ = nullptr;
    std::wstring path_;
};

}  // namespace

IUnknown* CreateDropTarget() {
    return static_cast<IDropTarget*>(new (std::nothrow) KwillDropTarget());
}

}  // namespace kwill::shellext
