// The zip format's traditional (PKWARE) stream cipher. It is weak and kept only because the
// translation archives and many existing archives use it; a wrong password is caught by the
// check byte of the 12-byte header (one chance in 256 of passing) and then by the CRC-32 of the
// output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kwill::zip {

class TraditionalCipher {
  public:
    explicit TraditionalCipher(std::string_view password);
    void Decrypt(uint8_t* data, size_t length);
    void Encrypt(uint8_t* data, size_t length);

  private:
    uint8_t KeyByte() const {
        uint32_t t = (keys_[2] | 2) & 0xFFFF;
        return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    }
    void Update(uint8_t plain);

    uint32_t keys_[3];
};

}  // namespace kwill::zip
