// The writer: what it writes reads back through the reader byte for byte, and goes to the output
// folder where Info-ZIP's unzip and Python's zipfile check it after the run.
#include "frame/platform.h"
#include "tests/zip/zip_support.h"
#include "zip/zip_format.h"
#include "zip/zip_reader.h"
#include "zip/zip_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace kwill::zip {
namespace {

using test::MixedBytes;
using test::OutputFolder;

constexpr uint64_t kNoLimit = ~uint64_t(0);

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(size);
    for (auto& b : out) b = static_cast<uint8_t>(random());
    return out;
}

struct Member {
    const char* name;
    std::vector<uint8_t> data;
    int level;
    uint16_t expectMethod;
};

// Writes the members with the password into name (in the output folder) and reads every one
// back; the password goes beside the archive for the native check.
void RoundTrip(const wchar_t* name, const std::vector<Member>& members, const std::string& password,
               bool zip64 = false, const std::string& comment = {}) {
    std::wstring path = OutputFolder() + name;
    ZipWriter writer;
    ASSERT_EQ(writer.Create(path.c_str()), ZipError::Ok);
    writer.ForceZip64(zip64);
    writer.SetComment(comment);
    for (const Member& m : members) {
        MemberOptions options;
        options.level = m.level;
        options.password = password;
        ASSERT_EQ(writer.AddBuffer(m.name, m.data, options), ZipError::Ok) << m.name;
    }
    ASSERT_EQ(writer.AddFolder("folder"), ZipError::Ok);
    ASSERT_EQ(writer.Commit(), ZipError::Ok);
    if (!password.empty())
        test::WriteFileBytes(path + L".password", password.data(), password.size());

    ZipReader reader;
    ASSERT_EQ(reader.Open(path.c_str()), ZipError::Ok);
    EXPECT_EQ(reader.Zip64(), zip64);
    EXPECT_EQ(reader.Comment(), comment);
    ASSERT_EQ(reader.Entries().size(), members.size() + 1);
    EXPECT_TRUE(reader.Entries().back().IsFolder());
    for (const Member& m : members) {
        const ZipEntry* entry = reader.Find(m.name);
        ASSERT_NE(entry, nullptr) << m.name;
        EXPECT_EQ(entry->method, m.expectMethod) << m.name;
        EXPECT_EQ(entry->Encrypted(), !password.empty());
        EXPECT_EQ((entry->flags & kFlagUtf8) != 0, !IsAscii(m.name)) << m.name;
        std::vector<uint8_t> out;
        EXPECT_EQ(reader.Read(*entry, password, kNoLimit, out), ZipError::Ok) << m.name;
        EXPECT_TRUE(out == m.data) << m.name;
    }
}

std::vector<Member> StandardMembers() {
    return {
        {"text.txt", MixedBytes(300000, 1), 6, kMethodDeflate},
        {"random.bin", RandomBytes(70000, 2), 6, kMethodStored},  // incompressible: stored
        {"stored.txt", MixedBytes(5000, 3), 0, kMethodStored},
        {"empty.txt", {}, 6, kMethodStored},
        {"one.txt", {'x'}, 9, kMethodStored},
        {"sub/dir/fast.txt", MixedBytes(100000, 4), 1, kMethodDeflate},
        {"caf\xC3\xA9/\xE2\x82\xAC.txt", MixedBytes(1000, 5), 6, kMethodDeflate},
    };
}

TEST(ZipWriter, RoundTrips) {
    RoundTrip(L"ours_plain.zip", StandardMembers(), "", false, "a comment");
    RoundTrip(L"ours_encrypted.zip", StandardMembers(), "s3cret pass");
    RoundTrip(L"ours_zip64.zip", StandardMembers(), "", true);
    RoundTrip(L"ours_zip64_encrypted.zip", StandardMembers(), "wickerfen", true);
}

