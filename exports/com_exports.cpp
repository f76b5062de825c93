// The COM server's four entry points. The shell finds them by name.
#include "exports/export.h"
#include "shellext/class_factory.h"
#include "shellext/registration_table.h"

#include <new>
#include <olectl.h>

// Hands out the library's class factory for any CLSID, asked for iid (IID_IClassFactory or
// IID_IUnknown); the factory's CreateInstance answers E_NOINTERFACE for a CLSID that is not one
// of the library's classes. *out is null on failure; E_POINTER when out is null,
// E_OUTOFMEMORY when the factory cannot be made.
KWILL_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return kwill::shellext::GetClassObject(clsid, iid, out);
}

// S_OK when no object of the library exists and no class factory lock is held, in any process
// that has the library loaded (the counts are shared between processes); otherwise S_FALSE.
KWILL_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return kwill::shellext::CanUnloadNow();
}

// Writes the classes, file kinds and shell switches under HKEY_LOCAL_MACHINE, then removes
// what older versions registered. S_OK, or SELFREG_E_CLASS when a key or value could not be
// written (the rows before it stay written).
KWILL_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    try {
        return kwill::shellext::RegisterServer();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// Removes what DllRegisterServer wrote; keys shared with other programs keep everything but our
// values. S_OK, or SELFREG_E_CLASS when a key tree may not be deleted.
KWILL_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    try {
        return kwill::shellext::UnregisterServer();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
