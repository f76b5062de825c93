#include "shellns/id_list_memory.h"

#include "frame/platform.h"
#include "shellns/id_list.h"

#include <objbase.h>

#include <cstring>

namespace kwill::shellns {

uint8_t* AllocList(size_t bytes) {
    return static_cast<uint8_t*>(::CoTaskMemAlloc(bytes));
}

void FreeList(void* list) {
    ::CoTaskMemFree(list);
}

uint8_t* CopyLeading(const uint8_t* list, size_t bytes) {
    uint8_t* copy = AllocList(bytes + kTerminatorSize);
    if (!copy) return nullptr;
    if (bytes) std::memcpy(copy, list, bytes);
    WriteCb(copy + bytes, 0);
    return copy;
}

uint8_t* CopyItems(const uint8_t* list, uint32_t count) {
    if (!list) return nullptr;
    uint32_t limit = count == kAllItems ? kMaxCopyItems : count;
    return CopyLeading(list, LeadingBytes(list, limit));
}

uint8_t* JoinLists(const uint8_t* first, const uint8_t* second) {
    size_t firstBytes = ListSize(first) - kTerminatorSize;
    size_t secondBytes = ListSize(second) - kTerminatorSize;
    uint8_t* joined = AllocList(firstBytes + secondBytes + kTerminatorSize);
    if (!joined) return nullptr;
    if (firstBytes) std::memcpy(joined, first, firstBytes);
    if (secondBytes) std::memcpy(joined + firstBytes, second, secondBytes);
    WriteCb(joined + firstBytes + secondBytes, 0);
    return joined;
}

uint8_t* CopyBlock(std::span<const uint8_t> block) {
    uint8_t* copy = AllocList(block.size());
    if (copy && !block.empty()) std::memcpy(copy, block.data(), block.size());
    return copy;
}

}  // namespace kwill::shellns
