// Snapshots of a file's alternate data streams (a downloaded file's zone marker, for one), so
// that they can be written back onto a new file that replaces it.
#pragma once

#include "frame/platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kwill::util {

struct StreamEntry {
    std::vector<uint8_t> bytes;  // empty when the stream could not be opened at snapshot
    uint32_t count = 0;          // bytes held (the low 32 bits of the size at snapshot)
};

// Stream name (":name:$DATA") to contents, ordered by the name's code units.
struct FileStreamSet {
    std::map<std::wstring, StreamEntry> streams;
};

// Where streams are read and written. The real store is the file system; Wine has no alternate
// streams, so tests install a fake one.
class StreamStore {
  public:
    virtual ~StreamStore() = default;
    // False when the system offers no stream enumeration at all.
    virtual bool CanEnumerate() = 0;
    // Calls found for each stream of the file, the default one included; false when the
    // enumeration cannot start.
    virtual bool Enumerate(
        const std::wstring& path,
        const std::function<void(const std::wstring& name, uint64_t size)>& found) = 0;
    // True when the volume that holds the file keeps named streams.
    virtual bool KeepsNamedStreams(const std::wstring& path) = 0;
    // Stream I/O on "path:name:$DATA"; Open and Create return null on failure.
    virtual void* Open(const std::wstring& streamPath) = 0;
    virtual void* Create(const std::wstring& streamPath) = 0;
    virtual bool Read(void* stream, void* buffer, uint32_t length, uint32_t& read) = 0;
    virtual bool Write(void* stream, const void* data, uint32_t length, uint32_t& written) = 0;
    virtual void Close(void* stream) = 0;
    virtual bool Delete(const std::wstring& streamPath) = 0;
};

// The store in use; installing null restores the file system.
StreamStore& ActiveStreamStore();
void InstallStreamStore(StreamStore* store);

// Reads every alternate stream of the file. Null when there is none that could be read, the
// system offers no stream enumeration, or memory is short. Streams of 4 GiB or more, whose size
// the 32-bit count cannot hold, are left out; a stream that cannot be opened is kept empty; one
// whose reading fails is left out.
FileStreamSet* SnapshotFileStreams(const wchar_t* path);
// Writes every stream of the set onto the file, in name order. Nothing happens for a null set or
// a volume without named streams; a stream whose writing fails is deleted again rather than left
// half written.
void RestoreFileStreams(const FileStreamSet* set, const wchar_t* path);
void FreeFileStreams(FileStreamSet* set);

}  // namespace kwill::util
