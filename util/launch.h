// Starting another program detached from the caller's console.
#pragma once

#include "frame/platform.h"

#include <string>

namespace kwill::util {

// The command line for a program and its arguments: the path quoted when it holds a space (and
// is not quoted already), then one space and the arguments when there are any.
std::wstring LaunchCommandLine(const wchar_t* program, const wchar_t* arguments);

// Starts the program (no window of a console, the caller's environment and folder, inheritable
// handles passed on). outProcess, when given, receives the process handle (null on failure);
// otherwise it is closed. FALSE with ERROR_INVALID_PARAMETER for a null or empty program.
BOOL LaunchProgram(const wchar_t* program, const wchar_t* arguments, HANDLE* outProcess);

}  // namespace kwill::util
