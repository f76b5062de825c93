// A helper process for the COM server tests, which must watch the library being loaded and
// unloaded by COM alone (the test program itself keeps the DLL loaded).
//   comprobe hold READY RELEASE   loads the DLL, holds a class factory, sets the event READY and
//                                 releases the factory when the event RELEASE is set.
//   comprobe unload               CoFreeUnusedLibrariesEx with a factory held, with a server
//                                 lock held, and with neither.
//   comprobe unload-held RELEASE  the same while another process holds a factory; then sets
//                                 RELEASE and waits for the library to go.
// Exit code: 100 + 1, 2, 4 for "still loaded" after the first, second and third step; 1 to 99
// when something failed on the way.
#include "frame/platform.h"

#include <objbase.h>

#include <string>

namespace {

// The folder-mode context menu class, registered as "Apartment".
const CLSID kClsid = {0xE9FE4040, 0x3C93, 0x11d4, {0x80, 0x06, 0x00, 0x20, 0x18, 0x60, 0xE8, 0x8A}};

std::wstring DllPath() {
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"kwilllib.dll";
}

bool Loaded() {
    return ::GetModuleHandleW(L"kwilllib.dll") != nullptr;
}

bool FreeUnused() {
    ::CoFreeUnusedLibrariesEx(0, 0);
    return Loaded();
}

int Hold(const wchar_t* ready, const wchar_t* release) {
    HMODULE dll = ::LoadLibraryW(DllPath().c_str());
    if (!dll) return 10;
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (!get || FAILED(get(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return 11;
    HANDLE readyEvent = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE releaseEvent = ::OpenEventW(SYNCHRONIZE, FALSE, release);
    if (!readyEvent || !releaseEvent) return 12;
    ::SetEvent(readyEvent);
    DWORD waited = ::WaitForSingleObject(releaseEvent, 30000);
    factory->Release();
    return waited == WAIT_OBJECT_0 ? 0 : 13;
}

IClassFactory* GetFactory() {
    IClassFactory* factory = nullptr;
    if (FAILED(::CoGetClassObject(kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory))))
        return nullptr;
    return factory;
}

int Unload() {
    IClassFactory* factory = GetFactory();
    if (!factory || !Loaded()) return 20;
    int code = 100;
    if (FreeUnused()) code |= 1;  // a factory is alive
    factory->LockServer(TRUE);
    factory->Release();
    if (FreeUnused()) code |= 2;  // no object, but a lock
    factory = GetFactory();
    if (!factory) return 21;
    factory->LockServer(FALSE);
    factory->Release();
    if (FreeUnused()) code |= 4;  // neither
    return code;
}

int UnloadHeld(const wchar_t* release) {
    IClassFactory* factory = GetFactory();
    if (!factory || !Loaded()) return 30;
    factory->Release();
    int code = 100;
    if (FreeUnused()) code |= 1;  // our objects are gone, the other process's is not
    HANDLE releaseEvent = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, release);
    if (!releaseEvent) return 31;
    ::SetEvent(releaseEvent);
    bool loaded = true;
    for (int i = 0; i < 200 && loaded; ++i) {
        ::Sleep(25);
        loaded = FreeUnused();
    }
    if (loaded) code |= 2;
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring mode = argv[1];
    if (mode == L"hold" && argc == 4) return Hold(argv[2], argv[3]);
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    int code = 2;
    if (mode == L"unload") code = Unload();
    if (mode == L"unload-held" && argc == 3) code = UnloadHeld(argv[2]);
    ::CoUninitialize();
    return code;
}
