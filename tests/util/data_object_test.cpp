// Reading data objects through the exports: which blocks are copied and which handed over, what
// failures leave behind, the number fetches at every size boundary, and the scrambled text form.
#include "tests/common/test_support.h"
#include "tests/support/test_data_object.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

namespace kwill::test {
namespace {

using Microsoft::WRL::ComPtr;

using GetHResFn = HRESULT (*)(HGLOBAL*, IDataObject*, CLIPFORMAT, DVTARGETDEVICE*);
using GetBlockFn = HGLOBAL (*)(IDataObject*, CLIPFORMAT, DVTARGETDEVICE*);
using GetDwordFn = DWORD (*)(IDataObject*, CLIPFORMAT, DWORD*);
using GetDwordPtrFn = DWORD_PTR (*)(IDataObject*, CLIPFORMAT, DWORD*);
using GetDwordLongFn = DWORDLONG (*)(IDataObject*, CLIPFORMAT, DWORD*);
using ScrambleFn = int (*)(const wchar_t*, BYTE*);
using UnscrambleFn = wchar_t* (*)(const BYTE*, int);

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

const HGLOBAL kUntouched = reinterpret_cast<HGLOBAL>(0x5150);

CLIPFORMAT Format(const wchar_t* name) {
    return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(name));
}

std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    return bytes;
}

std::vector<uint8_t> BlockBytes(HGLOBAL block) {
    std::vector<uint8_t> bytes(::GlobalSize(block));
    if (!bytes.empty()) {
        void* p = ::GlobalLock(block);
        std::memcpy(bytes.data(), p, bytes.size());
        ::GlobalUnlock(block);
    }
    return bytes;
}

struct FetchRow {
    const char* name;
    CLIPFORMAT format;  // 0: the registered test format
    size_t size;
    DWORD given;
    bool releaseObject;
    HRESULT getData;
    bool nullMedium;
    HRESULT expected;
    bool copied;  // a new block (else the data object's own block was handed over)
    bool outUntouched;
};

TEST(DataObjectFetch, CopiesOrHandsOverAndReleasesOnce) {
    auto get = Named<GetHResFn>("GetDataObjectOnHGlobalHRes");
    ASSERT_NE(get, nullptr);
    const FetchRow rows[] = {
        {"plain block handed over", 0, 10, TYMED_HGLOBAL, false, S_OK, false, S_OK, false, false},
        {"block with release object copied", 0, 10, TYMED_HGLOBAL, true, S_OK, false, S_OK, true,
         false},
        {"CF_HDROP copied", CF_HDROP, 100, TYMED_HGLOBAL, false, S_OK, false, S_OK, true, false},
        {"CF_HDROP with release object", CF_HDROP, 100, TYMED_HGLOBAL, true, S_OK, false, S_OK,
         true, false},
        {"empty CF_HDROP", CF_HDROP, 0, TYMED_HGLOBAL, false, S_OK, false, S_OK, true, false},
        {"stream instead of a block", 0, 10, TYMED_ISTREAM, false, S_OK, false, DV_E_TYMED, false,
         false},
        {"file instead of a block, release object", 0, 10, TYMED_FILE, true, S_OK, false,
         DV_E_TYMED, false, false},
        {"null block", 0, 10, TYMED_HGLOBAL, false, S_OK, true, DV_E_STGMEDIUM, false, false},
        {"null block with release object", CF_HDROP, 10, TYMED_HGLOBAL, true, S_OK, true,
         DV_E_STGMEDIUM, false, false},
        {"GetData fails", 0, 10, TYMED_HGLOBAL, false, E_FAIL, false, E_FAIL, false, true},
        {"GetData out of memory", CF_HDROP, 10, TYMED_HGLOBAL, false, E_OUTOFMEMORY, false,
         E_OUTOFMEMORY, false, true},
    };
    for (const FetchRow& row : rows) {
        SCOPED_TRACE(row.name);
        CLIPFORMAT format = row.format ? row.format : Format(L"kwill test block");
        ComPtr<TestDataObject> object = TestDataObject::Make();
        TestFormat f;
        f.format = format;
        f.bytes = Counting(row.size);
        f.given = row.given;
        f.releaseObject = row.releaseObject;
        f.getData = row.getData;
        f.nullMedium = row.nullMedium;
        object->Add(f);
        HGLOBAL block = kUntouched;
        EXPECT_EQ(get(&block, object.Get(), format, nullptr), row.expected);
        if (row.outUntouched) {
            EXPECT_EQ(block, kUntouched);
        } else if (FAILED(row.expected)) {
            EXPECT_EQ(block, nullptr);
        } else {
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(block != object->log().lastBlock, row.copied);
            std::vector<uint8_t> expected = Counting(row.size);
            if (format == CF_HDROP) expected.insert(expected.end(), {0, 0});
            EXPECT_EQ(BlockBytes(block), expected);
            ::GlobalFree(block);
        }
        EXPECT_EQ(object->log().releaseObjectsMade, row.releaseObject && !row.getData ? 1 : 0);
        EXPECT_EQ(object->log().releaseObjectsReleased, object->log().releaseObjectsMade);
    }
}

