// BLAKE3 chunks four at a time with SSE4.1.
#include "codec/blake3_compress.h"
#include "codec/kernels.h"

#include <immintrin.h>

#pragma GCC target("sse4.1,ssse3")

namespace kwill::codec::sse41 {
namespace {

typedef uint8_t Bytes16 __attribute__((vector_size(16)));

// The sixteen message words of the blocks at p, p + stride, p + 2 * stride and p + 3 * stride,
// word i of every block in m[i]: each quarter of the blocks loaded whole and transposed 4 x 4.
inline __attribute__((always_inline)) void LoadMessages(const uint8_t* p, size_t stride,
                                                        __m128i m[16]) {
#pragma GCC unroll 16
    for (int q = 0; q < 4; ++q) {
        __m128i r[4];
#pragma GCC unroll 16
        for (int j = 0; j < 4; ++j)
            r[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j * stride + 16 * q));
        __m128i ab0 = _mm_unpacklo_epi32(r[0], r[1]);
        __m128i ab1 = _mm_unpackhi_epi32(r[0], r[1]);
        __m128i cd0 = _mm_unpacklo_epi32(r[2], r[3]);
        __m128i cd1 = _mm_unpackhi_epi32(r[2], r[3]);
        m[4 * q] = _mm_unpacklo_epi64(ab0, cd0);
        m[4 * q + 1] = _mm_unpackhi_epi64(ab0, cd0);
        m[4 * q + 2] = _mm_unpacklo_epi64(ab1, cd1);
        m[4 * q + 3] = _mm_unpackhi_epi64(ab1, cd1);
    }
}

// The chaining values of four lanes to four rows of eight words: a 4 x 4 transposition of each
// half of h.
inline __attribute__((always_inline)) void StoreCvs(const __m128i h[8], uint32_t (*cvs)[8]) {
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
        const __m128i* q = h + 4 * half;
        __m128i ab0 = _mm_unpacklo_epi32(q[0], q[1]);
        __m128i ab1 = _mm_unpackhi_epi32(q[0], q[1]);
        __m128i cd0 = _mm_unpacklo_epi32(q[2], q[3]);
        __m128i cd1 = _mm_unpackhi_epi32(q[2], q[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cvs[0] + 4 * half),
                         _mm_unpacklo_epi64(ab0, cd0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cvs[1] + 4 * half),
                         _mm_unpackhi_epi64(ab0, cd0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cvs[2] + 4 * half),
                         _mm_unpacklo_epi64(ab1, cd1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cvs[3] + 4 * half),
                         _mm_unpackhi_epi64(ab1, cd1));
    }
}

}  // namespace

#define KW_LANES 4
#define KW_STORE_CVS(h, cvs) StoreCvs(reinterpret_cast<const __m128i*>(h), cvs)
#define KW_NAME Blake3Chunks
#define KW_LOAD_MESSAGES(p, stride, m) LoadMessages(p, stride, reinterpret_cast<__m128i*>(m))
#define KW_CHUNKS_FALLBACK portable::Blake3Chunks
#define KW_PARENTS_NAME Blake3Parents
#define KW_PARENTS_FALLBACK portable::Blake3Parents
#define KW_ROT16(x)                                     \
    reinterpret_cast<Vec>(                              \
        __builtin_shuffle(reinterpret_cast<Bytes16>(x), \
                          Bytes16{2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13}))
#define KW_ROT8(x)                                      \
    reinterpret_cast<Vec>(                              \
        __builtin_shuffle(reinterpret_cast<Bytes16>(x), \
                          Bytes16{1, 2, 3, 0, 5, 6, 7, 4, 9, 10, 11, 8, 13, 14, 15, 12}))
#include "codec/blake3_many.inc"

}  // namespace kwill::codec::sse41
