// The reader against archives made by Info-ZIP's zip and Python's zipfile: every producer's
// layout (stored, deflated, encrypted with a data descriptor, forced ZIP64 records and extras,
// streamed output, a stub in front with and without adjusted offsets, offsets above 4 GiB, 70,000
// entries) must read back byte for byte, and what the reader must refuse it refuses.
#include "tests/zip/zip_support.h"
#include "zip/zip_format.h"
#include "zip/zip_reader.h"
#include "zip/zip_writer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kwill::zip {
namespace {

using test::Fixture;
using test::FixtureBytes;

constexpr uint64_t kNoLimit = ~uint64_t(0);

struct MemberCase {
    const wchar_t* archive;
    const char* member;
    const char* password;
    const wchar_t* original;  // under src\, or null for an empty member
};

const MemberCase kMembers[] = {
    {L"stored.zip", "text.txt", "", L"text.txt"},
    {L"stored.zip", "random.bin", "", L"random.bin"},
    {L"stored.zip", "empty.txt", "", nullptr},
    {L"stored.zip", "folder/inner.txt", "", L"folder\\inner.txt"},
    {L"deflate.zip", "text.txt", "", L"text.txt"},
    {L"deflate.zip", "random.bin", "", L"random.bin"},
    {L"deflate.zip", "empty.txt", "", nullptr},
    {L"password.zip", "text.txt", "secret", L"text.txt"},
    {L"password.zip", "random.bin", "secret", L"random.bin"},
    {L"forced64.zip", "text.txt", "", L"text.txt"},
    {L"forced64.zip", "random.bin", "", L"random.bin"},
    {L"stdin.zip", "-", "", L"text.txt"},
    {L"stub_plain.exe", "text.txt", "", L"text.txt"},
    {L"stub_adjusted.exe", "random.bin", "", L"random.bin"},
    {L"py_zip64.zip", "text.txt", "", L"text.txt"},
    {L"py_zip64.zip", "random.bin", "", L"random.bin"},
    {L"py_unseekable.zip", "text.txt", "", L"text.txt"},
    {L"py_unseekable.zip", "random.bin", "", L"random.bin"},
    {L"py_far.zip", "far.txt", "", L"text.txt"},
};

TEST(ZipReader, ReadsEveryProducersMembersByteExact) {
    for (const MemberCase& c : kMembers) {
        SCOPED_TRACE(testing::Message()
                     << "archive " << std::string(c.archive, c.archive + wcslen(c.archive))
                     << " member " << c.member);
        std::vector<uint8_t> expected;
        if (c.original) expected = FixtureBytes(std::wstring(L"src\\") + c.original);
        ZipReader reader;
        ASSERT_EQ(reader.Open(Fixture(c.archive).c_str()), ZipError::Ok);
        const ZipEntry* entry = reader.Find(c.member);
        ASSERT_NE(entry, nullptr);
        std::vector<uint8_t> whole;
        EXPECT_EQ(reader.Read(*entry, c.password, kNoLimit, whole), ZipError::Ok);
        EXPECT_EQ(whole, expected);
        // Extracted whole, and streamed through zlib.
        for (uint64_t wholeLimit : {kNoLimit, uint64_t(0)}) {
            reader.SetWholeExtractLimit(wholeLimit);
            std::vector<uint8_t> streamed;
            EXPECT_EQ(reader.Extract(*entry, c.password,
                                     [&](const uint8_t* p, size_t n) {
                                         streamed.insert(streamed.end(), p, p + n);
                                         return true;
                                     }),
                      ZipError::Ok);
            EXPECT_EQ(streamed, expected);
        }
    }
}

TEST(ZipReader, LayoutFacts) {
    struct Case {
        const wchar_t* archive;
        size_t entries;
        uint64_t prefix;
        bool zip64;
    };
    const Case cases[] = {
        {L"deflate.zip", 4, 0, false},       {L"stub_plain.exe", 4, 4096, false},
        {L"stub_adjusted.exe", 4, 0, false}, {L"py_zip64.zip", 2, 0, false},
        {L"py_far.zip", 1, 0, true},         {L"py_many.zip", 70000, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.archive, c.archive + wcslen(c.archive)));
        ZipReader reader;
        ASSERT_EQ(reader.Open(Fixture(c.archive).c_str()), ZipError::Ok);
        EXPECT_EQ(reader.Entries().size(), c.entries);
        EXPECT_EQ(reader.PrefixSize(), c.prefix);
        EXPECT_EQ(reader.Zip64(), c.zip64);
    }
}

TEST(ZipReader, SeventyThousandEntries) {
    ZipReader reader;
    ASSERT_EQ(reader.Open(Fixture(L"py_many.zip").c_str()), ZipError::Ok);
    ASSERT_EQ(reader.Entries().size(), 70000u);
    for (int i : {0, 65535, 65536, 69999}) {
        char name[32], text[16];
        std::snprintf(name, sizeof name, "n/%05d.txt", i);
        std::snprintf(text, sizeof text, "%d\n", i);
        std::vector<uint8_t> bytes;
        ASSERT_EQ(reader.Read(name, "", kNoLimit, bytes), ZipError::Ok) << name;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
    }
}

