#include "shellext/registration.h"

#include "frame/context.h"
#include "frame/win_handle.h"

#include <vector>

namespace kwill::shellext {
namespace {

bool IsRootRow(const RegRow& row) {
    return row.anchor != kRegChild && row.anchor != kRegSibling;
}

wchar_t AsciiUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The tokens are ASCII, so folding ASCII letters is the whole of "ignoring case" here.
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
    return true;
}

// The folder part of a file name, with its trailing backslash (empty when there is none).
std::wstring_view FolderOf(std::wstring_view path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? std::wstring_view{} : path.substr(0, slash + 1);
}

// The value "key\name" below root as text; empty when it is missing, not a string, or longer
// than an expansion may be.
std::wstring ReadReference(HKEY root, std::wstring_view reference) {
    size_t slash = reference.rfind(L'\\');
    std::wstring keyPath(slash == std::wstring_view::npos ? std::wstring_view{}
                                                          : reference.substr(0, slash));
    std::wstring name(slash == std::wstring_view::npos ? reference : reference.substr(slash + 1));
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return {};
    UniqueKey key(opened);
    wchar_t buffer[kRegExpansionChars];
    DWORD type = 0;
    DWORD bytes = sizeof(buffer);
    if (::RegQueryValueExW(key.get(), name.empty() ? nullptr : name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    // Stored strings need not carry their terminator; the text ends at the first zero.
    std::wstring_view text(buffer, bytes / sizeof(wchar_t));
    if (size_t end = text.find(L'\0'); end != std::wstring_view::npos) text = text.substr(0, end);
    if (text.size() >= kRegExpansionChars) return {};
    return std::wstring(text);
}

// The current key and the stack of open keys above it.
class KeyStack {
  public:
    HKEY current() const { return current_.get(); }
    void CloseAll() {
        current_.reset();
        parents_.clear();
    }
    void SetCurrent(HKEY key) { current_.reset(key); }
    // Goes one level down: the current key is kept on the stack (also when there is none, so
    // that a later sibling row still finds the right level).
    void Push(HKEY child) {
        parents_.push_back(std::move(current_));
        current_.reset(child);
    }
    // Closes the current key and goes back to the one above it.
    void Pop() {
        current_.reset();
        if (parents_.empty()) return;
        current_ = std::move(parents_.back());
        parents_.pop_back();
    }

  private:
    UniqueKey current_;
    std::vector<UniqueKey> parents_;
};

LSTATUS CreateKey(HKEY parent, const wchar_t* path, HKEY& created) {
    created = nullptr;
    return ::RegCreateKeyExW(parent, path ? path : L"", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &created, nullptr);
}

HKEY OpenKeyOrNull(HKEY parent, const wchar_t* path) {
    HKEY opened = nullptr;
    if (!parent ||
        ::RegOpenKeyExW(parent, path ? path : L"", 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS)
        return nullptr;
    return opened;
}

LSTATUS WriteValue(HKEY key, const RegRow& row, HKEY root, std::wstring_view modulePath) {
    if (row.type == REG_DWORD)
        return ::RegSetValueExW(key, row.valueName, 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&row.number), sizeof(DWORD));
    if (row.type != REG_SZ && row.type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    std::wstring text;
    if (!ExpandRowText(row, root, modulePath, text)) return ERROR_FILENAME_EXCED_RANGE;
    return ::RegSetValueExW(key, row.valueName, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

bool ExpandRowText(const RegRow& row, HKEY root, std::wstring_view modulePath,
                   std::wstring& expanded) {
    static constexpr std::wstring_view kModule = L"%MODULE%";
    static constexpr std::wstring_view kAppPath = L"%APPPATH%";
    static constexpr std::wstring_view kKwillRt = L"%KWILLRT%";
    std::wstring_view data = row.text ? std::wstring_view(row.text) : std::wstring_view{};
    std::wstring result;
    if (StartsWithNoCase(data, kModule)) {
        result.append(modulePath).append(data.substr(kModule.size()));
    } else if (StartsWithNoCase(data, kAppPath)) {
        std::wstring_view folder = FolderOf(modulePath);
        if (!folder.empty()) folder.remove_suffix(1);
        result.assign(folder);
    } else if (StartsWithNoCase(data, kKwillRt)) {
        result.append(L"\"").append(FolderOf(modulePath)).append(L"kwillrt.exe\"");
        result.append(data.substr(kKwillRt.size()));
    } else if (row.flags & kRegReference) {
        result = ReadReference(root, data);
    } else {
        result.assign(data);
    }
    if (result.size() >= kRegExpansionChars) {
        expanded.clear();
        return false;
    }
    expanded = std::move(result);
    return true;
}

LSTATUS ApplyRowsForward(std::span<const RegRow> rows, std::wstring_view modulePath) {
    KeyStack keys;
    HKEY root = nullptr;
    bool skipping = false;
    for (const RegRow& row : rows) {
        if (!row.anchor) break;  // the end marker of a table that carries one
        if (IsRootRow(row)) {
            keys.CloseAll();
            root = row.anchor;
            skipping = (row.flags & kRegNeverCreate) != 0;
            if (skipping) continue;
            HKEY created = nullptr;
            if (LSTATUS error = CreateKey(root, row.key, created)) return error;
            keys.SetCurrent(created);
        } else {
            if (skipping) continue;
            if (row.anchor == kRegSibling) keys.Pop();
            if (!keys.current()) return ERROR_INVALID_DATA;  // a child row with nothing above it
            if (row.key) {
                HKEY created = nullptr;
                if (LSTATUS error = CreateKey(keys.current(), row.key, created)) return error;
                keys.Push(created);
            }
        }
        if (row.type != REG_NONE)
            if (LSTATUS error = WriteValue(keys.current(), row, root, modulePath)) return error;
    }
    return ERROR_SUCCESS;
}

LSTATUS ApplyRowsBackward(std::span<const RegRow> rows) {
    KeyStack keys;
    bool skipping = false;
    for (const RegRow& row : rows) {
        if (!row.anchor) break;
        if (IsRootRow(row)) {
            keys.CloseAll();
            skipping = false;
            if (row.flags & kRegDeleteTree) {
                LSTATUS error = RecursiveDeleteKey(row.anchor, row.key);
                if (error == ERROR_ACCESS_DENIED) return error;
                skipping = true;  // what was below it is gone with it
                continue;
            }
            keys.SetCurrent(OpenKeyOrNull(row.anchor, row.key));
        } else {
            if (skipping) continue;
            if (row.anchor == kRegSibling) keys.Pop();
            if (row.key) keys.Push(OpenKeyOrNull(keys.current(), row.key));
        }
        if (row.type != REG_NONE && keys.current())
            ::RegDeleteValueW(keys.current(), row.valueName);
    }
    return ERROR_SUCCESS;
}

LSTATUS RecursiveDeleteKey(HKEY parent, const wchar_t* path) {
    // An empty path would name the parent itself and empty it: never.
    if (!path || !*path) return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    if (LSTATUS error = ::RegOpenKeyExW(parent, path, 0, KEY_ALL_ACCESS, &opened)) return error;
    UniqueKey key(opened);
    // Key names are at most 255 characters. Deleting subkey 0 each time moves the next one to
    // index 0, so the loop ends when the key has no subkeys left.
    wchar_t name[256];
    for (;;) {
        DWORD chars = 256;
        LSTATUS found =
            ::RegEnumKeyExW(key.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (found == ERROR_NO_MORE_ITEMS) break;
        if (found != ERROR_SUCCESS) return found;
        if (LSTATUS error = RecursiveDeleteKey(key.get(), name)) return error;
    }
    key.reset();
    return ::RegDeleteKeyW(parent, path);
}

std::wstring OwnModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD got =
            ::GetModuleFileNameW(Context().module, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) return {};
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

}  // namespace kwill::shellext
