// Start-up and per-thread state of the zip engine's two halves: A decompresses, B compresses.
//
// Each half starts once per process on first use (under the context's Lock 1, recorded in library
// flags 0x1 and 0x2) and once per thread (recorded in thread flags A 0x1 and 0x2); a thread's
// state lives in that half's own TLS slot and is freed at thread detach, the slots at process
// detach. The state is reusable: a thread that inflates a thousand members allocates its
// decompressors once.
#pragma once

#include <zlib.h>

#include <cstdint>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace kwill::zip {

// Half A on the calling thread: a raw-deflate zlib stream (for streaming and unknown sizes) and a
// whole-buffer decompressor.
struct InflateState {
    z_stream stream{};
    bool streamReady = false;
    libdeflate_decompressor* whole = nullptr;
};

// Half B on the calling thread: a raw-deflate zlib stream at streamLevel and a whole-buffer
// compressor at wholeLevel, each remade only when another level is asked for.
struct DeflateState {
    z_stream stream{};
    int streamLevel = -1;
    libdeflate_compressor* whole = nullptr;
    int wholeLevel = -1;
};

// The calling thread's state, starting the half for the process and the thread as needed; null
// when memory is short. Never shared between threads.
InflateState* ThreadInflater();
DeflateState* ThreadDeflater();

// The whole-buffer (de)compressor of the thread state, made on first use; null without memory.
libdeflate_decompressor* WholeDecompressor(InflateState& state);
libdeflate_compressor* WholeCompressor(DeflateState& state, int level);
// The streaming state reset for a new raw-deflate stream; false without memory.
bool ResetInflateStream(InflateState& state);
bool ResetDeflateStream(DeflateState& state, int level);

// Counts for tests: process start-ups run per half, and thread states alive per half.
struct EngineCounters {
    long processStarts[2];
    long liveThreadStates[2];
};
EngineCounters ReadEngineCounters();

}  // namespace kwill::zip
