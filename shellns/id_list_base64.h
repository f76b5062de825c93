// Base64 as the ID-list text form uses it, on top of the codec's Base64: padded, no line breaks
// when written; when read, only the alphabet, white space between groups and the "=" fill at the
// very end are allowed, so a damaged text is refused instead of being read as zero bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kwill::shellns {

// Writes the padded Base64 text of `data` (no terminator); returns the characters written,
// 4 for every started group of 3 bytes.
size_t EncodeBase64(std::span<const uint8_t> data, wchar_t* out);

// The bytes of a well-formed Base64 text; nothing for any other text. Well-formed: groups of 4
// alphabet characters, optionally separated by spaces, tabs or line ends, the last group possibly
// of 2 or 3 characters with or without its "=" fill, and only white space after it.
std::optional<std::vector<uint8_t>> DecodeStrictBase64(std::wstring_view text);

}  // namespace kwill::shellns
