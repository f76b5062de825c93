#include "hostlink/explorer_invoke.h"

#include "frame/context.h"
#include "frame/named_thread.h"
#include "frame/shared_state.h"
#include "shellns/id_list.h"

#include <cstring>
#include <cwchar>

namespace kwill::hostlink {
namespace {

BOOL RealExecute(SHELLEXECUTEINFOW* request) {
    return ::ShellExecuteExW(request);
}

constexpr ShellExecuteOps kDefaultOps = {RealExecute, 5000};

// The thread's request: this header, then the path (when there is no list) or the list, in one
// LocalAlloc block that the thread frees.
struct Request {
    HWND window;
    bool explore;
    bool hasList;
    // followed by the zero-terminated path or the list's bytes
};

uint8_t* Payload(Request* request) {
    return reinterpret_cast<uint8_t*>(request + 1);
}

// Keeps the thread's windows served until the timer fires, so that whatever the shell started
// asynchronously on this thread can finish.
void PumpFor(DWORD ms) {
    UINT_PTR timer = ::SetTimer(nullptr, 0, ms, nullptr);
    if (!timer) return;
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == timer) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::KillTimer(nullptr, timer);
}

unsigned __stdcall InvokeThread(void* parameter) {
    auto* request = static_cast<Request*>(parameter);
    HRESULT com = ::CoInitialize(nullptr);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // gives the thread a queue

    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_ASYNCOK;
    info.hwnd = request->window;
    info.lpVerb = request->explore ? L"explore" : L"open";
    info.nShow = SW_SHOWNORMAL;
    if (request->hasList) {
        info.fMask |= SEE_MASK_INVOKEIDLIST;
        info.lpIDList = Payload(request);
    } else {
        info.lpFile = reinterpret_cast<const wchar_t*>(Payload(request));
    }
    const ShellExecuteOps ops = ShellExecuteSeam();
    AddOwnRequest(&info);
    BOOL ok = ops.execute(&info);
    RemoveOwnRequest(&info);
    if (ok) PumpFor(ops.settleMs);
    if (info.hProcess) ::CloseHandle(info.hProcess);
    ::LocalFree(request);
    if (SUCCEEDED(com)) ::CoUninitialize();
    return ok ? 0 : 1;
}

}  // namespace

LONG BeginHookBypass() {
    return ::InterlockedIncrement(&Shared().hookBypass);
}

LONG EndHookBypass() {
    volatile LONG& counter = Shared().hookBypass;
    for (;;) {
        LONG seen = counter;
        if (seen <= 0) {
            // Repairs a count that went negative before; otherwise nothing to end.
            if (seen < 0) ::InterlockedCompareExchange(&counter, 0, seen);
            return 0;
        }
        if (::InterlockedCompareExchange(&counter, seen - 1, seen) == seen) return seen - 1;
    }
}

const ShellExecuteOps& DefaultShellExecuteOps() {
    return kDefaultOps;
}

ShellExecuteOps& ShellExecuteSeam() {
    static ShellExecuteOps ops = kDefaultOps;
    return ops;
}

bool IsExploreVerb(const wchar_t* verb) {
    static constexpr wchar_t kNeedle[] = L"explor";
    constexpr size_t kLength = sizeof(kNeedle) / sizeof(wchar_t) - 1;
    if (!verb) return false;
    for (; *verb; ++verb) {
        size_t i = 0;
        for (; i < kLength; ++i) {
            wchar_t c = verb[i];
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
            if (c != kNeedle[i]) break;
        }
        if (i == kLength) return true;
    }
    return false;
}

uintptr_t InvokeExplorer(const wchar_t* verb, const wchar_t* path, const uint8_t* list,
                         HWND window) {
    size_t payload = 0;
    if (list) {
        payload = shellns::ListSize(list);
    } else if (path && *path) {
        payload = (std::wcslen(path) + 1) * sizeof(wchar_t);
    } else {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto* request = static_cast<Request*>(::LocalAlloc(LMEM_FIXED, sizeof(Request) + payload));
    if (!request) return 0;
    request->window = window;
    request->explore = IsExploreVerb(verb);
    request->hasList = list != nullptr;
    if (list) {
        // The list is copied up to its first end mark and given a clean terminator.
        size_t items = payload - shellns::kTerminatorSize;
        std::memcpy(Payload(request), list, items);
        std::memset(Payload(request) + items, 0, shellns::kTerminatorSize);
    } else {
        std::memcpy(Payload(request), path, payload);
    }
    uintptr_t thread =
        BeginNamedThread(kInvokeExplorerThreadName, InvokeThread, request, 0, nullptr, 0);
    if (!thread) ::LocalFree(request);
    return thread;
}

}  // namespace kwill::hostlink
