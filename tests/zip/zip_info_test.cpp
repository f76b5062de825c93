// The tip handler's info requests through the export: counts that leave folders out, the codes
// for split volumes, damaged directories and files that are not archives, and the comment text.
#include "tests/zip/zip_support.h"
#include "zip/zip_info.h"
#include "zip/zip_writer.h"

#include <gtest/gtest.h>

namespace kwill::zip {
namespace {

using RequestFn = int(__cdecl*)(ZipInfoRequestBlock*);

TEST(ZipInfo, Requests) {
    auto request = test::Named<RequestFn>("ZipInfoRequest");
    ASSERT_NE(request, nullptr);
    test::TempFolder folder;
    std::wstring mine = folder / L"mine.zip";
    {
        ZipWriter writer;
        ASSERT_EQ(writer.Create(mine.c_str()), ZipError::Ok);
        for (const char* name : {"a.txt", "b/c.txt", "b/d.txt"})
            ASSERT_EQ(writer.AddBuffer(name, test::MixedBytes(10, 1)), ZipError::Ok);
        ASSERT_EQ(writer.AddFolder("b"), ZipError::Ok);
        ASSERT_EQ(writer.AddFolder("e/"), ZipError::Ok);
        writer.SetComment(
            "\x81"
            "ber");  // code page 437: "über"
        ASSERT_EQ(writer.Commit(), ZipError::Ok);
    }
    std::vector<uint8_t> damaged = test::FixtureBytes(L"deflate.zip");
    // The signature of the last directory entry.
    size_t last = damaged.size() - 4;
    while (last > 0 && !(damaged[last] == 'P' && damaged[last + 1] == 'K' &&
                         damaged[last + 2] == 1 && damaged[last + 3] == 2))
        --last;
    ASSERT_GT(last, 0u);
    damaged[last + 2] = 9;
    std::wstring broken = folder / L"broken.zip";
    ASSERT_TRUE(test::WriteFileBytes(broken, damaged.data(), damaged.size()));

    struct Case {
        std::wstring file;
        int code;
        int result;
        uint32_t count;
        const wchar_t* text;
    };
    const Case cases[] = {
        {mine, kInfoCountFiles, kInfoOk, 3, nullptr},
        {test::Fixture(L"deflate.zip"), kInfoCountFiles, kInfoOk, 4, nullptr},
        {test::Fixture(L"py_many.zip"), kInfoCountFiles, kInfoOk, 70000, nullptr},
        {test::Fixture(L"split.zip"), kInfoCountFiles, kInfoSplitVolume, 0, nullptr},
        {test::Fixture(L"plain.exe"), kInfoCountFiles, kInfoNotZip, 0, nullptr},
        {broken, kInfoCountFiles, kInfoDamaged, 0, nullptr},
        {folder / L"missing.zip", kInfoCountFiles, kInfoCannotOpen, 0, nullptr},
        {mine, kInfoComment, kInfoOk, 0, L"\u00FCber"},
        {test::Fixture(L"py_names.zip"), kInfoComment, kInfoOk, 0, L"archive comment"},
        {test::Fixture(L"deflate.zip"), kInfoComment, kInfoNoComment, 0, nullptr},
        {mine, 2, kInfoUnknownCode, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::string(c.file.begin(), c.file.end()) << " code " << c.code);
        ZipInfoRequestBlock block{sizeof(ZipInfoRequestBlock),   c.code, c.file.c_str(), 99,
                                  reinterpret_cast<wchar_t*>(1), -1};
        EXPECT_EQ(request(&block), c.result);
        EXPECT_EQ(block.result, c.result);
        EXPECT_EQ(block.count, c.count);
        if (c.text) {
            ASSERT_NE(block.text, nullptr);
            EXPECT_EQ(std::wstring(block.text), c.text);
            ::LocalFree(block.text);
        } else {
            EXPECT_EQ(block.text, nullptr);
        }
    }
    EXPECT_EQ(request(nullptr), -1);
}

}  // namespace
}  // namespace kwill::zip
