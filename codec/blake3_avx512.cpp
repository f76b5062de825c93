// BLAKE3 chunks sixteen at a time with AVX-512.
#include "codec/blake3_compress.h"
#include "codec/kernels.h"

#include <immintrin.h>

#pragma GCC target("avx512f,avx512bw,avx512vl,avx2")

namespace kwill::codec::avx512 {
namespace {

// The lanes are not in block order: the loads below pair block j with block j + 8 in one vector,
// which saves the transposition one of its four steps, and lane 4L + i then holds block
// 4 * kLaneGroup[L] + i.
constexpr int kLaneGroup[4] = {0, 2, 1, 3};

// The sixteen message words of the blocks at p, p + stride, ... p + 15 * stride, word i of
// every block in m[i], the blocks in lane order: each half of every block loaded into half a
// vector, then 8 x 8 transpositions within the halves, far cheaper than sixteen gathers.
inline __attribute__((always_inline)) void LoadMessages(const uint8_t* p, size_t stride,
                                                        __m512i m[16]) {
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
        // In r[j]: words 8 * half to 8 * half + 7 of block j, then of block j + 8.
        __m512i r[8], s[8];
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j) {
            const uint8_t* q = p + j * stride + 32 * half;
            r[j] = _mm512_inserti64x4(
                _mm512_zextsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q))),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 8 * stride)), 1);
        }
        // Pairs of blocks interleaved by word, then quads by pairs of words: in each 128-bit
        // lane L, s[4g + w] holds word 8 * half + 4 * (L & 1) + w of blocks 4g + 8 * (L >> 1) to
        // 4g + 8 * (L >> 1) + 3.
#pragma GCC unroll 2
        for (int g = 0; g < 2; ++g) {
            __m512i ab0 = _mm512_unpacklo_epi32(r[4 * g], r[4 * g + 1]);
            __m512i ab1 = _mm512_unpackhi_epi32(r[4 * g], r[4 * g + 1]);
            __m512i cd0 = _mm512_unpacklo_epi32(r[4 * g + 2], r[4 * g + 3]);
            __m512i cd1 = _mm512_unpackhi_epi32(r[4 * g + 2], r[4 * g + 3]);
            s[4 * g] = _mm512_unpacklo_epi64(ab0, cd0);
            s[4 * g + 1] = _mm512_unpackhi_epi64(ab0, cd0);
            s[4 * g + 2] = _mm512_unpacklo_epi64(ab1, cd1);
            s[4 * g + 3] = _mm512_unpackhi_epi64(ab1, cd1);
        }
        // Word 8 * half + w: lanes 0 and 2 of s[w] and of s[4 + w]; word 8 * half + 4 + w: lanes
        // 1 and 3. That puts blocks 0-3, 8-11, 4-7, 12-15 in the four 128-bit lanes.
#pragma GCC unroll 4
        for (int w = 0; w < 4; ++w) {
            m[8 * half + w] = _mm512_shuffle_i32x4(s[w], s[4 + w], 0x88);
            m[8 * half + 4 + w] = _mm512_shuffle_i32x4(s[w], s[4 + w], 0xDD);
        }
    }
}

typedef long long Quads __attribute__((vector_size(64)));
typedef long long Quad __attribute__((vector_size(16)));

// Quarter Q of lo and of hi, one after the other, to row.
template <int Q>
inline __attribute__((always_inline)) void StoreQuarter(__m512i lo, __m512i hi, uint32_t* row) {
    Quad a = __builtin_shufflevector(reinterpret_cast<Quads>(lo), reinterpret_cast<Quads>(lo),
                                     2 * Q, 2 * Q + 1);
    Quad b = __builtin_shufflevector(reinterpret_cast<Quads>(hi), reinterpret_cast<Quads>(hi),
                                     2 * Q, 2 * Q + 1);
    __builtin_memcpy(row, &a, 16);
    __builtin_memcpy(row + 4, &b, 16);
}

// The chaining values of sixteen lanes to sixteen rows of eight words: pairs of words, then
// quads, interleaved across h; in each 128-bit lane L, u[r] and u[4 + r] then hold words 0-3 and
// 4-7 of lane 4L + r, stored a quarter of a vector at a time.
inline __attribute__((always_inline)) void StoreCvs(const __m512i h[8], uint32_t (*cvs)[8]) {
    __m512i t[8], u[8];
#pragma GCC unroll 8
    for (int g = 0; g < 4; ++g) {
        t[2 * g] = _mm512_unpacklo_epi32(h[2 * g], h[2 * g + 1]);
        t[2 * g + 1] = _mm512_unpackhi_epi32(h[2 * g], h[2 * g + 1]);
    }
#pragma GCC unroll 8
    for (int half = 0; half < 2; ++half) {
        const __m512i* q = t + 4 * half;
        u[4 * half] = _mm512_unpacklo_epi64(q[0], q[2]);
        u[4 * half + 1] = _mm512_unpackhi_epi64(q[0], q[2]);
        u[4 * half + 2] = _mm512_unpacklo_epi64(q[1], q[3]);
        u[4 * half + 3] = _mm512_unpackhi_epi64(q[1], q[3]);
    }
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r) {
        StoreQuarter<0>(u[r], u[4 + r], cvs[4 * kLaneGroup[0] + r]);
        StoreQuarter<1>(u[r], u[4 + r], cvs[4 * kLaneGroup[1] + r]);
        StoreQuarter<2>(u[r], u[4 + r], cvs[4 * kLaneGroup[2] + r]);
        StoreQuarter<3>(u[r], u[4 + r], cvs[4 * kLaneGroup[3] + r]);
    }
}

}  // namespace

