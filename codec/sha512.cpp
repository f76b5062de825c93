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

#define KW_BLOCKS_TARGET
#define KW_BLOCKS portable::Sha512Blocks
#include "codec/sha512_blocks.inc"
#undef KW_BLOCKS
#undef KW_BLOCKS_TARGET

// The same with BMI's three-operand rotates and and-not, for processors at the AVX2 level.
#define KW_BLOCKS_TARGET __attribute__((target("bmi,bmi2")))
#define KW_BLOCKS bmi2::Sha512Blocks
#include "codec/sha512_blocks.inc"
#undef KW_BLOCKS
#undef KW_BLOCKS_TARGET

// AVX2: the message schedules of two blocks are computed together, each 128-bit lane holding
// two consecutive words of one block, and stored with the round constants already added. The
// rounds stay scalar with BMI2 and take one load for each word; the vector work on the next pair
// of blocks is woven in between them, where it fills the slots that the rounds' long dependency
// chain leaves idle instead of adding to it.
//
// Not in the dispatch table: on the processors measured so far the BMI2 kernel, whose scalar
// schedule already hides in the rounds' idle slots, is as fast or faster. Kept, tested and
// benchmarked against it so that the choice can be revisited per processor.
namespace avx2 {
namespace {

#define KW_AVX2 __attribute__((target("avx2,bmi,bmi2"), always_inline)) inline

KW_AVX2 __m256i Rotr64x(__m256i x, int n) {
    return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
}

// Words t and t + 1 of both blocks plus their round constants, to the two blocks' arrays.
KW_AVX2 void Store(int t, __m256i v, uint64_t* wk0, uint64_t* wk1) {
    __m256i k =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kK + t)));
    v = _mm256_add_epi64(v, k);
    _mm_store_si128(reinterpret_cast<__m128i*>(wk0 + t), _mm256_castsi256_si128(v));
    _mm_store_si128(reinterpret_cast<__m128i*>(wk1 + t), _mm256_extracti128_si256(v, 1));
}

// The first sixteen words of two blocks, byte-swapped, into the ring x (two words a vector).
KW_AVX2 void Load(const uint8_t* first, const uint8_t* second, __m256i x[8], uint64_t* wk0,
                  uint64_t* wk1) {
    const __m256i swap = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                                          6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    for (int i = 0; i < 8; ++i) {
        __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 16 * i))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * i)), 1);
        x[i] = _mm256_shuffle_epi8(v, swap);
        Store(2 * i, x[i], wk0, wk1);
    }
}

// Words t and t + 1 from the sixteen before them; x[(t / 2) & 7] holds words t - 16 and t - 15
// and is replaced.
KW_AVX2 void Step(int t, __m256i x[8], uint64_t* wk0, uint64_t* wk1) {
    int r = (t / 2) & 7;
    __m256i w15 = _mm256_alignr_epi8(x[(r + 1) & 7], x[r], 8);           // t-15, t-14
    __m256i w7 = _mm256_alignr_epi8(x[(r + 5) & 7], x[(r + 4) & 7], 8);  // t-7, t-6
    __m256i w2 = x[(r + 7) & 7];                                         // t-2, t-1
    __m256i s0 = _mm256_xor_si256(_mm256_xor_si256(Rotr64x(w15, 1), Rotr64x(w15, 8)),
                                  _mm256_srli_epi64(w15, 7));
    __m256i s1 = _mm256_xor_si256(_mm256_xor_si256(Rotr64x(w2, 19), Rotr64x(w2, 61)),
                                  _mm256_srli_epi64(w2, 6));
    x[r] = _mm256_add_epi64(_mm256_add_epi64(x[r], s0), _mm256_add_epi64(w7, s1));
    Store(t, x[r], wk0, wk1);
}

}  // namespace

