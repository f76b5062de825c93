// Finding and starting the host, running programs unelevated, DDE conversations, the Explorer
// pass-through and the application-command hook.
#include "exports/export.h"
#include "hostlink/dde.h"
#include "hostlink/host_requests.h"
#include "hostlink/host_start.h"
#include "hostlink/host_system.h"
#include "hostlink/pass_through.h"
#include "hostlink/run_as_user.h"

namespace hl = kwill::hostlink;

// The host's main window, starting kwill.exe first when it is not running. flags: 1 "crash",
// 4 "autolister", 16 "runcmd nodef" (else "nodef"), 2 adds "dblclk"; other bits are ignored.
// extraArguments (may be null) are appended to the command line. From an elevated process the
// host is started unelevated when the task scheduler allows it. Waits up to 21 half-second passes
// for the window and then up to 10 s for the host's start-up event, dispatching the thread's
// messages. Null when the host cannot be found, started, or does not come up; a missing or
// unlaunchable kwill.exe also shows a message box.
KWILL_EXPORT HWND FindOrStartKwillW(DWORD flags, const wchar_t* extraArguments) {
    try {
        return hl::FindOrStartKwill(flags, extraArguments);
    } catch (...) {
        return nullptr;
    }
}

// S_OK when the process token is elevated, S_FALSE when not, E_FAIL when it cannot be read. The
// optional flag receives the elevation (FALSE on E_FAIL).
KWILL_EXPORT HRESULT IsProcessElevated(BOOL* elevated) {
    HRESULT hr = hl::QueryProcessElevation();
    if (elevated) *elevated = hr == S_OK;
    return hr;
}

// Starts "program arguments" as the interactive user, unelevated: by ShellExecuteExW from an
// unelevated process, else through a scheduled task "KwillRT_RunStd_{GUID}" that is deleted
// again on every path. The program may be quoted. FALSE for a null or blank line, an unclosed
// quote, and any failing step (a scheduler that cannot set the unelevated run level included).
KWILL_EXPORT BOOL RunAsStandardUser(const wchar_t* commandLine) {
    try {
        return hl::RunAsStandardUser(commandLine);
    } catch (...) {
        return FALSE;
    }
}

// A DDE execute request for the command, to the application's server on the topic ("System" when
// null or empty). Null for a null or empty command or application. Free with FreeDdeRequest.
KWILL_EXPORT hl::DdeRequest* CreateDdeRequest(const wchar_t* command, const wchar_t* application,
                                              const wchar_t* topic) {
    try {
        return hl::CreateDdeRequest(command, application, topic);
    } catch (...) {
        return nullptr;
    }
}

// Offers the request to the target window (null: every top-level window) and posts the command to
// the first server that answers; waits up to limitMs (0: until the server ends the conversation
// or its window goes) for the acknowledgement, dispatching the thread's messages. TRUE when a
// server took the command; FALSE without a server, for a target that is not a window, or a
// request not made by CreateDdeRequest.
KWILL_EXPORT BOOL ExecuteDdeRequestTimeout(hl::DdeRequest* request, DWORD limitMs, HWND target) {
    try {
        return hl::ExecuteDdeRequest(request, limitMs, target);
    } catch (...) {
        return FALSE;
    }
}

// ExecuteDdeRequestTimeout with a limit of 10 seconds.
KWILL_EXPORT BOOL ExecuteDdeRequest(hl::DdeRequest* request, HWND target) {
    return ExecuteDdeRequestTimeout(request, hl::kDdeDefaultLimitMs, target);
}

// Frees a request of CreateDdeRequest and its atoms; null is ignored.
KWILL_EXPORT void FreeDdeRequest(hl::DdeRequest* request) {
    hl::FreeDdeRequest(request);
}

// Runs the command to every window on the thread "kwill.sendddethread", without a time limit;
// with passThrough the Explorer pass-through is stamped first. 0 when the thread started, 1 when
// it did not (also for a null or empty command or application).
KWILL_EXPORT int SendDdeCommandAsync(const wchar_t* application, const wchar_t* topic,
                                     const wchar_t* command, BOOL passThrough) {
    try {
        return hl::SendDdeCommandAsync(application, topic, command, passThrough != FALSE);
    } catch (...) {
        return 1;
    }
}

// Stamps the value with the tick count, for every process that loaded the library.
KWILL_EXPORT void SetExplorerPassThrough(UINT64 value) {
    hl::SetExplorerPassThrough(value);
}

// TRUE and the value (the out pointer may be null) within a second of SetExplorerPassThrough;
// otherwise clears the stamp and returns FALSE.
KWILL_EXPORT BOOL CheckExplorerPassThrough(UINT64* value) {
    return hl::CheckExplorerPassThrough(value);
}

// A WH_SHELL hook procedure: an application command (HSHELL_APPCOMMAND) goes to the running host
// with the modifier mask (Alt 1, Ctrl 2, Shift 4, Win 8); 1 when the host handled it, else the
// next hook's result.
KWILL_EXPORT LRESULT CALLBACK ShellAppCommandHook(int code, WPARAM wParam, LPARAM lParam) {
    return hl::ShellAppCommandHook(code, wParam, lParam);
}
