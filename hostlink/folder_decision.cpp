#include "hostlink/folder_decision.h"

namespace kwill::hostlink {

FolderDecision DecideFolder(const ReplacementSettings& settings, const FolderTarget& target,
                            FolderProbe& probe) {
    if (target.collectionPath) return {true, FolderRule::kCollectionPath};
    if (target.collectionItem) return {true, FolderRule::kCollectionItem};
    if (!(settings.settings1 & kSettings1ReplaceExplorer)) {
        return {false, FolderRule::kReplacementOff};
    }
    if (!(settings.settings4 & kSettings4FileSystemOnly)) {
        if (target.hasList && probe.IsControlPanel()) return {false, FolderRule::kControlPanel};
        if (!(settings.settings4 & kSettings4UseExclusions)) {
            return {true, FolderRule::kReplacementOn};
        }
        const std::vector<ExclusionEntry>* entries = probe.Exclusions();
        if (!entries) return {true, FolderRule::kExclusionsUnavailable};
        for (size_t i = 0; i < entries->size(); ++i) {
            if (probe.Matches((*entries)[i])) return {false, FolderRule::kExcluded, i};
        }
        return {true, FolderRule::kNotExcluded};
    }
    if (!target.hasList && !target.hasPath) return {true, FolderRule::kNothingToTest};
    if (probe.IsFileSystem()) return {true, FolderRule::kFileSystem};
    if (target.hasList && probe.IsHomeFolder()) return {true, FolderRule::kHomeFolder};
    return {false, FolderRule::kNotFileSystem};
}

const char* FolderRuleName(FolderRule rule) {
    switch (rule) {
        case FolderRule::kCollectionPath:
            return "collection path";
        case FolderRule::kCollectionItem:
            return "collection item";
        case FolderRule::kReplacementOff:
            return "replacement off";
        case FolderRule::kControlPanel:
            return "control panel";
        case FolderRule::kReplacementOn:
            return "replacement on";
        case FolderRule::kExclusionsUnavailable:
            return "exclusions unavailable";
        case FolderRule::kExcluded:
            return "exclusion entry";
        case FolderRule::kNotExcluded:
            return "no exclusion matched";
        case FolderRule::kNothingToTest:
            return "nothing to test";
        case FolderRule::kFileSystem:
            return "file-system test";
        case FolderRule::kHomeFolder:
            return "home folder";
        case FolderRule::kNotFileSystem:
            return "not a file-system folder";
    }
    return "?";
}

bool IsCollectionPath(const wchar_t* path) {
    static constexpr wchar_t kPrefix[] = L"coll://";
    if (!path) return false;
    for (size_t i = 0; kPrefix[i]; ++i) {
        wchar_t c = path[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
        if (c != kPrefix[i]) return false;
    }
    return true;
}

}  // namespace kwill::hostlink
