// Windows version detection as a flags word, with the system's answers behind a small interface
// so that every row of the decision table can be exercised without that system.
#pragma once

#include "frame/platform.h"

#include <cstdint>

namespace kwill {

enum OsFlag : uint32_t {
    kOsWin7 = 0x4,
    kOsWin8 = 0x8,
    kOsWin81 = 0x10,
    kOsWin10 = 0x20,
    kOsWin11 = 0x40,
    kOsServer7 = 0x20000,
    kOsServer8 = 0x40000,
    kOsServer10 = 0x80000,
    kOsBuild16299 = 0x100000,
    kOsBuild17134 = 0x200000,
    kOsBuild18362 = 0x400000,
    kOsBuild18363 = 0x800000,
    kOsBuild22621 = 0x2000000,
    kOsBuild26100 = 0x4000000,
    kOsWow64 = 0x40000000,
};

// What the detection asks of the system.
class VersionQuery {
  public:
    virtual ~VersionQuery() = default;
    // VerifyVersionInfoW with the given record, type mask and condition mask.
    virtual bool Verify(OSVERSIONINFOEXW& info, DWORD typeMask, DWORDLONG conditionMask) = 0;
    virtual bool IsWow64() = 0;
    // RtlGetVersion's build number; false when the function is missing or fails.
    virtual bool RtlBuildNumber(DWORD& build) = 0;
    // The "UBR" value of the Windows version key; false when it cannot be read.
    virtual bool UpdateBuildRevision(DWORD& ubr) = 0;
};

struct OsVersion {
    uint32_t flags = 0;
    uint32_t win10Build = 0;
    uint32_t ubr = 0;
};

OsVersion DetectOsVersion(VersionQuery& query);

// The real system's answers.
VersionQuery& SystemVersionQuery();

}  // namespace kwill
