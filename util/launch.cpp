#include "util/launch.h"

#include <cwchar>

namespace kwill::util {

std::wstring LaunchCommandLine(const wchar_t* program, const wchar_t* arguments) {
    std::wstring line;
    if (!program) return line;
    bool quote = std::wcschr(program, L' ') && program[0] != L'"';
    if (quote) line += L'"';
    line += program;
    if (quote) line += L'"';
    if (arguments && *arguments) {
        line += L' ';
        line += arguments;
    }
    return line;
}

BOOL LaunchProgram(const wchar_t* program, const wchar_t* arguments, HANDLE* outProcess) {
    if (outProcess) *outProcess = nullptr;
    if (!program || !*program) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::wstring line = LaunchCommandLine(program, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    constexpr DWORD kFlags = CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS | DETACHED_PROCESS;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, kFlags, nullptr, nullptr,
                          &startup, &info))
        return FALSE;
    ::CloseHandle(info.hThread);
    if (outProcess)
        *outProcess = info.hProcess;
    else
        ::CloseHandle(info.hProcess);
    return TRUE;
}

}  // namespace kwill::util
