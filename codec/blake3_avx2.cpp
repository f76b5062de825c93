// BLAKE3 chunks eight at a time with AVX2.
#include "codec/blake3_compress.h"
#include "codec/kernels.h"

#include <immintrin.h>

#pragma GCC target("avx2")

namespace kwill::codec::avx2 {

typedef uint8_t Bytes32 __attribute__((vector_size(32)));

#define KW_LANES 8
#define KW_NAME Blake3Chunks
#define KW_LOAD_WORD(p, i, stride)                                                     \
    reinterpret_cast<Vec>(_mm256_i32gather_epi32(                                      \
        reinterpret_cast<const int*>(p),                                               \
        _mm256_add_epi32(_mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), \
                                            _mm256_set1_epi32(stride)),                \
                         _mm256_set1_epi32(i)),                                        \
        4))
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
