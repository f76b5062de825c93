#include "shellext/class_factory.h"

#include "shellext/class_table.h"

#include <new>

namespace kwill::shellext {

HRESULT KwillClassFactory::QueryInterface(REFIID iid, void** out) {
    return QueryInterfaceFromTable({{&IID_IClassFactory, static_cast<IClassFactory*>(this)}}, iid,
                                   out);
}

HRESULT KwillClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    const ComClass* row = FindComClass(clsid_);
    if (!row) return E_NOINTERFACE;
    if (!row->create) return CLASS_E_CLASSNOTAVAILABLE;
    IUnknown* object = row->create();
    if (!object) return E_OUTOFMEMORY;
    // The object's own reference goes once the caller holds the one QueryInterface added; a
    // failed QueryInterface therefore destroys the object again.
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

HRESULT KwillClassFactory::LockServer(BOOL lock) {
    LockModule(lock != FALSE);
    return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* factory = new (std::nothrow) KwillClassFactory(clsid);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

HRESULT CanUnloadNow() {
    return ModuleCanUnload() ? S_OK : S_FALSE;
}

}  // namespace kwill::shellext
