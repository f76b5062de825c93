// ID lists that callers own: fresh CoTaskMemAlloc blocks, released with CoTaskMemFree. Every
// function here returns null when the allocation fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kwill::shellns {

uint8_t* AllocList(size_t bytes);
void FreeList(void* list);

// A new list of the first `count` items (kAllItems: every item, at most kMaxCopyItems).
uint8_t* CopyItems(const uint8_t* list, uint32_t count);
// A new list holding `bytes` leading bytes of items and a terminator.
uint8_t* CopyLeading(const uint8_t* list, size_t bytes);
// A new list: the items of `first`, then those of `second`. A null list counts as empty.
uint8_t* JoinLists(const uint8_t* first, const uint8_t* second);
// A new list holding exactly these bytes (which must already be a complete list).
uint8_t* CopyBlock(std::span<const uint8_t> block);

}  // namespace kwill::shellns
