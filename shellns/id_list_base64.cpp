#include "shellns/id_list_base64.h"

#include "codec/base64.h"

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

// The text's alphabet characters without the white space between groups or the "=" fill, or
// nothing when the text is not well-formed. The codec's decoder is tolerant (anything outside
// the alphabet reads as 0); an ID list read from a damaged text must be refused instead.
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

}  // namespace

size_t EncodeBase64(std::span<const uint8_t> data, wchar_t* out) {
    return Base64Encode(data, out);
}

std::optional<std::vector<uint8_t>> DecodeStrictBase64(std::wstring_view text) {
    std::optional<std::wstring> compact = Compact(text);
    if (!compact) return std::nullopt;
    return Base64DecodeToVector(std::wstring_view(*compact));
}

}  // namespace kwill::shellns
