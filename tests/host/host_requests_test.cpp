// What reaches a running host (the stand-in, in its own process): DDE commands to its Unicode and
// ANSI server windows, application-command keys through the shell hook, open requests as
// WM_COPYDATA records, and the default-window message; the pass-through between two processes.
#include "frame/shared_state.h"
#include "hostlink/dde.h"
#include "hostlink/host_interface.h"
#include "hostlink/host_requests.h"
#include "hostlink/pass_through.h"
#include "tests/common/fake_host_system.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"
#include "tests/host/box_watchdog.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace kwill {
namespace {

using test::FakeHostSystem;
using test::Named;
using test::Ordinal;

using CreateFn = void* (*)(const wchar_t*, const wchar_t*, const wchar_t*);
using ExecuteTimeoutFn = BOOL (*)(void*, DWORD, HWND);
using ExecuteFn = BOOL (*)(void*, HWND);
using FreeFn = void (*)(void*);
using AsyncFn = int (*)(const wchar_t*, const wchar_t*, const wchar_t*, BOOL);
using SetPassFn = void (*)(UINT64);
using CheckPassFn = BOOL (*)(UINT64*);
using HookFn = LRESULT(CALLBACK*)(int, WPARAM, LPARAM);

bool Has(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
}

// Waits (pumping) until the host's record holds the line.
bool WaitForLine(const test::StandInHost& stand, const std::string& wanted, DWORD limitMs = 30000) {
    for (DWORD waited = 0; waited < limitMs; waited += 50) {
        if (Has(stand.Lines(), wanted)) return true;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(50);
    }
    return false;
}

TEST(HostDde, ExportsByNameAndOrdinal) {
    struct Row {
        const char* name;
        WORD ordinal;
    } rows[] = {{"SetExplorerPassThrough", 55},
                {"CheckExplorerPassThrough", 56},
                {"CreateDdeRequest", 57},
                {"ExecuteDdeRequest", 58},
                {"FreeDdeRequest", 59},
                {"SendDdeCommandAsync", 60},
                {"ExecuteDdeRequestTimeout", 104},
                {"ShellAppCommandHook", 111},
                {"IsProcessElevated", 118},
                {"RunAsStandardUser", 119}};
    for (const Row& row : rows) {
        void* byName = Named<void*>(row.name);
        EXPECT_NE(byName, nullptr) << row.name;
        EXPECT_EQ(byName, Ordinal<void*>(row.ordinal)) << row.name;
    }
}

TEST(HostDde, BothServersReceiveTheExactCommand) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"nodef --dde"));
    auto create = Ordinal<CreateFn>(57);
    auto execute = Ordinal<ExecuteFn>(58);
    auto executeLimit = Ordinal<ExecuteTimeoutFn>(104);
    auto release = Ordinal<FreeFn>(59);
    struct Row {
        const wchar_t* application;
        const wchar_t* topic;
        const wchar_t* command;
        bool viaDefaultLimit;
        std::string initiate, execute;
    } rows[] = {
        {L"KwillStandInW", L"System", L"[Open(\"C:\\a b\")]", true,
         "DDE W INITIATE KwillStandInW System", "DDE W EXECUTE [Open(\"C:\\a b\")]"},
        {L"KwillStandInA", L"KwillTopic", L"[ViewFolder(1,2)]", false,
         "DDE A INITIATE KwillStandInA KwillTopic", "DDE A EXECUTE [ViewFolder(1,2)]"},
        {L"KwillStandInW", L"", L"empty topic", false, "DDE W INITIATE KwillStandInW System",
         "DDE W EXECUTE empty topic"},
        {L"KwillStandInA", nullptr, L"null topic", true, "DDE A INITIATE KwillStandInA System",
         "DDE A EXECUTE null topic"},
    };
    for (const Row& row : rows) {
        void* request = create(row.command, row.application, row.topic);
        ASSERT_NE(request, nullptr);
        BOOL ok =
            row.viaDefaultLimit ? execute(request, nullptr) : executeLimit(request, 5000, nullptr);
        EXPECT_TRUE(ok) << row.execute;
        release(request);
        auto lines = stand.Lines();
        EXPECT_TRUE(Has(lines, row.initiate)) << Joined(lines);
        EXPECT_TRUE(Has(lines, row.execute)) << Joined(lines);
    }
    // The client ends every conversation.
    ASSERT_TRUE(stand.Stop());
    auto lines = stand.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return l.rfind("DDE", 0) == 0 && l.find("TERMINATE") != l.npos;
                            }),
              4)
        << Joined(lines);
    // Every atom of the conversations, ours and the servers' answers, was deleted again.
    EXPECT_EQ(::GlobalFindAtomW(L"KwillStandInW"), 0);
    EXPECT_EQ(::GlobalFindAtomW(L"KwillStandInA"), 0);
    EXPECT_EQ(::GlobalFindAtomW(L"KwillTopic"), 0);
}

