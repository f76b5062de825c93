#include "zip/safe_output.h"

#include <cstring>
#include <cwchar>

namespace kwill::zip {
namespace {

constexpr size_t kBufferSize = 1 << 20;

bool WriteAll(HANDLE file, const uint8_t* data, size_t length) {
    while (length > 0) {
        DWORD chunk = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written != chunk) return false;
        data += chunk;
        length -= chunk;
    }
    return true;
}

}  // namespace

SafeOutputFile::~SafeOutputFile() {
    Abandon();
}

bool SafeOutputFile::Create(const wchar_t* target) {
    Abandon();
    failed_ = false;
    position_ = 0;
    if (!target || !*target) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    target_ = target;
    static volatile long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[48];
        std::swprintf(suffix, 48, L".%lx-%lx.tmp", ::GetCurrentProcessId(),
                      static_cast<unsigned long>(::InterlockedIncrement(&counter)));
        temporary_ = target_ + suffix;
        file_ = ::CreateFileW(temporary_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) break;
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (file_ == INVALID_HANDLE_VALUE) {
        temporary_.clear();
        return false;
    }
    try {
        buffer_.reserve(kBufferSize);
    } catch (...) {
        failed_ = true;
    }
    return !failed_;
}

bool SafeOutputFile::FlushBuffer() {
    if (buffer_.empty()) return !failed_;
    if (!failed_ && !WriteAll(file_, buffer_.data(), buffer_.size())) failed_ = true;
    buffer_.clear();
    return !failed_;
}

bool SafeOutputFile::Write(const void* data, size_t length) {
    if (failed_ || file_ == INVALID_HANDLE_VALUE) return failed_ = true, false;
    auto* p = static_cast<const uint8_t*>(data);
    position_ += length;
    if (buffer_.size() + length > kBufferSize) {
        if (!FlushBuffer()) return false;
        if (length >= kBufferSize) {
            if (!WriteAll(file_, p, length)) failed_ = true;
            return !failed_;
        }
    }
    buffer_.insert(buffer_.end(), p, p + length);
    return true;
}

bool SafeOutputFile::PatchAt(uint64_t offset, const void* data, size_t length) {
    if (failed_ || file_ == INVALID_HANDLE_VALUE || offset + length > position_)
        return failed_ = true, false;
    if (!FlushBuffer()) return false;
    LARGE_INTEGER at, end;
    at.QuadPart = static_cast<LONGLONG>(offset);
    end.QuadPart = static_cast<LONGLONG>(position_);
    if (!::SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) ||
        !WriteAll(file_, static_cast<const uint8_t*>(data), length) ||
        !::SetFilePointerEx(file_, end, nullptr, FILE_BEGIN))
        failed_ = true;
    return !failed_;
}

bool SafeOutputFile::Commit() {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    bool ok = FlushBuffer() && ::FlushFileBuffers(file_);
    DWORD error = ok ? 0 : ::GetLastError();
    if (!::CloseHandle(file_) && ok) ok = false, error = ::GetLastError();
    file_ = INVALID_HANDLE_VALUE;
    if (ok) {
        // A replaced file keeps its hidden and system marks. (ReplaceFileW would keep more, but
        // some systems leave a backup file behind when it fails on a file that is in use.)
        DWORD old = ::GetFileAttributesW(target_.c_str());
        constexpr DWORD kKept =
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        if (old != INVALID_FILE_ATTRIBUTES && (old & kKept))
            ::SetFileAttributesW(temporary_.c_str(), (old & kKept) | FILE_ATTRIBUTE_ARCHIVE);
        ok = ::MoveFileExW(temporary_.c_str(), target_.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!ok) error = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(temporary_.c_str());
        ::SetLastError(error ? error : ERROR_WRITE_FAULT);
    }
    temporary_.clear();
    buffer_.clear();
    return ok;
}

void SafeOutputFile::Abandon() {
    if (file_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    if (!temporary_.empty()) {
        DWORD error = ::GetLastError();
        ::DeleteFileW(temporary_.c_str());
        ::SetLastError(error);
        temporary_.clear();
    }
    buffer_.clear();
}

}  // namespace kwill::zip
