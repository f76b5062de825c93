// Base64 kernels with SSSE3 (16 characters a step) and AVX2 (32 characters a step). Encoding
// spreads each 3 bytes over 4 six-bit fields with two multiplies and maps the fields to the
// alphabet through a 16-entry shuffle table. Decoding classifies every character by its two
// nibbles to find any outside the alphabet, adds a per-class offset, and packs the fields back
// into bytes. In a block with a character outside the alphabet, the whole groups before it are
// kept and decoding stops there.
#include "codec/kernels.h"

#include <immintrin.h>

namespace kwill::codec {
namespace {

#define KW_SSSE3 __attribute__((target("ssse3,sse4.1"), always_inline)) inline
#define KW_AVX2 __attribute__((target("avx2"), always_inline)) inline

KW_SSSE3 __m128i EncodeFields(__m128i in) {
    in = _mm_shuffle_epi8(in, _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1));
    __m128i t0 = _mm_and_si128(in, _mm_set1_epi32(0x0fc0fc00));
    __m128i t1 = _mm_mulhi_epu16(t0, _mm_set1_epi32(0x04000040));
    __m128i t2 = _mm_and_si128(in, _mm_set1_epi32(0x003f03f0));
    __m128i t3 = _mm_mullo_epi16(t2, _mm_set1_epi32(0x01000010));
    return _mm_or_si128(t1, t3);
}

KW_SSSE3 __m128i FieldsToAscii(__m128i indices) {
    __m128i result = _mm_subs_epu8(indices, _mm_set1_epi8(51));
    __m128i less = _mm_cmpgt_epi8(_mm_set1_epi8(26), indices);
    result = _mm_or_si128(result, _mm_and_si128(less, _mm_set1_epi8(13)));
    const __m128i shift =
        _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                      '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    return _mm_add_epi8(_mm_shuffle_epi8(shift, result), indices);
}

KW_AVX2 __m256i EncodeFields(__m256i in) {
    in =
        _mm256_shuffle_epi8(in, _mm256_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1,
                                                10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1));
    __m256i t0 = _mm256_and_si256(in, _mm256_set1_epi32(0x0fc0fc00));
    __m256i t1 = _mm256_mulhi_epu16(t0, _mm256_set1_epi32(0x04000040));
    __m256i t2 = _mm256_and_si256(in, _mm256_set1_epi32(0x003f03f0));
    __m256i t3 = _mm256_mullo_epi16(t2, _mm256_set1_epi32(0x01000010));
    return _mm256_or_si256(t1, t3);
}

KW_AVX2 __m256i FieldsToAscii(__m256i indices) {
    __m256i result = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
    __m256i less = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices);
    result = _mm256_or_si256(result, _mm256_and_si256(less, _mm256_set1_epi8(13)));
    const __m256i shift = _mm256_broadcastsi128_si256(
        _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                      '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0));
    return _mm256_add_epi8(_mm256_shuffle_epi8(shift, result), indices);
}

// Character classes by nibble: a character is in the alphabet when its two entries share no bit.
#define KW_DECODE_TABLES(set, broadcast)                                                         \
    const auto lutLo = broadcast(_mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,   \
                                               0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A)); \
    const auto lutHi = broadcast(_mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,   \
                                               0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10)); \
    const auto lutRoll =                                                                         \
        broadcast(_mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0));      \
    const auto mask2f = set(0x2f);

KW_SSSE3 __m128i Same128(__m128i x) {
    return x;
}

}  // namespace

namespace ssse3 {

__attribute__((target("ssse3,sse4.1"))) void Base64Encode(const uint8_t* in, size_t groups,
                                                          char* out) {
    // Each step reads 16 bytes and uses 12, so the last few groups go to the portable kernel.
    for (; groups >= 6; groups -= 4, in += 12, out += 16) {
        __m128i fields = EncodeFields(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), FieldsToAscii(fields));
    }
    portable::Base64Encode(in, groups, out);
}

