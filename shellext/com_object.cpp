#include "shellext/com_object.h"

#include "frame/shared_state.h"

namespace kwill::shellext {

ModuleObjectCount::ModuleObjectCount() {
    ::InterlockedIncrement(&Shared().comObjects);
}

ModuleObjectCount::~ModuleObjectCount() {
    ::InterlockedDecrement(&Shared().comObjects);
}

void LockModule(bool lock) {
    if (lock)
        ::InterlockedIncrement(&Shared().serverLocks);
    else
        ::InterlockedDecrement(&Shared().serverLocks);
}

bool ModuleCanUnload() {
    // Interlocked reads: another process may change the counts at any moment.
    return ::InterlockedCompareExchange(&Shared().comObjects, 0, 0) == 0 &&
           ::InterlockedCompareExchange(&Shared().serverLocks, 0, 0) == 0;
}

HRESULT QueryInterfaceFromTable(std::initializer_list<InterfaceEntry> table, REFIID iid,
                                void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const InterfaceEntry& entry : table) {
        if (::IsEqualIID(iid, *entry.iid) || ::IsEqualIID(iid, IID_IUnknown)) {
            // IID_IUnknown always gives the first entry, so that every caller sees one identity.
            entry.pointer->AddRef();
            *out = entry.pointer;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

}  // namespace kwill::shellext
