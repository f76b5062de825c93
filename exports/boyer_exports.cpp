// Boyer-Moore search handles: a literal pattern compiled once, searched for in many texts.
#include "exports/export.h"
#include "text/boyer_moore.h"

#include <cstdint>

using kwill::text::BoyerHandleA;
using kwill::text::BoyerHandleW;

namespace {

// The handle when it is one of the wanted kind: every handle starts with its kind word.
template <typename Handle>
Handle* AsKind(void* handle, uint64_t kind) {
    if (!handle || *static_cast<const uint64_t*>(handle) != kind) return nullptr;
    return static_cast<Handle*>(handle);
}

BoyerHandleW* Wide(void* handle) {
    return AsKind<BoyerHandleW>(handle, kwill::text::kBoyerWide);
}
BoyerHandleA* Ansi(void* handle) {
    return AsKind<BoyerHandleA>(handle, kwill::text::kBoyerAnsi);
}

template <typename Handle, typename Char>
Char* Find(Handle* handle, const Char* text, int length, bool ignoreCase, bool fold, bool reverse) {
    if (!handle || !text || length < 0) return nullptr;
    try {
        return const_cast<Char*>(kwill::text::BoyerFind(*handle, text, static_cast<size_t>(length),
                                                        ignoreCase, fold, reverse));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

// A wide search handle for the pattern (only its first 255 characters count). Null for a null
// or empty pattern or when memory is short. Release it with BoyerFree.
KWILL_EXPORT void* BoyerAllocW(const wchar_t* pattern) {
    try {
        return kwill::text::NewBoyerHandle(pattern).release();
    } catch (...) {
        return nullptr;
    }
}

// An ANSI (code page) search handle; as BoyerAllocW.
KWILL_EXPORT void* BoyerAllocA(const char* pattern) {
    try {
        return kwill::text::NewBoyerHandle(pattern).release();
    } catch (...) {
        return nullptr;
    }
}

// Frees a handle of either kind. A null pointer, or memory that does not start with a known
// kind word, is left alone.
KWILL_EXPORT void BoyerFree(void* handle) {
    if (BoyerHandleW* wide = Wide(handle)) {
        delete wide;
    } else if (BoyerHandleA* ansi = Ansi(handle)) {
        delete ansi;
    }
}

// The first character of the leftmost match in text[0, length), or null. The text needs no
// terminator. ignoreCase compares upper case (CharUpperW); fold compares with diacritics
// folded, and still points into the given text. Null for a null or ANSI handle, a null text or
// a negative length.
KWILL_EXPORT wchar_t* BoyerFindW(void* handle, const wchar_t* text, int length, BYTE ignoreCase,
                                 BYTE fold) {
    return Find(Wide(handle), text, length, ignoreCase != 0, fold != 0, false);
}

// The ANSI counterpart of BoyerFindW: bytes in the ANSI code page, upper-cased with CharUpperA.
KWILL_EXPORT char* BoyerFindA(void* handle, const char* text, int length, BYTE ignoreCase,
                              BYTE fold) {
    return Find(Ansi(handle), text, length, ignoreCase != 0, fold != 0, false);
}

// BoyerFindW ignoring case, without folding.
KWILL_EXPORT wchar_t* BoyerFindNoCaseW(void* handle, const wchar_t* text, int length) {
    return Find(Wide(handle), text, length, true, false, false);
}

// BoyerFindA ignoring case, without folding.
KWILL_EXPORT char* BoyerFindNoCaseA(void* handle, const char* text, int length) {
    return Find(Ansi(handle), text, length, true, false, false);
}

// The first character of the rightmost match, or null; arguments as BoyerFindW.
KWILL_EXPORT wchar_t* BoyerRFindW(void* handle, const wchar_t* text, int length, BYTE ignoreCase,
                                  BYTE fold) {
    return Find(Wide(handle), text, length, ignoreCase != 0, fold != 0, true);
}

// 1 when the wide handle's pattern holds a character above U+00FF; 0 for an ANSI handle or null.
KWILL_EXPORT BYTE BoyerIsPatternUnicode(void* handle) {
    BoyerHandleW* wide = Wide(handle);
    return wide ? wide->unicode : 0;
}
