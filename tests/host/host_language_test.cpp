// Inside the host program, language strings come from the host's own translation first: the
// stand-in host translates 90000-90099 itself and leaves every other number to the library.
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

// Inside the host, an archive's tip is the host's own text for its item count (the folder entry
// not counted); the library's string is only the fallback of other processes.
TEST(HostLanguage, ArchiveTipComesFromTheHost) {
    HostRecord record;
    TempFolder folder;
    const std::wstring zip = folder / L"three.zip";
    ASSERT_TRUE(MakeArchive(zip, 3, nullptr));
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
