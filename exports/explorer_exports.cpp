// Explorer replacement: reading Explorer's command lines and the shell's DDE folder requests,
// deciding whether the host takes a folder, and handing folders back to the shell past the
// library's own hooks.
#include "exports/export.h"
#include "hostlink/dde_folder_string.h"
#include "hostlink/explorer_command_line.h"
#include "hostlink/explorer_invoke.h"
#include "hostlink/explorer_settings.h"
#include "hostlink/shared_list.h"
#include "hostlink/system_library.h"
#include "shellns/id_list_memory.h"

#include <shlobj.h>

#include <cwchar>
#include <new>

namespace hl = kwill::hostlink;

namespace {

hl::ItemBuffer Buffer(wchar_t* data, int chars) {
    return chars > 0 && data ? hl::ItemBuffer{data, static_cast<size_t>(chars)} : hl::ItemBuffer{};
}

void CopyTruncated(const std::wstring& text, wchar_t* buffer, size_t chars) {
    size_t n = text.size() < chars ? text.size() : chars - 1;
    std::wmemcpy(buffer, text.data(), n);
    buffer[n] = L'\0';
}

}  // namespace

// Reads an Explorer command line such as "/e,/root,C:\Temp" or "/select,"C:\a b.txt"".
// flagsOut (may be null) receives the switches: 1 "/n", 2 "/e", 4 "/root", 8 "/select". The
// root item (the first item after "/root") goes to rootBuffer, the first other item to
// pathBuffer; a buffer that is null or has 0 characters is not wanted, and its item goes to the
// other buffer or is skipped. Items are cut to the buffer size less one and terminated; quotes
// around an item stay. All outputs are emptied first. Returns TRUE when a root or a path was
// stored; FALSE for a null line.
KWILL_EXPORT BOOL ParseExplorerCmdLine(const wchar_t* commandLine, DWORD* flagsOut,
                                       wchar_t* rootBuffer, int rootChars, wchar_t* pathBuffer,
                                       int pathChars) {
    hl::ItemBuffer root = Buffer(rootBuffer, rootChars);
    hl::ItemBuffer path = Buffer(pathBuffer, pathChars);
    if (flagsOut) *flagsOut = 0;
    if (!commandLine) {
        if (root.data) root.data[0] = L'\0';
        if (path.data) path.data[0] = L'\0';
        return FALSE;
    }
    hl::ExplorerCommandLine parsed = hl::ParseExplorerCommandLine(commandLine, root, path);
    if (flagsOut) *flagsOut = parsed.flags;
    return parsed.found ? TRUE : FALSE;
}

// The folder of a DDE request from the shell ("[ViewFolder("C:\x", :handle:pid, 1)]", also
// ExploreFolder and FindFolder) or, with afterCommand set, of the text after Explorer's
// "/idlist," switch (":handle:pid,C:\x"). Returns the ID list that the sender shared (a new
// list, freed with PIDLFree; the shared block is freed). Without it, the request's path: copied
// to pathBuffer (at most pathChars characters with the terminator, and at most 1024) with a null
// result, except that a path starting with ":" or a call without a buffer gets the shell's
// parse of the path as the result. Null with an empty buffer for a null string or a request
// without a folder.
KWILL_EXPORT LPITEMIDLIST GetPidlFromDDEString(const wchar_t* ddeString, BOOL afterCommand,
                                               wchar_t* pathBuffer, int pathChars) {
    const bool buffer = pathBuffer && pathChars > 0;
    if (buffer) pathBuffer[0] = L'\0';
    if (!ddeString) return nullptr;
    try {
        hl::DdeFolderRequest request = hl::ScanDdeFolderString(ddeString, afterCommand != FALSE);
        if (request.shared && request.sharedValid) {
            HANDLE handle =
                reinterpret_cast<HANDLE>(static_cast<uintptr_t>(request.shared->handle));
            uint8_t* list = hl::TakeSharedIdList(handle, request.shared->processId);
            if (list) return reinterpret_cast<LPITEMIDLIST>(list);
        }
        std::wstring path = hl::DdeFallbackPath(request);
        if (path.empty()) return nullptr;
        if (buffer && path[0] != L':') {
            CopyTruncated(path, pathBuffer, static_cast<size_t>(pathChars));
            return nullptr;
        }
        if (path.size() >= hl::kDdeParseLimit) return nullptr;
        PIDLIST_ABSOLUTE list = nullptr;
        if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &list, 0, nullptr))) return nullptr;
        return list;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Begins a bypass of the shell execute hooks in every process; returns the new count. Every
