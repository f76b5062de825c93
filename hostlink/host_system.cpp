#include "hostlink/host_system.h"

#include "frame/win_handle.h"
#include "hostlink/config_paths.h"
#include "hostlink/task_scheduler.h"

#include <wtsapi32.h>

namespace kwill::hostlink {
namespace {

class RealHostSystem final : public HostSystem {
  public:
    HRESULT ProcessElevation() override { return QueryProcessElevation(); }

    HRESULT InteractiveAccount(std::wstring& account) override {
        std::wstring domain, user;
        if (!SessionText(WTSDomainName, domain) || !SessionText(WTSUserName, user))
            return HRESULT_FROM_WIN32(::GetLastError() ? ::GetLastError() : ERROR_NO_SUCH_USER);
        if (user.empty()) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_USER);
        account = domain.empty() ? user : domain + L"\\" + user;
        return S_OK;
    }

    HRESULT RegisterTask(const std::wstring& name, const TaskDefinition& definition,
                         std::unique_ptr<ScheduledTask>& task) override {
        return RegisterSchedulerTask(name, definition, task);
    }

    BOOL ShellExecute(SHELLEXECUTEINFOW& info) override { return ::ShellExecuteExW(&info); }

    DWORD Ticks() override { return ::GetTickCount(); }

    DWORD Wait(const HANDLE* handles, DWORD count, DWORD limitMs) override {
        return PumpingWait(handles, count, limitMs);
    }

    bool ProgramPath(wchar_t* buffer, DWORD bufferChars) override {
        return config::GetKwillPath(buffer, bufferChars);
    }

  private:
    static bool SessionText(WTS_INFO_CLASS what, std::wstring& text) {
        wchar_t* value = nullptr;
        DWORD bytes = 0;
        if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, what,
                                           &value, &bytes) ||
            !value)
            return false;
        text.assign(value, ::wcsnlen(value, bytes / sizeof(wchar_t)));
        ::WTSFreeMemory(value);
        return true;
    }
};

HostSystem* g_testSystem = nullptr;

}  // namespace

HostSystem& RealSystem() {
    static RealHostSystem real;
    return real;
}

HostSystem& System() {
    HostSystem* installed = g_testSystem;
    return installed ? *installed : RealSystem();
}

void SetSystemForTesting(HostSystem* system) {
    g_testSystem = system;
}

MessagePump::~MessagePump() {
    if (quit_) ::PostQuitMessage(static_cast<int>(quitCode_));
}

void MessagePump::DispatchWaiting(const bool* stop) {
    MSG msg;
    while (!(stop && *stop) && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit_ = true;
            quitCode_ = msg.wParam;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

DWORD PumpingWait(const HANDLE* handles, DWORD count, DWORD limitMs) {
    const DWORD start = ::GetTickCount();
    MessagePump pump;
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        DWORD elapsed = ::GetTickCount() - start;
        DWORD left = limitMs == INFINITE ? INFINITE : elapsed >= limitMs ? 0 : limitMs - elapsed;
        DWORD woke = ::MsgWaitForMultipleObjects(count, handles, FALSE, left, QS_ALLINPUT);
        if (woke < WAIT_OBJECT_0 + count || woke == WAIT_FAILED) {
            result = woke;
            break;
        }
        if (woke == WAIT_TIMEOUT) break;
        pump.DispatchWaiting();
        // Signalled while messages were dispatched: answer without one more round.
        if (count) {
            DWORD now = ::WaitForMultipleObjects(count, handles, FALSE, 0);
            if (now < WAIT_OBJECT_0 + count) {
                result = now;
                break;
            }
        }
        if (left == 0) break;
    }
    return result;
}

HRESULT QueryProcessElevation() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return E_FAIL;
    UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size))
        return E_FAIL;
    return elevation.TokenIsElevated ? S_OK : S_FALSE;
}

}  // namespace kwill::hostlink
