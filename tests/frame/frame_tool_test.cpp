// The tool's frame commands, run as the separate program they are.
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kwill {
namespace {

using test::Named;

std::wstring Tool() {
    return test::ExeFolder() + L"kwilltool.exe";
}

TEST(FrameTool, XmlCheckSucceedsOnGoodFilesAndFailsOnBadOnes) {
    test::TempFolder folder;
    struct Row {
        const char* content;
        DWORD exitCode;
    } rows[] = {
        {"<a><b x='1'>text</b></a>", 0},
        {"<a><b></a>", 1},
        {"", 1},
    };
    for (const Row& row : rows) {
        std::wstring path = folder / L"check.xml";
        ASSERT_TRUE(test::WriteFileBytes(path, row.content, std::strlen(row.content)));
        test::ProcessResult result = test::RunProcess(Tool(), L"xml check \"" + path + L"\"");
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.content;
    }
}

TEST(FrameTool, DebugConsoleReceivesWhatTheLibrarySends) {
    auto send = Named<LRESULT (*)(const wchar_t*)>("SendDebugConsole");
    ASSERT_NE(send, nullptr);
    std::wstring commandLine = L"\"" + Tool() + L"\" debug-console --max 1";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(Tool().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &si, &pi));
    // The console answers TRUE once its window is up; until then nothing is listening. A busy
    // machine can take seconds to start a Wine process, so the wait is by time, not by tries.
    LRESULT answer = 0;
    for (DWORD start = ::GetTickCount(); !answer && ::GetTickCount() - start < 60000;) {
        if (::WaitForSingleObject(pi.hProcess, 25) == WAIT_OBJECT_0) break;
        answer = send(L"hello from the test\n");
    }
    EXPECT_EQ(answer, TRUE);
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    ::GetExitCodeProcess(pi.hProcess, &exitCode);
    if (exitCode == 99 || exitCode == STILL_ACTIVE) ::TerminateProcess(pi.hProcess, 98);
    EXPECT_EQ(exitCode, 0u);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

}  // namespace
}  // namespace kwill
