// KwillShellExecuteHook: the shell hands it every ShellExecuteEx request of the process it is
// loaded into. Folder requests go to the host when the user lets the file manager replace
// Explorer; everything else goes back to the shell.
#pragma once

#include "shellext/execute_hook_decision.h"

#include <unknwn.h>

#include <string>

namespace kwill::shellext {

// The class factory's create function for the hook.
IUnknown* CreateShellExecuteHook();

// The environment the hook object uses: the shared state, the preferences, the shell and the
// registry as they really are.
ExecuteHookEnvironment& RealExecuteHookEnvironment();

// The skip-next flag, changed only while holding the named mutex. The wait is bounded: after
// five seconds the flag counts as clear (and is left alone); a mutex abandoned by a thread that
// ended counts as owned. Without a mutex the flag is changed interlocked.
bool TakeSkipNextFlag();
void SetSkipNextFlag();

// Carries out a decision for the request: sends what goes to the host, stamps the pass-through
// and the skip-next flag. S_OK when the request was taken, S_FALSE when the shell should carry
// it out.
HRESULT ApplyExecuteHookDecision(SHELLEXECUTEINFOW& request, HookDecision& decision);

// What the hook would do with the request, as text, without doing it: the action, the rule that
// decided and what would be sent. The skip-next flag is read, not cleared.
std::wstring DescribeExecuteHook(const SHELLEXECUTEINFOW& request);

// The hook's whole answer, as Execute gives it.
HRESULT RunExecuteHook(SHELLEXECUTEINFOW* request, ExecuteHookEnvironment& env);

}  // namespace kwill::shellext
