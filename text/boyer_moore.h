// Literal search with Boyer-Moore's bad-character rule: a pattern compiled once into a handle,
// then searched for in any number of texts, forwards or backwards, with or without case and
// diacritics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kwill::text {

// The kind word that starts every handle; searches refuse a handle of the other kind.
enum BoyerKind : uint64_t {
    kBoyerAnsi = 1,
    kBoyerWide = 2,
};

// Patterns are cut to this many characters so that every shift and index fits in a byte.
inline constexpr size_t kBoyerMaxPattern = 255;

// The bad-character table of one pattern variant: for every code from `base` to the largest code
// of the variant, two bytes: the smallest index >= 1 at which the code occurs (0 when only at 0
// or nowhere), and the distance of its last occurrence from the pattern's end (the length when it
// does not occur). Codes outside the range behave as codes that do not occur.
struct BoyerSkipTable {
    uint32_t base = 0;
    uint32_t span = 0;
    std::vector<uint8_t> entries;  // span pairs: first index, shift
    std::vector<uint8_t> first;    // for backward searches: the smallest index, 0 included
    bool built = false;
};

// Variants: 0 the pattern, 1 upper-cased, 2 folded, 3 folded and upper-cased. Only variant 0
// exists after allocation; a search builds the variant it needs, and its table, on first use.
template <typename Char>
struct BoyerHandle {
    uint64_t kind;
    uint64_t length;  // characters of the given pattern, at most kBoyerMaxPattern
    std::basic_string<Char> variant[4];
    bool variantBuilt[4] = {true, false, false, false};
    BoyerSkipTable table[4];
    uint8_t unicode = 0;  // the wide pattern has a unit above U+00FF
};

using BoyerHandleW = BoyerHandle<wchar_t>;
using BoyerHandleA = BoyerHandle<char>;

// Null for a null or empty pattern. Throws std::bad_alloc when memory is short.
std::unique_ptr<BoyerHandleW> NewBoyerHandle(const wchar_t* pattern);
std::unique_ptr<BoyerHandleA> NewBoyerHandle(const char* pattern);

// The first character of the leftmost (reverse: rightmost) match in text[0, length), or null.
// Ignoring case compares the system's upper case of each character; folding compares the folded
// text (see FoldDiacritics) against the folded pattern and still returns a pointer into `text`:
// the character whose folded form holds the match's first unit. Fills the handle's caches, so
// one handle must not be searched from two threads at once.
const wchar_t* BoyerFind(BoyerHandleW& handle, const wchar_t* text, size_t length, bool ignoreCase,
                         bool fold, bool reverse = false);
const char* BoyerFind(BoyerHandleA& handle, const char* text, size_t length, bool ignoreCase,
                      bool fold, bool reverse = false);

}  // namespace kwill::text
