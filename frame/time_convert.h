// Conversions between UTC and local time that apply the daylight-saving rule in force at the
// converted date (not the one in force today, as FileTimeToLocalFileTime does). All four give a
// FILETIME; the sub-millisecond part of a FILETIME input is dropped on the way.
#pragma once

#include "frame/platform.h"

namespace kwill {

// zone: the time zone to convert in; null for the current one. Each returns false at once,
// leaving the output alone, when either pointer is null, and false when any step fails.
bool UtcFileTimeToLocal(const FILETIME* utc, FILETIME* local,
                        const TIME_ZONE_INFORMATION* zone = nullptr);
bool UtcSystemTimeToLocal(const SYSTEMTIME* utc, FILETIME* local,
                          const TIME_ZONE_INFORMATION* zone = nullptr);
bool LocalFileTimeToUtc(const FILETIME* local, FILETIME* utc,
                        const TIME_ZONE_INFORMATION* zone = nullptr);
bool LocalSystemTimeToUtc(const SYSTEMTIME* local, FILETIME* utc,
                          const TIME_ZONE_INFORMATION* zone = nullptr);

}  // namespace kwill
