#include "hostlink/host_requests.h"

#include "frame/shared_state.h"
#include "hostlink/host_interface.h"
#include "hostlink/host_start.h"
#include "hostlink/host_system.h"
#include "shellns/id_list.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace kwill::hostlink {
namespace {

bool VerbIs(const wchar_t* verb, const wchar_t* name) {
    return verb && ::_wcsicmp(verb, name) == 0;
}

// The library's own shell execute hook lets this request pass while the counter is up.
class HookBypass {
  public:
    HookBypass() { ::InterlockedIncrement(&Shared().hookBypass); }
    ~HookBypass() { ::InterlockedDecrement(&Shared().hookBypass); }
    HookBypass(const HookBypass&) = delete;
    HookBypass& operator=(const HookBypass&) = delete;
};

INT_PTR OpenByShell(HWND window, const wchar_t* verb, const wchar_t* path,
                    PCIDLIST_ABSOLUTE itemList, ULONG shellFlags) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_IDLIST | (shellFlags & SEE_MASK_NOASYNC);
    info.lpClass = L"Folder";
    info.hwnd = window;
    if (VerbIs(verb, L"open") || VerbIs(verb, L"explore") || VerbIs(verb, L"find"))
        info.lpVerb = verb;
    info.lpFile = path;
    info.lpIDList = const_cast<ITEMIDLIST*>(reinterpret_cast<const ITEMIDLIST*>(itemList));
    info.nShow = SW_SHOWNORMAL;
    HookBypass bypass;
    System().ShellExecute(info);
    return reinterpret_cast<INT_PTR>(info.hInstApp);
}

}  // namespace

bool RequestHostDefaultWindow() {
    HWND host = FindOrStartKwill(0, nullptr);
    return host && ::PostMessageW(host, host::kMsgDefaultWindow, 0, 0);
}

uint32_t OpenRequestCode(const wchar_t* verb, bool itemListGiven, bool builtByCaller) {
    if (VerbIs(verb, L"find")) return host::kFind;
    if (VerbIs(verb, L"explore"))
        return !itemListGiven  ? host::kExplorePath
               : builtByCaller ? host::kExploreListBuilt
                               : host::kExploreListPassed;
    return !itemListGiven  ? host::kOpenPath
           : builtByCaller ? host::kOpenListBuilt
                           : host::kOpenListPassed;
}

std::vector<uint8_t> BuildOpenRequest(uint32_t code, HWND window, DWORD senderProcessId,
                                      std::wstring_view contextText, const wchar_t* path,
                                      PCIDLIST_ABSOLUTE itemList) {
    const void* data = nullptr;
    size_t dataBytes = 0;
    if (itemList) {
        data = itemList;
        dataBytes = shellns::ListSize(reinterpret_cast<const uint8_t*>(itemList));
    } else if (path) {
        data = path;
        dataBytes = (std::wcslen(path) + 1) * sizeof(wchar_t);
    }
    // operator new aligns the block for any fundamental type, so the head can be written in place.
    std::vector<uint8_t> block(dataBytes + sizeof(HostOpenRequest), 0);
    auto* head = reinterpret_cast<HostOpenRequest*>(block.data());
    head->code = code;
    head->window = reinterpret_cast<uintptr_t>(window);
    head->senderProcessId = senderProcessId;
    size_t contextChars = std::min(contextText.size(), host::kOpenRequestContextChars - 1);
    std::memcpy(head->contextText, contextText.data(), contextChars * sizeof(wchar_t));
    head->dataLength = static_cast<uint32_t>(dataBytes);
    if (dataBytes) std::memcpy(block.data() + offsetof(HostOpenRequest, data), data, dataBytes);
    return block;
}

INT_PTR SendOpenRequestToHost(HWND host, HWND window, const wchar_t* verb, const wchar_t* path,
                              PCIDLIST_ABSOLUTE itemList, bool builtByCaller, ULONG shellFlags,
                              const wchar_t* contextText) {
    if (host)
        AllowForeground(host);
    else
        host = FindOrStartKwill(0, nullptr);
    if (!host) return OpenByShell(window, verb, path, itemList, shellFlags);

    std::vector<uint8_t> record;
    try {
        record = BuildOpenRequest(
            OpenRequestCode(verb, itemList != nullptr, builtByCaller), window,
            ::GetCurrentProcessId(),
            contextText ? std::wstring_view(contextText) : std::wstring_view(), path, itemList);
    } catch (const std::bad_alloc&) {
        return SE_ERR_OOM;
    }
    COPYDATASTRUCT copy{host::kCopyDataOpenRequest, static_cast<DWORD>(record.size()),
                        record.data()};
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(host, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                               reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                               kOpenRequestTimeoutMs, &answer))
        return SE_ERR_DDETIMEOUT;
    return kOpenRequestSent;
}

WPARAM AppCommandModifiers(LPARAM lParam, bool altDown, bool winDown) {
    WORD keys = GET_KEYSTATE_LPARAM(lParam);
    WPARAM mask = 0;
    if (altDown) mask |= host::kModAlt;
    if (keys & MK_CONTROL) mask |= host::kModCtrl;
    if (keys & MK_SHIFT) mask |= host::kModShift;
    if (winDown) mask |= host::kModWin;
    return mask;
}

LRESULT ShellAppCommandHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HSHELL_APPCOMMAND) {
        if (HWND host = host::FindHostWindow()) {
            auto down = [](int key) { return (::GetAsyncKeyState(key) & 0x8000) != 0; };
            WPARAM mask =
                AppCommandModifiers(lParam, down(VK_MENU), down(VK_LWIN) || down(VK_RWIN));
            AllowForeground(host);
            DWORD_PTR answer = 0;
            if (::SendMessageTimeoutW(host, host::kMsgAppCommand, mask, lParam, SMTO_ABORTIFHUNG,
                                      host::kAppCommandTimeoutMs, &answer) &&
                answer != 0)
                return 1;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace kwill::hostlink
