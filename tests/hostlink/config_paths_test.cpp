// Configuration folders: the slot chosen for each kind, the table filled from the real folders
// and variables in fresh processes, the caller's buffer, and finding kwill.exe.
#include "hostlink/config_paths.h"
#include "tests/hostlink/config_support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <thread>

namespace kwill::test::config {
namespace {

using GetConfigPathFn = BOOL (*)(int, wchar_t*, int);
using GetKwillPathFn = BOOL (*)(wchar_t*, int);
using SetLibFlagsFn = DWORD (*)(DWORD, DWORD);

// ---- the resolver, rows taken from the rules as stated, not from the code

constexpr uint32_t kAllFilled = 0x1FF;
constexpr uint32_t kNo278 = kAllFilled & ~(1u << 2 | 1u << 7 | 1u << 8);

struct ResolverRow {
    unsigned mode;
    int kind;
    int filled[3];  // slot for cache -1, 0, 1 with every slot filled
    int empty[3];   // the same with slots 2, 7 and 8 empty
};

constexpr ResolverRow kResolverRows[] = {
    // Standard installation: kind k is slot k; a shared configuration (cache 0) moves kind 0 to
    // the machine-wide slot 1; kind 2 without its slot is kind 0; kind 9 is always slot 0.
    {0, -1, {-1, -1, -1}, {-1, -1, -1}},
    {0, 0, {0, 1, 0}, {0, 1, 0}},
    {0, 1, {1, 1, 1}, {1, 1, 1}},
    {0, 2, {2, 2, 2}, {0, 1, 0}},
    {0, 3, {3, 3, 3}, {3, 3, 3}},
    {0, 4, {4, 4, 4}, {4, 4, 4}},
    {0, 5, {5, 5, 5}, {5, 5, 5}},
    {0, 6, {6, 6, 6}, {6, 6, 6}},
    {0, 7, {7, 7, 7}, {3, 3, 3}},
    {0, 8, {8, 8, 8}, {3, 3, 3}},
    {0, 9, {0, 0, 0}, {0, 0, 0}},
    {0, 10, {-1, -1, -1}, {-1, -1, -1}},
    // Mode 1: the program folder for kinds 3 and 4, the program root for everything else.
    {1, -1, {-1, -1, -1}, {-1, -1, -1}},
    {1, 0, {5, 5, 5}, {5, 5, 5}},
    {1, 1, {5, 5, 5}, {5, 5, 5}},
    {1, 2, {5, 5, 5}, {5, 5, 5}},
    {1, 3, {3, 3, 3}, {3, 3, 3}},
    {1, 4, {3, 3, 3}, {3, 3, 3}},
    {1, 5, {5, 5, 5}, {5, 5, 5}},
    {1, 6, {5, 5, 5}, {5, 5, 5}},
    {1, 7, {5, 5, 5}, {5, 5, 5}},
    {1, 8, {5, 5, 5}, {5, 5, 5}},
    {1, 9, {5, 5, 5}, {5, 5, 5}},
    {1, 10, {-1, -1, -1}, {-1, -1, -1}},
    // Mode 2: the data-files variable for the user's kinds, falling back to the program folder.
    {2, -1, {-1, -1, -1}, {-1, -1, -1}},
    {2, 0, {7, 7, 7}, {3, 3, 3}},
    {2, 1, {7, 7, 7}, {3, 3, 3}},
    {2, 2, {7, 7, 7}, {3, 3, 3}},
    {2, 3, {3, 3, 3}, {3, 3, 3}},
    {2, 4, {3, 3, 3}, {3, 3, 3}},
    {2, 5, {5, 5, 5}, {5, 5, 5}},
    {2, 6, {5, 5, 5}, {5, 5, 5}},
    {2, 7, {5, 5, 5}, {5, 5, 5}},
    {2, 8, {8, 8, 8}, {3, 3, 3}},
    {2, 9, {7, 7, 7}, {3, 3, 3}},
    {2, 10, {-1, -1, -1}, {-1, -1, -1}},
};

TEST(ConfigResolver, ModesKindsCachesAndEmptySlots) {
    const int caches[3] = {-1, 0, 1};
    for (const ResolverRow& row : kResolverRows) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(kwill::config::ResolveSlot(kAllFilled, row.mode, caches[c], row.kind),
                      row.filled[c])
                << "mode " << row.mode << " kind " << row.kind << " cache " << caches[c];
            EXPECT_EQ(kwill::config::ResolveSlot(kNo278, row.mode, caches[c], row.kind),
                      row.empty[c])
                << "mode " << row.mode << " kind " << row.kind << " cache " << caches[c]
                << " slots 2, 7, 8 empty";
        }
    }
}

