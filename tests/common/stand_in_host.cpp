#include "tests/common/stand_in_host.h"

#include "hostlink/host_interface.h"
#include "tests/common/test_support.h"

#include <cstdio>
#include <sstream>

namespace kwill::test {
namespace {

// The current environment with the given variables added or replaced, as CreateProcessW wants it.
std::wstring EnvironmentWith(const std::vector<std::pair<std::wstring, std::wstring>>& extra) {
    std::wstring block;
    wchar_t* env = ::GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += std::wcslen(p) + 1) {
        std::wstring entry = p;
        bool replaced = false;
        for (const auto& [name, value] : extra) {
            if (_wcsnicmp(entry.c_str(), (name + L"=").c_str(), name.size() + 1) == 0)
                replaced = true;
        }
        if (!replaced) block += entry + L'\0';
    }
    ::FreeEnvironmentStringsW(env);
    for (const auto& [name, value] : extra) block += name + L"=" + value + L'\0';
    block += L'\0';
    return block;
}

}  // namespace

StandInHost::StandInHost() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    static LONG counter = 0;
    std::swprintf(name, 64, L"kwillhost-%lu-%ld.txt", ::GetCurrentProcessId(),
                  ::InterlockedIncrement(&counter));
    recordPath_ = std::wstring(temp) + name;
    ::DeleteFileW(recordPath_.c_str());
}

StandInHost::~StandInHost() {
    Stop();
    ::DeleteFileW(recordPath_.c_str());
}

std::wstring StandInHost::ProgramPath() {
    return ExeFolder() + host::kProgramName;
}

bool StandInHost::Start(const std::wstring& words, bool loadLibrary) {
    wchar_t eventName[64];
    std::swprintf(eventName, 64, host::kStartupEventFormat,
                  static_cast<unsigned long>(::GetTickCount() ^ ::GetCurrentProcessId()));
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, eventName);
    if (!ready) return false;

    std::wstring program = ProgramPath();
    std::wstring commandLine = L"\"" + program + L"\" " + words + L" event " + eventName;
    std::wstring env = EnvironmentWith({{L"KWILL_HOST_RECORD", recordPath_},
                                        {L"KWILL_HOST_LIFETIME_MS", L"60000"},
                                        {L"KWILL_HOST_LOAD_LIBRARY", loadLibrary ? L"1" : L"0"}});
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT, env.data(), nullptr, &si, &pi)) {
        ::CloseHandle(ready);
        return false;
    }
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    processId_ = pi.dwProcessId;
    HANDLE waits[] = {ready, process_};
    DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, 60000);
    ::CloseHandle(ready);
    if (woke != WAIT_OBJECT_0) return false;
    window_ = host::FindHostWindow();
    return window_ != nullptr;
}

bool StandInHost::Stop() {
    if (!process_) return true;
    if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    bool ended = ::WaitForSingleObject(process_, 60000) == WAIT_OBJECT_0;
    if (!ended) ::TerminateProcess(process_, 99);
    ::CloseHandle(process_);
    process_ = nullptr;
    window_ = nullptr;
    return ended;
}

std::vector<std::string> StandInHost::Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileText(recordPath_));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

}  // namespace kwill::test
