// Stream snapshots on a fake store (Wine has no alternate streams), and under Wine itself, where
// the real store must give nothing and write nothing.
#include "tests/common/test_support.h"
#include "util/file_streams.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kwill::util {
namespace {

// A file system of streams in memory. Each stream is a byte string; behaviour per stream name
// lets a test make opens, reads and writes fail.
class FakeStore final : public StreamStore {
  public:
    struct Listed {
        std::wstring name;
        uint64_t size;
    };
    bool canEnumerate = true;
    bool keepsNamed = true;
    std::vector<Listed> listing;                        // what Enumerate reports
    std::map<std::wstring, std::vector<uint8_t>> data;  // stream path -> bytes
    std::set<std::wstring> failOpen, failCreate;
    std::map<std::wstring, uint32_t> failReadAt, failWriteAt;  // byte offset of the failing call
    std::vector<uint32_t> readSizes, writeSizes;
    std::set<std::wstring> deleted;

    bool CanEnumerate() override { return canEnumerate; }
    bool Enumerate(const std::wstring&,
                   const std::function<void(const std::wstring&, uint64_t)>& found) override {
        for (const Listed& l : listing) found(l.name, l.size);
        return !listing.empty();
    }
    bool KeepsNamedStreams(const std::wstring&) override { return keepsNamed; }
    void* Open(const std::wstring& path) override {
        if (failOpen.count(path) || !data.count(path)) return nullptr;
        return NewHandle(path, false);
    }
    void* Create(const std::wstring& path) override {
        if (failCreate.count(path)) return nullptr;
        data[path].clear();
        return NewHandle(path, true);
    }
    bool Read(void* h, void* buffer, uint32_t length, uint32_t& read) override {
        Handle& s = handles_.at(h);
        readSizes.push_back(length);
        auto fail = failReadAt.find(s.path);
        if (fail != failReadAt.end() && s.at >= fail->second) return false;
        const auto& bytes = data[s.path];
        read = static_cast<uint32_t>(std::min<size_t>(length, bytes.size() - s.at));
        std::copy_n(bytes.begin() + s.at, read, static_cast<uint8_t*>(buffer));
        s.at += read;
        return true;
    }
    bool Write(void* h, const void* p, uint32_t length, uint32_t& written) override {
        Handle& s = handles_.at(h);
        writeSizes.push_back(length);
        auto fail = failWriteAt.find(s.path);
        if (fail != failWriteAt.end() && s.at >= fail->second) return false;
        auto* bytes = static_cast<const uint8_t*>(p);
        data[s.path].insert(data[s.path].end(), bytes, bytes + length);
        s.at += length;
        written = length;
        return true;
    }
    void Close(void* h) override { handles_.erase(h); }
    bool Delete(const std::wstring& path) override {
        deleted.insert(path);
        return data.erase(path) > 0;
    }
    size_t OpenHandles() const { return handles_.size(); }

    // Lists a stream of the file and gives it content.
    void Add(const std::wstring& file, const std::wstring& name, std::vector<uint8_t> bytes) {
        listing.push_back({name, bytes.size()});
        data[file + name] = std::move(bytes);
    }

  private:
    struct Handle {
        std::wstring path;
        uint32_t at = 0;
    };
    void* NewHandle(const std::wstring& path, bool) {
        void* h = reinterpret_cast<void*>(++next_);
        handles_[h] = {path};
        return h;
    }
    std::map<void*, Handle> handles_;
    uintptr_t next_ = 0x1000;
};

class StreamsOnFake : public ::testing::Test {
  protected:
    void SetUp() override { InstallStreamStore(&store); }
    void TearDown() override {
        InstallStreamStore(nullptr);
        EXPECT_EQ(store.OpenHandles(), 0u);
    }
    FakeStore store;
    const std::wstring file = L"C:\\f.txt";
};

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return v;
}

TEST_F(StreamsOnFake, DefaultStreamSkippedOnceAndOthersKeptInNameOrder) {
    store.listing.push_back({L"::$DATA", 10});
    store.Add(file, L":zone:$DATA", {'[', 'Z', ']'});
    store.Add(file, L":Alpha:$DATA", {1});
    // A second stream of the default name is not skipped again.
    store.listing.push_back({L"::$data", 0});
    store.data[file + L"::$data"] = {};
    FileStreamSet* set = SnapshotFileStreams(file.c_str());
    ASSERT_NE(set, nullptr);
    std::vector<std::wstring> names;
    for (const auto& [name, entry] : set->streams) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"::$data", L":Alpha:$DATA", L":zone:$DATA"}));
    EXPECT_EQ(set->streams[L":zone:$DATA"].bytes, (std::vector<uint8_t>{'[', 'Z', ']'}));
    FreeFileStreams(set);
}

TEST_F(StreamsOnFake, WhenThereIsNothingToKeepTheResultIsNull) {
    struct Case {
        const char* what;
        bool canEnumerate;
        bool defaultOnly;
    };
    for (Case c : {Case{"no enumeration", false, false}, Case{"default stream only", true, true},
                   Case{"enumeration fails", true, false}}) {
        FakeStore fake;
        fake.canEnumerate = c.canEnumerate;
        if (c.defaultOnly) fake.listing.push_back({L"::$DATA", 5});
        InstallStreamStore(&fake);
        EXPECT_EQ(SnapshotFileStreams(file.c_str()), nullptr) << c.what;
    }
    InstallStreamStore(&store);
    EXPECT_EQ(SnapshotFileStreams(nullptr), nullptr);
}

