// Windows version detection: the decision table through a simulated system, and the real answer.
#include "frame/os_version.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kwill {
namespace {

// Answers VerifyVersionInfoW's questions the way Windows does for one given system: major,
// minor and service pack compare as one version; the build compares on its own.
class SimulatedSystem final : public VersionQuery {
  public:
    DWORD major = 0, minor = 0, build = 0, servicePack = 0;
    bool workstation = true;
    bool hasRtlGetVersion = true;
    bool hasUbr = true;
    DWORD ubr = 0;

    bool Verify(OSVERSIONINFOEXW& info, DWORD typeMask, DWORDLONG) override {
        if (typeMask & VER_PRODUCT_TYPE) {
            BYTE type = workstation ? VER_NT_WORKSTATION : VER_NT_SERVER;
            if (type != info.wProductType) return false;
        }
        if (typeMask & (VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR)) {
            auto have = std::make_tuple(major, minor, servicePack);
            auto want = std::make_tuple(info.dwMajorVersion, info.dwMinorVersion,
                                        (typeMask & VER_SERVICEPACKMAJOR)
                                            ? static_cast<DWORD>(info.wServicePackMajor)
                                            : 0u);
            if (!(typeMask & VER_SERVICEPACKMAJOR)) std::get<2>(have) = 0;
            if (have < want) return false;
        }
        if ((typeMask & VER_BUILDNUMBER) && build < info.dwBuildNumber) return false;
        return true;
    }
    bool IsWow64() override { return false; }
    bool RtlBuildNumber(DWORD& b) override {
        if (!hasRtlGetVersion) return false;
        b = build;
        return true;
    }
    bool UpdateBuildRevision(DWORD& u) override {
        if (!hasUbr) return false;
        u = ubr;
        return true;
    }
};

struct VersionRow {
    const char* name;
    DWORD major, minor, build;
    bool workstation;
    bool rtl;
    uint32_t flags;
    uint32_t win10Build;
    uint32_t ubr;
};

constexpr VersionRow kRows[] = {
    {"Vista", 6, 0, 6002, true, true, 0, 0, 0},
    {"Windows 7", 6, 1, 7601, true, true, 0x4, 0, 0},
    {"Server 2008 R2", 6, 1, 7601, false, true, 0x20004, 0, 0},
    {"Windows 8", 6, 2, 9200, true, true, 0x8, 0, 0},
    {"Server 2012", 6, 2, 9200, false, true, 0x40008, 0, 0},
    {"Windows 8.1", 6, 3, 9600, true, true, 0x10, 0, 0},
    {"Server 2012 R2", 6, 3, 9600, false, true, 0x40010, 0, 0},
    {"Windows 10 1507", 10, 0, 10240, true, true, 0x20, 10240, 77},
    {"Windows 10 1507, no RtlGetVersion", 10, 0, 10240, true, false, 0x20, 15063, 77},
    {"Windows 10 1703, no RtlGetVersion", 10, 0, 15063, true, false, 0x20, 15063, 77},
    {"Windows 10 1709", 10, 0, 16299, true, true, 0x100020, 16299, 77},
    {"Windows 10 1803", 10, 0, 17134, true, true, 0x200020, 17134, 77},
    {"Windows 10 1809", 10, 0, 17763, true, true, 0x200020, 17763, 77},
    {"Windows 10 1809, no RtlGetVersion", 10, 0, 17763, true, false, 0x200020, 17134, 77},
    {"Windows 10 1903", 10, 0, 18362, true, true, 0x400020, 18362, 77},
    {"Windows 10 1909", 10, 0, 18363, true, true, 0x800020, 18363, 77},
    {"Windows 10 22H2", 10, 0, 19045, true, true, 0x800020, 19045, 77},
    {"Server 2022", 10, 0, 20348, false, true, 0x880020, 20348, 77},
    {"Server 2016", 10, 0, 14393, false, true, 0x80020, 14393, 77},
    {"Windows 11 21H2", 10, 0, 22000, true, true, 0x40, 22000, 77},
    {"Windows 11 22H2 edge", 10, 0, 22620, true, true, 0x40, 22620, 77},
    {"Windows 11 22H2", 10, 0, 22621, true, true, 0x2000040, 22621, 77},
    {"Windows 11 23H2", 10, 0, 22631, true, true, 0x2000040, 22631, 77},
    {"Windows 11 24H2", 10, 0, 26100, true, true, 0x4000040, 26100, 77},
    {"Windows 11 24H2, no RtlGetVersion", 10, 0, 26200, true, false, 0x4000040, 26100, 77},
    // Windows 11 has no server bit: a server at 22000 and above reports plain 0x40.
    {"Server 2025", 10, 0, 26100, false, true, 0x4000040, 26100, 77},
};

TEST(VersionDetection, DecisionTableRowByRow) {
    for (const VersionRow& row : kRows) {
        SimulatedSystem system;
        system.major = row.major;
        system.minor = row.minor;
        system.build = row.build;
        system.workstation = row.workstation;
        system.hasRtlGetVersion = row.rtl;
        system.ubr = 77;
        OsVersion v = DetectOsVersion(system);
        EXPECT_EQ(v.flags, row.flags) << row.name;
        EXPECT_EQ(v.win10Build, row.win10Build) << row.name;
        EXPECT_EQ(v.ubr, row.ubr) << row.name;
    }
}

TEST(VersionDetection, MissingUpdateRevisionLeavesZero) {
    SimulatedSystem system;
    system.major = 10;
    system.build = 19045;
    system.hasUbr = false;
    EXPECT_EQ(DetectOsVersion(system).ubr, 0u);
}

// The library detected this very system at load. The flags must agree with what the system
// itself reports (this executable's manifest declares every Windows version, so the system
// answers truthfully).
TEST(VersionDetection, RealSystemAgreesWithRtlGetVersion) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtl = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(rtl, nullptr);
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_EQ(rtl(&info), 0);

