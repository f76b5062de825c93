// Base64 with the standard alphabet and '=' padding, plus the library's own options: unpadded
// output, CR LF line breaks after a chosen length, and a tolerant decoder.
//
// The decoder never fails. Between groups it skips CR LF, LF, tab and space; it stops at the end
// of the text, at a NUL, or at a group cut short by '=' (a group of two characters gives one
// byte, of three characters two bytes). Inside a group nothing is skipped, and a character
// outside the alphabet counts as the value 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kwill {

// Characters that Base64Encode writes for count bytes, without a terminator. A lineLength above
// 1 breaks the text with CR LF after every line of lineLength characters (rounded up to a whole
// group), also after the last line when it is full.
size_t Base64EncodedLength(size_t count, bool pad = true, int lineLength = 0);

// Writes the encoding of data to out (Base64EncodedLength characters, no terminator) and returns
// the number of characters written.
size_t Base64Encode(std::span<const uint8_t> data, char* out, bool pad = true, int lineLength = 0);
size_t Base64Encode(std::span<const uint8_t> data, wchar_t* out, bool pad = true,
                    int lineLength = 0);

std::string Base64EncodeToString(std::span<const uint8_t> data, bool pad = true,
                                 int lineLength = 0);
std::wstring Base64EncodeToWString(std::span<const uint8_t> data, bool pad = true,
                                   int lineLength = 0);

// The most bytes that decoding length characters can give.
constexpr size_t Base64DecodedCapacity(size_t length) {
    return length / 4 * 3 + 2;
}

// Decodes text (up to its end or a NUL) into out, which must hold Base64DecodedCapacity(
// text.size()) bytes; returns the number of bytes written.
size_t Base64Decode(std::string_view text, uint8_t* out);
size_t Base64Decode(std::wstring_view text, uint8_t* out);

std::vector<uint8_t> Base64DecodeToVector(std::string_view text);
// Decodes into the caller's vector, growing it first when it is smaller than the text could
// need, and leaves it holding exactly the decoded bytes; returns their number.
size_t Base64DecodeToVector(std::string_view text, std::vector<uint8_t>& bytes);
std::vector<uint8_t> Base64DecodeToVector(std::wstring_view text);

}  // namespace kwill
