#include "zip/traditional_cipher.h"

#include <array>

namespace kwill::zip {
namespace {

// One byte of the reflected CRC-32 at a time, the cipher's key schedule step.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

inline uint32_t CrcStep(uint32_t crc, uint8_t b) {
    return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace

TraditionalCipher::TraditionalCipher(std::string_view password)
    : keys_{0x12345678u, 0x23456789u, 0x34567890u} {
    for (char c : password) Update(static_cast<uint8_t>(c));
}

void TraditionalCipher::Update(uint8_t plain) {
    keys_[0] = CrcStep(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = CrcStep(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

void TraditionalCipher::Decrypt(uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        uint8_t plain = data[i] ^ KeyByte();
        Update(plain);
        data[i] = plain;
    }
}

void TraditionalCipher::Encrypt(uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        uint8_t plain = data[i];
        data[i] = plain ^ KeyByte();
        Update(plain);
    }
}

}  // namespace kwill::zip
