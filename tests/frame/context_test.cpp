// The library context: refused hosts, the entry point, flags, the shared slot, the pinyin table,
// the own-request list and the version exports.
#include "frame/context.h"
#include "frame/locale_format.h"
#include "frame/thread_data.h"
#include "tests/common/test_support.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kwill {
namespace {

using test::Named;
using test::Ordinal;

TEST(RefusedHost, PathTable) {
    struct Row {
        const wchar_t* path;
        bool refused;
    } rows[] = {
        {L"chrome.exe", true},
        {L"CHROME.EXE", true},
        {L"C:\\Program Files\\App\\chrome.exe", true},
        {L"C:\\x\\ChRoMe.ExE", true},
        {L"C:\\x\\mychrome.exe", false},
        {L"C:\\x/chrome.exe", false},  // only a backslash separates the name
        {L"hrome.exe", false},
        {L"C:\\x\\chrome.exe.bak", false},
        {L"C:\\x\\chrome.ex", false},
        {L"", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(IsRefusedHostPath(r.path, std::wcslen(r.path)), r.refused)
            << std::string(r.path, r.path + std::wcslen(r.path));
    }
    EXPECT_FALSE(IsRefusedHostPath(nullptr, 0));
}

// The loader refuses the library in a process whose executable is chrome.exe, in any letter
// case; the detach that follows the refused attach must be harmless (the probe exits cleanly).
TEST(RefusedHost, RealProcesses) {
    test::TempFolder folder;
    std::wstring probe = test::ExeFolder() + L"loadprobe.exe";
    std::wstring dll = L"\"" + test::KwillDll::Path() + L"\"";
    struct Row {
        const wchar_t* name;
        DWORD exitCode;
    } rows[] = {
        {L"chrome.exe", 1},   {L"CHROME.EXE", 1},  {L"Chrome.exe", 1},
        {L"mychrome.exe", 0}, {L"chrome2.exe", 0}, {L"loadprobe.exe", 0},
    };
    int n = 0;
    for (const Row& r : rows) {
        std::wstring sub = folder / (L"d" + std::to_wstring(n++));
        ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
        std::wstring exe = sub + L"\\" + r.name;
        ASSERT_TRUE(::CopyFileW(probe.c_str(), exe.c_str(), FALSE));
        test::ProcessResult result = test::RunProcess(exe, dll);
        std::string name(r.name, r.name + std::wcslen(r.name));
        ASSERT_TRUE(result.finished) << name;
        EXPECT_EQ(result.exitCode, r.exitCode) << name;
    }
}

TEST(EntryPoint, UnknownReasonIsRefused) {
    EXPECT_FALSE(DllEntry(nullptr, 4));
    EXPECT_FALSE(DllEntry(nullptr, 0xFFFFFFFF));
}

// Drives this executable's own copy of the frame through attach and detach (the DLL's copy is
// attached by the loader and is tested through the exports).
class StaticContext : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(DllEntry(::GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH));
    }
    void TearDown() override { EXPECT_TRUE(DllEntry(nullptr, DLL_PROCESS_DETACH)); }
};

TEST_F(StaticContext, AttachBuildsTheContext) {
    LibraryContext& c = Context();
    EXPECT_TRUE(ContextReady());
    EXPECT_NE(c.tlsIndex, kNoTlsIndex);
    EXPECT_EQ(c.configValue, 0xFFFFFFFFu);
    EXPECT_NE(c.mutex, nullptr);
    EXPECT_EQ(c.numberFormat.lpDecimalSep, c.decimalSeparator);
    EXPECT_EQ(c.numberFormat.lpThousandSep, c.thousandSeparator);
    EXPECT_NE(c.decimalSeparator[0], 0);
    EXPECT_NE(c.compareStringOrdinal, nullptr);
    // Not the host: the host's exports are not looked for in another program.
    EXPECT_EQ(c.hostTranslationOverlay, nullptr);
}

TEST_F(StaticContext, DetachTwiceIsHarmless) {
    EXPECT_TRUE(ProcessDetach());
    EXPECT_FALSE(ContextReady());
    EXPECT_TRUE(ProcessDetach());
    EXPECT_TRUE(ProcessAttach(::GetModuleHandleW(nullptr)));
}

