// Narrow text of a code page (UTF-8 from the XML files, the ANSI code page) as UTF-16.
#pragma once

#include "frame/platform.h"

#include <string>

namespace kwill {

// The text converted from the code page; empty for null, empty or unconvertible text.
std::wstring WidenText(const char* text, UINT codePage);

}  // namespace kwill
