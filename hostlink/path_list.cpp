#include "hostlink/path_list.h"

#include "frame/text_convert.h"
#include "frame/xml_document.h"
#include "shellns/id_list_text.h"
#include "shellns/shell_folder.h"

#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kwill::hostlink {
namespace {

void* HeapAllocZeroed(HANDLE heap, size_t bytes) {
    return ::HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}

// Display names of ID lists are cut at this many characters.
constexpr size_t kMaxParsingName = 16384;

// ---- the registry of live lists and entries

struct Registry {
    SRWLOCK lock = SRWLOCK_INIT;
    std::unordered_map<const PathList*, std::vector<const PathListEntry*>> lists;
    std::unordered_set<const void*> entries;
};

Registry& Live() {
    static Registry registry;
    return registry;
}

class SharedLock {
  public:
    explicit SharedLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockShared(&lock_); }
    ~SharedLock() { ::ReleaseSRWLockShared(&lock_); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

  private:
    SRWLOCK& lock_;
};

class ExclusiveLock {
  public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  private:
    SRWLOCK& lock_;
};

// Callers hold the registry lock.
bool IsLiveList(const void* p) {
    return p && Live().lists.count(static_cast<const PathList*>(p)) != 0;
}
bool IsLiveEntry(const void* p) {
    return p && Live().entries.count(p) != 0;
}

// ---- building

bool NameIs(const TiXmlElement* element, const char* name) {
    return _stricmp(element->Value(), name) == 0;
}

// The parsing name of the object an ID-list text names: "{desktop}" for the empty list, nothing
// when the text is no list or the shell cannot name it.
std::optional<std::wstring> ParsingNameOfListText(const char* text) {
    if (!text) return std::nullopt;
    std::optional<shellns::ParsedList> parsed = shellns::ParseText(WidenText(text, CP_ACP).c_str());
    if (!parsed) return std::nullopt;
    if (parsed->bytes.size() <= 2) return std::wstring(L"{desktop}");
    IShellFolder* desktop = nullptr;
    if (FAILED(::SHGetDesktopFolder(&desktop)) || !desktop) return std::nullopt;
    auto list = reinterpret_cast<PCUIDLIST_RELATIVE>(parsed->bytes.data());
    STRRET name = {};
    std::optional<std::wstring> result;
    if (SUCCEEDED(desktop->GetDisplayNameOf(list, SHGDN_FORPARSING, &name))) {
        std::vector<wchar_t> buffer(kMaxParsingName, L'\0');
        shellns::ConvertStrRet(&name, parsed->bytes.data(), buffer.data(),
                               static_cast<uint32_t>(buffer.size()));
        result = std::wstring(buffer.data());
    }
    desktop->Release();
    return result;
}

class Builder {
  public:
    explicit Builder(PathList* list) : list_(list) {}

    // Appends the entries of the top element's children, depth first, without recursion: a
    // stack of the containers being filled, each with the next element to read.
    void Build(const TiXmlElement* top) {
        struct Frame {
            const TiXmlElement* next;
            PathListEntry** tail;
        };
        std::vector<Frame> stack;
        stack.push_back({top->FirstChildElement(), &list_->first});
        while (!stack.empty()) {
            const TiXmlElement* element = stack.back().next;
            if (!element) {
                stack.pop_back();
                continue;
            }
            stack.back().next = element->NextSiblingElement();
            PathListEntry* entry = nullptr;
            if (NameIs(element, "folder")) {
                const char* label = element->Attribute("label");
                if (!label) continue;  // a sub-folder needs a label; its children go with it
                entry = NewEntry(Text::Utf8(label), Text::None());
                if (!entry) continue;
                Append(stack.back().tail, entry);
                stack.push_back({element->FirstChildElement(), &entry->child});
            } else if (NameIs(element, "path")) {
                std::wstring parsingName;
                std::optional<Text> path = PathOf(element, parsingName);
                if (!path) continue;
                entry = NewEntry(Text::Utf8(element->Attribute("label")), *path);
                if (entry) Append(stack.back().tail, entry);
            }
        }
    }

    std::vector<const PathListEntry*>& entries() { return entries_; }

  private:
    // A string for an entry: absent, UTF-8 from the file, or UTF-16 worked out here.
    struct Text {
        const char* utf8 = nullptr;
        const std::wstring* wide = nullptr;
        static Text None() { return {}; }
        static Text Utf8(const char* text) { return {text, nullptr}; }
        static Text Wide(const std::wstring* text) { return {nullptr, text}; }
        bool present() const { return utf8 || wide; }
    };

