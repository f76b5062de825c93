// The public headers describe the library's own types byte for byte: a program that allocates a
// Hash or fills a PinyinInitialsTable from kwilllib/*.h hands the library memory of the layout
// that the library reads.
#include "codec/hash.h"
#include "frame/pinyin_table.h"
#include "hostlink/config_records.h"
#include "hostlink/host_request.h"
#include "shellext/class_table.h"
#include "tests/common/test_support.h"
#include "zip/zip_info.h"

// One translation unit of a program defines the class identifiers.
#include <initguid.h>
#include <kwilllib.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>

static_assert(sizeof(::Hash) >= sizeof(kwill::Hash), "the public Hash must hold the state");
static_assert(alignof(::Hash) >= alignof(kwill::Hash));
static_assert(sizeof(::PinyinInitialsTable) == sizeof(kwill::PinyinInitialsTable));
static_assert(offsetof(::PinyinInitialsTable, entries) ==
              offsetof(kwill::PinyinInitialsTable, entries));
static_assert(offsetof(::PinyinInitialsTable, count) ==
              offsetof(kwill::PinyinInitialsTable, count));
static_assert(::Hash::MAX_HASH_SIZE == kwill::Hash::MAX_HASH_SIZE);

static_assert(sizeof(::UserDataRecord) == sizeof(kwill::config::UserDataRecord));
static_assert(offsetof(::UserDataRecord, newUserLangChange) ==
              offsetof(kwill::config::UserDataRecord, newUserLangChange));
static_assert(offsetof(::UserDataRecord, convertToolbars) ==
              offsetof(kwill::config::UserDataRecord, convertToolbars));
static_assert(sizeof(::GlobalDataRecord) == sizeof(kwill::config::GlobalDataRecord));
static_assert(offsetof(::GlobalDataRecord, updateNew) ==
              offsetof(kwill::config::GlobalDataRecord, updateNew));
static_assert(offsetof(::GlobalDataRecord, langHash) ==
              offsetof(kwill::config::GlobalDataRecord, langHash));

static_assert(sizeof(::HostRequestView) == sizeof(kwill::host::HostRequestView));
static_assert(offsetof(::HostRequestView, mapped) ==
              offsetof(kwill::host::HostRequestView, mapped));

using OwnRequest = kwill::zip::ZipInfoRequestBlock;
static_assert(sizeof(::ZipInfoRequestBlock) == sizeof(OwnRequest));
static_assert(offsetof(::ZipInfoRequestBlock, file) == offsetof(OwnRequest, file));
static_assert(offsetof(::ZipInfoRequestBlock, count) == offsetof(OwnRequest, count));
static_assert(offsetof(::ZipInfoRequestBlock, text) == offsetof(OwnRequest, text));
static_assert(offsetof(::ZipInfoRequestBlock, result) == offsetof(OwnRequest, result));

namespace kwill {
namespace {

constexpr struct {
    ::HashMethod visible;
    HashMethod own;
} kMethods[] = {
    {::MD5, HashMethod::MD5},
    {::SHA1, HashMethod::SHA1},
    {::SHA256, HashMethod::SHA256},
    {::SHA512, HashMethod::SHA512},
    {::CRC32, HashMethod::CRC32},
    {::CRC32_BZIP2_LE, HashMethod::CRC32_BZIP2_LE},
    {::CRC32_BZIP2, HashMethod::CRC32_BZIP2},
    {::BLAKE3, HashMethod::BLAKE3},
};

TEST(PublicHeaders, HashMethodsKeepTheLibrarysNumbers) {
    static_assert(sizeof(kMethods) / sizeof(kMethods[0]) == 8);
    for (const auto& m : kMethods)
        EXPECT_EQ(static_cast<uint32_t>(m.visible), static_cast<uint32_t>(m.own));
}

// The class identifiers: the server's own, and the texts under which it registers them.
TEST(PublicHeaders, ClassIdentifiersAreTheServers) {
    namespace ext = shellext;
    const struct {
        const GUID& visible;
        const CLSID& own;
        const wchar_t* text;
    } rows[] = {
        {CLSID_KwillShellExecuteHook, ext::kClsidShellExecuteHook,
         L"{3CF9ECE0-1A9F-11d2-8C73-00C06C2005DE}"},
        {CLSID_KwillContextMenu, ext::kClsidContextMenu, L"{E9FE4040-3C93-11d4-8006-00201860E88A}"},
        {CLSID_KwillDesktopContextMenu, ext::kClsidDesktopContextMenu,
         L"{B9DD4945-1BED-4cb7-994C-F40B72B7725A}"},
        {CLSID_KwillQueryInfo, ext::kClsidQueryInfo, L"{2DF394BA-1955-4a52-900E-303836135F67}"},
        {CLSID_KwillIconHandler, ext::kClsidIconHandler, L"{BBD5F00E-26A6-4fb2-BAE1-31543C0BEA47}"},
        {CLSID_KwillDropTarget, ext::kClsidDropTarget, L"{F85D7E1E-9662-4b38-B1AE-3CF1E9581A3C}"},
        {CLSID_KwillFileCollectionShellExtension, ext::kClsidFileCollection,
         L"{D2FCA36D-93CD-46f2-8324-6308F6E31B53}"},
    };
    static_assert(sizeof(rows) / sizeof(rows[0]) == 7);
    for (const auto& row : rows) {
        EXPECT_TRUE(::IsEqualGUID(row.visible, row.own)) << row.text;
        GUID parsed{};
        ASSERT_EQ(::CLSIDFromString(row.text, &parsed), S_OK) << row.text;
        EXPECT_TRUE(::IsEqualGUID(parsed, row.visible)) << row.text;
    }
    EXPECT_EQ(ext::ComClasses().size(), std::size(rows));
}

// The size the loaded library reports fits the room the header gives the object.
TEST(PublicHeaders, HashObjectFitsItsRoom) {
    auto objectSize = test::Named<size_t (*)()>("KwillHashObjectSize");
    ASSERT_NE(objectSize, nullptr);
    EXPECT_EQ(objectSize(), sizeof(kwill::Hash));
    EXPECT_LE(objectSize(), size_t{KWILL_HASH_OBJECT_SIZE});
}

}  // namespace
}  // namespace kwill
