// FindOrStartKwillW as the shell extensions call it: the real DLL finds kwill.exe beside itself
// (the stand-in), takes Wine's elevated path (the scheduler cannot run the task, so the host is
// created directly) and waits for the start-up event. And the same through the tool, with no
// kwill.exe beside the library.
#include "hostlink/host_interface.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/host/box_watchdog.h"
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace kwill {
namespace {

using FindOrStartFn = HWND (*)(DWORD, const wchar_t*);

FindOrStartFn FindOrStart() {
    return test::Ordinal<FindOrStartFn>(1740);
}

TEST(FindOrStartDll, ExportedByNameAndOrdinal) {
    EXPECT_NE(FindOrStart(), nullptr);
    EXPECT_EQ(test::Named<FindOrStartFn>("FindOrStartKwillW"), FindOrStart());
}

TEST(FindOrStartDll, StartsTheStandInBesideTheLibrary) {
    struct Row {
        DWORD flags;
        const wchar_t* extra;
        bool window;
        const char* pattern;
    } rows[] = {
        {3, nullptr, true, "START crash dblclk event kwillrt-startup-[0-9a-f]{8}"},
        {4, L"--exit-at-once", false,
         "START autolister event kwillrt-startup-[0-9a-f]{8} --exit-at-once"},
        {0x10, L"--window-delay 600", true,
         "START runcmd nodef event kwillrt-startup-[0-9a-f]{8} --window-delay 600"},
    };
    for (const Row& row : rows) {
        test::HostRecord record;
        HWND window = FindOrStart()(row.flags, row.extra);
        EXPECT_EQ(window != nullptr, row.window) << row.pattern;
        if (window) {
            EXPECT_EQ(window, host::FindHostWindow());
            EXPECT_TRUE(test::CloseHost(window));
        }
        EXPECT_TRUE(std::regex_match(record.First(), std::regex(row.pattern)))
            << record.First() << " ~ " << row.pattern;
    }
}

TEST(FindOrStartDll, FindsTheRunningHost) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start());
    EXPECT_EQ(FindOrStart()(1, L"ignored"), stand.window());
    ASSERT_TRUE(stand.Stop());
    EXPECT_EQ(stand.Lines().front().rfind("START nodef event", 0), 0u);
}

// The tool and the library copied to a folder without kwill.exe: the tool's start command shows
// a box (closed here, from another process) and fails. Which box depends on whether the machine
// names a kwill.exe under HKLM App Paths (taken unchecked): "could not be found" without one.
TEST(FindOrStartDll, ToolWithoutTheProgramShowsTheBox) {
    test::TempFolder folder;
    for (const wchar_t* name : {L"kwilltool.exe", L"kwilllib.dll"})
        ASSERT_TRUE(
            ::CopyFileW((test::ExeFolder() + name).c_str(), (folder / name).c_str(), FALSE));
    test::BoxWatchdog watchdog(L"Tarnwell");
    test::ProcessResult result = test::RunProcess(folder / L"kwilltool.exe", L"start --autolister");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1u);
    auto texts = watchdog.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0] == L"KwillRT: Tarnwell could not be found" ||
                texts[0].rfind(L"KwillRT: Unable to launch Tarnwell from\n\"", 0) == 0)
        << testing::PrintToString(texts[0]);
}

TEST(FindOrStartDll, ToolStartsTheHost) {
    test::HostRecord record;
    test::ProcessResult result =
        test::RunProcess(test::ExeFolder() + L"kwilltool.exe", L"start --crash --dblclk --dde");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    HWND window = host::FindHostWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(test::CloseHost(window));
    EXPECT_TRUE(std::regex_match(
        record.First(), std::regex("START crash dblclk event kwillrt-startup-[0-9a-f]{8} --dde")))
        << record.First();
}

}  // namespace
}  // namespace kwill