// At process exit the other threads may have been stopped holding a lock or inside the heap, so
// nothing is torn down: the context and this thread's block stay as they were.
TEST_F(StaticContext, ProcessExitTearsNothingDown) {
    ThreadData* block = PeekThreadData();
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(DllEntry(nullptr, DLL_PROCESS_DETACH, true));
    EXPECT_TRUE(ContextReady());
    EXPECT_EQ(PeekThreadData(), block);
}

TEST_F(StaticContext, OwnRequestList) {
    int a = 0, b = 0, c = 0;
    EXPECT_FALSE(IsOwnRequest(&a));
    ASSERT_TRUE(AddOwnRequest(&a));
    ASSERT_TRUE(AddOwnRequest(&b));
    ASSERT_TRUE(AddOwnRequest(&a));  // the same request twice: removed one at a time
    EXPECT_TRUE(IsOwnRequest(&a));
    EXPECT_TRUE(IsOwnRequest(&b));
    EXPECT_FALSE(IsOwnRequest(&c));
    RemoveOwnRequest(&a);
    EXPECT_TRUE(IsOwnRequest(&a));
    RemoveOwnRequest(&a);
    EXPECT_FALSE(IsOwnRequest(&a));
    RemoveOwnRequest(&c);  // absent: nothing happens
    EXPECT_TRUE(IsOwnRequest(&b));
    RemoveOwnRequest(&b);
    EXPECT_EQ(Context().ownRequests, nullptr);
}

TEST(LocaleFormat, Grouping) {
    struct Row {
        const wchar_t* text;
        UINT grouping;
    } rows[] = {
        {L"3;0", 3}, {L"3;2;0", 32}, {L"3", 3}, {L"", 0}, {L"0;0", 0}, {L"3;2", 3}, {L"12;0", 12},
    };
    for (const Row& r : rows) EXPECT_EQ(GroupingFromLocaleText(r.text), r.grouping);
}

TEST(LocaleFormat, EmptyDecimalSeparator) {
    struct Row {
        const wchar_t* decimal;
        const wchar_t* thousand;
        const wchar_t* expected;
    } rows[] = {
        {L"", L".", L","},  {L"", L",", L"."},  {L"", L"", L"."},
        {L"", L"..", L"."}, {L",", L".", L","}, {L"\x066B", L" ", L"\x066B"},
    };
    for (const Row& r : rows) {
        wchar_t decimal[8] = {}, thousand[8] = {};
        std::wcscpy(decimal, r.decimal);
        std::wcscpy(thousand, r.thousand);
        DefaultEmptyDecimalSeparator(decimal, thousand);
        EXPECT_STREQ(decimal, r.expected);
    }
}

TEST(LibFlagExports, SetGetAndDerivedAnswers) {
    auto setFlags = Ordinal<DWORD (*)(DWORD, DWORD)>(26);
    auto getFlags = Ordinal<DWORD (*)()>(27);
    auto installMode = Ordinal<DWORD (*)()>(72);
    auto flag80 = Ordinal<BOOL (*)()>(125);
    auto pinyinEnabled = Ordinal<BOOL (*)()>(159);
    auto enablePinyin = Ordinal<void (*)(BOOL)>(160);
    ASSERT_TRUE(setFlags && getFlags && installMode && flag80 && pinyinEnabled && enablePinyin);

    DWORD saved = getFlags();
    setFlags(0, 0xFFFFFFFF);
    EXPECT_EQ(getFlags(), 0u);
    EXPECT_EQ(setFlags(0x10, 0x10), 0u);  // set wins over clear
    EXPECT_EQ(getFlags(), 0x10u);
    EXPECT_EQ(setFlags(0x1000, 0x10), 0x10u);
    EXPECT_EQ(getFlags(), 0x1000u);

    struct Row {
        DWORD flags;
        DWORD mode;
    } modes[] = {{0, 0}, {0x8, 1}, {0x100, 2}, {0x108, 2}, {0x80, 0}};
    for (const Row& r : modes) {
        setFlags(r.flags, 0xFFFFFFFF);
        EXPECT_EQ(installMode(), r.mode) << std::hex << r.flags;
    }
    setFlags(0x80, 0xFFFFFFFF);
    EXPECT_EQ(flag80(), 1);
    setFlags(0, 0x80);
    EXPECT_EQ(flag80(), 0);

    enablePinyin(TRUE);
    EXPECT_EQ(pinyinEnabled(), 1);
    EXPECT_EQ(getFlags() & 0x400, 0x400u);
    enablePinyin(FALSE);
    EXPECT_EQ(pinyinEnabled(), 0);
    setFlags(saved, 0xFFFFFFFF);
}

