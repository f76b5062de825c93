// The folder requests that the shell sends to a file manager by DDE, and the tail of Explorer's
// "/idlist," switch. Two forms:
//
//   [ViewFolder("C:\Temp", :1234:5678, 1)]     also ExploreFolder, FindFolder: a command with the
//                                               quoted path, the shared ID list and the show code
//   :1234:5678,C:\Temp                          the after-command form: the shared ID list, then
//                                               the path that stands for it
//
// ":handle:pid" names an ID list that the sending process put in shared memory. This file only
// reads the text; the shared memory is fetched by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kwill::hostlink {

// The longest path taken from a request.
inline constexpr size_t kDdePathChars = 1024;
// Paths at least this long are not given to the shell's parser.
inline constexpr size_t kDdeParseLimit = 9000;

struct SharedListRef {
    uint64_t handle = 0;  // the sender's handle of the shared block
    uint32_t processId = 0;
};

struct DdeFolderRequest {
    std::wstring path;  // the quoted path of the command form (at most kDdePathChars)
    // The ":handle:pid" pair; also set when a number in it is overlong (valid false), so that the
    // path after it still counts.
    std::optional<SharedListRef> shared;
    bool sharedValid = false;
    // After-command form: the text after the next comma, which names the folder when the shared
    // list cannot be had. Empty when there is none.
    std::wstring fallback;
};

// Scans a request. `afterCommand` says that a text without "[" is the after-command form;
// otherwise such a text starts with a field that is skipped up to its comma.
DdeFolderRequest ScanDdeFolderString(std::wstring_view text, bool afterCommand);

// The path the request stands for when the shared list could not be had: the fallback when there
// is one, else the quoted path.
std::wstring DdeFallbackPath(const DdeFolderRequest& request);

}  // namespace kwill::hostlink
