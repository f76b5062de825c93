// Debug trace, debug console, checked atoms and named threads, through the DLL's exports where
// the behaviour can be watched from outside and through the frame's seams where it cannot.
#include "frame/debug_output.h"
#include "frame/named_thread.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace kwill {
namespace {

using test::Named;
using test::Ordinal;

std::vector<std::wstring> captured;

void Capture(const wchar_t* line) {
    captured.emplace_back(line);
}

std::wstring Format(DWORD threadId, const wchar_t* format, ...) {
    wchar_t line[kDebugLineChars];
    va_list args;
    va_start(args, format);
    FormatDebugLine(line, threadId, format, args);
    va_end(args);
    return line;
}

TEST(DebugOutput, PrefixesTheThreadIdAndFormatsWithWideStrings) {
    struct Row {
        DWORD thread;
        std::wstring expected, actual;
    } rows[] = {
        {1234, L"[1234] kwill: x=5\n", Format(1234, L"x=%d\n", 5)},
        {7, L"[   7] kwill: ", Format(7, nullptr)},
        {123456, L"[123456] kwill: wide \u00e9t\u00e9 0x1f",
         Format(123456, L"wide %s 0x%x", L"\u00e9t\u00e9", 31)},
        {0, L"[   0] kwill: 100%", Format(0, L"100%%")},
    };
    for (const Row& row : rows) EXPECT_EQ(row.actual, row.expected) << row.thread;
}

TEST(DebugOutput, CutsLongMessagesToTheBuffer) {
    std::wstring longText(20000, L'y');
    std::wstring line = Format(42, L"%s", longText.c_str());
    ASSERT_EQ(line.size(), kDebugLineChars - 1);
    EXPECT_EQ(line.substr(0, 14), L"[  42] kwill: ");
    EXPECT_EQ(line.find_first_not_of(L'y', 14), std::wstring::npos);
}

TEST(DebugOutput, GoesToTheSinkOfTheCallingThread) {
    captured.clear();
    DebugSink() = Capture;
    DebugOutput(L"n=%d\n", 3);
    DebugSink() = [](const wchar_t* line) { ::OutputDebugStringW(line); };
    ASSERT_EQ(captured.size(), 1u);
    wchar_t expected[64];
    swprintf(expected, 64, L"[%4lu] kwill: n=3\n", ::GetCurrentThreadId());
    EXPECT_EQ(captured[0], expected);
}

// Without a debugger, OutputDebugStringW raises a first-chance exception carrying the text; a
// vectored handler sees it before the system swallows it, so the real export can be checked.
LONG CALLBACK WatchDebugStrings(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C && record->NumberParameters >= 2) {
        captured.emplace_back(reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]));
    } else if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        captured.emplace_back(text, text + std::strlen(text));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST(DebugOutput, ExportsReachOutputDebugString) {
    auto debugOutput = Named<void (*)(const wchar_t*, ...)>("DebugOutput");
    ASSERT_NE(debugOutput, nullptr);
    captured.clear();
    void* handler = ::AddVectoredExceptionHandler(1, WatchDebugStrings);
    debugOutput(L"export %d\n", 9);
    ::RemoveVectoredExceptionHandler(handler);
    if (captured.empty()) GTEST_SKIP() << "this system does not raise debug-string exceptions";
    wchar_t expected[64];
    swprintf(expected, 64, L"[%4lu] kwill: export 9\n", ::GetCurrentThreadId());
    EXPECT_EQ(captured[0], expected);
}

// A stand-in for the debug console: a message-only window of the console's class that records
// what it is sent.
struct ConsoleMessage {
    ULONG_PTR tag;
    DWORD bytes;
    std::wstring text;
};
std::vector<ConsoleMessage> consoleMessages;