TEST(ZipReader, NamesAndComment) {
    ZipReader reader;
    ASSERT_EQ(reader.Open(Fixture(L"py_names.zip").c_str()), ZipError::Ok);
    ASSERT_EQ(reader.Entries().size(), 1u);
    EXPECT_EQ(reader.Entries()[0].name,
              "caf\xC3\xA9/\xC3\xBC"
              "ber.txt");
    EXPECT_EQ(reader.Comment(), "archive comment");
}

TEST(ZipReader, RefusesWhatItMustNotRead) {
    struct Case {
        const wchar_t* archive;
        const char* member;
        const char* password;
        uint64_t limit;
        ZipError open;
        ZipError read;
    };
    const Case cases[] = {
        {L"split.zip", "text.txt", "", kNoLimit, ZipError::SplitArchive, ZipError::Ok},
        {L"plain.exe", "", "", kNoLimit, ZipError::NotZip, ZipError::Ok},
        {L"src\\empty.txt", "", "", kNoLimit, ZipError::NotZip, ZipError::Ok},
        {L"missing.zip", "", "", kNoLimit, ZipError::CannotOpen, ZipError::Ok},
        {L"password.zip", "text.txt", "", kNoLimit, ZipError::Ok, ZipError::PasswordRequired},
        {L"deflate.zip", "text.txt", "", 138889, ZipError::Ok, ZipError::TooLarge},
        {L"deflate.zip", "text.txt", "", 138890, ZipError::Ok, ZipError::Ok},
        {L"deflate.zip", "nothere", "", kNoLimit, ZipError::Ok, ZipError::NotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.archive, c.archive + wcslen(c.archive)));
        ZipReader reader;
        ASSERT_EQ(reader.Open(Fixture(c.archive).c_str()), c.open);
        if (c.open != ZipError::Ok) {
            EXPECT_TRUE(reader.Entries().empty());
            continue;
        }
        std::vector<uint8_t> out{1, 2, 3};
        EXPECT_EQ(reader.Read(c.member, c.password, c.limit, out), c.read);
        if (c.read != ZipError::Ok) {
            EXPECT_TRUE(out.empty());
        }
    }
}

// One buffer reused for member after member is overwritten whole: a shorter member leaves
// nothing of a longer one behind, and a failed read leaves the buffer empty, not holding the
// last member's bytes.
TEST(ZipReader, OneBufferForManyMembers) {
    ZipReader reader;
    ASSERT_EQ(reader.Open(Fixture(L"deflate.zip").c_str()), ZipError::Ok);
    std::vector<uint8_t> out(3 << 20, 0xA5);
    for (const char* member : {"random.bin", "text.txt", "empty.txt", "random.bin", "text.txt"}) {
        std::string original = std::string("src\\") + member;
        EXPECT_EQ(reader.Read(member, "", kNoLimit, out), ZipError::Ok) << member;
        EXPECT_TRUE(out == FixtureBytes(std::wstring(original.begin(), original.end()))) << member;
    }
    EXPECT_EQ(reader.Read("text.txt", "", 1000, out), ZipError::TooLarge);
    EXPECT_TRUE(out.empty());
}

// Writes data as the one deflated member of an archive in memory.
std::vector<uint8_t> OneMemberArchive(const std::vector<uint8_t>& data) {
    test::TempFolder folder;
    std::wstring path = folder / L"one.zip";
    ZipWriter writer;
    EXPECT_EQ(writer.Create(path.c_str()), ZipError::Ok);
    EXPECT_EQ(writer.AddBuffer("data.bin", data), ZipError::Ok);
    EXPECT_EQ(writer.Commit(), ZipError::Ok);
    return test::ReadFileBytes(path);
}

