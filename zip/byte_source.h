// Random-access input for the zip reader: a file on disk, or bytes in memory (tests, and archives
// the caller already holds).
#pragma once

#include "frame/platform.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kwill::zip {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly length bytes at offset; false on a failed or short read.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
    // The bytes in place when the source holds them in memory, else null (read them instead).
    virtual const uint8_t* View(uint64_t /*offset*/, size_t /*length*/) { return nullptr; }
};

// A file handle, owned or borrowed.
class FileSource final : public ByteSource {
  public:
    // Opens the file for reading, sharing reads; Valid() tells whether that worked.
    explicit FileSource(const wchar_t* path);
    // Borrows an open handle; the caller keeps it open while the source is used.
    FileSource(HANDLE borrowed, bool own);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool Valid() const { return size_ != kUnknown; }
    HANDLE Handle() const { return file_; }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;

  private:
    static constexpr uint64_t kUnknown = ~uint64_t(0);
    void TakeSize();
    HANDLE file_ = INVALID_HANDLE_VALUE;
    bool own_ = false;
    uint64_t size_ = kUnknown;
};

// Bytes that outlive the source.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;
    const uint8_t* View(uint64_t offset, size_t length) override {
        return offset <= bytes_.size() && length <= bytes_.size() - offset ? bytes_.data() + offset
                                                                           : nullptr;
    }

  private:
    std::span<const uint8_t> bytes_;
};

}  // namespace kwill::zip
