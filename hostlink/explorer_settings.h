// Where the host-or-shell decision takes its inputs from: the user's preference flags (the
// running host's answer, else the configuration files) and the exclusion file in the user's
// configuration folder.
#pragma once

#include "hostlink/folder_decision.h"

#include <string>

namespace kwill::hostlink {

// settings1 and settings4 of the preference flags (HostPrefsFlags, not full); zeros when
// neither the host nor the preferences file answers (the replacement is then off).
ReplacementSettings LoadReplacementSettings();

// The exclusion file's full path; empty when the configuration folder is unknown.
std::wstring ExclusionFilePath();

// The decision for a request, with everything loaded as the library does.
FolderDecision ShouldHostOpenFolder(const wchar_t* path, const uint8_t* list);

}  // namespace kwill::hostlink
