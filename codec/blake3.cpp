// BLAKE3 in its unkeyed hash mode: 1,024-byte chunks, a binary tree of parent nodes, and the
// root's output. Runs of whole chunks go to the kernel, which hashes many of them side by side,
// and their parents to the kernel for many parents.
//
// Any node but the root is hashed the same whether or not more input follows, so whole chunks
// can be hashed as they come, even the last one of a call. What must wait is merging: the stack
// holds the chaining values of the completed subtrees of the right edge, and two of them are
// merged into their parent only once input beyond them has arrived, since that parent may be the
// root. The one exception is a first chunk that the input so far ends with: it may be the root
// itself, so it stays in the state until more input follows.
#include "codec/blake3_compress.h"
#include "codec/hash_state.h"
#include "codec/kernels.h"

namespace kwill::codec {
namespace {

// Subtrees of up to kMaxSubtree chunks are reduced in one go, kChunkBatch chunks at a time
// (their chaining values stay on the stack of the calling thread: 32 bytes each). The larger the
// subtree, the fewer of its parents go to the narrow kernels; batches keep the stack small.
constexpr size_t kMaxSubtree = 1024;
constexpr size_t kChunkBatch = 256;

int PopCount(uint64_t x) {
    return __builtin_popcountll(x);
}

// Merges the postponed pairs now that input beyond them exists: a tree of totalChunks chunks has
// one completed subtree for each bit set in the count.
void MergeStack(uint32_t (*stack)[8], uint8_t& length, uint64_t totalChunks) {
    while (length > PopCount(totalChunks)) {
        Blake3Parent(stack[length - 2], stack[length - 1], stack[length - 2]);
        --length;
    }
}

// Adds the chaining value of a completed subtree that starts after chunksBefore chunks.
void Push(Blake3State& s, const uint32_t cv[8], uint64_t chunksBefore) {
    MergeStack(s.stack, s.stackLength, chunksBefore);
    for (int i = 0; i < 8; ++i) s.stack[s.stackLength][i] = cv[i];
    ++s.stackLength;
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

// Reduces the whole subtree of n chunks (a power of two from 16 to kMaxSubtree) at data, whose
// first chunk has the given counter, to the chaining values of its two halves in halves[0] and
// halves[1]. A subtree larger than a batch goes batch by batch down to sixteen values each, and
// from there as a whole.
void ReduceSubtree(const Kernels& k, const uint8_t* data, size_t n, uint64_t counter,
                   uint32_t (*halves)[8]) {
    uint32_t cvs[kChunkBatch][8];
    auto parents = [&k](uint32_t(*level)[8], size_t from, size_t to) {
        for (size_t m = from / 2; m >= to; m /= 2)
            k.blake3Parents(reinterpret_cast<const uint8_t*>(level), m, level);
    };
    if (n <= kChunkBatch) {
        k.blake3Chunks(data, n, counter, cvs);
        parents(cvs, n, 2);
        __builtin_memcpy(halves, cvs, sizeof(cvs[0]) * 2);
        return;
    }
    uint32_t tops[kMaxSubtree / kChunkBatch * 16][8];
    for (size_t b = 0; b < n / kChunkBatch; ++b) {
        k.blake3Chunks(data + b * kChunkBatch * 1024, kChunkBatch, counter + b * kChunkBatch, cvs);
        parents(cvs, kChunkBatch, 16);
        __builtin_memcpy(tops[16 * b], cvs, sizeof(cvs[0]) * 16);
    }
    parents(tops, n / kChunkBatch * 16, 2);
    __builtin_memcpy(halves, tops, sizeof(tops[0]) * 2);
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
            Push(s, cv, s.chunkCounter);
            StartChunk(s, s.chunkCounter + 1);
        }
        if (ChunkLength(s) == 0 && length >= 1024 && (s.chunkCounter || length > 1024)) {
            size_t chunks = length / 1024;
            uint32_t cvs[16][8];
            while (chunks) {
                if (chunks >= 16 && (s.chunkCounter & 15) == 0) {
                    // A whole subtree of 16 to kMaxSubtree chunks, as many as there are and its
                    // position allows (it starts on a multiple of its size), reduced to the two
                    // halves below its root: the root itself may be the root of everything. The
                    // larger the subtree, the fewer of its parents go to the narrow kernels.
                    size_t n = 16;
                    while (n < kMaxSubtree && 2 * n <= chunks &&
                           (s.chunkCounter & (2 * n - 1)) == 0)
                        n *= 2;
                    ReduceSubtree(k, data, n, s.chunkCounter, cvs);
                    Push(s, cvs[0], s.chunkCounter);
                    Push(s, cvs[1], s.chunkCounter + n / 2);
                    s.chunkCounter += n;
                    data += n * 1024;
                    length -= n * 1024;
                    chunks -= n;
                    continue;
                }
                // Up to the next multiple of sixteen chunks, one chaining value at a time.
                size_t batch = 16 - (s.chunkCounter & 15);
                if (batch > chunks) batch = chunks;
                k.blake3Chunks(data, batch, s.chunkCounter, cvs);
                for (size_t i = 0; i < batch; ++i) {
                    Push(s, cvs[i], s.chunkCounter);
                    ++s.chunkCounter;
                }
                data += batch * 1024;
                length -= batch * 1024;
                chunks -= batch;
            }
            StartChunk(s, s.chunkCounter);
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
    // The right edge of the tree from the bottom up: the node still to compress, with each
    // subtree on the stack as its left sibling, up to the root.
    uint32_t stack[kBlake3MaxDepth + 1][8];
    uint8_t stackLength = s.stackLength;
    __builtin_memcpy(stack, s.stack, sizeof(stack[0]) * stackLength);
    uint32_t cv[8];
    uint8_t block[64] = {};
    uint32_t blockLength, flags;
    uint64_t counter;
    if (ChunkLength(s) || s.chunkCounter == 0) {
        // The chunk being read is the last node: the input goes on past the subtrees on the
        // stack, so their postponed merges happen first.
        MergeStack(stack, stackLength, s.chunkCounter);
        for (int i = 0; i < 8; ++i) cv[i] = s.cv[i];
        __builtin_memcpy(block, s.block, s.blockLength);
        blockLength = s.blockLength;
        counter = s.chunkCounter;
        flags = StartFlag(s) | kChunkEnd;
    } else {
        // The input ended with a whole chunk: the last two subtrees are the children of the
        // last parent (two at least, as a lone first chunk stays in the state).
        stackLength -= 2;
        for (int w = 0; w < 8; ++w) {
            Store32Le(block + 4 * w, stack[stackLength][w]);
            Store32Le(block + 32 + 4 * w, stack[stackLength + 1][w]);
            cv[w] = kBlake3Iv[w];
        }
        blockLength = 64;
        counter = 0;
        flags = kParent;
    }
    for (int i = stackLength - 1; i >= 0; --i) {
        uint32_t child[8];
        Blake3ChunkOutput(cv, block, blockLength, counter, flags, child);
        for (int w = 0; w < 8; ++w) {
            Store32Le(block + 4 * w, stack[i][w]);
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
