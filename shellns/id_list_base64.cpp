#include "shellns/id_list_base64.h"

#include <string>

namespace kwill::shellns {
namespace {

bool IsAlphabet(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           c == L'+' || c == L'/';
}

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// The text without the white space between its groups, or nothing when it is not well-formed.
std::optional<std::wstring> Compact(std::wstring_view text) {
    std::wstring compact;
    compact.reserve(text.size());
    size_t i = 0;
    for (;;) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        if (i == text.size()) return compact;
        size_t letters = 0;
        while (letters < 4 && i < text.size() && IsAlphabet(text[i])) {
            compact += text[i++];
            ++letters;
        }
        if (letters == 4) continue;
        // A short group ends the text: 2 or 3 characters, padded to 4 with "=" or not at all.
        if (letters < 2) return std::nullopt;
        size_t fill = 0;
        while (i < text.size() && text[i] == L'=') ++fill, ++i;
        if (fill != 0 && letters + fill != 4) return std::nullopt;
        while (i < text.size() && IsSpace(text[i])) ++i;
        if (i != text.size()) return std::nullopt;
        return compact;
    }
}

// ---- Private Base64 core, to be replaced by codec/base64 once that lands. ----
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

uint8_t Value(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<uint8_t>(c - L'A');
    if (c >= L'a' && c <= L'z') return static_cast<uint8_t>(c - L'a' + 26);
    if (c >= L'0' && c <= L'9') return static_cast<uint8_t>(c - L'0' + 52);
    return c == L'+' ? 62 : 63;
}

std::vector<uint8_t> DecodeCompact(std::wstring_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() * 3 / 4);
    uint32_t bits = 0;
    int count = 0;
    for (wchar_t c : text) {
        bits = (bits << 6) | Value(c);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<uint8_t>(bits >> count));
        }
    }
    return out;
}

}  // namespace

size_t EncodeBase64(std::span<const uint8_t> data, wchar_t* out) {
    size_t n = 0;
    for (size_t i = 0; i < data.size(); i += 3) {
        size_t left = data.size() - i;
        uint32_t group = data[i] << 16;
        if (left > 1) group |= data[i + 1] << 8;
        if (left > 2) group |= data[i + 2];
        out[n++] = kAlphabet[(group >> 18) & 63];
        out[n++] = kAlphabet[(group >> 12) & 63];
        out[n++] = left > 1 ? kAlphabet[(group >> 6) & 63] : L'=';
        out[n++] = left > 2 ? kAlphabet[group & 63] : L'=';
    }
    return n;
}

bool IsWellFormedBase64(std::wstring_view text) {
    return Compact(text).has_value();
}

std::optional<std::vector<uint8_t>> DecodeStrictBase64(std::wstring_view text) {
    std::optional<std::wstring> compact = Compact(text);
    if (!compact) return std::nullopt;
    return DecodeCompact(*compact);
}

}  // namespace kwill::shellns
