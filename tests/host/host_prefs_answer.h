// The stand-in host's "kwillmsg.GetPrefsFlags" answer (see host_prefs_answer.cpp).
#pragma once

#include "frame/platform.h"

#include <string>

namespace kwill::test::host {

// Takes one command-line word; words other than "--prefs-reply=..." and "--prefs-mode=..." are
// ignored. Call for every word before the window exists.
void ConfigurePrefsAnswer(const std::wstring& word);
bool IsPrefsRequest(UINT message);
LRESULT AnswerPrefsRequest(WPARAM wParam, LPARAM lParam, void (*record)(const std::string&));

}  // namespace kwill::test::host