TEST(HostDde, OneServerTakesABroadcastAndTheOtherIsEnded) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"nodef --dde"));
    void* request = Ordinal<CreateFn>(57)(L"both", L"KwillStandIn", L"System");
    ASSERT_NE(request, nullptr);
    EXPECT_TRUE(Ordinal<ExecuteTimeoutFn>(104)(request, 5000, nullptr));
    Ordinal<FreeFn>(59)(request);
    ASSERT_TRUE(stand.Stop());
    auto lines = stand.Lines();
    int initiates = 0, executes = 0, terminates = 0;
    for (const auto& l : lines) {
        initiates += l.find(" INITIATE KwillStandIn System") != l.npos;
        executes += l.find(" EXECUTE both") != l.npos;
        terminates += l.find(" TERMINATE") != l.npos;
    }
    EXPECT_EQ(initiates, 2) << Joined(lines);
    EXPECT_EQ(executes, 1) << Joined(lines);
    EXPECT_EQ(terminates, 2) << Joined(lines);
    EXPECT_EQ(::GlobalFindAtomW(L"KwillStandIn"), 0);
}

TEST(HostDde, NoServerOrBadArgumentsGiveFalse) {
    auto create = Ordinal<CreateFn>(57);
    auto execute = Ordinal<ExecuteTimeoutFn>(104);
    EXPECT_EQ(create(nullptr, L"App", L"System"), nullptr);
    EXPECT_EQ(create(L"", L"App", L"System"), nullptr);
    EXPECT_EQ(create(L"cmd", nullptr, L"System"), nullptr);
    EXPECT_EQ(create(L"cmd", L"", L"System"), nullptr);
    EXPECT_FALSE(execute(nullptr, 100, nullptr));
    Ordinal<FreeFn>(59)(nullptr);

    void* request = create(L"cmd", L"KwillNoSuchServer", nullptr);
    ASSERT_NE(request, nullptr);
    EXPECT_FALSE(execute(request, 100, nullptr));
    // A target that is not a window.
    EXPECT_FALSE(execute(request, 100, reinterpret_cast<HWND>(0x12345678)));
    Ordinal<FreeFn>(59)(request);
    EXPECT_EQ(Ordinal<AsyncFn>(60)(L"App", L"System", nullptr, FALSE), 1);
    EXPECT_EQ(Ordinal<AsyncFn>(60)(nullptr, L"System", L"cmd", FALSE), 1);
}

TEST(HostDde, SilentServerEndsAtTheLimit) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"nodef --dde-silent"));
    void* request = Ordinal<CreateFn>(57)(L"unanswered", L"KwillStandInW", L"System");
    ASSERT_NE(request, nullptr);
    // The command was delivered, so the call succeeds; the conversation ends at the limit.
    EXPECT_TRUE(Ordinal<ExecuteTimeoutFn>(104)(request, 300, nullptr));
    Ordinal<FreeFn>(59)(request);
    EXPECT_TRUE(WaitForLine(stand, "DDE W TERMINATE")) << Joined(stand.Lines());
    EXPECT_TRUE(Has(stand.Lines(), "DDE W EXECUTE unanswered"));
}

