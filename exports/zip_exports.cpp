// Zip engine exports: the compressed files, the archive finder, the info requests of the tip
// handler, and archive handles for reading and writing (the tool and the host).
#include "exports/export.h"
#include "util/file_streams.h"
#include "zip/compressed_file.h"
#include "zip/zip_info.h"
#include "zip/zip_reader.h"
#include "zip/zip_writer.h"

#include <cstring>
#include <new>
#include <string>

using kwill::zip::ZipError;

namespace {

constexpr uint32_t kReaderTag = 0x5a52574b;  // "KWRZ"
constexpr uint32_t kWriterTag = 0x5a57574b;  // "KWWZ"
constexpr uint32_t kDeadTag = 0xdeaddead;

struct ReaderHandle {
    uint32_t tag = kReaderTag;
    kwill::zip::ZipReader reader;
};
struct WriterHandle {
    uint32_t tag = kWriterTag;
    kwill::zip::ZipWriter writer;
};

ReaderHandle* AsReader(void* h) {
    auto* r = static_cast<ReaderHandle*>(h);
    return r && r->tag == kReaderTag ? r : nullptr;
}
WriterHandle* AsWriter(void* h) {
    auto* w = static_cast<WriterHandle*>(h);
    return w && w->tag == kWriterTag ? w : nullptr;
}

// A member name from UTF-16 to the engine's UTF-8; empty when it does not convert.
std::string Utf8(const wchar_t* text) {
    if (!text) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr,
                                  nullptr);
    if (n <= 1) return {};
    std::string out(n - 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

DWORD LastErrorOf(ZipError e) {
    switch (e) {
        case ZipError::OutOfMemory:
            return ERROR_NOT_ENOUGH_MEMORY;
        case ZipError::ReadFailed:
            return ERROR_READ_FAULT;
        case ZipError::WriteFailed:
            return ERROR_WRITE_FAULT;
        case ZipError::TooLarge:
            return ERROR_FILE_TOO_LARGE;
        default:
            return ERROR_INVALID_DATA;
    }
}

int Code(ZipError e) {
    return static_cast<int>(e);
}

}  // namespace

// Reads a file written by SaveZipCompressedFile into a new LocalAlloc block (free it with
// LocalFree) followed by two zero bytes not counted in *length; scramble must match the save.
// Returns 1 with the block, or 0 with *data null and *length 0: the file cannot be opened (its
// last error), the stream is corrupt, truncated or scrambled otherwise (ERROR_INVALID_DATA),
// memory is short (ERROR_NOT_ENOUGH_MEMORY), or it holds no data (ERROR_HANDLE_EOF). Never 1
// with part of the data. length may be null.
KWILL_EXPORT int LoadZipCompressedFile(const wchar_t* filename, void** data, uint32_t* length,
                                       uint32_t scramble) {
    if (data) *data = nullptr;
    if (length) *length = 0;
    if (!filename || !data) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        kwill::zip::LoadedBlock loaded;
        ZipError e = kwill::zip::LoadCompressedFile(filename, scramble != 0, loaded);
        if (e == ZipError::CannotOpen) return 0;  // CreateFileW's last error stands
        if (e != ZipError::Ok) {
            ::SetLastError(LastErrorOf(e));
            return 0;
        }
        if (!loaded.block) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return 0;
        }
        *data = loaded.block;
        if (length) *length = loaded.length;
        return 1;
    } catch (...) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

// Compresses length bytes of data into the file (zlib stream, level 6), scrambled when scramble
// is non-zero. The file is written under a temporary name, flushed and then put in place, with
// the old file's alternate data streams carried over; on any failure (create, write, flush,
// close, replace, out of memory) it returns 0 with the old file unchanged, else 1.
KWILL_EXPORT int SaveZipCompressedFile(const wchar_t* filename, const void* data, uint32_t length,
                                       uint32_t scramble) {
    if (!filename || (!data && length)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        kwill::util::FileStreamSet* streams = kwill::util::SnapshotFileStreams(filename);
        ZipError e = kwill::zip::SaveCompressedFile(
            filename, {static_cast<const uint8_t*>(data), length}, scramble != 0);
        if (e == ZipError::Ok) kwill::util::RestoreFileStreams(streams, filename);
        kwill::util::FreeFileStreams(streams);
        if (e == ZipError::Ok) return 1;
        if (e != ZipError::CannotOpen && e != ZipError::WriteFailed) ::SetLastError(LastErrorOf(e));
        return 0;
    } catch (...) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

// 1 when the file carries a readable zip archive, at its start or behind a stub (a
// self-extracting package); 0 for folders, offline files, files that cannot be opened and
// everything else.
KWILL_EXPORT int DoesExeFileContainZip(const wchar_t* filename) {
    if (!filename) return 0;
    DWORD attributes = ::GetFileAttributesW(filename);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE)))
        return 0;
    HANDLE file = ::CreateFileW(filename, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int found = 0;
    try {
        found = kwill::zip::FileHoldsZipArchive(file) ? 1 : 0;
    } catch (...) {
    }
    ::CloseHandle(file);
    return found;
}

