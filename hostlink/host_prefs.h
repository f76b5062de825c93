// HostPrefsFlags: the user's preference flags that the shell extensions consult (which Explorer
// features are replaced, how archives appear in context menus). When the host runs, it is asked
// with "kwillmsg.GetPrefsFlags"; otherwise, or when it does not answer, the same values come
// from the configuration files.
//
//   HostPrefsFlags flags;         // empty
//   flags.Load(/*full=*/true);    // context menu: flags, archive context, format lists
//   HostPrefsFlags quick(false);  // shell execute hook, Explorer replacement: the flags only
#pragma once

#include "frame/platform.h"
#include "hostlink/prefs_reply.h"

#include <cstdint>

namespace kwill::host {

// Who answered the last Load.
enum class PrefsSource { kNone = 0, kHost = 1, kFiles = 2 };

// The largest reply taken from the host; a larger announced size is cut to this.
inline constexpr uint32_t kMaxPrefsReplyBytes = 16u << 20;
// Each message to the host waits at most this long (SMTO_ABORTIFHUNG).
inline constexpr DWORD kPrefsRequestTimeoutMs = 5000;

// The files and values of the file answer.
inline constexpr wchar_t kArchivesFile[] = L"ConfigFiles\\archives.txc";
inline constexpr wchar_t kArchiveStateFile[] = L"State Data\\archives.tsd";
inline constexpr uint32_t kDefaultArchiveContext = 62;  // when archives.txc is missing
// The built-in zip format {6566C9D9-DD78-446D-BF74-F93B8B1B571D}, ".zip", "ZIP".
inline constexpr GUID kZipFormatGuid = {
    0x6566C9D9, 0xDD78, 0x446D, {0xBF, 0x74, 0xF9, 0x3B, 0x8B, 0x1B, 0x57, 0x1D}};

class HostPrefsFlags : public PrefsFlagsData {
  public:
    HostPrefsFlags() = default;
    // Built and loaded at once; `full` as for Load.
    explicit HostPrefsFlags(bool full) { Load(full); }

    // Asks the host when its window exists, else (or when it fails) reads the files. `full`
    // adds the archive context, the extraction texts and the format lists to the five flag
    // words. True when the flags came from the host or from the main preferences file; a
    // missing preferences file leaves everything 0 and returns false.
    bool Load(bool full);

    // The two halves of Load. Each starts from empty values.
    // The host: with `full`, one message (wParam 0, lParam 0) learns the reply's size; then the
    // request goes out with a block of that size (40 bytes for the flags alone). A result larger
    // than the block makes one more request with a block of the result's size, never more, and
    // never larger than kMaxPrefsReplyBytes. What the reply holds is taken as far as it goes.
    bool LoadFromHost(HWND window, bool full);
    // The files: "prefs"/"flags" settings1, 2, 4 and "prefs"/"zip" flags of the main preferences
    // file; with `full`, archives.txc (archive context and format lists; when it is missing the
    // context is 62 and, with zip bit 0 set, every list holds the zip entry) and the extraction
    // texts of "State Data\archives.tsd".
    bool LoadFromFiles(bool full);

    bool loaded = false;
    PrefsSource source = PrefsSource::kNone;

  private:
    void Reset();
};

}  // namespace kwill::host
