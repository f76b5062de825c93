#include "util/data_object.h"

#include "frame/debug_output.h"

#include <shlobj.h>

#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace kwill::util {
namespace {

const wchar_t kSeparator[] = L"-----------------------------------\n";
const wchar_t kDots[] = L"- - - - - - - - - - - - - - - - - -\n";
const wchar_t kBadData[] = L"GetData returned bad data\n";
constexpr size_t kDumpLimit = 1024;

FORMATETC HGlobalFormat(CLIPFORMAT format, DVTARGETDEVICE* device) {
    return {format, device, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

// A global block owned for one scope.
class GlobalBlock {
  public:
    explicit GlobalBlock(HGLOBAL block) : block_(block) {}
    ~GlobalBlock() {
        if (block_) ::GlobalFree(block_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL get() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }

  private:
    HGLOBAL block_;
};

// A global block locked for one scope; bytes() is null when locking failed.
class LockedBlock {
  public:
    explicit LockedBlock(HGLOBAL block)
        : block_(block),
          bytes_(block ? static_cast<const uint8_t*>(::GlobalLock(block)) : nullptr),
          size_(bytes_ ? ::GlobalSize(block) : 0) {}
    ~LockedBlock() {
        if (bytes_) ::GlobalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    const uint8_t* bytes() const { return bytes_; }
    size_t size() const { return size_; }

  private:
    HGLOBAL block_;
    const uint8_t* bytes_;
    size_t size_;
};

HGLOBAL FetchBlock(IDataObject* object, CLIPFORMAT format) {
    HGLOBAL block = nullptr;
    if (FAILED(GetDataOnHGlobal(object, format, nullptr, &block))) return nullptr;
    return block;
}

CLIPFORMAT Registered(const wchar_t* name) {
    return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(name));
}

// Reads `bytes` bytes (at most 8) from the start of the format's block into a zeroed value.
uint64_t FetchNumber(IDataObject* object, CLIPFORMAT format, size_t wanted, size_t fallback,
                     DWORD* found) {
    if (found) *found = 0;
    if (!object) return 0;
    GlobalBlock block(FetchBlock(object, format));
    if (!block) return 0;
    LockedBlock view(block.get());
    if (!view.bytes()) return 0;
    size_t take =
        view.size() >= wanted ? wanted : (fallback && view.size() >= fallback ? fallback : 0);
    if (take == 0) return 0;
    uint64_t value = 0;
    std::memcpy(&value, view.bytes(), take);
    if (found) *found = 1;
    return value;
}

wchar_t Printable(uint8_t byte) {
    return byte >= 0x20 && byte < 0x7F ? static_cast<wchar_t>(byte) : L'.';
}

// The text of a block that holds characters of type Char, ending at the first zero or at the
// end of the block, whichever comes first.
template <typename Char>
std::basic_string<Char> BoundedText(const uint8_t* bytes, size_t size) {
    std::basic_string<Char> text(size / sizeof(Char), Char(0));
    if (!text.empty()) std::memcpy(text.data(), bytes, text.size() * sizeof(Char));
    if (size_t end = text.find(Char(0)); end != std::basic_string<Char>::npos) text.resize(end);
    return text;
}

// ---- the format list

// A format offered as a global block: its bytes, or for the drop effect its first 32-bit value.
void DumpHGlobalFormat(IDataObject* object, FORMATETC format, bool dropEffect) {
    format.tymed = TYMED_HGLOBAL;
    STGMEDIUM medium{};
    HRESULT hr = object->GetData(&format, &medium);
    if (FAILED(hr)) {
        DebugOutput(L"GetData failed. HR: 0x%08lx\n", static_cast<unsigned long>(hr));
        return;
    }
    if (dropEffect && medium.tymed != TYMED_HGLOBAL) {
        DebugOutput(L"GetData returned non-HGLOBAL\n");
    } else {
        LockedBlock view(medium.tymed == TYMED_HGLOBAL ? medium.hGlobal : nullptr);
        DWORD effect = 0;
        if (!view.bytes() || (dropEffect && view.size() < sizeof(effect))) {
            DebugOutput(kBadData);
        } else if (dropEffect) {
            std::memcpy(&effect, view.bytes(), sizeof(effect));
            DebugOutput(L"\t%lx\n", static_cast<unsigned long>(effect));
        } else {
            DumpBlock(view.bytes(), view.size(), kDumpLimit);
        }
    }
    ::ReleaseStgMedium(&medium);
}

void DumpStreamFormat(IDataObject* object, FORMATETC format) {
    format.tymed = TYMED_ISTREAM;
    STGMEDIUM medium{};
    if (FAILED(object->GetData(&format, &medium))) {
        DebugOutput(L"GetData failed\n");
        return;
    }
    // Released on every path below.
    struct Release {
        STGMEDIUM& m;
        ~Release() { ::ReleaseStgMedium(&m); }
    } release{medium};
    if (medium.tymed != TYMED_ISTREAM) {
        DebugOutput(L"GetData IStream not TYMED_ISTREAM\n");
        return;
    }
    IStream* stream = medium.pstm;
    if (!stream) {
        DebugOutput(L"GetData IStream no pstm\n");
        return;
    }
    STATSTG stat{};
    uint64_t size = kDumpLimit;
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (hr == E_NOTIMPL) {
        size = kDumpLimit;
    } else if (FAILED(hr)) {
        DebugOutput(L"GetData IStream Stat failed: 0x%lx\n", static_cast<unsigned long>(hr));
        return;
    } else {
        size = stat.cbSize.QuadPart;
    }
    if (size >= ULONG_MAX) {
        DebugOutput(L"GetData IStream size>=ULONG_MAX: 0x%llx\n",
                    static_cast<unsigned long long>(size));
        return;
    }
    // Only what is shown is read: a dump has no use for the rest of a large stream.
    ULONG wanted = static_cast<ULONG>(size < kDumpLimit ? size : kDumpLimit);
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(wanted ? wanted : 1);
    } catch (const std::bad_alloc&) {
        DebugOutput(L"GetData IStream alloc failed, size: 0x%llx\n",
                    static_cast<unsigned long long>(size));
        return;
    }
    ULONG read = 0;
    hr = stream->Read(buffer.data(), wanted, &read);
    if (FAILED(hr)) {
        DebugOutput(L"GetData IStream Read failed: 0x%lx\n", static_cast<unsigned long>(hr));
        return;
    }
    if (read > wanted) read = wanted;  // a stream that claims more than it was asked for
    if (read != wanted)
        DebugOutput(L"GetData IStream Read size mismatch: 0x%lx != 0x%lx\n",
                    static_cast<unsigned long>(read), static_cast<unsigned long>(wanted));
    DumpBlock(buffer.data(), read, kDumpLimit);
}

void DumpFormatList(IDataObject* object, DWORD direction) {
    IEnumFORMATETC* formats = nullptr;
    HRESULT hr = object->EnumFormatEtc(direction, &formats);
    if (FAILED(hr) || !formats) {
        DebugOutput(L"Enum ended with HR %lx\n",
                    static_cast<unsigned long>(FAILED(hr) ? hr : E_POINTER));
        return;
    }
    const CLIPFORMAT dropEffect = Registered(CFSTR_PREFERREDDROPEFFECT);
    bool first = true;
    for (;;) {
        FORMATETC format{};
        ULONG fetched = 0;
        hr = formats->Next(1, &format, &fetched);
        if (hr != S_OK || fetched != 1) break;
        if (!first) DebugOutput(kDots);
        first = false;
        wchar_t name[257] = L"";
        if (::GetClipboardFormatNameW(format.cfFormat, name, 256) <= 0) name[0] = L'\0';
        DebugOutput(L"Format %u - %s (ptd %p aspect %lu lindex %ld tymed %lu)\n",
                    static_cast<unsigned>(format.cfFormat), name, static_cast<void*>(format.ptd),
                    static_cast<unsigned long>(format.dwAspect), static_cast<long>(format.lindex),
                    static_cast<unsigned long>(format.tymed));
        if (direction == DATADIR_GET) {
            if (format.cfFormat == dropEffect)
                DumpHGlobalFormat(object, format, true);
            else if ((format.tymed & TYMED_HGLOBAL) && ::lstrcmpiW(name, L"DragImageBits") != 0 &&
                     format.cfFormat != CF_DIB)
                DumpHGlobalFormat(object, format, false);
            else if (format.tymed & TYMED_ISTREAM)
                DumpStreamFormat(object, format);
        }
        if (format.ptd) ::CoTaskMemFree(format.ptd);
    }
    DebugOutput(L"Enum ended with HR %lx\n", static_cast<unsigned long>(hr));
    formats->Release();
}

// ---- the known formats

void DumpKnownFormats(IDataObject* object) {
    DWORD found = 0;
    DWORD flags = GetDwordFromDataObject(object, Registered(L"DragSourceHelperFlags"), &found);
    if (found)
        DebugOutput(L"DragSourceHelperFlags: %lx\n", static_cast<unsigned long>(flags));
    else
        DebugOutput(L"DragSourceHelperFlags: not found\n");

    if (GlobalBlock block{FetchBlock(object, Registered(L"DropDescription"))}) {
        DebugOutput(L"DropDescription:\n");
        LockedBlock view(block.get());
        if (view.bytes()) DumpBlock(view.bytes(), view.size(), kDumpLimit);
    } else {
        DebugOutput(L"DropDescription: not found\n");
    }

    uintptr_t window = GetDwordPtrFromDataObject(object, Registered(L"DragWindow"), &found);
    if (!found) {
        DebugOutput(L"DragWindow: not found\n");
    } else {
        HWND hwnd = reinterpret_cast<HWND>(window);
        wchar_t className[256];
        if (!::IsWindow(hwnd))
            DebugOutput(L"DragWindow: %p (invalid window handle)\n", static_cast<void*>(hwnd));
        else if (::GetClassNameW(hwnd, className, 256) <= 0)
            DebugOutput(L"DragWindow: %p (couldn't get class name)\n", static_cast<void*>(hwnd));
        else
            DebugOutput(L"DragWindow: %p (%s)\n", static_cast<void*>(hwnd), className);
    }

    DWORD effect = GetDwordFromDataObject(object, Registered(CFSTR_PREFERREDDROPEFFECT), &found);
    if (found)
        DebugOutput(L"Preferred Drop Effect: %lx\n", static_cast<unsigned long>(effect));
    else
        DebugOutput(L"Preferred Drop Effect: not found\n");
}

// The file names of a DROPFILES block: the header must fit and pFiles point inside the block;
// every name must end inside it (the copy carries two zero bytes more, so the list ends).
void DumpDropFiles(const uint8_t* bytes, size_t size) {
    DROPFILES header;
    if (size < sizeof(header)) {
        DebugOutput(kBadData);
        return;
    }
    std::memcpy(&header, bytes, sizeof(header));
    if (header.pFiles < sizeof(header) || header.pFiles >= size) {
        DebugOutput(kBadData);
        return;
    }
    DebugOutput(L"CF_HDROP: pFiles %ld pt %ld,%ld fNC %ld fWide %ld\n",
                static_cast<long>(header.pFiles), static_cast<long>(header.pt.x),
                static_cast<long>(header.pt.y), static_cast<long>(header.fNC),
                static_cast<long>(header.fWide));
    size_t at = header.pFiles;
    if (header.fWide) {
        for (;;) {
            std::wstring name = BoundedText<wchar_t>(bytes + at, size - at);
            size_t end = at + (name.size() + 1) * sizeof(wchar_t);
            if (end > size) {
                DebugOutput(kBadData);
                return;
            }
            if (name.empty()) return;
            DebugOutput(L"    %02lx %ls\n", static_cast<unsigned long>(name[0]), name.c_str());
            at = end;
        }
    }
    for (;;) {
        std::string name = BoundedText<char>(bytes + at, size - at);
        size_t end = at + name.size() + 1;
        if (end > size) {
            DebugOutput(kBadData);
            return;
        }
        if (name.empty()) return;
        DebugOutput(L"    %02lx %hs\n", static_cast<unsigned long>(static_cast<uint8_t>(name[0])),
                    name.c_str());
        at = end;
    }
}

// One ID list of an ID-list array: every item's size must lie inside the block, and the list
// must end with its two-byte zero terminator inside it too. Appends the data bytes to text.
bool DescribeIdList(const uint8_t* bytes, size_t size, size_t at, std::wstring& text,
                    long& firstSize) {
    firstSize = -1;
    for (;;) {
        if (at > size || size - at < sizeof(USHORT)) return false;
        USHORT cb;
        std::memcpy(&cb, bytes + at, sizeof(cb));
        if (firstSize < 0) firstSize = cb;
        if (cb == 0) return true;
        if (cb < sizeof(USHORT) || cb > size - at) return false;
        for (size_t i = at + sizeof(USHORT); i < at + cb; ++i) text.push_back(Printable(bytes[i]));
        at += cb;
    }
}

void DumpIdListArray(const uint8_t* bytes, size_t size) {
    UINT count;
    if (size < sizeof(count)) {
        DebugOutput(kBadData);
        return;
    }
    std::memcpy(&count, bytes, sizeof(count));
    // count + 1 offsets (the parent first) follow the count.
    uint64_t needed = sizeof(UINT) * (uint64_t(count) + 2);
    if (needed > size) {
        DebugOutput(kBadData);
        return;
    }
    std::vector<std::wstring> lines;
    for (UINT i = 0; i <= count; ++i) {
        UINT offset;
        std::memcpy(&offset, bytes + sizeof(UINT) * (i + 1), sizeof(offset));
        std::wstring data;
        long firstSize = 0;
        if (!DescribeIdList(bytes, size, offset, data, firstSize)) {
            DebugOutput(kBadData);
            return;
        }
        lines.push_back(L"    " + std::to_wstring(i) + L": <" + std::to_wstring(firstSize) + L" " +
                        data + L">\n");
    }
    DebugOutput(L"Shell IDList Array: %ld items\n", static_cast<long>(count));
    for (const std::wstring& line : lines) DebugOutput(L"%s", line.c_str());
}

void DumpFileGroupDescriptor(const uint8_t* bytes, size_t size) {
    UINT count;
    if (size < sizeof(count)) {
        DebugOutput(kBadData);
        return;
    }
    std::memcpy(&count, bytes, sizeof(count));
    if (uint64_t(count) * sizeof(FILEDESCRIPTORW) > size - sizeof(UINT)) {
        DebugOutput(kBadData);
        return;
    }
    DebugOutput(L"FileGroupDescriptor: %ld items\n", static_cast<long>(count));
    const uint8_t* at = bytes + offsetof(FILEGROUPDESCRIPTORW, fgd);
    for (UINT i = 0; i < count; ++i, at += sizeof(FILEDESCRIPTORW)) {
        FILEDESCRIPTORW descriptor;
        std::memcpy(&descriptor, at, sizeof(descriptor));
        std::wstring name = BoundedText<wchar_t>(
            reinterpret_cast<const uint8_t*>(descriptor.cFileName), sizeof(descriptor.cFileName));
        DebugOutput(L"    name : %s\n", name.c_str());
        DebugOutput(L"    flags : %lx\n", static_cast<unsigned long>(descriptor.dwFlags));
        DebugOutput(L"    size : %lx\n", static_cast<unsigned long>(descriptor.nFileSizeLow));
        DebugOutput(kDots);
    }
}

// Runs the dump of one format's block, or prints "not found".
template <typename Dump>
void WithBlock(IDataObject* object, CLIPFORMAT format, const wchar_t* notFound, Dump dump) {
    GlobalBlock block(FetchBlock(object, format));
    if (!block) {
        DebugOutput(notFound);
        return;
    }
    LockedBlock view(block.get());
    if (!view.bytes()) {
        DebugOutput(kBadData);
        return;
    }
    dump(view.bytes(), view.size());
}

bool Offers(IDataObject* object, CLIPFORMAT format) {
    GlobalBlock block(FetchBlock(object, format));
    return static_cast<bool>(block);
}

}  // namespace

HRESULT GetDataOnHGlobal(IDataObject* object, CLIPFORMAT format, DVTARGETDEVICE* device,
                         HGLOBAL* out) {
    if (!out) return E_POINTER;
    if (!object) {
        *out = nullptr;
        return E_INVALIDARG;
    }
    FORMATETC request = HGlobalFormat(format, device);
    STGMEDIUM medium{};
    HRESULT hr = object->GetData(&request, &medium);
    if (FAILED(hr)) return hr;
    if (medium.tymed != TYMED_HGLOBAL) {
        ::ReleaseStgMedium(&medium);
        *out = nullptr;
        return DV_E_TYMED;
    }
    if (!medium.hGlobal) {
        ::ReleaseStgMedium(&medium);
        *out = nullptr;
        return DV_E_STGMEDIUM;
    }
    if (!medium.pUnkForRelease && format != CF_HDROP) {
        *out = medium.hGlobal;  // ours now: no one else frees it
        return S_OK;
    }
    const size_t size = ::GlobalSize(medium.hGlobal);
    const size_t extra = format == CF_HDROP ? 2 : 0;
    HGLOBAL copy = ::GlobalAlloc(GHND, size + extra);
    bool copied = false;
    if (copy) {
        void* target = ::GlobalLock(copy);
        const void* source = size ? ::GlobalLock(medium.hGlobal) : nullptr;
        if (target && (source || !size)) {
            if (size) std::memcpy(target, source, size);
            copied = true;
        }
        if (source) ::GlobalUnlock(medium.hGlobal);
        if (target) ::GlobalUnlock(copy);
    }
    ::ReleaseStgMedium(&medium);
    if (!copied) {
        if (copy) ::GlobalFree(copy);
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    *out = copy;
    return S_OK;
}

uint32_t GetDwordFromDataObject(IDataObject* object, CLIPFORMAT format, DWORD* found) {
    return static_cast<uint32_t>(FetchNumber(object, format, 4, 0, found));
}

uintptr_t GetDwordPtrFromDataObject(IDataObject* object, CLIPFORMAT format, DWORD* found) {
    return static_cast<uintptr_t>(FetchNumber(object, format, sizeof(uintptr_t), 4, found));
}

uint64_t GetDwordLongFromDataObject(IDataObject* object, CLIPFORMAT format, DWORD* found) {
    return FetchNumber(object, format, 8, 0, found);
}

size_t ScrambleText(const wchar_t* text, uint8_t* out) {
    size_t k = 0;
    for (;; ++k) {
        out[k] = static_cast<uint8_t>((text[k] & 0xFF) ^ ((k + 3) & 0xFF));
        if (text[k] == L'\0') return k + 1;
    }
}

wchar_t* UnscrambleText(const uint8_t* bytes, ptrdiff_t maxChars) {
    const bool limited = maxChars >= 0;
    auto key = [](size_t k) { return static_cast<uint8_t>((k + 3) & 0xFF); };
    // The length: the position of the stored terminator, or the limit if that comes first.
    size_t length = 0;
    if (!(limited && maxChars == 0) && bytes[0] != key(0)) {
        length = 1;
        while (!(limited && length >= static_cast<size_t>(maxChars)) &&
               bytes[length] != key(length))
            ++length;
    }
    auto* text = static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(wchar_t)));
    if (!text) return nullptr;
    for (size_t k = 0; k < length; ++k) text[k] = static_cast<wchar_t>(bytes[k] ^ key(k));
    text[length] = L'\0';
    return text;
}

void DumpBlock(const void* data, size_t size, size_t maxShow) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!bytes) size = 0;
    uint32_t first4 = 0;
    uint64_t first8 = 0;
    if (size >= 8) {
        std::memcpy(&first4, bytes, 4);
        std::memcpy(&first8, bytes, 8);
        DebugOutput(
            L"Data size: %Iu (0x%08Ix) bytes; First 4 bytes as DWORD: %I32u (0x%08I32x); "
            L"First 8 bytes as DWORDLONG: %I64u (0x%016I64x)\n",
            size, size, first4, first4, first8, first8);
    } else if (size >= 4) {
        std::memcpy(&first4, bytes, 4);
        DebugOutput(L"Data size: %Iu (0x%08Ix) bytes; First 4 bytes as DWORD: %I32u (0x%08I32x)\n",
                    size, size, first4, first4);
    } else {
        DebugOutput(L"Data size: %Iu (0x%08Ix) bytes\n", size, size);
    }
    size_t shown = maxShow && size > maxShow ? maxShow : size;
    static const wchar_t kHex[] = L"0123456789abcdef";
    for (size_t start = 0; start < shown; start += 32) {
        wchar_t line[112];
        std::wmemset(line, L' ', 111);
        std::wmemcpy(line, L"Data:", 5);
        line[111] = L'\0';
        for (size_t i = 0; i < 32 && start + i < shown; ++i) {
            uint8_t b = bytes[start + i];
            size_t column = 6 + 2 * i + i / 4;
            line[column] = kHex[b >> 4];
            line[column + 1] = kHex[b & 0xF];
            line[79 + i] = Printable(b);
        }
        DebugOutput(L"%s\n", line);
    }
}

