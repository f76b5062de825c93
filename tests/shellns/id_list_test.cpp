// The ID-list exports: walking, copying, cutting, joining and comparing, on hand-made lists that
// end at an inaccessible page and on the shell's own lists of real folders, checked against
// shell32's ILGetSize, ILFindLastID, ILCombine and ILIsEqual.
#include "shellns/id_list.h"
#include "tests/common/test_support.h"
#include "tests/shellns/shellns_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kwill {
namespace {

using test::GuardedBytes;
using test::MakeList;
using test::Named;

using Pidl = LPITEMIDLIST;
using CPidl = LPCITEMIDLIST;

struct Api {
    Pidl (*next)(CPidl) = Named<Pidl (*)(CPidl)>("PIDLNext");
    DWORD (*size)(CPidl) = Named<DWORD (*)(CPidl)>("ILSize");
    DWORD (*count)(CPidl) = Named<DWORD (*)(CPidl)>("ILGetCount");
    Pidl (*findLast)(CPidl) = Named<Pidl (*)(CPidl)>("ILFindLast");
    void* (*alloc)(DWORD) = Named<void* (*)(DWORD)>("PIDLAlloc");
    void (*free)(Pidl) = Named<void (*)(Pidl)>("PIDLFree");
    Pidl (*copy)(CPidl, DWORD) = Named<Pidl (*)(CPidl, DWORD)>("PIDLCopy");
    Pidl (*ilCopy)(CPidl, DWORD) = Named<Pidl (*)(CPidl, DWORD)>("ILCopy");
    WORD (*strip)(Pidl, Pidl*) = Named<WORD (*)(Pidl, Pidl*)>("ILStripChild");
    void (*restore)(Pidl, WORD) = Named<void (*)(Pidl, WORD)>("ILRestoreChild");
    WORD (*getFirst)(Pidl) = Named<WORD (*)(Pidl)>("ILGetFirst");
    void (*restoreFirst)(Pidl, WORD) = Named<void (*)(Pidl, WORD)>("ILRestoreFirst");
    Pidl (*getLast)(CPidl, BOOL) = Named<Pidl (*)(CPidl, BOOL)>("ILGetLast");
    Pidl (*append)(CPidl, CPidl, BOOL) = Named<Pidl (*)(CPidl, CPidl, BOOL)>("ILAppend");
    BOOL (*compare)(CPidl, CPidl, DWORD) = Named<BOOL (*)(CPidl, CPidl, DWORD)>("ILCompare");
    BOOL (*getGuid)(CPidl, GUID*) = Named<BOOL (*)(CPidl, GUID*)>("PIDLGetGUID");
    BOOL (*checkClsid)(CPidl, const GUID*) = Named<BOOL (*)(CPidl, const GUID*)>("PIDLCheckCLSID");
    BOOL(*guidSame)
    (const GUID*, const GUID*) = Named<BOOL (*)(const GUID*, const GUID*)>("GUIDSame");
};

const Api& Fn() {
    static Api api;
    return api;
}

std::vector<uint8_t> Bytes(CPidl list) {
    auto* p = reinterpret_cast<const uint8_t*>(list);
    return {p, p + Fn().size(list)};
}

// Owns a list the library returned.
struct Owned {
    Pidl list;
    explicit Owned(Pidl l) : list(l) {}
    ~Owned() { Fn().free(list); }
};

const std::vector<uint8_t> kFive =
    MakeList({{0x31, 1}, {0x31, 2, 2}, {0x31, 3, 3, 3}, {0x32}, {0x32, 5, 5, 5, 5, 5}});

TEST(IdList, WalkAndMeasure) {
    struct Row {
        const char* name;
        std::vector<uint8_t> list;
        DWORD size, count;
        size_t lastOffset;  // SIZE_MAX: no last item
    } rows[] = {
        {"empty", MakeList({}), 2, 0, SIZE_MAX},
        {"one", MakeList({{0x31, 9}}), 6, 1, 0},
        {"five", kFive, 2 + 4 + 5 + 6 + 3 + 8, 5, 18},
        // Items of cb 2 and 3 (no data, type byte only) are walked like any other.
        {"short items", MakeList({{}, {0x31}, {}}), 2 + 2 + 3 + 2, 3, 5},
        // cb 1 cannot cover its own size field: the list ends there.
        {"cb 1 ends", {4, 0, 0x31, 0, 1, 0}, 6, 1, 0},
        {"cb 1 first", {1, 0}, 2, 0, SIZE_MAX},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        GuardedBytes g(r.list);
        EXPECT_EQ(Fn().size(g.pidl()), r.size);
        EXPECT_EQ(Fn().count(g.pidl()), r.count);
        Pidl last = Fn().findLast(g.pidl());
        if (r.lastOffset == SIZE_MAX) {
            EXPECT_EQ(last, nullptr);
        } else {
            EXPECT_EQ(reinterpret_cast<uint8_t*>(last), g.data() + r.lastOffset);
            // The last item's successor is the end mark itself, whose successor is null.
            Pidl end = Fn().next(last);
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(Fn().next(end), nullptr);
        }
        // Copying all items never reads past the block and gives a clean list.
        Owned copy(Fn().copy(g.pidl(), 0xFFFFFFFF));
        ASSERT_NE(copy.list, nullptr);
        EXPECT_TRUE(shellns::IsExactList(Bytes(copy.list)));
        EXPECT_EQ(Fn().size(copy.list), r.size);
    }
    EXPECT_EQ(Fn().size(nullptr), 2u);
    EXPECT_EQ(Fn().count(nullptr), 0u);
    EXPECT_EQ(Fn().findLast(nullptr), nullptr);
    EXPECT_EQ(Fn().next(nullptr), nullptr);
}

TEST(IdList, CopyCounts) {
    GuardedBytes g(kFive);
    struct Row {
        DWORD count;
        DWORD items;
    } rows[] = {{0, 0}, {1, 1}, {2, 2}, {5, 5}, {6, 5}, {0xFFFFFFFF, 5}, {0xFFFFFFFE, 5}};
    for (const Row& r : rows) {
        for (auto* fn : {Fn().copy, Fn().ilCopy}) {
            Owned copy(fn(g.pidl(), r.count));
            ASSERT_NE(copy.list, nullptr) << r.count;
            EXPECT_EQ(Fn().count(copy.list), r.items) << r.count;
            EXPECT_TRUE(Fn().compare(copy.list, g.pidl(), r.items) || r.items == 0);
            EXPECT_TRUE(shellns::IsExactList(Bytes(copy.list)));
        }
    }
    EXPECT_EQ(Fn().copy(nullptr, 3), nullptr);
    void* block = Fn().alloc(64);
    ASSERT_NE(block, nullptr);
    Fn().free(static_cast<Pidl>(block));
    Fn().free(nullptr);
}

TEST(IdList, CutAndRestoreInPlace) {
    struct Row {
        const char* name;
        std::vector<uint8_t> list;
    } rows[] = {
        {"empty", MakeList({})},
        {"one", MakeList({{0x31, 1, 2}})},
        {"two", MakeList({{0x31, 1}, {0x32, 2, 2}})},
        {"five", kFive},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        GuardedBytes g(r.list);
        DWORD count = Fn().count(g.pidl());

        Pidl lastBefore = Fn().findLast(g.pidl());
        WORD cbBefore = lastBefore ? lastBefore->mkid.cb : 0;
        Pidl item = reinterpret_cast<Pidl>(1);
        WORD cb = Fn().strip(g.pidl(), &item);
        EXPECT_EQ(item, lastBefore);
        EXPECT_EQ(cb, cbBefore);
        EXPECT_EQ(Fn().count(g.pidl()), count ? count - 1 : 0);
        Fn().restore(g.pidl(), cb);
        EXPECT_EQ(g.bytes(), r.list);

        cb = Fn().getFirst(g.pidl());
        EXPECT_EQ(Fn().count(g.pidl()), count ? 1u : 0u);
        EXPECT_EQ(cb == 0, count < 2);
        Fn().restoreFirst(g.pidl(), cb);
        EXPECT_EQ(g.bytes(), r.list);
    }
    EXPECT_EQ(Fn().strip(nullptr, nullptr), 0);
    EXPECT_EQ(Fn().getFirst(nullptr), 0);
    Fn().restore(nullptr, 4);
    Fn().restoreFirst(nullptr, 4);
}

TEST(IdList, LastAppendCompare) {
    std::vector<uint8_t> a = MakeList({{0x31, 1}, {0x31, 2}});
    std::vector<uint8_t> b = MakeList({{0x32, 7, 7, 7}});
    GuardedBytes ga(a), gb(b);
    // Joining in order is checked against ILCombine on real lists; here the other cases.
    Owned ab(Fn().append(ga.pidl(), gb.pidl(), FALSE));
    Owned ba(Fn().append(ga.pidl(), gb.pidl(), TRUE));
    EXPECT_EQ(Bytes(ba.list), MakeList({{0x32, 7, 7, 7}, {0x31, 1}, {0x31, 2}}));
    Owned onlyA(Fn().append(nullptr, ga.pidl(), TRUE));
    EXPECT_EQ(Bytes(onlyA.list), a);
    EXPECT_EQ(Fn().append(nullptr, nullptr, FALSE), nullptr);
    Owned lastCopy(Fn().getLast(ab.list, TRUE));
    EXPECT_EQ(Bytes(lastCopy.list), b);
    EXPECT_EQ(Fn().getLast(ab.list, FALSE), Fn().findLast(ab.list));

    // Bytewise comparison over a count of items; 0 compares the whole lists.
    std::vector<uint8_t> a2 = MakeList({{0x31, 1}, {0x31, 3}});
    std::vector<uint8_t> aLong = MakeList({{0x31, 1}, {0x31, 2}, {0x31, 3}});
    std::vector<uint8_t> shortItems = MakeList({{}, {0x31}});
    GuardedBytes g2(a2), gLong(aLong), gShort(shortItems), gShort2(shortItems);
    struct Row {
        const char* name;
        CPidl x, y;
        DWORD count;
        BOOL equal;
    } rows[] = {
        {"same", ga.pidl(), ab.list, 2, TRUE},
        {"same whole", ga.pidl(), onlyA.list, 0, TRUE},
        {"prefix whole", ga.pidl(), ab.list, 0, FALSE},
        {"first agrees", ga.pidl(), g2.pidl(), 1, TRUE},
        {"second differs", ga.pidl(), g2.pidl(), 2, FALSE},
        {"longer", ga.pidl(), gLong.pidl(), 0, FALSE},
        {"count beyond both", ga.pidl(), onlyA.list, 9, TRUE},
        {"short items", gShort.pidl(), gShort2.pidl(), 0, TRUE},
        {"null null", nullptr, nullptr, 0, TRUE},
        {"null one", nullptr, ga.pidl(), 0, FALSE},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Fn().compare(r.x, r.y, r.count), r.equal) << r.name;
        EXPECT_EQ(Fn().compare(r.y, r.x, r.count), r.equal) << r.name;
    }
}

