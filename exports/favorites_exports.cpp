// The user's favourite folders, recent folders and folder aliases, read from their files in the
// configuration folders into read-only trees. A list handle belongs to the caller until it is
// given to FreeFavoritesList; entries live as long as their list. Every function checks what it
// is given against the lists and entries that are alive, so a freed, foreign or mismatched
// handle gives null or FALSE instead of being read.
#include "exports/export.h"
#include "hostlink/config_paths.h"
#include "hostlink/path_list.h"

namespace hl = kwill::hostlink;

using kwill::hostlink::PathList;
using kwill::hostlink::PathListEntry;

namespace {

PathList* ReadList(const hl::PathListFile& file) {
    try {
        std::wstring path = kwill::config::ConfigFilePath(file.kind, file.relativeName);
        return hl::ReadPathList(path.empty() ? nullptr : path.c_str(), file.topElement);
    } catch (...) {
        return nullptr;
    }
}

size_t Size(int size) {
    return size > 0 ? static_cast<size_t>(size) : 0;
}

}  // namespace

// A new list of the favourite folders ("ConfigFiles\favorites.tfv" in the user configuration
// folder), with their nested sub-folders. A missing, empty or unreadable file gives an empty
// list; null only when the list itself cannot be made. Free it with FreeFavoritesList.
KWILL_EXPORT PathList* GetFavoritesList() {
    return ReadList(hl::kFavoritesFile);
}

// A new list of the recently used folders ("State Data\recent.tsd" in the local state folder).
KWILL_EXPORT PathList* GetRecentList() {
    return ReadList(hl::kRecentFile);
}

// A new list of the folder aliases ("ConfigFiles\folderaliases.txc"); the label is the alias.
KWILL_EXPORT PathList* GetPathAliasList() {
    return ReadList(hl::kAliasesFile);
}

// Kept for callers of an older interface: there is no such list, always null.
KWILL_EXPORT PathList* GetSmartFavoritesList() {
    return nullptr;
}

// Frees any of the lists above with all its entries. Anything that is not a live list is
// ignored, so a second free does no harm.
KWILL_EXPORT void FreeFavoritesList(PathList* list) {
    hl::FreePathList(list);
}

// The first entry with a path: among a list's top-level entries, or among a sub-folder entry's
// children. Null when there is none or the handle is neither.
KWILL_EXPORT PathListEntry* GetFirstPathEntry(void* listOrFolder) {
    return hl::FirstEntry(listOrFolder, true);
}

// The next sibling with a path; null at the end or for anything but an entry.
KWILL_EXPORT PathListEntry* GetNextPathEntry(PathListEntry* entry) {
    return hl::NextEntry(entry, true);
}

// The first sub-folder (an entry without a path) of a list or of a sub-folder entry.
KWILL_EXPORT PathListEntry* GetFirstSubfolder(void* listOrFolder) {
    return hl::FirstEntry(listOrFolder, false);
}

// The next sibling sub-folder; null at the end or for anything but an entry.
KWILL_EXPORT PathListEntry* GetNextSubfolder(PathListEntry* entry) {
    return hl::NextEntry(entry, false);
}

// Copies the entry's label, truncated and terminated to bufferChars. FALSE with nothing written
// for a null buffer or a size below 1; FALSE with an empty buffer when the entry is not live or
// has no label.
KWILL_EXPORT BOOL GetEntryLabelW(PathListEntry* entry, wchar_t* buffer, int bufferChars) {
    return hl::CopyEntryLabel(entry, buffer, Size(bufferChars));
}

// Copies the entry's path like GetEntryLabelW. A bare drive ("D:") comes back with its
// backslash when the buffer holds at least 4 characters. FALSE for a sub-folder.
KWILL_EXPORT BOOL GetEntryPathW(PathListEntry* entry, wchar_t* buffer, int bufferChars) {
    return hl::CopyEntryPath(entry, buffer, Size(bufferChars));
}

// GetEntryLabelW in the ANSI code page. A label too long for the buffer is cut before the first
// character that does not fit whole (a double-byte character is never split).
KWILL_EXPORT BOOL GetEntryLabelA(PathListEntry* entry, char* buffer, int bufferBytes) {
    return hl::CopyEntryLabelA(entry, buffer, Size(bufferBytes));
}

// GetEntryPathW in the ANSI code page, cut like GetEntryLabelA.
KWILL_EXPORT BOOL GetEntryPathA(PathListEntry* entry, char* buffer, int bufferBytes) {
    return hl::CopyEntryPathA(entry, buffer, Size(bufferBytes));
}
