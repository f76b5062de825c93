// Damaged archives: every truncation of a small encrypted archive and of a small ZIP64 one, and
// 20,000 seeded mutations (bit flips, fields set to 0, 0xFFFF or 0xFFFFFFFF) through the reader,
// the streaming path and the info requests. The only outcomes allowed are an error or the exact
// original member; memory stays bounded by the read limit.
#include "tests/zip/zip_support.h"
#include "zip/zip_info.h"
#include "zip/zip_reader.h"
#include "zip/zip_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace kwill::zip {
namespace {

constexpr uint64_t kLimit = 1 << 20;
constexpr char kPassword[] = "fuzz pass";

struct Sample {
    std::vector<uint8_t> archive;
    std::map<std::string, std::vector<uint8_t>> members;
};

// A small archive: deflated, stored and empty members, a folder, a comment.
Sample MakeSample(bool encrypted, bool zip64) {
    Sample s;
    s.members["text.txt"] = test::MixedBytes(3000, 11);
    s.members["stored.bin"] = test::MixedBytes(200, 12);
    s.members["empty"] = {};
    s.members["dir/"] = {};
    test::TempFolder folder;
    std::wstring path = folder / L"sample.zip";
    ZipWriter writer;
    EXPECT_EQ(writer.Create(path.c_str()), ZipError::Ok);
    writer.ForceZip64(zip64);
    writer.SetComment("comment");
    for (auto& [name, data] : s.members) {
        MemberOptions options;
        options.level = name == "stored.bin" ? 0 : 6;
        if (encrypted) options.password = kPassword;
        EXPECT_EQ(writer.AddBuffer(name, data, options), ZipError::Ok);
    }
    EXPECT_EQ(writer.AddFolder("dir"), ZipError::Ok);
    EXPECT_EQ(writer.Commit(), ZipError::Ok);
    s.archive = test::ReadFileBytes(path);
    return s;
}

// Runs every reader path over the bytes. Returns how many members read back whole.
int Exercise(const std::vector<uint8_t>& bytes, const Sample& sample, const char* password) {
    int good = 0;
    for (int code : {kInfoCountFiles, kInfoComment}) {
        ZipInfoRequestBlock request{sizeof(ZipInfoRequestBlock), code, nullptr, 0, nullptr, -1};
        ZipInfoRequest(request, std::make_unique<MemorySource>(bytes));
        EXPECT_GE(request.result, 0);
        if (request.text) ::LocalFree(request.text);
    }
    ZipReader reader;
    if (reader.Open(std::make_unique<MemorySource>(bytes)) != ZipError::Ok) {
        EXPECT_TRUE(reader.Entries().empty());
        return 0;
    }
    // The streaming path, which the members' small sizes would otherwise skip.
    reader.SetWholeExtractLimit(0);
    for (const ZipEntry& entry : reader.Entries()) {
        auto original = sample.members.find(entry.name);
        std::vector<uint8_t> out;
        ZipError e = reader.Read(entry, password, kLimit, out);
        if (e == ZipError::Ok) {
            EXPECT_TRUE(original != sample.members.end() && out == original->second) << entry.name;
            ++good;
        } else {
            EXPECT_TRUE(out.empty());
        }
        size_t streamed = 0;
        std::vector<uint8_t> pieces;
        e = reader.Extract(entry, password, [&](const uint8_t* p, size_t n) {
            streamed += n;
            if (streamed > kLimit) return false;
            pieces.insert(pieces.end(), p, p + n);
            return true;
        });
        if (e == ZipError::Ok) {
            EXPECT_TRUE(original != sample.members.end() && pieces == original->second)
                << entry.name;
        }
    }
    return good;
}

TEST(ZipFuzz, EveryTruncation) {
    for (bool zip64 : {false, true}) {
        Sample sample = MakeSample(!zip64, zip64);
        const char* password = zip64 ? "" : kPassword;
        ASSERT_EQ(Exercise(sample.archive, sample, password), 5) << "the whole archive reads";
        for (size_t keep = 0; keep < sample.archive.size(); ++keep) {
            std::vector<uint8_t> cut(sample.archive.begin(), sample.archive.begin() + keep);
            Exercise(cut, sample, password);
        }
    }
}

TEST(ZipFuzz, SeededMutations) {
    Sample sample = MakeSample(true, false);
    Sample sample64 = MakeSample(false, true);
    std::mt19937 random(20140);
    int readable = 0;
    for (int i = 0; i < 20000; ++i) {
        const Sample& s = i % 2 ? sample64 : sample;
        std::vector<uint8_t> bytes = s.archive;
        size_t at = random() % bytes.size();
        switch (random() % 5) {
            case 0:
                bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            case 1:
                for (size_t k = at; k < std::min(at + 2, bytes.size()); ++k) bytes[k] = 0;
                break;
            case 2:
                for (size_t k = at; k < std::min(at + 2, bytes.size()); ++k) bytes[k] = 0xFF;
                break;
            case 3:
                for (size_t k = at; k < std::min(at + 4, bytes.size()); ++k) bytes[k] = 0;
                break;
            default:
                for (size_t k = at; k < std::min(at + 4, bytes.size()); ++k) bytes[k] = 0xFF;
                break;
        }
        readable += Exercise(bytes, s, i % 2 ? "" : kPassword);
        if (HasFailure()) {
            ADD_FAILURE() << "mutation " << i << " at " << at;
            return;
        }
    }
    // Most single changes leave most members readable (they land in data the CRC covers, or in
    // fields the reader does not need): a reader that refused everything would fail here.
    EXPECT_GT(readable, 20000);
}

}  // namespace
}  // namespace kwill::zip
