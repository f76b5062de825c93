// Helpers for tests where the library itself starts the stand-in host: the record file named in
// this process's environment (which the started host inherits), and closing a host by its window.
#pragma once

#include "frame/platform.h"
#include "tests/common/test_support.h"

#include <sstream>
#include <string>
#include <vector>

namespace kwill::test {

class HostRecord {
  public:
    HostRecord() : path_(folder_ / L"record.txt") {
        Save(L"KWILL_HOST_RECORD", oldRecord_);
        Save(L"KWILL_HOST_LIFETIME_MS", oldLifetime_);
        ::SetEnvironmentVariableW(L"KWILL_HOST_RECORD", path_.c_str());
        ::SetEnvironmentVariableW(L"KWILL_HOST_LIFETIME_MS", L"30000");
    }
    ~HostRecord() {
        Restore(L"KWILL_HOST_RECORD", oldRecord_);
        Restore(L"KWILL_HOST_LIFETIME_MS", oldLifetime_);
    }
    HostRecord(const HostRecord&) = delete;
    HostRecord& operator=(const HostRecord&) = delete;

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFileText(path_));
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }
    // The first line, or "" when the host never started.
    std::string First() const {
        auto lines = Lines();
        return lines.empty() ? std::string() : lines.front();
    }
    const std::wstring& path() const { return path_; }

  private:
    static void Save(const wchar_t* name, std::wstring& value) {
        wchar_t buffer[1024];
        DWORD n = ::GetEnvironmentVariableW(name, buffer, 1024);
        value = n && n < 1024 ? std::wstring(buffer, n) : std::wstring();
    }
    static void Restore(const wchar_t* name, const std::wstring& value) {
        ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
    }

    TempFolder folder_;
    std::wstring path_;
    std::wstring oldRecord_, oldLifetime_;
};

// Asks the host that owns the window to close and waits until its process has ended.
inline bool CloseHost(HWND window) {
    DWORD pid = 0;
    if (!::GetWindowThreadProcessId(window, &pid)) return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (!process) return false;
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    bool ended = ::WaitForSingleObject(process, 60000) == WAIT_OBJECT_0;
    if (!ended) ::TerminateProcess(process, 99);
    ::CloseHandle(process);
    return ended;
}

}  // namespace kwill::test
