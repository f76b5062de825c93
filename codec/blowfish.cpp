#include "codec/blowfish.h"

#include "codec/blowfish_tables.h"
#include "codec/md_block.h"

namespace kwill {

Blowfish::Blowfish(const uint8_t* key, size_t keyLength) {
    __builtin_memcpy(s_, codec::kBlowfishS, sizeof(s_));
    size_t k = 0;
    for (int i = 0; i < 18; ++i) {
        uint32_t word = 0;
        for (int b = 0; b < 4; ++b) {
            word = word << 8 | key[k];
            k = k + 1 == keyLength ? 0 : k + 1;
        }
        p_[i] = codec::kBlowfishP[i] ^ word;
    }
    uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        Encrypt(l, r);
        p_[i] = l;
        p_[i + 1] = r;
    }
    for (auto& box : s_) {
        for (int i = 0; i < 256; i += 2) {
            Encrypt(l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
}

Blowfish::~Blowfish() {
    // The schedule is derived from the key; do not leave it behind on the stack.
    volatile uint32_t* p = p_;
    for (size_t i = 0; i < sizeof(p_) / 4; ++i) p[i] = 0;
    volatile uint32_t* s = &s_[0][0];
    for (size_t i = 0; i < sizeof(s_) / 4; ++i) s[i] = 0;
}

inline uint32_t Blowfish::F(uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 255]) ^ s_[2][(x >> 8) & 255]) + s_[3][x & 255];
}

// Two rounds: the halves trade places by naming rather than by moving.
#define KW_BF_ROUNDS(l, r, p0, p1) \
    l ^= p0;                       \
    r ^= F(l);                     \
    r ^= p1;                       \
    l ^= F(r);

void Blowfish::Encrypt(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    const uint32_t* p = p_;
    KW_BF_ROUNDS(l, r, p[0], p[1])
    KW_BF_ROUNDS(l, r, p[2], p[3])
    KW_BF_ROUNDS(l, r, p[4], p[5])
    KW_BF_ROUNDS(l, r, p[6], p[7])
    KW_BF_ROUNDS(l, r, p[8], p[9])
    KW_BF_ROUNDS(l, r, p[10], p[11])
    KW_BF_ROUNDS(l, r, p[12], p[13])
    KW_BF_ROUNDS(l, r, p[14], p[15])
    left = r ^ p[17];
    right = l ^ p[16];
}

void Blowfish::Decrypt(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    const uint32_t* p = p_;
    KW_BF_ROUNDS(l, r, p[17], p[16])
    KW_BF_ROUNDS(l, r, p[15], p[14])
    KW_BF_ROUNDS(l, r, p[13], p[12])
    KW_BF_ROUNDS(l, r, p[11], p[10])
    KW_BF_ROUNDS(l, r, p[9], p[8])
    KW_BF_ROUNDS(l, r, p[7], p[6])
    KW_BF_ROUNDS(l, r, p[5], p[4])
    KW_BF_ROUNDS(l, r, p[3], p[2])
    left = r ^ p[0];
    right = l ^ p[1];
}

void Blowfish::EncryptBlock(uint8_t block[8]) const {
    uint32_t l = codec::Load32Le(block), r = codec::Load32Le(block + 4);
    Encrypt(l, r);
    codec::Store32Le(block, l);
    codec::Store32Le(block + 4, r);
}

void Blowfish::DecryptBlock(uint8_t block[8]) const {
    uint32_t l = codec::Load32Le(block), r = codec::Load32Le(block + 4);
    Decrypt(l, r);
    codec::Store32Le(block, l);
    codec::Store32Le(block + 4, r);
}

void BlowfishEncrypt(const uint8_t* key, size_t keyLength, const uint8_t* in, uint8_t* out,
                     size_t length) {
    if (!key || !keyLength || !in || !out || !length) return;
    Blowfish cipher(key, keyLength);
    for (size_t offset = 0; offset < length; offset += 8) {
        uint8_t block[8] = {};
        size_t take = length - offset < 8 ? length - offset : 8;
        __builtin_memcpy(block, in + offset, take);
        cipher.EncryptBlock(block);
        __builtin_memcpy(out + offset, block, 8);
    }
}

void BlowfishDecrypt(const uint8_t* key, size_t keyLength, const uint8_t* in, uint8_t* out,
                     size_t length) {
    if (!key || !keyLength || !in || !out || !length) return;
    Blowfish cipher(key, keyLength);
    for (size_t offset = 0; offset < length; offset += 8) {
        uint8_t block[8];
        __builtin_memcpy(block, in + offset, 8);
        cipher.DecryptBlock(block);
        __builtin_memcpy(out + offset, block, 8);
    }
}

}  // namespace kwill