TEST(HostDde, TheWaitEndsWhenTheServerGoes) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"nodef --dde-silent"));
    void* request = Ordinal<CreateFn>(57)(L"then gone", L"KwillStandInA", L"System");
    ASSERT_NE(request, nullptr);
    // Without a limit only the server's end can stop the wait: close the host once the command
    // has reached it (closed any sooner, there would be no server to send it to).
    HWND window = stand.window();
    std::thread closer([&stand, window] {
        WaitForLine(stand, "DDE A EXECUTE then gone");
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(Ordinal<ExecuteTimeoutFn>(104)(request, 0, nullptr));
    closer.join();
    Ordinal<FreeFn>(59)(request);
}

TEST(HostDde, AsyncCommandStampsThePassThrough) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"nodef --dde"));
    FakeHostSystem fake;
    fake.ticks = 777;
    FakeHostSystem::Installed installed(fake);
    hostlink::SetExplorerPassThrough(0x55);
    EXPECT_EQ(hostlink::SendDdeCommandAsync(L"KwillStandInW", nullptr, L"async one", true), 0);
    EXPECT_TRUE(WaitForLine(stand, "DDE W EXECUTE async one")) << Joined(stand.Lines());
    uint64_t value = 1;
    EXPECT_TRUE(hostlink::CheckExplorerPassThrough(&value));
    EXPECT_EQ(value, 0u);  // the thread stamped 0 over the earlier value
    // Through the export, without the pass-through.
    EXPECT_EQ(Ordinal<AsyncFn>(60)(L"KwillStandInA", L"System", L"async two", FALSE), 0);
    EXPECT_TRUE(WaitForLine(stand, "DDE A EXECUTE async two")) << Joined(stand.Lines());
    Shared().passThroughTick = 0;
}

// The child half of the cross-process test: run by the test below in a second process. It prints
// the tick count from just before it set the stamp.
TEST(PassThroughChild, DISABLED_SetsTheStamp) {
    DWORD before = ::GetTickCount();
    Named<SetPassFn>("SetExplorerPassThrough")(0x1122334455667788ull);
    std::printf("stamped after %lu\n", static_cast<unsigned long>(before));
}

TEST(PassThrough, SharedBetweenProcesses) {
    auto check = Named<CheckPassFn>("CheckExplorerPassThrough");
    // The stamp lives a second. On a loaded machine the child may end and this process wake later
    // than that; such a round says nothing and is run again.
    bool decided = false;
    for (int round = 0; round < 10 && !decided; ++round) {
        test::ProcessResult child =
            test::RunProcessCaptured(test::ExeFolder() + L"host_test.exe",
                                     L"--gtest_also_run_disabled_tests "
                                     L"--gtest_filter=PassThroughChild.DISABLED_SetsTheStamp");
        ASSERT_TRUE(child.finished) << "started " << child.started << ", error " << child.error;
        ASSERT_EQ(child.exitCode, 0u) << child.out;
        UINT64 value = 0;
        bool fresh = check(&value);
        DWORD now = ::GetTickCount();
        unsigned long before = 0;
        size_t at = child.out.find("stamped after ");
        ASSERT_NE(at, std::string::npos) << child.out;
        before = std::strtoul(child.out.c_str() + at + 14, nullptr, 10);
        if (now - static_cast<DWORD>(before) >= hostlink::kPassThroughMs) continue;
        EXPECT_TRUE(fresh);
        EXPECT_EQ(value, 0x1122334455667788ull);
        decided = true;
    }
    EXPECT_TRUE(decided) << "every round took longer than the stamp lives";
    UINT64 value = 0;
    ::Sleep(hostlink::kPassThroughMs + 100);
    EXPECT_FALSE(check(&value));
}

TEST(AppCommandHook, ModifierMask) {
    struct Row {
        WORD keys;
        bool alt, win;
        WPARAM mask;
    } rows[] = {
        {0, false, false, 0},          {MK_CONTROL, false, false, 2},
        {MK_SHIFT, false, false, 4},   {MK_CONTROL | MK_SHIFT, false, false, 6},
        {0, true, false, 1},           {0, false, true, 8},
        {MK_LBUTTON, false, false, 0}, {MK_CONTROL | MK_SHIFT, true, true, 15},
    };
    for (const Row& row : rows) {
        LPARAM lParam = MAKELPARAM(row.keys, APPCOMMAND_BROWSER_BACKWARD);
        EXPECT_EQ(hostlink::AppCommandModifiers(lParam, row.alt, row.win), row.mask) << row.keys;
    }
}

void PressKey(WORD key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &input, sizeof(input));
}

// Calls the hook as the shell does (holding the key down, 0 for none) until the call says what
// the host answered. The hook gives the host only a short time; on a loaded machine the host may
// not run that soon, and the hook then rightly gives up, the message perhaps never arriving. A
// call that came back within that time carries the host's answer and is returned at once.
LRESULT CallHookUntilAnswered(HookFn hook, WORD key, LPARAM lParam, LRESULT expected,
                              const test::StandInHost& stand, const std::string& line) {
    LRESULT result = 0;
    for (int round = 0; round < 50; ++round) {
        if (key) PressKey(key, true);
        auto started = std::chrono::steady_clock::now();
        result = hook(HSHELL_APPCOMMAND, 0, lParam);
        auto took = std::chrono::steady_clock::now() - started;
        if (key) PressKey(key, false);
        bool inTime = took < std::chrono::milliseconds(host::kAppCommandTimeoutMs * 9 / 10);
        if (inTime || (result == expected && Has(stand.Lines(), line))) break;
    }
    return result;
}

