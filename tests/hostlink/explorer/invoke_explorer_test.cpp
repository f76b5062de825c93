// Handing folders back to the shell: the request InvokeExplorer's thread makes (through the
// shell seam, in this program's own copy of the library), one real call that starts Explorer,
// the hook-bypass counter seen from a second process, and system libraries.
#include "frame/context.h"
#include "frame/named_thread.h"
#include "frame/thread_data.h"
#include "hostlink/explorer_invoke.h"
#include "hostlink/system_library.h"
#include "tests/common/test_support.h"
#include "tools/common/text_io.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace kwill {
namespace {

using hostlink::ShellExecuteSeam;

// What the fake shell saw.
struct SeenRequest {
    std::wstring verb;
    std::wstring file;
    bool hasFile = false;
    ULONG mask = 0;
    int show = 0;
    HWND window = nullptr;
    std::vector<uint8_t> list;
    bool listedDuringCall = false;
    std::string threadName;
    const void* address = nullptr;
};
SeenRequest g_seen;
BOOL g_answer = TRUE;

BOOL FakeExecute(SHELLEXECUTEINFOW* request) {
    g_seen = {};
    g_seen.verb = request->lpVerb ? request->lpVerb : L"(null)";
    g_seen.hasFile = request->lpFile != nullptr;
    if (request->lpFile) {
        g_seen.file = request->lpFile;
    }
    g_seen.mask = request->fMask;
    g_seen.show = request->nShow;
    g_seen.window = request->hwnd;
    if (request->lpIDList) {
        auto* bytes = static_cast<const uint8_t*>(request->lpIDList);
        g_seen.list.assign(bytes,
                           bytes + ::ILGetSize(static_cast<LPCITEMIDLIST>(request->lpIDList)));
    }
    g_seen.listedDuringCall = IsOwnRequest(request);
    g_seen.address = request;
    ThreadData* data = GetThreadData();
    if (data && data->userValue) {
        g_seen.threadName = reinterpret_cast<const char*>(data->userValue);
    }
    return g_answer;
}

class InvokeThroughSeam : public ::testing::Test {
  protected:
    void SetUp() override {
        // This program's own copy of the library context is built once, as process attach would
        // (a zeroed context is not a built one: its TLS slot and locks are not set up).
        static const bool attached = ProcessAttach(::GetModuleHandleW(nullptr));
        ASSERT_TRUE(attached);
        ShellExecuteSeam() = {FakeExecute, 20};
        g_answer = TRUE;
    }
    void TearDown() override { ShellExecuteSeam() = hostlink::DefaultShellExecuteOps(); }

    // Runs one request to the end of its thread.
    static bool Run(const wchar_t* verb, const wchar_t* path, const uint8_t* list, HWND window) {
        uintptr_t thread = hostlink::InvokeExplorer(verb, path, list, window);
        if (!thread) return false;
        HANDLE h = reinterpret_cast<HANDLE>(thread);
        bool ended = ::WaitForSingleObject(h, 10000) == WAIT_OBJECT_0;
        ::CloseHandle(h);
        return ended;
    }
};

TEST_F(InvokeThroughSeam, Verbs) {
    struct Row {
        const wchar_t* verb;
        const wchar_t* expected;
    };
    const Row rows[] = {{L"explore", L"explore"}, {L"Explorer", L"explore"},
                        {L"EXPLOR", L"explore"},  {L"xexplorx", L"explore"},
                        {L"open", L"open"},       {nullptr, L"open"},
                        {L"", L"open"},           {L"explo", L"open"},
                        {L"find", L"open"}};
    for (const Row& row : rows) {
        ASSERT_TRUE(Run(row.verb, L"C:\\windows", nullptr, nullptr));
        EXPECT_EQ(g_seen.verb, row.expected) << (row.verb ? "verb" : "null verb");
    }
}

TEST_F(InvokeThroughSeam, PathOrList) {
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_HRESULT_SUCCEEDED(::SHParseDisplayName(L"C:\\windows", nullptr, &list, 0, nullptr));
    std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(list),
                               reinterpret_cast<uint8_t*>(list) + ::ILGetSize(list));
    HWND window = reinterpret_cast<HWND>(0x1234);