TEST(ZipWriter, SeventyThousandEntriesNeedZip64Records) {
    std::wstring path = OutputFolder() + L"ours_many.zip";
    ZipWriter writer;
    ASSERT_EQ(writer.Create(path.c_str()), ZipError::Ok);
    MemberOptions stored;
    stored.level = 0;
    for (int i = 0; i < 70000; ++i) {
        std::string text = std::to_string(i);
        ASSERT_EQ(
            writer.AddBuffer("n/" + text,
                             {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, stored),
            ZipError::Ok);
    }
    ASSERT_EQ(writer.Commit(), ZipError::Ok);
    ZipReader reader;
    ASSERT_EQ(reader.Open(path.c_str()), ZipError::Ok);
    EXPECT_TRUE(reader.Zip64());
    ASSERT_EQ(reader.Entries().size(), 70000u);
    std::vector<uint8_t> out;
    ASSERT_EQ(reader.Read("n/69999", "", kNoLimit, out), ZipError::Ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), "69999");
}

// A file above the whole-file limit (lowered here from 64 MiB) is streamed: through zlib, and when
// encrypted with a data descriptor and the check byte taken from the time.
TEST(ZipWriter, StreamsLargeFiles) {
    test::TempFolder folder;
    std::wstring source = folder / L"big.bin";
    std::vector<uint8_t> big = MixedBytes((3 << 20) + 12345, 7);
    ASSERT_TRUE(test::WriteFileBytes(source, big.data(), big.size()));
    for (const char* password : {"", "stream pass"}) {
        std::wstring path =
            OutputFolder() + (*password ? L"ours_streamed_encrypted.zip" : L"ours_streamed.zip");
        ZipWriter writer;
        ASSERT_EQ(writer.Create(path.c_str()), ZipError::Ok);
        writer.SetWholeFileLimit(1 << 20);
        MemberOptions options;
        options.password = password;
        ASSERT_EQ(writer.AddFile("big.bin", source.c_str(), options), ZipError::Ok);
        ASSERT_EQ(writer.Commit(), ZipError::Ok);
        if (*password) test::WriteFileBytes(path + L".password", password, strlen(password));
        ZipReader reader;
        ASSERT_EQ(reader.Open(path.c_str()), ZipError::Ok);
        const ZipEntry* entry = reader.Find("big.bin");
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->method, kMethodDeflate);
        EXPECT_EQ((entry->flags & kFlagDataDescriptor) != 0, *password != 0);
        std::vector<uint8_t> out;
        ASSERT_EQ(reader.Read(*entry, password, kNoLimit, out), ZipError::Ok);
        EXPECT_TRUE(out == big);
    }
}

