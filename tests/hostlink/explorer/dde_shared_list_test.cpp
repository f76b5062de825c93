// GetPidlFromDDEString with real shared memory: blocks made here and by a second process, the
// shell's request forms, dead handles, and blocks that are not lists.
#include "tests/common/test_support.h"
#include "tools/common/text_io.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

using DdeFn = LPITEMIDLIST (*)(const wchar_t*, BOOL, wchar_t*, int);
using AllocFn = HANDLE(WINAPI*)(const void*, DWORD, DWORD);
using LockFn = void*(WINAPI*)(HANDLE, DWORD);
using UnlockFn = BOOL(WINAPI*)(void*);
using FreeFn = BOOL(WINAPI*)(HANDLE, DWORD);

struct Shared {
    AllocFn alloc;
    LockFn lock;
    UnlockFn unlock;
    FreeFn free;
};

const Shared& Api() {
    static const Shared api = [] {
        HMODULE shlwapi = ::LoadLibraryW(L"shlwapi.dll");
        auto get = [&](const char* name) {
            return reinterpret_cast<void*>(::GetProcAddress(shlwapi, name));
        };
        return Shared{reinterpret_cast<AllocFn>(get("SHAllocShared")),
                      reinterpret_cast<LockFn>(get("SHLockShared")),
                      reinterpret_cast<UnlockFn>(get("SHUnlockShared")),
                      reinterpret_cast<FreeFn>(get("SHFreeShared"))};
    }();
    return api;
}

DdeFn Dde() {
    return test::Named<DdeFn>("GetPidlFromDDEString");
}

struct ParsedPidl {
    PIDLIST_ABSOLUTE list = nullptr;
    explicit ParsedPidl(const wchar_t* path) {
        ::SHParseDisplayName(path, nullptr, &list, 0, nullptr);
    }
    ~ParsedPidl() { ::CoTaskMemFree(list); }
};

std::wstring Pair(HANDLE handle, DWORD pid) {
    return L":" + std::to_wstring(reinterpret_cast<uintptr_t>(handle)) + L":" +
           std::to_wstring(pid);
}

// Whether the block can still be locked (a freed block cannot).
bool StillThere(HANDLE handle, DWORD pid) {
    void* view = Api().lock(handle, pid);
    if (!view) return false;
    Api().unlock(view);
    return true;
}

class DdeSharedList : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(Api().alloc, nullptr);
        ASSERT_NE(Api().lock, nullptr);
        ASSERT_NE(Dde(), nullptr);
    }
};

TEST_F(DdeSharedList, ShellFormsGiveTheSharedList) {
    ParsedPidl windows(L"C:\\windows");
    ASSERT_NE(windows.list, nullptr);
    const DWORD pid = ::GetCurrentProcessId();
    struct Row {
        const wchar_t* before;
        const wchar_t* after;
        BOOL afterCommand;
    };
    const Row rows[] = {
        {L"[ViewFolder(\"C:\\Temp\", ", L", 1)]", FALSE},
        {L"[ExploreFolder(\"C:\\Temp\",", L",1)]", FALSE},
        {L"[FindFolder(\"C:\\Temp\", ", L")]", FALSE},
        {L"", L",C:\\Temp", TRUE},
        {L"C:\\Temp,", L"", FALSE},
    };
    for (const Row& row : rows) {
        HANDLE handle = Api().alloc(windows.list, ::ILGetSize(windows.list), pid);
        ASSERT_NE(handle, nullptr);
        std::wstring text = row.before + Pair(handle, pid) + row.after;
        SCOPED_TRACE(tools::Utf8FromWide(text));
        wchar_t path[64] = L"junk";
        LPITEMIDLIST list = Dde()(text.c_str(), row.afterCommand, path, 64);
        ASSERT_NE(list, nullptr);
        EXPECT_TRUE(::ILIsEqual(list, windows.list));
        EXPECT_EQ(path[0], L'\0');
        EXPECT_FALSE(StillThere(handle, pid)) << "the block was not freed";
        ::CoTaskMemFree(list);
    }
}

TEST_F(DdeSharedList, FromAnotherProcess) {
    test::TempFolder temp;
    std::wstring out = temp / L"pair.txt";
    std::wstring eventName = L"kwilltest-dde-done-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(done, nullptr);
    std::wstring command = L"\"" + test::ExeFolder() +
                           L"explorer_probe.exe\" share C:\\windows \"" + out + L"\" " + eventName;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi));
    std::string pair;
    for (int i = 0; i < 200 && pair.empty(); ++i) {
        ::Sleep(25);
        pair = test::ReadFileText(out);
    }
    ASSERT_FALSE(pair.empty()) << "the probe shared nothing";
    std::wstring text = L"[ExploreFolder(\"D:\\x\", " + tools::WideFromUtf8(pair) + L", 1)]";
    LPITEMIDLIST list = Dde()(text.c_str(), FALSE, nullptr, 0);
    ParsedPidl windows(L"C:\\windows");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(::ILIsEqual(list, windows.list));
    ::CoTaskMemFree(list);
    // The sender's handle was closed: the pair names nothing now.
    wchar_t path[64];
    EXPECT_EQ(Dde()(text.c_str(), FALSE, path, 64), nullptr);
    EXPECT_STREQ(path, L"D:\\x");
    ::SetEvent(done);
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(done);
}

