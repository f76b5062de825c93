// "kwill drop" end to end: the tool, a process of its own, loads the library, drops real files
// onto an archive through the drop target's class object, and the stand-in host records the
// archive command that arrives: kind 10 or 11, the archive's path, no extension and the files.
#include "shellext/archive_command.h"
#include "tests/common/stand_in_host.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace kwill::shellext {
namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The words of a record line: "COPYDATA <dwData> <cbData> <hex>".
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find(' ', at);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

TEST(DropTool, DropsFilesOntoAnArchiveThroughTheHost) {
    test::StandInHost host;
    ASSERT_TRUE(host.Start());
    test::TempFolder folder;
    std::wstring archive = folder / L"target.zip";
    ASSERT_TRUE(test::WriteFileBytes(archive, "PK", 2));
    ASSERT_TRUE(test::WriteFileBytes(folder / L"one.txt", "1", 1));
    ASSERT_TRUE(test::WriteFileBytes(folder / L"two words.txt", "2", 1));
    std::wstring tool = test::ExeFolder() + L"kwilltool.exe";

    struct Row {
        const wchar_t* option;
        ULONG_PTR data;
        const char* effect;
    } rows[] = {{L"", 0xA000F, "drop:    copy"}, {L" --move", 0xB000F, "drop:    move"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.data);
        size_t before = host.Lines().size();
        test::ProcessResult run = test::RunProcessCaptured(
            tool, L"drop \"" + archive + L"\" \"" + (folder / L"one.txt") + L"\" \"" +
                      (folder / L"two words.txt") + L"\"" + r.option);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
        EXPECT_NE(run.out.find("load:    0x00000000"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("files:   2"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(r.effect), std::string::npos) << run.out;

        std::vector<std::string> lines = host.Lines();
        ASSERT_EQ(lines.size(), before + 1);
        std::vector<std::string> words = Words(lines.back());
        ASSERT_GE(words.size(), 4u) << lines.back();
        EXPECT_EQ(words[0], "COPYDATA");
        EXPECT_EQ(words[1], std::to_string(r.data));
        std::vector<uint8_t> block = FromHex(words[3]);
        ASSERT_EQ(std::to_string(block.size()), words[2]);
        // The archive's path, an empty extension, then the shell's DROPFILES block.
        std::vector<uint8_t> head = BuildArchiveCommand(archive, L"", {});
        ASSERT_GT(block.size(), head.size());
        EXPECT_TRUE(std::equal(head.begin(), head.end(), block.begin()));
        std::vector<std::wstring> names =
            ParseDropFiles(std::span<const uint8_t>(block).subspan(head.size()));
        std::vector<std::wstring> expected = {folder / L"one.txt", folder / L"two words.txt"};
        EXPECT_EQ(names, expected);
    }

    // Nothing to drop onto: the tool says so and the host hears nothing.
    size_t before = host.Lines().size();
    test::ProcessResult refused = test::RunProcessCaptured(
        tool, L"drop \"" + (folder / L"one.txt") + L"\" \"" + archive + L"\"");
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_NE(refused.out.find("load:    0x80004005 (refused"), std::string::npos) << refused.out;
    test::ProcessResult missing = test::RunProcessCaptured(
        tool, L"drop \"" + archive + L"\" \"" + (folder / L"nothing here.txt") + L"\"");
    EXPECT_EQ(missing.exitCode, 1u);
    EXPECT_NE(missing.err.find("no such file"), std::string::npos) << missing.err;
    EXPECT_EQ(host.Lines().size(), before);
    EXPECT_TRUE(host.Stop());
}

}  // namespace
}  // namespace kwill::shellext
