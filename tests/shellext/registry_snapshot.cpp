#include "tests/shellext/registry_snapshot.h"

#include "frame/win_handle.h"

#include <algorithm>
#include <cwctype>
#include <set>

namespace kwill::test {
namespace {

struct Root {
    const wchar_t* name;
    HKEY key;
};
const Root kRoots[] = {{L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKCU", HKEY_CURRENT_USER}};

HKEY RootOf(const std::wstring& path, std::wstring& rest) {
    for (const Root& root : kRoots) {
        std::wstring prefix = std::wstring(root.name) + L"\\";
        if (path.compare(0, prefix.size(), prefix) == 0) {
            rest = path.substr(prefix.size());
            return root.key;
        }
    }
    return nullptr;
}

// Left out of snapshots: the 32-bit view (under Wine much of it is the same keys again) and
// Wine's own settings, which Wine rewrites whenever a program starts.
bool Skipped(const std::wstring& name) {
    return ::lstrcmpiW(name.c_str(), L"Wow6432Node") == 0;
}

void Walk(HKEY key, const std::wstring& path, RegistrySnapshot& snapshot) {
    snapshot.keys[path] = true;
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                           &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(std::max<DWORD>(maxName, maxSubkey) + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD bytes = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name.data(), &nameChars, nullptr, &type, data.data(), &bytes) !=
            ERROR_SUCCESS)
            continue;
        RegistryValue value{path, std::wstring(name.data(), nameChars), type,
                            std::vector<BYTE>(data.begin(), data.begin() + bytes)};
        snapshot.values[path + L" | " + value.name] = std::move(value);
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(key, i, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            continue;
        std::wstring child(name.data(), nameChars);
        if (Skipped(child) ||
            ::lstrcmpiW((path + L"\\" + child).c_str(), L"HKCU\\Software\\Wine") == 0 ||
            ::lstrcmpiW((path + L"\\" + child).c_str(), L"HKLM\\Software\\Wine") == 0)
            continue;
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            snapshot.keys[path + L"\\" + child] = true;  // a key we may not read still exists
            continue;
        }
        UniqueKey sub(opened);
        Walk(sub.get(), path + L"\\" + child, snapshot);
    }
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring ValueLine(wchar_t mark, const RegistryValue& value) {
    return std::wstring(1, mark) + L" " + Lower(value.key) + L" | " +
           (value.name.empty() ? L"(default)" : value.name) + L" | " + value.Text();
}

bool IsBelow(const std::wstring& path, const std::wstring& key) {
    return path.size() > key.size() && path.compare(0, key.size(), key) == 0 &&
           path[key.size()] == L'\\';
}

}  // namespace

std::wstring RegistryValue::Text() const {
    wchar_t buffer[32];
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()),
                          data.size() / sizeof(wchar_t));
        if (size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
        return (type == REG_SZ ? L"REG_SZ | " : L"REG_EXPAND_SZ | ") + text;
    }
    if (type == REG_DWORD && data.size() == 4) {
        DWORD number;
        std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(&number));
        std::swprintf(buffer, 32, L"REG_DWORD | 0x%08lx", static_cast<unsigned long>(number));
        return buffer;
    }
    std::swprintf(buffer, 32, L"type %lu |", static_cast<unsigned long>(type));
    std::wstring text = buffer;
    for (BYTE b : data) {
        std::swprintf(buffer, 32, L" %02x", b);
        text += buffer;
    }
    return text;
}

namespace {

RegistrySnapshot WalkRoots() {
    RegistrySnapshot snapshot;
    for (const Root& root : kRoots) {
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(root.key, L"Software", 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
        UniqueKey key(opened);
        Walk(key.get(), std::wstring(root.name) + L"\\Software", snapshot);
    }
    return snapshot;
}

}  // namespace

// A walk reads by index, so a key or value that another process adds or deletes meanwhile shifts
// the ones after it: the walk then misses a neighbour (with all below it) or reads one twice. A
// snapshot therefore counts only once two walks in a row agree.
RegistrySnapshot TakeSnapshot() {
    RegistrySnapshot last = WalkRoots();
    for (int round = 0; round < 20; ++round) {
        RegistrySnapshot next = WalkRoots();
        bool settled = Difference(last, next).empty();
        last = std::move(next);
        if (settled) break;
    }
    return last;
}

std::vector<std::wstring> Difference(const RegistrySnapshot& before,
                                     const RegistrySnapshot& after) {
    std::vector<std::wstring> lines;
    std::set<std::wstring> touched;  // keys with a value line in or below them
    for (const auto& [id, value] : after.values) {
        auto old = before.values.find(id);
        if (old == before.values.end()) {
            lines.push_back(ValueLine(L'+', value));
        } else if (old->second.type != value.type || old->second.data != value.data) {
            lines.push_back(ValueLine(L'~', value));
        } else {
            continue;
        }
        touched.insert(value.key);
    }
    for (const auto& [id, value] : before.values) {
        if (after.values.count(id)) continue;
        lines.push_back(ValueLine(L'-', value));
        touched.insert(value.key);
    }
    std::vector<std::wstring> added, removed;
    for (const auto& [path, present] : after.keys)
        if (!before.keys.count(path)) added.push_back(path);
    for (const auto& [path, present] : before.keys)
        if (!after.keys.count(path)) removed.push_back(path);
    auto implied = [&](const std::wstring& key, const std::vector<std::wstring>& sameKind) {
        if (touched.count(key)) return true;
        for (const std::wstring& t : touched)
            if (IsBelow(t, key)) return true;
        for (const std::wstring& other : sameKind)
            if (IsBelow(other, key)) return true;
        return false;
    };
    for (const std::wstring& key : added)
        if (!implied(key, added)) lines.push_back(L"+ " + Lower(key));
    for (const std::wstring& key : removed)
        if (!implied(key, removed)) lines.push_back(L"- " + Lower(key));
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::wstring> RestoreAdded(const RegistrySnapshot& before) {
    RegistrySnapshot now = TakeSnapshot();
    std::vector<std::wstring> left;
    for (const std::wstring& line : Difference(before, now))
        if (line[0] == L'-') left.push_back(line);
    for (const auto& [id, value] : now.values) {
        std::wstring rest;
        HKEY root = RootOf(value.key, rest);
        if (!root) continue;
        auto old = before.values.find(id);
        if (old != before.values.end() && old->second.type == value.type &&
            old->second.data == value.data)
            continue;
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(root, rest.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) {
            left.push_back(L"? " + id);
            continue;
        }
        UniqueKey key(opened);
        const wchar_t* name = value.name.empty() ? nullptr : value.name.c_str();
        LSTATUS error =
            old == before.values.end()
                ? ::RegDeleteValueW(key.get(), name)
                : ::RegSetValueExW(key.get(), name, 0, old->second.type, old->second.data.data(),
                                   static_cast<DWORD>(old->second.data.size()));
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) left.push_back(L"? " + id);
    }
    // Children sort after their parents, so going backwards deletes them first.
    for (auto it = now.keys.rbegin(); it != now.keys.rend(); ++it) {
        if (before.keys.count(it->first)) continue;
        std::wstring rest;
        HKEY root = RootOf(it->first, rest);
        LSTATUS error = root ? ::RegDeleteTreeW(root, rest.c_str()) : ERROR_INVALID_HANDLE;
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
            left.push_back(L"? " + it->first);
    }
    return left;
}

std::string Narrow(const std::wstring& text) {
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(),
                          bytes, nullptr, nullptr);
    return out;
}

}  // namespace kwill::test
