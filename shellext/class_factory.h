// The one class factory of the COM server, and the two entry points that hand it out and decide
// when the library may be unloaded.
#pragma once

#include "frame/platform.h"
#include "shellext/com_object.h"

#include <unknwn.h>

namespace kwill::shellext {

// Serves every class of the class table. It is made for any CLSID; CreateInstance decides.
class KwillClassFactory final : public RefCountedObject<IClassFactory> {
  public:
    explicit KwillClassFactory(REFCLSID clsid) : clsid_(clsid) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  private:
    ~KwillClassFactory() override = default;

    CLSID clsid_;
};

// DllGetClassObject: a factory for the CLSID, asked for the interface.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

// DllCanUnloadNow: S_OK when no object and no lock exist in any process, else S_FALSE.
HRESULT CanUnloadNow();

}  // namespace kwill::shellext
