#include "shellns/id_list.h"

#include <algorithm>
#include <cstring>

namespace kwill::shellns {
namespace {

// {5E591A74-DF96-48D3-8D67-1733BCEE28BA} in memory order: the marker that a delegate item puts
// after its inner data, followed by the class GUID of the folder that owns the item.
constexpr Guid kDelegateMarker = {0x74, 0x1A, 0x59, 0x5E, 0x96, 0xDF, 0xD3, 0x48,
                                  0x8D, 0x67, 0x17, 0x33, 0xBC, 0xEE, 0x28, 0xBA};

// Type bytes of items that start with a class GUID (root folders, control panel, delegate
// folders...). Bit 7 is a flag the shell sets on some of them, so it is masked off, except for
// 0xFE, which is only a class item with the bit set.
bool IsClassType(uint8_t type) {
    switch (type & 0x7F) {
        case 0x1F:
        case 0x2E:
        case 0x4D:
        case 0x4E:
        case 0x70:
        case 0x71:
            return true;
        default:
            return type == 0xFE;
    }
}

}  // namespace

const uint8_t* NextItem(const uint8_t* item) {
    if (!item || IsEnd(item)) return nullptr;
    return item + ReadCb(item);
}

size_t ListSize(const uint8_t* list) {
    size_t size = kTerminatorSize;
    if (!list) return size;
    for (;;) {
        uint16_t cb = ReadCb(list);
        if (cb < kTerminatorSize) return size;
        size += cb;
        list += cb;
    }
}

size_t ItemCount(const uint8_t* list) {
    if (!list) return 0;
    size_t count = 0;
    for (const uint8_t* p = list; !IsEnd(p); p += ReadCb(p)) ++count;
    return count;
}

const uint8_t* LastItem(const uint8_t* list) {
    if (!list || IsEnd(list)) return nullptr;
    const uint8_t* last = list;
    for (const uint8_t* p = list; !IsEnd(p); p += ReadCb(p)) last = p;
    return last;
}

size_t LeadingBytes(const uint8_t* list, uint32_t count) {
    if (!list) return 0;
    size_t bytes = 0;
    for (const uint8_t* p = list; count > 0 && !IsEnd(p); p += ReadCb(p), --count) {
        bytes += ReadCb(p);
    }
    return bytes;
}

size_t ParentBytes(const uint8_t* list) {
    const uint8_t* last = LastItem(list);
    return last ? static_cast<size_t>(last - list) : 0;
}

uint16_t StripLast(uint8_t* list, uint8_t** last) {
    uint8_t* item = const_cast<uint8_t*>(LastItem(list));
    if (last) *last = item;
    if (!item) return 0;
    uint16_t cb = ReadCb(item);
    WriteCb(item, 0);
    return cb;
}

void RestoreAtEnd(uint8_t* list, uint16_t cb) {
    if (!list) return;
    uint8_t* p = list;
    while (!IsEnd(p)) p += ReadCb(p);
    WriteCb(p, cb);
}

uint16_t CutAfterFirst(uint8_t* list) {
    if (!list || IsEnd(list)) return 0;
    uint8_t* second = list + ReadCb(list);
    uint16_t cb = ReadCb(second);
    if (cb < kTerminatorSize) return 0;  // one item only: nothing to cut
    WriteCb(second, 0);
    return cb;
}

void RestoreAfterFirst(uint8_t* list, uint16_t cb) {
    if (!list || IsEnd(list) || cb == 0) return;
    WriteCb(list + ReadCb(list), cb);
}

bool ListsEqual(const uint8_t* a, const uint8_t* b, uint32_t count) {
    if (!a || !b) return a == b;
    for (;;) {
        uint16_t cbA = IsEnd(a) ? 0 : ReadCb(a);
        uint16_t cbB = IsEnd(b) ? 0 : ReadCb(b);
        if (cbA != cbB) return false;
        if (cbA == 0) return true;
        if (std::memcmp(a + 2, b + 2, cbA - 2u) != 0) return false;
        // A count of 0 wraps and so never reaches 0 again: the whole lists are compared.
        if (--count == 0) return true;
        a += cbA;
        b += cbB;
    }
}

std::optional<Guid> ItemClassGuid(const uint8_t* item) {
    if (!item || IsEnd(item)) return std::nullopt;
    size_t cb = ReadCb(item);
    // The size test comes first, so a short item's type byte (which may lie past it) is not read.
    if (cb < kMinClassItemSize || !IsClassType(item[2])) return std::nullopt;
    Guid guid;
    size_t delegateSize = ReadCb(item + 4);
    if (cb >= delegateSize + 32 &&
        std::equal(kDelegateMarker.begin(), kDelegateMarker.end(), item + 6 + delegateSize)) {
        // A delegate item: the class GUID follows the marker and must lie inside the item.
        if (cb < delegateSize + 38) return std::nullopt;
        std::memcpy(guid.data(), item + 22 + delegateSize, guid.size());
    } else {
        std::memcpy(guid.data(), item + 4, guid.size());
    }
    return guid;
}

std::optional<size_t> CheckList(std::span<const uint8_t> block) {
    size_t at = 0;
    for (;;) {
        if (block.size() - at < kTerminatorSize) return std::nullopt;
        uint16_t cb = ReadCb(block.data() + at);
        if (cb == 0) return at + kTerminatorSize;
        if (cb < kTerminatorSize || cb > block.size() - at - kTerminatorSize) return std::nullopt;
        at += cb;
    }
}

bool IsExactList(std::span<const uint8_t> block) {
    std::optional<size_t> size = CheckList(block);
    return size && *size == block.size();
}

}  // namespace kwill::shellns
