#include "util/file_streams.h"

#include "strings/compare.h"

#include <new>

namespace kwill::util {
namespace {

constexpr uint32_t kChunk = 0x10000;
constexpr wchar_t kDefaultStream[] = L"::$DATA";

using FindFirstStreamFn = HANDLE(WINAPI*)(LPCWSTR, STREAM_INFO_LEVELS, LPVOID, DWORD);
using FindNextStreamFn = BOOL(WINAPI*)(HANDLE, LPVOID);

class FileSystemStore final : public StreamStore {
  public:
    FileSystemStore() {
        if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
            first_ = reinterpret_cast<FindFirstStreamFn>(
                reinterpret_cast<void*>(::GetProcAddress(kernel, "FindFirstStreamW")));
            next_ = reinterpret_cast<FindNextStreamFn>(
                reinterpret_cast<void*>(::GetProcAddress(kernel, "FindNextStreamW")));
        }
    }
    bool CanEnumerate() override { return first_ && next_; }
    bool Enumerate(const std::wstring& path,
                   const std::function<void(const std::wstring&, uint64_t)>& found) override {
        WIN32_FIND_STREAM_DATA data;
        HANDLE find = first_(path.c_str(), FindStreamInfoStandard, &data, 0);
        if (find == INVALID_HANDLE_VALUE) return false;
        do {
            found(data.cStreamName, static_cast<uint64_t>(data.StreamSize.QuadPart));
        } while (next_(find, &data));
        ::FindClose(find);
        return true;
    }
    bool KeepsNamedStreams(const std::wstring& path) override {
        HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD flags = 0;
        BOOL ok =
            ::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
        ::CloseHandle(file);
        return ok && (flags & FILE_NAMED_STREAMS);
    }
    void* Open(const std::wstring& streamPath) override {
        return Handle(::CreateFileW(streamPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    void* Create(const std::wstring& streamPath) override {
        return Handle(::CreateFileW(streamPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    bool Read(void* stream, void* buffer, uint32_t length, uint32_t& read) override {
        DWORD n = 0;
        BOOL ok = ::ReadFile(stream, buffer, length, &n, nullptr);
        read = n;
        return ok;
    }
    bool Write(void* stream, const void* data, uint32_t length, uint32_t& written) override {
        DWORD n = 0;
        BOOL ok = ::WriteFile(stream, data, length, &n, nullptr);
        written = n;
        return ok;
    }
    void Close(void* stream) override { ::CloseHandle(stream); }
    bool Delete(const std::wstring& streamPath) override {
        return ::DeleteFileW(streamPath.c_str());
    }

  private:
    static void* Handle(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
    FindFirstStreamFn first_ = nullptr;
    FindNextStreamFn next_ = nullptr;
};

StreamStore* g_installed = nullptr;

struct Found {
    std::wstring name;
    uint64_t size;
};

}  // namespace

StreamStore& ActiveStreamStore() {
    static FileSystemStore real;
    return g_installed ? *g_installed : real;
}

void InstallStreamStore(StreamStore* store) {
    g_installed = store;
}

FileStreamSet* SnapshotFileStreams(const wchar_t* path) {
    if (!path) return nullptr;
    StreamStore& store = ActiveStreamStore();
    if (!store.CanEnumerate()) return nullptr;
    try {
        std::wstring file(path);
        std::vector<Found> found;
        store.Enumerate(file, [&](const std::wstring& name, uint64_t size) {
            found.push_back({name, size});
        });
        auto set = std::make_unique<FileStreamSet>();
        bool defaultSeen = false;
        std::vector<uint8_t> chunk;
        for (const Found& f : found) {
            if (!defaultSeen && stricmpnW(f.name.c_str(), kDefaultStream, -1) == 0) {
                defaultSeen = true;
                continue;
            }
            // The count is 32-bit: a stream of 4 GiB or more cannot be carried whole.
            if (f.size > 0xFFFFFFFFull) continue;
            StreamEntry entry;
            entry.count = static_cast<uint32_t>(f.size);
            void* stream = store.Open(file + f.name);
            if (!stream) {
                set->streams[f.name] = std::move(entry);
                continue;
            }
            bool failed = false;
            entry.bytes.resize(entry.count);
            uint32_t done = 0;
            while (done < entry.count) {
                uint32_t want = std::min(kChunk, entry.count - done);
                uint32_t got = 0;
                if (!store.Read(stream, entry.bytes.data() + done, want, got) || got > want) {
                    failed = true;
                    break;
                }
                if (got == 0) {
                    // The stream shrank since it was listed: keep what there is.
                    entry.count = done;
                    entry.bytes.resize(done);
                    break;
                }
                done += got;
            }
            store.Close(stream);
            if (!failed) set->streams[f.name] = std::move(entry);
        }
        return set->streams.empty() ? nullptr : set.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void RestoreFileStreams(const FileStreamSet* set, const wchar_t* path) {
    if (!set || !path) return;
    StreamStore& store = ActiveStreamStore();
    std::wstring file(path);
    // Without named streams, "file:name:$DATA" would be taken as a plain file name by some
    // systems and leave a stray file beside the target.
    if (!store.KeepsNamedStreams(file)) return;
    for (const auto& [name, entry] : set->streams) {
        std::wstring streamPath = file + name;
        void* stream = store.Create(streamPath);
        if (!stream) continue;
        // An entry that could not be read at snapshot has no bytes and is written empty.
        uint32_t total = static_cast<uint32_t>(std::min<size_t>(entry.count, entry.bytes.size()));
        uint32_t done = 0;
        bool failed = false;
        while (done < total) {
            uint32_t want = std::min(kChunk, total - done);
            uint32_t wrote = 0;
            if (!store.Write(stream, entry.bytes.data() + done, want, wrote) || wrote == 0) {
                failed = true;
                break;
            }
            done += std::min(wrote, want);
        }
        store.Close(stream);
        if (failed) store.Delete(streamPath);
    }
}

void FreeFileStreams(FileStreamSet* set) {
    delete set;
}

}  // namespace kwill::util
