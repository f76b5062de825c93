// Reading formats out of data objects (drag-and-drop and the clipboard), a diagnostic dump of
// everything a data object offers, and the scrambled byte form of short texts.
#pragma once

#include "frame/platform.h"

#include <objidl.h>

#include <cstddef>
#include <cstdint>

namespace kwill::util {

// Fetches a format as TYMED_HGLOBAL into a block the caller owns (GlobalFree). CF_HDROP and
// media that come with a release object are copied (CF_HDROP with two zero bytes more, so the
// file list always ends); other blocks are handed over as they came. On failure *out is left
// alone when GetData failed (its HRESULT is returned), else set to null: DV_E_TYMED for another
// medium, DV_E_STGMEDIUM for a medium without a block, E_OUTOFMEMORY when the copy fails.
HRESULT GetDataOnHGlobal(IDataObject* object, CLIPFORMAT format, DVTARGETDEVICE* device,
                         HGLOBAL* out);

// A value stored at the start of a format's block. *found (optional) is 1 when the block was
// large enough, else 0 and the result is 0. The pointer-sized form reads 8 bytes from blocks of
// at least 8 bytes and 4 bytes, zero-extended, from blocks of 4 to 7.
uint32_t GetDwordFromDataObject(IDataObject* object, CLIPFORMAT format, DWORD* found);
uintptr_t GetDwordPtrFromDataObject(IDataObject* object, CLIPFORMAT format, DWORD* found);
uint64_t GetDwordLongFromDataObject(IDataObject* object, CLIPFORMAT format, DWORD* found);

// Byte k of the scrambled form is the low byte of character k XOR ((k + 3) AND 0xFF), the
// terminating zero included. Returns the number of bytes written.
size_t ScrambleText(const wchar_t* text, uint8_t* out);

// The text back from its scrambled form, as a LocalAlloc block the caller frees, or null when
// there is no memory. At most maxChars characters when maxChars is not negative.
wchar_t* UnscrambleText(const uint8_t* bytes, ptrdiff_t maxChars);

// Writes a header (size, first 4 and 8 bytes as numbers) and a hexadecimal and character view
// of up to maxShow bytes (0: all) to the debug output.
void DumpBlock(const void* data, size_t size, size_t maxShow);

// Writes every format the object offers, and the known shell formats decoded, to the debug
// output. Blocks are checked against their size before anything inside them is read.
void DumpObject(IDataObject* object);

}  // namespace kwill::util