    // The path of a "path" element: nothing when it has none and is skipped; Text::None() for a
    // "pidl" that did not convert, which keeps the entry without a path. A converted name is
    // kept in `name`.
    static std::optional<Text> PathOf(const TiXmlElement* element, std::wstring& name) {
        const TiXmlElement* dir = element->FirstChildElement("dir");
        if (!dir) return std::nullopt;
        if (const TiXmlElement* text = dir->FirstChildElement("pathstring")) {
            const char* value = text->GetText();
            return Text::Utf8(value ? value : "");
        }
        if (const TiXmlElement* pidl = dir->FirstChildElement("pidl")) {
            std::optional<std::wstring> converted = ParsingNameOfListText(pidl->GetText());
            if (!converted) return Text::None();
            name = std::move(*converted);
            return Text::Wide(&name);
        }
        return std::nullopt;
    }

    // Copies (and converts) the text onto the list's heap.
    wchar_t* NewString(const Text& text) {
        if (text.wide) {
            size_t bytes = (text.wide->size() + 1) * sizeof(wchar_t);
            auto* copy = static_cast<wchar_t*>(PathListAllocSeam()(list_->heap, bytes));
            if (copy) std::memcpy(copy, text.wide->c_str(), bytes);
            return copy;
        }
        // UTF-8 never takes fewer bytes than UTF-16 takes units.
        size_t length = std::strlen(text.utf8);
        if (length >= INT_MAX) return nullptr;
        auto* copy =
            static_cast<wchar_t*>(PathListAllocSeam()(list_->heap, (length + 1) * sizeof(wchar_t)));
        if (!copy) return nullptr;
        int n = length ? ::MultiByteToWideChar(CP_UTF8, 0, text.utf8, static_cast<int>(length),
                                               copy, static_cast<int>(length))
                       : 0;
        copy[n] = 0;
        return copy;
    }

    // A zeroed entry with copies of the strings, or null (nothing kept) when memory runs out.
    PathListEntry* NewEntry(const Text& label, const Text& path) {
        auto* entry =
            static_cast<PathListEntry*>(PathListAllocSeam()(list_->heap, sizeof(PathListEntry)));
        if (!entry) return nullptr;
        std::memset(entry, 0, sizeof(*entry));
        if ((label.present() && !(entry->label = NewString(label))) ||
            (path.present() && !(entry->path = NewString(path)))) {
            if (entry->label) ::HeapFree(list_->heap, 0, entry->label);
            ::HeapFree(list_->heap, 0, entry);
            return nullptr;
        }
        entry->tag = kPathEntryTag;
        entries_.push_back(entry);
        return entry;
    }

    static void Append(PathListEntry**& tail, PathListEntry* entry) {
        *tail = entry;
        tail = &entry->next;
    }

    PathList* list_;
    std::vector<const PathListEntry*> entries_;
};

PathList* NewEmptyList() {
    auto* list = static_cast<PathList*>(::LocalAlloc(LPTR, sizeof(PathList)));
    if (!list) return nullptr;
    list->heap = ::HeapCreate(0, 16384, 0);
    if (!list->heap) {
        ::LocalFree(list);
        return nullptr;
    }
    list->tag = kPathListTag;
    return list;
}

void DestroyList(PathList* list) {
    list->tag = 0;
    ::HeapDestroy(list->heap);
    ::LocalFree(list);
}

const TiXmlElement* TopElement(const TiXmlDocument& document, const char* name) {
    for (const TiXmlElement* e = document.FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (std::strcmp(e->Value(), name) == 0) return e;
    }
    return nullptr;
}

const PathListEntry* SkipTo(const PathListEntry* entry, bool withPath) {
    while (entry && (entry->path != nullptr) != withPath) entry = entry->next;
    return entry;
}

// The copy rules shared by the W and A forms: the buffer is emptied first; the bare-drive
// backslash is added when there is room for it.
template <typename Char, typename Copy>
bool CopyField(const PathListEntry* entry, wchar_t* PathListEntry::*field, Char* buffer,
               size_t size, bool bareDrive, Copy copy) {
    if (!buffer || size == 0) return false;
    buffer[0] = 0;
    SharedLock lock(Live().lock);
    if (!IsLiveEntry(entry) || !(entry->*field)) return false;
    std::wstring_view text = entry->*field;
    const wchar_t drive[] = {text.empty() ? L'\0' : text[0], L':', L'\\', L'\0'};
    if (bareDrive && text.size() == 2 && text[1] == L':' && size >= 4) text = {drive, 3};
    copy(text, buffer, size);
    return true;
}

void CopyWide(std::wstring_view text, wchar_t* buffer, size_t chars) {
    size_t n = std::min(text.size(), chars - 1);
    std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
    buffer[n] = 0;
}

void CopyAnsi(std::wstring_view text, char* buffer, size_t bytes) {
    std::string ansi;
    try {
        ansi = AnsiPrefix(text, bytes);
    } catch (const std::bad_alloc&) {
        // Leave the buffer empty.
    }
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
}

}  // namespace

