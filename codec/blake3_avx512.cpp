// BLAKE3 chunks sixteen at a time with AVX-512.
#include "codec/blake3_compress.h"
#include "codec/kernels.h"

#include <immintrin.h>

#pragma GCC target("avx512f,avx512bw,avx512vl,avx2")

namespace kwill::codec::avx512 {

#define KW_LANES 16
#define KW_NAME Blake3Chunks
#define KW_LOAD_WORD(p, i, stride)                                                              \
    reinterpret_cast<Vec>(_mm512_i32gather_epi32(                                               \
        _mm512_add_epi32(_mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, \
                                                              11, 12, 13, 14, 15),              \
                                            _mm512_set1_epi32(stride)),                         \
                         _mm512_set1_epi32(i)),                                                 \
        p, 4))
#define KW_PARENTS_NAME Blake3Parents
#define KW_PARENTS_FALLBACK avx2::Blake3Parents
#define KW_ROT16(x) Rotr(x, 16)
#define KW_ROT8(x) Rotr(x, 8)
#include "codec/blake3_many.inc"

}  // namespace kwill::codec::avx512
