// BLAKE3 chunks eight at a time with AVX2.
#include "codec/blake3_compress.h"
#include "codec/kernels.h"

#include <immintrin.h>

#pragma GCC target("avx2")

namespace kwill::codec::avx2 {
namespace {

typedef uint8_t Bytes32 __attribute__((vector_size(32)));

// The sixteen message words of the blocks at p, p + stride, ... p + 7 * stride, word i of every
// block in m[i]: each half of the blocks loaded whole and transposed 8 x 8.
inline __attribute__((always_inline)) void LoadMessages(const uint8_t* p, size_t stride,
                                                        __m256i m[16]) {
#pragma GCC unroll 16
    for (int half = 0; half < 2; ++half) {
        __m256i r[8], s[8];
#pragma GCC unroll 16
        for (int j = 0; j < 8; ++j)
            r[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + j * stride + 32 * half));
            // In each 128-bit lane L, s[4g + w] holds word 4L + w of blocks 4g to 4g + 3.
#pragma GCC unroll 16
        for (int g = 0; g < 2; ++g) {
            __m256i ab0 = _mm256_unpacklo_epi32(r[4 * g], r[4 * g + 1]);
            __m256i ab1 = _mm256_unpackhi_epi32(r[4 * g], r[4 * g + 1]);
            __m256i cd0 = _mm256_unpacklo_epi32(r[4 * g + 2], r[4 * g + 3]);
            __m256i cd1 = _mm256_unpackhi_epi32(r[4 * g + 2], r[4 * g + 3]);
            s[4 * g] = _mm256_unpacklo_epi64(ab0, cd0);
            s[4 * g + 1] = _mm256_unpackhi_epi64(ab0, cd0);
            s[4 * g + 2] = _mm256_unpacklo_epi64(ab1, cd1);
            s[4 * g + 3] = _mm256_unpackhi_epi64(ab1, cd1);
        }
#pragma GCC unroll 16
        for (int w = 0; w < 4; ++w) {
            m[8 * half + w] = _mm256_permute2x128_si256(s[w], s[4 + w], 0x20);
            m[8 * half + 4 + w] = _mm256_permute2x128_si256(s[w], s[4 + w], 0x31);
        }
    }
}

// The chaining values of eight lanes to eight rows of eight words: pairs of words, then quads,
// interleaved across h; in each 128-bit lane L, u[r] and u[4 + r] then hold words 0-3 and 4-7 of
// lane 4L + r.
inline __attribute__((always_inline)) void StoreCvs(const __m256i h[8], uint32_t (*cvs)[8]) {
    __m256i t[8], u[8];
#pragma GCC unroll 8
    for (int g = 0; g < 4; ++g) {
        t[2 * g] = _mm256_unpacklo_epi32(h[2 * g], h[2 * g + 1]);
        t[2 * g + 1] = _mm256_unpackhi_epi32(h[2 * g], h[2 * g + 1]);
    }
#pragma GCC unroll 8
    for (int half = 0; half < 2; ++half) {
        const __m256i* q = t + 4 * half;
        u[4 * half] = _mm256_unpacklo_epi64(q[0], q[2]);
        u[4 * half + 1] = _mm256_unpackhi_epi64(q[0], q[2]);
        u[4 * half + 2] = _mm256_unpacklo_epi64(q[1], q[3]);
        u[4 * half + 3] = _mm256_unpackhi_epi64(q[1], q[3]);
    }
    // Lane r's row is the low halves of u[r] and u[4 + r], lane 4 + r's the high halves.
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(cvs[r]),
                            _mm256_permute2x128_si256(u[r], u[4 + r], 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(cvs[4 + r]),
                            _mm256_permute2x128_si256(u[r], u[4 + r], 0x31));
    }
}

}  // namespace

#define KW_LANES 8
#define KW_STORE_CVS(h, cvs) StoreCvs(reinterpret_cast<const __m256i*>(h), cvs)
#define KW_NAME Blake3Chunks
#define KW_LOAD_MESSAGES(p, stride, m) LoadMessages(p, stride, reinterpret_cast<__m256i*>(m))
#define KW_CHUNKS_FALLBACK sse41::Blake3Chunks
#define KW_PARENTS_NAME Blake3Parents
#define KW_PARENTS_FALLBACK sse41::Blake3Parents
#define KW_ROT16(x)                                                             \
    reinterpret_cast<Vec>(__builtin_shuffle(                                    \
        reinterpret_cast<Bytes32>(x),                                           \
        Bytes32{2,  3,  0,  1,  6,  7,  4,  5,  10, 11, 8,  9,  14, 15, 12, 13, \
                18, 19, 16, 17, 22, 23, 20, 21, 26, 27, 24, 25, 30, 31, 28, 29}))
#define KW_ROT8(x)                                                              \
    reinterpret_cast<Vec>(__builtin_shuffle(                                    \
        reinterpret_cast<Bytes32>(x),                                           \
        Bytes32{1,  2,  3,  0,  5,  6,  7,  4,  9,  10, 11, 8,  13, 14, 15, 12, \
                17, 18, 19, 16, 21, 22, 23, 20, 25, 26, 27, 24, 29, 30, 31, 28}))
#include "codec/blake3_many.inc"

}  // namespace kwill::codec::avx2
