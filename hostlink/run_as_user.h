// Starting a command line in the interactive user's unelevated context: by ShellExecuteExW when
// this process is not elevated, else through a one-off scheduled task.
#pragma once

#include "hostlink/host_system.h"

#include <optional>
#include <string>
#include <string_view>

namespace kwill::hostlink {

inline constexpr wchar_t kTaskNamePrefix[] = L"KwillRT_RunStd_";
inline constexpr wchar_t kTaskAuthor[] = L"KwillRT RunStd";
inline constexpr wchar_t kTaskPrincipalId[] = L"KwillStdUser_Principal";
inline constexpr wchar_t kTaskTimeLimit[] = L"PT0S";
inline constexpr int kTaskPolls = 240;
inline constexpr DWORD kTaskPollMs = 500;

struct SplitCommand {
    std::wstring program;
    std::wstring arguments;
    std::wstring workingDirectory;  // the program's folder; empty when it names none
};

// Leading blanks and colons are skipped. The program runs to the closing double quote when it
// starts with one, else to the first blank; the arguments follow after blanks. Nothing when the
// line is blank, the program is empty or a quote is never closed.
std::optional<SplitCommand> SplitCommandLine(std::wstring_view commandLine);

// The whole operation; true when the program was handed on (the task left the scheduler's queue).
bool RunAsStandardUser(const wchar_t* commandLine);

}  // namespace kwill::hostlink
