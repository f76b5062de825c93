// Where the file manager keeps its files: the folders of each kind, the main program, and the
// loading of a configuration document by its name relative to one of those folders.
//
// Every caller in the library names a file by a relative path plus a folder kind and goes through
// ConfigFilePath or LoadConfigDocument; nothing builds configuration paths by hand.
//
// The folders are worked out once per process, on first use, into the path table of the library
// context: nine slots, chosen among by the kind, the installation mode (library flags 0x8 and
// 0x100) and the configuration type (shared or private). The table and the configuration-type
// cache are guarded by the context's Lock 3.
#pragma once

#include "frame/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kwill {
class XmlDocumentFile;
}

namespace kwill::config {

// The folder kinds callers pass (GetConfigPathW's first argument). Kinds 0 to 8 name the slot of
// the same number in a standard installation; kind 9 is kind 0 without the redirection of a
// shared configuration to the machine-wide folder.
enum PathKind : int {
    kUserConfig = 0,   // preferences, user switches, favourites, aliases, Explorer override
    kMachineData = 1,  // machine-wide data (the global data record)
    kLocalState = 2,   // per-user local state ("State Data")
    kProgram = 3,      // the folder of this library, where the main program lives
    kProgramCopy = 4,
    kProgramRoot = 5,  // language files
    kProgramRootCopy = 6,
    kDataFiles = 7,   // "PA_TARNDATAFILES"
    kOtherFiles = 8,  // "PA_TARNOTHERFILES"
    kUserData = 9,    // the user data record, always per user
};
inline constexpr int kPathKindCount = 10;
inline constexpr int kSlotCount = 9;

// The configuration-type cache: unknown until the first folder query, then one of these.
inline constexpr int kConfigTypeUnknown = -1;
inline constexpr int kConfigTypeShared = 0;
inline constexpr int kConfigTypePrivate = 1;

// The sub-folder joined to the three AppData folders, and the environment variables of slots 7
// and 8.
inline constexpr wchar_t kVendorSubfolder[] = L"Brightfold\\Tarnwell";
inline constexpr wchar_t kDataFilesVariable[] = L"PA_TARNDATAFILES";
inline constexpr wchar_t kOtherFilesVariable[] = L"PA_TARNOTHERFILES";
inline constexpr wchar_t kAppPathsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Kwill.exe";

// The main preferences file and the user preference switches, both of kind 0.
inline constexpr wchar_t kPrefsFile[] = L"ConfigFiles\\Prefs.txc";
inline constexpr wchar_t kUserPrefsFile[] = L"ConfigFiles\\userprefs.txc";

// Which slot answers a kind. Pure: `filledSlots` has bit i set when slot i holds a folder,
// `mode` is the installation mode (0 standard, 1, 2), `configType` the cache (-1, 0 or 1).
// Returns the slot (0 to 8), or -1 for a kind outside 0..9. Rules:
//   mode 1: kinds 3 and 4 use slot 3, every other kind slot 5;
//   mode 2: kinds 0, 1, 2 and 9 use slot 7, kinds 3 and 4 slot 3, kind 8 slot 8, kinds 5 to 7
//           slot 5;
//   mode 0: kind k uses slot k, except that kind 2 with slot 2 empty is taken as kind 0, kind 0
//           uses slot 1 while the configuration is shared (cache 0), and kind 9 uses slot 0;
// and a chosen slot that is empty falls back to slot 3. A mode above 2 counts as mode 0.
int ResolveSlot(uint32_t filledSlots, unsigned mode, int configType, int kind);

// The folder of a kind, without a trailing backslash, into buffer (bufferChars units with the
// terminator). True when a folder was written. A usable buffer is emptied first and stays empty
// on failure: kind outside 0..9, no folder, or a folder that does not fit. A null buffer or a
// size of 0 is never written.
bool GetConfigPath(int kind, wchar_t* buffer, size_t bufferChars);
// The same as a string; empty when there is none.
std::wstring ConfigFolder(int kind);

// Folder of the kind + "\" + relative name, when the whole path fits in MAX_PATH units
// (terminator included); otherwise empty.
std::wstring ConfigFilePath(int kind, const wchar_t* relativeName);

// The kind selected by a caller's file flags: 4 machine-wide data, else 2 the user data record,
// else 1 local state, else the user configuration.
enum ConfigFileFlag : unsigned {
    kFileLocalState = 0x1,
    kFileUserData = 0x2,
    kFileMachineData = 0x4,
};
int KindForFileFlags(unsigned flags);

// Loads a document by relative name and kind. With `create`, a file that does not exist yet
// gives an empty document holding only the declaration <?xml version="1.0" ?>, named for that
// path so that SaveFile() writes it there. A file that exists but cannot be read (locked,
// malformed) is never replaced by an empty document: that would lose it on the next save.
enum class LoadOutcome { kLoaded, kCreated, kFailed };
LoadOutcome LoadConfigDocument(XmlDocumentFile& doc, const wchar_t* relativeName, int kind,
                               bool create = false);

// The full path of the main program kwill.exe: the running process when the library is inside
// it (library flag 0x4), else kwill.exe in the program folder when it exists, else the App Paths
// entry of the current user when that file exists, else the machine's App Paths entry unchecked.
// The buffer is empty when nothing is found or the path does not fit.
bool GetKwillPath(wchar_t* buffer, size_t bufferChars);

// The configuration-type cache (Lock 3). Reading does not fill the path table.
int CachedConfigType();
// Stores a configuration type in the cache; done when the user data record is written.
void StoreConfigType(int configType);

}  // namespace kwill::config
