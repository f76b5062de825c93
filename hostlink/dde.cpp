#include "hostlink/dde.h"

#include "frame/named_thread.h"
#include "frame/win_handle.h"
#include "hostlink/host_system.h"
#include "hostlink/pass_through.h"

#include <dde.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace kwill::hostlink {
namespace {

// How often a wait without news checks that the server window still exists.
constexpr DWORD kServerCheckMs = 100;
// After the server acknowledged, how long its closing WM_DDE_TERMINATE is waited for.
constexpr DWORD kTerminateReplyMs = 2000;

bool Empty(const wchar_t* text) {
    return !text || !*text;
}

void EndWith(HWND server, HWND conversation) {
    ::PostMessageW(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(conversation), 0);
}

LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* request = reinterpret_cast<DdeRequest*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!request) return ::DefWindowProcW(window, message, wParam, lParam);
    HWND from = reinterpret_cast<HWND>(wParam);
    switch (message) {
        case WM_DDE_ACK:
            if (request->initiating) {
                // Answer to the initiate: the atoms are the server's, ours to delete.
                ATOM application = LOWORD(lParam), topic = HIWORD(lParam);
                bool matches = application == request->application && topic == request->topic;
                if (application) ::GlobalDeleteAtom(application);
                if (topic) ::GlobalDeleteAtom(topic);
                if (matches && !request->server)
                    request->server = from;
                else if (from)
                    EndWith(from, window);  // a second server: it opened a conversation too
                return 0;
            }
            if (from == request->server && !request->done) {
                UINT_PTR status = 0, memory = 0;
                if (::UnpackDDElParam(WM_DDE_ACK, lParam, &status, &memory)) {
                    ::FreeDDElParam(WM_DDE_ACK, lParam);
                    if (reinterpret_cast<HGLOBAL>(memory) == request->commandMemory) {
                        ::GlobalFree(request->commandMemory);
                        request->commandMemory = nullptr;
                    }
                }
                EndWith(request->server, window);
                request->done = true;
            } else {
                ::FreeDDElParam(WM_DDE_ACK, lParam);  // not ours to act on; its packing goes
            }
            return 0;
        case WM_DDE_TERMINATE:
            if (from == request->server) request->finished = true;
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// The class is registered on the process's module with DefWindowProcW and each window gets the
// library's procedure once created: a class left registered by a copy of the library that has
// since been unloaded then never points into freed code.
HWND CreateHelperWindow(DdeRequest* request) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kDdeHelperClass;
    ::RegisterClassW(&wc);  // fails harmlessly when it exists
    HWND window = ::CreateWindowExW(0, kDdeHelperClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    wc.hInstance, nullptr);
    if (!window) return nullptr;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(request));
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HelperProc));
    return window;
}

struct HelperWindow {
    explicit HelperWindow(DdeRequest* r) : request(r), window(CreateHelperWindow(r)) {
        request->conversation = window;
    }
    ~HelperWindow() {
        if (window) {
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            ::DestroyWindow(window);
        }
        request->conversation = nullptr;
    }
    DdeRequest* request;
    HWND window;
};

HGLOBAL CommandMemory(const std::wstring& command, bool unicode) {
    if (unicode) {
        size_t bytes = (command.size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (!memory) return nullptr;
        if (void* p = ::GlobalLock(memory)) {
            std::memcpy(p, command.c_str(), bytes);
            ::GlobalUnlock(memory);
            return memory;
        }
        ::GlobalFree(memory);
        return nullptr;
    }
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, command.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return nullptr;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(bytes));
    if (!memory) return nullptr;
    if (void* p = ::GlobalLock(memory)) {
        ::WideCharToMultiByte(CP_ACP, 0, command.c_str(), -1, static_cast<char*>(p), bytes, nullptr,
                              nullptr);
        ::GlobalUnlock(memory);
        return memory;
    }
    ::GlobalFree(memory);
    return nullptr;
}

// Dispatches this thread's messages until the conversation is over, the server's window is
// gone, or the limit (0: none) passes. A WM_QUIT met on the way is posted again afterwards.
void RunConversation(DdeRequest* request, DWORD limitMs) {
    const DWORD start = ::GetTickCount();
    DWORD ackedAt = 0;
    MessagePump pump;
    while (!request->finished) {
        DWORD now = ::GetTickCount();
        if (limitMs && now - start >= limitMs) break;
        if (!::IsWindow(request->server)) break;
        if (request->done) {
            if (!ackedAt) ackedAt = now ? now : 1;
            if (now - ackedAt >= kTerminateReplyMs) break;
        }
        DWORD wait = kServerCheckMs;
        if (limitMs) wait = std::min<DWORD>(wait, limitMs - (now - start));
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
        pump.DispatchWaiting(&request->finished);
    }
}

struct AsyncCommand {
    wchar_t* application;
    wchar_t* topic;
    wchar_t* command;
    bool passThrough;
    HMODULE module;  // keeps the library loaded while the thread runs; null in a plain program
};

