#include "shellext/collection_folder.h"

#include "shellext/class_table.h"
#include "shellns/id_list.h"
#include "shellns/id_list_memory.h"

#include <new>

namespace kwill::shellext {
namespace {

// A failed call still leaves its out pointer defined, as COM requires.
template <typename T>
void Clear(T* out) {
    if (out) *out = nullptr;
}

}  // namespace

KwillFileCollectionShellExtension::~KwillFileCollectionShellExtension() {
    shellns::FreeList(folder_);
}

HRESULT KwillFileCollectionShellExtension::QueryInterface(REFIID iid, void** out) {
    return QueryInterfaceFromTable({{&IID_IPersistFolder, static_cast<IPersistFolder*>(this)},
                                    {&IID_IPersist, static_cast<IPersistFolder*>(this)},
                                    {&IID_IShellFolder, static_cast<IShellFolder*>(this)}},
                                   iid, out);
}

HRESULT KwillFileCollectionShellExtension::GetClassID(CLSID* clsid) {
    if (clsid) *clsid = kClsidFileCollection;
    return S_OK;
}

// Keeps a copy of the folder's ID list in place of one held from an earlier call. When the copy
// of a list cannot be made, the object stays as it was and the caller learns of it.
HRESULT KwillFileCollectionShellExtension::Initialize(PCIDLIST_ABSOLUTE folder) {
    const auto* list = reinterpret_cast<const uint8_t*>(folder);
    uint8_t* copy = shellns::CopyItems(list, shellns::kAllItems);
    if (list && !copy) return E_OUTOFMEMORY;
    shellns::FreeList(folder_);
    folder_ = copy;
    return S_OK;
}

HRESULT KwillFileCollectionShellExtension::ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG* eaten,
                                                            PIDLIST_RELATIVE* list, ULONG*) {
    if (eaten) *eaten = 0;
    Clear(list);
    return E_NOTIMPL;
}

HRESULT KwillFileCollectionShellExtension::EnumObjects(HWND, SHCONTF, IEnumIDList** items) {
    Clear(items);
    return E_NOTIMPL;
}

HRESULT KwillFileCollectionShellExtension::BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID,
                                                        void** out) {
    Clear(out);
    return E_NOTIMPL;
}

HRESULT KwillFileCollectionShellExtension::BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID,
                                                         void** out) {
    Clear(out);
    return E_NOTIMPL;
}

HRESULT KwillFileCollectionShellExtension::CompareIDs(LPARAM, PCUIDLIST_RELATIVE,
                                                      PCUIDLIST_RELATIVE) {
    return E_NOTIMPL;
}

HRESULT KwillFileCollectionShellExtension::CreateViewObject(HWND, REFIID, void** out) {
    Clear(out);
    return E_NOTIMPL;
}

// The attribute mask is in/out: left as the caller gave it.
HRESULT KwillFileCollectionShellExtension::GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) {
    return E_NOTIMPL;
}

HRESULT KwillFileCollectionShellExtension::GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID,
                                                         UINT*, void** out) {
    Clear(out);
    return E_NOTIMPL;
}

// A STRRET holds no pointer until it is filled, so there is nothing to clear.
HRESULT KwillFileCollectionShellExtension::GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) {
    return E_NOTIMPL;
}

HRESULT KwillFileCollectionShellExtension::SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF,
                                                     PITEMID_CHILD* out) {
    Clear(out);
    return E_NOTIMPL;
}

IUnknown* CreateFileCollectionShellExtension() {
    return static_cast<IPersistFolder*>(new (std::nothrow) KwillFileCollectionShellExtension());
}

}  // namespace kwill::shellext
