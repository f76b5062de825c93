// Writes its own command line (UTF-16) to the file named by the environment variable
// KWILL_PROBE_OUT, for tests of how programs are started.
#include <windows.h>

int wmain() {
    wchar_t out[MAX_PATH];
    if (!::GetEnvironmentVariableW(L"KWILL_PROBE_OUT", out, MAX_PATH)) return 2;
    HANDLE file = ::CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    const wchar_t* line = ::GetCommandLineW();
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written,
                nullptr);
    ::CloseHandle(file);
    return 0;
}