    ASSERT_TRUE(Run(L"explore", L"C:\\path", nullptr, window));
    EXPECT_TRUE(g_seen.hasFile);
    EXPECT_EQ(g_seen.file, L"C:\\path");
    EXPECT_EQ(g_seen.mask, static_cast<ULONG>(SEE_MASK_ASYNCOK));
    EXPECT_EQ(g_seen.show, SW_SHOWNORMAL);
    EXPECT_EQ(g_seen.window, window);

    // With a list the path is not passed.
    ASSERT_TRUE(Run(L"open", L"C:\\path", bytes.data(), nullptr));
    EXPECT_FALSE(g_seen.hasFile);
    EXPECT_EQ(g_seen.mask, static_cast<ULONG>(SEE_MASK_ASYNCOK | SEE_MASK_INVOKEIDLIST));
    EXPECT_EQ(g_seen.list, bytes);
    ::CoTaskMemFree(list);

    // Nothing to open: nothing started.
    ::SetLastError(0);
    EXPECT_EQ(hostlink::InvokeExplorer(L"open", nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(hostlink::InvokeExplorer(L"open", L"", nullptr, nullptr), 0u);
}

TEST_F(InvokeThroughSeam, RequestListedOnlyDuringTheCallOnANamedThread) {
    for (BOOL answer : {TRUE, FALSE}) {
        g_answer = answer;
        ASSERT_TRUE(Run(L"open", L"C:\\windows", nullptr, nullptr));
        EXPECT_TRUE(g_seen.listedDuringCall);
        EXPECT_FALSE(IsOwnRequest(g_seen.address));
        EXPECT_EQ(g_seen.threadName, "kwill.invokeexplorer");
    }
}

// A thread that could not start leaves nothing behind.
TEST_F(InvokeThroughSeam, ThreadStartFailure) {
    NamedThreadOps saved = NamedThreadSeam();
    NamedThreadSeam().begin = [](void*, unsigned, ThreadRoutine, void*, unsigned,
                                 unsigned*) -> uintptr_t { return 0; };
    EXPECT_EQ(hostlink::InvokeExplorer(L"open", L"C:\\windows", nullptr, nullptr), 0u);
    NamedThreadSeam() = saved;
}

std::set<DWORD> ExplorerProcesses() {
    std::set<DWORD> ids;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = ::Process32FirstW(snapshot, &entry); ok;
         ok = ::Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"explorer.exe") == 0) ids.insert(entry.th32ProcessID);
    }
    ::CloseHandle(snapshot);
    return ids;
}

// The export with the real shell: a new Explorer process opens the folder; the test ends it.
TEST(InvokeExplorerExport, StartsExplorer) {
    using InvokeFn = INT_PTR (*)(const wchar_t*, const wchar_t*, LPCITEMIDLIST, HANDLE*, HWND);
    auto invoke = test::Named<InvokeFn>("InvokeExplorer");
    ASSERT_NE(invoke, nullptr);
    EXPECT_EQ(invoke, test::Ordinal<InvokeFn>(45));

    HANDLE thread = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(invoke(L"open", nullptr, nullptr, &thread, nullptr), 0);
    EXPECT_EQ(thread, nullptr);

    std::set<DWORD> before = ExplorerProcesses();
    ASSERT_NE(invoke(L"explore", L"C:\\windows", nullptr, &thread, nullptr), 0);
    ASSERT_NE(thread, nullptr);
    std::set<DWORD> started;
    for (int i = 0; i < 100 && started.empty(); ++i) {
        ::Sleep(100);
        for (DWORD id : ExplorerProcesses()) {
            if (!before.count(id)) started.insert(id);
        }
    }
    for (DWORD id : started) {
        HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process) {
            ::TerminateProcess(process, 0);
            ::WaitForSingleObject(process, 5000);
            ::CloseHandle(process);
        }
    }
    EXPECT_FALSE(started.empty()) << "no new explorer.exe";
    // The thread pumps for a while after a successful call, then ends by itself.
    EXPECT_EQ(::WaitForSingleObject(thread, 15000), WAIT_OBJECT_0);
    ::CloseHandle(thread);
}

// ---- the hook bypass counter

