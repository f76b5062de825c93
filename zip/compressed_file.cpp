#include "zip/compressed_file.h"

#include "zip/byte_source.h"
#include "zip/safe_output.h"
#include "zip/zip_engine.h"
#include "zip/zip_reader.h"
#include "frame/win_handle.h"

#include <libdeflate.h>

#include <memory>
#include <new>
#include <vector>

namespace kwill::zip {
namespace {

constexpr int kLevel = 6;
// The length is 32-bit and two zero bytes follow the data.
constexpr uint64_t kMaxOutput = 0xFFFFFFFFull - 2;
constexpr size_t kFirstGuess = 64 * 1024;

// The file's bytes in memory: mapped where that is safe and nothing has to change them, else
// read whole into a buffer that is not zero-filled first. A mapped file on a network share or a
// removable disk raises an exception when the medium fails, where a read only fails, so only
// files on local fixed disks are mapped; the reader opens the file without sharing writes, so
// the mapped bytes cannot change or shrink underneath.
class FileBytes {
  public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() {
        if (view_) ::UnmapViewOfFile(view_);
    }

    ZipError Load(const wchar_t* path, FileSource& file, bool writable) {
        size_ = static_cast<size_t>(file.Size());
        if (size_ == 0) return ZipError::Ok;
        if (!writable && OnLocalFixedDisk(path)) {
            UniqueHandle mapping(
                ::CreateFileMappingW(file.Handle(), nullptr, PAGE_READONLY, 0, 0, nullptr));
            if (mapping) view_ = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, size_);
            if (view_) return ZipError::Ok;
        }
        copy_.reset(new (std::nothrow) uint8_t[size_]);
        if (!copy_) return ZipError::OutOfMemory;
        return file.ReadAt(0, copy_.get(), size_) ? ZipError::Ok : ZipError::ReadFailed;
    }

    const uint8_t* Data() const { return view_ ? static_cast<const uint8_t*>(view_) : copy_.get(); }
    uint8_t* WritableData() { return copy_.get(); }
    size_t Size() const { return size_; }

  private:
    static bool OnLocalFixedDisk(const wchar_t* path) {
        wchar_t full[MAX_PATH];
        DWORD n = ::GetFullPathNameW(path, MAX_PATH, full, nullptr);
        // "X:\..." only: UNC paths, device paths and paths too long for the buffer are read.
        if (n < 3 || n >= MAX_PATH || full[1] != L':' || full[2] != L'\\') return false;
        const wchar_t root[] = {full[0], L':', L'\\', 0};
        return ::GetDriveTypeW(root) == DRIVE_FIXED;
    }

    void* view_ = nullptr;
    std::unique_ptr<uint8_t[]> copy_;
    size_t size_ = 0;
};

}  // namespace

void ScrambleBytes(uint8_t* data, size_t length, uint64_t position) {
    uint8_t key = static_cast<uint8_t>(position + 2);
    for (size_t i = 0; i < length; ++i) data[i] ^= static_cast<uint8_t>(key + i);
}

ZipError LoadCompressedFile(const wchar_t* path, bool scramble, LoadedBlock& result) {
    result = {};
    FileSource file(path);
    if (!file.Valid()) return ZipError::CannotOpen;
    // The file is read whole: a zlib stream cannot be smaller than a thousandth of its output.
    if (file.Size() > kMaxOutput) return ZipError::TooLarge;
    FileBytes input;
    if (ZipError e = input.Load(path, file, scramble); e != ZipError::Ok) return e;
    if (scramble) ScrambleBytes(input.WritableData(), input.Size());

    InflateState* state = ThreadInflater();
    libdeflate_decompressor* d = state ? WholeDecompressor(*state) : nullptr;
    if (!d) return ZipError::OutOfMemory;
    // The output size is not stored: guess, and on running out of room start over with four
    // times the room, so the work stays within a third more than one pass.
    uint64_t room = std::max<uint64_t>(kFirstGuess, uint64_t(input.Size()) * 4);
    for (;;) {
        room = std::min(room, kMaxOutput);
        HLOCAL block = ::LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(room + 2));
        if (!block) return ZipError::OutOfMemory;
        auto* out = static_cast<uint8_t*>(block);
        size_t produced = 0;
        libdeflate_result r = libdeflate_zlib_decompress(d, input.Data(), input.Size(), out,
                                                         static_cast<size_t>(room), &produced);
        if (r == LIBDEFLATE_SUCCESS) {
            if (produced == 0) {
                ::LocalFree(block);
                return ZipError::Ok;
            }
            out[produced] = 0;
            out[produced + 1] = 0;
            // Give back what the guess left over; shrinking in place cannot move the block, and
            // if it fails the larger block still serves.
            if (room - produced > 64 * 1024)
                if (HLOCAL smaller = ::LocalReAlloc(block, produced + 2, 0)) block = smaller;
            result.block = block;
            result.length = static_cast<uint32_t>(produced);
            return ZipError::Ok;
        }
        ::LocalFree(block);
        if (r != LIBDEFLATE_INSUFFICIENT_SPACE) return ZipError::BadData;
        if (room >= kMaxOutput) return ZipError::TooLarge;
        room *= 4;
    }
}

ZipError SaveCompressedFile(const wchar_t* path, std::span<const uint8_t> data, bool scramble) {
    DeflateState* state = ThreadDeflater();
    libdeflate_compressor* c = state ? WholeCompressor(*state, kLevel) : nullptr;
    if (!c) return ZipError::OutOfMemory;
    std::vector<uint8_t> packed;
    try {
        packed.resize(libdeflate_zlib_compress_bound(c, data.size()));
    } catch (const std::bad_alloc&) {
        return ZipError::OutOfMemory;
    }
    size_t n = libdeflate_zlib_compress(c, data.data(), data.size(), packed.data(), packed.size());
    if (n == 0) return ZipError::BadData;
    if (scramble) ScrambleBytes(packed.data(), n);
    SafeOutputFile out;
    if (!out.Create(path)) return ZipError::CannotOpen;
    if (!out.Write(packed.data(), n) || !out.Commit()) return ZipError::WriteFailed;
    return ZipError::Ok;
}

bool FileHoldsZipArchive(HANDLE file) {
    ZipReader reader;
    return reader.Open(std::make_unique<FileSource>(file, false)) == ZipError::Ok;
}

}  // namespace kwill::zip