unsigned __stdcall SendDdeThread(void* parameter) {
    auto* job = static_cast<AsyncCommand*>(parameter);
    if (job->passThrough) SetExplorerPassThrough(0);
    if (DdeRequest* request = CreateDdeRequest(job->command, job->application, job->topic)) {
        ExecuteDdeRequest(request, 0, nullptr);
        FreeDdeRequest(request);
    }
    HMODULE module = job->module;
    ::LocalFree(job);
    if (module) ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

}  // namespace

DdeRequest* CreateDdeRequest(const wchar_t* command, const wchar_t* application,
                             const wchar_t* topic) {
    if (Empty(command) || Empty(application)) return nullptr;
    auto* request = new (std::nothrow) DdeRequest;
    if (!request) return nullptr;
    try {
        request->command = command;
    } catch (const std::bad_alloc&) {
        delete request;
        return nullptr;
    }
    request->application = ::GlobalAddAtomW(application);
    request->topic = ::GlobalAddAtomW(Empty(topic) ? kDdeDefaultTopic : topic);
    if (!request->application || !request->topic) {
        FreeDdeRequest(request);
        return nullptr;
    }
    return request;
}

bool IsDdeRequest(const DdeRequest* request) {
    return request && request->tag == DdeRequest::kTag;
}

void FreeDdeRequest(DdeRequest* request) {
    if (!IsDdeRequest(request)) return;
    if (request->application) ::GlobalDeleteAtom(request->application);
    if (request->topic) ::GlobalDeleteAtom(request->topic);
    request->tag = 0;
    delete request;
}

bool ExecuteDdeRequest(DdeRequest* request, DWORD limitMs, HWND target) {
    if (!IsDdeRequest(request)) return false;
    if (target && !::IsWindow(target)) return false;
    request->server = nullptr;
    request->done = request->finished = false;
    HelperWindow helper(request);
    if (!helper.window) return false;

    request->initiating = true;
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(target ? target : HWND_BROADCAST, WM_DDE_INITIATE,
                          reinterpret_cast<WPARAM>(helper.window),
                          MAKELPARAM(request->application, request->topic), SMTO_ABORTIFHUNG,
                          kDdeInitiateTimeoutMs, &ignored);
    request->initiating = false;
    HWND server = request->server;
    if (!server) return false;
    if (target == server) ::SetForegroundWindow(target);

    request->commandMemory = CommandMemory(request->command, ::IsWindowUnicode(server) != FALSE);
    if (!request->commandMemory ||
        !::PostMessageW(server, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(helper.window),
                        reinterpret_cast<LPARAM>(request->commandMemory))) {
        if (request->commandMemory) ::GlobalFree(request->commandMemory);
        request->commandMemory = nullptr;
        EndWith(server, helper.window);
        return false;
    }

    RunConversation(request, limitMs);
    bool serverAlive = ::IsWindow(server) != FALSE;
    if (!request->done && serverAlive) EndWith(server, helper.window);
    if (request->commandMemory) {
        // Never acknowledged. A server in another process works on its own copy; one in this
        // process may still be reading the block, so it is left to it.
        DWORD serverProcess = 0;
        ::GetWindowThreadProcessId(server, &serverProcess);
        if (!serverAlive || serverProcess != ::GetCurrentProcessId())
            ::GlobalFree(request->commandMemory);
        request->commandMemory = nullptr;
    }
    return true;
}

int SendDdeCommandAsync(const wchar_t* application, const wchar_t* topic, const wchar_t* command,
                        bool passThrough) {
    if (Empty(command) || Empty(application)) return 1;
    if (!topic) topic = L"";
    size_t a = std::wcslen(application) + 1, t = std::wcslen(topic) + 1,
           c = std::wcslen(command) + 1;
    auto* job = static_cast<AsyncCommand*>(
        ::LocalAlloc(LPTR, sizeof(AsyncCommand) + (a + t + c) * sizeof(wchar_t)));
    if (!job) return 1;
    job->application = reinterpret_cast<wchar_t*>(job + 1);
    job->topic = job->application + a;
    job->command = job->topic + t;
    std::memcpy(job->application, application, a * sizeof(wchar_t));
    std::memcpy(job->topic, topic, t * sizeof(wchar_t));
    std::memcpy(job->command, command, c * sizeof(wchar_t));
    job->passThrough = passThrough;

    HMODULE self = nullptr;
    if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                             reinterpret_cast<LPCWSTR>(&SendDdeThread), &self) &&
        self == ::GetModuleHandleW(nullptr)) {
        ::FreeLibrary(self);
        self = nullptr;
    }
    job->module = self;
    uintptr_t thread = BeginNamedThread(kDdeThreadName, SendDdeThread, job, 0, nullptr, 0);
    if (!thread) {
        if (self) ::FreeLibrary(self);
        ::LocalFree(job);
        return 1;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    return 0;
}

}  // namespace kwill::hostlink