// A member of more than 4 GiB: its sizes fit only in ZIP64 fields, and neither the writer's nor
// the reader's counts may wrap at 32 bits. The source is a sparse file, zeros but for marks at
// the start, in the middle, past 4 GiB and at the end; the archive goes to the output folder for
// unzip and Python. Skipped where the file system would really write the zeros.
TEST(ZipWriter, MemberAboveFourGibibytes) {
    constexpr uint64_t kSize = (4ull << 30) + (1 << 20) + 7;
    const std::pair<uint64_t, std::string> marks[] = {
        {0, "start"}, {2ull << 30, "middle"}, {(4ull << 30) + 5, "past 4 GiB"}, {kSize - 3, "end"}};
    test::TempFolder folder;
    const std::wstring source = folder / L"huge.bin";
    {
        HANDLE f = ::CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD ignored = 0;
        ::DeviceIoControl(f, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER at;
        bool ok = true;
        for (const auto& [offset, text] : marks) {
            at.QuadPart = static_cast<LONGLONG>(offset);
            DWORD written = 0;
            ok = ok && ::SetFilePointerEx(f, at, nullptr, FILE_BEGIN) &&
                 ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
        FILE_STANDARD_INFO info{};
        ok = ok && ::GetFileInformationByHandleEx(f, FileStandardInfo, &info, sizeof info);
        ::CloseHandle(f);
        ASSERT_TRUE(ok);
        ASSERT_EQ(static_cast<uint64_t>(info.EndOfFile.QuadPart), kSize);
        if (info.AllocationSize.QuadPart > (64 << 20))
            GTEST_SKIP() << "no sparse files here: " << info.AllocationSize.QuadPart << " bytes";
    }

    const std::wstring path = OutputFolder() + L"ours_huge_member.zip";
    ZipWriter writer;
    ASSERT_EQ(writer.Create(path.c_str()), ZipError::Ok);
    MemberOptions fast;
    fast.level = 1;
    ASSERT_EQ(writer.AddFile("huge.bin", source.c_str(), fast), ZipError::Ok);
    ASSERT_EQ(writer.AddBuffer("after.txt", MixedBytes(1000, 9)), ZipError::Ok);
    ASSERT_EQ(writer.Commit(), ZipError::Ok);

    ZipReader reader;
    ASSERT_EQ(reader.Open(path.c_str()), ZipError::Ok);
    const ZipEntry* entry = reader.Find("huge.bin");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->uncompressedSize, kSize);
    EXPECT_EQ(entry->method, kMethodDeflate);
    uint64_t at = 0;
    std::vector<std::string> found(std::size(marks));
    ASSERT_EQ(reader.Extract(*entry, "",
                             [&](const uint8_t* p, size_t n) {
                                 for (size_t i = 0; i < std::size(marks); ++i) {
                                     const uint64_t begin = marks[i].first,
                                                    end = begin + marks[i].second.size();
                                     for (uint64_t k = std::max(begin, at);
                                          k < std::min(end, at + n); ++k)
                                         found[i] += static_cast<char>(p[k - at]);
                                 }
                                 at += n;
                                 return true;
                             }),
              ZipError::Ok);
    EXPECT_EQ(at, kSize);
    for (size_t i = 0; i < std::size(marks); ++i) EXPECT_EQ(found[i], marks[i].second);
    std::vector<uint8_t> after;
    ASSERT_EQ(reader.Read("after.txt", "", kNoLimit, after), ZipError::Ok);
    EXPECT_TRUE(after == MixedBytes(1000, 9));
}

TEST(ZipWriter, RefusedNamesAndCalls) {
    test::TempFolder folder;
    std::wstring path = folder / L"names.zip";
    ZipWriter writer;
    std::vector<uint8_t> data{1, 2, 3};
    EXPECT_EQ(writer.AddBuffer("early.txt", data), ZipError::InvalidState);
    EXPECT_EQ(writer.Commit(), ZipError::InvalidState);
    ASSERT_EQ(writer.Create(path.c_str()), ZipError::Ok);
    for (const char* bad :
         {"", "/absolute", "a/../b", "..", "C:drive", "bad\xFFutf8", "\\\\server"}) {
        EXPECT_EQ(writer.AddBuffer(bad, data), ZipError::InvalidName) << bad;
    }
    EXPECT_EQ(writer.AddFile("missing", (folder / L"none.bin").c_str()), ZipError::CannotOpen);
    // Backslashes become slashes; the archive is still good after the refusals.
    ASSERT_EQ(writer.AddBuffer("win\\style.txt", data), ZipError::Ok);
    ASSERT_EQ(writer.Commit(), ZipError::Ok);
    ZipReader reader;
    ASSERT_EQ(reader.Open(path.c_str()), ZipError::Ok);
    ASSERT_EQ(reader.Entries().size(), 1u);
    EXPECT_EQ(reader.Entries()[0].name, "win/style.txt");
}

TEST(ZipWriter, NothingOnDiskUntilCommitAndNothingAfterAbandon) {
    test::TempFolder folder;
    std::wstring path = folder / L"later.zip";
    {
        ZipWriter writer;
        ASSERT_EQ(writer.Create(path.c_str()), ZipError::Ok);
        ASSERT_EQ(writer.AddBuffer("a.txt", MixedBytes(1000, 1)), ZipError::Ok);
        EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        writer.Abandon();
        EXPECT_TRUE(test::FilesIn(folder.path()).empty());
        ASSERT_EQ(writer.Create(path.c_str()), ZipError::Ok);
        ASSERT_EQ(writer.AddBuffer("b.txt", MixedBytes(1000, 1)), ZipError::Ok);
    }  // destroyed without Commit
    EXPECT_TRUE(test::FilesIn(folder.path()).empty());
    ZipWriter writer;
    EXPECT_EQ(writer.Create((folder / L"no such folder\\x.zip").c_str()), ZipError::CannotOpen);
}

}  // namespace
}  // namespace kwill::zip
