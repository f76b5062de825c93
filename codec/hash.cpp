#include "codec/hash.h"

#include <cstring>

namespace kwill {
namespace {

void StoreMsbFirst(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v >> 24);
    out[1] = static_cast<uint8_t>(v >> 16);
    out[2] = static_cast<uint8_t>(v >> 8);
    out[3] = static_cast<uint8_t>(v);
}

}  // namespace

int Hash::SizeOf(HashMethod method) {
    switch (method) {
        case HashMethod::SHA1:
            return 20;
        case HashMethod::SHA256:
            return 32;
        case HashMethod::SHA512:
            return 64;
        case HashMethod::CRC32:
        case HashMethod::CRC32_BZIP2_LE:
        case HashMethod::CRC32_BZIP2:
            return 4;
        case HashMethod::BLAKE3:
            return 32;
        default:
            return 16;
    }
}

HashMethod Hash::Effective() const {
    return method_ <= static_cast<uint32_t>(HashMethod::BLAKE3) ? static_cast<HashMethod>(method_)
                                                                : HashMethod::MD5;
}

void Hash::Init(HashMethod method) {
    method_ = static_cast<uint32_t>(method);
    switch (Effective()) {
        case HashMethod::SHA1:
            codec::Sha1Init(state_.sha1);
            break;
        case HashMethod::SHA256:
            codec::Sha256Init(state_.sha256);
            break;
        case HashMethod::SHA512:
            codec::Sha512Init(state_.sha512);
            break;
        case HashMethod::CRC32:
        case HashMethod::CRC32_BZIP2_LE:
        case HashMethod::CRC32_BZIP2:
            state_.crc = 0;
            break;
        case HashMethod::BLAKE3:
            codec::Blake3Init(state_.blake3);
            break;
        default:
            codec::Md5Init(state_.md5);
            break;
    }
}

void Hash::HashData(const void* data, size_t length) {
    if (!length) return;
    auto* p = static_cast<const uint8_t*>(data);
    switch (Effective()) {
        case HashMethod::SHA1:
            codec::Sha1Update(state_.sha1, p, length);
            break;
        case HashMethod::SHA256:
            codec::Sha256Update(state_.sha256, p, length);
            break;
        case HashMethod::SHA512:
            codec::Sha512Update(state_.sha512, p, length);
            break;
        case HashMethod::CRC32:
            state_.crc = codec::Crc32(state_.crc, p, length);
            break;
        case HashMethod::CRC32_BZIP2_LE:
        case HashMethod::CRC32_BZIP2:
            state_.crc = codec::Crc32Bzip2(state_.crc, p, length);
            break;
        case HashMethod::BLAKE3:
            codec::Blake3Update(state_.blake3, p, length);
            break;
        default:
            codec::Md5Update(state_.md5, p, length);
            break;
    }
}

void Hash::End(char* text, size_t textSize, uint8_t* digest, size_t digestSize) {
    uint8_t sum[MAX_HASH_SIZE] = {};
    switch (Effective()) {
        case HashMethod::SHA1:
            codec::Sha1Final(state_.sha1, sum);
            break;
        case HashMethod::SHA256:
            codec::Sha256Final(state_.sha256, sum);
            break;
        case HashMethod::SHA512:
            codec::Sha512Final(state_.sha512, sum);
            break;
        case HashMethod::CRC32:
        case HashMethod::CRC32_BZIP2:
            StoreMsbFirst(sum, state_.crc);
            break;
        case HashMethod::CRC32_BZIP2_LE:
            std::memcpy(sum, &state_.crc, 4);
            break;
        case HashMethod::BLAKE3:
            codec::Blake3Final(state_.blake3, sum, 64);
            break;
        default:
            codec::Md5Final(state_.md5, sum);
            break;
    }
    size_t size = static_cast<size_t>(HashSize());
    if (digest) std::memcpy(digest, sum, digestSize < size ? digestSize : size);
    if (text) SumToString(sum, text, textSize, size);
}

void Hash::End(size_t digestSize, uint8_t* digest) {
    End(nullptr, 0, digest, digestSize);
}

void Hash::EndHash(size_t digestSize, uint8_t* digest) {
    End(nullptr, 0, digest, digestSize);
}

int Hash::HashSize() const {
    return SizeOf(Effective());
}

void Hash::SumToString(const uint8_t* digest, char* text, size_t textSize, size_t digestSize) {
    if (!text || textSize == 0) return;
    static const char kHex[] = "0123456789abcdef";
    size_t room = textSize - 1;
    size_t n = 0;
    for (size_t i = 0; i < digestSize && n < room; ++i) {
        text[n++] = kHex[digest[i] >> 4];
        if (n < room) text[n++] = kHex[digest[i] & 15];
    }
    text[n] = 0;
}

}  // namespace kwill
