#include "frame/time_convert.h"

namespace kwill {

bool UtcSystemTimeToLocal(const SYSTEMTIME* utc, FILETIME* local,
                          const TIME_ZONE_INFORMATION* zone) {
    if (!utc || !local) return false;
    SYSTEMTIME converted;
    FILETIME result;
    if (!::SystemTimeToTzSpecificLocalTime(zone, utc, &converted) ||
        !::SystemTimeToFileTime(&converted, &result))
        return false;
    *local = result;
    return true;
}

bool UtcFileTimeToLocal(const FILETIME* utc, FILETIME* local, const TIME_ZONE_INFORMATION* zone) {
    if (!utc || !local) return false;
    SYSTEMTIME system;
    return ::FileTimeToSystemTime(utc, &system) && UtcSystemTimeToLocal(&system, local, zone);
}

bool LocalSystemTimeToUtc(const SYSTEMTIME* local, FILETIME* utc,
                          const TIME_ZONE_INFORMATION* zone) {
    if (!local || !utc) return false;
    SYSTEMTIME converted;
    FILETIME result;
    if (!::TzSpecificLocalTimeToSystemTime(zone, local, &converted) ||
        !::SystemTimeToFileTime(&converted, &result))
        return false;
    *utc = result;
    return true;
}

bool LocalFileTimeToUtc(const FILETIME* local, FILETIME* utc, const TIME_ZONE_INFORMATION* zone) {
    if (!local || !utc) return false;
    SYSTEMTIME system;
    return ::FileTimeToSystemTime(local, &system) && LocalSystemTimeToUtc(&system, utc, zone);
}

}  // namespace kwill
