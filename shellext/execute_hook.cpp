#include "shellext/execute_hook.h"

#include "frame/context.h"
#include "frame/shared_state.h"
#include "hostlink/explorer_settings.h"
#include "hostlink/host_requests.h"
#include "hostlink/pass_through.h"
#include "shellext/com_object.h"
#include "shellns/id_list.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace kwill::shellext {
namespace {

constexpr LONG kAppModelErrorNoPackage = 15700;
constexpr DWORD kSkipNextWaitMs = 5000;
constexpr wchar_t kUserKey[] = L"Software\\Brightfold\\Tarnwell";
constexpr wchar_t kRunDialogSwitch[] = L"EnableUACForWINR";

struct ReleaseOnExit {
    IUnknown* p;
    ~ReleaseOnExit() {
        if (p) p->Release();
    }
};

// Compares two lists the way the desktop folder does (CompareIDs answers 0 in its code).
bool SameFolder(PCIDLIST_ABSOLUTE a, PCIDLIST_ABSOLUTE b) {
    if (!a || !b) return false;
    IShellFolder* desktop = nullptr;
    if (FAILED(::SHGetDesktopFolder(&desktop))) return false;
    ReleaseOnExit hold{desktop};
    HRESULT hr = desktop->CompareIDs(0, a, b);
    return SUCCEEDED(hr) && HRESULT_CODE(hr) == 0;
}

class RealEnvironment : public ExecuteHookEnvironment {
  public:
    bool HookBypassed() override { return Shared().hookBypass != 0; }
    bool TakeSkipNext() override { return TakeSkipNextFlag(); }
    bool IsOwnRequest(const SHELLEXECUTEINFOW& request) override {
        return kwill::IsOwnRequest(&request);
    }
    bool InsideHost() override { return (LibFlags() & kLibInsideHost) != 0; }
    uint64_t Settings1() override { return hostlink::LoadReplacementSettings().settings1; }

    bool IsLibrariesFolder(PCIDLIST_ABSOLUTE list) override {
        // Looked up at run time: the function is missing from older shells.
        using KnownFolderIdListFn =
            HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PIDLIST_ABSOLUTE*);
        static const GUID kLibraries = {
            0x1B3EA5DC, 0xB587, 0x4786, {0xB4, 0xEF, 0xBD, 0x1D, 0xC3, 0x32, 0xAE, 0xAE}};
        HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
        auto known = shell ? reinterpret_cast<KnownFolderIdListFn>(reinterpret_cast<void*>(
                                 ::GetProcAddress(shell, "SHGetKnownFolderIDList")))
                           : nullptr;
        PIDLIST_ABSOLUTE libraries = nullptr;
        if (!known || FAILED(known(kLibraries, 0, nullptr, &libraries)) || !libraries) return false;
        bool same = SameFolder(list, libraries);
        ::CoTaskMemFree(libraries);
        return same;
    }

    bool IsNetworkFolder(PCIDLIST_ABSOLUTE list) override {
        PIDLIST_ABSOLUTE network = nullptr;
        if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_NETWORK, &network)) || !network)
            return false;
        bool same = SameFolder(list, network);
        ::CoTaskMemFree(network);
        return same;
    }

    bool ItemHasClass(PCIDLIST_ABSOLUTE list, REFCLSID clsid) override {
        std::optional<shellns::Guid> found =
            shellns::ItemClassGuid(reinterpret_cast<const uint8_t*>(list));
        return found && std::memcmp(found->data(), &clsid, sizeof(GUID)) == 0;
    }

    OwnedIdList ParseShellName(const std::wstring& name, bool* folder) override {
        PIDLIST_ABSOLUTE list = nullptr;
        SFGAOF attributes = SFGAO_FOLDER;
        *folder = false;
        if (FAILED(::SHParseDisplayName(name.c_str(), nullptr, &list, SFGAO_FOLDER, &attributes)))
            return nullptr;
        *folder = (attributes & SFGAO_FOLDER) != 0;
        return OwnedIdList(list);
    }

    OwnedIdList ParseDesktopName(const std::wstring& name) override {
        IShellFolder* desktop = nullptr;
        if (FAILED(::SHGetDesktopFolder(&desktop))) return nullptr;
        ReleaseOnExit hold{desktop};
        PIDLIST_RELATIVE list = nullptr;
        std::wstring copy = name;  // ParseDisplayName takes a writable string
        if (FAILED(
                desktop->ParseDisplayName(nullptr, nullptr, copy.data(), nullptr, &list, nullptr)))
            return nullptr;
        return OwnedIdList(reinterpret_cast<PIDLIST_ABSOLUTE>(list));
    }

    bool IsFolderItem(PCIDLIST_ABSOLUTE list) override {
        SHFILEINFOW info{};
        info.dwAttributes = SFGAO_FOLDER;
        if (!::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(list), 0, &info, sizeof(info),
                              SHGFI_PIDL | SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED))
            return false;
        return (info.dwAttributes & SFGAO_FOLDER) != 0;
    }

    std::wstring ListPath(PCIDLIST_ABSOLUTE list) override {
        wchar_t path[MAX_PATH] = {};
        if (!::SHGetPathFromIDListW(list, path)) return {};
        return path;
    }

    std::optional<std::wstring> ClassKeyText(HKEY classKey, const std::wstring& subkey) override {
        wchar_t text[MAX_PATH + 1] = {};
        DWORD bytes = sizeof(text) - sizeof(wchar_t);
        // RegGetValueW terminates what it reads and fails on a value that does not fit.
        if (::RegGetValueW(classKey, subkey.c_str(), nullptr,
                           RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, text,
                           &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        return std::wstring(text);
    }

    DWORD FileAttributes(const std::wstring& path) override {
        return ::GetFileAttributesW(path.c_str());
    }

    std::wstring FullPath(const std::wstring& path, const wchar_t* directory) override {
        std::wstring joined = path;
        if (directory && *directory && ::PathIsRelativeW(path.c_str())) {
            joined = directory;
            if (joined.back() != L'\\' && joined.back() != L'/') joined += L'\\';
            joined += path;
        }
        DWORD n = ::GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr);
        if (!n) return joined;
        std::wstring full(n, L'\0');
        n = ::GetFullPathNameW(joined.c_str(), n, full.data(), nullptr);
        full.resize(n);
        return full;
    }

    bool ShouldHostOpenFolder(const wchar_t* path, PCIDLIST_ABSOLUTE list) override {
        return hostlink::ShouldHostOpenFolder(path, reinterpret_cast<const uint8_t*>(list)).host;
    }
};

