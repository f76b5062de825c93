#include "hostlink/explorer_settings.h"

#include "frame/context.h"
#include "hostlink/config_paths.h"
#include "hostlink/host_prefs.h"
#include "hostlink/explorer_override.h"
#include "hostlink/folder_probe.h"

namespace kwill::hostlink {

ReplacementSettings LoadReplacementSettings() {
    // The running host's answer first, else the preferences file; not the archive lists.
    host::HostPrefsFlags flags(false);
    return {flags.settings1, flags.settings4};
}

std::wstring ExclusionFilePath() {
    return config::ConfigFilePath(config::kUserConfig, kExclusionFileName);
}

FolderDecision ShouldHostOpenFolder(const wchar_t* path, const uint8_t* list) {
    FolderTarget target = DescribeTarget(path, list);
    // Collections go to the host whatever the settings: no need to ask for them.
    if (target.collectionPath || target.collectionItem) {
        ShellFolderProbe unused(nullptr, nullptr, nullptr, 0);  // collections decide first
        return DecideFolder({}, target, unused);
    }
    ReplacementSettings settings = LoadReplacementSettings();
    std::wstring file = ExclusionFilePath();
    ShellFolderProbe probe(path, list, file.empty() ? nullptr : file.c_str(), Context().osFlags);
    return DecideFolder(settings, target, probe);
}

}  // namespace kwill::hostlink
