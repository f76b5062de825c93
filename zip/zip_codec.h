// Whole-buffer raw deflate for zip members whose sizes are known, on the calling thread's
// engine state.
#pragma once

#include "zip/zip_error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kwill::zip {

// Compresses the whole input at level (1 to 9) into out, after `front` bytes left free at its
// start; out is resized to front plus the compressed size. Returns the compressed size, 0 when it
// would not be smaller than the input (store it instead). Throws std::bad_alloc.
size_t DeflateWhole(std::span<const uint8_t> in, int level, std::vector<uint8_t>& out,
                    size_t front = 0);

// Decompresses a raw deflate stream that must fill out exactly: Ok, BadData (corrupt, truncated,
// shorter or longer than out) or OutOfMemory.
ZipError InflateWhole(std::span<const uint8_t> in, std::span<uint8_t> out);

}  // namespace kwill::zip
