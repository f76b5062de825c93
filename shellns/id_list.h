// Item ID lists as plain bytes: walking, measuring, cutting in place, comparing and reading the
// class GUID that some items carry. No allocation and no Windows headers here; the copies that
// callers own are made in id_list_memory.h.
//
// A list is a run of items, each starting with cb, a little-endian 16-bit count of the whole
// item (the two size bytes included), and ends with a zero cb. Lists handed to the exports come
// without a size, so the walkers below trust the caller's memory up to the terminator, but they
// never step by less than the size field itself: an item whose cb is 1 ends the walk as a
// terminator would (stepping by 1 would read the next "item" from inside this one, and cb - 2 data
// bytes would be negative). Items of cb 2 or 3 are walked normally; nothing reads data beyond an
// item's own cb. Lists with a known block size are checked with CheckList().
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kwill::shellns {

using Guid = std::array<uint8_t, 16>;  // raw bytes in memory order

inline constexpr size_t kTerminatorSize = 2;
// The item with this many bytes holds a GUID at offset 4 or behind a delegate header.
inline constexpr uint16_t kMinClassItemSize = 20;
// PIDLCopy's "all items" count and the most items it takes.
inline constexpr uint32_t kAllItems = 0xFFFFFFFF;
inline constexpr uint32_t kMaxCopyItems = 999'999;

inline uint16_t ReadCb(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void WriteCb(uint8_t* p, uint16_t cb) {
    p[0] = static_cast<uint8_t>(cb);
    p[1] = static_cast<uint8_t>(cb >> 8);
}

// True at the end of a list: a zero cb, or a cb too small to cover its own size field.
inline bool IsEnd(const uint8_t* item) {
    return ReadCb(item) < kTerminatorSize;
}

// The item after this one, which may be the terminator; null for null or the end itself.
const uint8_t* NextItem(const uint8_t* item);

// Bytes of the list including a 2-byte terminator; 2 for null.
size_t ListSize(const uint8_t* list);
size_t ItemCount(const uint8_t* list);
// The last item; null for a null or empty list.
const uint8_t* LastItem(const uint8_t* list);
// Bytes taken by the first `count` items (fewer when the list is shorter), no terminator.
size_t LeadingBytes(const uint8_t* list, uint32_t count);
// Bytes of all items before the last one (the parent's part), no terminator.
size_t ParentBytes(const uint8_t* list);

// Cuts off the last item by zeroing its cb; returns the old cb and the item (null, 0 when the
// list is null or empty).
uint16_t StripLast(uint8_t* list, uint8_t** last);
// Writes cb over the list's first end mark, undoing StripLast.
void RestoreAtEnd(uint8_t* list, uint16_t cb);
// Cuts the list after its first item; returns the cb that stood there (0 for a one-item list).
uint16_t CutAfterFirst(uint8_t* list);
void RestoreAfterFirst(uint8_t* list, uint16_t cb);

// Bytewise equality over the first `count` items; 0 compares whole lists. Two null lists are
// equal, a null and a non-null are not.
bool ListsEqual(const uint8_t* a, const uint8_t* b, uint32_t count);

// The class GUID of a class item (see the type-byte rule in the .cpp), or nothing.
std::optional<Guid> ItemClassGuid(const uint8_t* item);

// Checks a list that must fill `block` exactly: every cb at least 2, no item past the block, and
// a zero cb in the block's last two bytes. Nothing is read outside the block.
bool IsExactList(std::span<const uint8_t> block);

// The size (terminator included) of the leading part of `block` that forms a complete list,
// without reading outside the block; nothing when an item runs past the block, an item has cb 1,
// or no terminator is found.
std::optional<size_t> CheckList(std::span<const uint8_t> block);

}  // namespace kwill::shellns
