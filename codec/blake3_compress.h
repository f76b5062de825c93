// The BLAKE3 compression function and the pieces of the tree built on it.
#pragma once

#include "codec/md_block.h"

#include <cstdint>

namespace kwill::codec {

inline constexpr uint32_t kBlake3Iv[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                          0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
inline constexpr uint32_t kChunkStart = 1;
inline constexpr uint32_t kChunkEnd = 2;
inline constexpr uint32_t kParent = 4;
inline constexpr uint32_t kRoot = 8;

// Message word order of each of the seven rounds.
inline constexpr uint8_t kBlake3Schedule[7][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {2, 6, 3, 10, 7, 0, 4, 13, 1, 11, 12, 5, 9, 14, 15, 8},
    {3, 4, 10, 12, 13, 2, 7, 14, 6, 5, 9, 0, 11, 15, 8, 1},
    {10, 7, 12, 9, 14, 3, 13, 15, 4, 0, 11, 2, 5, 8, 1, 6},
    {12, 13, 9, 11, 15, 10, 14, 8, 7, 2, 5, 3, 0, 1, 6, 4},
    {9, 14, 11, 5, 8, 12, 15, 1, 13, 3, 0, 10, 2, 6, 4, 7},
    {11, 15, 5, 0, 1, 9, 8, 6, 14, 10, 2, 12, 3, 4, 7, 13},
};

// The full 16-word output of one compression.
void Blake3Compress(const uint32_t cv[8], const uint8_t block[64], uint32_t blockLength,
                    uint64_t counter, uint32_t flags, uint32_t out[16]);
void Blake3CompressInPlace(uint32_t cv[8], const uint8_t block[64], uint32_t blockLength,
                           uint64_t counter, uint32_t flags);

// A chunk's chaining value from its last block.
inline void Blake3ChunkOutput(const uint32_t cv[8], const uint8_t block[64], uint32_t blockLength,
                              uint64_t counter, uint32_t flags, uint32_t out[8]) {
    uint8_t padded[64] = {};
    __builtin_memcpy(padded, block, blockLength);
    for (int i = 0; i < 8; ++i) out[i] = cv[i];
    Blake3CompressInPlace(out, padded, blockLength, counter, flags);
}

// A parent node's chaining value from its two children; out may alias either.
inline void Blake3Parent(const uint32_t left[8], const uint32_t right[8], uint32_t out[8]) {
    uint8_t block[64];
    for (int i = 0; i < 8; ++i) {
        Store32Le(block + 4 * i, left[i]);
        Store32Le(block + 32 + 4 * i, right[i]);
    }
    for (int i = 0; i < 8; ++i) out[i] = kBlake3Iv[i];
    Blake3CompressInPlace(out, block, 64, 0, kParent);
}

}  // namespace kwill::codec