// Half a G function in four columns or diagonals, the instructions in the order written: each
// operation for all four before the next, as the compiler's own order of them (interleaved by
// its scheduling model) runs about a tenth slower here.
#define KW_HALF4_ASM(a0, b0, c0, d0, x0, a1, b1, c1, d1, x1, a2, b2, c2, d2, x2, a3, b3, c3, d3, \
                     x3, RD, RB)                                                                 \
    asm("vpaddd %[X0], %[A0], %[A0]\n\t"                                                         \
        "vpaddd %[X1], %[A1], %[A1]\n\t"                                                         \
        "vpaddd %[X2], %[A2], %[A2]\n\t"                                                         \
        "vpaddd %[X3], %[A3], %[A3]\n\t"                                                         \
        "vpaddd %[B0], %[A0], %[A0]\n\t"                                                         \
        "vpaddd %[B1], %[A1], %[A1]\n\t"                                                         \
        "vpaddd %[B2], %[A2], %[A2]\n\t"                                                         \
        "vpaddd %[B3], %[A3], %[A3]\n\t"                                                         \
        "vpxord %[A0], %[D0], %[D0]\n\t"                                                         \
        "vpxord %[A1], %[D1], %[D1]\n\t"                                                         \
        "vpxord %[A2], %[D2], %[D2]\n\t"                                                         \
        "vpxord %[A3], %[D3], %[D3]\n\t"                                                         \
        "vprord $" #RD                                                                           \
        ", %[D0], %[D0]\n\t"                                                                     \
        "vprord $" #RD                                                                           \
        ", %[D1], %[D1]\n\t"                                                                     \
        "vprord $" #RD                                                                           \
        ", %[D2], %[D2]\n\t"                                                                     \
        "vprord $" #RD ", %[D3], %[D3]"                                                          \
        : [A0] "+v"(a0), [D0] "+v"(d0), [A1] "+v"(a1), [D1] "+v"(d1), [A2] "+v"(a2),             \
          [D2] "+v"(d2), [A3] "+v"(a3), [D3] "+v"(d3)                                            \
        : [B0] "v"(b0), [B1] "v"(b1), [B2] "v"(b2), [B3] "v"(b3), [X0] "vm"(x0), [X1] "vm"(x1),  \
          [X2] "vm"(x2), [X3] "vm"(x3));                                                         \
    asm("vpaddd %[D0], %[C0], %[C0]\n\t"                                                         \
        "vpaddd %[D1], %[C1], %[C1]\n\t"                                                         \
        "vpaddd %[D2], %[C2], %[C2]\n\t"                                                         \
        "vpaddd %[D3], %[C3], %[C3]\n\t"                                                         \
        "vpxord %[C0], %[B0], %[B0]\n\t"                                                         \
        "vpxord %[C1], %[B1], %[B1]\n\t"                                                         \
        "vpxord %[C2], %[B2], %[B2]\n\t"                                                         \
        "vpxord %[C3], %[B3], %[B3]\n\t"                                                         \
        "vprord $" #RB                                                                           \
        ", %[B0], %[B0]\n\t"                                                                     \
        "vprord $" #RB                                                                           \
        ", %[B1], %[B1]\n\t"                                                                     \
        "vprord $" #RB                                                                           \
        ", %[B2], %[B2]\n\t"                                                                     \
        "vprord $" #RB ", %[B3], %[B3]"                                                          \
        : [B0] "+v"(b0), [C0] "+v"(c0), [B1] "+v"(b1), [C1] "+v"(c1), [B2] "+v"(b2),             \
          [C2] "+v"(c2), [B3] "+v"(b3), [C3] "+v"(c3)                                            \
        : [D0] "v"(d0), [D1] "v"(d1), [D2] "v"(d2), [D3] "v"(d3));

#define KW_LANES 16
#define KW_LANE_BLOCK(j) (4 * kLaneGroup[(j) >> 2] + ((j)&3))
#define KW_STORE_CVS(h, cvs) StoreCvs(reinterpret_cast<const __m512i*>(h), cvs)
#define KW_UNROLL_ROUNDS
#define KW_NAME Blake3Chunks
#define KW_LOAD_MESSAGES(p, stride, m) LoadMessages(p, stride, reinterpret_cast<__m512i*>(m))
#define KW_CHUNKS_FALLBACK avx2::Blake3Chunks
#define KW_PARENTS_NAME Blake3Parents
#define KW_PARENTS_FALLBACK avx2::Blake3Parents
#define KW_ROT16(x) Rotr(x, 16)
#define KW_ROT8(x) Rotr(x, 8)
#include "codec/blake3_many.inc"

}  // namespace kwill::codec::avx512
