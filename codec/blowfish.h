// The Blowfish block cipher in electronic codebook mode with a key given per call.
//
// Blocks are read with little-endian halves: bytes 0-3 are the left word and bytes 4-7 the
// right word, each least significant byte first. (The published test vectors use big-endian
// words; reverse each 4-byte half to compare.) The last block is filled with zeros, so the
// output is the length rounded up to a multiple of 8 and the original length is not kept.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kwill {

class Blowfish {
  public:
    // Key schedule from 1 or more key bytes, used cyclically.
    Blowfish(const uint8_t* key, size_t keyLength);
    ~Blowfish();

    void EncryptBlock(uint8_t block[8]) const;
    void DecryptBlock(uint8_t block[8]) const;

    // Big-endian-word form of one block, for checking the schedule against published vectors.
    void Encrypt(uint32_t& left, uint32_t& right) const;
    void Decrypt(uint32_t& left, uint32_t& right) const;

  private:
    uint32_t F(uint32_t x) const;

    uint32_t p_[18];
    uint32_t s_[4][256];
};

// Encrypts length bytes from in to out, filling the last block with zeros; out (and in, when it
// is the same buffer) must hold the length rounded up to a multiple of 8. Nothing happens for an
// empty key, null buffers or a length of 0.
void BlowfishEncrypt(const uint8_t* key, size_t keyLength, const uint8_t* in, uint8_t* out,
                     size_t length);
// Decrypts the ceil(length / 8) blocks from in to out.
void BlowfishDecrypt(const uint8_t* key, size_t keyLength, const uint8_t* in, uint8_t* out,
                     size_t length);

}  // namespace kwill