TEST(HookBypass, SharedWithAnotherProcessAndNeverNegative) {
    using CountFn = LONG (*)();
    auto begin = test::Named<CountFn>("BeginHookBypass");
    auto end = test::Named<CountFn>("EndHookBypass");
    ASSERT_NE(begin, nullptr);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(begin, test::Ordinal<CountFn>(43));
    EXPECT_EQ(end, test::Ordinal<CountFn>(44));

    ASSERT_EQ(begin(), 1);
    // The probe sees this process's bypass: its own begin makes 2, its end 1 again.
    test::ProcessResult r = test::RunProcess(test::ExeFolder() + L"explorer_probe.exe", L"bypass");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 2u * 16 + 1);
    EXPECT_EQ(end(), 0);
    // A stray end leaves the counter at 0, so the hooks keep working everywhere.
    EXPECT_EQ(end(), 0);
    EXPECT_EQ(begin(), 1);
    EXPECT_EQ(end(), 0);
}

// ---- system libraries

TEST(SystemLibrary, Paths) {
    const std::wstring folder258(258, L'f');
    const std::wstring name1(1, L'n');
    struct Row {
        std::wstring folder;
        const wchar_t* name;
        const wchar_t* expected;  // null: none
    };
    const Row rows[] = {
        {L"C:\\windows\\system32", L"a.dll", L"C:\\windows\\system32\\a.dll"},
        {L"C:\\windows\\system32\\", L"a.dll", L"C:\\windows\\system32\\a.dll"},
        {L"C:\\s", L"wbem\\x.dll", L"C:\\s\\wbem\\x.dll"},
        {L"C:\\s", nullptr, nullptr},
        {L"C:\\s", L"", nullptr},
        {L"C:\\s", L"..\\evil.dll", nullptr},
        {L"C:\\s", L"a\\..\\..\\evil.dll", nullptr},
        {L"C:\\s", L"D:\\evil.dll", nullptr},
        {L"C:\\s", L"\\evil.dll", nullptr},
        {L"C:\\s", L"..dll", L"C:\\s\\..dll"},
        {L"", L"a.dll", nullptr},
    };
    for (const Row& row : rows) {
        std::optional<std::wstring> got = hostlink::SystemLibraryPath(row.folder, row.name);
        if (row.expected) {
            ASSERT_TRUE(got.has_value()) << (row.name ? tools::Utf8FromWide(row.name) : "");
            EXPECT_EQ(*got, row.expected);
        } else {
            EXPECT_FALSE(got.has_value()) << (row.name ? tools::Utf8FromWide(row.name) : "");
        }
    }
    // Length limits: the folder at most 258 characters, the whole name below MAX_PATH.
    EXPECT_FALSE(hostlink::SystemLibraryPath(std::wstring(259, L'f'), L"a").has_value());
    EXPECT_FALSE(hostlink::SystemLibraryPath(folder258, L"a").has_value());  // 260 with '\'
    EXPECT_TRUE(hostlink::SystemLibraryPath(std::wstring(257, L'f'), L"a").has_value());
    EXPECT_TRUE(hostlink::SystemLibraryPath(L"C:\\s", std::wstring(254, L'n').c_str()).has_value());
    EXPECT_FALSE(
        hostlink::SystemLibraryPath(L"C:\\s", std::wstring(255, L'n').c_str()).has_value());
    EXPECT_FALSE(
        hostlink::SystemLibraryPath(L"C:\\s", std::wstring(5000, L'n').c_str()).has_value());
}

TEST(SystemLibrary, TakesTheSystemCopy) {
    using LoadFn = HMODULE (*)(const wchar_t*);
    auto load = test::Named<LoadFn>("LoadSystemLibrary");
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(load, test::Ordinal<LoadFn>(139));
    for (const wchar_t* bad : {static_cast<const wchar_t*>(nullptr), L"", L"..\\x.dll"}) {
        ::SetLastError(0);
        EXPECT_EQ(load(bad), nullptr);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(load(std::wstring(300, L'n').c_str()), nullptr);
    EXPECT_EQ(load(L"no-such-library.dll"), nullptr);

    // A program in a folder that also holds a planted msimg32.dll.
    test::TempFolder temp;
    for (const wchar_t* file : {L"explorer_probe.exe", L"kwilllib.dll"}) {
        ASSERT_TRUE(::CopyFileW((test::ExeFolder() + file).c_str(), (temp / file).c_str(), FALSE));
    }
    ASSERT_TRUE(::CopyFileW((test::ExeFolder() + L"explorer_planted.dll").c_str(),
                            (temp / L"msimg32.dll").c_str(), FALSE));
    test::ProcessResult r = test::RunProcess(temp / L"explorer_probe.exe", L"loadsys msimg32.dll");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u) << "1: not loaded, 2: not the system copy, 3: no planted copy found";
}

}  // namespace
}  // namespace kwill
