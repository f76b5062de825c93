// Buffering and final padding shared by MD5 and the SHA family, which differ only in block size,
// length field and byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kwill::codec {

inline uint32_t Load32Be(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline uint32_t Load32Le(const uint8_t* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}
inline uint64_t Load64Be(const uint8_t* p) {
    return uint64_t{Load32Be(p)} << 32 | Load32Be(p + 4);
}
inline void Store32Be(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline void Store32Le(uint8_t* p, uint32_t v) {
    __builtin_memcpy(p, &v, 4);
}
inline void Store64Be(uint8_t* p, uint64_t v) {
    Store32Be(p, static_cast<uint32_t>(v >> 32));
    Store32Be(p + 4, static_cast<uint32_t>(v));
}
inline uint32_t Rotl32(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}
inline uint32_t Rotr32(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}
inline uint64_t Rotr64(uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

// Feeds bytes: fills the partial block, compresses whole blocks straight from the input and
// keeps the rest. The partial block's fill is length % B.
template <size_t B, typename H, typename Blocks>
void MdUpdate(H* h, uint64_t& length, uint8_t* block, const uint8_t* data, size_t n,
              Blocks blocks) {
    size_t used = static_cast<size_t>(length % B);
    length += n;
    if (used) {
        size_t take = B - used < n ? B - used : n;
        __builtin_memcpy(block + used, data, take);
        data += take;
        n -= take;
        if (used + take < B) return;
        blocks(h, block, 1);
    }
    if (size_t whole = n / B) {
        blocks(h, data, whole);
        data += whole * B;
        n -= whole * B;
    }
    if (n) __builtin_memcpy(block, data, n);
}

// Appends 0x80, zeros and the bit length (lengthBytes wide, big- or little-endian) and
// compresses the last block or two.
template <size_t B, typename H, typename Blocks>
void MdFinish(H* h, uint64_t length, uint8_t* block, size_t lengthBytes, bool bigEndian,
              Blocks blocks) {
    size_t used = static_cast<size_t>(length % B);
    block[used++] = 0x80;
    if (used > B - lengthBytes) {
        __builtin_memset(block + used, 0, B - used);
        blocks(h, block, 1);
        used = 0;
    }
    __builtin_memset(block + used, 0, B - used);
    uint64_t bitsLo = length << 3;
    uint64_t bitsHi = length >> 61;
    for (size_t i = 0; i < lengthBytes; ++i) {
        uint64_t word = i < 8 ? bitsLo : bitsHi;
        uint8_t byte = static_cast<uint8_t>(word >> (8 * (i % 8)));
        block[bigEndian ? B - 1 - i : B - lengthBytes + i] = byte;
    }
    blocks(h, block, 1);
}

}  // namespace kwill::codec
