// Compressed files through the exports, as the host calls them: round trips at the sizes that
// break buffer code, scrambling, the two zero bytes, files from and for Python's zlib, failures
// that must keep the old file, and the archive finder.
#include "tests/zip/zip_support.h"

#include <gtest/gtest.h>

#include <random>

namespace kwill {
namespace {

using LoadFn = int(__cdecl*)(const wchar_t*, void**, uint32_t*, uint32_t);
using SaveFn = int(__cdecl*)(const wchar_t*, const void*, uint32_t, uint32_t);
using ContainsFn = int(__cdecl*)(const wchar_t*);

struct Api {
    LoadFn load = test::Named<LoadFn>("LoadZipCompressedFile");
    SaveFn save = test::Named<SaveFn>("SaveZipCompressedFile");
    ContainsFn contains = test::Named<ContainsFn>("DoesExeFileContainZip");
};

std::vector<uint8_t> Random(size_t n) {
    std::mt19937 random(43);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(random());
    return v;
}

// Loads and checks the block's framing; returns the data, or fails the test.
std::vector<uint8_t> LoadOk(const Api& api, const std::wstring& path, uint32_t scramble) {
    void* data = reinterpret_cast<void*>(1);
    uint32_t length = 77;
    EXPECT_EQ(api.load(path.c_str(), &data, &length, scramble), 1);
    if (!data) return {};
    auto* bytes = static_cast<uint8_t*>(data);
    EXPECT_EQ(bytes[length], 0);
    EXPECT_EQ(bytes[length + 1], 0);
    std::vector<uint8_t> out(bytes, bytes + length);
    EXPECT_EQ(::LocalFree(data), nullptr);
    return out;
}

// Expects Load to fail with the error and leave no output.
void LoadFails(const Api& api, const std::wstring& path, uint32_t scramble, DWORD error) {
    void* data = reinterpret_cast<void*>(1);
    uint32_t length = 77;
    ::SetLastError(0xdeadbeef);
    EXPECT_EQ(api.load(path.c_str(), &data, &length, scramble), 0);
    EXPECT_EQ(::GetLastError(), error);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);
}

TEST(CompressedFile, RoundTripsAtEverySizeAndScrambleCrossedFails) {
    Api api;
    ASSERT_TRUE(api.load && api.save && api.contains);
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
    };
    const Case cases[] = {
        {"one byte", {'A'}},
        {"64 KiB - 1", test::MixedBytes(65535, 1)},
        {"64 KiB", test::MixedBytes(65536, 2)},
        {"64 KiB + 1", test::MixedBytes(65537, 3)},
        {"1 MiB text", test::MixedBytes(1 << 20, 4)},
        {"1 MiB random", Random(1 << 20)},
        {"9 MiB random", Random(9 << 20)},
        {"64 MiB of zeros (far beyond the first guess)", std::vector<uint8_t>(64 << 20)},
    };
    test::TempFolder folder;
    int n = 0;
    for (const Case& c : cases) {
        for (uint32_t scramble : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << c.what << " scramble " << scramble);
            std::wstring path = folder / (L"f" + std::to_wstring(n++));
            ASSERT_EQ(api.save(path.c_str(), c.data.data(), static_cast<uint32_t>(c.data.size()),
                               scramble),
                      1);
            EXPECT_TRUE(LoadOk(api, path, scramble) == c.data);
            LoadFails(api, path, scramble ^ 1, ERROR_INVALID_DATA);
        }
    }
}

// An empty block makes a valid file that holds nothing: Load reports that as "no data read".
TEST(CompressedFile, EmptyBlock) {
    Api api;
    test::TempFolder folder;
    std::wstring path = folder / L"empty";
    ASSERT_EQ(api.save(path.c_str(), nullptr, 0, 0), 1);
    EXPECT_FALSE(test::ReadFileBytes(path).empty());
    LoadFails(api, path, 0, ERROR_HANDLE_EOF);
    ::SetLastError(0xdeadbeef);
    EXPECT_EQ(api.save(path.c_str(), nullptr, 5, 0), 0);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(api.load(path.c_str(), nullptr, nullptr, 0), 0);
}

