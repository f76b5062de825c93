// The text forms of an ID list, for configuration files, command lines and messages.
//
// Written form: "?" and the Base64 of a 3-byte header (the caller's 16-bit tag, low byte first,
// and a zero) followed by the list's bytes, terminator included. The header is exactly one
// Base64 group, so the list's text starts 5 characters in.
// Hexadecimal form (read only): "[", optionally "+" and 4 hex digits of the tag, most
// significant first, then the list's bytes as digit pairs, then "]" as the last character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kwill::shellns {

// Characters that the written form of a list of `listSize` bytes needs, terminating zero
// included.
size_t TextChars(size_t listSize);

// Writes the "?" form of the list (null: the empty list) and a terminating zero into `out`, which
// holds at least TextChars(ListSize(list)) characters. The list's own end mark is not copied; a
// zero terminator is written in its place.
void WriteListText(const uint8_t* list, uint16_t tag, wchar_t* out);

struct ParsedList {
    std::vector<uint8_t> bytes;  // a complete list: items and terminator, nothing more
    uint16_t tag = 0;
};

// Reads either text form. Nothing when the text is not a well-formed list: another first
// character, characters outside the Base64 alphabet, an odd or short run of hex digits, an item
// with cb 1, items that overrun the hex bytes or leave no room for their terminator.
//
// The Base64 form tolerates a text that was cut short: the items that fit completely (with room
// for a terminator after them) are kept and the list ends before the first that does not.
std::optional<ParsedList> ParseText(const wchar_t* text);

}  // namespace kwill::shellns
