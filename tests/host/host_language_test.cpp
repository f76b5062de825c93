// Inside the host program, language strings come from the host's own translation first: the
// stand-in host translates 90000-90099 itself and leaves every other number to the library.
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kwill::test {
namespace {

TEST(HostLanguage, HostOverlayComesFirst) {
    HostRecord record;
    ::SetEnvironmentVariableW(L"KWILL_HOST_LOAD_LIBRARY", L"1");
    ::SetEnvironmentVariableW(L"KWILL_HOST_LIBSTRINGS", L"90005,20008,98765");
    ::SetEnvironmentVariableW(L"KWILL_HOST_LIFETIME_MS", L"200");
    const ProcessResult run = RunProcess(ExeFolder() + L"kwill.exe", L"probe");
    ::SetEnvironmentVariableW(L"KWILL_HOST_LOAD_LIBRARY", nullptr);
    ::SetEnvironmentVariableW(L"KWILL_HOST_LIBSTRINGS", nullptr);
    ASSERT_TRUE(run.finished);
    const auto lines = record.Lines();
    for (const char* expected : {"LIBRARY loaded", "LIBSTRING 90005 host:90005",
                                 "LIBSTRING 20008 Extract here", "LIBSTRING 98765 "}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
    }
}

// A stored archive of empty members, written byte by byte so that the test needs nothing of the
// library to make it.
std::string EmptyMembersArchive(const std::vector<std::string>& names) {
    auto u16 = [](std::string& out, unsigned v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    };
    auto u32 = [&](std::string& out, unsigned v) {
        u16(out, v & 0xFFFF);
        u16(out, v >> 16);
    };
    std::string local, central;
    for (const std::string& name : names) {
        const unsigned offset = static_cast<unsigned>(local.size());
        u32(local, 0x04034B50);
        for (unsigned v : {10u, 0u, 0u, 0u, 0x21u}) u16(local, v);  // version .. date
        for (int i = 0; i < 3; ++i) u32(local, 0);                  // CRC, sizes
        u16(local, static_cast<unsigned>(name.size()));
        u16(local, 0);
        local += name;
        u32(central, 0x02014B50);
        for (unsigned v : {20u, 10u, 0u, 0u, 0u, 0x21u}) u16(central, v);
        for (int i = 0; i < 3; ++i) u32(central, 0);
        u16(central, static_cast<unsigned>(name.size()));
        for (int i = 0; i < 4; ++i) u16(central, 0);  // extra, comment, disk, internal
        u32(central, 0);                              // external attributes
        u32(central, offset);
        central += name;
    }
    std::string archive = local + central;
    u32(archive, 0x06054B50);
    u16(archive, 0);
    u16(archive, 0);
    u16(archive, static_cast<unsigned>(names.size()));
    u16(archive, static_cast<unsigned>(names.size()));
    u32(archive, static_cast<unsigned>(central.size()));
    u32(archive, static_cast<unsigned>(local.size()));
    u16(archive, 0);
    return archive;
}

// Inside the host, an archive's tip is the host's own text for its item count (the folder entry
// not counted); the library's string is only the fallback of other processes.
TEST(HostLanguage, ArchiveTipComesFromTheHost) {
    HostRecord record;
    TempFolder folder;
    const std::wstring zip = folder / L"three.zip";
    const std::string bytes = EmptyMembersArchive({"dir/", "dir/a.txt", "dir/b.txt", "c.txt"});
    ASSERT_TRUE(WriteFileBytes(zip, bytes.data(), bytes.size()));
    ::SetEnvironmentVariableW(L"KWILL_HOST_LOAD_LIBRARY", L"1");
    ::SetEnvironmentVariableW(L"KWILL_HOST_TIP", zip.c_str());
    ::SetEnvironmentVariableW(L"KWILL_HOST_LIFETIME_MS", L"200");
    const ProcessResult run = RunProcess(ExeFolder() + L"kwill.exe", L"probe");
    ::SetEnvironmentVariableW(L"KWILL_HOST_LOAD_LIBRARY", nullptr);
    ::SetEnvironmentVariableW(L"KWILL_HOST_TIP", nullptr);
    ASSERT_TRUE(run.finished);
    const auto lines = record.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "TIP host:3 items"), lines.end());
}

}  // namespace
}  // namespace kwill::test
