#include "zip/byte_source.h"

#include "zip/zip_error.h"

#include <cstring>

namespace kwill::zip {

FileSource::FileSource(const wchar_t* path) {
    if (!path) return;
    file_ = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    own_ = true;
    TakeSize();
}

FileSource::FileSource(HANDLE borrowed, bool own) : file_(borrowed), own_(own) {
    TakeSize();
}

FileSource::~FileSource() {
    if (own_ && file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
}

void FileSource::TakeSize() {
    LARGE_INTEGER size;
    if (file_ != INVALID_HANDLE_VALUE && file_ && ::GetFileSizeEx(file_, &size))
        size_ = static_cast<uint64_t>(size.QuadPart);
}

bool FileSource::ReadAt(uint64_t offset, void* buffer, size_t length) {
    if (!Valid() || offset > size_ || length > size_ - offset) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    while (length > 0) {
        DWORD chunk = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!::ReadFile(file_, out, chunk, &read, &at) || read != chunk) return false;
        out += chunk;
        offset += chunk;
        length -= chunk;
    }
    return true;
}

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t length) {
    if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
    if (length) std::memcpy(buffer, bytes_.data() + offset, length);
    return true;
}

const char* ZipErrorText(ZipError error) {
    switch (error) {
        case ZipError::Ok:
            return "ok";
        case ZipError::CannotOpen:
            return "cannot open the file";
        case ZipError::ReadFailed:
            return "read failed";
        case ZipError::NotZip:
            return "not a zip archive";
        case ZipError::SplitArchive:
            return "one volume of a split archive";
        case ZipError::DamagedDirectory:
            return "damaged central directory";
        case ZipError::DamagedMember:
            return "damaged member header";
        case ZipError::NotFound:
            return "no such member";
        case ZipError::UnsupportedMethod:
            return "unsupported compression method";
        case ZipError::UnsupportedEncryption:
            return "unsupported encryption";
        case ZipError::PasswordRequired:
            return "password required";
        case ZipError::WrongPassword:
            return "wrong password";
        case ZipError::TooLarge:
            return "member larger than allowed";
        case ZipError::BadData:
            return "corrupt compressed data";
        case ZipError::BadCrc:
            return "CRC mismatch";
        case ZipError::OutOfMemory:
            return "out of memory";
        case ZipError::WriteFailed:
            return "write failed";
        case ZipError::InvalidName:
            return "invalid member name";
        case ZipError::InvalidState:
            return "invalid call order";
    }
    return "unknown error";
}

}  // namespace kwill::zip
