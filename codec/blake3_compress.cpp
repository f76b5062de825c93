#include "codec/blake3_compress.h"

namespace kwill::codec {
namespace {

inline void G(uint32_t* v, int a, int b, int c, int d, uint32_t x, uint32_t y) {
    v[a] += v[b] + x;
    v[d] = Rotr32(v[d] ^ v[a], 16);
    v[c] += v[d];
    v[b] = Rotr32(v[b] ^ v[c], 12);
    v[a] += v[b] + y;
    v[d] = Rotr32(v[d] ^ v[a], 8);
    v[c] += v[d];
    v[b] = Rotr32(v[b] ^ v[c], 7);
}

void Rounds(uint32_t v[16], const uint32_t cv[8], const uint8_t block[64], uint32_t blockLength,
            uint64_t counter, uint32_t flags) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = Load32Le(block + 4 * i);
    for (int i = 0; i < 8; ++i) v[i] = cv[i];
    for (int i = 0; i < 4; ++i) v[8 + i] = kBlake3Iv[i];
    v[12] = static_cast<uint32_t>(counter);
    v[13] = static_cast<uint32_t>(counter >> 32);
    v[14] = blockLength;
    v[15] = flags;
    for (const auto& s : kBlake3Schedule) {
        G(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        G(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        G(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        G(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        G(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        G(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        G(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        G(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
}

}  // namespace

void Blake3Compress(const uint32_t cv[8], const uint8_t block[64], uint32_t blockLength,
                    uint64_t counter, uint32_t flags, uint32_t out[16]) {
    uint32_t v[16];
    Rounds(v, cv, block, blockLength, counter, flags);
    for (int i = 0; i < 8; ++i) {
        out[i] = v[i] ^ v[i + 8];
        out[i + 8] = v[i + 8] ^ cv[i];
    }
}

void Blake3CompressInPlace(uint32_t cv[8], const uint8_t block[64], uint32_t blockLength,
                           uint64_t counter, uint32_t flags) {
    uint32_t v[16];
    Rounds(v, cv, block, blockLength, counter, flags);
    for (int i = 0; i < 8; ++i) cv[i] = v[i] ^ v[i + 8];
}

}  // namespace kwill::codec
