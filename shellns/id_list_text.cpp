#include "shellns/id_list_text.h"

#include "shellns/id_list.h"
#include "shellns/id_list_base64.h"

#include <cstring>
#include <cwchar>
#include <string_view>

namespace kwill::shellns {
namespace {

constexpr size_t kHeaderSize = 3;

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Keeps the items of the list that starts at `offset` of `bytes` that fit with room for a
// terminator after them, and ends the list before the first that does not, so that a text cut
// short still gives its complete items. An item with cb 1 is damage, not truncation, and rejects
// the text. On success `bytes` holds the list alone.
bool KeepCompleteItems(std::vector<uint8_t>& bytes, size_t offset) {
    std::span<const uint8_t> list = std::span<const uint8_t>(bytes).subspan(offset);
    size_t at = 0;
    while (list.size() - at >= kTerminatorSize) {
        uint16_t cb = ReadCb(list.data() + at);
        if (cb == 0) break;
        if (cb < kTerminatorSize) return false;
        if (cb > list.size() - at - kTerminatorSize) break;
        at += cb;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(offset));
    bytes.resize(at + kTerminatorSize);
    WriteCb(bytes.data() + at, 0);
    return true;
}

std::optional<ParsedList> ParseBase64Form(std::wstring_view text) {
    std::optional<std::vector<uint8_t>> decoded = DecodeStrictBase64(text);
    if (!decoded || decoded->size() < kHeaderSize + kTerminatorSize) return std::nullopt;
    ParsedList parsed;
    parsed.tag = static_cast<uint16_t>((*decoded)[0] | ((*decoded)[1] << 8));  // byte 2 unused
    if (!KeepCompleteItems(*decoded, kHeaderSize)) return std::nullopt;
    parsed.bytes = std::move(*decoded);
    return parsed;
}

std::optional<ParsedList> ParseHexForm(std::wstring_view text) {
    ParsedList parsed;
    size_t at = 0;
    if (at < text.size() && text[at] == L'+') {
        if (text.size() < 5) return std::nullopt;
        unsigned tag = 0;
        for (size_t i = 1; i <= 4; ++i) {
            int v = HexValue(text[i]);
            if (v < 0) return std::nullopt;
            tag = tag * 16 + static_cast<unsigned>(v);
        }
        parsed.tag = static_cast<uint16_t>(tag);
        at = 5;
    }
    std::wstring_view digits = text.substr(at);
    // Pairs of digits and a closing bracket as the very last character, at least two bytes.
    if (digits.size() < 5 || digits.back() != L']' || (digits.size() - 1) % 2 != 0) {
        return std::nullopt;
    }
    size_t count = (digits.size() - 1) / 2;
    parsed.bytes.resize(count);
    for (size_t i = 0; i < count; ++i) {
        int high = HexValue(digits[2 * i]);
        int low = HexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        parsed.bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    // Unlike the written form, which may have been cut short, these bytes are taken as they
    // are: the items and terminator must fill them exactly.
    if (!IsExactList(parsed.bytes)) return std::nullopt;
    return parsed;
}

}  // namespace

size_t TextChars(size_t listSize) {
    // "?", the header's group, the list's groups and the terminating zero.
    return 1 + 4 + 4 * ((listSize + 2) / 3) + 1;
}

void WriteListText(const uint8_t* list, uint16_t tag, wchar_t* out) {
    const uint8_t header[kHeaderSize] = {static_cast<uint8_t>(tag), static_cast<uint8_t>(tag >> 8),
                                         0};
    size_t items = ListSize(list) - kTerminatorSize;
    // Whole groups straight from the caller's list; the last partial group and the terminator
    // (always a true zero, whatever end mark the list had) from a small buffer.
    size_t direct = items / 3 * 3;
    uint8_t tail[4] = {0, 0, 0, 0};
    for (size_t i = direct; i < items; ++i) tail[i - direct] = list[i];
    *out++ = L'?';
    out += EncodeBase64(header, out);
    if (direct) out += EncodeBase64({list, direct}, out);
    out += EncodeBase64({tail, items - direct + kTerminatorSize}, out);
    *out = L'\0';
}

std::optional<ParsedList> ParseText(const wchar_t* text) {
    if (!text || !text[0]) return std::nullopt;
    std::wstring_view rest(text + 1);
    if (text[0] == L'?') return ParseBase64Form(rest);
    if (text[0] == L'[') return ParseHexForm(rest);
    return std::nullopt;
}

}  // namespace kwill::shellns
