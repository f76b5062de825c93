// Program launch: the command line it builds, and a real child in a folder whose name has spaces
// that writes down the command line it was given.
#include "tests/common/test_support.h"
#include "util/launch.h"

#include <gtest/gtest.h>

namespace kwill::util {
namespace {

using LaunchFn = BOOL(__cdecl*)(const wchar_t*, const wchar_t*, HANDLE*);

TEST(Launch, CommandLine) {
    struct Case {
        const wchar_t* program;
        const wchar_t* arguments;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\dir with space\\p.exe", L"a b", L"\"C:\\dir with space\\p.exe\" a b"},
        {L"C:\\dir\\p.exe", L"a b", L"C:\\dir\\p.exe a b"},
        {L"C:\\dir\\p.exe", L"", L"C:\\dir\\p.exe"},
        {L"C:\\dir\\p.exe", nullptr, L"C:\\dir\\p.exe"},
        {L"C:\\dir with space\\p.exe", nullptr, L"\"C:\\dir with space\\p.exe\""},
        // Already quoted: not quoted again.
        {L"\"C:\\dir with space\\p.exe\"", L"x", L"\"C:\\dir with space\\p.exe\" x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LaunchCommandLine(c.program, c.arguments), c.expected) << c.expected;
}

// Runs the probe through the export and returns the command line it recorded.
std::wstring RunProbe(LaunchFn launch, const std::wstring& program, const wchar_t* arguments,
                      const std::wstring& out) {
    ::DeleteFileW(out.c_str());
    ::SetEnvironmentVariableW(L"KWILL_PROBE_OUT", out.c_str());
    HANDLE process = reinterpret_cast<HANDLE>(1);
    EXPECT_TRUE(launch(program.c_str(), arguments, &process));
    ::SetEnvironmentVariableW(L"KWILL_PROBE_OUT", nullptr);
    if (!process) return {};
    EXPECT_EQ(::WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
    ::CloseHandle(process);
    std::vector<uint8_t> bytes = test::ReadFileBytes(out);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

TEST(Launch, StartsAChildWithTheRightCommandLine) {
    auto launch = test::Ordinal<LaunchFn>(181);
    ASSERT_NE(launch, nullptr);
    test::TempFolder folder;
    std::wstring spaced = folder / L"dir with space\\";
    ASSERT_TRUE(::CreateDirectoryW(spaced.c_str(), nullptr));
    std::wstring probe = test::ExeFolder() + L"cmdline_probe.exe";
    std::wstring inSpaced = spaced + L"probe.exe", plain = folder / L"probe.exe";
    ASSERT_TRUE(::CopyFileW(probe.c_str(), inSpaced.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(probe.c_str(), plain.c_str(), FALSE));
    std::wstring out = folder / L"cmdline.txt";

    EXPECT_EQ(RunProbe(launch, inSpaced, L"a b", out), L"\"" + inSpaced + L"\" a b");
    EXPECT_EQ(RunProbe(launch, L"\"" + inSpaced + L"\"", L"", out), L"\"" + inSpaced + L"\"");
    EXPECT_EQ(RunProbe(launch, plain, nullptr, out), plain);
}

TEST(Launch, Failures) {
    auto launch = test::Ordinal<LaunchFn>(181);
    ASSERT_NE(launch, nullptr);
    for (const wchar_t* program : {static_cast<const wchar_t*>(nullptr), L""}) {
        HANDLE process = reinterpret_cast<HANDLE>(1);
        ::SetLastError(0xdeadbeef);
        EXPECT_FALSE(launch(program, L"x", &process));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(process, nullptr);
    }
    HANDLE process = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(launch(L"C:\\no such folder\\none.exe", nullptr, &process));
    EXPECT_EQ(process, nullptr);
    EXPECT_FALSE(launch(L"C:\\no such folder\\none.exe", nullptr, nullptr));
}

}  // namespace
}  // namespace kwill::util
