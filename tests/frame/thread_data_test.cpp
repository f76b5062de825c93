// Per-thread blocks through the DLL's ordinal exports, on this thread and on real new threads.
#include "frame/context.h"
#include "frame/thread_data.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kwill {
namespace {

using test::Ordinal;

struct ThreadApi {
    void (*setFlags)(uint64_t, uint64_t) = Ordinal<void (*)(uint64_t, uint64_t)>(24);
    uint64_t (*getFlags)() = Ordinal<uint64_t (*)()>(25);
    ThreadData* (*getData)() = Ordinal<ThreadData* (*)()>(64);
    void (*freeData)() = Ordinal<void (*)()>(86);
    uint64_t (*getUser)() = Ordinal<uint64_t (*)()>(90);
    void (*setUser)(uint64_t) = Ordinal<void (*)(uint64_t)>(91);
    BOOL (*startTick)(DWORD*) = Ordinal<BOOL (*)(DWORD*)>(122);
    void (*setMode)(int) = Ordinal<void (*)(int)>(137);
    int (*getMode)() = Ordinal<int (*)()>(138);
    DWORD (*tlsIndex)() = Ordinal<DWORD (*)()>(171);
    IUnknown* (*getObject)() = Ordinal<IUnknown* (*)()>(172);
    BOOL (*setObject)(IUnknown*) = Ordinal<BOOL (*)(IUnknown*)>(173);
    int (*inc)() = Ordinal<int (*)()>(174);
    int (*dec)() = Ordinal<int (*)()>(175);
    int (*counter)() = Ordinal<int (*)()>(176);
    uint64_t (*testClear)(uint64_t) = Ordinal<uint64_t (*)(uint64_t)>(177);
    void (*setState)(uint64_t, uint64_t) = Ordinal<void (*)(uint64_t, uint64_t)>(178);
    uint64_t (*getState)() = Ordinal<uint64_t (*)()>(179);
    uint64_t (*testClearState)(uint64_t) = Ordinal<uint64_t (*)(uint64_t)>(180);
    ThreadData* (*other)(DWORD) = Ordinal<ThreadData* (*)(DWORD)>(204);
    IUnknown* (*otherObject)(DWORD) = Ordinal<IUnknown* (*)(DWORD)>(205);
};

const ThreadApi& Api() {
    static ThreadApi api;
    return api;
}

// Counts its references so the tests can see the block take and drop one.
class CountedObject final : public IUnknown {
  public:
    std::atomic<long> refs{1};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
};

TEST(ThreadData, AllExportsPresent) {
    const ThreadApi& a = Api();
    const void* all[] = {
        reinterpret_cast<void*>(a.setFlags),
        reinterpret_cast<void*>(a.getFlags),
        reinterpret_cast<void*>(a.getData),
        reinterpret_cast<void*>(a.freeData),
        reinterpret_cast<void*>(a.getUser),
        reinterpret_cast<void*>(a.setUser),
        reinterpret_cast<void*>(a.startTick),
        reinterpret_cast<void*>(a.setMode),
        reinterpret_cast<void*>(a.getMode),
        reinterpret_cast<void*>(a.tlsIndex),
        reinterpret_cast<void*>(a.getObject),
        reinterpret_cast<void*>(a.setObject),
        reinterpret_cast<void*>(a.inc),
        reinterpret_cast<void*>(a.dec),
        reinterpret_cast<void*>(a.counter),
        reinterpret_cast<void*>(a.testClear),
        reinterpret_cast<void*>(a.setState),
        reinterpret_cast<void*>(a.getState),
        reinterpret_cast<void*>(a.testClearState),
        reinterpret_cast<void*>(a.other),
        reinterpret_cast<void*>(a.otherObject),
    };
    for (const void* p : all) EXPECT_NE(p, nullptr);
}

TEST(ThreadData, FlagWords) {
    const ThreadApi& a = Api();
    a.freeData();  // start from a fresh block
    EXPECT_EQ(a.getFlags(), 0u);
    a.setFlags(0x0000'0001'0000'0010ull, 0);
    a.setFlags(0x20, 0x10);
    EXPECT_EQ(a.getFlags(), 0x0000'0001'0000'0020ull);
    a.setFlags(0x40, 0x40);  // set wins
    EXPECT_EQ(a.testClear(0x60), 0x60u);
    EXPECT_EQ(a.getFlags(), 0x0000'0001'0000'0000ull);
    EXPECT_EQ(a.testClear(0x4), 0u);

    a.setState(0x3, 0);
    a.setState(0x10, 0x1);
    EXPECT_EQ(a.getState(), 0x12u);
    EXPECT_EQ(a.testClearState(0x11), 0x10u);
    EXPECT_EQ(a.getState(), 0x2u);
    a.freeData();
}

TEST(ThreadData, Modes) {
    const ThreadApi& a = Api();
    struct Row {
        int set;
        int expected;
        uint64_t bits;
    } rows[] = {{1, 1, 0x400000}, {2, 2, 0x800000}, {1, 1, 0x400000}, {0, 0, 0},
                {3, 0, 0},        {2, 2, 0x800000}, {-1, 0, 0}};
    for (const Row& r : rows) {
        a.setMode(r.set);
        EXPECT_EQ(a.getMode(), r.expected) << r.set;
        EXPECT_EQ(a.getFlags() & 0xC00000, r.bits) << r.set;
    }
    // Both bits set by hand: mode 1 wins.
    a.setFlags(0xC00000, 0);
    EXPECT_EQ(a.getMode(), 1);
    a.setMode(0);
}

TEST(ThreadData, CounterAndUserValue) {
    const ThreadApi& a = Api();
    a.freeData();
    EXPECT_EQ(a.inc(), 1);
    EXPECT_EQ(a.inc(), 2);
    EXPECT_EQ(a.dec(), 1);
    EXPECT_EQ(a.dec(), 0);
    EXPECT_EQ(a.dec(), -1);
    EXPECT_EQ(a.counter(), -1);
    a.setUser(0xFEDC'BA98'7654'3210ull);
    EXPECT_EQ(a.getUser(), 0xFEDC'BA98'7654'3210ull);
    a.freeData();
    EXPECT_EQ(a.counter(), 0);  // a fresh block
    EXPECT_EQ(a.getUser(), 0u);
}

TEST(ThreadData, StartTickDoesNotCreateABlock) {
    const ThreadApi& a = Api();
    a.freeData();
    DWORD index = a.tlsIndex();
    ASSERT_NE(index, kNoTlsIndex);
    EXPECT_EQ(::TlsGetValue(index), nullptr);
    DWORD tick = 1234;
    EXPECT_FALSE(a.startTick(&tick));
    EXPECT_EQ(tick, 0u);
    EXPECT_EQ(::TlsGetValue(index), nullptr);

    DWORD before = ::GetTickCount();
    ThreadData* block = a.getData();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(::TlsGetValue(index), block);
    EXPECT_EQ(a.getData(), block);
    EXPECT_TRUE(a.startTick(&tick));
    EXPECT_LE(tick - before, 1000u);
}

TEST(ThreadData, ObjectAttachedOnceAndReleasedAtTeardown) {
    const ThreadApi& a = Api();
    a.freeData();
    CountedObject first, second;
    EXPECT_FALSE(a.setObject(nullptr));
    ASSERT_TRUE(a.setObject(&first));
    EXPECT_EQ(first.refs.load(), 2);
    EXPECT_FALSE(a.setObject(&second));  // one per block; the first stays
    EXPECT_EQ(second.refs.load(), 1);
    EXPECT_EQ(a.getObject(), &first);
    EXPECT_EQ(first.refs.load(), 2);  // no reference added by the getter

    a.freeData();
    EXPECT_EQ(first.refs.load(), 1);
    a.freeData();                       // no block: nothing happens
    EXPECT_EQ(a.getObject(), nullptr);  // fresh block
    ASSERT_TRUE(a.setObject(&second));
    a.freeData();
    EXPECT_EQ(second.refs.load(), 1);
}

TEST(ThreadData, TearingDownRefusesObjects) {
    const ThreadApi& a = Api();
    a.freeData();
    CountedObject object;
    a.setState(kThreadTearingDown, 0);
    EXPECT_FALSE(a.setObject(&object));
    // Teardown already marked: FreeThreadData does nothing.
    ThreadData* block = a.getData();
    a.freeData();
    EXPECT_EQ(a.getData(), block);
    a.setState(0, kThreadTearingDown);
    a.freeData();
}

// Real threads: each gets its own block at thread attach, another thread can see it, and thread
// detach frees it and releases its object.
TEST(ThreadData, BlocksAcrossRealThreads) {
    const ThreadApi& a = Api();
    constexpr int kThreads = 6;
    CountedObject objects[kThreads];
    std::atomic<int> ready{0};
    std::atomic<bool> release{false};
    std::vector<DWORD> ids(kThreads);
    std::vector<ThreadData*> blocks(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ids[i] = ::GetCurrentThreadId();
            DWORD tick = 0;
            bool hadBlock = a.startTick(&tick);  // made at thread attach
            blocks[i] = hadBlock ? a.getData() : nullptr;
            a.setFlags(uint64_t(i + 1) << 32, 0);
            a.setObject(&objects[i]);
            ++ready;
            while (!release) ::Sleep(1);
        });
    }
    while (ready < kThreads) ::Sleep(1);
    for (int i = 0; i < kThreads; ++i) {
        ASSERT_NE(blocks[i], nullptr) << i;
        ThreadData* seen = a.other(ids[i]);
        EXPECT_EQ(seen, blocks[i]) << i;
        if (seen) {
            EXPECT_EQ(seen->flagsA >> 32, uint64_t(i + 1));
        }
        EXPECT_EQ(a.otherObject(ids[i]), &objects[i]);
        EXPECT_EQ(objects[i].refs.load(), 2);
    }
    EXPECT_EQ(a.other(::GetCurrentThreadId()), a.getData());
    release = true;
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(objects[i].refs.load(), 1) << i;
    EXPECT_EQ(a.other(0xFFFFFFF0u), nullptr);
}

}  // namespace
}  // namespace kwill
