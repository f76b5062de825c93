// The per-algorithm states held inline by Hash, and the incremental functions on them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kwill::codec {

struct Md5State {
    uint32_t h[4];
    uint64_t length;  // bytes fed so far
    uint8_t block[64];
};

struct Sha1State {
    uint32_t h[5];
    uint64_t length;
    uint8_t block[64];
};

struct Sha256State {
    uint32_t h[8];
    uint64_t length;
    uint8_t block[64];
};

struct Sha512State {
    uint64_t h[8];
    uint64_t length;
    uint8_t block[128];
};

// BLAKE3's tree: 2^54 chunks of 1,024 bytes cover any 64-bit length, so 54 chaining values
// suffice for the completed subtrees, and one more is a subtree whose merge is postponed until
// input beyond it arrives.
constexpr int kBlake3MaxDepth = 54;

struct Blake3State {
    uint32_t cv[8];  // chaining value of the chunk being read
    uint64_t chunkCounter;
    uint8_t block[64];
    uint8_t blockLength;
    uint8_t blocksCompressed;
    uint8_t stackLength;
    uint32_t stack[kBlake3MaxDepth + 1][8];
};

void Md5Init(Md5State& s);
void Md5Update(Md5State& s, const uint8_t* data, size_t length);
void Md5Final(Md5State& s, uint8_t digest[16]);

void Sha1Init(Sha1State& s);
void Sha1Update(Sha1State& s, const uint8_t* data, size_t length);
void Sha1Final(Sha1State& s, uint8_t digest[20]);

void Sha256Init(Sha256State& s);
void Sha256Update(Sha256State& s, const uint8_t* data, size_t length);
void Sha256Final(Sha256State& s, uint8_t digest[32]);

void Sha512Init(Sha512State& s);
void Sha512Update(Sha512State& s, const uint8_t* data, size_t length);
void Sha512Final(Sha512State& s, uint8_t digest[64]);

void Blake3Init(Blake3State& s);
void Blake3Update(Blake3State& s, const uint8_t* data, size_t length);
// Writes outLength bytes of the root output (64 at most here).
void Blake3Final(const Blake3State& s, uint8_t* out, size_t outLength);

// CRCs on the finished value: 0 stands for no data, and successive calls chain.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length);
uint32_t Crc32Bzip2(uint32_t crc, const uint8_t* data, size_t length);

}  // namespace kwill::codec
