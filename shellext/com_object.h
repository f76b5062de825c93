// What every COM object of the library shares: the module-wide object and lock counts that decide
// when the library may be unloaded, and QueryInterface answered from a table of interfaces.
#pragma once

#include "frame/platform.h"

#include <unknwn.h>

#include <initializer_list>

namespace kwill::shellext {

// Part of every COM object of the library (the class factory included), through
// RefCountedObject below: the constructor counts the object in, the destructor counts it out. The
// counts live in the shared data section, so they cover the objects of every process that has the
// library loaded.
class ModuleObjectCount {
  public:
    ModuleObjectCount();
    ~ModuleObjectCount();
    ModuleObjectCount(const ModuleObjectCount&) = delete;
    ModuleObjectCount& operator=(const ModuleObjectCount&) = delete;
};

// The reference count of an object over the interfaces it implements: it starts at one for the
// creator, Release deletes the object at zero, and the object is in the module's object count for
// its whole life. The object itself answers QueryInterface.
template <typename... Bases>
class RefCountedObject : public Bases... {
  public:
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(::InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

  protected:
    RefCountedObject() = default;
    virtual ~RefCountedObject() = default;

  private:
    volatile LONG refs_ = 1;
    ModuleObjectCount counted_;
};

// IClassFactory::LockServer: true adds a lock, false takes one away.
void LockModule(bool lock);

// True when no object of the library exists in any process and no lock is held.
bool ModuleCanUnload();

// One interface an object answers: its IID and the object seen as that interface.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* pointer;
};

// QueryInterface over a list written in the object's QueryInterface, for example
//   return QueryInterfaceFromTable({{&IID_IContextMenu, static_cast<IContextMenu*>(this)},
//                                   {&IID_IShellExtInit, static_cast<IShellExtInit*>(this)}},
//                                  iid, out);
// IID_IUnknown gives the first entry, a listed IID its entry, each with a reference added and
// S_OK. Anything else stores null and gives E_NOINTERFACE; a null out pointer gives E_POINTER.
HRESULT QueryInterfaceFromTable(std::initializer_list<InterfaceEntry> table, REFIID iid,
                                void** out);

}  // namespace kwill::shellext
