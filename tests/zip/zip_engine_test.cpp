// The engine's start-up: once per process however many threads race for it, once per thread,
// and every thread's state freed when the thread goes.
#include "frame/context.h"
#include "frame/thread_data.h"
#include "zip/zip_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kwill::zip {
namespace {

// Taken before anything attaches: a program that links the frame without loading the library
// (this one, the benchmark) must not find the context built, or the engine's start-up would
// enter a critical section that was never initialised.
const bool g_readyBeforeAttach = ContextReady();

// This executable's own copy of the library frame, attached for every zip test as the loader
// attaches the DLL's copy.
class AttachedFrame : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(DllEntry(::GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH));
    }
    void TearDown() override { EXPECT_TRUE(DllEntry(nullptr, DLL_PROCESS_DETACH)); }
};
[[maybe_unused]] ::testing::Environment* const g_frame =
    ::testing::AddGlobalTestEnvironment(new AttachedFrame);

TEST(ZipEngine, ContextNotBuiltBeforeAttach) {
    EXPECT_FALSE(g_readyBeforeAttach);
}

TEST(ZipEngine, EightThreadsStartEachHalfOnce) {
    // Start from a process where the engine has not run: detach shuts it down.
    ASSERT_TRUE(DllEntry(nullptr, DLL_PROCESS_DETACH));
    ASSERT_TRUE(DllEntry(::GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH));
    EXPECT_EQ(LibFlags() & (kLibZipHalfA | kLibZipHalfB), 0u);
    EngineCounters before = ReadEngineCounters();

    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            InflateState* a = ThreadInflater();
            DeflateState* b = ThreadDeflater();
            ThreadData* block = GetThreadData();
            bool ok = a && b && a == ThreadInflater() && b == ThreadDeflater() && block &&
                      (block->flagsA & (kThreadZipHalfA | kThreadZipHalfB)) ==
                          (kThreadZipHalfA | kThreadZipHalfB) &&
                      WholeDecompressor(*a) && WholeCompressor(*b, 6) && ResetInflateStream(*a) &&
                      ResetDeflateStream(*b, 6);
            good.fetch_add(ok);
            // What the loader's thread detach does.
            FreeThreadData();
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), kThreads);
    EngineCounters after = ReadEngineCounters();
    EXPECT_EQ(after.processStarts[0] - before.processStarts[0], 1);
    EXPECT_EQ(after.processStarts[1] - before.processStarts[1], 1);
    EXPECT_EQ(after.liveThreadStates[0], before.liveThreadStates[0]);
    EXPECT_EQ(after.liveThreadStates[1], before.liveThreadStates[1]);
    EXPECT_EQ(LibFlags() & (kLibZipHalfA | kLibZipHalfB), kLibZipHalfA | kLibZipHalfB);
}

TEST(ZipEngine, DetachFreesTheCallingThreadsStateAndTheSlots) {
    ASSERT_NE(ThreadInflater(), nullptr);
    ASSERT_NE(ThreadDeflater(), nullptr);
    EngineCounters with = ReadEngineCounters();
    ASSERT_TRUE(DllEntry(nullptr, DLL_PROCESS_DETACH));
    EngineCounters without = ReadEngineCounters();
    EXPECT_EQ(without.liveThreadStates[0], with.liveThreadStates[0] - 1);
    EXPECT_EQ(without.liveThreadStates[1], with.liveThreadStates[1] - 1);
    ASSERT_TRUE(DllEntry(::GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH));
    // Started again on the next use.
    ASSERT_NE(ThreadInflater(), nullptr);
    EXPECT_EQ(ReadEngineCounters().processStarts[0], with.processStarts[0] + 1);
}

}  // namespace
}  // namespace kwill::zip
