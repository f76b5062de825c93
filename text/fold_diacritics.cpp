#include "text/fold_diacritics.h"

#include <atomic>
#include <memory>
#include <vector>

namespace kwill::text {
namespace {

int SystemNormalize(const wchar_t* src, int srcLength, wchar_t* dst, int dstLength, DWORD* error) {
    int written = ::NormalizeString(NormalizationKD, src, srcLength, dst, dstLength);
    *error = written > 0 ? ERROR_SUCCESS : ::GetLastError();
    return written;
}

bool SystemClassify(const wchar_t* src, int length, WORD* types) {
    return ::GetStringTypeW(CT_CTYPE3, src, length, types) != FALSE;
}

std::wstring SystemAnsiToWide(std::string_view text, bool* ok) {
    std::wstring wide;
    *ok = true;
    if (text.empty()) return wide;
    int n =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) {
        *ok = false;
        return wide;
    }
    wide.resize(n);
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string SystemWideToAnsi(std::wstring_view text, bool* ok) {
    std::string bytes;
    *ok = true;
    if (text.empty()) return bytes;
    int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, nullptr);
    if (n <= 0) {
        *ok = false;
        return bytes;
    }
    bytes.resize(n);
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                          nullptr, nullptr);
    return bytes;
}

bool SystemClassifyAnsi(const char* src, int length, WORD* types) {
    return ::GetStringTypeA(LOCALE_USER_DEFAULT, CT_CTYPE3, src, length, types) != FALSE;
}

constexpr FoldSystem kSystemFold = {SystemNormalize, SystemClassify, SystemAnsiToWide,
                                    SystemWideToAnsi, SystemClassifyAnsi};

bool IsAscii(std::wstring_view text) {
    for (wchar_t c : text)
        if (c >= 0x80) return false;
    return true;
}

// NormalizationKD of the text. A unit the system refuses (it reports where) is taken out and
// the rest normalised again, at most length - 1 times; false when that does not succeed.
bool NormalizeKD(std::wstring_view text, const FoldSystem& system, std::wstring& out) {
    std::wstring input(text);
    size_t triesLeft = text.empty() ? 0 : text.size() - 1;
    size_t capacity = text.size() * 4;
    for (int grown = 0;;) {
        out.resize(capacity);
        DWORD error = ERROR_SUCCESS;
        int written = system.normalize(input.data(), static_cast<int>(input.size()), out.data(),
                                       static_cast<int>(capacity), &error);
        if (written > 0) {
            out.resize(written);
            return true;
        }
        if (error == ERROR_INSUFFICIENT_BUFFER && grown < 3) {
            // Four units per unit is not always enough (one Arabic ligature gives 18): ask the
            // system for its estimate, or double, rather than give the text up unfolded.
            DWORD ignored = ERROR_SUCCESS;
            int estimate = system.normalize(input.data(), static_cast<int>(input.size()), nullptr,
                                            0, &ignored);
            size_t wanted = estimate > 0 ? static_cast<size_t>(estimate) : 0;
            capacity = wanted > capacity ? wanted : capacity * 2;
            ++grown;
            continue;
        }
        size_t position = static_cast<size_t>(-static_cast<int64_t>(written));
        if (error != ERROR_NO_UNICODE_TRANSLATION || triesLeft == 0 || position >= input.size()) {
            return false;
        }
        input.erase(position, 1);
        --triesLeft;
        if (input.empty()) {
            out.clear();
            return true;
        }
        capacity = input.size() * 4;
    }
}

bool NonSpacingMark(WORD type) {
    return (type & C3_NONSPACING) && !(type & C3_ALPHA);
}

// The folded forms of 256 consecutive code units, built together the first time one of them is
// asked for and then kept for the process.
struct FoldPage {
    uint32_t start[257];
    std::wstring units;
};

std::atomic<const FoldPage*> g_foldPages[256];

