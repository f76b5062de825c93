// Requests that other parts of the library hand to the host: the shell's "default file-manager
// window", an open, explore or find request for a folder, and application-command keys.
// The shell extensions call the first two; the third is a WH_SHELL hook procedure.
#pragma once

#include "frame/platform.h"
#include "hostlink/host_interface.h"

#include <shtypes.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kwill::hostlink {

// What the open request's sender waits for a host that has stopped answering.
inline constexpr UINT kOpenRequestTimeoutMs = 5000;
// SendOpenRequestToHost's result when the request reached the host (ShellExecute's convention:
// above 32 is success).
inline constexpr INT_PTR kOpenRequestSent = 33;

// The head of the open request (WM_COPYDATA kind 18); the data follows at `data`, and the block
// is the data's length plus sizeof(HostOpenRequest) bytes long.
struct HostOpenRequest {
    uint32_t code;
    uint32_t unused;
    uint64_t window;
    uint32_t senderProcessId;
    wchar_t contextText[host::kOpenRequestContextChars];
    uint32_t dataLength;
    uint8_t data[8];
};
static_assert(offsetof(HostOpenRequest, code) == host::kOpenRequestCodeOffset);
static_assert(offsetof(HostOpenRequest, window) == host::kOpenRequestWindowOffset);
static_assert(offsetof(HostOpenRequest, senderProcessId) == host::kOpenRequestSenderOffset);
static_assert(offsetof(HostOpenRequest, contextText) == host::kOpenRequestContextOffset);
static_assert(offsetof(HostOpenRequest, dataLength) == host::kOpenRequestLengthOffset);
static_assert(offsetof(HostOpenRequest, data) == host::kOpenRequestDataOffset);
static_assert(sizeof(HostOpenRequest) == host::kOpenRequestExtra);

// Finds or starts the host (no flags, no arguments) and posts it the default-window message.
// False when no host can be had.
bool RequestHostDefaultWindow();

// The request code of an open request: by verb ("explore", "find", anything else meaning open,
// compared ignoring case), by whether an item list is given (else a path) and by whether the
// caller built that list itself.
uint32_t OpenRequestCode(const wchar_t* verb, bool itemListGiven, bool builtByCaller);

// The record of WM_COPYDATA kind 18. An item list is sent when given (ILGetSize bytes), else the
// path with its terminator; context text longer than the field is cut and terminated.
std::vector<uint8_t> BuildOpenRequest(uint32_t code, HWND window, DWORD senderProcessId,
                                      std::wstring_view contextText, const wchar_t* path,
                                      PCIDLIST_ABSOLUTE itemList);

// Hands an open, explore or find request to the host: to the given host window, else to the
// host found or started. Returns 33 once the host took it, or an error code (32 or less):
// SE_ERR_DDETIMEOUT when the host did not answer in time, SE_ERR_OOM without memory. With no
// host to be had the shell opens the folder itself (class "Folder"), past the library's own
// execute hook, and its hInstApp is the result. shellFlags: the caller's SEE_MASK_NOASYNC bit is
// kept for that case.
INT_PTR SendOpenRequestToHost(HWND host, HWND window, const wchar_t* verb, const wchar_t* path,
                              PCIDLIST_ABSOLUTE itemList, bool builtByCaller, ULONG shellFlags,
                              const wchar_t* contextText);

// The modifier mask sent with an application command: Alt 1, Ctrl 2, Shift 4, Win 8. The key
// state comes from the hook's lParam (Ctrl, Shift); Alt and the Windows keys are asked from the
// keyboard.
WPARAM AppCommandModifiers(LPARAM lParam, bool altDown, bool winDown);

// WH_SHELL hook: passes HSHELL_APPCOMMAND to the host; 1 when the host handled it, else the
// next hook's answer.
LRESULT ShellAppCommandHook(int code, WPARAM wParam, LPARAM lParam);

}  // namespace kwill::hostlink
