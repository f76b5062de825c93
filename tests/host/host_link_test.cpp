// The host link end to end: a second process runs the stand-in host; this process finds its
// window by class and title and sends it the host's messages and records.
#include "hostlink/host_interface.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace kwill {
namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    return all;
}

TEST(HostLink, NoHostNoWindow) {
    EXPECT_EQ(host::FindHostWindow(), nullptr);
    EXPECT_EQ(test::Named<HWND (*)()>("GetHostWindow")(), nullptr);
}

TEST(HostLink, MessagesAndRecordsReachTheHost) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"nodef dblclk"));

    // The library finds the same window, by name and by its ordinal.
    EXPECT_EQ(test::Named<HWND (*)()>("GetHostWindow")(), stand.window());
    EXPECT_EQ(test::Ordinal<HWND (*)()>(49)(), stand.window());
    DWORD pid = 0;
    ::GetWindowThreadProcessId(stand.window(), &pid);
    EXPECT_EQ(pid, stand.processId());

    UINT newLister = ::RegisterWindowMessageW(host::kMsgNewLister);
    ASSERT_TRUE(::PostMessageW(stand.window(), newLister, host::kNewListerWParam, 0));
    UINT prefs = ::RegisterWindowMessageW(host::kMsgPrefs);
    ASSERT_TRUE(::PostMessageW(stand.window(), prefs, 0, 0x1234));

    const wchar_t layout[] = L"Layouts\\Two panes";
    COPYDATASTRUCT cds{host::kCopyDataLayout, sizeof(layout), const_cast<wchar_t*>(layout)};
    EXPECT_EQ(::SendMessageW(stand.window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), TRUE);

    unsigned char archive[] = {1, 2, 0xfe};
    COPYDATASTRUCT cds2{host::ArchiveCommandKind(3), sizeof(archive), archive};
    ::SendMessageW(stand.window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds2));

    DWORD_PTR result = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(stand.window(), host::kMsgAppCommand,
                                      host::kModCtrl | host::kModShift, 42, SMTO_ABORTIFHUNG,
                                      host::kAppCommandTimeoutMs * 50, &result));
    EXPECT_EQ(result, 1u);
    ASSERT_TRUE(::PostMessageW(stand.window(), host::kMsgDefaultWindow, 0, 0));

    ASSERT_TRUE(stand.Stop());
    std::vector<std::string> lines = stand.Lines();
    std::string all = Joined(lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("START nodef dblclk event kwillrt-startup-", 0), 0u) << all;
    EXPECT_TRUE(Contains(lines, "REGISTERED kwillmsg.NewLister 2 0")) << all;
    EXPECT_TRUE(Contains(lines, "REGISTERED kwillmsg.Prefs 0 4660")) << all;
    std::string layoutHex;
    for (size_t i = 0; i < sizeof(layout); ++i) {
        char byte[3];
        std::snprintf(byte, 3, "%02x", reinterpret_cast<const unsigned char*>(layout)[i]);
        layoutHex += byte;
    }
    EXPECT_TRUE(Contains(lines, "COPYDATA 12 " + std::to_string(sizeof(layout)) + " " + layoutHex +
                                    " text \"Layouts\\Two panes\""))
        << all;
    EXPECT_TRUE(Contains(lines, "COPYDATA 196623 3 0102fe")) << all;  // 15 + 3 * 65536
    EXPECT_TRUE(Contains(lines, "MESSAGE 0x801d 6 42")) << all;
    EXPECT_TRUE(Contains(lines, "MESSAGE 0x8162 0 0")) << all;
    EXPECT_EQ(lines.back(), "EXIT") << all;
    EXPECT_EQ(host::FindHostWindow(), nullptr);
}

// The library loads inside the host as it does in the real program.
TEST(HostLink, LibraryLoadsInsideTheHost) {
    test::StandInHost stand;
    ASSERT_TRUE(stand.Start(L"autolister", true));
    ASSERT_TRUE(stand.Stop());
    std::vector<std::string> lines = stand.Lines();
    EXPECT_TRUE(Contains(lines, "LIBRARY loaded")) << Joined(lines);
}

}  // namespace
}  // namespace kwill
