// The host start-up's pure parts and RunAsStandardUser, against a fake system: the command lines,
// how a command line splits into program, arguments and folder, the scheduled task's definition
// and its deletion on every path, and the pass-through's clock arithmetic.
#include "hostlink/host_start.h"
#include "hostlink/pass_through.h"
#include "hostlink/run_as_user.h"
#include "tests/common/fake_host_system.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <thread>
#include <vector>

namespace kwill {
namespace {

using hostlink::BuildStartCommandLine;
using test::FakeHostSystem;

TEST(HostStart, CommandLineWordsForEachFlag) {
    const wchar_t* program = L"C:\\Program Files\\Tarnwell\\kwill.exe";
    const std::wstring quoted = L"\"C:\\Program Files\\Tarnwell\\kwill.exe\" ";
    struct Row {
        unsigned flags;
        const wchar_t* words;
    } rows[] = {
        {0, L"nodef"},          {1, L"crash"},       {2, L"nodef dblclk"},
        {3, L"crash dblclk"},   {4, L"autolister"},  {5, L"crash"},
        {16, L"runcmd nodef"},  {20, L"autolister"}, {18, L"runcmd nodef dblclk"},
        {0x108, L"nodef"},  // unknown bits are ignored
        {0xFFFFFFE0, L"nodef"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(BuildStartCommandLine(program, row.flags, L"", L""), quoted + row.words)
            << row.flags;
        EXPECT_EQ(BuildStartCommandLine(program, row.flags, L"kwillrt-startup-0000abcd", L"/x y"),
                  quoted + row.words + L" event kwillrt-startup-0000abcd /x y")
            << row.flags;
    }
}

TEST(HostStart, LongCommandLinesAreNeverCut) {
    std::wstring extra(5000, L'a');
    std::wstring line = BuildStartCommandLine(L"k.exe", 0, L"e", extra);
    EXPECT_EQ(line, L"\"k.exe\" nodef event e " + extra);
}

TEST(HostStart, StartFolder) {
    EXPECT_EQ(hostlink::StartFolder(L"C:\\a\\kwill.exe"), L"C:\\a");
    EXPECT_EQ(hostlink::StartFolder(L"C:/a/b/kwill.exe"), L"C:/a/b");
    EXPECT_EQ(hostlink::StartFolder(L"kwill.exe"), L"");
}

TEST(RunAsUser, SplitCommandLine) {
    struct Row {
        const wchar_t* line;
        bool ok;
        const wchar_t* program;
        const wchar_t* arguments;
        const wchar_t* folder;
    } rows[] = {
        {L"\"C:\\Program Files\\T\\kwill.exe\" nodef event e", true,
         L"C:\\Program Files\\T\\kwill.exe", L"nodef event e", L"C:\\Program Files\\T"},
        {L"C:\\T\\kwill.exe   a  b ", true, L"C:\\T\\kwill.exe", L"a  b ", L"C:\\T"},
        {L"  ::\t\"x\\y.exe\"", true, L"x\\y.exe", L"", L"x"},
        {L"notepad.exe file.txt", true, L"notepad.exe", L"file.txt", L""},
        {L"C:\\kwill.exe", true, L"C:\\kwill.exe", L"", L"C:\\"},
        {L"\"C:\\a b\\k.exe", false, L"", L"", L""},  // the quote is never closed
        {L"", false, L"", L"", L""},
        {L"   \t ", false, L"", L"", L""},
        {L"\"\" args", false, L"", L"", L""},
    };
    for (const Row& row : rows) {
        auto split = hostlink::SplitCommandLine(row.line);
        ASSERT_EQ(split.has_value(), row.ok) << testing::PrintToString(std::wstring(row.line));
        if (!split) continue;
        EXPECT_EQ(split->program, row.program);
        EXPECT_EQ(split->arguments, row.arguments);
        EXPECT_EQ(split->workingDirectory, row.folder);
    }
}

TEST(RunAsUser, UnelevatedUsesTheShell) {
    FakeHostSystem fake;
    FakeHostSystem::Installed installed(fake);
    EXPECT_TRUE(hostlink::RunAsStandardUser(L"\"C:\\T\\kwill.exe\" nodef dblclk"));
    EXPECT_TRUE(hostlink::RunAsStandardUser(L"kwill.exe"));
    fake.shellResult = FALSE;
    EXPECT_FALSE(hostlink::RunAsStandardUser(L"kwill.exe"));
    ASSERT_EQ(fake.shellCalls.size(), 3u);
    const auto& first = fake.shellCalls[0];
    EXPECT_EQ(first.file, L"C:\\T\\kwill.exe");
    EXPECT_EQ(first.parameters, L"nodef dblclk");
    EXPECT_EQ(first.directory, L"C:\\T");
    EXPECT_EQ(first.verb, L"(null)");
    EXPECT_EQ(first.show, SW_SHOWNORMAL);
    EXPECT_EQ(fake.shellCalls[1].parameters, L"(null)");
    EXPECT_EQ(fake.shellCalls[1].directory, L"(null)");
    EXPECT_FALSE(fake.registered);

    // Bad lines never reach the system.
    for (const wchar_t* bad : {static_cast<const wchar_t*>(nullptr), L"", L"  ", L"\"open"})
        EXPECT_FALSE(hostlink::RunAsStandardUser(bad));
    EXPECT_EQ(fake.shellCalls.size(), 3u);
}

TEST(RunAsUser, ElevatedDefinesRunsAndDeletesTheTask) {
    FakeHostSystem fake;
    fake.elevation = S_OK;
    fake.account = L"WORK\\anna";
    fake.states = {TASK_STATE_QUEUED, TASK_STATE_READY, TASK_STATE_RUNNING};
    FakeHostSystem::Installed installed(fake);
    ASSERT_TRUE(hostlink::RunAsStandardUser(L"\"C:\\T\\kwill.exe\" nodef event e"));

    const auto& t = fake.task;
    ASSERT_EQ(t.name.size(), 15u + 38u) << testing::PrintToString(t.name);
    EXPECT_EQ(t.name.substr(0, 16), L"KwillRT_RunStd_{");
    EXPECT_EQ(t.name.back(), L'}');
    const auto& d = t.definition;
    EXPECT_EQ(d.author, L"KwillRT RunStd");
    EXPECT_EQ(d.principalId, L"KwillStdUser_Principal");
    EXPECT_EQ(d.userId, L"WORK\\anna");
    EXPECT_EQ(d.logonType, TASK_LOGON_INTERACTIVE_TOKEN);
    EXPECT_EQ(d.runLevel, TASK_RUNLEVEL_LUA);
    EXPECT_TRUE(d.allowDemandStart);
    EXPECT_FALSE(d.disallowStartIfOnBatteries);
    EXPECT_FALSE(d.stopIfGoingOnBatteries);
    EXPECT_FALSE(d.runOnlyIfNetworkAvailable);
    EXPECT_EQ(d.priority, 4);
    EXPECT_FALSE(d.allowHardTerminate);
    EXPECT_EQ(d.executionTimeLimit, L"PT0S");
    EXPECT_EQ(d.program, L"C:\\T\\kwill.exe");
    EXPECT_EQ(d.arguments, L"nodef event e");
    EXPECT_EQ(d.workingDirectory, L"C:\\T");

    DWORD session = 0;
    ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &session));
    EXPECT_EQ(t.runs, 1);
    EXPECT_EQ(t.runFlags, 2 | 4);  // ignore constraints, use the session id
    EXPECT_EQ(t.runSession, static_cast<LONG>(session));
    EXPECT_EQ(t.runUser, L"WORK\\anna");
    // Three polls, the first without a pause, then half a second apart.
    EXPECT_EQ(t.refreshes, 3);
    ASSERT_EQ(fake.waits.size(), 2u);
    EXPECT_EQ(fake.waits[0].limitMs, 500u);
    EXPECT_EQ(t.deletes, 1);
    EXPECT_TRUE(fake.shellCalls.empty());

