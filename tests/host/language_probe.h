// The stand-in host's look at language strings from inside the host process, where the library
// consults the host's own translation first.
#pragma once

#include <string>

namespace kwill::standin {

// For each number in KWILL_HOST_LIBSTRINGS (comma-separated), records
// "LIBSTRING <number> <text>" as LibStringW::Init gives it in this process.
void RecordLibStrings(void (*record)(const std::string& line));

// For the file named by KWILL_HOST_TIP, records "TIP <text>" (or "TIP none") as the library's
// info-tip handler gives it inside this process, where the host's own number texts come first.
void RecordInfoTip(void (*record)(const std::string& line));

}  // namespace kwill::standin
