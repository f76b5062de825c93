// Starts the stand-in host program (tests/host, built as kwill.exe beside the tests) and reads
// what it recorded. Tests that use it take the ctest resource lock "kwill_host_window".
#pragma once

#include "frame/platform.h"

#include <string>
#include <vector>

namespace kwill::test {

class StandInHost {
  public:
    StandInHost();
    ~StandInHost();  // closes the window and waits for the process
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

    // Starts kwill.exe with these words after the program path, plus "event <name>" for a fresh
    // start-up event, and waits until the host signals it. False when it does not start.
    bool Start(const std::wstring& words = L"nodef", bool loadLibrary = false);

    HWND window() const { return window_; }
    DWORD processId() const { return processId_; }

    // Asks the host to close and waits for it to end; true when it ended.
    bool Stop();

    // The record file's lines so far.
    std::vector<std::string> Lines() const;
    static std::wstring ProgramPath();

  private:
    std::wstring recordPath_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
};

}  // namespace kwill::test