    // A new name every time.
    std::wstring firstName = t.name;
    ASSERT_TRUE(hostlink::RunAsStandardUser(L"kwill.exe"));
    EXPECT_NE(fake.task.name, firstName);
}

TEST(RunAsUser, EveryFailingStepFailsAndLeavesNoTask) {
    struct Row {
        const char* what;
        HRESULT account, registration, run, refresh, removal;
        const wchar_t* accountName;
        bool queuedForever;
        int runs, deletes;
    } rows[] = {
        {"no account", E_FAIL, S_OK, S_OK, S_OK, S_OK, L"D\\u", false, 0, 0},
        {"empty account", S_OK, S_OK, S_OK, S_OK, S_OK, L"", false, 0, 0},
        {"register refused", S_OK, E_NOTIMPL, S_OK, S_OK, S_OK, L"D\\u", false, 0, 0},
        {"run refused", S_OK, S_OK, E_NOTIMPL, S_OK, S_OK, L"D\\u", false, 1, 1},
        {"refresh fails", S_OK, S_OK, S_OK, E_FAIL, S_OK, L"D\\u", false, 1, 1},
        {"never leaves the queue", S_OK, S_OK, S_OK, S_OK, S_OK, L"D\\u", true, 1, 1},
        {"delete fails", S_OK, S_OK, S_OK, S_OK, E_ACCESSDENIED, L"D\\u", false, 1, 1},
    };
    for (const Row& row : rows) {
        FakeHostSystem fake;
        fake.elevation = S_OK;
        fake.accountResult = row.account;
        fake.account = row.accountName;
        fake.registerResult = row.registration;
        fake.runResult = row.run;
        fake.refreshResult = row.refresh;
        fake.deleteResult = row.removal;
        if (row.queuedForever) fake.states = {TASK_STATE_QUEUED};
        FakeHostSystem::Installed installed(fake);
        EXPECT_FALSE(hostlink::RunAsStandardUser(L"kwill.exe nodef")) << row.what;
        EXPECT_EQ(fake.task.runs, row.runs) << row.what;
        EXPECT_EQ(fake.task.deletes, row.deletes) << row.what;
        if (row.queuedForever) {
            EXPECT_EQ(fake.task.refreshes, 240) << row.what;
            EXPECT_EQ(fake.waits.size(), 239u) << row.what;
        }
        EXPECT_TRUE(fake.shellCalls.empty()) << row.what;
    }
}

// The names of the tasks in the scheduler's root folder.
std::vector<std::wstring> RootTaskNames() {
    using Microsoft::WRL::ComPtr;
    std::vector<std::wstring> names;
    ComPtr<ITaskService> service;
    if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&service))))
        return names;
    VARIANT none;
    ::VariantInit(&none);
    ComPtr<ITaskFolder> root;
    BSTR slash = ::SysAllocString(L"\\");
    bool ok = SUCCEEDED(service->Connect(none, none, none, none)) &&
              SUCCEEDED(service->GetFolder(slash, &root));
    ::SysFreeString(slash);
    ComPtr<IRegisteredTaskCollection> tasks;
    if (!ok || FAILED(root->GetTasks(TASK_ENUM_HIDDEN, &tasks))) return names;
    LONG count = 0;
    tasks->get_Count(&count);
    for (LONG i = 1; i <= count; ++i) {
        VARIANT index;
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<IRegisteredTask> task;
        BSTR name = nullptr;
        if (SUCCEEDED(tasks->get_Item(index, &task)) && SUCCEEDED(task->get_Name(&name))) {
            names.emplace_back(name);
            ::SysFreeString(name);
        }
    }
    return names;
}

