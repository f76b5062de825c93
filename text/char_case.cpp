// The tables are built with one CharUpperBuff call per range instead of one call per character:
// the mapping is per code unit, and a search over megabytes of text cannot afford a call into
// user32 for every character it compares.
#include "text/char_case.h"

#include "frame/platform.h"

#include <memory>

namespace kwill::text {
namespace {

struct WideUpperTable {
    std::unique_ptr<wchar_t[]> map{new wchar_t[0x10000]};

    WideUpperTable() {
        for (uint32_t c = 0; c < 0x10000; ++c) map[c] = static_cast<wchar_t>(c);
        // Surrogates stay themselves; mapping them in one buffer would pair them up.
        ::CharUpperBuffW(map.get(), 0xD800);
        ::CharUpperBuffW(map.get() + 0xE000, 0x10000 - 0xE000);
    }
};

struct ByteUpperTable {
    char map[256];

    ByteUpperTable() {
        for (int c = 0; c < 256; ++c) map[c] = static_cast<char>(c);
        // Byte 0 would end the buffer for some implementations; it maps to itself anyway.
        ::CharUpperBuffA(map + 1, 255);
    }
};

const WideUpperTable& WideTable() {
    static const WideUpperTable table;
    return table;
}

const ByteUpperTable& ByteTable() {
    static const ByteUpperTable table;
    return table;
}

}  // namespace

wchar_t UpperUnit(wchar_t c) {
    return WideTable().map[static_cast<uint16_t>(c)];
}

const wchar_t* UpperUnitTable() {
    return WideTable().map.get();
}

const char* UpperByteTable() {
    return ByteTable().map;
}

char UpperByte(char c) {
    return ByteTable().map[static_cast<uint8_t>(c)];
}

}  // namespace kwill::text
