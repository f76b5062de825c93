// Preference requests to the host: across processes with the stand-in host in each of its
// answering modes, within this process with a test window, a squatted section name, and the
// receiver's view of a section that claims more than it holds.
#include "hostlink/host_interface.h"
#include "hostlink/host_prefs.h"
#include "hostlink/host_request.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kwill::test {
namespace {

using kwill::host::ArchiveFormatEntry;
using kwill::host::HostPrefsFlags;
using kwill::host::HostRequestView;
using kwill::host::PrefsFlagsData;
using kwill::host::PrefsSource;

using SendFn = BOOL (*)(void*, DWORD, DWORD, HWND, UINT, LRESULT*, DWORD);
using OpenFn = BOOL (*)(DWORD, const void*, HostRequestView*);
using CloseFn = void (*)(HostRequestView*);

PrefsFlagsData Sample() {
    PrefsFlagsData d;
    d.settings1 = 0x11;
    d.settings2 = 0x22;
    d.settings4 = 0x44;
    d.zipFlags = 1;
    d.extra = 0xE;
    d.archiveContext = 7;
    d.extractionFormats = u"zip;rar";
    d.extractionMappings = u"tgz=tar";
    ArchiveFormatEntry e;
    for (int i = 0; i < 16; ++i) e.guid[i] = static_cast<uint8_t>(i);
    e.extension = u".cab";
    e.description = u"Cabinet";
    d.formatLists[1] = {e};
    return d;
}

PrefsFlagsData WordsOf(const PrefsFlagsData& d) {
    PrefsFlagsData w;
    w.settings1 = d.settings1;
    w.settings2 = d.settings2;
    w.settings4 = d.settings4;
    w.zipFlags = d.zipFlags;
    w.extra = d.extra;
    return w;
}

std::vector<std::string> PrefsLines(const StandInHost& host) {
    std::vector<std::string> out;
    for (const std::string& line : host.Lines()) {
        if (line.rfind("PREFS ", 0) == 0) {
            // The descriptor's address differs from run to run; leave it out.
            size_t at = line.find(" at ");
            size_t arrow = line.find(" -> ");
            out.push_back(at == std::string::npos ? line : line.substr(0, at) + line.substr(arrow));
        }
    }
    return out;
}

struct ModeRow {
    const char* name;
    const wchar_t* mode;
    bool full;
    bool wordsOnlyReply;  // the reply file holds the 40 flag bytes alone
    bool loaded;
    std::vector<std::string> lines;  // with N the size of the reply file
};

std::string Sized(std::string line, size_t n) {
    for (auto [key, value] : {std::pair{"N+16", n + 16}, std::pair{"N+32", n + 32},
                              std::pair{"N-8", n - 8}, std::pair{"N", n}}) {
        for (size_t at; (at = line.find(key)) != std::string::npos;)
            line.replace(at, std::strlen(key), std::to_string(value));
    }
    return line;
}

TEST(PrefsRequest, StandInHostModes) {
    const ModeRow rows[] = {
        {"given, full",
         L"given",
         true,
         false,
         true,
         {"PREFS size-query -> N", "PREFS request N flag 1 -> N"}},
        {"given, flags only", L"given", false, true, true, {"PREFS request 40 flag 0 -> 40"}},
        {"exactly 40 bytes to a full request",
         L"given",
         true,
         true,
         true,
         {"PREFS size-query -> 40", "PREFS request 40 flag 1 -> 40"}},
        {"grow once",
         L"grow-once",
         true,
         false,
         true,
         {"PREFS size-query -> N-8", "PREFS request N-8 flag 1 -> N",
          "PREFS request N flag 1 -> N"}},
        {"grow every time: one regrowth only",
         L"grow-always",
         true,
         false,
         true,
         {"PREFS size-query -> N", "PREFS request N flag 1 -> N+16",
          "PREFS request N+16 flag 1 -> N+32"}},
        {"reply 0, full", L"zero", true, false, false, {"PREFS size-query -> 0"}},
        {"reply 0, flags only", L"zero", false, true, false, {"PREFS request 40 flag 0 -> 0"}},
    };
    const PrefsFlagsData sample = Sample();
    TempFolder folder;
    for (const ModeRow& row : rows) {
        std::vector<uint8_t> reply = kwill::host::BuildPrefsReply(sample, !row.wordsOnlyReply);
        const std::wstring file = folder / L"reply.bin";
        ASSERT_TRUE(WriteFileBytes(file, reply.data(), reply.size()));
        StandInHost host;
        ASSERT_TRUE(host.Start(L"nodef \"--prefs-reply=" + file + L"\" --prefs-mode=" + row.mode))
            << row.name;

        HostPrefsFlags flags;
        EXPECT_EQ(flags.LoadFromHost(host.window(), row.full), row.loaded) << row.name;
        EXPECT_EQ(flags.loaded, row.loaded) << row.name;
        PrefsFlagsData want = !row.loaded          ? PrefsFlagsData{}
                              : row.wordsOnlyReply ? WordsOf(sample)
                                                   : sample;
        EXPECT_TRUE(static_cast<PrefsFlagsData&>(flags) == want) << row.name;
        if (row.loaded) {
            EXPECT_EQ(flags.source, PrefsSource::kHost) << row.name;
        }

        host.Stop();
        std::vector<std::string> want_lines;
        for (const std::string& line : row.lines) want_lines.push_back(Sized(line, reply.size()));
        EXPECT_EQ(PrefsLines(host), want_lines) << row.name;
    }
}

TEST(PrefsRequest, HungHostCostsTheTimeOutThenGivesUp) {
    TempFolder folder;
    std::vector<uint8_t> reply = kwill::host::BuildPrefsReply(Sample(), true);
    ASSERT_TRUE(WriteFileBytes(folder / L"reply.bin", reply.data(), reply.size()));
    StandInHost host;
    ASSERT_TRUE(
        host.Start(L"nodef \"--prefs-reply=" + (folder / L"reply.bin") + L"\" --prefs-mode=hang"));
    HostPrefsFlags flags;
    EXPECT_FALSE(flags.LoadFromHost(host.window(), true));
    EXPECT_FALSE(flags.loaded);
    EXPECT_EQ(flags.settings1, 0u);
}

// ---- within this process: a window of this thread answers through the receiving exports

std::vector<uint8_t> g_windowReply;
DWORD g_lastFlag = 0xFFFFFFFF;

LRESULT CALLBACK AnswerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == ::RegisterWindowMessageW(kwill::host::kMsgGetPrefsFlags)) {
        if (wParam == 0 && lParam == 0) return static_cast<LRESULT>(g_windowReply.size());
        HostRequestView view{};
        if (!Ordinal<OpenFn>(116)(static_cast<DWORD>(wParam), reinterpret_cast<const void*>(lParam),
                                  &view))
            return 0;
        EXPECT_FALSE(view.mapped);  // the sender's own block
        std::memcpy(&g_lastFlag, view.data, 4);
        std::memcpy(view.data, g_windowReply.data(),
                    std::min<size_t>(view.size, g_windowReply.size()));
        Ordinal<CloseFn>(117)(&view);
        EXPECT_EQ(view.data, nullptr);
        return static_cast<LRESULT>(g_windowReply.size());
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class AnswerWindow {
  public:
    AnswerWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = AnswerProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"kwilltest.prefsanswer";
        ::RegisterClassW(&wc);
        window_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
    }
    ~AnswerWindow() { ::DestroyWindow(window_); }
    HWND get() const { return window_; }

  private:
    HWND window_;
};