TEST(LibFlagExports, PinyinTableNeedsFlagAndTable) {
    auto setFlags = Ordinal<DWORD (*)(DWORD, DWORD)>(26);
    auto setTable = Ordinal<void (*)(const PinyinInitialsTable*)>(161);
    auto getTable = Ordinal<const PinyinInitialsTable* (*)()>(162);
    ASSERT_TRUE(setFlags && setTable && getTable);
    static const uint16_t entries[] = {1, 2, 3};
    PinyinInitialsTable table{entries, 3};
    DWORD saved = setFlags(0, 0x400);

    setTable(&table);
    EXPECT_EQ(getTable(), nullptr);  // flag off
    setFlags(0x400, 0);
    const PinyinInitialsTable* got = getTable();
    ASSERT_NE(got, nullptr);
    EXPECT_NE(got, &table);  // the descriptor is copied into the context
    EXPECT_EQ(got->entries, entries);
    EXPECT_EQ(got->count, 3u);
    setTable(nullptr);
    EXPECT_EQ(getTable(), nullptr);  // table cleared
    setFlags(saved, 0xFFFFFFFF);
}

TEST(SharedSlotExports, SetGetClear) {
    auto get = Ordinal<uintptr_t (*)()>(130);
    auto set = Ordinal<void (*)(uintptr_t)>(131);
    auto clear = Ordinal<void (*)(uintptr_t)>(132);
    ASSERT_TRUE(get && set && clear);
    set(0x1234);
    EXPECT_EQ(get(), 0x1234u);
    clear(0x9999);  // another value: kept
    EXPECT_EQ(get(), 0x1234u);
    clear(0x1234);
    EXPECT_EQ(get(), 0u);
}

TEST(SmallExports, ConstantsAndNoOps) {
    EXPECT_EQ(Ordinal<INT_PTR (*)()>(53)(), 0);
    Ordinal<void (*)()>(163)();
    EXPECT_FALSE(Ordinal<BOOL (*)(HWND)>(7)(nullptr));
}

TEST(SmallExports, DllDirectory) {
    auto setDir = Ordinal<BOOL (*)(const wchar_t*, BOOL)>(126);
    ASSERT_NE(setDir, nullptr);
    test::TempFolder folder;
    wchar_t now[MAX_PATH];
    ASSERT_TRUE(setDir(folder.path().c_str(), 0));
    ASSERT_GT(::GetDllDirectoryW(MAX_PATH, now), 0u);
    EXPECT_EQ(std::wstring(now), folder.path());
    ASSERT_TRUE(setDir(nullptr, 0));  // "" : current directory out of the search path
    now[0] = L'x';
    ::GetDllDirectoryW(MAX_PATH, now);
    EXPECT_STREQ(now, L"");
    ASSERT_TRUE(setDir(nullptr, 1));  // default order restored
}

