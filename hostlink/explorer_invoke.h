// Handing a folder back to the shell when the host should not take it, in a way the library's
// own shell execute hooks let pass.
#pragma once

#include "frame/platform.h"

#include <shellapi.h>

#include <cstdint>

namespace kwill::hostlink {

// The hook-bypass counter shared by every process that loads the library: while it is not zero
// the shell execute hooks pass every request. Each returns the count after the change. Ending
// a bypass that was never begun leaves the counter at 0: a negative count would read as "pass
// everything" in every process until the last one unloads the library.
LONG BeginHookBypass();
LONG EndHookBypass();

// The shell call of InvokeExplorer and how long its thread keeps pumping messages afterwards,
// replaceable so that tests can see the request without starting Explorer and need not wait.
struct ShellExecuteOps {
    BOOL (*execute)(SHELLEXECUTEINFOW* request);
    DWORD settleMs;  // 5000: long enough for the shell's asynchronous start to finish
};
const ShellExecuteOps& DefaultShellExecuteOps();
ShellExecuteOps& ShellExecuteSeam();

inline constexpr wchar_t kInvokeExplorerThreadName[] = L"kwill.invokeexplorer";

// True when the verb asks for an Explorer view ("explor" anywhere, in any case).
bool IsExploreVerb(const wchar_t* verb);

// Opens the folder (the list when given, else the path) with the shell on a new thread named
// "kwill.invokeexplorer" and returns at once. The thread's request is in the library's
// own-request list while the shell handles it. Returns the thread's handle, or 0 when nothing
// was started (neither a path nor a list, no memory, no thread).
uintptr_t InvokeExplorer(const wchar_t* verb, const wchar_t* path, const uint8_t* list,
                         HWND window);

}  // namespace kwill::hostlink
