#include "zip/zip_codec.h"

#include "zip/zip_engine.h"

#include <libdeflate.h>

#include <algorithm>
#include <new>

namespace kwill::zip {

size_t DeflateWhole(std::span<const uint8_t> in, int level, std::vector<uint8_t>& out,
                    size_t front) {
    DeflateState* state = ThreadDeflater();
    libdeflate_compressor* c = state ? WholeCompressor(*state, std::clamp(level, 1, 9)) : nullptr;
    if (!c) throw std::bad_alloc();
    out.resize(front + libdeflate_deflate_compress_bound(c, in.size()));
    size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data() + front,
                                           out.size() - front);
    if (n == 0 || n >= in.size()) {
        out.resize(front);
        return 0;
    }
    out.resize(front + n);
    return n;
}

ZipError InflateWhole(std::span<const uint8_t> in, std::span<uint8_t> out) {
    InflateState* state = ThreadInflater();
    libdeflate_decompressor* d = state ? WholeDecompressor(*state) : nullptr;
    if (!d) return ZipError::OutOfMemory;
    // Without an "actual size" pointer the output must come out at exactly out.size() bytes.
    return libdeflate_deflate_decompress(d, in.data(), in.size(), out.data(), out.size(),
                                         nullptr) == LIBDEFLATE_SUCCESS
               ? ZipError::Ok
               : ZipError::BadData;
}

}  // namespace kwill::zip
