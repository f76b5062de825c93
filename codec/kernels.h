// The processor-specific kernels of the codec family, gathered in one table per level. Callers
// take ActiveKernels(); tests and the benchmark compare KernelsAt() of every level the processor
// has against the portable table.
#pragma once

#include "codec/cpu_level.h"

#include <cstddef>
#include <cstdint>

namespace kwill::codec {

struct Kernels {
    CpuLevel level;

    // Base64: encodes groups * 3 bytes into groups * 4 characters.
    void (*base64Encode)(const uint8_t* in, size_t groups, char* out);
    // Decodes groups of four alphabet characters for as long as every character of a group is
    // in the alphabet, at most maxGroups; returns the number of groups decoded (3 bytes each).
    size_t (*base64Decode)(const char* in, size_t maxGroups, uint8_t* out);

    // Block functions of the Merkle-Damgard digests: compress `blocks` whole blocks into h.
    void (*md5Blocks)(uint32_t h[4], const uint8_t* in, size_t blocks);
    void (*sha1Blocks)(uint32_t h[5], const uint8_t* in, size_t blocks);
    void (*sha256Blocks)(uint32_t h[8], const uint8_t* in, size_t blocks);
    void (*sha512Blocks)(uint64_t h[8], const uint8_t* in, size_t blocks);

    // CRC registers (not inverted) carried over length bytes: reflected 0xEDB88320, and
    // 0x04C11DB7 most significant bit first.
    uint32_t (*crc32)(uint32_t reg, const uint8_t* in, size_t length);
    uint32_t (*crc32Bzip2)(uint32_t reg, const uint8_t* in, size_t length);

    // BLAKE3: hashes `chunks` whole 1,024-byte chunks laid out one after the other, with chunk
    // counters from `counter` on, and writes their chaining values.
    void (*blake3Chunks)(const uint8_t* in, size_t chunks, uint64_t counter, uint32_t (*cvs)[8]);
    // Parent nodes from `parents` 64-byte blocks (left and right child chaining values) laid out
    // one after the other; cvs may be the input itself, read as bytes.
    void (*blake3Parents)(const uint8_t* in, size_t parents, uint32_t (*cvs)[8]);
};

const Kernels& KernelsAt(CpuLevel level);
const Kernels& ActiveKernels();

// Portable kernels, also the reference the others are tested against.
namespace portable {
void Base64Encode(const uint8_t* in, size_t groups, char* out);
size_t Base64Decode(const char* in, size_t maxGroups, uint8_t* out);
void Md5Blocks(uint32_t h[4], const uint8_t* in, size_t blocks);
void Sha1Blocks(uint32_t h[5], const uint8_t* in, size_t blocks);
void Sha256Blocks(uint32_t h[8], const uint8_t* in, size_t blocks);
void Sha512Blocks(uint64_t h[8], const uint8_t* in, size_t blocks);
uint32_t Crc32(uint32_t reg, const uint8_t* in, size_t length);
uint32_t Crc32Bzip2(uint32_t reg, const uint8_t* in, size_t length);
void Blake3Chunks(const uint8_t* in, size_t chunks, uint64_t counter, uint32_t (*cvs)[8]);
void Blake3Parents(const uint8_t* in, size_t parents, uint32_t (*cvs)[8]);
}  // namespace portable

namespace sse41 {
void Blake3Chunks(const uint8_t* in, size_t chunks, uint64_t counter, uint32_t (*cvs)[8]);
void Blake3Parents(const uint8_t* in, size_t parents, uint32_t (*cvs)[8]);
}  // namespace sse41
namespace avx2 {
void Blake3Chunks(const uint8_t* in, size_t chunks, uint64_t counter, uint32_t (*cvs)[8]);
void Blake3Parents(const uint8_t* in, size_t parents, uint32_t (*cvs)[8]);
// SHA-512 with the schedules of two blocks at a time in vectors (also BMI2 for the rounds).
void Sha512Blocks(uint64_t h[8], const uint8_t* in, size_t blocks);
}  // namespace avx2
namespace avx512 {
void Blake3Chunks(const uint8_t* in, size_t chunks, uint64_t counter, uint32_t (*cvs)[8]);
void Blake3Parents(const uint8_t* in, size_t parents, uint32_t (*cvs)[8]);
void Sha512Blocks(uint64_t h[8], const uint8_t* in, size_t blocks);
}  // namespace avx512

// Scalar kernels written for x86-64 instruction by instruction.
namespace x64 {
void Md5Blocks(uint32_t h[4], const uint8_t* in, size_t blocks);
}  // namespace x64

}  // namespace kwill::codec
