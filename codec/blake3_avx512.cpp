// BLAKE3 chunks sixteen at a time with AVX-512.
#include "codec/blake3_compress.h"
#include "codec/kernels.h"

#include <immintrin.h>

#pragma GCC target("avx512f,avx512bw,avx512vl,avx2")

namespace kwill::codec::avx512 {

#define KW_LANES 16
#define KW_NAME Blake3Chunks
#define KW_LOAD_WORD(p, i)                                                                       \
    reinterpret_cast<Vec>(_mm512_i32gather_epi32(                                                \
        _mm512_add_epi32(_mm512_set_epi32(15 * 256, 14 * 256, 13 * 256, 12 * 256, 11 * 256,      \
                                          10 * 256, 9 * 256, 8 * 256, 7 * 256, 6 * 256, 5 * 256, \
                                          4 * 256, 3 * 256, 2 * 256, 256, 0),                    \
                         _mm512_set1_epi32(i)),                                                  \
        p, 4))
#define KW_ROT16(x) Rotr(x, 16)
#define KW_ROT8(x) Rotr(x, 8)
#include "codec/blake3_many.inc"

}  // namespace kwill::codec::avx512