// caller that starts the shell itself wraps the call in BeginHookBypass/EndHookBypass.
KWILL_EXPORT LONG BeginHookBypass() {
    return hl::BeginHookBypass();
}

// Ends one bypass; returns the new count. Never goes below 0.
KWILL_EXPORT LONG EndHookBypass() {
    return hl::EndHookBypass();
}

// Opens a folder with the shell on a new thread ("kwill.invokeexplorer") that the library's own
// shell execute hook lets pass: verb "explore" when the given verb contains "explor" (any case),
// else "open"; the list when given, else the path. With threadOut, the thread's handle is stored
// there (the caller closes it); otherwise it is closed. Returns non-zero when the thread was
// started, 0 when nothing was started (no path and no list: ERROR_INVALID_PARAMETER; no memory
// or no thread), and then threadOut is null.
KWILL_EXPORT INT_PTR InvokeExplorer(const wchar_t* verb, const wchar_t* path, LPCITEMIDLIST list,
                                    HANDLE* threadOut, HWND window) {
    if (threadOut) *threadOut = nullptr;
    uintptr_t thread =
        hl::InvokeExplorer(verb, path, reinterpret_cast<const uint8_t*>(list), window);
    if (!thread) return 0;
    if (threadOut) {
        *threadOut = reinterpret_cast<HANDLE>(thread);
    } else {
        ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    }
    return 1;
}

// Loads the named DLL from the system folder only. Null (ERROR_INVALID_PARAMETER) for a null or
// empty name, a name that does not fit in MAX_PATH with the folder, or one that names a place
// outside the folder (a drive, a leading separator, a ".." component); else LoadLibraryW's
// result.
KWILL_EXPORT HMODULE LoadSystemLibrary(const wchar_t* name) {
    try {
        return hl::LoadSystemLibrary(name);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Whether the host should open the folder (path, list or both; either may be null) instead of
// the shell. TRUE for "coll://" paths and the file-collection namespace; otherwise the user's
// replacement settings decide, with the exclusion list "ConfigFiles\exploreroverride.txc" when
// it is in use. FALSE when memory runs out.
KWILL_EXPORT BOOL ShouldHostOpenFolder(const wchar_t* path, LPCITEMIDLIST list) {
    try {
        return hl::ShouldHostOpenFolder(path, reinterpret_cast<const uint8_t*>(list)).host ? TRUE
                                                                                           : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// ShouldHostOpenFolder with the rule that decided, for diagnosis. rule (may be null) receives:
// 0 "coll://" path, 1 collection item, 2 replacement off, 3 control-panel item, 4 replacement on
// without exclusion list, 5 exclusion list unavailable, 6 excluded (entry: the index of the
// "path" element that matched), 7 no exclusion matched, 8 file-system folders only but nothing
// given, 9 a file-system folder or ancestor, 10 the shell's home folder, 11 not a file-system
// folder. Rule 2 and 0xFFFFFFFF with FALSE when memory runs out.
KWILL_EXPORT BOOL ExplainHostOpenFolder(const wchar_t* path, LPCITEMIDLIST list, DWORD* rule,
                                        DWORD* entry) {
    if (rule) *rule = 0xFFFFFFFF;
    if (entry) *entry = 0;
    try {
        hl::FolderDecision d =
            hl::ShouldHostOpenFolder(path, reinterpret_cast<const uint8_t*>(list));
        if (rule) *rule = static_cast<DWORD>(d.rule);
        if (entry) *entry = static_cast<DWORD>(d.entry);
        return d.host ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}
