// A match plan: what a compiled wildcard program says about the names it can match, worked out
// once per pattern so that matching a name does the least work. Most patterns are sequences of
// one-character items (literals, ?, classes) and *, or a few such sequences joined by a group
// of alternatives; those are matched by the plan alone, the fixed pieces at the ends first,
// without measuring the name when the pattern has a fixed length. Every other pattern still
// gets its one-character items at the start and the end checked before the general search.
#pragma once

#include "text/wildcard_matcher.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kwill::text {

struct PlanItem {
    enum Kind : uint8_t { Literal, AnyChar, Class, NotClass, AnySequence };
    Kind kind;
    uint16_t set;  // Class, NotClass: index into MatchPlan::sets
    wchar_t unit;  // Literal: the (transformed) unit
    // Literal below U+0080: the (at most two) text units below U+0080 that it accepts, for the
    // search of a piece's first literal; a unit above U+007F is always looked at one by one.
    wchar_t raw[2] = {0, 0};
};

// A class's members as ranges of transformed units, with the answers below U+0080 as bits.
struct PlanSet {
    uint64_t ascii[2] = {0, 0};
    std::vector<std::pair<wchar_t, wchar_t>> ranges;
    bool Holds(wchar_t x) const {
        if (x < 0x80) return (ascii[x >> 6] >> (x & 63)) & 1;
        for (const auto& r : ranges)
            if (x >= r.first && x <= r.second) return true;
        return false;
    }
};

// One sequence of items: `head` items before the first *, `tail` after the last one.
struct PlanSequence {
    std::vector<PlanItem> items;
    uint32_t head = 0;
    uint32_t tail = 0;
    uint32_t fixed = 0;  // items that take one character: the shortest name it matches
    bool star = false;
    bool open = false;  // ends in *: searched up to the terminator without measuring first
};

struct MatchPlan {
    enum class Mode : uint8_t {
        None,       // matched by the general search alone
        Sequences,  // matches when one of the sequences matches
        Ends,       // sequences[0] holds the head and tail items, checked before the search
        Text,       // no wildcards, printable ASCII, ignoring case under the default English sort
    };
    Mode mode = Mode::None;
    TransformKind kind = TransformKind::Other;  // the transform the program was written with
    const wchar_t* upper = nullptr;             // UpperUnitTable() for the upper-casing kinds
    // The text's first unit when below U+0080 (0 for the empty text) can start a match only
    // where its bit is set: most names are turned away by this one test.
    uint64_t first[2] = {~uint64_t{0}, ~uint64_t{0}};

    bool MayStartWith(wchar_t c) const { return c >= 0x80 || ((first[c >> 6] >> (c & 63)) & 1); }
    std::vector<PlanSequence> sequences;
    std::vector<PlanSet> sets;
};

// The plan for a program with its links and the transform its literals were written with (an
// empty plan for the programs it does not help, and for TransformKind::Other).
MatchPlan BuildMatchPlan(std::wstring_view program, const ProgramLinks& links, TransformKind kind);

// Mode::Sequences: whether the whole of a terminated text matches. Valid only with the plain
// comparison.
bool RunPlan(const MatchPlan& plan, const wchar_t* text);

// Mode::Ends: false when the text cannot match; otherwise true with its length measured, for
// the general search to decide.
bool PlanEndsFit(const MatchPlan& plan, const wchar_t* text, size_t& length);

}  // namespace kwill::text
