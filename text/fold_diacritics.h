// Folding of diacritics: compatibility decomposition, then removal of the non-spacing marks, so
// that "café", "cafe" + U+0301 and "cafe" compare alike. Used by the wildcard patterns and by
// the Boyer-Moore search.
#pragma once

#include "frame/platform.h"

#include <string>
#include <string_view>

namespace kwill::text {

// The system calls that folding makes, gathered so that tests can replace them.
struct FoldSystem {
    // NormalizeString to NormalizationKD, with its result convention: the number of units
    // written, or <= 0 on failure with the error in *error; for ERROR_NO_UNICODE_TRANSLATION the
    // negated result is the index of the offending unit. A null dst asks for a size estimate.
    int (*normalize)(const wchar_t* src, int srcLength, wchar_t* dst, int dstLength, DWORD* error);
    // GetStringTypeW(CT_CTYPE3); false on failure.
    bool (*classify)(const wchar_t* src, int length, WORD* types);
    // MultiByteToWideChar / WideCharToMultiByte in the ANSI code page, and
    // GetStringTypeA(LOCALE_USER_DEFAULT, CT_CTYPE3): for the byte-string folding.
    std::wstring (*ansiToWide)(std::string_view text, bool* ok);
    std::string (*wideToAnsi)(std::wstring_view text, bool* ok);
    bool (*classifyAnsi)(const char* src, int length, WORD* types);
};

const FoldSystem& SystemFold();

// The folded copy of a text: NFKD, then every non-spacing mark that is not also alphabetic is
// dropped, and Ø ø Ł ł (which have no decomposition) become O o L l. Units that the system
// cannot normalise (lone surrogates) are left out of the normalisation and the rest is tried
// again; if normalisation or classification still fails, the text comes back unchanged.
std::wstring FoldDiacritics(std::wstring_view text, const FoldSystem& system = SystemFold());

// The folded form of one code unit (FoldDiacritics of the one-unit string): empty when folding
// removes it, several units for a compatibility character such as a ligature. Cached for the
// process, so that searches can fold megabytes of text unit by unit.
std::wstring_view FoldUnit(wchar_t c);

// The byte-string counterpart in the ANSI code page: widen, normalise as above, narrow again,
// then drop the non-spacing bytes and turn 0xD8 and 0xF8 into O and o.
std::string FoldDiacriticsAnsi(std::string_view text, const FoldSystem& system = SystemFold());

// FoldDiacriticsAnsi of a one-byte string, cached for the process.
std::string_view FoldByte(char c);

}  // namespace kwill::text
