#include "frame/os_version.h"

#include "frame/win_handle.h"

namespace kwill {
namespace {

bool IsWorkstation(VersionQuery& q) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.wProductType = VER_NT_WORKSTATION;
    DWORDLONG cond = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
    return q.Verify(info, VER_PRODUCT_TYPE, cond);
}

bool MeetsBuild(VersionQuery& q, DWORD major, DWORD minor, DWORD build) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = build;
    DWORDLONG cond = 0;
    cond = VerSetConditionMask(cond, VER_MAJORVERSION, VER_GREATER_EQUAL);
    cond = VerSetConditionMask(cond, VER_MINORVERSION, VER_GREATER_EQUAL);
    cond = VerSetConditionMask(cond, VER_BUILDNUMBER, VER_GREATER_EQUAL);
    return q.Verify(info, VER_MAJORVERSION | VER_MINORVERSION | VER_BUILDNUMBER, cond);
}

bool MeetsVersion(VersionQuery& q, DWORD major, DWORD minor) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.wServicePackMajor = 0;
    DWORDLONG cond = 0;
    cond = VerSetConditionMask(cond, VER_MAJORVERSION, VER_GREATER_EQUAL);
    cond = VerSetConditionMask(cond, VER_MINORVERSION, VER_GREATER_EQUAL);
    cond = VerSetConditionMask(cond, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return q.Verify(info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, cond);
}

struct VersionRow {
    DWORD major, minor;
    uint32_t workstation, server;
};
constexpr VersionRow kVersions[] = {
    {10, 0, kOsWin10, kOsWin10 | kOsServer10},
    {6, 3, kOsWin81, kOsWin81 | kOsServer8},
    {6, 2, kOsWin8, kOsWin8 | kOsServer8},
    {6, 1, kOsWin7, kOsWin7 | kOsServer7},
};

struct BuildRow {
    DWORD build;
    uint32_t flag;
};
// Highest threshold first; 22000 is Windows 11's base and carries no bit of its own.
constexpr BuildRow kBuilds[] = {
    {26100, kOsBuild26100}, {22621, kOsBuild22621}, {22000, 0},
    {18363, kOsBuild18363}, {18362, kOsBuild18362}, {17134, kOsBuild17134},
    {16299, kOsBuild16299},
};
constexpr DWORD kOldestWin10Build = 15063;

class RealVersionQuery final : public VersionQuery {
  public:
    bool Verify(OSVERSIONINFOEXW& info, DWORD typeMask, DWORDLONG conditionMask) override {
        return ::VerifyVersionInfoW(&info, typeMask, conditionMask) != FALSE;
    }
    bool IsWow64() override { return false; }  // this library is 64-bit only
    bool RtlBuildNumber(DWORD& build) override {
        using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        if (!ntdll) return false;
        auto fn = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        if (!fn) return false;
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (fn(&info) != 0) return false;
        build = info.dwBuildNumber;
        return true;
    }
    bool UpdateBuildRevision(DWORD& ubr) override {
        HKEY raw = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion",
                            0, KEY_READ, &raw) != ERROR_SUCCESS)
            return false;
        UniqueKey key(raw);
        DWORD type = 0, value = 0, size = sizeof(value);
        if (::RegQueryValueExW(key.get(), L"UBR", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof(value))
            return false;
        ubr = value;
        return true;
    }
};

}  // namespace

OsVersion DetectOsVersion(VersionQuery& q) {
    OsVersion v;
    bool workstation = IsWorkstation(q);
    if (MeetsBuild(q, 10, 0, 22000)) {
        v.flags = kOsWin11;
    } else {
        for (const VersionRow& row : kVersions) {
            if (MeetsVersion(q, row.major, row.minor)) {
                v.flags = workstation ? row.workstation : row.server;
                break;
            }
        }
    }
    if (q.IsWow64()) v.flags |= kOsWow64;
    if (v.flags & (kOsWin10 | kOsWin11)) {
        v.win10Build = kOldestWin10Build;
        for (const BuildRow& row : kBuilds) {
            if (MeetsBuild(q, 10, 0, row.build)) {
                v.flags |= row.flag;
                v.win10Build = row.build;
                break;
            }
        }
        DWORD build = 0;
        if (q.RtlBuildNumber(build) && build != 0) v.win10Build = build;
        DWORD ubr = 0;
        if (q.UpdateBuildRevision(ubr)) v.ubr = ubr;
    }
    return v;
}

VersionQuery& SystemVersionQuery() {
    static RealVersionQuery query;
    return query;
}

}  // namespace kwill
