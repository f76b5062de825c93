// Data objects: fetching formats as global blocks and numbers, the diagnostic dumps, and the
// scrambled byte form of short texts.
#include "exports/export.h"
#include "util/data_object.h"

#include <new>

// Fetches a format of a data object (FORMATETC {format, device, DVASPECT_CONTENT, -1,
// TYMED_HGLOBAL}) into *out, a global block the caller frees with GlobalFree. CF_HDROP comes
// back as a copy with two zero bytes more, so that its file list always ends; a medium with a
// release object is copied and released once; other blocks are handed over. Returns GetData's
// failure (leaving *out alone), DV_E_TYMED when the medium is not a global block, E_OUTOFMEMORY
// when the copy fails, E_INVALIDARG for a null object and E_POINTER for a null out.
KWILL_EXPORT HRESULT GetDataObjectOnHGlobalHRes(HGLOBAL* out, IDataObject* object,
                                                CLIPFORMAT format, DVTARGETDEVICE* device) {
    try {
        return kwill::util::GetDataOnHGlobal(object, format, device, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// The block of GetDataObjectOnHGlobalHRes, or null.
KWILL_EXPORT HGLOBAL GetDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                            DVTARGETDEVICE* device) {
    HGLOBAL block = nullptr;
    if (FAILED(GetDataObjectOnHGlobalHRes(&block, object, format, device))) return nullptr;
    return block;
}

// A number stored at the start of a format's block. *found (may be null) is 1 when the block
// was large enough, else 0 and the result is 0: 4 bytes for the DWORD, 8 for the DWORDLONG;
// the DWORD_PTR form reads 8 bytes from blocks of 8 or more, 4 (zero-extended) from blocks of
// 4 to 7. A null object gives 0, not found.
KWILL_EXPORT DWORD GetDWORDFromDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                                   DWORD* found) {
    return kwill::util::GetDwordFromDataObject(object, format, found);
}

KWILL_EXPORT DWORD_PTR GetDWORD_PTRFromDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                                           DWORD* found) {
    return kwill::util::GetDwordPtrFromDataObject(object, format, found);
}

KWILL_EXPORT DWORDLONG GetDWORDLONGFromDataObjectOnHGlobal(IDataObject* object, CLIPFORMAT format,
                                                           DWORD* found) {
    return kwill::util::GetDwordLongFromDataObject(object, format, found);
}

// Writes one byte per character, the terminator included: the low byte of character k XOR
// ((k + 3) AND 0xFF); "abc" gives 62 66 66 06. The output must hold the text's length + 1
// bytes. Returns the number of bytes written, 0 when either pointer is null.
KWILL_EXPORT int ScrambleString(const wchar_t* text, BYTE* out) {
    if (!text || !out) return 0;
    return static_cast<int>(kwill::util::ScrambleText(text, out));
}

// The text of a scrambled block as a new LocalAlloc string (free with LocalFree), of at most
// maxChars characters (-1: no limit; the block must then hold its terminator, the byte
// (k + 3) AND 0xFF at position k). Characters come back as their low byte. Null when the block
// is null (ERROR_INVALID_PARAMETER) or there is no memory.
KWILL_EXPORT wchar_t* UnscrambleString(const BYTE* bytes, int maxChars) {
    if (!bytes) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return kwill::util::UnscrambleText(bytes, maxChars < 0 ? -1 : maxChars);
}

// Writes every format the data object offers (both directions), each offered global block or
// stream in hexadecimal (up to 1024 bytes), and the shell's known formats decoded, to the debug
// output. Blocks that do not hold what their format promises are reported as
// "GetData returned bad data". A null object writes nothing.
KWILL_EXPORT void DumpDataObject(IDataObject* object) {
    try {
        kwill::util::DumpObject(object);
    } catch (const std::bad_alloc&) {
    }
}

// Writes a block to the debug output: its size, the first 4 and 8 bytes as numbers where the
// block is long enough, then lines of 32 bytes in hexadecimal and as characters. maxShow limits
// the bytes shown (0: all).
KWILL_EXPORT void DumpDataBlock(const void* data, size_t size, size_t maxShow) {
    kwill::util::DumpBlock(data, size, maxShow);
}
