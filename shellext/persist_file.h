// The IPersistFile part of the objects the shell hands one file to (icon and info-tip handlers,
// the drop target): only Load does anything, and each object writes its own.
#pragma once

#include "frame/platform.h"

#include <objidl.h>

namespace kwill::shellext {

class LoadOnlyPersistFile : public IPersistFile {
  public:
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        if (clsid) *clsid = CLSID_NULL;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR, BOOL) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name) override {
        if (name) *name = nullptr;
        return E_FAIL;
    }
};

}  // namespace kwill::shellext
