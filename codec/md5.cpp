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

#define KW_BLOCKS_TARGET
#define KW_BLOCKS portable::Md5Blocks
#include "codec/md5_blocks.inc"
#undef KW_BLOCKS
#undef KW_BLOCKS_TARGET

// The block function for x86-64 written out instruction by instruction. What sets the pace is
// the chain through the four registers, one step after another: the message word, the constant
// and every part of the round function that does not need the step's b are added into a off that
// chain, and the chain itself is only what must follow b: two operations of F and I, one of G
// (split into (c & ~d) + (d & b), whose halves have no bit in common) and of H, then the rotate
// and the add. Compilers reach this only in part, and put register copies on the chain.
// clang-format off
#define KW_R(r) "%[" #r "]"
#define KW_MD5_F(a, b, c, d, x, k, s)                   \
    "movl " KW_R(d) ", %[t]\n\t"                        \
    "addl " #x "(%[in]), " KW_R(a) "\n\t"               \
    "xorl " KW_R(c) ", %[t]\n\t"                        \
    "addl $" #k ", " KW_R(a) "\n\t"                     \
    "andl " KW_R(b) ", %[t]\n\t"                        \
    "xorl " KW_R(d) ", %[t]\n\t"                        \
    "addl %[t], " KW_R(a) "\n\t"                        \
    "roll $" #s ", " KW_R(a) "\n\t"                     \
    "addl " KW_R(b) ", " KW_R(a) "\n\t"
#define KW_MD5_G(a, b, c, d, x, k, s)                   \
    "movl " KW_R(d) ", %[t]\n\t"                        \
    "addl " #x "(%[in]), " KW_R(a) "\n\t"               \
    "notl %[t]\n\t"                                     \
    "addl $" #k ", " KW_R(a) "\n\t"                     \
    "andl " KW_R(c) ", %[t]\n\t"                        \
    "movl " KW_R(d) ", %[u]\n\t"                        \
    "addl %[t], " KW_R(a) "\n\t"                        \
    "andl " KW_R(b) ", %[u]\n\t"                        \
    "addl %[u], " KW_R(a) "\n\t"                        \
    "roll $" #s ", " KW_R(a) "\n\t"                     \
    "addl " KW_R(b) ", " KW_R(a) "\n\t"
#define KW_MD5_H(a, b, c, d, x, k, s)                   \
    "movl " KW_R(c) ", %[t]\n\t"                        \
    "addl " #x "(%[in]), " KW_R(a) "\n\t"               \
    "xorl " KW_R(d) ", %[t]\n\t"                        \
    "addl $" #k ", " KW_R(a) "\n\t"                     \
    "xorl " KW_R(b) ", %[t]\n\t"                        \
    "addl %[t], " KW_R(a) "\n\t"                        \
    "roll $" #s ", " KW_R(a) "\n\t"                     \
    "addl " KW_R(b) ", " KW_R(a) "\n\t"
#define KW_MD5_I(a, b, c, d, x, k, s)                   \
    "movl " KW_R(d) ", %[t]\n\t"                        \
    "addl " #x "(%[in]), " KW_R(a) "\n\t"               \
    "notl %[t]\n\t"                                     \
    "addl $" #k ", " KW_R(a) "\n\t"                     \
    "orl " KW_R(b) ", %[t]\n\t"                         \
    "xorl " KW_R(c) ", %[t]\n\t"                        \
    "addl %[t], " KW_R(a) "\n\t"                        \
    "roll $" #s ", " KW_R(a) "\n\t"                     \
    "addl " KW_R(b) ", " KW_R(a) "\n\t"

