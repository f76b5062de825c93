#include "hostlink/host_start.h"

#include "frame/debug_output.h"
#include "frame/win_handle.h"
#include "hostlink/host_interface.h"
#include "hostlink/host_system.h"
#include "hostlink/run_as_user.h"

#include <cwchar>

namespace kwill::hostlink {
namespace {

void ShowFailure(const std::wstring& text) {
    ::MessageBoxW(nullptr, text.c_str(), host::kWindowTitle, MB_OK);
}

}  // namespace

void AllowForeground(HWND window) {
    DWORD pid = 0;
    if (window && ::GetWindowThreadProcessId(window, &pid) && pid) ::AllowSetForegroundWindow(pid);
}

std::wstring StartModeWords(unsigned flags) {
    std::wstring words;
    if (flags & host::kStartCrash)
        words = host::kModeCrash;
    else if (flags & host::kStartAutoLister)
        words = host::kModeAutoLister;
    else if (flags & host::kStartRunCommand)
        words = host::kModeRunCommand;
    else
        words = host::kModeDefault;
    if (flags & host::kStartDoubleClick) words += host::kModeDoubleClick;
    return words;
}

std::wstring BuildStartCommandLine(std::wstring_view program, unsigned flags,
                                   std::wstring_view eventName, std::wstring_view extra) {
    std::wstring line;
    line.reserve(program.size() + eventName.size() + extra.size() + 40);
    line += L'"';
    line += program;
    line += L"\" ";
    line += StartModeWords(flags);
    if (!eventName.empty()) {
        line += host::kEventArgument;
        line += eventName;
    }
    if (!extra.empty()) {
        line += L' ';
        line += extra;
    }
    return line;
}

std::wstring StartFolder(std::wstring_view program) {
    size_t slash = program.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? std::wstring()
                                            : std::wstring(program.substr(0, slash));
}

HWND FindOrStartKwill(unsigned flags, const wchar_t* extraArguments) {
    if (HWND window = host::FindHostWindow()) {
        AllowForeground(window);
        return window;
    }
    HostSystem& system = System();
    wchar_t program[MAX_PATH] = {};
    if (!system.ProgramPath(program, MAX_PATH) || !program[0]) {
        ShowFailure(kNotFoundText);
        return nullptr;
    }
    program[MAX_PATH - 1] = 0;
    std::wstring folder = StartFolder(program);

    wchar_t eventName[40];
    std::swprintf(eventName, 40, host::kStartupEventFormat,
                  static_cast<unsigned long>(system.Ticks()));
    UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName));
    std::wstring commandLine = BuildStartCommandLine(
        program, flags, ready ? std::wstring_view(eventName) : std::wstring_view(),
        extraArguments ? std::wstring_view(extraArguments) : std::wstring_view());

    const std::wstring launchFailed = std::wstring(kLaunchFailedText) + L"\n\"" + program + L"\"";
    if (commandLine.size() > kMaxProcessCommandLine) {
        ShowFailure(launchFailed);
        return nullptr;
    }

    UniqueHandle process;
    if (!(system.ProcessElevation() == S_OK && RunAsStandardUser(commandLine.c_str()))) {
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_FORCEONFEEDBACK;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                              NORMAL_PRIORITY_CLASS, nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
            DebugOutput(L"FindOrStartKwillW: CreateProcessW failed (%lu)", ::GetLastError());
            ShowFailure(launchFailed);
            return nullptr;
        }
        ::CloseHandle(pi.hThread);
        process.reset(pi.hProcess);
    }

    HWND window = nullptr;
    for (int pass = 0; pass < host::kStartupWaitPasses; ++pass) {
        window = host::FindHostWindow();
        if (window) {
            if (ready) {
                // A host that dies before it is ready leaves a window that is gone: stop then.
                HANDLE waits[] = {ready.get(), process.get()};
                DWORD woke = system.Wait(waits, process ? 2 : 1, host::kStartupEventWaitMs);
                if (woke == WAIT_OBJECT_0 + 1) window = nullptr;
            }
            break;
        }
        if (process) {
            HANDLE waits[] = {process.get()};
            if (system.Wait(waits, 1, host::kStartupPassMs) == WAIT_OBJECT_0) break;
        } else {
            system.Wait(nullptr, 0, host::kStartupPassMs);
        }
    }
    if (window && !::IsWindow(window)) window = nullptr;
    if (window) AllowForeground(window);
    return window;
}

}  // namespace kwill::hostlink