// A member whose recorded sizes disagree with its deflate stream (in the local header and the
// directory alike, so that both agree), read whole and streamed in many pieces, from memory and
// from a file, into a buffer that already holds the right bytes: the same error everywhere and
// no output.
TEST(ZipReader, SizesThatDisagreeWithTheStream) {
    const std::vector<uint8_t> data = test::MixedBytes((1 << 20) + 54321, 9);
    const std::vector<uint8_t> archive = OneMemberArchive(data);
    ASSERT_GT(archive.size(), 100u);
    ASSERT_EQ(Get32(archive.data()), kLocalHeaderSig);
    ASSERT_EQ(Get16(archive.data() + 8), kMethodDeflate);
    size_t central = archive.size() - kEndRecordSize;
    central = Get32(archive.data() + central + 16);
    ASSERT_EQ(Get32(archive.data() + central), kCentralHeaderSig);
    struct Case {
        const char* what;
        int64_t compressedBy;  // added to the recorded compressed size
        int64_t sizeBy;        // added to the recorded uncompressed size
        ZipError expected;
    };
    const Case cases[] = {
        {"as written", 0, 0, ZipError::Ok},
        {"one byte more than the stream holds", 0, 1, ZipError::BadData},
        {"one byte less than the stream holds", 0, -1, ZipError::BadData},
        {"half the stream's output", 0, -int64_t(data.size() / 2), ZipError::BadData},
        {"twice the stream's output", 0, int64_t(data.size()), ZipError::BadData},
        {"stream cut short by one byte", -1, 0, ZipError::BadData},
        {"stream cut to half", -int64_t(Get32(archive.data() + 18) / 2), 0, ZipError::BadData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> copy = archive;
        for (size_t field : {size_t(18), central + 20}) {
            uint32_t v = Get32(copy.data() + field) + static_cast<uint32_t>(c.compressedBy);
            std::memcpy(copy.data() + field, &v, 4);
        }
        for (size_t field : {size_t(22), central + 24}) {
            uint32_t v = Get32(copy.data() + field) + static_cast<uint32_t>(c.sizeBy);
            std::memcpy(copy.data() + field, &v, 4);
        }
        test::TempFolder folder;
        std::wstring path = folder / L"sized.zip";
        ASSERT_TRUE(test::WriteFileBytes(path, copy.data(), copy.size()));
        for (bool inMemory : {true, false}) {
            SCOPED_TRACE(inMemory ? "in memory" : "on disk");
            ZipReader reader;
            ASSERT_EQ(inMemory ? reader.Open(std::make_unique<MemorySource>(copy))
                               : reader.Open(path.c_str()),
                      ZipError::Ok);
            const ZipEntry& entry = reader.Entries().front();
            std::vector<uint8_t> out = data;
            EXPECT_EQ(reader.Read(entry, "", kNoLimit, out), c.expected);
            EXPECT_TRUE(c.expected == ZipError::Ok ? out == data : out.empty());
            for (uint64_t wholeLimit : {kNoLimit, uint64_t(0)}) {
                reader.SetWholeExtractLimit(wholeLimit);
                std::vector<uint8_t> streamed;
                size_t pieces = 0;
                EXPECT_EQ(reader.Extract(entry, "",
                                         [&](const uint8_t* p, size_t n) {
                                             streamed.insert(streamed.end(), p, p + n);
                                             return ++pieces > 0;
                                         }),
                          c.expected);
                if (c.expected == ZipError::Ok) {
                    EXPECT_TRUE(streamed == data);
                    EXPECT_GT(pieces, 4u);
                }
            }
        }
    }
}

// A wrong password fails at the check byte 255 times in 256; otherwise the data or the CRC
// gives it away. Either way no output.
TEST(ZipReader, WrongPasswordNeverGivesData) {
    ZipReader reader;
    ASSERT_EQ(reader.Open(Fixture(L"password.zip").c_str()), ZipError::Ok);
    int refusedAtCheckByte = 0;
    for (const char* password : {"Secret", "secret ", "x", "wickerfen", "secre", "0123456789"}) {
        std::vector<uint8_t> out;
        ZipError e = reader.Read("text.txt", password, kNoLimit, out);
        EXPECT_NE(e, ZipError::Ok) << password;
        EXPECT_TRUE(out.empty());
        refusedAtCheckByte += e == ZipError::WrongPassword;
    }
    EXPECT_GE(refusedAtCheckByte, 4);
}

TEST(ZipReader, ReadZipMemberInOneCall) {
    std::vector<uint8_t> out;
    EXPECT_EQ(ReadZipMember(Fixture(L"password.zip").c_str(), "text.txt", "secret", 16 << 20, out),
              ZipError::Ok);
    EXPECT_EQ(out, FixtureBytes(L"src\\text.txt"));
    EXPECT_EQ(ReadZipMember(Fixture(L"password.zip").c_str(), "text.txt", "secret", 100, out),
              ZipError::TooLarge);
    EXPECT_TRUE(out.empty());
}

// Damage to the bytes of a real archive, read from memory: every outcome is an error code or
// the exact original, never other data.
TEST(ZipReader, DamagedCopiesGiveErrorsOrTheOriginal) {
    std::vector<uint8_t> archive = FixtureBytes(L"deflate.zip");
    std::vector<uint8_t> text = FixtureBytes(L"src\\text.txt");
    ASSERT_FALSE(archive.empty());
    // A byte in the local header, in the deflate data, in the directory, in the end record.
    const size_t centralNameField = archive.size() - 22 - 1;
    for (size_t at : {size_t(8), size_t(14), size_t(26), size_t(60), size_t(500), size_t(5000),
                      archive.size() - 200, archive.size() - 22 + 10, archive.size() - 22 + 16,
                      centralNameField}) {
        for (uint8_t flip : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
            std::vector<uint8_t> copy = archive;
            copy[at] ^= flip;
            ZipReader reader;
            if (reader.Open(std::make_unique<MemorySource>(copy)) != ZipError::Ok) continue;
            std::vector<uint8_t> out;
            if (reader.Read("text.txt", "", kNoLimit, out) == ZipError::Ok)
                EXPECT_EQ(out, text) << "byte " << at << " flip " << int(flip);
            else
                EXPECT_TRUE(out.empty());
        }
    }
}

}  // namespace
}  // namespace kwill::zip
