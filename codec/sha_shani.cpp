// SHA-1 and SHA-256 block functions with the SHA extensions. Compiled for those instructions
// function by function, so the library still loads on processors without them; the dispatch
// table only picks these where the processor has them.
#include "codec/kernels.h"

#include <immintrin.h>

namespace kwill::codec {

extern const uint32_t kSha256K[64];

namespace shani {
namespace {

// Four SHA-1 rounds with function F on abcd in its own register, after copying its old value
// to saved (the next rounds' e). The chain of these rounds is what sets the pace; written with
// the intrinsic, the compiler copies each new abcd to another register instead and puts a move
// on that chain between every two of them.
template <int F>
__attribute__((target("sha,sse4.1"), always_inline)) inline void Sha1Rounds4(__m128i& abcd,
                                                                             __m128i e,
                                                                             __m128i& saved) {
    asm("movdqa %0, %1\n\tsha1rnds4 %3, %2, %0" : "+x"(abcd), "=&x"(saved) : "x"(e), "i"(F));
}

}  // namespace

__attribute__((target("sha,sse4.1"))) void Sha256Blocks(uint32_t h[8], const uint8_t* in,
                                                        size_t blocks) {
    const __m128i kSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bull, 0x0405060700010203ull);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 4));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);                // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);          // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);       // CDGH

    for (; blocks; --blocks, in += 64) {
        __m128i abef = state0, cdgh = state1;
        __m128i m[4];
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            if (g < 4) {
                m[g] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * g)), kSwap);
            }
            __m128i& w = m[g & 3];
            __m128i msg = _mm_add_epi32(
                w, _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256K + 4 * g)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            if (g >= 3 && g <= 14) {
                __m128i& next = m[(g + 1) & 3];
                next = _mm_add_epi32(next, _mm_alignr_epi8(w, m[(g + 3) & 3], 4));
                next = _mm_sha256msg2_epu32(next, w);
            }
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
            if (g >= 1 && g <= 12) m[(g + 3) & 3] = _mm_sha256msg1_epu32(m[(g + 3) & 3], w);
        }
        state0 = _mm_add_epi32(state0, abef);
        state1 = _mm_add_epi32(state1, cdgh);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);     // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4), state1);
}

__attribute__((target("sha,sse4.1"))) void Sha1Blocks(uint32_t h[5], const uint8_t* in,
                                                      size_t blocks) {
    const __m128i kSwap = _mm_set_epi64x(0x0001020304050607ull, 0x08090a0b0c0d0e0full);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0);

    for (; blocks; --blocks, in += 64) {
        __m128i abcdSave = abcd, e0Save = e0, e1;
        __m128i m[4];
#pragma GCC unroll 20
        for (int g = 0; g < 20; ++g) {
            if (g < 4) {
                m[g] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * g)), kSwap);
            }
            __m128i& w = m[g & 3];
            __m128i& e = (g & 1) ? e1 : e0;
            __m128i& other = (g & 1) ? e0 : e1;
            if (g == 0) {
                e = _mm_add_epi32(e, w);
            } else {
                e = _mm_sha1nexte_epu32(e, w);
            }
            if (g >= 3 && g <= 18) m[(g + 1) & 3] = _mm_sha1msg2_epu32(m[(g + 1) & 3], w);
            switch (g / 5) {
                case 0:
                    Sha1Rounds4<0>(abcd, e, other);
                    break;
                case 1:
                    Sha1Rounds4<1>(abcd, e, other);
                    break;
                case 2:
                    Sha1Rounds4<2>(abcd, e, other);
                    break;
                default:
                    Sha1Rounds4<3>(abcd, e, other);
                    break;
            }
            if (g >= 1 && g <= 16) m[(g + 3) & 3] = _mm_sha1msg1_epu32(m[(g + 3) & 3], w);
            if (g >= 2 && g <= 17) m[(g + 2) & 3] = _mm_xor_si128(m[(g + 2) & 3], w);
        }
        e0 = _mm_sha1nexte_epu32(e0, e0Save);
        abcd = _mm_add_epi32(abcd, abcdSave);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1B));
    h[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

}  // namespace shani
}  // namespace kwill::codec
