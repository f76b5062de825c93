#include "zip/zip_engine.h"

#include "frame/context.h"
#include "frame/hooks.h"
#include "frame/thread_data.h"

#include <libdeflate.h>

#include <new>

namespace kwill::zip {
namespace {

constexpr unsigned kHalfA = 1;  // decompressor
constexpr unsigned kHalfB = 2;  // compressor

// Each half's TLS slot; TLS_OUT_OF_INDEXES until the half has started in this process.
DWORD g_slot[2] = {TLS_OUT_OF_INDEXES, TLS_OUT_OF_INDEXES};
volatile long g_processStarts[2];
volatile long g_liveStates[2];
// Serialises the start-up when the library context is not built (the engine linked into a
// program of its own rather than loaded as the library).
SRWLOCK g_standaloneLock = SRWLOCK_INIT;

void FreeInflateState(InflateState* state) {
    if (!state) return;
    if (state->streamReady) inflateEnd(&state->stream);
    if (state->whole) libdeflate_free_decompressor(state->whole);
    delete state;
    ::InterlockedDecrement(&g_liveStates[0]);
}

void FreeDeflateState(DeflateState* state) {
    if (!state) return;
    if (state->streamLevel >= 0) deflateEnd(&state->stream);
    if (state->whole) libdeflate_free_compressor(state->whole);
    delete state;
    ::InterlockedDecrement(&g_liveStates[1]);
}

// Per-thread shut-down of one half for the calling thread.
void ThreadShutdown(unsigned half) {
    if (half != kHalfA && half != kHalfB) return;
    DWORD slot = g_slot[half - 1];
    if (slot == TLS_OUT_OF_INDEXES) return;
    void* value = ::TlsGetValue(slot);
    ::TlsSetValue(slot, nullptr);
    if (half == kHalfA)
        FreeInflateState(static_cast<InflateState*>(value));
    else
        FreeDeflateState(static_cast<DeflateState*>(value));
}

// Process-wide shut-down at process detach: the calling thread's state has gone already; the
// slot is given back.
void ProcessShutdown(unsigned half) {
    if (half != kHalfA && half != kHalfB) return;
    DWORD& slot = g_slot[half - 1];
    if (slot == TLS_OUT_OF_INDEXES) return;
    ThreadShutdown(half);
    ::TlsFree(slot);
    slot = TLS_OUT_OF_INDEXES;
}

// Runs the half's process start-up once; false when no TLS slot is left.
bool StartHalfForProcess(unsigned half) {
    DWORD& slot = g_slot[half - 1];
    if (slot != TLS_OUT_OF_INDEXES) return true;
    bool attached = ContextReady();
    if (attached)
        ::EnterCriticalSection(&Context().lock1);
    else
        ::AcquireSRWLockExclusive(&g_standaloneLock);
    if (slot == TLS_OUT_OF_INDEXES) {
        DWORD index = ::TlsAlloc();
        if (index != TLS_OUT_OF_INDEXES) {
            FrameHooks& hooks = Hooks();
            hooks.zipThreadShutdown = ThreadShutdown;
            hooks.zipProcessShutdown = ProcessShutdown;
            SetLibFlags(half == kHalfA ? kLibZipHalfA : kLibZipHalfB, 0);
            ::InterlockedIncrement(&g_processStarts[half - 1]);
            // Published last: another thread that sees the slot sees the hooks and flags too.
            ::InterlockedExchange(reinterpret_cast<volatile long*>(&slot),
                                  static_cast<long>(index));
        }
    }
    if (attached)
        ::LeaveCriticalSection(&Context().lock1);
    else
        ::ReleaseSRWLockExclusive(&g_standaloneLock);
    return slot != TLS_OUT_OF_INDEXES;
}

template <typename State>
State* ThreadState(unsigned half) {
    if (!StartHalfForProcess(half)) return nullptr;
    DWORD slot = g_slot[half - 1];
    if (auto* existing = static_cast<State*>(::TlsGetValue(slot))) return existing;
    auto* state = new (std::nothrow) State();
    if (!state) return nullptr;
    ::InterlockedIncrement(&g_liveStates[half - 1]);
    ::TlsSetValue(slot, state);
    if (ThreadData* block = GetThreadData())
        block->flagsA |= half == kHalfA ? kThreadZipHalfA : kThreadZipHalfB;
    return state;
}

}  // namespace

InflateState* ThreadInflater() {
    return ThreadState<InflateState>(kHalfA);
}

DeflateState* ThreadDeflater() {
    return ThreadState<DeflateState>(kHalfB);
}

libdeflate_decompressor* WholeDecompressor(InflateState& state) {
    if (!state.whole) state.whole = libdeflate_alloc_decompressor();
    return state.whole;
}

libdeflate_compressor* WholeCompressor(DeflateState& state, int level) {
    if (state.whole && state.wholeLevel == level) return state.whole;
    if (state.whole) libdeflate_free_compressor(state.whole);
    state.whole = libdeflate_alloc_compressor(level);
    state.wholeLevel = state.whole ? level : -1;
    return state.whole;
}

bool ResetInflateStream(InflateState& state) {
    if (state.streamReady) return inflateReset(&state.stream) == Z_OK;
    state.stream = z_stream{};
    state.streamReady = inflateInit2(&state.stream, -MAX_WBITS) == Z_OK;
    return state.streamReady;
}

bool ResetDeflateStream(DeflateState& state, int level) {
    if (state.streamLevel == level) return deflateReset(&state.stream) == Z_OK;
    if (state.streamLevel >= 0) deflateEnd(&state.stream);
    state.stream = z_stream{};
    bool ok =
        deflateInit2(&state.stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    state.streamLevel = ok ? level : -1;
    return ok;
}

EngineCounters ReadEngineCounters() {
    return {{g_processStarts[0], g_processStarts[1]}, {g_liveStates[0], g_liveStates[1]}};
}

}  // namespace kwill::zip