// Wine's scheduler registers tasks but cannot set the logon type or run level, nor run a task:
// the real path must fail and leave nothing behind.
TEST(RunAsUser, RealSchedulerFailsCleanly) {
    ASSERT_EQ(hostlink::RealSystem().ProcessElevation(), S_OK)
        << "Wine runs every process elevated";
    EXPECT_FALSE(hostlink::RunAsStandardUser(L"\"C:\\windows\\system32\\cmd.exe\" /c exit"));
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    for (const std::wstring& name : RootTaskNames())
        EXPECT_NE(name.rfind(L"KwillRT_RunStd_", 0), 0u) << testing::PrintToString(name);
    ::CoUninitialize();
}

TEST(PassThrough, HoldsForOneSecondAcrossTheWrap) {
    struct Row {
        DWORD setAt, checkAt;
        bool holds;
    } rows[] = {
        {0x1000, 0x1000, true},
        {0x1000, 0x1000 + 999, true},
        {0x1000, 0x1000 + 1000, false},
        {0xFFFFFF00, 0xFFFFFFFF, true},
        {0xFFFFFF00, 0x000002E7, true},  // 999 ms later, past the wrap
        {0xFFFFFF00, 0x000002E8, false},
        {0, 999, true},           // a stamp taken at tick 0 still counts as set
        {0x5000, 0x4FFF, false},  // a clock that went back: stale
    };
    for (const Row& row : rows) {
        FakeHostSystem fake;
        FakeHostSystem::Installed installed(fake);
        fake.ticks = row.setAt;
        hostlink::SetExplorerPassThrough(0x1122334455667788ull);
        fake.ticks = row.checkAt;
        uint64_t value = 0;
        EXPECT_EQ(hostlink::CheckExplorerPassThrough(&value), row.holds)
            << std::hex << row.setAt << " " << row.checkAt;
        EXPECT_EQ(value, row.holds ? 0x1122334455667788ull : 0u);
        if (!row.holds) {
            // The stale stamp was cleared: even the moment it was set no longer counts.
            fake.ticks = row.setAt;
            EXPECT_FALSE(hostlink::CheckExplorerPassThrough(nullptr));
        }
        Shared().passThroughTick = 0;
    }
}

}  // namespace
}  // namespace kwill