LRESULT CALLBACK ConsoleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        consoleMessages.push_back(
            {block->dwData, block->cbData, static_cast<const wchar_t*>(block->lpData)});
        return 0x5150;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(DebugConsole, SendsTheTextUnchangedToTheConsoleWindow) {
    auto send = Named<LRESULT (*)(const wchar_t*)>("SendDebugConsole");
    ASSERT_NE(send, nullptr);
    consoleMessages.clear();
    EXPECT_EQ(send(L"nobody listens"), 0);

    WNDCLASSW wc{};
    wc.lpfnWndProc = ConsoleProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kDebugConsoleClass;
    ASSERT_NE(::RegisterClassW(&wc), 0);
    HWND console = ::CreateWindowExW(0, kDebugConsoleClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, wc.hInstance, nullptr);
    ASSERT_NE(console, nullptr);

    EXPECT_EQ(send(L"abc"), 0x5150);
    EXPECT_EQ(send(L"[1] kwill: %d \u00e9\n"), 0x5150);
    EXPECT_EQ(send(nullptr), 0);
    ::DestroyWindow(console);
    ::UnregisterClassW(kDebugConsoleClass, wc.hInstance);

    ASSERT_EQ(consoleMessages.size(), 2u);
    EXPECT_EQ(consoleMessages[0].tag, kDebugConsoleTag);
    EXPECT_EQ(consoleMessages[0].bytes, 8u);
    EXPECT_EQ(consoleMessages[0].text, L"abc");
    EXPECT_EQ(consoleMessages[1].text, L"[1] kwill: %d \u00e9\n");
}

TEST(GlobalAtom, KeepsTheAtomOnlyWhenItIsTheExpectedOne) {
    auto add = Named<ATOM (*)(ATOM, const wchar_t*)>("AddGlobalAtomChecked");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(0, nullptr), 0);
    const wchar_t* name = L"kwill.test.atom.checked";
    ATOM atom = add(0, name);
    ASSERT_NE(atom, 0);
    EXPECT_EQ(add(atom, name), atom);  // a second reference
    EXPECT_EQ(add(static_cast<ATOM>(atom + 1), name), 0);
    // Two references were kept: two deletes remove the atom, so the refused call took none.
    ::GlobalDeleteAtom(atom);
    EXPECT_EQ(::GlobalFindAtomW(name), atom);
    ::GlobalDeleteAtom(atom);
    EXPECT_EQ(::GlobalFindAtomW(name), 0);
}

struct SeenByThread {
    std::string name;
    uint64_t userValue = 0;
    std::wstring description;
    DWORD threadId = 0;
};

unsigned __stdcall Observe(void* parameter) {
    auto* seen = static_cast<SeenByThread*>(parameter);
    auto getUser = Ordinal<uint64_t (*)()>(90);
    seen->userValue = getUser();
    if (seen->userValue) seen->name = reinterpret_cast<const char*>(seen->userValue);
    seen->threadId = ::GetCurrentThreadId();
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    auto get = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    PWSTR description = nullptr;
    if (get && SUCCEEDED(get(::GetCurrentThread(), &description)) && description) {
        seen->description = description;
        ::LocalFree(description);
    }
    return 0xC0DE;
}

TEST(NamedThread, RunsNamedWithTheNameInItsUserValue) {
    using Begin =
        uintptr_t (*)(const wchar_t*, ThreadRoutine, void*, unsigned, unsigned*, unsigned);
    auto begin = Named<Begin>("BeginNamedThread");
    ASSERT_NE(begin, nullptr);
    struct Row {
        const wchar_t* name;
        const char* ansi;
    } rows[] = {{L"kwill.testthread", "kwill.testthread"}, {nullptr, nullptr}, {L"", ""}};
    for (const Row& row : rows) {
        SeenByThread seen;
        unsigned id = 0;
        // Suspended, so that the debugger name is in place before the routine looks at it.
        HANDLE thread = reinterpret_cast<HANDLE>(
            begin(row.name, Observe, &seen, CREATE_SUSPENDED, &id, 64 * 1024));
        ASSERT_NE(thread, nullptr);
        ::ResumeThread(thread);
        ASSERT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        ::GetExitCodeThread(thread, &exitCode);
        ::CloseHandle(thread);
        EXPECT_EQ(exitCode, 0xC0DEu);
        EXPECT_EQ(seen.threadId, id);
        if (row.ansi) {
            EXPECT_EQ(seen.name, row.ansi);
            if (*row.ansi) {
                EXPECT_EQ(seen.description, row.name);
            }
        } else {
            EXPECT_EQ(seen.userValue, 0u);
        }
    }
    unsigned id = 123;
    EXPECT_EQ(begin(L"x", nullptr, nullptr, 0, &id, 0), 0u);
    EXPECT_EQ(id, 0u);
}

