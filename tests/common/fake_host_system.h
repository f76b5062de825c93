// A HostSystem for tests: elevation, interactive account and the task scheduler as the test sets
// them, ShellExecuteExW recorded instead of run, a clock the test moves, and waits that either
// pass to the real pumping wait or return at once as if their time had run out. Install it with
// FakeHostSystem::Installed, which puts the real system back at the end of the scope.
#pragma once

#include "frame/shared_state.h"
#include "hostlink/host_system.h"

#include <string>
#include <vector>

namespace kwill::test {

struct FakeTaskLog {
    std::wstring name;
    hostlink::TaskDefinition definition;
    int runs = 0;
    LONG runFlags = -1;
    LONG runSession = -1;
    std::wstring runUser;
    int refreshes = 0;
    int deletes = 0;
};

class FakeHostSystem : public hostlink::HostSystem {
  public:
    // Answers of the fake; change them before the call under test.
    HRESULT elevation = S_FALSE;
    HRESULT accountResult = S_OK;
    std::wstring account = L"DOMAIN\\user";
    HRESULT registerResult = S_OK;
    HRESULT runResult = S_OK;
    HRESULT refreshResult = S_OK;
    HRESULT deleteResult = S_OK;
    // States returned by successive refreshes; the last one repeats.
    std::vector<TASK_STATE> states = {TASK_STATE_RUNNING};
    BOOL shellResult = TRUE;
    INT_PTR shellInstApp = 42;
    DWORD ticks = 0x1000;
    // Waits of at most this long go to the real pumping wait (real processes and events); longer
    // ones end at once as if their time had run out.
    DWORD realWaitsUpTo = 0;
    bool programFound = true;
    std::wstring program;

    // What the fake saw.
    FakeTaskLog task;
    bool registered = false;
    struct ShellCall {
        ULONG mask;
        std::wstring verb, file, parameters, directory, className;
        const void* idList;
        HWND window;
        int show;
        LONG bypassDuringCall;
    };
    std::vector<ShellCall> shellCalls;
    struct WaitCall {
        DWORD count;
        DWORD limitMs;
    };
    std::vector<WaitCall> waits;

    class Installed {
      public:
        explicit Installed(FakeHostSystem& fake) { hostlink::SetSystemForTesting(&fake); }
        ~Installed() { hostlink::SetSystemForTesting(nullptr); }
        Installed(const Installed&) = delete;
        Installed& operator=(const Installed&) = delete;
    };

    HRESULT ProcessElevation() override { return elevation; }
    HRESULT InteractiveAccount(std::wstring& out) override {
        if (SUCCEEDED(accountResult)) out = account;
        return accountResult;
    }
    HRESULT RegisterTask(const std::wstring& name, const hostlink::TaskDefinition& definition,
                         std::unique_ptr<hostlink::ScheduledTask>& out) override {
        task.name = name;
        task.definition = definition;
        if (FAILED(registerResult)) return registerResult;
        registered = true;
        out = std::make_unique<Task>(*this);
        return S_OK;
    }
    BOOL ShellExecute(SHELLEXECUTEINFOW& info) override {
        auto text = [](const wchar_t* s) { return s ? std::wstring(s) : std::wstring(L"(null)"); };
        shellCalls.push_back({info.fMask, text(info.lpVerb), text(info.lpFile),
                              text(info.lpParameters), text(info.lpDirectory),
                              (info.fMask & SEE_MASK_CLASSNAME) ? text(info.lpClass) : L"(none)",
                              info.lpIDList, info.hwnd, info.nShow, Shared().hookBypass});
        info.hInstApp = reinterpret_cast<HINSTANCE>(shellInstApp);
        return shellResult;
    }
    DWORD Ticks() override { return ticks; }
    DWORD Wait(const HANDLE* handles, DWORD count, DWORD limitMs) override {
        waits.push_back({count, limitMs});
        if (limitMs <= realWaitsUpTo) return hostlink::PumpingWait(handles, count, limitMs);
        ticks += limitMs;
        return WAIT_TIMEOUT;
    }
    bool ProgramPath(wchar_t* buffer, DWORD chars) override {
        if (!programFound || program.size() >= chars) return false;
        program.copy(buffer, program.size());
        buffer[program.size()] = 0;
        return true;
    }

  private:
    class Task : public hostlink::ScheduledTask {
      public:
        explicit Task(FakeHostSystem& owner) : owner_(owner) {}
        HRESULT Run(LONG flags, LONG session, const std::wstring& user) override {
            owner_.task.runs++;
            owner_.task.runFlags = flags;
            owner_.task.runSession = session;
            owner_.task.runUser = user;
            return owner_.runResult;
        }
        HRESULT RefreshState(TASK_STATE& state) override {
            size_t i = static_cast<size_t>(owner_.task.refreshes++);
            if (FAILED(owner_.refreshResult)) return owner_.refreshResult;
            state = owner_.states.empty()      ? TASK_STATE_RUNNING
                    : i < owner_.states.size() ? owner_.states[i]
                                               : owner_.states.back();
            return S_OK;
        }
        HRESULT Delete() override {
            owner_.task.deletes++;
            return owner_.deleteResult;
        }

      private:
        FakeHostSystem& owner_;
    };
};

}  // namespace kwill::test
