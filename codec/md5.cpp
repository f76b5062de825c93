// MD5 (RFC 1321).
#include "codec/hash_state.h"
#include "codec/kernels.h"
#include "codec/md_block.h"

namespace kwill::codec {
namespace {

constexpr uint32_t kK[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

#define KW_MD5_STEP(f, a, b, c, d, x, k, s) \
    a += f(b, c, d) + (x) + (k);            \
    a = Rotl32(a, s) + b;
#define KW_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define KW_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define KW_H(x, y, z) ((x) ^ (y) ^ (z))
#define KW_I(x, y, z) ((y) ^ ((x) | ~(z)))

}  // namespace

void portable::Md5Blocks(uint32_t h[4], const uint8_t* in, size_t blocks) {
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (; blocks; --blocks, in += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = Load32Le(in + 4 * i);
        uint32_t aa = a, bb = b, cc = c, dd = d;
        for (int i = 0; i < 16; i += 4) {
            KW_MD5_STEP(KW_F, a, b, c, d, x[i], kK[i], 7)
            KW_MD5_STEP(KW_F, d, a, b, c, x[i + 1], kK[i + 1], 12)
            KW_MD5_STEP(KW_F, c, d, a, b, x[i + 2], kK[i + 2], 17)
            KW_MD5_STEP(KW_F, b, c, d, a, x[i + 3], kK[i + 3], 22)
        }
        for (int i = 16; i < 32; i += 4) {
            KW_MD5_STEP(KW_G, a, b, c, d, x[(5 * i + 1) & 15], kK[i], 5)
            KW_MD5_STEP(KW_G, d, a, b, c, x[(5 * i + 6) & 15], kK[i + 1], 9)
            KW_MD5_STEP(KW_G, c, d, a, b, x[(5 * i + 11) & 15], kK[i + 2], 14)
            KW_MD5_STEP(KW_G, b, c, d, a, x[(5 * i + 16) & 15], kK[i + 3], 20)
        }
        for (int i = 32; i < 48; i += 4) {
            KW_MD5_STEP(KW_H, a, b, c, d, x[(3 * i + 5) & 15], kK[i], 4)
            KW_MD5_STEP(KW_H, d, a, b, c, x[(3 * i + 8) & 15], kK[i + 1], 11)
            KW_MD5_STEP(KW_H, c, d, a, b, x[(3 * i + 11) & 15], kK[i + 2], 16)
            KW_MD5_STEP(KW_H, b, c, d, a, x[(3 * i + 14) & 15], kK[i + 3], 23)
        }
        for (int i = 48; i < 64; i += 4) {
            KW_MD5_STEP(KW_I, a, b, c, d, x[(7 * i) & 15], kK[i], 6)
            KW_MD5_STEP(KW_I, d, a, b, c, x[(7 * i + 7) & 15], kK[i + 1], 10)
            KW_MD5_STEP(KW_I, c, d, a, b, x[(7 * i + 14) & 15], kK[i + 2], 15)
            KW_MD5_STEP(KW_I, b, c, d, a, x[(7 * i + 21) & 15], kK[i + 3], 21)
        }
        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    h[0] = a;
    h[1] = b;
    h[2] = c;
    h[3] = d;
}

void Md5Init(Md5State& s) {
    s.h[0] = 0x67452301;
    s.h[1] = 0xefcdab89;
    s.h[2] = 0x98badcfe;
    s.h[3] = 0x10325476;
    s.length = 0;
}

void Md5Update(Md5State& s, const uint8_t* data, size_t length) {
    MdUpdate<64>(s.h, s.length, s.block, data, length, ActiveKernels().md5Blocks);
}

void Md5Final(Md5State& s, uint8_t digest[16]) {
    MdFinish<64>(s.h, s.length, s.block, 8, false, ActiveKernels().md5Blocks);
    for (int i = 0; i < 4; ++i) Store32Le(digest + 4 * i, s.h[i]);
}

}  // namespace kwill::codec
