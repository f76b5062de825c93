// SHA-512 (FIPS 180-4).
#include "codec/hash_state.h"
#include "codec/kernels.h"
#include "codec/md_block.h"

#include <immintrin.h>

namespace kwill::codec {
namespace {

constexpr uint64_t kK[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

}  // namespace

// One round, with the eight working variables named by position instead of moved around.
#define KW_SHA512_ROUND(a, b, c, d, e, f, g, h, k, x)                                              \
    do {                                                                                           \
        uint64_t t1 =                                                                              \
            h + (Rotr64(e, 14) ^ Rotr64(e, 18) ^ Rotr64(e, 41)) + (g ^ (e & (f ^ g))) + (k) + (x); \
        uint64_t t2 = (Rotr64(a, 28) ^ Rotr64(a, 34) ^ Rotr64(a, 39)) + ((a & b) | (c & (a | b))); \
        d += t1;                                                                                   \
        h = t1 + t2;                                                                               \
    } while (0)

void portable::Sha512Blocks(uint64_t h[8], const uint8_t* in, size_t blocks) {
    for (; blocks; --blocks, in += 128) {
        // The schedule is computed inside the rounds, sixteen words at a time in a ring, so
        // that its work fills the slots the rounds' dependency chain leaves idle.
        uint64_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = Load64Be(in + 8 * i);
        uint64_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
#define KW_W(j) w[(j)&15]
#define KW_NEXT(j)                                                                            \
    (KW_W(j) += (Rotr64(KW_W(j + 14), 19) ^ Rotr64(KW_W(j + 14), 61) ^ (KW_W(j + 14) >> 6)) + \
                KW_W(j + 9) +                                                                 \
                (Rotr64(KW_W(j + 1), 1) ^ Rotr64(KW_W(j + 1), 8) ^ (KW_W(j + 1) >> 7)))
#define KW_EIGHT(i, W)                                                 \
    KW_SHA512_ROUND(a, b, c, d, e, f, g, hh, kK[(i)], W(i));           \
    KW_SHA512_ROUND(hh, a, b, c, d, e, f, g, kK[(i) + 1], W((i) + 1)); \
    KW_SHA512_ROUND(g, hh, a, b, c, d, e, f, kK[(i) + 2], W((i) + 2)); \
    KW_SHA512_ROUND(f, g, hh, a, b, c, d, e, kK[(i) + 3], W((i) + 3)); \
    KW_SHA512_ROUND(e, f, g, hh, a, b, c, d, kK[(i) + 4], W((i) + 4)); \
    KW_SHA512_ROUND(d, e, f, g, hh, a, b, c, kK[(i) + 5], W((i) + 5)); \
    KW_SHA512_ROUND(c, d, e, f, g, hh, a, b, kK[(i) + 6], W((i) + 6)); \
    KW_SHA512_ROUND(b, c, d, e, f, g, hh, a, kK[(i) + 7], W((i) + 7));
        KW_EIGHT(0, KW_W)
        KW_EIGHT(8, KW_W)
        for (int i = 16; i < 80; i += 16) {
            KW_EIGHT(i, KW_NEXT)
            KW_EIGHT(i + 8, KW_NEXT)
        }
#undef KW_EIGHT
#undef KW_NEXT
#undef KW_W
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

#undef KW_SHA512_ROUND

// Processors at the AVX2 level: the schedule in vectors, the rounds with BMI's three-operand
// rotates and and-not.
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2")
namespace avx2 {
#include "codec/sha512_vector.inc"
}  // namespace avx2
#pragma GCC pop_options

// At the AVX-512 level the same, with the schedule's rotates and three-way exclusive ors done
// by single instructions on the same 256-bit vectors.
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,avx512f,avx512vl")
#define KW_SHA512_AVX512
namespace avx512 {
#include "codec/sha512_vector.inc"
}  // namespace avx512
#undef KW_SHA512_AVX512
#pragma GCC pop_options

void Sha512Init(Sha512State& s) {
    static const uint64_t kIv[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                    0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                    0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
    for (int i = 0; i < 8; ++i) s.h[i] = kIv[i];
    s.length = 0;
}

void Sha512Update(Sha512State& s, const uint8_t* data, size_t length) {
    MdUpdate<128>(s.h, s.length, s.block, data, length, ActiveKernels().sha512Blocks);
}

void Sha512Final(Sha512State& s, uint8_t digest[64]) {
    MdFinish<128>(s.h, s.length, s.block, 16, true, ActiveKernels().sha512Blocks);
    for (int i = 0; i < 8; ++i) Store64Be(digest + 8 * i, s.h[i]);
}

}  // namespace kwill::codec
