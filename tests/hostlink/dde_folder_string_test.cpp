// The DDE folder requests as text: which path, which shared-list pair and which fallback a
// request carries. Fetching the shared list is tested with real shared memory in explorer_test.
#include "hostlink/dde_folder_string.h"

#include "tools/common/text_io.h"

#include <gtest/gtest.h>

#include <string>

namespace kwill::hostlink {
namespace {

std::string Show(const std::wstring& text) {
    return tools::Utf8FromWide(text);
}

constexpr uint64_t kNone = 0xDEAD0001;  // no pair in the request
constexpr uint64_t kBad = 0xDEAD0002;   // a pair whose numbers do not fit

TEST(DdeFolderString, Forms) {
    struct Row {
        const wchar_t* text;
        bool afterCommand;
        const wchar_t* path;
        uint64_t handle;  // or kNone, kBad
        uint32_t processId;
        const wchar_t* fallback;
    };
    const Row rows[] = {
        {L"[ViewFolder(\"C:\\Temp\", :123:456, 1)]", false, L"C:\\Temp", 123, 456, L""},
        {L"[ExploreFolder(\"C:\\Temp\",:123:456,1)]", false, L"C:\\Temp", 123, 456, L""},
        {L"[FindFolder(\"C:\\Temp\", :123:456)]", false, L"C:\\Temp", 123, 456, L""},
        {L"[ViewFolder(\"\", :7:8, 1)]", false, L"", 7, 8, L""},
        {L"[ViewFolder(\"C:\\a,b\", :1:2, 1)]", false, L"C:\\a,b", 1, 2, L""},
        // an unquoted first argument is not a path
        {L"[ViewFolder(C:\\Temp, :1:2, 1)]", false, L"", 1, 2, L""},
        {L"[ViewFolder(\"C:\\x\")]", false, L"C:\\x", kNone, 0, L""},
        {L"[ViewFolder(\"C:\\x\", 1)]", false, L"C:\\x", kNone, 0, L""},
        {L"[ViewFolder(\"C:\\x\", :1, 1)]", false, L"C:\\x", kNone, 0, L""},
        {L"[ViewFolder(\"C:\\x\", \"D:\\y\")]", false, L"C:\\x", kNone, 0, L""},
        {L"[ViewFolder(\"C:\\x\",\":1:2\")]", false, L"C:\\x", kNone, 0, L""},
        {L"[ViewFolder(\"C:\\x\", :-5:7, 1)]", false, L"C:\\x", 0 - 5ull, 7, L""},
        {L"[ViewFolder(\"C:\\x\", :18446744073709551615:7, 1)]", false, L"C:\\x", ~0ull, 7, L""},
        {L"[ViewFolder(\"C:\\x\", :18446744073709551616:7, 1)]", false, L"C:\\x", kBad, 0, L""},
        {L"[ViewFolder(\"C:\\x\", :1:4294967296, 1)]", false, L"C:\\x", kBad, 0, L""},
        {L"[ViewFolder(\"C:\\x\", :-:5, 1)]", false, L"C:\\x", kBad, 0, L""},
        {L"[ViewFolder(\"unterminated", false, L"unterminated", kNone, 0, L""},
        {L"[ViewFolder", false, L"", kNone, 0, L""},
        {L"[ViewFolder(\"C:\\x\", :1:2, 1)]", true, L"C:\\x", 1, 2, L""},
        // after-command form
        {L":12345:6789,C:\\Temp", true, L"", 12345, 6789, L"C:\\Temp"},
        {L",C:\\Temp", true, L"", kNone, 0, L"C:\\Temp"},
        {L":1:2,C:\\Temp\\\\\\", true, L"", 1, 2, L"C:\\Temp\\\\"},
        {L":1:2,file:///", true, L"", 1, 2, L"file://"},
        {L":1:2,C:\\a,b", true, L"", 1, 2, L"C:\\a,b"},
        {L":1:2", true, L"", 1, 2, L""},
        {L":1:2,", true, L"", 1, 2, L""},
        {L"C:\\Temp", true, L"", kNone, 0, L""},
        {L"\"C:\\Temp\"", true, L"", kNone, 0, L""},
        {L"", true, L"", kNone, 0, L""},
        {L":99999999999999999999999:1,C:\\Temp", true, L"", kBad, 0, L"C:\\Temp"},
        // neither form: the first field is skipped
        {L"C:\\Temp,:1:2,D:\\x", false, L"", 1, 2, L"D:\\x"},
        {L"C:\\Temp", false, L"", kNone, 0, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Show(row.text));
        DdeFolderRequest r = ScanDdeFolderString(row.text, row.afterCommand);
        EXPECT_EQ(Show(r.path), Show(row.path));
        EXPECT_EQ(Show(r.fallback), Show(row.fallback));
        if (row.handle == kNone) {
            EXPECT_FALSE(r.shared.has_value());
        } else if (row.handle == kBad) {
            EXPECT_TRUE(r.shared.has_value());
            EXPECT_FALSE(r.sharedValid);
        } else {
            ASSERT_TRUE(r.shared.has_value());
            EXPECT_TRUE(r.sharedValid);
            EXPECT_EQ(r.shared->handle, row.handle);
            EXPECT_EQ(r.shared->processId, row.processId);
        }
    }
}

TEST(DdeFolderString, PathsAreCapped) {
    std::wstring longPath(3000, L'p');
    DdeFolderRequest quoted =
        ScanDdeFolderString(L"[ViewFolder(\"" + longPath + L"\", :1:2, 1)]", false);
    EXPECT_EQ(quoted.path.size(), kDdePathChars);
    EXPECT_TRUE(quoted.sharedValid);
    DdeFolderRequest after = ScanDdeFolderString(L":1:2," + longPath, true);
    EXPECT_EQ(after.fallback.size(), kDdePathChars);
}

TEST(DdeFolderString, FallbackPath) {
    EXPECT_EQ(Show(DdeFallbackPath(ScanDdeFolderString(L":1:2,C:\\a", true))), "C:\\a");
    EXPECT_EQ(
        Show(DdeFallbackPath(ScanDdeFolderString(L"[ViewFolder(\"D:\\x\", :1:2, 1)]", false))),
        "D:\\x");
}

// Random mutations of real requests: every scan ends, and its strings stay within the caps.
TEST(DdeFolderString, MutatedRequestsStayBounded) {
    const std::wstring seeds[] = {L"[ViewFolder(\"C:\\Temp\", :123:456, 1)]",
                                  L":12345:6789,C:\\Temp"};
    const wchar_t alphabet[] = L"[](),:\"-0123456789 aZ\\/";
    uint32_t state = 6;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    for (int i = 0; i < 5000; ++i) {
        std::wstring text = seeds[i % 2];
        for (int m = next() % 6; m >= 0; --m) {
            size_t at = next() % (text.size() + 1);
            switch (next() % 3) {
                case 0:
                    text.insert(at, 1, alphabet[next() % (std::size(alphabet) - 1)]);
                    break;
                case 1:
                    if (at < text.size()) text.erase(at, 1);
                    break;
                default:
                    if (at < text.size()) text[at] = alphabet[next() % (std::size(alphabet) - 1)];
            }
        }
        DdeFolderRequest r = ScanDdeFolderString(text, (i & 2) != 0);
        EXPECT_LE(r.path.size(), kDdePathChars);
        EXPECT_LE(r.fallback.size(), kDdePathChars);
    }
}

}  // namespace
}  // namespace kwill::hostlink
