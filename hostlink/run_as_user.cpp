#include "hostlink/run_as_user.h"

#include "frame/debug_output.h"

#include <objbase.h>

namespace kwill::hostlink {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring NewTaskName() {
    GUID id{};
    wchar_t text[64] = {};
    if (FAILED(::CoCreateGuid(&id)) || ::StringFromGUID2(id, text, 64) == 0) return {};
    return std::wstring(kTaskNamePrefix) + text;
}

bool RunByShell(HostSystem& system, const SplitCommand& command) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.lpFile = command.program.c_str();
    info.lpParameters = command.arguments.empty() ? nullptr : command.arguments.c_str();
    info.lpDirectory =
        command.workingDirectory.empty() ? nullptr : command.workingDirectory.c_str();
    info.nShow = SW_SHOWNORMAL;
    return system.ShellExecute(info) != FALSE;
}

// Polls the running instance until it has left the queue: right away, then every half second.
HRESULT WaitWhileQueued(HostSystem& system, ScheduledTask& task) {
    for (int poll = 0; poll < kTaskPolls; ++poll) {
        if (poll > 0) system.Wait(nullptr, 0, kTaskPollMs);
        TASK_STATE state = TASK_STATE_UNKNOWN;
        HRESULT hr = task.RefreshState(state);
        if (FAILED(hr)) return hr;
        if (state != TASK_STATE_QUEUED && state != TASK_STATE_READY) return S_OK;
    }
    // Still waiting after two minutes: deleting the task now would drop the program, so this
    // is no success.
    return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

HRESULT RunByScheduler(HostSystem& system, const SplitCommand& command) {
    std::wstring account;
    HRESULT hr = system.InteractiveAccount(account);
    if (FAILED(hr)) return hr;
    if (account.empty()) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_USER);
    std::wstring name = NewTaskName();
    if (name.empty()) return E_FAIL;

    TaskDefinition d;
    d.author = kTaskAuthor;
    d.principalId = kTaskPrincipalId;
    d.userId = account;
    d.logonType = TASK_LOGON_INTERACTIVE_TOKEN;
    d.runLevel = TASK_RUNLEVEL_LUA;
    d.allowDemandStart = true;
    d.disallowStartIfOnBatteries = false;
    d.stopIfGoingOnBatteries = false;
    d.runOnlyIfNetworkAvailable = false;
    d.priority = 4;
    d.allowHardTerminate = false;
    d.executionTimeLimit = kTaskTimeLimit;
    d.program = command.program;
    d.arguments = command.arguments;
    d.workingDirectory = command.workingDirectory;

    std::unique_ptr<ScheduledTask> task;
    hr = system.RegisterTask(name, d, task);
    if (FAILED(hr)) return hr;
    if (!task) return E_UNEXPECTED;

    DWORD session = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
        hr = HRESULT_FROM_WIN32(::GetLastError());
    } else {
        hr = task->Run(kTaskRunIgnoreConstraints | kTaskRunUseSessionId, static_cast<LONG>(session),
                       account);
        if (SUCCEEDED(hr)) hr = WaitWhileQueued(system, *task);
    }
    // The task is a means, never left behind: deleted whether it ran or not.
    HRESULT deleted = task->Delete();
    if (SUCCEEDED(hr) && FAILED(deleted)) hr = deleted;
    return hr;
}

}  // namespace

std::optional<SplitCommand> SplitCommandLine(std::wstring_view line) {
    size_t i = 0;
    while (i < line.size() && (IsBlank(line[i]) || line[i] == L':')) ++i;
    SplitCommand out;
    if (i < line.size() && line[i] == L'"') {
        size_t close = line.find(L'"', i + 1);
        if (close == std::wstring_view::npos) return std::nullopt;
        out.program = line.substr(i + 1, close - i - 1);
        i = close + 1;
    } else {
        size_t end = i;
        while (end < line.size() && !IsBlank(line[end])) ++end;
        out.program = line.substr(i, end - i);
        i = end;
    }
    if (out.program.empty()) return std::nullopt;
    while (i < line.size() && IsBlank(line[i])) ++i;
    out.arguments = line.substr(i);
    size_t slash = out.program.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        out.workingDirectory = out.program.substr(0, slash);
        // "C:" alone would mean the drive's current folder, not its root.
        if (!out.workingDirectory.empty() && out.workingDirectory.back() == L':')
            out.workingDirectory += L'\\';
    }
    return out;
}

bool RunAsStandardUser(const wchar_t* commandLine) {
    if (!commandLine) return false;
    std::optional<SplitCommand> command = SplitCommandLine(commandLine);
    if (!command) return false;
    HostSystem& system = System();
    if (system.ProcessElevation() != S_OK) return RunByShell(system, *command);
    HRESULT hr = RunByScheduler(system, *command);
    if (FAILED(hr)) DebugOutput(L"RunAsStandardUser: the scheduler failed (0x%08lx)", hr);
    return SUCCEEDED(hr);
}

}  // namespace kwill::hostlink