void x64::Md5Blocks(uint32_t h[4], const uint8_t* in, size_t blocks) {
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (; blocks; --blocks, in += 64) {
        uint32_t aa = a, bb = b, cc = c, dd = d, t, u;
        // Each step: the registers in their turn, the offset of its message word in the block,
        // its constant and its rotation.
        asm(
        KW_MD5_F(a, b, c, d, 0, 0xd76aa478, 7)
        KW_MD5_F(d, a, b, c, 4, 0xe8c7b756, 12)
        KW_MD5_F(c, d, a, b, 8, 0x242070db, 17)
        KW_MD5_F(b, c, d, a, 12, 0xc1bdceee, 22)
        KW_MD5_F(a, b, c, d, 16, 0xf57c0faf, 7)
        KW_MD5_F(d, a, b, c, 20, 0x4787c62a, 12)
        KW_MD5_F(c, d, a, b, 24, 0xa8304613, 17)
        KW_MD5_F(b, c, d, a, 28, 0xfd469501, 22)
        KW_MD5_F(a, b, c, d, 32, 0x698098d8, 7)
        KW_MD5_F(d, a, b, c, 36, 0x8b44f7af, 12)
        KW_MD5_F(c, d, a, b, 40, 0xffff5bb1, 17)
        KW_MD5_F(b, c, d, a, 44, 0x895cd7be, 22)
        KW_MD5_F(a, b, c, d, 48, 0x6b901122, 7)
        KW_MD5_F(d, a, b, c, 52, 0xfd987193, 12)
        KW_MD5_F(c, d, a, b, 56, 0xa679438e, 17)
        KW_MD5_F(b, c, d, a, 60, 0x49b40821, 22)
        KW_MD5_G(a, b, c, d, 4, 0xf61e2562, 5)
        KW_MD5_G(d, a, b, c, 24, 0xc040b340, 9)
        KW_MD5_G(c, d, a, b, 44, 0x265e5a51, 14)
        KW_MD5_G(b, c, d, a, 0, 0xe9b6c7aa, 20)
        KW_MD5_G(a, b, c, d, 20, 0xd62f105d, 5)
        KW_MD5_G(d, a, b, c, 40, 0x02441453, 9)
        KW_MD5_G(c, d, a, b, 60, 0xd8a1e681, 14)
        KW_MD5_G(b, c, d, a, 16, 0xe7d3fbc8, 20)
        KW_MD5_G(a, b, c, d, 36, 0x21e1cde6, 5)
        KW_MD5_G(d, a, b, c, 56, 0xc33707d6, 9)
        KW_MD5_G(c, d, a, b, 12, 0xf4d50d87, 14)
        KW_MD5_G(b, c, d, a, 32, 0x455a14ed, 20)
        KW_MD5_G(a, b, c, d, 52, 0xa9e3e905, 5)
        KW_MD5_G(d, a, b, c, 8, 0xfcefa3f8, 9)
        KW_MD5_G(c, d, a, b, 28, 0x676f02d9, 14)
        KW_MD5_G(b, c, d, a, 48, 0x8d2a4c8a, 20)
        KW_MD5_H(a, b, c, d, 20, 0xfffa3942, 4)
        KW_MD5_H(d, a, b, c, 32, 0x8771f681, 11)
        KW_MD5_H(c, d, a, b, 44, 0x6d9d6122, 16)
        KW_MD5_H(b, c, d, a, 56, 0xfde5380c, 23)
        KW_MD5_H(a, b, c, d, 4, 0xa4beea44, 4)
        KW_MD5_H(d, a, b, c, 16, 0x4bdecfa9, 11)
        KW_MD5_H(c, d, a, b, 28, 0xf6bb4b60, 16)
        KW_MD5_H(b, c, d, a, 40, 0xbebfbc70, 23)
        KW_MD5_H(a, b, c, d, 52, 0x289b7ec6, 4)
        KW_MD5_H(d, a, b, c, 0, 0xeaa127fa, 11)
        KW_MD5_H(c, d, a, b, 12, 0xd4ef3085, 16)
        KW_MD5_H(b, c, d, a, 24, 0x04881d05, 23)
        KW_MD5_H(a, b, c, d, 36, 0xd9d4d039, 4)
        KW_MD5_H(d, a, b, c, 48, 0xe6db99e5, 11)
        KW_MD5_H(c, d, a, b, 60, 0x1fa27cf8, 16)
        KW_MD5_H(b, c, d, a, 8, 0xc4ac5665, 23)
        KW_MD5_I(a, b, c, d, 0, 0xf4292244, 6)
        KW_MD5_I(d, a, b, c, 28, 0x432aff97, 10)
        KW_MD5_I(c, d, a, b, 56, 0xab9423a7, 15)
        KW_MD5_I(b, c, d, a, 20, 0xfc93a039, 21)
        KW_MD5_I(a, b, c, d, 48, 0x655b59c3, 6)
        KW_MD5_I(d, a, b, c, 12, 0x8f0ccc92, 10)
        KW_MD5_I(c, d, a, b, 40, 0xffeff47d, 15)
        KW_MD5_I(b, c, d, a, 4, 0x85845dd1, 21)
        KW_MD5_I(a, b, c, d, 32, 0x6fa87e4f, 6)
        KW_MD5_I(d, a, b, c, 60, 0xfe2ce6e0, 10)
        KW_MD5_I(c, d, a, b, 24, 0xa3014314, 15)
        KW_MD5_I(b, c, d, a, 52, 0x4e0811a1, 21)
        KW_MD5_I(a, b, c, d, 16, 0xf7537e82, 6)
        KW_MD5_I(d, a, b, c, 44, 0xbd3af235, 10)
        KW_MD5_I(c, d, a, b, 8, 0x2ad7d2bb, 15)
        KW_MD5_I(b, c, d, a, 36, 0xeb86d391, 21)
            : [a] "+r"(a), [b] "+r"(b), [c] "+r"(c), [d] "+r"(d), [t] "=&r"(t), [u] "=&r"(u)
            : [in] "r"(in), "m"(*reinterpret_cast<const uint8_t(*)[64]>(in))
            : "cc");
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

#undef KW_MD5_F
#undef KW_MD5_G
#undef KW_MD5_H
#undef KW_MD5_I
#undef KW_R
// clang-format on

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