void DumpObject(IDataObject* object) {
    if (!object) return;
    DebugOutput(kSeparator);
    DebugOutput(L"EnumDataFormats - GET\n");
    DumpFormatList(object, DATADIR_GET);
    DebugOutput(kSeparator);
    DebugOutput(L"EnumDataFormats - SET\n");
    DumpFormatList(object, DATADIR_SET);
    DebugOutput(kSeparator);

    DumpKnownFormats(object);

    WithBlock(object, CF_HDROP, L"CF_HDROP: not found\n", DumpDropFiles);

    DebugOutput(L"HTML Format: %s\n",
                Offers(object, Registered(L"HTML Format")) ? L"found" : L"not found");
    WithBlock(object, Registered(L"UniformResourceLocatorW"),
              L"UniformResourceLocator: not found\n", [](const uint8_t* bytes, size_t size) {
                  DebugOutput(L"UniformResourceLocator: %s\n",
                              BoundedText<wchar_t>(bytes, size).c_str());
              });
    WithBlock(object, CF_TEXT, L"CF_TEXT: not found\n", [](const uint8_t* bytes, size_t size) {
        DebugOutput(L"CF_TEXT: %hs\n", BoundedText<char>(bytes, size).c_str());
    });

    WithBlock(object, Registered(CFSTR_SHELLIDLIST), L"Shell IDList Array: not found\n",
              DumpIdListArray);
    DebugOutput(L"Shell Object Offsets: %s\n",
                Offers(object, Registered(CFSTR_SHELLIDLISTOFFSET)) ? L"found" : L"not found");

    DebugOutput(L"FileGroupDescriptor : ");
    WithBlock(object, Registered(CFSTR_FILEDESCRIPTORW), L"FileGroupDescriptor: not found\n",
              DumpFileGroupDescriptor);
}

}  // namespace kwill::util