TEST(AppCommandHook, ForwardsToTheHost) {
    auto hook = Ordinal<HookFn>(111);
    // No host: the next hook's answer, nothing sent.
    EXPECT_EQ(hook(HSHELL_APPCOMMAND, 0, MAKELPARAM(MK_CONTROL, APPCOMMAND_BROWSER_BACKWARD)), 0);

    struct Row {
        WORD key;  // held down with SendInput during the call (0: none)
        WORD keyState;
        std::string mask;
    } rows[] = {
        {0, 0, "0"},       {0, MK_CONTROL, "2"},        {0, MK_SHIFT, "4"},
        {VK_MENU, 0, "1"}, {VK_LWIN, MK_CONTROL, "10"},
    };
    for (const char* answer : {"1", "0"}) {
        test::StandInHost stand;
        ASSERT_TRUE(stand.Start(std::wstring(L"nodef --appcommand-result ") +
                                (answer[0] == '1' ? L"1" : L"0")));
        std::vector<std::string> rowLines;
        for (const Row& row : rows) {
            LPARAM lParam = MAKELPARAM(row.keyState, APPCOMMAND_BROWSER_FORWARD);
            std::string line =
                "MESSAGE 0x801d " + row.mask + " " + std::to_string(static_cast<ULONG_PTR>(lParam));
            rowLines.push_back(line);
            LRESULT expected = answer[0] == '1' ? 1 : 0;
            EXPECT_EQ(CallHookUntilAnswered(hook, row.key, lParam, expected, stand, line), expected)
                << row.mask;
            EXPECT_TRUE(Has(stand.Lines(), line)) << line << "\n" << Joined(stand.Lines());
        }
        // Other shell events are not the host's. A row's message that arrives late is no news.
        auto others = [&] {
            std::vector<std::string> lines = stand.Lines();
            return std::count_if(lines.begin(), lines.end(),
                                 [&](const std::string& l) { return !Has(rowLines, l); });
        };
        auto before = others();
        EXPECT_EQ(hook(HSHELL_WINDOWCREATED, 0, 0), 0);
        EXPECT_EQ(others(), before);
        ASSERT_TRUE(stand.Stop());
    }
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

// The record as the host expects it, written out from the layout rather than from the sender's
// own structure: code at 0, window at 8, sender at 16, context at 20, length at 540, data at 544,
// 552 bytes beyond the data.
std::vector<uint8_t> ExpectedRecord(uint32_t code, HWND window, const std::wstring& context,
                                    const void* data, size_t dataBytes) {
    std::vector<uint8_t> r(552 + dataBytes, 0);
    std::memcpy(&r[0], &code, 4);
    uint64_t w = reinterpret_cast<uintptr_t>(window);
    std::memcpy(&r[8], &w, 8);
    DWORD pid = ::GetCurrentProcessId();
    std::memcpy(&r[16], &pid, 4);
    std::memcpy(&r[20], context.data(), std::min<size_t>(context.size(), 259) * 2);
    uint32_t length = static_cast<uint32_t>(dataBytes);
    std::memcpy(&r[540], &length, 4);
    std::memcpy(&r[544], data, dataBytes);
    return r;
}

TEST(OpenRequest, EachCodeReachesTheHostAsRecorded) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start());
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_EQ(::SHParseDisplayName(L"C:\\windows", nullptr, &list, 0, nullptr), S_OK);
    const size_t listBytes = ::ILGetSize(list);
    const wchar_t path[] = L"C:\\Users\\Public";
    const std::wstring longContext(300, L'c');
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    struct Row {
        const wchar_t* verb;
        bool useList, built;
        uint32_t code;
        std::wstring context;
    } rows[] = {
        {nullptr, false, false, 16, L""},       {L"open", false, false, 16, L"select.txt"},
        {L"properties", false, false, 16, L""}, {L"explore", false, false, 17, L""},
        {L"Find", false, false, 13, L""},       {nullptr, true, true, 7, L""},
        {L"OPEN", true, false, 3, L""},         {L"explore", true, true, 6, longContext},
        {L"explore", true, false, 5, L""},      {L"find", true, true, 13, L""},
    };
    for (const Row& row : rows) {
        INT_PTR result = hostlink::SendOpenRequestToHost(
            stand.window(), window, row.verb, row.useList ? nullptr : path,
            row.useList ? list : nullptr, row.built, 0, row.context.c_str());
        EXPECT_EQ(result, 33);
        std::vector<uint8_t> expected =
            row.useList ? ExpectedRecord(row.code, window, row.context, list, listBytes)
                        : ExpectedRecord(row.code, window, row.context, path, sizeof(path));
        std::string line = "COPYDATA 18 " + std::to_string(expected.size()) + " " + Hex(expected);
        EXPECT_TRUE(Has(stand.Lines(), line)) << "code " << row.code;
    }
    ::CoTaskMemFree(list);
    // A host window that is not one: the request cannot be delivered.
    EXPECT_LE(hostlink::SendOpenRequestToHost(reinterpret_cast<HWND>(0x4242), nullptr, nullptr,
                                              path, nullptr, false, 0, nullptr),
              32);
}

