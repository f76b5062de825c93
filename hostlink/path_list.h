// The user's folder lists (favourites with nested sub-folders, recent folders, folder aliases)
// read from their XML files into read-only trees that callers walk by handle.
//
// A list is a LocalAlloc'd handle with a private heap that holds every entry and string. Each
// handle and entry carries a tag, but a tag alone cannot tell a live handle from freed memory or
// a stray pointer, and reading it could itself fault. So every list and entry handed out is
// recorded in a registry, and every accessor checks there first, under a lock that freeing
// also takes.
#pragma once

#include "frame/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kwill::hostlink {

inline constexpr uint32_t kPathListTag = 0x82695414;
inline constexpr uint32_t kPathEntryTag = 0x82977840;

struct PathListEntry {
    uint32_t tag;
    wchar_t* label;  // null when the file gave none
    wchar_t* path;   // null for a sub-folder (and for a "pidl" that did not convert)
    PathListEntry* child;
    PathListEntry* next;
};

struct PathList {
    uint32_t tag;
    HANDLE heap;
    PathListEntry* first;
};

// Where the three lists live: file relative to its configuration folder, the folder's kind,
// and the name of the top element.
struct PathListFile {
    const wchar_t* relativeName;
    int kind;
    const char* topElement;
};
inline constexpr PathListFile kFavoritesFile = {L"ConfigFiles\\favorites.tfv", 0, "favorites"};
inline constexpr PathListFile kRecentFile = {L"State Data\\recent.tsd", 2, "recent"};
inline constexpr PathListFile kAliasesFile = {L"ConfigFiles\\folderaliases.txc", 0,
                                              "folderaliases"};

// Reads a list from an XML file (null or a missing, empty, malformed or wrongly topped file: an
// empty list). Null only when the handle or its heap cannot be made. The list is registered.
PathList* ReadPathList(const wchar_t* file, const char* topElement);

// Destroys a registered list and forgets it and its entries; anything else is ignored.
void FreePathList(PathList* list);

// Walking. `from` may be a list (its top-level entries) or a sub-folder entry (its children);
// anything unregistered gives null. The "path" walks return entries with a path, the
// "subfolder" walks those without.
PathListEntry* FirstEntry(const void* from, bool withPath);
PathListEntry* NextEntry(const PathListEntry* entry, bool withPath);

// Copies the entry's label or path into the buffer, truncated and terminated. A path of a bare
// drive ("D:") gets its backslash when the buffer holds at least 4 characters. False, with
// nothing written, for a null buffer or size 0; false with the buffer emptied for an
// unregistered entry or a missing string.
bool CopyEntryLabel(const PathListEntry* entry, wchar_t* buffer, size_t chars);
bool CopyEntryPath(const PathListEntry* entry, wchar_t* buffer, size_t chars);
// The same in the ANSI code page; the copy is cut before a character that would not fit whole.
bool CopyEntryLabelA(const PathListEntry* entry, char* buffer, size_t bytes);
bool CopyEntryPathA(const PathListEntry* entry, char* buffer, size_t bytes);

// Cuts text converted to the ANSI code page (WC_COMPOSITECHECK) to fit `bytes` with its
// terminator, never inside a character. Empty when nothing fits.
std::string AnsiPrefix(std::wstring_view text, size_t bytes, UINT codePage = CP_ACP);

// Memory for entries and strings comes from here; tests replace it to make allocations fail.
using PathListAllocFn = void* (*)(HANDLE heap, size_t bytes);
PathListAllocFn& PathListAllocSeam();

}  // namespace kwill::hostlink