TEST(CompressedFile, PythonsZlibBothWays) {
    Api api;
    std::vector<uint8_t> text = test::FixtureBytes(L"src\\text.txt");
    EXPECT_TRUE(LoadOk(api, test::Fixture(L"py_zlib.bin"), 0) == text);
    EXPECT_TRUE(LoadOk(api, test::Fixture(L"py_zlib_scrambled.bin"), 1) == text);
    // Ours, for Python to read after the run.
    std::vector<uint8_t> mixed = test::MixedBytes(200000, 9);
    for (uint32_t scramble : {0u, 1u}) {
        std::wstring base = test::OutputFolder() + (scramble ? L"mixed.scrambled" : L"mixed");
        ASSERT_EQ(api.save((base + L".kzc").c_str(), mixed.data(),
                           static_cast<uint32_t>(mixed.size()), scramble),
                  1);
    }
    test::WriteFileBytes(test::OutputFolder() + L"mixed.orig", mixed.data(), mixed.size());
}

// Plain files are mapped and scrambled ones read into memory: damage fails the same on both.
TEST(CompressedFile, DamagedFilesGiveNothing) {
    Api api;
    test::TempFolder folder;
    std::wstring path = folder / L"whole";
    std::vector<uint8_t> data = test::MixedBytes(100000, 5);
    for (uint32_t scramble : {0u, 1u}) {
        SCOPED_TRACE(scramble ? "scrambled" : "plain");
        ASSERT_EQ(api.save(path.c_str(), data.data(), static_cast<uint32_t>(data.size()), scramble),
                  1);
        std::vector<uint8_t> packed = test::ReadFileBytes(path);
        struct Case {
            const char* what;
            size_t keep;    // bytes kept from the start
            size_t flipAt;  // byte to change, or SIZE_MAX
        };
        const Case cases[] = {
            {"truncated to nothing", 0, SIZE_MAX},
            {"header only", 2, SIZE_MAX},
            {"half", packed.size() / 2, SIZE_MAX},
            {"without the checksum", packed.size() - 4, SIZE_MAX},
            {"checksum changed", packed.size(), packed.size() - 1},
            {"data changed", packed.size(), packed.size() / 3},
            {"header changed", packed.size(), 0},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            std::vector<uint8_t> bad(packed.begin(), packed.begin() + c.keep);
            if (c.flipAt != SIZE_MAX) bad[c.flipAt] ^= 0x10;
            std::wstring damaged = folder / L"damaged";
            ASSERT_TRUE(test::WriteFileBytes(damaged, bad.data(), bad.size()));
            LoadFails(api, damaged, scramble, ERROR_INVALID_DATA);
        }
    }
    LoadFails(api, folder / L"missing", 0, ERROR_FILE_NOT_FOUND);
}

// A target that another program holds open without sharing cannot be replaced: Save says so and
// the old file is kept whole; no temporary file is left behind.
TEST(CompressedFile, LockedTargetKeepsTheOldFile) {
    Api api;
    test::TempFolder folder;
    std::wstring path = folder / L"locked";
    std::vector<uint8_t> first = test::MixedBytes(5000, 1), second = test::MixedBytes(6000, 2);
    ASSERT_EQ(api.save(path.c_str(), first.data(), 5000, 1), 1);
    std::vector<uint8_t> before = test::ReadFileBytes(path);
    HANDLE lock = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(api.save(path.c_str(), second.data(), 6000, 1), 0);
    ::CloseHandle(lock);
    EXPECT_EQ(test::ReadFileBytes(path), before);
    EXPECT_TRUE(LoadOk(api, path, 1) == first);
    EXPECT_EQ(test::FilesIn(folder.path()), std::vector<std::wstring>{L"locked"});
    // And into a folder that does not exist.
    EXPECT_EQ(api.save((folder / L"none\\x").c_str(), first.data(), 5000, 0), 0);
}

TEST(CompressedFile, ArchiveFinder) {
    Api api;
    test::TempFolder folder;
    std::wstring empty = folder / L"empty.exe";
    ASSERT_TRUE(test::WriteFileBytes(empty, "", 0));
    struct Case {
        std::wstring path;
        int expected;
    };
    const Case cases[] = {
        {folder.path(), 0},
        {folder.path().substr(0, folder.path().size() - 1), 0},
        {empty, 0},
        {folder / L"missing.exe", 0},
        {test::Fixture(L"plain.exe"), 0},
        {test::Fixture(L"stub_plain.exe"), 1},
        {test::Fixture(L"stub_adjusted.exe"), 1},
        {test::Fixture(L"deflate.zip"), 1},
        {test::Fixture(L"split.zip"), 0},
        {test::Fixture(L"py_zlib.bin"), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(api.contains(c.path.c_str()), c.expected)
            << std::string(c.path.begin(), c.path.end());
    }
    EXPECT_EQ(api.contains(nullptr), 0);
}

}  // namespace
}  // namespace kwill
