// Whether the host should open a folder that the shell is about to open, or leave it to the
// shell. The decision itself is a plain function over the replacement settings, what is known of
// the target and the exclusion entries; the shell is asked only through FolderProbe, and only
// for what the decision reaches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kwill::hostlink {

// Replacement settings from the preference flags.
inline constexpr uint64_t kSettings1ReplaceExplorer = 1ull << 63;
inline constexpr uint64_t kSettings4FileSystemOnly = 1ull << 2;
inline constexpr uint64_t kSettings4UseExclusions = 1ull << 3;

struct ReplacementSettings {
    uint64_t settings1 = 0;
    uint64_t settings4 = 0;
};

// One entry of the exclusion list: an ID list, a parsing path, or both. An entry with a list is
// compared by list whenever the request has one.
struct ExclusionEntry {
    std::optional<std::vector<uint8_t>> list;  // a complete list, terminator included
    std::wstring path;
};

// The rule that gave the answer, in the order the decision tries them. The numbers are part of
// the ExplainHostOpenFolder export.
enum class FolderRule : uint32_t {
    kCollectionPath,         // host: a "coll://" path
    kCollectionItem,         // host: an item of the file-collection namespace
    kReplacementOff,         // shell: the replacement is off
    kControlPanel,           // shell: a control-panel item
    kReplacementOn,          // host: no exclusion list in use
    kExclusionsUnavailable,  // host: the desktop folder or the exclusion file is not available
    kExcluded,               // shell: an exclusion entry matched (FolderDecision::entry)
    kNotExcluded,            // host: no exclusion entry matched
    kNothingToTest,          // host: file-system folders only, but neither path nor list given
    kFileSystem,             // host: a file-system folder or an ancestor of one (or no answer)
    kHomeFolder,             // host: the shell's home folder, where the system has one
    kNotFileSystem,          // shell: file-system folders only, and this is none
};

struct FolderDecision {
    bool host = false;
    FolderRule rule = FolderRule::kReplacementOff;
    size_t entry = 0;  // with kExcluded: the index of the entry that matched
};

// What is known of the request without asking the shell.
struct FolderTarget {
    bool hasPath = false;
    bool hasList = false;
    bool collectionPath = false;  // the path starts with "coll://"
    bool collectionItem = false;  // the list is an item of the file-collection namespace
};

// The shell's answers about the target.
class FolderProbe {
  public:
    virtual ~FolderProbe() = default;
    virtual bool IsControlPanel() = 0;
    // The exclusion entries, or null when they cannot be used at all.
    virtual const std::vector<ExclusionEntry>* Exclusions() = 0;
    virtual bool Matches(const ExclusionEntry& entry) = 0;
    // SFGAO_FILESYSTEM or SFGAO_FILESYSANCESTOR, true also when the shell cannot tell.
    virtual bool IsFileSystem() = 0;
    // The shell's home folder on a system that shows one.
    virtual bool IsHomeFolder() = 0;
};

FolderDecision DecideFolder(const ReplacementSettings& settings, const FolderTarget& target,
                            FolderProbe& probe);

// A short name of the rule, for the tool and test messages.
const char* FolderRuleName(FolderRule rule);

// True when the path starts with "coll://" in any case.
bool IsCollectionPath(const wchar_t* path);

}  // namespace kwill::hostlink
