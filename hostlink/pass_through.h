// The Explorer pass-through: a value stamped with the tick count in the data shared by every
// process that loads the library. For a second after it is set, the shell execute hook of any
// process lets a folder request through to Explorer.
#pragma once

#include "frame/platform.h"

#include <cstdint>

namespace kwill::hostlink {

inline constexpr DWORD kPassThroughMs = 1000;

void SetExplorerPassThrough(uint64_t value);
// True, with the value, while less than a second has passed since it was set; otherwise clears
// the stamp and returns false.
bool CheckExplorerPassThrough(uint64_t* value);

}  // namespace kwill::hostlink
