// What the shell execute hook does with one ShellExecuteEx request: let the shell carry it out,
// or hand a folder to the host. The decision reads the request and asks everything else (the
// shared state, the preferences, the file system, the shell and the registry) through
// ExecuteHookEnvironment, so a test can drive every branch with a fake; the hook object wires the
// real answers and carries out what the decision returns.
#pragma once

#include "frame/platform.h"

#include <shellapi.h>
#include <shtypes.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kwill::shellext {

// An ID list the hook made itself (CoTaskMemFree).
struct TaskMemFree {
    void operator()(void* p) const { ::CoTaskMemFree(p); }
};
using OwnedIdList = std::unique_ptr<ITEMIDLIST_ABSOLUTE, TaskMemFree>;

// Preference bits the hook reads (settings1 of the preference flags).
inline constexpr uint64_t kSettings1ReplaceFolders = 1ull << 7;      // folders open in the host
inline constexpr uint64_t kSettings1FtpToHost = 1ull << 23;          // ftp:// addresses too
inline constexpr uint64_t kSettings1DefaultWindowHost = 1ull << 55;  // "default window" item
inline constexpr uint64_t kSettings1DefaultWindowShell = 1ull << 56;

// Longest names the hook hands to the shell's parsers.
inline constexpr size_t kMaxParsedName = 9000;
// Longest verb that fits "shell\<verb>\command" in a registry path of 260 characters.
inline constexpr size_t kMaxClassKeyVerb = 260 - 15;

class ExecuteHookEnvironment {
  public:
    virtual ~ExecuteHookEnvironment() = default;

    // Shared state and the process.
    virtual bool HookBypassed() = 0;  // the bypass counter is non-zero
    // Tests the skip-next flag and clears it, as one step under the named mutex.
    virtual bool TakeSkipNext() = 0;
    virtual bool IsOwnRequest(const SHELLEXECUTEINFOW& request) = 0;
    virtual bool InsideHost() = 0;  // library flag 0x4

    // The preference flags' settings1 word, loaded (not full).
    virtual uint64_t Settings1() = 0;

    // The shell's answers.
    virtual bool IsLibrariesFolder(PCIDLIST_ABSOLUTE list) = 0;
    virtual bool IsNetworkFolder(PCIDLIST_ABSOLUTE list) = 0;
    virtual bool ItemHasClass(PCIDLIST_ABSOLUTE list, REFCLSID clsid) = 0;
    // SHParseDisplayName asking SFGAO_FOLDER: the list, and whether it is a folder.
    virtual OwnedIdList ParseShellName(const std::wstring& name, bool* folder) = 0;
    // The desktop folder's ParseDisplayName.
    virtual OwnedIdList ParseDesktopName(const std::wstring& name) = 0;
    virtual bool IsFolderItem(PCIDLIST_ABSOLUTE list) = 0;      // SHGetFileInfoW, SFGAO_FOLDER
    virtual std::wstring ListPath(PCIDLIST_ABSOLUTE list) = 0;  // empty when it has none

    // The registry: the default value of a subkey of a class key, at most 260 characters.
    virtual std::optional<std::wstring> ClassKeyText(HKEY classKey, const std::wstring& subkey) = 0;

    // The file system.
    virtual DWORD FileAttributes(const std::wstring& path) = 0;  // INVALID_FILE_ATTRIBUTES
    // The path made absolute against the request's folder (null: the current one).
    virtual std::wstring FullPath(const std::wstring& path, const wchar_t* directory) = 0;

    // Whether the host should open this folder rather than the shell.
    virtual bool ShouldHostOpenFolder(const wchar_t* path, PCIDLIST_ABSOLUTE list) = 0;
};

enum class HookAction {
    kPass,           // S_FALSE: the shell carries the request out
    kStartExplorer,  // start explorer.exe with `path` (the shell's own "open Explorer" item)
    kDefaultWindow,  // find or start the host and post it the default-window message
    kSendOpen,       // hand the folder to the host
};

struct HookDecision {
    HookAction action = HookAction::kPass;
    const char* why = "";  // the rule that decided, for the tool and for test messages

    // With kPass: let the next request of any process through (Explorer itself was asked for),
    // and stamp the Explorer pass-through with the request's window.
    bool setSkipNext = false;
    bool setPassThrough = false;

    // With kStartExplorer and kSendOpen.
    std::wstring path;
    PCIDLIST_ABSOLUTE list = nullptr;  // the request's own list, or ownedList
    OwnedIdList ownedList;             // a list the hook made
    std::wstring select;               // the item to select in the folder
    bool ftp = false;                  // an ftp:// address, sent without the folder test
};

HookDecision DecideExecuteHook(const SHELLEXECUTEINFOW& request, ExecuteHookEnvironment& env);

// The Run dialog's elevation switch: with Ctrl and Shift held, a command from the Run dialog of
// Explorer runs elevated when the user switched this on.
struct RunDialogFacts {
    bool shiftAndCtrlDown = false;
    bool switchOn = false;          // "EnableUACForWINR" exists, of a type other than REG_NONE
    bool callerIsExplorer = false;  // the process's executable is explorer.exe
    bool windowIsStatic = false;    // the request's window is of class "Static"
};
bool RunDialogWantsElevation(const SHELLEXECUTEINFOW& request, const RunDialogFacts& facts);

// Portable pieces, exposed for the tests.

// True when the last component of a path or command (quoted or not) is "explorer" or
// "explorer.exe", in any case.
bool NamesExplorer(std::wstring_view path);
// A "file://" address as a path: the scheme and one more slash before a drive go, and %XX
// sequences are decoded to bytes that are read as UTF-8 (byte by byte as characters when they
// are not valid UTF-8). A "%" without two hexadecimal digits stays as it is.
std::wstring FileUrlToPath(std::wstring_view url);

}  // namespace kwill::shellext
