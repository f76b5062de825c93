// Scans over 16-bit text eight units at a time with SSE2, which every x86-64 processor has: the
// length of a null-terminated text, and the positions where units fall in a few ranges.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace kwill {

// Length of a null-terminated text. Reads whole aligned 16-byte blocks, which never cross a
// page boundary, so it may look at units after the terminator within the terminator's block.
inline size_t UnitLength(const wchar_t* s) {
    uintptr_t address = reinterpret_cast<uintptr_t>(s);
    if (address & 1) {
        size_t n = 0;
        while (s[n]) ++n;
        return n;
    }
    const __m128i zero = _mm_setzero_si128();
    const wchar_t* block = reinterpret_cast<const wchar_t*>(address & ~uintptr_t{15});
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
    mask &= 0xFFFFu << (address & 15);  // the bytes before s
    while (!mask) {
        block += 8;
        mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
    }
    return static_cast<size_t>(block - s) + static_cast<size_t>(__builtin_ctz(mask)) / 2;
}

// Index of the first unit u among the n units from s, n when there is none. Reads whole aligned
// 16-byte blocks like UnitLength, each holding a unit of the text, so never onto another page.
inline size_t FindUnit(const wchar_t* s, size_t n, wchar_t u) {
    uintptr_t address = reinterpret_cast<uintptr_t>(s);
    if (n == 0 || (address & 1)) {
        size_t i = 0;
        while (i < n && s[i] != u) ++i;
        return i;
    }
    const __m128i want = _mm_set1_epi16(static_cast<short>(u));
    const wchar_t* end = s + n;
    const wchar_t* block = reinterpret_cast<const wchar_t*>(address & ~uintptr_t{15});
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), want)));
    mask &= 0xFFFFu << (address & 15);  // the bytes before s
    while (!mask) {
        block += 8;
        if (block >= end) return n;
        mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), want)));
    }
    size_t i = static_cast<size_t>(block - s) + static_cast<size_t>(__builtin_ctz(mask)) / 2;
    return i < n ? i : n;
}

// Up to four ranges of units below 0x80, and whether units from 0x80 up pass too (for a closer
// look by the caller).
struct UnitRanges {
    static constexpr int kMax = 4;
    __m128i low[kMax];
    __m128i span[kMax];  // last - low
    int count = -1;      // -1: the units do not fit in kMax ranges
    bool high = true;

    bool usable() const { return count > 0; }

    // The ranges of the set bits of a map of the units below 0x80.
    static UnitRanges FromMap(const uint64_t map[2], bool high) {
        UnitRanges r;
        r.count = 0;
        r.high = high;
        for (uint32_t c = 0; c < 0x80;) {
            if (!((map[c >> 6] >> (c & 63)) & 1)) {
                ++c;
                continue;
            }
            uint32_t from = c;
            while (c < 0x80 && ((map[c >> 6] >> (c & 63)) & 1)) ++c;
            if (r.count == kMax) return UnitRanges();
            r.low[r.count] = _mm_set1_epi16(static_cast<short>(from));
            r.span[r.count++] = _mm_set1_epi16(static_cast<short>(c - 1 - from));
        }
        return r;
    }

    // Lanes of v (all bits set) that fall in a range, or are 0x80 or above when high is set.
    __m128i Test(__m128i v) const {
        const __m128i zero = _mm_setzero_si128();
        __m128i hit = zero;
        if (high) {
            __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x80)), zero);
            hit = _mm_andnot_si128(ascii, _mm_cmpeq_epi16(zero, zero));
        }
        for (int i = 0; i < count; ++i) {
            __m128i over = _mm_subs_epu16(_mm_sub_epi16(v, low[i]), span[i]);
            hit = _mm_or_si128(hit, _mm_cmpeq_epi16(over, zero));
        }
        return hit;
    }
};

// One bit per position of the 16 units from the 16-byte aligned w (bit 0 for w[0]) where the
// ranges pass; a block that starts at or past end is not read and gives 0. Every block read
// holds a unit before end, so it lies on a page the text is on.
inline uint32_t Hits16(const UnitRanges& r, const wchar_t* w, const wchar_t* end) {
    if (w >= end) return 0;
    __m128i m = r.Test(_mm_load_si128(reinterpret_cast<const __m128i*>(w)));
    if (w + 8 < end)
        m = _mm_packs_epi16(m, r.Test(_mm_load_si128(reinterpret_cast<const __m128i*>(w + 8))));
    else
        m = _mm_packs_epi16(m, _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_movemask_epi8(m));
}

// Hits16 for ranges of one range and no unit from 0x80 up, given as its low and span vectors.
inline uint32_t Hits16One(__m128i low, __m128i span, const wchar_t* w, const wchar_t* end) {
    if (w >= end) return 0;
    const __m128i zero = _mm_setzero_si128();
    auto in = [&](const wchar_t* p) {
        __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
        return _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, low), span), zero);
    };
    __m128i m = _mm_packs_epi16(in(w), w + 8 < end ? in(w + 8) : zero);
    return static_cast<uint32_t>(_mm_movemask_epi8(m));
}

// Lane bits of a 16-lane byte mask that _mm_movemask_epi8 gives for 16-bit lanes: two per lane.
inline unsigned NextLane(unsigned& bits) {
    unsigned lane = static_cast<unsigned>(__builtin_ctz(bits)) / 2;
    bits &= ~(3u << (2 * lane));
    return lane;
}

}  // namespace kwill