TEST(PrefsRequest, InProcessWindow) {
    AnswerWindow window;
    ASSERT_NE(window.get(), nullptr);
    const PrefsFlagsData sample = Sample();
    struct Row {
        const char* name;
        bool fullReply;
        bool full;
        PrefsFlagsData want;
        DWORD flag;
    } rows[] = {
        {"full", true, true, sample, 1},
        {"flags only, the host says more", true, false, sample, 0},  // grows to the full size
        {"flags only", false, false, WordsOf(sample), 0},
    };
    for (const Row& row : rows) {
        g_windowReply = kwill::host::BuildPrefsReply(sample, row.fullReply);
        HostPrefsFlags flags;
        EXPECT_TRUE(flags.LoadFromHost(window.get(), row.full)) << row.name;
        EXPECT_TRUE(static_cast<PrefsFlagsData&>(flags) == row.want) << row.name;
        EXPECT_EQ(g_lastFlag, row.flag) << row.name;
    }
}

TEST(PrefsRequest, SendArguments) {
    auto send = Ordinal<SendFn>(115);
    AnswerWindow window;
    g_windowReply = {1, 2, 3};
    UINT message = ::RegisterWindowMessageW(kwill::host::kMsgGetPrefsFlags);
    uint8_t block[8] = {9, 9, 9, 9};
    LRESULT result = 0;
    struct Row {
        const char* name;
        void* buffer;
        DWORD size;
        HWND window;
        BOOL ok;
    } rows[] = {
        {"null buffer", nullptr, 8, window.get(), FALSE},
        {"size 0", block, 0, window.get(), FALSE},
        {"no window", block, 8, nullptr, FALSE},
        {"destroyed window", block, 8, reinterpret_cast<HWND>(0x7FFF0), FALSE},
        {"answered", block, 8, window.get(), TRUE},
    };
    for (const Row& row : rows) {
        result = -1;
        EXPECT_EQ(send(row.buffer, row.size, 4, row.window, message, &result, 1000), row.ok)
            << row.name;
        if (row.ok) {
            EXPECT_EQ(result, 3) << row.name;
        } else {
            EXPECT_EQ(result, -1) << row.name;
        }
    }
    EXPECT_EQ(block[2], 3);
    EXPECT_TRUE(send(block, 8, 100, window.get(), message, nullptr, 1000));  // no result wanted
}

