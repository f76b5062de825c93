// BLAKE3 in its unkeyed hash mode: 1,024-byte chunks, a binary tree of parent nodes, and the
// root's output. Whole chunks in the middle of the input go to the kernel, which hashes many of
// them side by side; the last chunk always stays in the state because it may be the root.
#include "codec/blake3_compress.h"
#include "codec/hash_state.h"
#include "codec/kernels.h"

namespace kwill::codec {
namespace {

void Push(Blake3State& s, const uint32_t cv[8]) {
    for (int i = 0; i < 8; ++i) s.stack[s.stackLength][i] = cv[i];
    ++s.stackLength;
}

// Adds a completed chunk's chaining value; totalChunks counts the chunks completed so far. Each
// trailing zero bit of the count closes one subtree, merging it with its left sibling.
void AddChunk(Blake3State& s, const uint32_t chunkCv[8], uint64_t totalChunks) {
    uint32_t cv[8];
    for (int i = 0; i < 8; ++i) cv[i] = chunkCv[i];
    while ((totalChunks & 1) == 0) {
        --s.stackLength;
        Blake3Parent(s.stack[s.stackLength], cv, cv);
        totalChunks >>= 1;
    }
    Push(s, cv);
}

size_t ChunkLength(const Blake3State& s) {
    return size_t{64} * s.blocksCompressed + s.blockLength;
}

void StartChunk(Blake3State& s, uint64_t counter) {
    for (int i = 0; i < 8; ++i) s.cv[i] = kBlake3Iv[i];
    s.chunkCounter = counter;
    s.blockLength = 0;
    s.blocksCompressed = 0;
}

uint32_t StartFlag(const Blake3State& s) {
    return s.blocksCompressed == 0 ? kChunkStart : 0;
}

}  // namespace

void portable::Blake3Chunks(const uint8_t* in, size_t chunks, uint64_t counter,
                            uint32_t (*cvs)[8]) {
    for (size_t c = 0; c < chunks; ++c, in += 1024) {
        uint32_t cv[8];
        for (int i = 0; i < 8; ++i) cv[i] = kBlake3Iv[i];
        for (int b = 0; b < 16; ++b) {
            uint32_t flags = (b == 0 ? kChunkStart : 0) | (b == 15 ? kChunkEnd : 0);
            Blake3CompressInPlace(cv, in + 64 * b, 64, counter + c, flags);
        }
        for (int i = 0; i < 8; ++i) cvs[c][i] = cv[i];
    }
}

void portable::Blake3Parents(const uint8_t* in, size_t parents, uint32_t (*cvs)[8]) {
    for (size_t p = 0; p < parents; ++p, in += 64) {
        uint32_t cv[8];
        for (int i = 0; i < 8; ++i) cv[i] = kBlake3Iv[i];
        Blake3CompressInPlace(cv, in, 64, 0, kParent);
        for (int i = 0; i < 8; ++i) cvs[p][i] = cv[i];
    }
}

void Blake3Init(Blake3State& s) {
    StartChunk(s, 0);
    s.stackLength = 0;
}

void Blake3Update(Blake3State& s, const uint8_t* data, size_t length) {
    const Kernels& k = ActiveKernels();
    while (length) {
        if (ChunkLength(s) == 1024) {
            // More input follows, so this chunk is not the root.
            uint32_t cv[8];
            Blake3ChunkOutput(s.cv, s.block, s.blockLength, s.chunkCounter,
                              StartFlag(s) | kChunkEnd, cv);
            AddChunk(s, cv, s.chunkCounter + 1);
            StartChunk(s, s.chunkCounter + 1);
        }
        if (ChunkLength(s) == 0 && length > 1024) {
            // Whole chunks with more input after them, many at a time.
            size_t chunks = (length - 1) / 1024;
            while (chunks) {
                uint32_t cvs[16][8];
                if (chunks >= 16 && (s.chunkCounter & 15) == 0) {
                    // Sixteen chunks that start on a multiple of sixteen form a whole subtree:
                    // reduce it to its root here and enter it as one node of the stack, whose
                    // other entries are then all whole subtrees of sixteen or more as well.
                    k.blake3Chunks(data, 16, s.chunkCounter, cvs);
                    for (size_t n = 8; n; n /= 2)
                        k.blake3Parents(reinterpret_cast<const uint8_t*>(cvs), n, cvs);
                    s.chunkCounter += 16;
                    AddChunk(s, cvs[0], s.chunkCounter >> 4);
                    data += 16 * 1024;
                    length -= 16 * 1024;
                    chunks -= 16;
                    continue;
                }
                // Up to the next multiple of sixteen chunks, one chaining value at a time.
                size_t batch = 16 - (s.chunkCounter & 15);
                if (batch > chunks) batch = chunks;
                k.blake3Chunks(data, batch, s.chunkCounter, cvs);
                for (size_t i = 0; i < batch; ++i) {
                    AddChunk(s, cvs[i], s.chunkCounter + 1);
                    ++s.chunkCounter;
                }
                data += batch * 1024;
                length -= batch * 1024;
                chunks -= batch;
            }
            continue;
        }
        // Fill the chunk block by block; a full block is compressed only when more follows.
        if (s.blockLength == 64) {
            Blake3CompressInPlace(s.cv, s.block, 64, s.chunkCounter, StartFlag(s));
            ++s.blocksCompressed;
            s.blockLength = 0;
        }
        size_t take = 64 - s.blockLength;
        if (take > length) take = length;
        __builtin_memcpy(s.block + s.blockLength, data, take);
        s.blockLength = static_cast<uint8_t>(s.blockLength + take);
        data += take;
        length -= take;
    }
}

void Blake3Final(const Blake3State& s, uint8_t* out, size_t outLength) {
    // The chunk being read, then each subtree on the stack as its left sibling, up to the root.
    uint32_t cv[8];
    for (int i = 0; i < 8; ++i) cv[i] = s.cv[i];
    uint8_t block[64] = {};
    __builtin_memcpy(block, s.block, s.blockLength);
    uint32_t blockLength = s.blockLength;
    uint64_t counter = s.chunkCounter;
    uint32_t flags = StartFlag(s) | kChunkEnd;
    for (int i = s.stackLength - 1; i >= 0; --i) {
        uint32_t child[8];
        Blake3ChunkOutput(cv, block, blockLength, counter, flags, child);
        for (int w = 0; w < 8; ++w) {
            Store32Le(block + 4 * w, s.stack[i][w]);
            Store32Le(block + 32 + 4 * w, child[w]);
            cv[w] = kBlake3Iv[w];
        }
        blockLength = 64;
        counter = 0;
        flags = kParent;
    }
    uint32_t words[16];
    Blake3Compress(cv, block, blockLength, counter, flags | kRoot, words);
    uint8_t bytes[64];
    for (int i = 0; i < 16; ++i) Store32Le(bytes + 4 * i, words[i]);
    __builtin_memcpy(out, bytes, outLength < 64 ? outLength : 64);
}

}  // namespace kwill::codec
