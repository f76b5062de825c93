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

// Checks the text's syntax; the codec's decoder is tolerant (anything outside the alphabet reads
// as 0), but an ID list read from a damaged text must be refused instead. `spaced` tells whether
// white space separates groups.
bool IsWellFormed(std::wstring_view text, bool& spaced) {
    spaced = false;
    size_t i = 0;
    for (;;) {
        size_t start = i;
        while (i < text.size() && IsSpace(text[i])) ++i;
        if (i != start && i != text.size()) spaced = true;
        if (i == text.size()) return true;
        size_t letters = 0;
        while (letters < 4 && i < text.size() && IsAlphabet(text[i])) ++letters, ++i;
        if (letters == 4) continue;
        // A short group ends the text: 2 or 3 characters, padded to 4 with "=" or not at all.
        if (letters < 2) return false;
        size_t fill = 0;
        while (i < text.size() && text[i] == L'=') ++fill, ++i;
        if (fill != 0 && letters + fill != 4) return false;
        while (i < text.size() && IsSpace(text[i])) ++i;
        return i == text.size();
    }
}

}  // namespace

size_t EncodeBase64(std::span<const uint8_t> data, wchar_t* out) {
    return Base64Encode(data, out);
}

std::optional<std::vector<uint8_t>> DecodeStrictBase64(std::wstring_view text) {
    bool spaced = false;
    if (!IsWellFormed(text, spaced)) return std::nullopt;
    if (!spaced) return Base64DecodeToVector(text);
    // The codec skips white space between groups too, but only some kinds (not a lone CR);
    // taking it all out first keeps the two in step.
    std::wstring compact;
    for (wchar_t c : text) {
        if (!IsSpace(c)) compact += c;
    }
    return Base64DecodeToVector(std::wstring_view(compact));
}

}  // namespace kwill::shellns