TEST(ConfigResolver, AnyEmptyChoiceFallsBackToTheProgramFolder) {
    struct Row {
        uint32_t filled;
        unsigned mode;
        int cache;
        int kind;
        int slot;
    } rows[] = {
        {kAllFilled & ~(1u << 1), 0, 0, 0, 3},  // no machine-wide folder
        {kAllFilled & ~(1u << 0), 0, 1, 9, 3},  // no per-user folder
        {kAllFilled & ~(1u << 5), 1, 0, 0, 3},  // no program root
        {kAllFilled & ~(1u << 2 | 1u << 1), 0, 0, 2, 3},
        {kAllFilled, 3, 0, 0, 1},  // an unknown mode is the standard one
        {kAllFilled, 7, 1, 9, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(kwill::config::ResolveSlot(r.filled, r.mode, r.cache, r.kind), r.slot)
            << "filled 0x" << std::hex << r.filled << std::dec << " mode " << r.mode << " kind "
            << r.kind;
    }
}

// ---- the table of a fresh process

// Sets the library flags before anything else, then reports every kind's folder ("!" when the
// call fails) and, when asked, does the same from 16 threads that start together.
int PathsChild(const std::vector<std::wstring>& args, ChildPut put) {
    DWORD flags = args.empty() ? 0 : std::wcstoul(args[0].c_str(), nullptr, 0);
    bool threads = args.size() > 1 && args[1] == L"threads";
    Ordinal<SetLibFlagsFn>(26)(flags, 0);
    auto get = Ordinal<GetConfigPathFn>(71);
    auto folder = [get](int kind) {
        wchar_t buffer[MAX_PATH];
        return get(kind, buffer, MAX_PATH) ? Utf8(buffer) : std::string("!");
    };
    if (threads) {
        HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::string seen[16][2];
        std::vector<std::thread> pool;
        for (int t = 0; t < 16; ++t) {
            pool.emplace_back([&, t] {
                ::WaitForSingleObject(go, INFINITE);
                seen[t][0] = folder(t % 2 ? 0 : 9);
                seen[t][1] = folder(t % 2 ? 9 : 0);
            });
        }
        ::Sleep(50);
        ::SetEvent(go);
        for (std::thread& thread : pool) thread.join();
        ::CloseHandle(go);
        bool agree = true;
        for (auto& pair : seen) agree &= pair[0] == seen[0][0] && pair[1] == seen[0][1];
        put("agree", agree ? "yes" : "no");
    }
    for (int kind = -1; kind <= 10; ++kind) put("kind" + std::to_string(kind), folder(kind));
    return 0;
}
const ChildRegistrar kPaths(L"paths", PathsChild);

struct TableRow {
    const char* name;
    const wchar_t* flags;
    const wchar_t* dataFiles;  // null: unset
    // The expected folder of kinds 0 to 9 by source: 'P' program folder, 'D' the variable,
    // 'A' AppData, 'C' common AppData, 'L' local AppData.
    const char* sources;
};

TEST(ConfigTable, FreshProcessesByModeAndVariable) {
    const std::wstring data = L"C:\\kwill data";
    const std::wstring longest(259, L'd');
    const std::wstring tooLong(260, L'd');
    const std::wstring way(300, L'd');
    struct {
        TableRow row;
        std::wstring variable;
    } rows[] = {
        // No user data record in the prefix: the configuration counts as shared.
        {{"mode 0", L"0", data.c_str(), "CCLPPPPDPA"}, data},
        {{"mode 0 no variable", L"0", nullptr, "CCLPPPPPPA"}, L""},
        {{"mode 1", L"0x8", data.c_str(), "PPPPPPPPPP"}, data},
        {{"mode 2", L"0x100", data.c_str(), "DDDPPPPPPD"}, data},
        {{"mode 2 over mode 1", L"0x108", data.c_str(), "DDDPPPPPPD"}, data},
        {{"mode 2 no variable", L"0x100", nullptr, "PPPPPPPPPP"}, L""},
        {{"mode 2 259 characters", L"0x100", longest.c_str(), "DDDPPPPPPD"}, longest},
        {{"mode 2 260 characters", L"0x100", tooLong.c_str(), "PPPPPPPPPP"}, L""},
        {{"mode 2 300 characters", L"0x100", way.c_str(), "PPPPPPPPPP"}, L""},
    };
    const std::string program = Utf8(ProgramFolder());
    const std::string appData = Utf8(VendorFolder(CSIDL_APPDATA));
    const std::string common = Utf8(VendorFolder(CSIDL_COMMON_APPDATA));
    const std::string local = Utf8(VendorFolder(CSIDL_LOCAL_APPDATA));
    ASSERT_FALSE(appData.empty());
    ::DeleteFileW((VendorFolder(CSIDL_APPDATA) + L"\\userdata.tmd").c_str());

    for (const auto& [row, variable] : rows) {
        std::vector<EnvVar> env;
        if (row.dataFiles) env.push_back({L"PA_TARNDATAFILES", row.dataFiles});
        auto got = RunChild(L"paths", {row.flags}, env);
        EXPECT_EQ(got["kind-1"], "!") << row.name;
        EXPECT_EQ(got["kind10"], "!") << row.name;
        for (int kind = 0; kind <= 9; ++kind) {
            std::string want;
            switch (row.sources[kind]) {
                case 'P':
                    want = program;
                    break;
                case 'D':
                    want = Utf8(variable);
                    break;
                case 'A':
                    want = appData;
                    break;
                case 'C':
                    want = common;
                    break;
                case 'L':
                    want = local;
                    break;
            }
            EXPECT_EQ(got["kind" + std::to_string(kind)], want) << row.name << ", kind " << kind;
        }
    }
}

TEST(ConfigTable, SixteenThreadsMakingTheFirstCallAgree) {
    auto got = RunChild(L"paths", {L"0x100", L"threads"}, {{L"PA_TARNDATAFILES", L"C:\\x"}});
    EXPECT_EQ(got["agree"], "yes");
    EXPECT_EQ(got["kind0"], "C:\\x");
}

// ---- the caller's buffer (in this process: mode 2, kind 3 is the program folder)

TEST(ConfigPath, BufferSizes) {
    auto get = Ordinal<GetConfigPathFn>(71);
    const std::wstring program = ProgramFolder();
    const int exact = static_cast<int>(program.size()) + 1;
    struct Row {
        const char* name;
        int kind;
        int chars;
        BOOL result;
        const wchar_t* text;  // null: the buffer is untouched
    } rows[] = {
        {"0 characters", 3, 0, FALSE, nullptr},
        {"negative size", 3, -5, FALSE, nullptr},
        {"1 character", 3, 1, FALSE, L""},
        {"one short", 3, exact - 1, FALSE, L""},
        {"exact", 3, exact, TRUE, program.c_str()},
        {"roomy", 3, MAX_PATH, TRUE, program.c_str()},
        {"kind -1", -1, MAX_PATH, FALSE, L""},
        {"kind 10", 10, MAX_PATH, FALSE, L""},
        {"kind INT_MIN", INT_MIN, MAX_PATH, FALSE, L""},
    };
    for (const Row& row : rows) {
        wchar_t buffer[MAX_PATH];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        EXPECT_EQ(get(row.kind, buffer, row.chars), row.result) << row.name;
        if (row.text) {
            EXPECT_EQ(std::wstring(buffer), row.text) << row.name;
        } else {
            EXPECT_EQ(buffer[0], L'#') << row.name;
        }
    }
    EXPECT_FALSE(get(3, nullptr, MAX_PATH));
}

// ---- kwill.exe

int KwillPathChild(const std::vector<std::wstring>& args, ChildPut put) {
    HMODULE dll = ::LoadLibraryW(args.at(0).c_str());
    if (!dll) return 3;
    auto setFlags = reinterpret_cast<SetLibFlagsFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, MAKEINTRESOURCEA(26))));
    auto getPath = reinterpret_cast<GetKwillPathFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "GetKwillPathW")));
    if (!setFlags || !getPath) return 4;
    setFlags(std::wcstoul(args.at(1).c_str(), nullptr, 0), 0);
    int chars = args.size() > 2 ? std::stoi(args[2]) : MAX_PATH;
    std::vector<wchar_t> buffer(static_cast<size_t>(chars) + 1, L'#');
    BOOL ok = getPath(buffer.data(), chars);
    put("ok", ok ? "1" : "0");
    put("path", Utf8(buffer.data()));
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    put("exe", Utf8(exe));
    return 0;
}
const ChildRegistrar kKwillPath(L"kwillpath", KwillPathChild);