// A host that does not answer in time costs the sender the limit, and the call says so.
TEST(OpenRequest, HostThatHangsIsReportedAfterTheLimit) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"nodef --copydata-hang 5300"));
    EXPECT_EQ(hostlink::SendOpenRequestToHost(stand.window(), nullptr, L"open", L"C:\\", nullptr,
                                              false, 0, nullptr),
              SE_ERR_DDETIMEOUT);
}

TEST(OpenRequest, WithoutAHostTheShellOpensTheFolderPastTheHook) {
    test::BoxWatchdog watchdog(L"Tarnwell");
    FakeHostSystem fake;
    fake.programFound = false;  // no host can be had
    fake.shellInstApp = 42;
    FakeHostSystem::Installed installed(fake);
    LONG bypassBefore = Shared().hookBypass;
    BYTE list[] = {0, 0};
    auto item = reinterpret_cast<PCIDLIST_ABSOLUTE>(list);
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x99));
    struct Row {
        const wchar_t* verb;
        ULONG flags;
        std::wstring verbSeen;
        ULONG mask;
    } rows[] = {
        {L"explore", SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI, L"explore",
         SEE_MASK_CLASSNAME | SEE_MASK_IDLIST | SEE_MASK_NOASYNC},
        {L"open", 0, L"open", SEE_MASK_CLASSNAME | SEE_MASK_IDLIST},
        {L"Find", 0, L"Find", SEE_MASK_CLASSNAME | SEE_MASK_IDLIST},
        {L"properties", 0, L"(null)", SEE_MASK_CLASSNAME | SEE_MASK_IDLIST},
        {nullptr, 0, L"(null)", SEE_MASK_CLASSNAME | SEE_MASK_IDLIST},
    };
    for (const Row& row : rows) {
        fake.shellCalls.clear();
        EXPECT_EQ(hostlink::SendOpenRequestToHost(nullptr, window, row.verb, L"C:\\x", item, true,
                                                  row.flags, L"ctx"),
                  42);
        ASSERT_EQ(fake.shellCalls.size(), 1u);
        const auto& call = fake.shellCalls[0];
        EXPECT_EQ(call.mask, row.mask);
        EXPECT_EQ(call.className, L"Folder");
        EXPECT_EQ(call.verb, row.verbSeen);
        EXPECT_EQ(call.file, L"C:\\x");
        EXPECT_EQ(call.idList, item);
        EXPECT_EQ(call.window, window);
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        EXPECT_EQ(call.bypassDuringCall, bypassBefore + 1);
        EXPECT_EQ(Shared().hookBypass, bypassBefore);
    }
    // Each call first tried to start the host and told the user it could not.
    EXPECT_EQ(watchdog.Texts().size(), std::size(rows));
}

TEST(DefaultWindow, PostedToTheHostOrFalse) {
    {
        test::StandInHost stand;
        ASSERT_TRUE(stand.Start());
        EXPECT_TRUE(hostlink::RequestHostDefaultWindow());
        ASSERT_TRUE(stand.Stop());
        EXPECT_TRUE(Has(stand.Lines(), "MESSAGE 0x8162 0 0")) << Joined(stand.Lines());
    }
    test::BoxWatchdog watchdog(L"Tarnwell");
    FakeHostSystem fake;
    fake.programFound = false;
    FakeHostSystem::Installed installed(fake);
    EXPECT_FALSE(hostlink::RequestHostDefaultWindow());
    EXPECT_EQ(watchdog.Texts().size(), 1u);
}

}  // namespace
}  // namespace kwill