// Without the list: the path to the buffer, or parsed by the shell when it starts with ":" or no
// buffer was given.
TEST_F(DdeSharedList, PathFallbacks) {
    ParsedPidl windows(L"C:\\windows");
    ParsedPidl computer(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
    ASSERT_NE(computer.list, nullptr);
    const std::wstring deadPid = L":1234:" + std::to_wstring(0x7FFFFFF0);
    const std::wstring deadHandle =
        L":" + std::to_wstring(0x7FFFFFF0) + L":" + std::to_wstring(::GetCurrentProcessId());
    struct Row {
        std::wstring text;
        BOOL afterCommand;
        int chars;  // -1: no buffer
        const wchar_t* path;
        LPCITEMIDLIST list;
    };
    const Row rows[] = {
        {L"[ViewFolder(\"D:\\x\", " + deadPid + L", 1)]", FALSE, 64, L"D:\\x", nullptr},
        {L"[ViewFolder(\"D:\\x\", " + deadHandle + L", 1)]", FALSE, 64, L"D:\\x", nullptr},
        {L"[ViewFolder(\"D:\\x\", :99999999999999999999999:1, 1)]", FALSE, 64, L"D:\\x", nullptr},
        {L"[ViewFolder(\"D:\\abcdef\", " + deadPid + L", 1)]", FALSE, 4, L"D:\\", nullptr},
        {L"[ViewFolder(\"D:\\x\", " + deadPid + L", 1)]", FALSE, 1, L"", nullptr},
        {deadPid + L",C:\\windows", TRUE, 64, L"C:\\windows", nullptr},
        {deadPid + L",C:\\windows", TRUE, -1, L"", windows.list},
        {deadPid + L",C:\\windows", TRUE, 0, L"", windows.list},
        {L"[ViewFolder(\"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\", " + deadPid + L", 1)]", FALSE,
         64, L"", computer.list},
        {L"[ViewFolder(\"\", " + deadPid + L", 1)]", FALSE, 64, L"", nullptr},
        {L"", FALSE, 64, L"", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(tools::Utf8FromWide(row.text) + " chars " + std::to_string(row.chars));
        wchar_t buffer[80];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        LPITEMIDLIST list =
            Dde()(row.text.c_str(), row.afterCommand, row.chars < 0 ? nullptr : buffer, row.chars);
        if (row.list) {
            ASSERT_NE(list, nullptr);
            EXPECT_TRUE(::ILIsEqual(list, row.list));
        } else {
            EXPECT_EQ(list, nullptr);
        }
        ::CoTaskMemFree(list);
        if (row.chars > 0) {
            EXPECT_STREQ(buffer, row.path);
            EXPECT_EQ(buffer[row.chars], L'#');
        }
        if (row.chars == 0) {
            EXPECT_EQ(buffer[0], L'#');
        }
    }
    wchar_t path[8] = L"junk";
    EXPECT_EQ(Dde()(nullptr, FALSE, path, 8), nullptr);
    EXPECT_STREQ(path, L"");
}

// Fills the whole readable view of a fresh block with `fill`, from the sender's side.
HANDLE HostileBlock(size_t dataBytes, const std::vector<uint8_t>& fill) {
    std::vector<uint8_t> zero(dataBytes);
    HANDLE handle =
        Api().alloc(zero.data(), static_cast<DWORD>(zero.size()), ::GetCurrentProcessId());
    if (!handle) return nullptr;
    auto* view = static_cast<uint8_t*>(Api().lock(handle, ::GetCurrentProcessId()));
    if (!view) return nullptr;
    MEMORY_BASIC_INFORMATION info;
    ::VirtualQuery(view, &info, sizeof(info));
    size_t readable = static_cast<uint8_t*>(info.BaseAddress) + info.RegionSize - view;
    for (size_t i = 0; i < readable; ++i) view[i] = fill[i % fill.size()];
    Api().unlock(view);
    return handle;
}

TEST_F(DdeSharedList, HostileBlocksGiveThePath) {
    const DWORD pid = ::GetCurrentProcessId();
    struct Row {
        const char* name;
        size_t bytes;
        std::vector<uint8_t> fill;
    };
    const Row rows[] = {
        {"items to the end of the view, no terminator",
         100,
         {0x10, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {"one item that runs past the view", 16, {0xFF, 0xFF}},
        {"an item of size 1", 16, {0x01, 0x00}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HANDLE handle = HostileBlock(row.bytes, row.fill);
        ASSERT_NE(handle, nullptr);
        std::wstring text = Pair(handle, pid) + L",D:\\fallback";
        wchar_t path[64];
        EXPECT_EQ(Dde()(text.c_str(), TRUE, path, 64), nullptr);
        EXPECT_STREQ(path, L"D:\\fallback");
        EXPECT_FALSE(StillThere(handle, pid)) << "the block was not freed";
    }
}

// Random blocks and random mutations of a real list: a list or nothing, never a crash.
TEST_F(DdeSharedList, RandomBlocks) {
    ParsedPidl windows(L"C:\\windows\\system32");
    std::vector<uint8_t> real(reinterpret_cast<uint8_t*>(windows.list),
                              reinterpret_cast<uint8_t*>(windows.list) + ::ILGetSize(windows.list));
    std::mt19937 random(1806);
    const DWORD pid = ::GetCurrentProcessId();
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> bytes = real;
        for (int m = 0; m < 1 + i % 4; ++m)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        if (i % 3 == 0) {
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        }
        HANDLE handle = Api().alloc(bytes.data(), static_cast<DWORD>(bytes.size()), pid);
        ASSERT_NE(handle, nullptr);
        LPITEMIDLIST list = Dde()((Pair(handle, pid) + L",D:\\x").c_str(), TRUE, nullptr, 0);
        if (list) {
            EXPECT_GE(::ILGetSize(list), 2u);
        }
        ::CoTaskMemFree(list);
        EXPECT_FALSE(StillThere(handle, pid));
    }
}

}  // namespace
}  // namespace kwill