TEST(DataObjectFetch, BadArguments) {
    auto get = Named<GetHResFn>("GetDataObjectOnHGlobalHRes");
    auto getBlock = Named<GetBlockFn>("GetDataObjectOnHGlobal");
    ASSERT_TRUE(get && getBlock);
    HGLOBAL block = kUntouched;
    EXPECT_EQ(get(&block, nullptr, CF_TEXT, nullptr), E_INVALIDARG);
    EXPECT_EQ(block, nullptr);
    ComPtr<TestDataObject> object = TestDataObject::Make();
    object->Add(CF_TEXT, NarrowBytes("text"));
    EXPECT_EQ(get(nullptr, object.Get(), CF_TEXT, nullptr), E_POINTER);
    EXPECT_EQ(object->log().getDataCalls, 0);
    EXPECT_EQ(getBlock(nullptr, CF_TEXT, nullptr), nullptr);
    EXPECT_EQ(getBlock(object.Get(), CF_UNICODETEXT, nullptr), nullptr);
    HGLOBAL text = getBlock(object.Get(), CF_TEXT, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(BlockBytes(text), NarrowBytes("text"));
    ::GlobalFree(text);
}

// Blocks of 0 to 12 bytes 01 02 03 ...: each form reads its value only when the block holds it.
TEST(DataObjectFetch, NumbersAtEverySize) {
    auto dword = Named<GetDwordFn>("GetDWORDFromDataObjectOnHGlobal");
    auto dwordPtr = Named<GetDwordPtrFn>("GetDWORD_PTRFromDataObjectOnHGlobal");
    auto dwordLong = Named<GetDwordLongFn>("GetDWORDLONGFromDataObjectOnHGlobal");
    ASSERT_TRUE(dword && dwordPtr && dwordLong);
    const uint64_t k4 = 0x04030201, k8 = 0x0807060504030201;
    struct Row {
        size_t size;
        uint32_t dword;
        uint64_t ptr;
        uint64_t dwordLong;
        DWORD found4, foundPtr, found8;
    } rows[] = {
        {0, 0, 0, 0, 0, 0, 0},     {3, 0, 0, 0, 0, 0, 0},   {4, k4, k4, 0, 1, 1, 0},
        {6, k4, k4, 0, 1, 1, 0},   {7, k4, k4, 0, 1, 1, 0}, {8, k4, k8, k8, 1, 1, 1},
        {12, k4, k8, k8, 1, 1, 1},
    };
    const CLIPFORMAT format = Format(L"kwill test number");
    for (bool releaseObject : {false, true}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message()
                         << row.size << " bytes, release object " << releaseObject);
            ComPtr<TestDataObject> object = TestDataObject::Make();
            TestFormat f;
            f.format = format;
            f.bytes = Counting(row.size);
            f.releaseObject = releaseObject;
            object->Add(f);
            DWORD found = 7;
            EXPECT_EQ(dword(object.Get(), format, &found), row.dword);
            EXPECT_EQ(found, row.found4);
            found = 7;
            EXPECT_EQ(dwordPtr(object.Get(), format, &found), row.ptr);
            EXPECT_EQ(found, row.foundPtr);
            found = 7;
            EXPECT_EQ(dwordLong(object.Get(), format, &found), row.dwordLong);
            EXPECT_EQ(found, row.found8);
            EXPECT_EQ(dwordLong(object.Get(), format, nullptr), row.dwordLong);
            EXPECT_EQ(object->log().releaseObjectsReleased, object->log().releaseObjectsMade);
        }
    }
    DWORD found = 7;
    EXPECT_EQ(dword(nullptr, format, &found), 0u);
    EXPECT_EQ(found, 0u);
    ComPtr<TestDataObject> empty = TestDataObject::Make();
    found = 7;
    EXPECT_EQ(dwordPtr(empty.Get(), format, &found), 0u);
    EXPECT_EQ(found, 0u);
}