// The tip handler's request: code 1 counts the entries that are not folders (result 0), code 5
// returns the archive comment as LocalAlloc text. Results: 0 done, 1 not a zip, 2 a volume of a
// split set, 3 damaged directory, 4 cannot open, 5 no comment, 6 unknown code, 7 out of memory.
KWILL_EXPORT int ZipInfoRequest(kwill::zip::ZipInfoRequestBlock* request) {
    if (!request || request->size < sizeof(kwill::zip::ZipInfoRequestBlock)) return -1;
    try {
        return kwill::zip::ZipInfoRequest(*request);
    } catch (...) {
        return request->result = kwill::zip::kInfoOutOfMemory;
    }
}

// ---- reading archives

// Opens an archive and reads its directory. Returns a handle for the Zip*Entry* functions
// (close it with ZipCloseArchive), or null with *error (may be null) set to the engine's code.
KWILL_EXPORT void* ZipOpenArchive(const wchar_t* path, int* error) {
    try {
        auto handle = std::make_unique<ReaderHandle>();
        ZipError e = handle->reader.Open(path);
        if (error) *error = Code(e);
        return e == ZipError::Ok ? handle.release() : nullptr;
    } catch (...) {
        if (error) *error = Code(ZipError::OutOfMemory);
        return nullptr;
    }
}

KWILL_EXPORT void ZipCloseArchive(void* archive) {
    if (ReaderHandle* r = AsReader(archive)) {
        r->tag = kDeadTag;
        delete r;
    }
}

// The number of directory entries, or -1 for an invalid handle.
KWILL_EXPORT int ZipGetEntryCount(void* archive) {
    ReaderHandle* r = AsReader(archive);
    return r ? static_cast<int>(r->reader.Entries().size()) : -1;
}

struct ZipEntryInfo {
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint32_t crc;
    uint16_t method;
    uint16_t flags;
    uint16_t modTime;
    uint16_t modDate;
    uint32_t externalAttributes;
};

// Fills info for the entry at index; FALSE for a bad handle, index or null info.
KWILL_EXPORT BOOL ZipGetEntryInfo(void* archive, uint32_t index, ZipEntryInfo* info) {
    ReaderHandle* r = AsReader(archive);
    if (!r || !info || index >= r->reader.Entries().size()) return FALSE;
    const auto& e = r->reader.Entries()[index];
    *info = {e.compressedSize, e.uncompressedSize, e.crc,     e.method,
             e.flags,          e.modTime,          e.modDate, e.externalAttributes};
    return TRUE;
}

// Copies the entry's name (UTF-16) into the buffer, truncated and terminated to fit; returns the
// name's full length in characters, or -1 for a bad handle or index.
KWILL_EXPORT int ZipGetEntryName(void* archive, uint32_t index, wchar_t* buffer, int chars) {
    ReaderHandle* r = AsReader(archive);
    if (!r || index >= r->reader.Entries().size()) return -1;
    const std::string& name = r->reader.Entries()[index].name;
    int n =
        ::MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (buffer && chars > 0) {
        std::wstring wide(n, L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                              n);
        int copy = std::min(n, chars - 1);
        std::memcpy(buffer, wide.data(), copy * sizeof(wchar_t));
        buffer[copy] = 0;
    }
    return n;
}