    uint32_t expected = 0;
    bool server = info.wProductType != VER_NT_WORKSTATION;
    DWORD version = info.dwMajorVersion * 100 + info.dwMinorVersion;
    if (version >= 1000 && info.dwBuildNumber >= 22000) {
        expected = 0x40;
    } else if (version >= 1000) {
        expected = server ? 0x80020 : 0x20;
    } else if (version >= 603) {
        expected = server ? 0x40010 : 0x10;
    } else if (version >= 602) {
        expected = server ? 0x40008 : 0x8;
    } else if (version >= 601) {
        expected = server ? 0x20004 : 0x4;
    }
    auto osVer = test::Named<DWORD (*)()>("OsVer");
    auto build = test::Named<DWORD (*)()>("OsVerWin10Build");
    ASSERT_NE(osVer, nullptr);
    ASSERT_NE(build, nullptr);
    EXPECT_EQ(osVer() & 0x800FF, expected) << "system " << info.dwMajorVersion << "."
                                           << info.dwMinorVersion << "." << info.dwBuildNumber;
    if (expected & 0x60) {
        EXPECT_EQ(build(), info.dwBuildNumber);
    } else {
        EXPECT_EQ(build(), 0u);
        EXPECT_EQ(test::Named<DWORD (*)()>("OsVerUBR")(), 0u);
    }
    EXPECT_FALSE(test::Named<BOOL (*)()>("IsWow64")());
}

}  // namespace
}  // namespace kwill

namespace kwill {
namespace {

// Wine answers as the Windows version chosen for a program under
// HKCU\Software\Wine\AppDefaults\<exe>\Version; the probe loads the library under each and
// reports what it detected beside what the system says.
TEST(VersionDetection, RealSystemUnderEachWindowsVersion) {
    const wchar_t* kProbe = L"kwillosprobe.exe";
    test::TempFolder folder;
    std::wstring probe = folder / kProbe;
    ASSERT_TRUE(::CopyFileW((test::ExeFolder() + L"osprobe.exe").c_str(), probe.c_str(), FALSE));
    ASSERT_TRUE(
        ::CopyFileW(test::KwillDll::Path().c_str(), (folder / L"kwilllib.dll").c_str(), FALSE));
    std::wstring keyPath = std::wstring(L"Software\\Wine\\AppDefaults\\") + kProbe;

    struct Row {
        const wchar_t* version;
        uint32_t flagsWithoutBuildBits;
    } rows[] = {// Wine 8 has no Windows 11 setting; the simulated table covers it.
                {L"win7", 0x4},
                {L"win8", 0x8},
                {L"win81", 0x10},
                {L"win10", 0x20}};
    for (const Row& r : rows) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(r.version),
                         static_cast<DWORD>((std::wcslen(r.version) + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);

        std::wstring report = folder / L"report.txt";
        ::DeleteFileW(report.c_str());
        test::ProcessResult run = test::RunProcess(probe, L"\"" + report + L"\"");
        std::string name(r.version, r.version + std::wcslen(r.version));
        ASSERT_TRUE(run.finished && run.exitCode == 0) << name;
        unsigned long flags = 0, build = 0, major = 0, minor = 0, sysBuild = 0, type = 0;
        ASSERT_EQ(std::sscanf(test::ReadFileText(report).c_str(), "%lu %lu %lu.%lu.%lu %lu", &flags,
                              &build, &major, &minor, &sysBuild, &type),
                  6)
            << name;
        EXPECT_EQ(flags & 0x800FF, r.flagsWithoutBuildBits) << name;
        if (r.flagsWithoutBuildBits == 0x20) {
            EXPECT_EQ(build, sysBuild) << name;
            // The build bits follow the system's build number.
            uint32_t bits = sysBuild >= 18363   ? 0x800000
                            : sysBuild >= 18362 ? 0x400000
                            : sysBuild >= 17134 ? 0x200000
                            : sysBuild >= 16299 ? 0x100000
                                                : 0;
            EXPECT_EQ(flags & 0x7F00000, bits) << name << " build " << sysBuild;
        } else {
            EXPECT_EQ(build, 0u) << name;
        }
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
}

}  // namespace
}  // namespace kwill