// Memory whose end is followed by a page that may not be read: a function that reads one byte
// too far crashes the test instead of passing by luck.
class GuardedBytes {
  public:
    explicit GuardedBytes(size_t size) : size_(size) {
        size_t pages = (size + 4095) / 4096 + 1;
        base_ = static_cast<uint8_t*>(
            ::VirtualAlloc(nullptr, pages * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        ::VirtualProtect(base_ + (pages - 1) * 4096, 4096, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * 4096 - size;
    }
    ~GuardedBytes() { ::VirtualFree(base_, 0, MEM_RELEASE); }
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }

  private:
    size_t size_;
    uint8_t* base_;
    uint8_t* data_;
};

TEST(ScrambledText, KnownBytes) {
    auto scramble = Named<ScrambleFn>("ScrambleString");
    auto unscramble = Named<UnscrambleFn>("UnscrambleString");
    ASSERT_TRUE(scramble && unscramble);
    BYTE out[8] = {};
    EXPECT_EQ(scramble(L"abc", out), 4);
    EXPECT_EQ(std::vector<BYTE>(out, out + 4), (std::vector<BYTE>{0x62, 0x66, 0x66, 0x06}));
    EXPECT_EQ(scramble(L"", out), 1);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(scramble(nullptr, out), 0);
    EXPECT_EQ(scramble(L"abc", nullptr), 0);
    ::SetLastError(0);
    EXPECT_EQ(unscramble(nullptr, -1), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Only the low byte of each character is kept.
    EXPECT_EQ(scramble(L"\x0141", out), 2);
    wchar_t* back = unscramble(out, -1);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back, L"\x41");
    ::LocalFree(back);
}

// Past 252 characters the key (k + 3) wraps around a byte, the terminator's byte too; the block
// is exactly as long as the scrambled text, so a search that misses the terminator crashes.
TEST(ScrambledText, RoundTripsAtByteBoundariesAndLimits) {
    auto scramble = Named<ScrambleFn>("ScrambleString");
    auto unscramble = Named<UnscrambleFn>("UnscrambleString");
    ASSERT_TRUE(scramble && unscramble);
    for (int n : {0, 1, 2, 252, 253, 254, 255, 256, 257, 1000}) {
        std::wstring text;
        for (int k = 0; k < n; ++k) text.push_back(static_cast<wchar_t>(0x21 + (k * 7) % 223));
        GuardedBytes block(n + 1);
        ASSERT_EQ(scramble(text.c_str(), block.data()), n + 1);
        for (int limit : {-1, 0, 1, n - 1, n, n + 1, n + 100}) {
            if (limit < -1) continue;
            SCOPED_TRACE(testing::Message() << n << " characters, limit " << limit);
            wchar_t* back = unscramble(block.data(), limit);
            ASSERT_NE(back, nullptr);
            size_t keep = limit < 0 ? n : std::min(n, limit);
            EXPECT_TRUE(std::wstring(back) == text.substr(0, keep));
            ::LocalFree(back);
        }
    }
}

// With a limit, the bytes beyond it are never read: a block that holds no terminator at all is
// fine when the limit stops first, and the result still ends with a zero.
TEST(ScrambledText, LimitStopsBeforeTheEndOfAnUnterminatedBlock) {
    auto unscramble = Named<UnscrambleFn>("UnscrambleString");
    ASSERT_NE(unscramble, nullptr);
    for (int limit : {1, 5, 300}) {
        GuardedBytes block(limit);
        for (int k = 0; k < limit; ++k)
            block.data()[k] = static_cast<uint8_t>('x' ^ ((k + 3) & 0xFF));
        wchar_t* back = unscramble(block.data(), limit);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(std::wstring(back) == std::wstring(limit, L'x')) << limit;
        ::LocalFree(back);
    }
}

}  // namespace
}  // namespace kwill::test

