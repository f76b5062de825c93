// A file written beside its target under a temporary name and put in the target's place only
// when every write, the flush and the close have succeeded; until then (and on any failure) the
// old file stays as it was and the temporary file is deleted.
#pragma once

#include "frame/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kwill::zip {

class SafeOutputFile {
  public:
    SafeOutputFile() = default;
    ~SafeOutputFile();  // abandons an uncommitted file
    SafeOutputFile(const SafeOutputFile&) = delete;
    SafeOutputFile& operator=(const SafeOutputFile&) = delete;

    // Creates the temporary file in the target's folder; false when that fails (last error set).
    bool Create(const wchar_t* target);
    bool Write(const void* data, size_t length);
    // Overwrites bytes already written (a header whose sizes are known only afterwards).
    bool PatchAt(uint64_t offset, const void* data, size_t length);
    uint64_t Position() const { return position_; }
    bool Failed() const { return failed_; }
    // Flushes, closes and moves the file into the target's place; false (the old target kept, the
    // temporary file gone) when any step, or any earlier write, failed.
    bool Commit();
    void Abandon();
    const std::wstring& TemporaryPath() const { return temporary_; }

  private:
    bool FlushBuffer();
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring target_;
    std::wstring temporary_;
    std::vector<uint8_t> buffer_;
    uint64_t position_ = 0;
    bool failed_ = false;
};

}  // namespace kwill::zip
