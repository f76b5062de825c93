// Runs a compiled wildcard program against a text. The program is the wide string that the
// wildcard compiler writes (see wildcard.h for its units); the matcher needs, besides it, the
// links between each operator and its partner, built once per program.
#pragma once

#include "frame/pinyin_table.h"
#include "strings/compare.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace kwill::text {

// Units of the compiled program. Every other unit is a literal.
enum PatternOp : wchar_t {
    kOpAnySequence = 0x80,   // *
    kOpAnyChar = 0x81,       // ?
    kOpGroupOpen = 0x82,     // (
    kOpAlternative = 0x83,   // |
    kOpGroupClose = 0x84,    // )
    kOpNotOpen = 0x85,       // ~ before an item
    kOpNotClose = 0x86,      // end of the negated item
    kOpNotClassOpen = 0x87,  // [~
    kOpClass = 0x88,         // [ and ] (closes both kinds of class)
    kOpRepeatOpen = 0x89,    // # before an item
    kOpRepeatClose = 0x8A,   // end of the repeated item
    kOpWordStart = 0x8B,
    kOpWordEnd = 0x8C,
    kOpEscape = 0x8D,  // the next unit is a literal
};

inline bool IsOperatorUnit(wchar_t c) {
    return c >= kOpAnySequence && c <= kOpEscape;
}

// Maps one text character the way the pattern's literals were mapped when it was compiled.
using PatternTransform = wchar_t (*)(wchar_t);
// Whether a program literal accepts a (transformed) text character.
using PatternCompare = bool (*)(wchar_t literal, wchar_t textChar,
                                const PinyinInitialsTable* table);

// For each operator the position of its partner: the matching close of a group, negation,
// class or repetition, the next alternative (or the group close) of a group open or an
// alternative, and the open of a repetition close.
struct ProgramLinks {
    std::vector<uint32_t> close;
    std::vector<uint32_t> next;
    bool simple = false;   // only literals, * and ?: matched without backtracking state
    size_t firstStar = 0;  // in a simple program: the first and last *, or npos without one
    size_t lastStar = 0;
};

// False when the program's operators do not nest (which the compiler never writes).
bool BuildProgramLinks(std::wstring_view program, ProgramLinks& links);

// Which transform `transform` is, so that the common patterns can be matched with it inlined.
enum class TransformKind : uint8_t { Identity, Upper, Path, PathUpper, Other };

// The transform of one text unit inlined: `upper` is UpperUnitTable() for the upper-casing
// kinds. Not for TransformKind::Other.
template <TransformKind kKind>
inline wchar_t TransformUnit(wchar_t c, const wchar_t* upper) {
    if constexpr (kKind == TransformKind::Path || kKind == TransformKind::PathUpper) {
        if (c == L'/') return L'\\';
    }
    if constexpr (kKind == TransformKind::Upper || kKind == TransformKind::PathUpper) {
        return c < 0x80 ? FoldUpperAscii(c) : upper[c];
    }
    return c;
}

struct MatchContext {
    PatternTransform transform;
    PatternCompare compare;
    const PinyinInitialsTable* pinyin;
    TransformKind kind = TransformKind::Other;
    bool plainCompare = false;  // compare is plain equality
    // Negated items met from a few starts are searched from each; false works every negated
    // item out for all starts at once (the answers are the same; tests use it).
    bool searchNegationsPerStart = true;
};

// Whether the program matches the whole text. Work is bounded: every (program position, text
// position) state is explored at most once, and the searches of negated items from single
// starts are capped by the same amount before each item is worked out once for all its starts,
// so any pattern costs at most a few times program length x text length steps. No
// recursion: stack use does not grow with the text or the pattern. Throws std::bad_alloc when
// memory is short, and when the negated items would need more than 512 MB (thousands of them on
// a name of millions of characters).
bool RunPattern(std::wstring_view program, const ProgramLinks& links, std::wstring_view text,
                const MatchContext& context);

}  // namespace kwill::text