TEST(VersionExports, GetDllVersion) {
    auto getDllVersion = Named<DWORD (*)(const wchar_t*, DWORD*, DWORD*)>("GetDllVersion");
    ASSERT_NE(getDllVersion, nullptr);
    std::wstring folder = test::ExeFolder();
    DWORD major = 99, minor = 99;

    // DllGetVersion fails: 0, without the version resource.
    EXPECT_EQ(getDllVersion((folder + L"failver.dll").c_str(), &major, &minor), 0u);
    EXPECT_EQ(major, 0u);
    EXPECT_EQ(minor, 0u);

    // No DllGetVersion: the resource's whole MS and LS words.
    EXPECT_EQ(getDllVersion((folder + L"plainver.dll").c_str(), &major, &minor), 712u);
    EXPECT_EQ(major, 0x0007000Cu);
    EXPECT_EQ(minor, 0x00030004u);
    EXPECT_EQ(getDllVersion((folder + L"plainver.dll").c_str(), nullptr, nullptr), 712u);

    // A system DLL with DllGetVersion: the same numbers it reports itself.
    HMODULE shell = ::LoadLibraryW(L"shell32.dll");
    auto own = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(::GetProcAddress(shell, "DllGetVersion")));
    ASSERT_NE(own, nullptr);
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_EQ(own(&info), S_OK);
    EXPECT_EQ(getDllVersion(L"shell32.dll", &major, &minor),
              info.dwMajorVersion * 100 + info.dwMinorVersion);
    EXPECT_EQ(major, info.dwMajorVersion);
    EXPECT_EQ(minor, info.dwMinorVersion);
    ::FreeLibrary(shell);

    EXPECT_EQ(getDllVersion(L"Z:\\no\\such\\file.dll", &major, &minor), 0u);
    EXPECT_EQ(getDllVersion(nullptr, &major, &minor), 0u);
}

using FileVersionStringsFn = DWORD (*)(const wchar_t*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*,
                                       wchar_t*, int, wchar_t*, int, wchar_t*, int, wchar_t*, int);

TEST(VersionExports, FileVersionStrings) {
    auto fn = Ordinal<FileVersionStringsFn>(52);
    ASSERT_NE(fn, nullptr);
    std::wstring file = test::ExeFolder() + L"plainver.dll";
    DWORD ms = 0, ls = 0, pms = 0, pls = 0, translation = 0;
    wchar_t company[64], product[64], copyright[64], description[64];
    EXPECT_EQ(fn(file.c_str(), &ms, &ls, &pms, &pls, &translation, company, 64, product, 64,
                 copyright, 64, description, 64),
              712u);
    EXPECT_EQ(ms, 0x0007000Cu);
    EXPECT_EQ(ls, 0x00030004u);
    EXPECT_EQ(pms, 0x00080001u);
    EXPECT_EQ(pls, 0x00000002u);
    EXPECT_EQ(translation, 0x04B00409u);
    EXPECT_STREQ(company, L"Example Works");
    EXPECT_STREQ(product, L"Test Product");
    EXPECT_STREQ(copyright, L"Copyright none");
    EXPECT_STREQ(description, L"Version probe");

    // Truncated to size - 1, then trimmed; size 1 leaves an empty string.
    wchar_t tiny[5], one[1] = {L'x'};
    EXPECT_EQ(fn(file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, tiny, 5, one, 1,
                 nullptr, 0, nullptr, 0),
              712u);
    EXPECT_STREQ(tiny, L"Ex");
    EXPECT_STREQ(one, L"");

    EXPECT_EQ(fn(L"Z:\\no\\such\\file.dll", &ms, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
                 nullptr, 0, nullptr, 0, nullptr, 0),
              0u);
}

TEST(ResourceExports, LoadModuleResource) {
    auto load = Ordinal<const void* (*)(HMODULE, const wchar_t*, const wchar_t*, DWORD*)>(10);
    ASSERT_NE(load, nullptr);
    HMODULE module = ::LoadLibraryW((test::ExeFolder() + L"plainver.dll").c_str());
    ASSERT_NE(module, nullptr);
    DWORD size = 0;
    const void* data = load(module, MAKEINTRESOURCEW(1), RT_VERSION, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_GT(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_NE(load(module, MAKEINTRESOURCEW(1), RT_VERSION, nullptr), nullptr);
    size = 1234;
    EXPECT_EQ(load(module, MAKEINTRESOURCEW(77), RT_VERSION, &size), nullptr);
    EXPECT_EQ(size, 1234u);  // untouched on failure
    ::FreeLibrary(module);
}

}  // namespace
}  // namespace kwill