// Extracts the entry at index into the file target (replaced only once the member has been
// read and checked in full), or with a null target only reads and checks it. password may be
// null. Returns the engine's code, 0 for success.
KWILL_EXPORT int ZipExtractEntry(void* archive, uint32_t index, const char* password,
                                 const wchar_t* target) {
    ReaderHandle* r = AsReader(archive);
    if (!r || index >= r->reader.Entries().size()) return Code(ZipError::InvalidState);
    try {
        const auto& entry = r->reader.Entries()[index];
        std::string_view pass = password ? password : "";
        if (!target)
            return Code(
                r->reader.Extract(entry, pass, [](const uint8_t*, size_t) { return true; }));
        kwill::zip::SafeOutputFile out;
        if (!out.Create(target)) return Code(ZipError::CannotOpen);
        ZipError e = r->reader.Extract(entry, pass,
                                       [&](const uint8_t* p, size_t n) { return out.Write(p, n); });
        if (e != ZipError::Ok) return Code(e);
        return Code(out.Commit() ? ZipError::Ok : ZipError::WriteFailed);
    } catch (...) {
        return Code(ZipError::OutOfMemory);
    }
}

// ---- writing archives

// Starts a new archive, written under a temporary name until ZipCommitArchive. Returns the
// handle, or null with *error (may be null) set.
KWILL_EXPORT void* ZipCreateArchive(const wchar_t* path, int* error) {
    try {
        auto handle = std::make_unique<WriterHandle>();
        ZipError e = handle->writer.Create(path);
        if (error) *error = Code(e);
        return e == ZipError::Ok ? handle.release() : nullptr;
    } catch (...) {
        if (error) *error = Code(ZipError::OutOfMemory);
        return nullptr;
    }
}

// Adds the file source under name (UTF-16, '/' or '\' between folders). level 0 stores, 1 to 9
// deflate; a non-null, non-empty password encrypts with the traditional cipher. Returns the
// engine's code; a failed write also fails the commit.
KWILL_EXPORT int ZipAddFile(void* archive, const wchar_t* name, const wchar_t* source, int level,
                            const char* password) {
    WriterHandle* w = AsWriter(archive);
    if (!w) return Code(ZipError::InvalidState);
    if (!source) return Code(ZipError::CannotOpen);
    try {
        kwill::zip::MemberOptions options;
        options.level = level;
        if (password) options.password = password;
        return Code(w->writer.AddFile(Utf8(name), source, options));
    } catch (...) {
        return Code(ZipError::OutOfMemory);
    }
}

// Adds length bytes of data as a member; as ZipAddFile otherwise.
KWILL_EXPORT int ZipAddBuffer(void* archive, const wchar_t* name, const void* data, size_t length,
                              int level, const char* password) {
    WriterHandle* w = AsWriter(archive);
    if (!w) return Code(ZipError::InvalidState);
    if (!data && length) return Code(ZipError::InvalidState);
    try {
        kwill::zip::MemberOptions options;
        options.level = level;
        if (password) options.password = password;
        return Code(
            w->writer.AddBuffer(Utf8(name), {static_cast<const uint8_t*>(data), length}, options));
    } catch (...) {
        return Code(ZipError::OutOfMemory);
    }
}

// Adds a folder entry.
KWILL_EXPORT int ZipAddFolder(void* archive, const wchar_t* name) {
    WriterHandle* w = AsWriter(archive);
    if (!w) return Code(ZipError::InvalidState);
    try {
        return Code(w->writer.AddFolder(Utf8(name)));
    } catch (...) {
        return Code(ZipError::OutOfMemory);
    }
}

// Sets the archive comment (bytes, cut at 65,535).
KWILL_EXPORT int ZipSetComment(void* archive, const char* comment) {
    WriterHandle* w = AsWriter(archive);
    if (!w) return Code(ZipError::InvalidState);
    try {
        w->writer.SetComment(comment ? comment : "");
        return 0;
    } catch (...) {
        return Code(ZipError::OutOfMemory);
    }
}

// Writes the directory and puts the archive in place; frees the handle in every case. Returns
// the engine's code: any failure since ZipCreateArchive fails the commit and leaves no archive.
KWILL_EXPORT int ZipCommitArchive(void* archive) {
    WriterHandle* w = AsWriter(archive);
    if (!w) return Code(ZipError::InvalidState);
    ZipError e;
    try {
        e = w->writer.Commit();
    } catch (...) {
        e = ZipError::OutOfMemory;
    }
    w->tag = kDeadTag;
    delete w;
    return Code(e);
}

// Drops an archive that was not committed; nothing is left on disk.
KWILL_EXPORT void ZipAbandonArchive(void* archive) {
    if (WriterHandle* w = AsWriter(archive)) {
        w->tag = kDeadTag;
        delete w;
    }
}

// A short English text for an engine code.
KWILL_EXPORT const char* ZipErrorString(int code) {
    return kwill::zip::ZipErrorText(static_cast<ZipError>(code));
}