std::vector<uint8_t> GuidBytes(const GUID& g) {
    auto* p = reinterpret_cast<const uint8_t*>(&g);
    return {p, p + 16};
}

// {11223344-5566-7788-99AA-BBCCDDEEFF00} and the delegate marker of the shell.
const GUID kSome = {0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};
const GUID kMarker = {0x5E591A74, 0xDF96, 0x48D3, {0x8D, 0x67, 0x17, 0x33, 0xBC, 0xEE, 0x28, 0xBA}};

// Item data (after cb): type byte, one byte, then `rest`.
std::vector<uint8_t> ClassItem(uint8_t type, std::vector<uint8_t> rest) {
    rest.insert(rest.begin(), 2, 0);
    rest[0] = type;
    return rest;
}

// A delegate item: inner data of `inner` bytes, the marker, then `tail` bytes of class GUID.
std::vector<uint8_t> DelegateItem(uint16_t inner, size_t tail) {
    std::vector<uint8_t> data = {0x71, 0, static_cast<uint8_t>(inner), 0};
    data.resize(data.size() + inner, 0xAB);
    std::vector<uint8_t> marker = GuidBytes(kMarker);
    data.insert(data.end(), marker.begin(), marker.end());
    std::vector<uint8_t> clsid = GuidBytes(kSome);
    data.insert(data.end(), clsid.begin(), clsid.begin() + static_cast<long>(tail));
    return data;
}

