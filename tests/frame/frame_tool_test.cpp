// The tool's frame commands, run as the separate program they are.
#include "tests/common/test_support.h"
#include "tools/common/text_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kwill {
namespace {

using test::Named;

std::wstring Tool() {
    return test::ExeFolder() + L"kwilltool.exe";
}

TEST(FrameTool, XmlCheckGivesAVerdictAndPrintsOnlyOnRequest) {
    test::TempFolder folder;
    struct Row {
        const char* content;
        const char* options;
        DWORD exitCode;
        const char* out;  // what standard output holds after "FILE: "
        const char* err;  // a piece of standard error
    } rows[] = {
        {"<a><b x='1'>text</b></a>", "", 0, "well-formed, 2 elements, deepest nesting 2\n", ""},
        {"<?xml version='1.0'?><!-- c --><a/><b><c><d/></c><e/></b>", "", 0,
         "well-formed, 5 elements, deepest nesting 3\n", ""},
        {"\xEF\xBB\xBF<r/>", "", 0,
         "well-formed, 1 element, deepest nesting 1, UTF-8 byte-order mark\n", ""},
        {"<a><b></a>", "", 1, nullptr, "at row 1, column"},
        {"", "", 1, nullptr, "not loaded"},
        {"<a><b x='1'/></a>", "--print", 0, nullptr, "well-formed, 2 elements"},
    };
    for (const Row& row : rows) {
        std::wstring path = folder / L"check.xml";
        ASSERT_TRUE(test::WriteFileBytes(path, row.content, std::strlen(row.content)));
        test::ProcessResult result = test::RunProcessCaptured(
            Tool(), L"xml check \"" + path + L"\" " + tools::WideFromUtf8(row.options));
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.content;
        if (row.out) {
            EXPECT_EQ(result.out, tools::Utf8FromWide(path) + ": " + row.out) << row.content;
        }
        EXPECT_NE(result.err.find(row.err), std::string::npos) << row.content << ": " << result.err;
    }
}

TEST(FrameTool, XmlCheckPrintShowsTheDocument) {
    test::TempFolder folder;
    std::wstring path = folder / L"doc.xml";
    const char content[] = "<a><b x='1'/></a>";
    ASSERT_TRUE(test::WriteFileBytes(path, content, sizeof(content) - 1));
    test::ProcessResult result =
        test::RunProcessCaptured(Tool(), L"xml check --print \"" + path + L"\"");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_NE(result.out.find("<b x=\"1\" />"), std::string::npos) << result.out;
}

TEST(FrameTool, FailuresNameTheSystemsReason) {
    test::TempFolder folder;
    std::wstring missing = folder / L"no-such-file.xml";
    // The message is the system's own text with the code after it, never the bare number.
    for (const wchar_t* command : {L"xml check ", L"find needle ", L"regex needle ", L"hash "}) {
        test::ProcessResult result =
            test::RunProcessCaptured(Tool(), command + (L"\"" + missing + L"\""));
        ASSERT_TRUE(result.finished);
        EXPECT_NE(result.exitCode, 0u) << tools::Utf8FromWide(command);
        EXPECT_NE(result.err.find("(error 2)"), std::string::npos)
            << tools::Utf8FromWide(command) << result.err;
        EXPECT_EQ(result.err.find(": error 2"), std::string::npos)
            << tools::Utf8FromWide(command) << result.err;
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