TEST_F(StreamsOnFake, LargeStreamReadAndWrittenInChunksOf64KiB) {
    auto bytes = Pattern(200000);
    store.Add(file, L":big:$DATA", bytes);
    FileStreamSet* set = SnapshotFileStreams(file.c_str());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(store.readSizes, (std::vector<uint32_t>{65536, 65536, 65536, 3392}));
    RestoreFileStreams(set, L"C:\\new.txt");
    EXPECT_EQ(store.writeSizes, (std::vector<uint32_t>{65536, 65536, 65536, 3392}));
    EXPECT_EQ(store.data[L"C:\\new.txt:big:$DATA"], bytes);
    FreeFileStreams(set);
}

TEST_F(StreamsOnFake, FailuresAtSnapshot) {
    store.Add(file, L":unopenable:$DATA", Pattern(100));
    store.failOpen.insert(file + L":unopenable:$DATA");
    store.Add(file, L":unreadable:$DATA", Pattern(100000));
    store.failReadAt[file + L":unreadable:$DATA"] = 65536;
    store.Add(file, L":shrunk:$DATA", Pattern(100));
    store.listing.back().size = 150;  // listed larger than it reads
    store.listing.push_back({L":huge:$DATA", 0x100000000ull});
    FileStreamSet* set = SnapshotFileStreams(file.c_str());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->streams.count(L":unreadable:$DATA"), 0u) << "a failed read leaves it out";
    EXPECT_EQ(set->streams.count(L":huge:$DATA"), 0u) << "4 GiB does not fit the 32-bit count";
    ASSERT_EQ(set->streams.count(L":unopenable:$DATA"), 1u);
    EXPECT_EQ(set->streams[L":unopenable:$DATA"].count, 100u);
    EXPECT_TRUE(set->streams[L":unopenable:$DATA"].bytes.empty());
    EXPECT_EQ(set->streams[L":shrunk:$DATA"].count, 100u);
    EXPECT_EQ(set->streams[L":shrunk:$DATA"].bytes, Pattern(100));

    // Restored: the unopenable one as an empty stream, never read from a missing buffer.
    RestoreFileStreams(set, L"C:\\new.txt");
    EXPECT_EQ(store.data.count(L"C:\\new.txt:unopenable:$DATA"), 1u);
    EXPECT_TRUE(store.data[L"C:\\new.txt:unopenable:$DATA"].empty());
    EXPECT_EQ(store.data[L"C:\\new.txt:shrunk:$DATA"], Pattern(100));
    FreeFileStreams(set);
}

TEST_F(StreamsOnFake, FailuresAtRestore) {
    store.Add(file, L":a:$DATA", Pattern(10));
    store.Add(file, L":b:$DATA", Pattern(150000));
    store.Add(file, L":c:$DATA", Pattern(10));
    FileStreamSet* set = SnapshotFileStreams(file.c_str());
    ASSERT_NE(set, nullptr);
    const std::wstring target = L"C:\\t.txt";
    store.failCreate.insert(target + L":a:$DATA");
    store.failWriteAt[target + L":b:$DATA"] = 65536;
    RestoreFileStreams(set, target.c_str());
    EXPECT_EQ(store.data.count(target + L":a:$DATA"), 0u);
    EXPECT_EQ(store.data.count(target + L":b:$DATA"), 0u) << "a half-written stream is deleted";
    EXPECT_EQ(store.deleted.count(target + L":b:$DATA"), 1u);
    EXPECT_EQ(store.data[target + L":c:$DATA"], Pattern(10));

    // A volume without named streams gets nothing at all.
    store.keepsNamed = false;
    size_t before = store.data.size();
    RestoreFileStreams(set, L"C:\\fat.txt");
    EXPECT_EQ(store.data.size(), before);
    RestoreFileStreams(nullptr, target.c_str());
    FreeFileStreams(set);
    FreeFileStreams(nullptr);
}

// Under Wine the real store: no stream enumeration that succeeds, so no snapshot; and a restore
// must not leave a file named "name:stream:$DATA" beside the target.
TEST(StreamsOnThisSystem, SnapshotIsNullAndRestoreLeavesNoStrayFile) {
    test::TempFolder folder;
    std::wstring path = folder / L"file.txt";
    ASSERT_TRUE(test::WriteFileBytes(path, "hello", 5));
    using SnapshotFn = FileStreamSet*(__cdecl*)(const wchar_t*);
    using RestoreFn = void(__cdecl*)(const FileStreamSet*, const wchar_t*);
    using FreeFn = void(__cdecl*)(FileStreamSet*);
    auto snapshot = test::Ordinal<SnapshotFn>(146);
    auto restore = test::Ordinal<RestoreFn>(147);
    auto release = test::Ordinal<FreeFn>(148);
    ASSERT_TRUE(snapshot && restore && release);
    EXPECT_EQ(snapshot(path.c_str()), nullptr);

    FileStreamSet set;
    set.streams[L":Zone.Identifier:$DATA"] = {{'[', 'Z', ']'}, 3};
    restore(&set, path.c_str());
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder / L"*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int files = 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    EXPECT_EQ(files, 1);
    release(nullptr);
}

}  // namespace
}  // namespace kwill::util
