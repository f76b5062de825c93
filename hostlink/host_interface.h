// What the library relies on in the host program kwill.exe: its window, the messages it accepts,
// the records it is sent, the functions it exports, and how it is started. Every call site in
// the library and its tests takes these values from here.
#pragma once

#include "frame/platform.h"

#include <cstddef>
#include <cstdint>

namespace kwill::host {

// The main window: top-level, found by class and title.
inline constexpr wchar_t kWindowClass[] = L"Kwill.ParentWindow";
inline constexpr wchar_t kWindowTitle[] = L"Tarnwell";
inline constexpr wchar_t kListerWindowClass[] = L"kwill.lister";
inline constexpr wchar_t kProgramName[] = L"kwill.exe";

inline HWND FindHostWindow() {
    return ::FindWindowW(kWindowClass, kWindowTitle);
}

// Registered messages (RegisterWindowMessageW).
inline constexpr wchar_t kMsgGetPrefsFlags[] = L"kwillmsg.GetPrefsFlags";  // sent, see below
inline constexpr wchar_t kMsgNewLister[] = L"kwillmsg.NewLister";          // posted, 2, 0
inline constexpr wchar_t kMsgPrefs[] = L"kwillmsg.Prefs";                  // posted, 0, window
inline constexpr wchar_t kMsgRemoveCollectionsIcon[] = L"kwillmsg.RemoveCollectionsIcon";

// "kwillmsg.GetPrefsFlags" is sent with SMTO_ABORTIFHUNG and this limit; the result is the
// reply's size in bytes.
inline constexpr UINT kGetPrefsFlagsTimeoutMs = 5000;
inline constexpr WPARAM kNewListerWParam = 2;

// Fixed messages.
// An application-command key: wParam the modifier mask, lParam the app-command value; sent with
// SMTO_ABORTIFHUNG and a short limit, non-zero result means the host handled it.
inline constexpr UINT kMsgAppCommand = 0x801D;
inline constexpr UINT kAppCommandTimeoutMs = 100;
inline constexpr WPARAM kModAlt = 1, kModCtrl = 2, kModShift = 4, kModWin = 8;
// Posted with 0, 0 when the shell asks for its default file-manager window.
inline constexpr UINT kMsgDefaultWindow = 0x8162;

// WM_COPYDATA kinds (dwData); wParam is the calling window.
inline constexpr ULONG_PTR kCopyDataLayout = 12;       // relative name of a layout to open
inline constexpr ULONG_PTR kCopyDataArchiveBase = 15;  // + 65536 * archive command kind
inline constexpr ULONG_PTR kCopyDataOpenRequest = 18;  // a HostOpenRequest record
constexpr ULONG_PTR ArchiveCommandKind(unsigned commandKind) {
    return kCopyDataArchiveBase + 65536u * static_cast<ULONG_PTR>(commandKind);
}

// The open request of kind 18, little-endian, at fixed byte offsets.
inline constexpr size_t kOpenRequestCodeOffset = 0;      // u32 request code
inline constexpr size_t kOpenRequestWindowOffset = 8;    // u64 window
inline constexpr size_t kOpenRequestSenderOffset = 16;   // u32 sender process id
inline constexpr size_t kOpenRequestContextOffset = 20;  // 260 UTF-16 units of context text
inline constexpr size_t kOpenRequestContextChars = 260;
inline constexpr size_t kOpenRequestLengthOffset = 540;  // u32 data length
inline constexpr size_t kOpenRequestDataOffset = 544;    // path or item ID list
inline constexpr size_t kOpenRequestExtra = 552;         // block size = data length + this

// Request codes of the open request, by verb and by what is given.
inline constexpr uint32_t kOpenPath = 16;
inline constexpr uint32_t kOpenListBuilt = 7;
inline constexpr uint32_t kOpenListPassed = 3;
inline constexpr uint32_t kExplorePath = 17;
inline constexpr uint32_t kExploreListBuilt = 6;
inline constexpr uint32_t kExploreListPassed = 5;
inline constexpr uint32_t kFind = 13;

// Functions the host exports; looked up in the process's own kwill.exe module, never loaded.
inline constexpr char kExportTranslationOverlay[] = "GetLanguageTranslationOverlay";
inline constexpr char kExportConstructEvalString[] = "ConstructEvalString_ArgUInt";
inline constexpr int kTranslationOverlayChars = 16384;

// Command-line mode words, chosen by the start flags of FindOrStartKwillW.
inline constexpr unsigned kStartCrash = 1;
inline constexpr unsigned kStartDoubleClick = 2;
inline constexpr unsigned kStartAutoLister = 4;
inline constexpr unsigned kStartRunCommand = 16;
inline constexpr wchar_t kModeCrash[] = L"crash";
inline constexpr wchar_t kModeAutoLister[] = L"autolister";
inline constexpr wchar_t kModeRunCommand[] = L"runcmd nodef";
inline constexpr wchar_t kModeDefault[] = L"nodef";
inline constexpr wchar_t kModeDoubleClick[] = L" dblclk";
inline constexpr wchar_t kEventArgument[] = L" event ";
inline constexpr size_t kMaxCommandLineChars = 388;

// The start-up event the host signals once ready; formatted with GetTickCount().
inline constexpr wchar_t kStartupEventFormat[] = L"kwillrt-startup-%08lx";
inline constexpr DWORD kStartupEventWaitMs = 10000;
inline constexpr int kStartupWaitPasses = 21;
inline constexpr DWORD kStartupPassMs = 500;

}  // namespace kwill::host
