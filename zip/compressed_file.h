// Whole memory blocks kept compressed in a file: one zlib stream (RFC 1950, level 6), optionally
// scrambled with a running XOR so that the file does not read as text. Also the finder that tells
// whether a file (typically an executable) carries a zip archive.
#pragma once

#include "frame/platform.h"
#include "zip/zip_error.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kwill::zip {

// XORs every byte with ((its position in the file + 2) mod 256); position is that of data[0].
void ScrambleBytes(uint8_t* data, size_t length, uint64_t position = 0);

// Reads and decompresses the file into a LocalAlloc block followed by two zero bytes (not
// counted in length). A sound stream that holds no data gives Ok with a null block. A corrupt or
// truncated stream, or one that would not fit a 32-bit length, is an error with no block.
struct LoadedBlock {
    HLOCAL block = nullptr;
    uint32_t length = 0;
};
ZipError LoadCompressedFile(const wchar_t* path, bool scramble, LoadedBlock& result);

// Compresses the block into a temporary file beside path that replaces it once written, flushed
// and closed; the old file is kept on any failure.
ZipError SaveCompressedFile(const wchar_t* path, std::span<const uint8_t> data, bool scramble);

// True when the open file holds a readable zip archive, at its start or behind a stub.
bool FileHoldsZipArchive(HANDLE file);

}  // namespace kwill::zip
