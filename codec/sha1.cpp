// SHA-1 (FIPS 180-4).
#include "codec/hash_state.h"
#include "codec/kernels.h"
#include "codec/md_block.h"

namespace kwill::codec {

void portable::Sha1Blocks(uint32_t h[5], const uint8_t* in, size_t blocks) {
    for (; blocks; --blocks, in += 64) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = Load32Be(in + 4 * i);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t x;
            if (i < 16) {
                x = w[i];
            } else {
                x = Rotl32(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
                w[i & 15] = x;
            }
            uint32_t f, k;
            if (i < 20) {
                f = d ^ (b & (c ^ d));
                k = 0x5a827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ed9eba1;
            } else if (i < 60) {
                f = (b & c) | (d & (b | c));
                k = 0x8f1bbcdc;
            } else {
                f = b ^ c ^ d;
                k = 0xca62c1d6;
            }
            uint32_t t = Rotl32(a, 5) + f + e + k + x;
            e = d;
            d = c;
            c = Rotl32(b, 30);
            b = a;
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
}

void Sha1Init(Sha1State& s) {
    s.h[0] = 0x67452301;
    s.h[1] = 0xefcdab89;
    s.h[2] = 0x98badcfe;
    s.h[3] = 0x10325476;
    s.h[4] = 0xc3d2e1f0;
    s.length = 0;
}

void Sha1Update(Sha1State& s, const uint8_t* data, size_t length) {
    MdUpdate<64>(s.h, s.length, s.block, data, length, ActiveKernels().sha1Blocks);
}

void Sha1Final(Sha1State& s, uint8_t digest[20]) {
    MdFinish<64>(s.h, s.length, s.block, 8, true, ActiveKernels().sha1Blocks);
    for (int i = 0; i < 5; ++i) Store32Be(digest + 4 * i, s.h[i]);
}

}  // namespace kwill::codec