// ---- the section: a squatter, and a size word larger than the section

// One request to the host from a fixed place, so that the descriptor lies at the same stack
// address each time.
__attribute__((noinline)) BOOL SendOnce(HWND window) {
    uint8_t block[64] = {1};
    LRESULT result = 0;
    return Ordinal<SendFn>(115)(block, sizeof(block), 4, window,
                                ::RegisterWindowMessageW(kwill::host::kMsgGetPrefsFlags), &result,
                                5000);
}

std::string LastDescriptor(const StandInHost& host) {
    std::string found;
    for (const std::string& line : host.Lines()) {
        size_t at = line.find(" at ");
        if (line.rfind("PREFS request", 0) == 0 && at != std::string::npos)
            found = line.substr(at + 4, line.find(" -> ") - at - 4);
    }
    return found;
}

TEST(PrefsRequest, SquattedSectionNameIsRefused) {
    TempFolder folder;
    std::vector<uint8_t> reply = kwill::host::BuildPrefsReply(Sample(), false);
    ASSERT_TRUE(WriteFileBytes(folder / L"reply.bin", reply.data(), reply.size()));
    StandInHost host;
    ASSERT_TRUE(host.Start(L"nodef \"--prefs-reply=" + (folder / L"reply.bin") + L"\""));

    ASSERT_TRUE(SendOnce(host.window()));
    const std::string address = LastDescriptor(host);
    ASSERT_FALSE(address.empty());
    const void* descriptor = reinterpret_cast<const void*>(std::stoull(address));

    std::wstring name = kwill::host::RequestSectionName(::GetCurrentProcessId(), descriptor);
    HANDLE squat =
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    ASSERT_NE(squat, nullptr);
    size_t before = host.Lines().size();
    EXPECT_FALSE(SendOnce(host.window()));
    ::CloseHandle(squat);
    EXPECT_EQ(host.Lines().size(), before) << "the host must not have been asked";

    // Without the squatter the same call goes through, from the same address.
    EXPECT_TRUE(SendOnce(host.window()));
    EXPECT_EQ(LastDescriptor(host), address);
}

TEST(PrefsRequest, ReceiverNeverReachesPastTheSection) {
    auto open = Ordinal<OpenFn>(116);
    auto close = Ordinal<CloseFn>(117);
    const DWORD otherProcess = ::GetCurrentProcessId() ^ 0x40000;
    const void* descriptor = reinterpret_cast<const void*>(0x12345678);
    std::wstring name = kwill::host::RequestSectionName(otherProcess, descriptor);
    struct Row {
        const char* name;
        uint32_t sizeWord;
        BOOL ok;
    } rows[] = {
        {"empty request", 0, FALSE},
        {"small", 100, TRUE},
        {"fills the section", 65536 - 4, TRUE},
        {"one byte more than the section", 65536 - 3, FALSE},
        {"claims 4 GiB", 0xFFFFFFFF, FALSE},
    };
    for (const Row& row : rows) {
        HANDLE section = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              65536, name.c_str());
        ASSERT_NE(section, nullptr);
        void* head = ::MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 4);
        std::memcpy(head, &row.sizeWord, 4);
        ::UnmapViewOfFile(head);
        HostRequestView view{};
        EXPECT_EQ(open(otherProcess, descriptor, &view), row.ok) << row.name;
        if (row.ok) {
            EXPECT_EQ(view.size, row.sizeWord) << row.name;
            EXPECT_TRUE(view.mapped) << row.name;
            static_cast<uint8_t*>(view.data)[view.size - 1] = 1;  // the whole view is writable
        } else {
            EXPECT_EQ(view.data, nullptr) << row.name;
        }
        close(&view);
        ::CloseHandle(section);
    }
    HostRequestView view{};
    EXPECT_FALSE(open(otherProcess, descriptor, &view)) << "no section";
    EXPECT_FALSE(open(::GetCurrentProcessId(), nullptr, &view));
    EXPECT_FALSE(open(otherProcess, descriptor, nullptr));
    close(nullptr);
}

}  // namespace
}  // namespace kwill::test