TEST(IdList, ClassGuids) {
    std::vector<uint8_t> some = GuidBytes(kSome);
    struct Row {
        const char* name;
        std::vector<uint8_t> item;  // data bytes of a one-item list
        bool found;
        std::vector<uint8_t> guid;  // when found
    } rows[] = {
        {"root 0x1F", ClassItem(0x1F, some), true, some},
        {"0x9F masked", ClassItem(0x9F, some), true, some},
        {"0x2E", ClassItem(0x2E, some), true, some},
        {"0xCD masked", ClassItem(0xCD, some), true, some},
        {"0x4E", ClassItem(0x4E, some), true, some},
        {"0x70", ClassItem(0x70, some), true, some},
        {"0xF1 masked", ClassItem(0xF1, some), true, some},
        {"0xFE whole byte", ClassItem(0xFE, some), true, some},
        {"0x7E is not 0xFE", ClassItem(0x7E, some), false, {}},
        {"file 0x31", ClassItem(0x31, some), false, {}},
        {"cb 19", ClassItem(0x1F, {some.begin(), some.end() - 1}), false, {}},
        {"cb 2", {}, false, {}},
        {"cb 3", {0x1F}, false, {}},
        {"delegate", DelegateItem(4, 16), true, some},
        {"delegate, no inner data", DelegateItem(0, 16), true, some},
        // The marker is there but the class GUID would run past the item.
        {"delegate cut", DelegateItem(4, 10), false, {}},
        // A delegate size beyond the item: not a delegate, the plain form applies.
        {"huge delegate size", ClassItem(0x71, std::vector<uint8_t>(18, 0xFF)), true,
         std::vector<uint8_t>(16, 0xFF)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        // The item is the last bytes before the guard page except for the terminator, so a
        // GUID read past the item would fault.
        GuardedBytes g(MakeList({r.item}));
        GUID guid = {};
        EXPECT_EQ(Fn().getGuid(g.pidl(), &guid), r.found ? TRUE : FALSE);
        if (r.found) {
            EXPECT_EQ(GuidBytes(guid), r.guid);
        }
        GUID expected = {};
        if (r.found) std::memcpy(&expected, r.guid.data(), 16);
        EXPECT_EQ(Fn().checkClsid(g.pidl(), &expected), r.found ? TRUE : FALSE);
    }
    GuardedBytes root(MakeList({ClassItem(0x1F, some)}));
    EXPECT_FALSE(Fn().getGuid(root.pidl(), nullptr));
    EXPECT_FALSE(Fn().checkClsid(root.pidl(), nullptr));
    EXPECT_FALSE(Fn().checkClsid(root.pidl(), &kMarker));
    EXPECT_FALSE(Fn().getGuid(nullptr, nullptr));
    EXPECT_TRUE(Fn().guidSame(&kSome, &kSome));
    EXPECT_FALSE(Fn().guidSame(&kSome, &kMarker));
    EXPECT_FALSE(Fn().guidSame(nullptr, &kSome));
    EXPECT_FALSE(Fn().guidSame(nullptr, nullptr));
}

// The library's answers agree with shell32's own routines on the shell's lists of real objects.
TEST(IdList, AgreesWithShell32OnRealLists) {
    test::ComScope com;
    std::vector<std::wstring> names = test::PrefixNames();
    std::vector<std::unique_ptr<test::ShellList>> lists;
    for (const std::wstring& name : names) {
        lists.push_back(std::make_unique<test::ShellList>(name));
        ASSERT_NE(lists.back()->get(), nullptr) << test::Narrow(name);
    }
    for (size_t i = 0; i < lists.size(); ++i) {
        SCOPED_TRACE(test::Narrow(names[i]));
        LPITEMIDLIST a = lists[i]->get();
        EXPECT_EQ(Fn().size(a), ::ILGetSize(a));
        EXPECT_EQ(Fn().findLast(a), ::ILFindLastID(a));
        Owned copy(Fn().copy(a, 0xFFFFFFFF));
        EXPECT_TRUE(::ILIsEqual(copy.list, a));

        Owned parent(Fn().copy(a, Fn().count(a) - 1));
        LPITEMIDLIST shellParent = ::ILClone(a);
        ::ILRemoveLastID(shellParent);
        EXPECT_EQ(Bytes(parent.list), Bytes(shellParent));
        ::ILFree(shellParent);

        for (size_t j = 0; j < lists.size(); ++j) {
            LPITEMIDLIST b = lists[j]->get();
            EXPECT_EQ(Fn().compare(a, b, 0), ::ILIsEqual(a, b)) << test::Narrow(names[j]);
            Owned joined(Fn().append(a, b, FALSE));
            LPITEMIDLIST combined = ::ILCombine(a, b);
            EXPECT_EQ(Bytes(joined.list), Bytes(combined)) << test::Narrow(names[j]);
            ::ILFree(combined);
        }
    }
}

}  // namespace
}  // namespace kwill