const FoldPage* BuildFoldPage(unsigned page) {
    auto built = std::make_unique<FoldPage>();
    for (unsigned i = 0; i < 256; ++i) {
        built->start[i] = static_cast<uint32_t>(built->units.size());
        wchar_t c = static_cast<wchar_t>(page * 256 + i);
        built->units += FoldDiacritics(std::wstring_view(&c, 1));
    }
    built->start[256] = static_cast<uint32_t>(built->units.size());
    const FoldPage* expected = nullptr;
    if (g_foldPages[page].compare_exchange_strong(expected, built.get())) return built.release();
    return expected;  // another thread was first; use its page
}

}  // namespace

const FoldSystem& SystemFold() {
    return kSystemFold;
}

std::wstring FoldDiacritics(std::wstring_view text, const FoldSystem& system) {
    // Nothing below U+0080 decomposes or is a mark.
    if (IsAscii(text)) return std::wstring(text);
    std::wstring normal;
    if (!NormalizeKD(text, system, normal)) normal = std::wstring(text);
    if (normal.empty()) return normal;
    std::vector<WORD> types(normal.size());
    if (!system.classify(normal.data(), static_cast<int>(normal.size()), types.data()))
        return std::wstring(text);
    std::wstring folded;
    folded.reserve(normal.size());
    for (size_t i = 0; i < normal.size(); ++i) {
        wchar_t c = normal[i];
        switch (c) {
            case 0x00D8:
                c = L'O';
                break;
            case 0x00F8:
                c = L'o';
                break;
            case 0x0141:
                c = L'L';
                break;
            case 0x0142:
                c = L'l';
                break;
            default:
                if (NonSpacingMark(types[i])) continue;
        }
        folded += c;
    }
    return folded;
}

std::wstring_view FoldUnit(wchar_t c) {
    struct AsciiUnits {
        wchar_t unit[128];
        AsciiUnits() {
            for (int i = 0; i < 128; ++i) unit[i] = static_cast<wchar_t>(i);
        }
    };
    static const AsciiUnits ascii;
    if (c < 0x80) return std::wstring_view(ascii.unit + c, 1);
    unsigned page = static_cast<uint16_t>(c) >> 8;
    const FoldPage* folds = g_foldPages[page].load(std::memory_order_acquire);
    if (!folds) folds = BuildFoldPage(page);
    unsigned i = static_cast<uint16_t>(c) & 0xFF;
    return std::wstring_view(folds->units.data() + folds->start[i],
                             folds->start[i + 1] - folds->start[i]);
}

std::string FoldDiacriticsAnsi(std::string_view text, const FoldSystem& system) {
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (ascii) return std::string(text);
    bool ok = false;
    std::wstring wide = system.ansiToWide(text, &ok);
    if (!ok) return std::string(text);
    std::wstring normal;
    if (!NormalizeKD(wide, system, normal)) normal = wide;
    std::string narrow = system.wideToAnsi(normal, &ok);
    if (!ok) return std::string(text);
    if (narrow.empty()) return narrow;
    std::vector<WORD> types(narrow.size());
    if (!system.classifyAnsi(narrow.data(), static_cast<int>(narrow.size()), types.data()))
        return std::string(text);
    std::string folded;
    folded.reserve(narrow.size());
    for (size_t i = 0; i < narrow.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(narrow[i]);
        if (c == 0xD8) {
            folded += 'O';
        } else if (c == 0xF8) {
            folded += 'o';
        } else if (!NonSpacingMark(types[i])) {
            folded += static_cast<char>(c);
        }
    }
    return folded;
}

std::string_view FoldByte(char c) {
    struct ByteFolds {
        std::string folded[256];
        ByteFolds() {
            for (int b = 0; b < 256; ++b) {
                char one = static_cast<char>(b);
                folded[b] = FoldDiacriticsAnsi(std::string_view(&one, 1));
            }
        }
    };
    static const ByteFolds table;
    return table.folded[static_cast<unsigned char>(c)];
}

}  // namespace kwill::text
