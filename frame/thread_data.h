// The per-thread block kept in the library's own thread-local slot.
#pragma once

#include "frame/platform.h"

#include <unknwn.h>

#include <cstdint>

namespace kwill {

enum ThreadFlagA : uint64_t {
    kThreadZipHalfA = 0x1,
    kThreadZipHalfB = 0x2,
    kThreadMode1 = 0x400000,
    kThreadMode2 = 0x800000,
};
enum ThreadFlagB : uint64_t {
    kThreadTearingDown = 0x8,
};

struct ThreadData {
    uint64_t flagsA;
    uint64_t userValue;  // a named thread's ANSI name while its routine runs
    uint32_t startTick;
    IUnknown* object;
    int32_t counter;
    uint64_t flagsB;
};

// The calling thread's block, created on first use; null without a TLS index or memory.
ThreadData* GetThreadData();
// The block if the thread has one; never creates it.
ThreadData* PeekThreadData();
// Runs the zip engine's per-thread shut-down for each half the block records as started, and
// clears those bits.
void ShutDownThreadZipHalves(ThreadData& block);
// Thread detach: runs the zip engine's per-thread shut-down, releases the object, frees the block.
void FreeThreadData();
// Another thread's block, read from its thread environment block.
ThreadData* GetOtherThreadData(DWORD threadId);

}  // namespace kwill
