// Requests that carry a block of data to a window and bring the window's answer back in the same
// block, within one process or between two.
//
// The sender describes its block with a HostRequestDescriptor in its own memory and sends the
// message with wParam = its process id and lParam = the descriptor's address. Within one process
// the receiver works on the sender's block directly. Between processes the block travels in a
// named section, "Kwill.InterprocData.<process id>.<descriptor address>", that holds a u32 size
// and then the block; the receiver maps it, writes its answer into it and returns the answer's
// size as the message result, and the sender copies the block back.
//
// Both sides are exported, so the host answers with this same code.
#pragma once

#include "frame/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kwill::host {

struct HostRequestDescriptor {
    void* data;
    uint32_t size;
};
static_assert(offsetof(HostRequestDescriptor, size) == 8);

// What the receiver works on: the block and its size; `mapped` tells CloseHostRequestData that
// the block is a view of the section.
struct HostRequestView {
    void* data;
    uint32_t size;
    BOOL mapped;
};
static_assert(offsetof(HostRequestView, size) == 8 && offsetof(HostRequestView, mapped) == 12);
static_assert(sizeof(HostRequestView) == 16);

// The section's name for a sender and its descriptor.
std::wstring RequestSectionName(DWORD senderProcessId, const void* descriptor);

// Sends `message` to `window` with a block of `size` bytes of which the first `inputBytes` are
// the request, and waits up to timeoutMs (SMTO_ABORTIFHUNG). True when the window answered with
// a non-zero result; then the block holds the answer and *result (if given) the result. Fails
// without sending for a missing buffer, a size of 0, a window that does not exist, and (between
// processes) when the section cannot be made or its name is already taken: whoever holds that
// name could read the request or forge the answer.
bool SendHostRequest(void* buffer, uint32_t size, uint32_t inputBytes, HWND window, UINT message,
                     LRESULT* result, DWORD timeoutMs);

// The receiver's side: the block of a request whose message carried these wParam and lParam
// values. From another process the section is opened and mapped; the view never reaches past
// what the section holds. False (view cleared) when there is no block to answer into.
bool OpenHostRequestData(DWORD senderProcessId, const void* descriptorAddress,
                         HostRequestView& view);
// Unmaps a mapped view and clears it.
void CloseHostRequestData(HostRequestView& view);

}  // namespace kwill::host