namespace kwill {
namespace {

int g_dispatched = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) ++g_dispatched;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// Waits run on user-interface threads: their messages are dispatched, and a WM_QUIT met on the
// way is still there for the thread's own loop afterwards.
TEST(PumpingWait, DispatchesMessagesAndKeepsTheQuit) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KwillTest.Counting";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                    nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    g_dispatched = 0;
    ::PostMessageW(window, WM_USER, 0, 0);
    ::PostQuitMessage(7);
    EXPECT_EQ(hostlink::PumpingWait(nullptr, 0, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(g_dispatched, 1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);

    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread setter([event] {
        ::Sleep(50);
        ::SetEvent(event);
    });
    HANDLE waits[] = {event};
    EXPECT_EQ(hostlink::PumpingWait(waits, 1, 10000), WAIT_OBJECT_0);
    setter.join();
    ::CloseHandle(event);
    ::DestroyWindow(window);
}

}  // namespace
}  // namespace kwill

namespace kwill {
namespace {

// Through the DLL: Wine runs every process elevated; bad command lines are refused before any
// scheduler work.
TEST(HostStartExports, ElevationAndBadCommandLines) {
    auto elevated = test::Named<HRESULT (*)(BOOL*)>("IsProcessElevated");
    ASSERT_NE(elevated, nullptr);
    BOOL flag = FALSE;
    EXPECT_EQ(elevated(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(elevated(nullptr), S_OK);

    auto run = test::Named<BOOL (*)(const wchar_t*)>("RunAsStandardUser");
    ASSERT_NE(run, nullptr);
    for (const wchar_t* bad : {static_cast<const wchar_t*>(nullptr), L"", L" \t ", L":: ",
                               L"\"C:\\no end.exe arg", L"\"\""})
        EXPECT_FALSE(run(bad)) << testing::PrintToString(std::wstring(bad ? bad : L"(null)"));
}

}  // namespace
}  // namespace kwill
