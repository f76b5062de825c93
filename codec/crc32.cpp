// CRC-32 as in zip and Ethernet (reflected 0xEDB88320) and CRC-32/BZIP2 (0x04C11DB7, most
// significant bit first), both table-driven eight bytes at a time.
#include "codec/hash_state.h"
#include "codec/kernels.h"
#include "codec/md_block.h"

namespace kwill::codec {
namespace {

struct ReflectedTables {
    uint32_t t[8][256];
    constexpr ReflectedTables() : t() {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (c & 1 ? 0xEDB88320u : 0);
            t[0][b] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (int b = 0; b < 256; ++b) t[s][b] = (t[s - 1][b] >> 8) ^ t[0][t[s - 1][b] & 255];
    }
};

struct ForwardTables {
    uint32_t t[8][256];
    constexpr ForwardTables() : t() {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b << 24;
            for (int k = 0; k < 8; ++k) c = (c << 1) ^ (c & 0x80000000u ? 0x04C11DB7u : 0);
            t[0][b] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (int b = 0; b < 256; ++b) t[s][b] = (t[s - 1][b] << 8) ^ t[0][t[s - 1][b] >> 24];
    }
};

constexpr ReflectedTables kReflected;
constexpr ForwardTables kForward;

}  // namespace

uint32_t portable::Crc32(uint32_t reg, const uint8_t* in, size_t length) {
    const auto& t = kReflected.t;
    for (; length >= 8; length -= 8, in += 8) {
        uint32_t one = reg ^ Load32Le(in);
        uint32_t two = Load32Le(in + 4);
        reg = t[7][one & 255] ^ t[6][(one >> 8) & 255] ^ t[5][(one >> 16) & 255] ^ t[4][one >> 24] ^
              t[3][two & 255] ^ t[2][(two >> 8) & 255] ^ t[1][(two >> 16) & 255] ^ t[0][two >> 24];
    }
    for (; length; --length) reg = (reg >> 8) ^ t[0][(reg ^ *in++) & 255];
    return reg;
}

uint32_t portable::Crc32Bzip2(uint32_t reg, const uint8_t* in, size_t length) {
    const auto& t = kForward.t;
    for (; length >= 8; length -= 8, in += 8) {
        uint32_t one = reg ^ Load32Be(in);
        uint32_t two = Load32Be(in + 4);
        reg = t[7][one >> 24] ^ t[6][(one >> 16) & 255] ^ t[5][(one >> 8) & 255] ^ t[4][one & 255] ^
              t[3][two >> 24] ^ t[2][(two >> 16) & 255] ^ t[1][(two >> 8) & 255] ^ t[0][two & 255];
    }
    for (; length; --length) reg = (reg << 8) ^ t[0][(reg >> 24) ^ *in++];
    return reg;
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length) {
    return ~ActiveKernels().crc32(~crc, data, length);
}

uint32_t Crc32Bzip2(uint32_t crc, const uint8_t* data, size_t length) {
    return ~ActiveKernels().crc32Bzip2(~crc, data, length);
}

}  // namespace kwill::codec
