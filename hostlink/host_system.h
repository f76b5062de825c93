// What finding and starting the host needs from the system, behind one small interface: the
// process's elevation, the task scheduler, ShellExecuteExW, the tick count, waits that keep the
// calling thread's messages flowing, and the main program's path. The library uses the real
// system; tests install a fake to drive the paths that Wine cannot take (an unelevated process,
// a scheduler that runs tasks) and to stand in for the clock.
#pragma once

#include "frame/platform.h"

#include <shellapi.h>
#include <taskschd.h>

#include <memory>
#include <string>

namespace kwill::hostlink {

// Run flags of IRegisteredTask::RunEx that mingw's headers lack.
inline constexpr LONG kTaskRunIgnoreConstraints = 2;
inline constexpr LONG kTaskRunUseSessionId = 4;

// Everything a task that starts a program unelevated is defined with.
struct TaskDefinition {
    std::wstring author;
    std::wstring principalId;
    std::wstring userId;
    TASK_LOGON_TYPE logonType = TASK_LOGON_INTERACTIVE_TOKEN;
    TASK_RUNLEVEL_TYPE runLevel = TASK_RUNLEVEL_LUA;
    bool allowDemandStart = true;
    bool disallowStartIfOnBatteries = false;
    bool stopIfGoingOnBatteries = false;
    bool runOnlyIfNetworkAvailable = false;
    bool allowHardTerminate = false;
    int priority = 4;
    std::wstring executionTimeLimit;  // "PT0S": no limit
    std::wstring program;
    std::wstring arguments;  // empty: none
    std::wstring workingDirectory;
};

// A task registered in the scheduler's root folder. The owner deletes it on every path.
class ScheduledTask {
  public:
    virtual ~ScheduledTask() = default;
    virtual HRESULT Run(LONG flags, LONG sessionId, const std::wstring& user) = 0;
    // Refreshes the running instance that Run started and reads its state.
    virtual HRESULT RefreshState(TASK_STATE& state) = 0;
    virtual HRESULT Delete() = 0;
};

class HostSystem {
  public:
    virtual ~HostSystem() = default;

    // S_OK elevated, S_FALSE not, a failure when the token cannot be read.
    virtual HRESULT ProcessElevation() = 0;
    // "domain\user" of the interactive user of this process's session.
    virtual HRESULT InteractiveAccount(std::wstring& account) = 0;
    // Defines the task and registers it under the name in the root folder (create or update,
    // interactive token). Any field the scheduler refuses fails the call with nothing registered.
    virtual HRESULT RegisterTask(const std::wstring& name, const TaskDefinition& definition,
                                 std::unique_ptr<ScheduledTask>& task) = 0;
    virtual BOOL ShellExecute(SHELLEXECUTEINFOW& info) = 0;
    virtual DWORD Ticks() = 0;
    // Waits up to limitMs for one of the handles (none: only the time) while dispatching this
    // thread's messages; WAIT_OBJECT_0 + i, WAIT_TIMEOUT or WAIT_FAILED.
    virtual DWORD Wait(const HANDLE* handles, DWORD count, DWORD limitMs) = 0;
    // The main program's full path; false when it cannot be found.
    virtual bool ProgramPath(wchar_t* buffer, DWORD bufferChars) = 0;
};

// The system in use: the real one unless a test installed another (null restores the real one).
HostSystem& System();
void SetSystemForTesting(HostSystem* system);
HostSystem& RealSystem();

// Dispatches the messages waiting for this thread, for loops that wait. A WM_QUIT taken out on
// the way is kept and posted again when the pump goes, so the caller's own loop still ends.
class MessagePump {
  public:
    MessagePump() = default;
    ~MessagePump();
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;
    // Until the queue is empty or *stop turns true (a flag a dispatched message may set).
    void DispatchWaiting(const bool* stop = nullptr);

  private:
    bool quit_ = false;
    WPARAM quitCode_ = 0;
};

// The real wait: MsgWaitForMultipleObjects in a loop that dispatches every message of the thread
// until a handle is signalled or the limit passes. A WM_QUIT taken out of the queue on the way is
// posted again before returning, so the caller's own loop still sees it.
DWORD PumpingWait(const HANDLE* handles, DWORD count, DWORD limitMs);

// The token's elevation: S_OK elevated, S_FALSE not, E_FAIL when the token cannot be read.
HRESULT QueryProcessElevation();

}  // namespace kwill::hostlink
