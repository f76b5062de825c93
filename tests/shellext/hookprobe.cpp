// A helper process for the shell execute hook tests: the hook must be seen from a process of its
// own (another process's shared state, the name of the executable).
//   hookprobe bypass READY RELEASE   holds the shared hook-bypass counter up (BeginHookBypass)
//                          from setting the event READY until the event RELEASE is set.
//   hookprobe skipnext     runs inside the host (library flag 0x4) and hands the hook a request
//                          that starts Explorer, so the hook sets the shared skip-next flag. Exit
//                          code 0 when the hook passed the request.
//   hookprobe runas MASK   holds Shift and Ctrl (SetKeyboardState), makes a "Static" window and
//                          hands the hook a Run-dialog request with fMask MASK. Exit code 1 when
//                          the hook set the verb to "runas", 0 when it left it alone, 2 to 99
//                          when something failed on the way.
// The DLL is the kwilllib.dll in the probe's own folder (the test copies both, the probe under the
// name explorer.exe).
#include "frame/platform.h"

#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

const CLSID kHookClsid = {
    0x3CF9ECE0, 0x1A9F, 0x11d2, {0x8C, 0x73, 0x00, 0xC0, 0x6C, 0x20, 0x05, 0xDE}};

HMODULE LibraryModule() {
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"kwilllib.dll";
    return ::LoadLibraryW(path.c_str());
}

template <typename Fn>
Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(LibraryModule(), name)));
}

IShellExecuteHookW* NewHook() {
    HMODULE dll = LibraryModule();
    if (!dll) return nullptr;
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (!get || FAILED(get(kHookClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    IShellExecuteHookW* hook = nullptr;
    factory->CreateInstance(nullptr, IID_IShellExecuteHookW, reinterpret_cast<void**>(&hook));
    factory->Release();
    return hook;
}

int RunAs(ULONG mask) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = keys[VK_LSHIFT] = 0x80;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
    if (!::SetKeyboardState(keys)) return 2;
    HWND window = ::CreateWindowExW(0, L"Static", L"run", 0, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
    if (!window) return 3;
    IShellExecuteHookW* hook = NewHook();
    if (!hook) return 4;
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = mask;
    request.hwnd = window;
    request.lpFile = L"cmd";
    HRESULT hr = hook->Execute(&request);
    hook->Release();
    ::DestroyWindow(window);
    if (hr != S_FALSE) return 5;
    return request.lpVerb && std::wcscmp(request.lpVerb, L"runas") == 0 ? 1 : 0;
}

int Bypass(const wchar_t* ready, const wchar_t* release) {
    using CounterFn = LONG (*)();
    auto begin = Export<CounterFn>("BeginHookBypass");
    auto end = Export<CounterFn>("EndHookBypass");
    HANDLE readyEvent = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE releaseEvent = ::OpenEventW(SYNCHRONIZE, FALSE, release);
    if (!begin || !end || !readyEvent || !releaseEvent) return 2;
    begin();
    ::SetEvent(readyEvent);
    DWORD wait = ::WaitForSingleObject(releaseEvent, 30000);
    end();
    return wait == WAIT_OBJECT_0 ? 0 : 3;
}

int SkipNext() {
    using FlagsFn = DWORD (*)(DWORD, DWORD);
    // SetLibFlags is exported by ordinal only.
    auto setFlags = reinterpret_cast<FlagsFn>(
        reinterpret_cast<void*>(::GetProcAddress(LibraryModule(), MAKEINTRESOURCEA(26))));
    if (!setFlags) return 2;
    setFlags(0x4, 0);
    IShellExecuteHookW* hook = NewHook();
    if (!hook) return 4;
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.lpFile = L"explorer.exe";
    request.lpParameters = L"/e,C:\\";
    HRESULT hr = hook->Execute(&request);
    hook->Release();
    return hr == S_FALSE ? 0 : 5;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"runas") == 0)
        return RunAs(static_cast<ULONG>(std::wcstoul(argv[2], nullptr, 0)));
    if (argc == 4 && std::wcscmp(argv[1], L"bypass") == 0) return Bypass(argv[2], argv[3]);
    if (argc == 2 && std::wcscmp(argv[1], L"skipnext") == 0) return SkipNext();
    return 99;
}
