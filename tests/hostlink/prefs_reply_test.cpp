// The preference reply layout: built and parsed back, every truncation of a full reply, and
// random bytes, each placed against an inaccessible page so that a read past the end faults.
#include "frame/platform.h"
#include "hostlink/prefs_reply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace kwill::test {
namespace {

using kwill::host::ArchiveFormatEntry;
using kwill::host::PrefsFlagsData;

ArchiveFormatEntry Entry(uint8_t seed, std::u16string ext, std::u16string desc) {
    ArchiveFormatEntry e;
    for (int i = 0; i < 16; ++i) e.guid[i] = static_cast<uint8_t>(seed + i);
    e.extension = std::move(ext);
    e.description = std::move(desc);
    return e;
}

PrefsFlagsData Sample() {
    PrefsFlagsData d;
    d.settings1 = 0x0102030405060708;
    d.settings2 = 1;
    d.settings4 = UINT64_MAX;
    d.zipFlags = 1;
    d.extra = 0x8000000000000000;
    d.archiveContext = 62;
    d.extractionFormats = u"zip;7z;r\u00E4r";
    d.extractionMappings = u"";
    d.formatLists[0] = {Entry(1, u".zip", u"ZIP"), Entry(2, u".7z", u"7-Zip")};
    d.formatLists[1] = {};
    d.formatLists[2] = {Entry(3, u"", u"\U0001F600")};
    return d;
}

// Bytes copied to the very end of a read-write page that an inaccessible page follows.
class GuardedBytes {
  public:
    GuardedBytes() {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<uint8_t*>(
            ::VirtualAlloc(nullptr, page_ * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        ::VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedBytes() { ::VirtualFree(base_, 0, MEM_RELEASE); }
    std::span<const uint8_t> Place(const uint8_t* data, size_t size) {
        uint8_t* at = base_ + page_ - size;
        if (size) std::memcpy(at, data, size);
        return {at, size};
    }

  private:
    size_t page_ = 0;
    uint8_t* base_ = nullptr;
};

TEST(PrefsReply, BuildAndParseBack) {
    struct Row {
        const char* name;
        PrefsFlagsData data;
        bool full;
        size_t bytes;
        int fields;
    } rows[] = {
        {"sample, full", Sample(), true, 0, 11},
        {"sample, flags only", Sample(), false, 40, 5},
        {"empty, full", PrefsFlagsData{}, true, 40 + 4 + 2 + 2 + 12, 11},
    };
    rows[0].bytes = 40 + 4 + 2 * 11 + 2 + 3 * 4 + (16 + 10 + 8) + (16 + 8 + 12) + (16 + 2 + 6);
    for (Row& row : rows) {
        std::vector<uint8_t> reply = kwill::host::BuildPrefsReply(row.data, row.full);
        EXPECT_EQ(reply.size(), row.bytes) << row.name;
        PrefsFlagsData back;
        EXPECT_EQ(kwill::host::ParsePrefsReply(reply, back), row.fields) << row.name;
        PrefsFlagsData want = row.data;
        if (!row.full) {
            PrefsFlagsData wordsOnly;
            wordsOnly.settings1 = want.settings1;
            wordsOnly.settings2 = want.settings2;
            wordsOnly.settings4 = want.settings4;
            wordsOnly.zipFlags = want.zipFlags;
            wordsOnly.extra = want.extra;
            want = wordsOnly;
        }
        EXPECT_TRUE(back == want) << row.name;
    }
}

// Each prefix of the full reply gives exactly the fields wholly inside it, and nothing past it
// is read.
TEST(PrefsReply, EveryTruncation) {
    const PrefsFlagsData full = Sample();
    const std::vector<uint8_t> reply = kwill::host::BuildPrefsReply(full, true);
    // Where each field ends, in order; an entry ends with its description.
    const size_t s1 = 44 + 2 * 11;  // after extractionFormats
    const size_t s2 = s1 + 2;       // after extractionMappings
    const size_t l0 = s2 + 4, e00 = l0 + 34, e01 = e00 + 36;
    const size_t l1 = e01 + 4;
    const size_t l2 = l1 + 4, e20 = l2 + 24;
    ASSERT_EQ(e20, reply.size());
    GuardedBytes guard;
    for (size_t n = 0; n <= reply.size(); ++n) {
        PrefsFlagsData got;
        int fields = kwill::host::ParsePrefsReply(guard.Place(reply.data(), n), got);
        int want = n < 40   ? 0
                   : n < 44 ? 5
                   : n < s1 ? 6
                   : n < s2 ? 7
                   : n < l0 ? 8
                   : n < l1 ? 9
                   : n < l2 ? 10
                            : 11;
        EXPECT_EQ(fields, want) << n << " bytes";
        EXPECT_EQ(got.settings4, n >= 40 ? full.settings4 : 0u) << n;
        EXPECT_EQ(got.archiveContext, n >= 44 ? full.archiveContext : 0u) << n;
        EXPECT_EQ(got.extractionFormats, n >= s1 ? full.extractionFormats : u"") << n;
        size_t list0 = n >= e01 ? 2 : n >= e00 ? 1 : 0;
        EXPECT_EQ(got.formatLists[0].size(), list0) << n;
        if (list0) {
            EXPECT_TRUE(got.formatLists[0][0] == full.formatLists[0][0]) << n;
        }
        EXPECT_EQ(got.formatLists[2].size(), n >= e20 ? 1u : 0u) << n;
    }
}

TEST(PrefsReply, CountsAndStringsPastTheEnd) {
    std::vector<uint8_t> reply = kwill::host::BuildPrefsReply(PrefsFlagsData{}, true);
    // The first list claims a billion entries; one whole entry follows.
    uint32_t huge = 1000000000;
    std::memcpy(reply.data() + 48, &huge, 4);
    std::vector<uint8_t> entry(16, 0xAB);
    for (char16_t c : std::u16string(u"x\0y\0", 4)) {
        entry.push_back(static_cast<uint8_t>(c));
        entry.push_back(0);
    }
    reply.insert(reply.begin() + 52, entry.begin(), entry.end());
    reply.resize(52 + entry.size() + 3);  // a few stray bytes of a second entry
    GuardedBytes guard;
    PrefsFlagsData got;
    EXPECT_EQ(kwill::host::ParsePrefsReply(guard.Place(reply.data(), reply.size()), got), 9);
    ASSERT_EQ(got.formatLists[0].size(), 1u);
    EXPECT_EQ(got.formatLists[0][0].extension, u"x");
    EXPECT_EQ(got.formatLists[0][0].description, u"y");

    // A string whose terminator would be the reply's last, odd byte is not taken.
    std::vector<uint8_t> odd = kwill::host::BuildPrefsReply(PrefsFlagsData{}, false);
    odd.insert(odd.end(), {0, 0, 0, 0, 'a', 0, 0});
    PrefsFlagsData got2;
    EXPECT_EQ(kwill::host::ParsePrefsReply(guard.Place(odd.data(), odd.size()), got2), 6);
    EXPECT_EQ(got2.extractionFormats, u"");
}

TEST(PrefsReply, RandomBytesNeverReachPastTheEnd) {
    std::mt19937 random(20261207);
    GuardedBytes guard;
    std::vector<uint8_t> bytes;
    for (int round = 0; round < 3000; ++round) {
        bytes.resize(random() % 400);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() % 4 ? random() % 3 : random());
        PrefsFlagsData got;
        int fields = kwill::host::ParsePrefsReply(guard.Place(bytes.data(), bytes.size()), got);
        EXPECT_LE(fields, 11);
        if (bytes.size() < 40) {
            EXPECT_EQ(fields, 0);
        }
    }
}

}  // namespace
}  // namespace kwill::test
