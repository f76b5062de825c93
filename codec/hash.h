// The Hash class: one incremental digest or checksum with the method chosen at run time.
//
// The object keeps the state of the selected algorithm inline, allocates nothing and may be
// copied at any point; both copies then go on as independent computations. It has no
// constructor: its state is undefined until Init. Hosts allocate the object themselves from the
// size their header gives, so its layout (method word, then the state union) stays fixed.
#pragma once

#include "codec/hash_state.h"

#include <cstddef>
#include <cstdint>

namespace kwill {

enum class HashMethod : uint32_t {
    MD5 = 0,
    SHA1 = 1,
    SHA256 = 2,
    SHA512 = 3,
    CRC32 = 4,           // zip/Ethernet CRC, digest most significant byte first
    CRC32_BZIP2_LE = 5,  // CRC-32/BZIP2, digest least significant byte first
    CRC32_BZIP2 = 6,     // CRC-32/BZIP2, digest most significant byte first
    BLAKE3 = 7,          // unkeyed hash mode, 32-byte digest
};

class Hash {
  public:
    static constexpr int MAX_HASH_SIZE = 64;

    // Starts a computation; a method value outside the table behaves as MD5 everywhere.
    void Init(HashMethod method);
    void HashData(const void* data, size_t length);
    // Finishes: copies min(digest size, digestSize) bytes to digest and writes the lower-case
    // hex text to text (see SumToString). Either buffer may be null.
    void End(char* text, size_t textSize, uint8_t* digest, size_t digestSize);
    void End(size_t digestSize, uint8_t* digest);
    void EndHash(size_t digestSize, uint8_t* digest);
    int HashSize() const;

    // Writes the digest as lower-case hex, each byte high nibble first, while room remains for
    // the terminator (which may leave a byte with its high nibble only), then terminates.
    // A textSize of 0 writes nothing.
    static void SumToString(const uint8_t* digest, char* text, size_t textSize, size_t digestSize);

    static int SizeOf(HashMethod method);

  private:
    HashMethod Effective() const;

    uint32_t method_;
    union {
        codec::Md5State md5;
        codec::Sha1State sha1;
        codec::Sha256State sha256;
        codec::Sha512State sha512;
        uint32_t crc;
        codec::Blake3State blake3;
    } state_;
};

// The host's header sizes the object; the BLAKE3 state (a chunk plus 54 chaining values) is the
// largest member, and nothing may push the object past it.
static_assert(sizeof(Hash) <= 1920, "Hash must not grow: hosts allocate it themselves");
static_assert(alignof(Hash) <= 8, "hosts align the object to 8 bytes at most");

}  // namespace kwill