PathListAllocFn& PathListAllocSeam() {
    static PathListAllocFn allocate = HeapAllocZeroed;
    return allocate;
}

PathList* ReadPathList(const wchar_t* file, const char* topElement) {
    PathList* list = NewEmptyList();
    if (!list) return nullptr;
    try {
        Builder builder(list);
        if (file) {
            XmlDocumentFile document;
            if (document.LoadFile(file, TIXML_ENCODING_UTF8)) {
                if (const TiXmlElement* top = TopElement(document, topElement)) {
                    builder.Build(top);
                }
            }
        }
        Registry& live = Live();
        ExclusiveLock lock(live.lock);
        auto slot = live.lists.emplace(list, std::vector<const PathListEntry*>()).first;
        try {
            live.entries.insert(builder.entries().begin(), builder.entries().end());
        } catch (...) {
            for (const PathListEntry* e : builder.entries()) live.entries.erase(e);
            live.lists.erase(slot);
            throw;
        }
        slot->second.swap(builder.entries());
    } catch (...) {
        DestroyList(list);
        return nullptr;
    }
    return list;
}

void FreePathList(PathList* list) {
    Registry& live = Live();
    {
        ExclusiveLock lock(live.lock);
        auto found = live.lists.find(list);
        if (found == live.lists.end()) return;
        for (const PathListEntry* entry : found->second) {
            live.entries.erase(entry);
            const_cast<PathListEntry*>(entry)->tag = 0;
        }
        live.lists.erase(found);
    }
    DestroyList(list);
}

PathListEntry* FirstEntry(const void* from, bool withPath) {
    SharedLock lock(Live().lock);
    const PathListEntry* start = nullptr;
    if (IsLiveList(from)) {
        start = static_cast<const PathList*>(from)->first;
    } else if (IsLiveEntry(from)) {
        start = static_cast<const PathListEntry*>(from)->child;
    } else {
        return nullptr;
    }
    return const_cast<PathListEntry*>(SkipTo(start, withPath));
}

PathListEntry* NextEntry(const PathListEntry* entry, bool withPath) {
    SharedLock lock(Live().lock);
    if (!IsLiveEntry(entry)) return nullptr;
    return const_cast<PathListEntry*>(SkipTo(entry->next, withPath));
}

bool CopyEntryLabel(const PathListEntry* entry, wchar_t* buffer, size_t chars) {
    return CopyField(entry, &PathListEntry::label, buffer, chars, false, CopyWide);
}

bool CopyEntryPath(const PathListEntry* entry, wchar_t* buffer, size_t chars) {
    return CopyField(entry, &PathListEntry::path, buffer, chars, true, CopyWide);
}

bool CopyEntryLabelA(const PathListEntry* entry, char* buffer, size_t bytes) {
    return CopyField(entry, &PathListEntry::label, buffer, bytes, false, CopyAnsi);
}

bool CopyEntryPathA(const PathListEntry* entry, char* buffer, size_t bytes) {
    return CopyField(entry, &PathListEntry::path, buffer, bytes, true, CopyAnsi);
}

std::string AnsiPrefix(std::wstring_view text, size_t bytes, UINT codePage) {
    if (bytes == 0 || text.empty()) return {};
    constexpr DWORD kFlags = WC_COMPOSITECHECK;
    auto converted = [&](size_t chars) {
        return static_cast<size_t>(::WideCharToMultiByte(
            codePage, kFlags, text.data(), static_cast<int>(chars), nullptr, 0, nullptr, nullptr));
    };
    const size_t room = bytes - 1;
    size_t chars = std::min<size_t>(text.size(), INT_MAX);
    if (converted(chars) > room) {
        // The longest prefix that fits (the converted size grows with the prefix), not ending
        // between the halves of a surrogate pair.
        size_t fits = 0, tooLong = chars;
        while (tooLong - fits > 1) {
            size_t mid = fits + (tooLong - fits) / 2;
            if (converted(mid) <= room) {
                fits = mid;
            } else {
                tooLong = mid;
            }
        }
        chars = fits;
        if (chars > 0 && IS_HIGH_SURROGATE(text[chars - 1])) --chars;
    }
    if (chars == 0) return {};
    std::string out(converted(chars), '\0');
    ::WideCharToMultiByte(codePage, kFlags, text.data(), static_cast<int>(chars), out.data(),
                          static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

}  // namespace kwill::hostlink
