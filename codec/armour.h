// Armoured text blocks: Base64 data between a BEGIN and an END line naming a label, each data
// line marked 'D', followed by a 'c' line with the Base64 of the data's MD5 digest.
//
//   -----BEGIN label-----
//   D<60 characters for each 45 bytes, fewer on the last line>
//   c<24 characters: the MD5 digest>
//   -----END label-----
//
// Every line ends in CR LF. Empty data has no data lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kwill {

std::string ArmourEncode(std::span<const uint8_t> data, std::string_view label);

// Finds the first BEGIN line whose label starts with `label` (any label when it is empty) and
// reads the block after it; true with the data when the block is complete and its digest
// matches. Lines may be indented with spaces or tabs; other lines between are passed over.
bool ArmourDecode(std::string_view text, std::string_view label, std::vector<uint8_t>& data);

}  // namespace kwill