// Counts the start records made and freed, and can make the allocation or the start fail.
struct RecordCounter {
    static inline int allocations = 0;
    static inline int frees = 0;
    static inline bool failAlloc = false;
    static inline bool failBegin = false;
    static inline int routineRuns = 0;

    RecordCounter(bool noMemory, bool noThread) {
        allocations = frees = routineRuns = 0;
        failAlloc = noMemory;
        failBegin = noThread;
        NamedThreadSeam() = {Alloc, Free, Begin};
    }
    ~RecordCounter() { NamedThreadSeam() = DefaultNamedThreadOps(); }

    static HLOCAL Alloc(UINT flags, SIZE_T bytes) {
        if (failAlloc) return nullptr;
        ++allocations;
        return DefaultNamedThreadOps().alloc(flags, bytes);
    }
    static HLOCAL Free(HLOCAL block) {
        ++frees;
        return DefaultNamedThreadOps().free(block);
    }
    static uintptr_t Begin(void* security, unsigned stack, ThreadRoutine routine, void* parameter,
                           unsigned flags, unsigned* id) {
        if (failBegin) return 0;
        return DefaultNamedThreadOps().begin(security, stack, routine, parameter, flags, id);
    }
    static unsigned __stdcall Routine(void*) {
        ++routineRuns;
        return 5;
    }
};

TEST(NamedThread, FreesTheStartRecordOnEveryPath) {
    struct Row {
        const char* what;
        bool noMemory, noThread;
        bool started;
        int allocations, frees;
    } rows[] = {
        {"thread runs", false, false, true, 1, 1},
        {"thread cannot start", false, true, false, 1, 1},
        {"no memory for the record", true, false, true, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RecordCounter counter(row.noMemory, row.noThread);
        unsigned id = 77;
        uintptr_t thread =
            BeginNamedThread(L"kwill.counted", RecordCounter::Routine, nullptr, 0, &id, 0);
        EXPECT_EQ(thread != 0, row.started);
        if (thread) {
            ASSERT_EQ(::WaitForSingleObject(reinterpret_cast<HANDLE>(thread), 10000),
                      WAIT_OBJECT_0);
            ::CloseHandle(reinterpret_cast<HANDLE>(thread));
            EXPECT_NE(id, 0u);
            EXPECT_EQ(RecordCounter::routineRuns, 1);
        } else {
            EXPECT_EQ(id, 0u);
        }
        EXPECT_EQ(RecordCounter::allocations, row.allocations);
        EXPECT_EQ(RecordCounter::frees, row.frees);
    }
}

TEST(NamedThread, RecordHoldsTheWholeNameInADoubleByteCodePage) {
    const wchar_t name[] = L"\u7ebf\u7a0b\u540d";  // three ideographs, two bytes each in 936
    NamedThreadStart* start = MakeNamedThreadStart(name, RecordCounter::Routine, nullptr, 936);
    ASSERT_NE(start, nullptr);
    ASSERT_NE(start->name, nullptr);
    EXPECT_EQ(std::strlen(start->name), 6u);
    wchar_t back[16] = {};
    ::MultiByteToWideChar(936, 0, start->name, -1, back, 16);
    EXPECT_STREQ(back, name);
    ::LocalFree(start);

    NamedThreadStart* unnamed = MakeNamedThreadStart(nullptr, RecordCounter::Routine, nullptr, 0);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->name, nullptr);
    ::LocalFree(unnamed);
}

}  // namespace
}  // namespace kwill
