// BLAKE3 chunks four at a time with SSE4.1.
#include "codec/blake3_compress.h"
#include "codec/kernels.h"

#include <immintrin.h>

#pragma GCC target("sse4.1,ssse3")

namespace kwill::codec::sse41 {

typedef uint8_t Bytes16 __attribute__((vector_size(16)));

#define KW_LANES 4
#define KW_NAME Blake3Chunks
#define KW_LOAD_WORD(p, i, stride)                                      \
    (Vec{Load32Le((p) + 4 * (i)), Load32Le((p) + 4 * ((stride) + (i))), \
         Load32Le((p) + 4 * (2 * (stride) + (i))), Load32Le((p) + 4 * (3 * (stride) + (i)))})
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