__attribute__((target("avx2,bmi,bmi2"))) void Sha512Blocks(uint64_t h[8], const uint8_t* in,
                                                           size_t blocks) {
    if (!blocks) return;
    // Two pairs of schedules: the one the rounds read and the one being built for the next pair.
    alignas(32) uint64_t wk[2][2][80];
    __m256i x[8];
    const uint8_t* second = blocks >= 2 ? in + 128 : in;
    Load(in, second, x, wk[0][0], wk[0][1]);
    for (int t = 16; t < 80; t += 2) Step(t, x, wk[0][0], wk[0][1]);
    for (int cur = 0; blocks; cur ^= 1) {
        size_t n = blocks >= 2 ? 2 : 1;
        const uint8_t* next = in + 128 * n;
        size_t left = blocks - n;
        // With nothing left the next schedule is built from the current blocks and not used; a
        // single block is always the last.
        const uint8_t* nextFirst = left ? next : in;
        const uint8_t* nextSecond = left >= 2 ? next + 128 : nextFirst;
        uint64_t* n0 = wk[cur ^ 1][0];
        uint64_t* n1 = wk[cur ^ 1][1];
        Load(nextFirst, nextSecond, x, n0, n1);
        uint64_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        // The majority as b ^ ((a ^ b) & (b ^ c)): one round's a ^ b is the next one's b ^ c.
        uint64_t ab, bc = b ^ c;
#define KW_ROUND(a, b, c, d, e, f, g, h, wk, ab, bc)                                          \
    do {                                                                                      \
        uint64_t t1 =                                                                         \
            h + (wk) + (g ^ (e & (f ^ g))) + (Rotr64(e, 14) ^ Rotr64(e, 18) ^ Rotr64(e, 41)); \
        ab = a ^ b;                                                                           \
        uint64_t t2 = (Rotr64(a, 28) ^ Rotr64(a, 34) ^ Rotr64(a, 39)) + (b ^ (ab & bc));      \
        d += t1;                                                                              \
        h = t1 + t2;                                                                          \
    } while (0)
#define KW_EIGHT(W, i)                                     \
    KW_ROUND(a, b, c, d, e, f, g, hh, W[(i)], ab, bc);     \
    KW_ROUND(hh, a, b, c, d, e, f, g, W[(i) + 1], bc, ab); \
    KW_ROUND(g, hh, a, b, c, d, e, f, W[(i) + 2], ab, bc); \
    KW_ROUND(f, g, hh, a, b, c, d, e, W[(i) + 3], bc, ab); \
    KW_ROUND(e, f, g, hh, a, b, c, d, W[(i) + 4], ab, bc); \
    KW_ROUND(d, e, f, g, hh, a, b, c, W[(i) + 5], bc, ab); \
    KW_ROUND(c, d, e, f, g, hh, a, b, W[(i) + 6], ab, bc); \
    KW_ROUND(b, c, d, e, f, g, hh, a, W[(i) + 7], bc, ab);
#define KW_FINISH      \
    h[0] = a += h[0];  \
    h[1] = b += h[1];  \
    h[2] = c += h[2];  \
    h[3] = d += h[3];  \
    h[4] = e += h[4];  \
    h[5] = f += h[5];  \
    h[6] = g += h[6];  \
    h[7] = hh += h[7]; \
    bc = b ^ c;
        // The first block's ten groups of rounds carry twenty of the next schedule's words each
        // two steps, the second block's first six groups the remaining twelve.
        const uint64_t* w = wk[cur][0];
#pragma GCC unroll 10
        for (int i = 0; i < 10; ++i) {
            KW_EIGHT(w, 8 * i)
            Step(16 + 4 * i, x, n0, n1);
            Step(18 + 4 * i, x, n0, n1);
        }
        KW_FINISH
        if (n == 2) {
            w = wk[cur][1];
#pragma GCC unroll 10
            for (int i = 0; i < 10; ++i) {
                KW_EIGHT(w, 8 * i)
                if (i < 6) {
                    Step(56 + 4 * i, x, n0, n1);
                    Step(58 + 4 * i, x, n0, n1);
                }
            }
            KW_FINISH
        }
#undef KW_FINISH
#undef KW_EIGHT
#undef KW_ROUND
        in = next;
        blocks = left;
    }
}

#undef KW_AVX2

}  // namespace avx2

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
