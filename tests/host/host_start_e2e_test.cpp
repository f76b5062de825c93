// Finding and starting the host with the stand-in kwill.exe as the program: what its command line
// holds for each start flag, a host that is already running, one that ends at once, never signals
// its start-up event, or comes up late, and a program that is missing or cannot run.
#include "hostlink/host_interface.h"
#include "hostlink/host_start.h"
#include "tests/common/fake_host_system.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/host/box_watchdog.h"
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace kwill {
namespace {

using test::FakeHostSystem;
using test::HostRecord;

constexpr DWORD kTick = 0x00c0ffee;
const std::string kEventWords = " event kwillrt-startup-00c0ffee";

FakeHostSystem StartingFake() {
    FakeHostSystem fake;
    fake.program = test::StandInHost::ProgramPath();
    fake.ticks = kTick;
    fake.realWaitsUpTo = host::kStartupEventWaitMs;
    return fake;
}

TEST(FindOrStart, StartsTheHostWithTheFlagsWords) {
    struct Row {
        unsigned flags;
        const wchar_t* extra;
        std::string words;
    } rows[] = {
        {1, nullptr, "crash"},
        {2, nullptr, "nodef dblclk"},
        {3, nullptr, "crash dblclk"},
        {4, L"", "autolister"},
        {16, nullptr, "runcmd nodef"},
        {0x4E, L"--extra \"two words\"", "autolister dblclk"},  // 0x48: unknown bits
    };
    for (const Row& row : rows) {
        HostRecord record;
        FakeHostSystem fake = StartingFake();
        FakeHostSystem::Installed installed(fake);
        HWND window = hostlink::FindOrStartKwill(row.flags, row.extra);
        ASSERT_NE(window, nullptr) << row.flags;
        EXPECT_EQ(window, host::FindHostWindow());
        EXPECT_TRUE(test::CloseHost(window));
        std::string expected = "START " + row.words + kEventWords;
        if (row.extra && *row.extra) expected += " --extra two words";
        EXPECT_EQ(record.First(), expected) << row.flags;
    }
}

TEST(FindOrStart, FindsTheRunningHostAndStartsNothing) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start());
    FakeHostSystem fake = StartingFake();
    FakeHostSystem::Installed installed(fake);
    EXPECT_EQ(hostlink::FindOrStartKwill(4, L"more"), stand.window());
    EXPECT_TRUE(fake.waits.empty());
    ASSERT_TRUE(stand.Stop());
    auto lines = stand.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("START", 0) == 0; }),
              1);
}

TEST(FindOrStart, HostThatEndsAtOnceEndsTheWait) {
    HostRecord record;
    FakeHostSystem fake = StartingFake();
    FakeHostSystem::Installed installed(fake);
    EXPECT_EQ(hostlink::FindOrStartKwill(0, L"--exit-at-once"), nullptr);
    // The process ended during the first passes; the wait did not go on to the 21st.
    EXPECT_LT(fake.waits.size(), 10u);
    EXPECT_EQ(record.First(), "START nodef" + kEventWords + " --exit-at-once");
}

TEST(FindOrStart, HostThatNeverSignalsCostsTheEventWaitOnce) {
    HostRecord record;
    FakeHostSystem fake = StartingFake();
    fake.realWaitsUpTo = host::kStartupPassMs;  // the 10 s event wait ends at once
    FakeHostSystem::Installed installed(fake);
    HWND window = hostlink::FindOrStartKwill(0, L"--never-signal");
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(fake.waits.empty());
    EXPECT_EQ(fake.waits.back().limitMs, host::kStartupEventWaitMs);
    EXPECT_EQ(fake.waits.back().count, 2u);  // the event and the process
    for (size_t i = 0; i + 1 < fake.waits.size(); ++i)
        EXPECT_EQ(fake.waits[i].limitMs, host::kStartupPassMs);
    EXPECT_TRUE(test::CloseHost(window));
}

TEST(FindOrStart, LateWindowIsWaitedFor) {
    HostRecord record;
    FakeHostSystem fake = StartingFake();
    FakeHostSystem::Installed installed(fake);
    HWND window = hostlink::FindOrStartKwill(0, L"--window-delay 1200");
    ASSERT_NE(window, nullptr);
    EXPECT_GE(fake.waits.size(), 3u);  // at least two half-second passes, then the event
    EXPECT_TRUE(test::CloseHost(window));
}

TEST(FindOrStart, MissingOrUnrunnableProgramShowsTheBoxAndGivesNull) {
    test::TempFolder folder;
    std::wstring text = folder / L"kwill.exe";
    ASSERT_TRUE(test::WriteFileBytes(text, "not a program", 13));
    struct Row {
        const char* what;
        bool found;
        std::wstring program;
        std::wstring extra;
        std::wstring box;
    } rows[] = {
        {"not found", false, L"", L"", L"KwillRT: Tarnwell could not be found"},
        {"missing file", true, folder / L"none\\kwill.exe", L"",
         L"KwillRT: Unable to launch Tarnwell from\n\"" + (folder / L"none\\kwill.exe") + L"\""},
        {"not a program", true, text, L"",
         L"KwillRT: Unable to launch Tarnwell from\n\"" + text + L"\""},
        {"command line too long", true, test::StandInHost::ProgramPath(), std::wstring(33000, L'x'),
         L"KwillRT: Unable to launch Tarnwell from\n\"" + test::StandInHost::ProgramPath() + L"\""},
    };
    for (const Row& row : rows) {
        HostRecord record;
        test::BoxWatchdog watchdog(L"Tarnwell");
        FakeHostSystem fake = StartingFake();
        fake.programFound = row.found;
        fake.program = row.program;
        FakeHostSystem::Installed installed(fake);
        EXPECT_EQ(hostlink::FindOrStartKwill(0, row.extra.c_str()), nullptr) << row.what;
        auto texts = watchdog.Texts();
        ASSERT_EQ(texts.size(), 1u) << row.what;
        EXPECT_EQ(texts[0], row.box) << row.what;
        EXPECT_TRUE(fake.waits.empty()) << row.what;
        EXPECT_EQ(record.First(), "") << row.what;  // nothing started
    }
}

// Elevated, the host goes to the scheduler; one that takes the task but never starts anything
// leaves no process to watch, so all 21 passes are plain pauses.
TEST(FindOrStart, ElevatedStartGoesThroughTheScheduler) {
    HostRecord record;
    FakeHostSystem fake = StartingFake();
    fake.elevation = S_OK;
    fake.realWaitsUpTo = 0;
    FakeHostSystem::Installed installed(fake);
    EXPECT_EQ(hostlink::FindOrStartKwill(2, L"x"), nullptr);
    EXPECT_EQ(fake.task.definition.program, test::StandInHost::ProgramPath());
    EXPECT_EQ(fake.task.definition.arguments, L"nodef dblclk event kwillrt-startup-00c0ffee x");
    EXPECT_EQ(fake.task.deletes, 1);
    size_t pauses = 0;
    for (const auto& wait : fake.waits) pauses += wait.count == 0 && wait.limitMs == 500;
    EXPECT_EQ(pauses, 21u);  // the task was running at the first poll
    EXPECT_EQ(record.First(), "");
}

}  // namespace
}  // namespace kwill