__attribute__((target("ssse3,sse4.1"))) size_t Base64Decode(const char* in, size_t maxGroups,
                                                            uint8_t* out) {
    KW_DECODE_TABLES(_mm_set1_epi8, Same128)
    size_t done = 0;
    // Each step stores 16 bytes of which 12 are kept: it runs while later groups own the rest.
    while (maxGroups - done >= 8) {
        __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * done));
        __m128i hiNibbles = _mm_and_si128(_mm_srli_epi32(text, 4), mask2f);
        __m128i loNibbles = _mm_and_si128(text, mask2f);
        __m128i hi = _mm_shuffle_epi8(lutHi, hiNibbles);
        __m128i lo = _mm_shuffle_epi8(lutLo, loNibbles);
        // Groups before the first character outside the alphabet are still decoded from this
        // block; the bytes stored for the rest are overwritten or lie past the result.
        unsigned bad = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(lo, hi), _mm_setzero_si128())));
        size_t clean = bad == 0xFFFF ? 4 : static_cast<size_t>(__builtin_ctz(~bad)) / 4;
        __m128i eq2f = _mm_cmpeq_epi8(text, mask2f);
        __m128i roll = _mm_shuffle_epi8(lutRoll, _mm_add_epi8(eq2f, hiNibbles));
        __m128i values = _mm_add_epi8(text, roll);
        __m128i merged = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
        __m128i packed = _mm_madd_epi16(merged, _mm_set1_epi32(0x00011000));
        packed = _mm_shuffle_epi8(
            packed, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * done), packed);
        done += clean;
        if (clean < 4) return done;
    }
    return done + portable::Base64Decode(in + 4 * done, maxGroups - done, out + 3 * done);
}

}  // namespace ssse3

namespace avx2 {

__attribute__((target("avx2"))) void Base64Encode(const uint8_t* in, size_t groups, char* out) {
    // Two 16-byte loads give each 128-bit lane its 12 bytes; 28 bytes must be readable.
    for (; groups >= 10; groups -= 8, in += 24, out += 32) {
        __m256i data = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12)), 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), FieldsToAscii(EncodeFields(data)));
    }
    ssse3::Base64Encode(in, groups, out);
}

__attribute__((target("avx2"))) size_t Base64Decode(const char* in, size_t maxGroups,
                                                    uint8_t* out) {
    KW_DECODE_TABLES(_mm256_set1_epi8, _mm256_broadcastsi128_si256)
    size_t done = 0;
    while (maxGroups - done >= 12) {
        __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * done));
        __m256i hiNibbles = _mm256_and_si256(_mm256_srli_epi32(text, 4), mask2f);
        __m256i loNibbles = _mm256_and_si256(text, mask2f);
        __m256i hi = _mm256_shuffle_epi8(lutHi, hiNibbles);
        __m256i lo = _mm256_shuffle_epi8(lutLo, loNibbles);
        unsigned bad = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_and_si256(lo, hi), _mm256_setzero_si256())));
        size_t clean = bad == 0xFFFFFFFFu ? 8 : static_cast<size_t>(__builtin_ctz(~bad)) / 4;
        __m256i eq2f = _mm256_cmpeq_epi8(text, mask2f);
        __m256i roll = _mm256_shuffle_epi8(lutRoll, _mm256_add_epi8(eq2f, hiNibbles));
        __m256i values = _mm256_add_epi8(text, roll);
        __m256i merged = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        __m256i packed = _mm256_madd_epi16(merged, _mm256_set1_epi32(0x00011000));
        packed = _mm256_shuffle_epi8(
            packed, _mm256_broadcastsi128_si256(
                        _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)));
        packed = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * done), packed);
        done += clean;
        if (clean < 8) return done;
    }
    return done + ssse3::Base64Decode(in + 4 * done, maxGroups - done, out + 3 * done);
}

}  // namespace avx2
}  // namespace kwill::codec
