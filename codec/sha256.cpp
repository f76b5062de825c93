// SHA-256 (FIPS 180-4).
#include "codec/hash_state.h"
#include "codec/kernels.h"
#include "codec/md_block.h"

namespace kwill::codec {

extern const uint32_t kSha256K[64];
alignas(64) const uint32_t kSha256K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

#define KW_SHA256_ROUND(a, b, c, d, e, f, g, h, k, x)                                             \
    do {                                                                                          \
        uint32_t t1 =                                                                             \
            h + (Rotr32(e, 6) ^ Rotr32(e, 11) ^ Rotr32(e, 25)) + (g ^ (e & (f ^ g))) + (k) + (x); \
        uint32_t t2 = (Rotr32(a, 2) ^ Rotr32(a, 13) ^ Rotr32(a, 22)) + ((a & b) | (c & (a | b))); \
        d += t1;                                                                                  \
        h = t1 + t2;                                                                              \
    } while (0)

void portable::Sha256Blocks(uint32_t h[8], const uint8_t* in, size_t blocks) {
    for (; blocks; --blocks, in += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i) w[i] = Load32Be(in + 4 * i);
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = Rotr32(w[i - 15], 7) ^ Rotr32(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rotr32(w[i - 2], 17) ^ Rotr32(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; i += 8) {
            KW_SHA256_ROUND(a, b, c, d, e, f, g, hh, kSha256K[i], w[i]);
            KW_SHA256_ROUND(hh, a, b, c, d, e, f, g, kSha256K[i + 1], w[i + 1]);
            KW_SHA256_ROUND(g, hh, a, b, c, d, e, f, kSha256K[i + 2], w[i + 2]);
            KW_SHA256_ROUND(f, g, hh, a, b, c, d, e, kSha256K[i + 3], w[i + 3]);
            KW_SHA256_ROUND(e, f, g, hh, a, b, c, d, kSha256K[i + 4], w[i + 4]);
            KW_SHA256_ROUND(d, e, f, g, hh, a, b, c, kSha256K[i + 5], w[i + 5]);
            KW_SHA256_ROUND(c, d, e, f, g, hh, a, b, kSha256K[i + 6], w[i + 6]);
            KW_SHA256_ROUND(b, c, d, e, f, g, hh, a, kSha256K[i + 7], w[i + 7]);
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += hh;
    }
}

void Sha256Init(Sha256State& s) {
    static const uint32_t kIv[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    for (int i = 0; i < 8; ++i) s.h[i] = kIv[i];
    s.length = 0;
}

void Sha256Update(Sha256State& s, const uint8_t* data, size_t length) {
    MdUpdate<64>(s.h, s.length, s.block, data, length, ActiveKernels().sha256Blocks);
}

void Sha256Final(Sha256State& s, uint8_t digest[32]) {
    MdFinish<64>(s.h, s.length, s.block, 8, true, ActiveKernels().sha256Blocks);
    for (int i = 0; i < 8; ++i) Store32Be(digest + 4 * i, s.h[i]);
}

}  // namespace kwill::codec