namespace kwill::test {
namespace {

// The OLE clipboard hands out data objects of its own: what was put there through a shell data
// object, or as a raw block with SetClipboardData, comes back through the fetch functions.
class Clipboard : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override {
        ::OleSetClipboard(nullptr);
        if (::OpenClipboard(nullptr)) {
            ::EmptyClipboard();
            ::CloseClipboard();
        }
        ::OleUninitialize();
    }
};

std::vector<std::wstring> DroppedFiles(HGLOBAL block) {
    std::vector<std::wstring> names;
    HDROP drop = static_cast<HDROP>(block);
    UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH];
        UINT chars = ::DragQueryFileW(drop, i, name, MAX_PATH);
        names.emplace_back(name, chars);
    }
    return names;
}

TEST_F(Clipboard, FilesPutThroughTheOleClipboard) {
    TempFolder folder;
    for (const wchar_t* name : {L"a.txt", L"b.txt"})
        ASSERT_TRUE(WriteFileBytes(folder / name, "x", 1));
    std::wstring path = folder.path().substr(0, folder.path().size() - 1);
    ComPtr<IDataObject> files = ShellDataObject(path, {L"a.txt", L"b.txt"}, true);
    ASSERT_TRUE(files);
    ASSERT_EQ(::OleSetClipboard(files.Get()), S_OK);
    ASSERT_EQ(::OleFlushClipboard(), S_OK);  // the clipboard now holds copies, not our object
    files.Reset();

    ComPtr<IDataObject> clip;
    ASSERT_EQ(::OleGetClipboard(&clip), S_OK);
    auto getBlock = Named<GetBlockFn>("GetDataObjectOnHGlobal");
    HGLOBAL drop = getBlock(clip.Get(), CF_HDROP, nullptr);
    ASSERT_NE(drop, nullptr);
    std::vector<uint8_t> bytes = BlockBytes(drop);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[bytes.size() - 1], 0);
    EXPECT_EQ(bytes[bytes.size() - 2], 0);
    std::vector<std::wstring> names = DroppedFiles(drop);
    ::GlobalFree(drop);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_TRUE(names[0] == folder / L"a.txt") << Narrow(names[0]);
    EXPECT_TRUE(names[1] == folder / L"b.txt") << Narrow(names[1]);
}

TEST_F(Clipboard, RawBlockOfARegisteredFormat) {
    const CLIPFORMAT format = Format(L"kwill_cf_hdrop");
    std::vector<uint8_t> bytes = DropFilesBlock({L"C:\\raw\\one.txt", L"C:\\raw\\two.txt"});
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ASSERT_NE(::SetClipboardData(format, block), nullptr);  // the clipboard owns it now
    ::CloseClipboard();

    ComPtr<IDataObject> clip;
    ASSERT_EQ(::OleGetClipboard(&clip), S_OK);
    auto get = Named<GetHResFn>("GetDataObjectOnHGlobalHRes");
    HGLOBAL out = nullptr;
    ASSERT_EQ(get(&out, clip.Get(), format, nullptr), S_OK);
    EXPECT_EQ(BlockBytes(out), bytes);  // not CF_HDROP itself: no bytes added
    ::GlobalFree(out);
    DWORD found = 0;
    auto dword = Named<GetDwordFn>("GetDWORDFromDataObjectOnHGlobal");
    EXPECT_EQ(dword(clip.Get(), format, &found), 20u);  // DROPFILES.pFiles
    EXPECT_EQ(found, 1u);
}

}  // namespace
}  // namespace kwill::test