// Whether this process runs from a package; asked once, since that never changes.
bool IsPackagedProcess() {
    static const bool packaged = [] {
        using PackageNameFn = LONG(WINAPI*)(UINT32*, PWSTR);
        HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
        auto packageName = kernel ? reinterpret_cast<PackageNameFn>(reinterpret_cast<void*>(
                                        ::GetProcAddress(kernel, "GetCurrentPackageFullName")))
                                  : nullptr;
        if (!packageName) return false;
        UINT32 length = 0;
        return packageName(&length, nullptr) != kAppModelErrorNoPackage;
    }();
    return packaged;
}

// Starts explorer.exe from the Windows folder (the bare name when it is not there) with the
// shell's item; a file starting with "/" is a switch and goes unquoted.
bool StartExplorer(const std::wstring& file) {
    wchar_t windows[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring program = n && n < MAX_PATH ? std::wstring(windows, n) + L"\\explorer.exe" : L"";
    if (program.empty() || ::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        program = L"explorer.exe";
    std::wstring commandLine = L"\"" + program + L"\" ";
    commandLine += !file.empty() && file[0] == L'/' ? file : L"\"" + file + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

RunDialogFacts RealRunDialogFacts(const SHELLEXECUTEINFOW& request) {
    RunDialogFacts facts;
    facts.shiftAndCtrlDown = ::GetKeyState(VK_SHIFT) < 0 && ::GetKeyState(VK_CONTROL) < 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD type = REG_NONE;
        facts.switchOn = ::RegQueryValueExW(key, kRunDialogSwitch, nullptr, &type, nullptr,
                                            nullptr) == ERROR_SUCCESS &&
                         type != REG_NONE;
        ::RegCloseKey(key);
    }
    wchar_t exe[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (length && length < MAX_PATH) {
        const wchar_t* name = ::PathFindFileNameW(exe);
        facts.callerIsExplorer = ::lstrcmpiW(name, L"explorer.exe") == 0;
    }
    wchar_t className[16] = {};
    facts.windowIsStatic = request.hwnd && ::GetClassNameW(request.hwnd, className, 16) &&
                           ::lstrcmpiW(className, L"Static") == 0;
    return facts;
}

// Holds the named mutex for one change of the skip-next flag.
class SkipNextLock {
  public:
    SkipNextLock() : mutex_(Context().mutex) {
        if (!mutex_) return;
        DWORD wait = ::WaitForSingleObject(mutex_, kSkipNextWaitMs);
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~SkipNextLock() {
        if (owned_) ::ReleaseMutex(mutex_);
    }
    SkipNextLock(const SkipNextLock&) = delete;
    SkipNextLock& operator=(const SkipNextLock&) = delete;
    bool hasMutex() const { return mutex_ != nullptr; }
    bool owned() const { return owned_; }

  private:
    HANDLE mutex_;
    bool owned_ = false;
};

class KwillShellExecuteHook final : public RefCountedObject<IShellExecuteHookW> {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable(
            {{&IID_IShellExecuteHookW, static_cast<IShellExecuteHookW*>(this)}}, iid, out);
    }
    HRESULT STDMETHODCALLTYPE Execute(SHELLEXECUTEINFOW* request) override {
        return RunExecuteHook(request, RealExecuteHookEnvironment());
    }
};

}  // namespace

IUnknown* CreateShellExecuteHook() {
    return new (std::nothrow) KwillShellExecuteHook();
}

ExecuteHookEnvironment& RealExecuteHookEnvironment() {
    static RealEnvironment environment;
    return environment;
}

bool TakeSkipNextFlag() {
    // The flag is only ever set under the mutex, so a clear flag can be read without it: every
    // request of every process passes here, and the mutex costs a round trip to the kernel.
    if (Shared().skipNext == 0) return false;
    SkipNextLock lock;
    if (!lock.hasMutex()) return ::InterlockedExchange(&Shared().skipNext, 0) != 0;
    if (!lock.owned()) return false;
    bool set = Shared().skipNext != 0;
    Shared().skipNext = 0;
    return set;
}

void SetSkipNextFlag() {
    SkipNextLock lock;
    if (!lock.hasMutex()) {
        ::InterlockedExchange(&Shared().skipNext, 1);
    } else if (lock.owned()) {
        Shared().skipNext = 1;
    }
}

HRESULT ApplyExecuteHookDecision(SHELLEXECUTEINFOW& request, HookDecision& decision) {
    switch (decision.action) {
        case HookAction::kStartExplorer:
            // When Explorer cannot be started the shell may still manage the request.
            return StartExplorer(decision.path) ? S_OK : S_FALSE;
        case HookAction::kDefaultWindow:
            return hostlink::RequestHostDefaultWindow() ? S_OK : S_FALSE;
        case HookAction::kSendOpen: {
            INT_PTR result = hostlink::SendOpenRequestToHost(
                nullptr, request.hwnd, request.lpVerb,
                decision.path.empty() ? nullptr : decision.path.c_str(), decision.list,
                decision.ownedList != nullptr, request.fMask,
                decision.select.empty() ? nullptr : decision.select.c_str());
            request.hInstApp = reinterpret_cast<HINSTANCE>(result);
            decision.ownedList.reset();
            return S_OK;
        }
        case HookAction::kPass:
            break;
    }
    if (decision.setPassThrough)
        hostlink::SetExplorerPassThrough(reinterpret_cast<uintptr_t>(request.hwnd));
    if (decision.setSkipNext) SetSkipNextFlag();
    return S_FALSE;
}

namespace {

// The real answers, except that the skip-next flag is only looked at.
class DryRunEnvironment final : public RealEnvironment {
  public:
    bool TakeSkipNext() override { return Shared().skipNext != 0; }
};

}  // namespace

std::wstring DescribeExecuteHook(const SHELLEXECUTEINFOW& request) {
    DryRunEnvironment env;
    HookDecision d = DecideExecuteHook(request, env);
    std::wstring text = L"action: ";
    switch (d.action) {
        case HookAction::kPass:
            text += L"pass";
            break;
        case HookAction::kStartExplorer:
            text += L"start explorer.exe";
            break;
        case HookAction::kDefaultWindow:
            text += L"default window (message 0x8162 to the host)";
            break;
        case HookAction::kSendOpen:
            text += L"send to the host";
            break;
    }
    text += L"\nrule: ";
    for (const char* p = d.why; *p; ++p) text.push_back(static_cast<wchar_t>(*p));
    if (d.action == HookAction::kSendOpen) {
        uint32_t code =
            hostlink::OpenRequestCode(request.lpVerb, d.list != nullptr, d.ownedList != nullptr);
        text += L"\nrequest code: " + std::to_wstring(code);
        text += L"\npath: " + d.path;
        text += std::wstring(L"\nitem list: ") +
                (d.list ? (d.ownedList ? L"made by the hook" : L"the request's") : L"none");
        if (!d.select.empty()) text += L"\nselect: " + d.select;
    }
    if (d.action == HookAction::kStartExplorer) text += L"\nfile: " + d.path;
    if (d.setSkipNext) text += L"\nskip-next flag: set";
    if (d.setPassThrough) text += L"\nExplorer pass-through: stamped";
    text += L"\n";
    return text;
}

HRESULT RunExecuteHook(SHELLEXECUTEINFOW* request, ExecuteHookEnvironment& env) {
    if (!request || request->cbSize < sizeof(SHELLEXECUTEINFOW)) return E_INVALIDARG;
    if (IsPackagedProcess()) return S_FALSE;
    try {
        HookDecision decision = DecideExecuteHook(*request, env);
        HRESULT hr = ApplyExecuteHookDecision(*request, decision);
        if (hr != S_FALSE) return hr;
    } catch (const std::bad_alloc&) {
        return S_FALSE;
    }
    // The request's own fields first: the facts cost registry and window calls.
    if (RunDialogWantsElevation(*request, RunDialogFacts{true, true, true, true}) &&
        RunDialogWantsElevation(*request, RealRunDialogFacts(*request)))
        request->lpVerb = L"runas";
    return S_FALSE;
}

}  // namespace kwill::shellext
