// The caller-supplied table of pinyin initial letters for the CJK ideographs U+4E00..U+9FA5.
#pragma once

#include <cstdint>

namespace kwill {

// Entry i describes U+4E00 + i: up to three initials in the 5-bit fields at bits 0, 5 and 10
// (1..26 = 'a'..'z', 0 = none). Ideographs at or past `count` have no letters.
struct PinyinInitialsTable {
    const uint16_t* entries;
    uint32_t count;
};

}  // namespace kwill
