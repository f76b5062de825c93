// The user's number format as the library caches it at start-up.
#pragma once

#include "frame/platform.h"

namespace kwill {

// Grouping as NUMBERFMTW wants it: "3;2;0" (the Indian style) is 32, any other text gives its
// leading decimal number, so "3;0" is 3 and an empty text 0.
UINT GroupingFromLocaleText(const wchar_t* text);

// An empty decimal separator becomes "," beside a "." thousands separator, else ".".
void DefaultEmptyDecimalSeparator(wchar_t (&decimal)[8], const wchar_t (&thousand)[8]);

// Reads LOCALE_USER_DEFAULT into the separators and the record (which points at them).
void ReadUserNumberFormat(wchar_t (&decimal)[8], wchar_t (&thousand)[8], NUMBERFMTW& format);

}  // namespace kwill
