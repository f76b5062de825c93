// The file-collection folder as the shell meets it: made by the library's class factory, asked
// for its interfaces, initialised with a folder's ID list (every block it takes is watched by a
// malloc spy) and refused every folder operation.
#include "tests/common/test_support.h"
#include "tests/shellext/shellext_support.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace kwill {
namespace {

using test::Named;

const CLSID kCollection = {
    0xD2FCA36D, 0x93CD, 0x46F2, {0x83, 0x24, 0x63, 0x08, 0xF6, 0xE3, 0x1B, 0x53}};

using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

HRESULT CanUnload() {
    return Named<CanUnloadNowFn>("DllCanUnloadNow")();
}

IShellFolder* NewFolder() {
    IShellFolder* folder = nullptr;
    EXPECT_EQ(test::CreateFromClassObject(kCollection, IID_IShellFolder, &folder), S_OK);
    return folder;
}

// Records every task-memory block from allocation to free; can make the next allocation fail.
class BlockSpy final : public IMallocSpy {
  public:
    std::set<void*> live;
    bool failNext = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
            *out = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override {
        if (failNext) {
            failNext = false;
            return 0;  // the allocator then fails a non-empty request
        }
        return size;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override {
        if (block) live.insert(block);
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override {
        live.erase(block);
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** request, BOOL) override {
        live.erase(block);
        *request = block;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override {
        if (block) live.insert(block);
        return block;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// Two-item and one-item ID lists in the caller's own memory (not task memory).
std::vector<uint8_t> ListOf(std::initializer_list<uint8_t> itemSizes) {
    std::vector<uint8_t> list;
    for (uint8_t cb : itemSizes) {
        list.push_back(cb);
        list.push_back(0);
        for (int i = 2; i < cb; ++i) list.push_back(static_cast<uint8_t>(0x40 + i));
    }
    list.push_back(0);
    list.push_back(0);
    return list;
}

class CollectionFolder : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(CanUnload(), S_OK) << "objects of the library are alive"; }
    void TearDown() override { EXPECT_EQ(CanUnload(), S_OK); }
};

TEST_F(CollectionFolder, InterfacesAndClassId) {
    IShellFolder* folder = NewFolder();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(CanUnload(), S_FALSE);  // counted among the library's objects

    IUnknown* identity = nullptr;
    ASSERT_EQ(folder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    for (const IID* iid : {&IID_IUnknown, &IID_IPersist, &IID_IPersistFolder}) {
        void* p = nullptr;
        EXPECT_EQ(folder->QueryInterface(*iid, &p), S_OK);
        EXPECT_EQ(p, identity);
        static_cast<IUnknown*>(p)->Release();
    }
    void* shellFolder = nullptr;
    EXPECT_EQ(identity->QueryInterface(IID_IShellFolder, &shellFolder), S_OK);
    EXPECT_EQ(shellFolder, folder);
    EXPECT_NE(shellFolder, static_cast<void*>(identity));
    static_cast<IUnknown*>(shellFolder)->Release();
    for (const IID* iid : {&IID_IShellFolder2, &IID_IPersistFolder2, &IID_IDataObject}) {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(folder->QueryInterface(*iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }

    IPersistFolder* persist = nullptr;
    ASSERT_EQ(folder->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist)), S_OK);
    CLSID clsid = {};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, kCollection);
    EXPECT_EQ(persist->GetClassID(nullptr), S_OK);
    persist->Release();
    identity->Release();
    EXPECT_EQ(folder->Release(), 0u);
}

TEST_F(CollectionFolder, EveryFolderOperationRefused) {
    IShellFolder* folder = NewFolder();
    ASSERT_NE(folder, nullptr);
    std::vector<uint8_t> child = ListOf({6});
    auto item = reinterpret_cast<PCUITEMID_CHILD>(child.data());
    void* const junk = reinterpret_cast<void*>(0x1234);
    struct Row {
        const char* name;
        HRESULT (*call)(IShellFolder*, PCUITEMID_CHILD, void** out, ULONG* number);
        bool givesPointer;  // has a pointer to give back, which must be cleared
        bool clearsNumber;  // the ULONG is an out value that is cleared too
    };
    const Row rows[] = {
        {"ParseDisplayName",
         [](IShellFolder* f, PCUITEMID_CHILD, void** out, ULONG* n) {
             wchar_t name[] = L"x";
             return f->ParseDisplayName(nullptr, nullptr, name, n,
                                        reinterpret_cast<PIDLIST_RELATIVE*>(out), nullptr);
         },
         true, true},
        {"EnumObjects",
         [](IShellFolder* f, PCUITEMID_CHILD, void** out, ULONG*) {
             return f->EnumObjects(nullptr, SHCONTF_FOLDERS, reinterpret_cast<IEnumIDList**>(out));
         },
         true, false},
        {"BindToObject",
         [](IShellFolder* f, PCUITEMID_CHILD i, void** out, ULONG*) {
             return f->BindToObject(i, nullptr, IID_IShellFolder, out);
         },
         true, false},
        {"BindToStorage",
         [](IShellFolder* f, PCUITEMID_CHILD i, void** out, ULONG*) {
             return f->BindToStorage(i, nullptr, IID_IStream, out);
         },
         true, false},
        {"CompareIDs",
         [](IShellFolder* f, PCUITEMID_CHILD i, void**, ULONG*) { return f->CompareIDs(0, i, i); },
         false, false},
        {"CreateViewObject",
         [](IShellFolder* f, PCUITEMID_CHILD, void** out, ULONG*) {
             return f->CreateViewObject(nullptr, IID_IShellView, out);
         },
         true, false},
        {"GetAttributesOf",
         [](IShellFolder* f, PCUITEMID_CHILD i, void**, ULONG* n) {
             return f->GetAttributesOf(1, &i, n);
         },
         false, false},
        {"GetUIObjectOf",
         [](IShellFolder* f, PCUITEMID_CHILD i, void** out, ULONG*) {
             return f->GetUIObjectOf(nullptr, 1, &i, IID_IDataObject, nullptr, out);
         },
         true, false},
        {"GetDisplayNameOf",
         [](IShellFolder* f, PCUITEMID_CHILD i, void**, ULONG*) {
             STRRET name = {};
             return f->GetDisplayNameOf(i, SHGDN_NORMAL, &name);
         },
         false, false},
        {"SetNameOf",
         [](IShellFolder* f, PCUITEMID_CHILD i, void** out, ULONG*) {
             return f->SetNameOf(nullptr, i, L"y", SHGDN_NORMAL,
                                 reinterpret_cast<PITEMID_CHILD*>(out));
         },
         true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        void* out = junk;
        ULONG number = 77;
        EXPECT_EQ(row.call(folder, item, &out, &number), E_NOTIMPL);
        EXPECT_EQ(out, row.givesPointer ? nullptr : junk);
        EXPECT_EQ(number, row.clearsNumber ? 0u : 77u);
        EXPECT_EQ(row.call(folder, item, nullptr, nullptr), E_NOTIMPL);  // null outs are fine
    }
    EXPECT_EQ(folder->Release(), 0u);
}

TEST_F(CollectionFolder, InitializeKeepsOneCopyAndFreesIt) {
    BlockSpy spy;
    ASSERT_EQ(::CoRegisterMallocSpy(&spy), S_OK);
    IShellFolder* folder = NewFolder();
    ASSERT_NE(folder, nullptr);
    IPersistFolder* persist = nullptr;
    ASSERT_EQ(folder->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist)), S_OK);
    std::set<void*> before = spy.live;

    std::vector<uint8_t> first = ListOf({6, 10}), second = ListOf({4});
    EXPECT_EQ(persist->Initialize(reinterpret_cast<PCIDLIST_ABSOLUTE>(first.data())), S_OK);
    EXPECT_EQ(spy.live.size(), before.size() + 1);
    EXPECT_EQ(persist->Initialize(reinterpret_cast<PCIDLIST_ABSOLUTE>(second.data())), S_OK);
    EXPECT_EQ(spy.live.size(), before.size() + 1) << "the first copy was not freed";

    // A copy that cannot be made is reported, and the object keeps the list it had.
    spy.failNext = true;
    EXPECT_EQ(persist->Initialize(reinterpret_cast<PCIDLIST_ABSOLUTE>(first.data())),
              E_OUTOFMEMORY);
    EXPECT_EQ(spy.live.size(), before.size() + 1);
    EXPECT_EQ(persist->Initialize(nullptr), S_OK);  // no list: nothing held
    EXPECT_EQ(spy.live, before);
    EXPECT_EQ(persist->Initialize(reinterpret_cast<PCIDLIST_ABSOLUTE>(second.data())), S_OK);

    persist->Release();
    EXPECT_EQ(folder->Release(), 0u);
    for (void* block : before) spy.live.erase(block);
    EXPECT_TRUE(spy.live.empty()) << spy.live.size() << " blocks left after the last Release";
    ::CoRevokeMallocSpy();
}

}  // namespace
}  // namespace kwill
