// Finding the host's main window, or starting kwill.exe and waiting until it is ready.
#pragma once

#include "frame/platform.h"

#include <string>
#include <string_view>

namespace kwill::hostlink {

// The longest command line CreateProcessW takes, terminator excluded.
inline constexpr size_t kMaxProcessCommandLine = 32767;

inline constexpr wchar_t kNotFoundText[] = L"KwillRT: Tarnwell could not be found";
inline constexpr wchar_t kLaunchFailedText[] = L"KwillRT: Unable to launch Tarnwell from";

// Lets the process that owns the window take the foreground (before a request that may bring
// one of its windows forward).
void AllowForeground(HWND window);

// The mode words for the start flags: "crash" (1), else "autolister" (4), else "runcmd nodef"
// (16), else "nodef"; flag 2 adds " dblclk". Other bits are ignored.
std::wstring StartModeWords(unsigned flags);

// The host's command line: the quoted program path, a blank, the mode words, " event NAME" when
// there is a start-up event, and a blank and the extra arguments when there are any. It is
// never cut; the caller refuses one longer than CreateProcessW takes.
std::wstring BuildStartCommandLine(std::wstring_view program, unsigned flags,
                                   std::wstring_view eventName, std::wstring_view extra);

// The folder the host is started in: the path up to its last separator; empty without one.
std::wstring StartFolder(std::wstring_view program);

// Returns the host's main window, starting the host first when it is not running; null when it
// cannot be found or started or does not come up in time. Shows a message box when the program
// is missing or cannot be launched. Dispatches the calling thread's messages while it waits.
HWND FindOrStartKwill(unsigned flags, const wchar_t* extraArguments);

}  // namespace kwill::hostlink
