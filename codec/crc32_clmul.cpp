// CRC-32 (reflected 0xEDB88320) by carry-less multiplication: the running remainder is kept
// in 128-bit (or 512-bit) lanes that are folded forward over the data, and reduced to 32 bits
// at the end with a Barrett reduction. Each fold constant is x^(d+32) and x^(d-32) mod P,
// bit-reflected, for the folding distance d in bits.
#include "codec/kernels.h"

#include <immintrin.h>

namespace kwill::codec {
namespace {

#define KW_CLMUL_TARGET __attribute__((target("pclmul,sse4.1"), always_inline)) inline

KW_CLMUL_TARGET __m128i Fold(__m128i x, __m128i k, __m128i data) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), data),
                         _mm_clmulepi64_si128(x, k, 0x11));
}

KW_CLMUL_TARGET __m128i Constants(uint64_t low, uint64_t high) {
    return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// Folds 16-byte blocks into x, then reduces x to the 32-bit register.
KW_CLMUL_TARGET uint32_t FinishFold(__m128i x, const uint8_t*& in, size_t& length) {
    const __m128i k128 = Constants(0x1751997d0, 0x0ccaa009e);
    for (; length >= 16; length -= 16, in += 16)
        x = Fold(x, k128, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
    // 128 -> 64 bits.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i t = _mm_clmulepi64_si128(x, k128, 0x10);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), t);
    t = _mm_srli_si128(x, 4);
    x = _mm_and_si128(x, mask32);
    x = _mm_clmulepi64_si128(x, Constants(0x163cd6124, 0), 0x00);
    x = _mm_xor_si128(x, t);
    // Barrett reduction to 32 bits.
    const __m128i poly = Constants(0x1db710641, 0x1f7011641);
    t = _mm_and_si128(x, mask32);
    t = _mm_clmulepi64_si128(t, poly, 0x10);
    t = _mm_and_si128(t, mask32);
    t = _mm_clmulepi64_si128(t, poly, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x, 1));
}

KW_CLMUL_TARGET __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

KW_CLMUL_TARGET __m128i ByteReverse() {
    return _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

// 16 bytes with the first byte in the highest lane.
KW_CLMUL_TARGET __m128i loadr(const uint8_t* p) {
    return _mm_shuffle_epi8(load(p), ByteReverse());
}

#define KW_ZMM_TARGET                                                            \
    __attribute__((target("avx512f,avx512bw,avx512vl,vpclmulqdq,pclmul,sse4.1"), \
                   always_inline)) inline

KW_ZMM_TARGET __m512i load512(const uint8_t* p) {
    return _mm512_loadu_si512(p);
}

KW_ZMM_TARGET __m512i fold(__m512i x, __m512i k, __m512i data) {
    __m512i lo = _mm512_clmulepi64_epi128(x, k, 0x00);
    __m512i hi = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi32(lo, hi, data, 0x96);
}

}  // namespace

namespace clmul {

__attribute__((target("pclmul,sse4.1"))) uint32_t Crc32(uint32_t reg, const uint8_t* in,
                                                        size_t length) {
    if (length < 64) return portable::Crc32(reg, in, length);
    __m128i x1 = _mm_xor_si128(load(in), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = load(in + 16), x3 = load(in + 32), x4 = load(in + 48);
    in += 64;
    length -= 64;
    const __m128i k512 = Constants(0x154442bd4, 0x1c6e41596);
    for (; length >= 64; length -= 64, in += 64) {
        x1 = Fold(x1, k512, load(in));
        x2 = Fold(x2, k512, load(in + 16));
        x3 = Fold(x3, k512, load(in + 32));
        x4 = Fold(x4, k512, load(in + 48));
    }
    const __m128i k128 = Constants(0x1751997d0, 0x0ccaa009e);
    x1 = Fold(x1, k128, x2);
    x1 = Fold(x1, k128, x3);
    x1 = Fold(x1, k128, x4);
    reg = FinishFold(x1, in, length);
    return portable::Crc32(reg, in, length);
}

// 512-bit lanes, four of them: 256 bytes a round.
__attribute__((target("avx512f,avx512bw,avx512vl,vpclmulqdq,pclmul,sse4.1"))) uint32_t Crc32Wide(
    uint32_t reg, const uint8_t* in, size_t length) {
    if (length < 512) return Crc32(reg, in, length);
    __m512i z0 = _mm512_xor_si512(load512(in),
                                  _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m512i z1 = load512(in + 64), z2 = load512(in + 128), z3 = load512(in + 192);
    in += 256;
    length -= 256;
    const __m512i k2048 = _mm512_broadcast_i32x4(Constants(0x11542778a, 0x1322d1430));
    for (; length >= 256; length -= 256, in += 256) {
        z0 = fold(z0, k2048, load512(in));
        z1 = fold(z1, k2048, load512(in + 64));
        z2 = fold(z2, k2048, load512(in + 128));
        z3 = fold(z3, k2048, load512(in + 192));
    }
    const __m512i k512 = _mm512_broadcast_i32x4(Constants(0x154442bd4, 0x1c6e41596));
    z0 = fold(z0, k512, z1);
    z0 = fold(z0, k512, z2);
    z0 = fold(z0, k512, z3);
    for (; length >= 64; length -= 64, in += 64) z0 = fold(z0, k512, load512(in));
    const __m128i k128 = Constants(0x1751997d0, 0x0ccaa009e);
    __m128i x = _mm512_maskz_extracti32x4_epi32(0xF, z0, 0);
    x = Fold(x, k128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 1));
    x = Fold(x, k128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 2));
    x = Fold(x, k128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 3));
    reg = FinishFold(x, in, length);
    return portable::Crc32(reg, in, length);
}

// CRC-32/BZIP2 (0x04C11DB7, most significant bit first). The same folding without the bit
// reflection: 16 bytes are byte-reversed so that the first byte holds the highest powers, and
// a 128-bit remainder A folds forward over d bits as hi64(A) * (x^(d+64) mod P) +
// lo64(A) * (x^d mod P). What is left after folding is itself a 16-byte message with the same
// CRC, which the table finishes.
__attribute__((target("pclmul,sse4.1"))) uint32_t Crc32Bzip2(uint32_t reg, const uint8_t* in,
                                                             size_t length) {
    if (length < 64) return portable::Crc32Bzip2(reg, in, length);
    const __m128i reverse = ByteReverse();
    __m128i x1 = _mm_xor_si128(loadr(in), _mm_set_epi32(static_cast<int>(reg), 0, 0, 0));
    __m128i x2 = loadr(in + 16), x3 = loadr(in + 32), x4 = loadr(in + 48);
    in += 64;
    length -= 64;
    const __m128i k512 = Constants(0xe6228b11, 0x8833794c);
    for (; length >= 64; length -= 64, in += 64) {
        x1 = Fold(x1, k512, loadr(in));
        x2 = Fold(x2, k512, loadr(in + 16));
        x3 = Fold(x3, k512, loadr(in + 32));
        x4 = Fold(x4, k512, loadr(in + 48));
    }
    const __m128i k128 = Constants(0xe8a45605, 0xc5b9cd4c);
    x1 = Fold(x1, k128, x2);
    x1 = Fold(x1, k128, x3);
    x1 = Fold(x1, k128, x4);
    for (; length >= 16; length -= 16, in += 16) x1 = Fold(x1, k128, loadr(in));
    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), _mm_shuffle_epi8(x1, reverse));
    reg = portable::Crc32Bzip2(0, rest, 16);
    return portable::Crc32Bzip2(reg, in, length);
}

}  // namespace clmul
}  // namespace kwill::codec