class AppPathValue {
  public:
    AppPathValue(HKEY root) : root_(root) {}
    ~AppPathValue() { ::RegDeleteTreeW(root_, kwill::config::kAppPathsKey); }
    bool Existed() const {
        HKEY key;
        if (::RegOpenKeyExW(root_, kwill::config::kAppPathsKey, 0, KEY_READ, &key) != 0)
            return false;
        ::RegCloseKey(key);
        return true;
    }
    // Stores the text; `terminated` false leaves the terminator out of the stored bytes.
    void Set(const std::wstring& text, bool terminated = true, DWORD type = REG_SZ) {
        HKEY key;
        ASSERT_EQ(::RegCreateKeyExW(root_, kwill::config::kAppPathsKey, 0, nullptr, 0,
                                    KEY_SET_VALUE, nullptr, &key, nullptr),
                  0);
        DWORD bytes = static_cast<DWORD>((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
        ::RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
        ::RegCloseKey(key);
    }
    void Clear() { ::RegDeleteTreeW(root_, kwill::config::kAppPathsKey); }

  private:
    HKEY root_;
};

TEST(KwillPath, InsideHostBesideTheLibraryAndAppPaths) {
    AppPathValue user(HKEY_CURRENT_USER), machine(HKEY_LOCAL_MACHINE);
    if (user.Existed() || machine.Existed()) GTEST_SKIP() << "the prefix has its own App Paths";

    TempFolder withHost, without;
    const std::wstring dll = ExeFolder() + L"kwilllib.dll";
    ASSERT_TRUE(::CopyFileW(dll.c_str(), (withHost / L"kwilllib.dll").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(dll.c_str(), (without / L"kwilllib.dll").c_str(), FALSE));
    const std::wstring beside = withHost / L"kwill.exe";
    ASSERT_TRUE(WriteFileBytes(beside, "MZ", 2));
    const std::wstring missing = without / L"gone\\kwill.exe";

    struct Row {
        const char* name;
        std::wstring dll;
        const wchar_t* flags;
        std::function<void()> arrange;
        const char* ok;
        std::wstring path;  // "<exe>": the child's own executable
        int chars = MAX_PATH;
    } rows[] = {
        {"inside the host", without / L"kwilllib.dll", L"0x4", [] {}, "1", L"<exe>"},
        {"inside the host, buffer too small", without / L"kwilllib.dll", L"0x4", [] {}, "0", L"",
         8},
        {"beside the library", withHost / L"kwilllib.dll", L"0", [] {}, "1", beside},
        {"beside, buffer one short", withHost / L"kwilllib.dll", L"0", [] {}, "0", L"",
         static_cast<int>(beside.size())},
        {"nothing anywhere", without / L"kwilllib.dll", L"0", [] {}, "0", L""},
        {"user entry, existing file", without / L"kwilllib.dll", L"0", [&] { user.Set(beside); },
         "1", beside},
        {"user entry without terminator", without / L"kwilllib.dll", L"0",
         [&] { user.Set(beside, false); }, "1", beside},
        {"user entry, expandable", without / L"kwilllib.dll", L"0",
         [&] { user.Set(L"%KWILL_TEST_HOST%", true, REG_EXPAND_SZ); }, "1", beside},
        {"user entry too long for the buffer", without / L"kwilllib.dll", L"0",
         [&] { user.Set(beside); }, "0", L"", static_cast<int>(beside.size())},
        {"user entry missing, no machine entry", without / L"kwilllib.dll", L"0",
         [&] { user.Set(missing); }, "0", L""},
        {"machine entry taken unchecked", without / L"kwilllib.dll", L"0",
         [&] {
             user.Set(missing);
             machine.Set(missing);
         },
         "1", missing},
        {"machine entry without terminator", without / L"kwilllib.dll", L"0",
         [&] { machine.Set(missing, false); }, "1", missing},
    };
    ::SetEnvironmentVariableW(L"KWILL_TEST_HOST", beside.c_str());
    for (Row& row : rows) {
        user.Clear();
        machine.Clear();
        row.arrange();
        auto got = RunChild(L"kwillpath", {row.dll, row.flags, std::to_wstring(row.chars)}, {});
        EXPECT_EQ(got["ok"], row.ok) << row.name;
        std::string want = row.path == L"<exe>" ? got["exe"] : Utf8(row.path);
        EXPECT_EQ(got["path"], want) << row.name;
    }
    ::SetEnvironmentVariableW(L"KWILL_TEST_HOST", nullptr);
}

}  // namespace
}  // namespace kwill::test::config
