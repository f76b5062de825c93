#include "frame/text_convert.h"

namespace kwill {

std::wstring WidenText(const char* text, UINT codePage) {
    if (!text || !*text) return {};
    int n = ::MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (n <= 1) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

}  // namespace kwill
