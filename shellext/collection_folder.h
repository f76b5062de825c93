// The class behind the file-collection item on the desktop. File collections live inside the
// host program; the shell only needs an object whose class GUID names the item. It is a shell
// folder that refuses every folder operation, so the shell never browses into it; opening the
// item is caught by the execute hook and handed to the host.
#pragma once

#include "frame/platform.h"
#include "shellext/com_object.h"

#include <shlobj.h>

#include <cstdint>

namespace kwill::shellext {

class KwillFileCollectionShellExtension final
    : public RefCountedObject<IPersistFolder, IShellFolder> {
  public:
    KwillFileCollectionShellExtension() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

    // IPersist, IPersistFolder
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder) override;

    // IShellFolder: every operation answers E_NOTIMPL and clears the pointers it would return.
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG* eaten,
                                               PIDLIST_RELATIVE* list, ULONG*) override;
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList** items) override;
    HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID,
                                           void** out) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID,
                                            void** out) override;
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override;
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void** out) override;
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override;
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*,
                                            void** out) override;
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override;
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF,
                                        PITEMID_CHILD* out) override;

  private:
    ~KwillFileCollectionShellExtension() override;

    uint8_t* folder_ = nullptr;  // the copy Initialize keeps, task memory
};

// The class table's create function: a new object with one reference, or null without memory.
IUnknown* CreateFileCollectionShellExtension();

}  // namespace kwill::shellext
