// Loading a DLL from the system folder only, never from the program's folder or the current
// directory where a planted copy could wait.
#pragma once

#include "frame/platform.h"

#include <optional>
#include <string>
#include <string_view>

namespace kwill::hostlink {

// The full name of `name` in `systemFolder`: a backslash is added when the folder lacks one.
// Nothing for a missing or empty name, a folder longer than 258 characters, a result that does
// not fit in MAX_PATH characters with its terminator, or a name that could leave the folder (a
// drive, a leading separator or a ".." component).
std::optional<std::wstring> SystemLibraryPath(std::wstring_view systemFolder, const wchar_t* name);

// LoadLibraryW of that full name; null when there is none (ERROR_INVALID_PARAMETER).
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace kwill::hostlink
