// Helpers for the shell-namespace tests: byte lists built by hand, blocks that end at an
// inaccessible page (so a read or write one byte too far faults at once), and real ID lists of
// the prefix's folders.
#pragma once

#include "frame/platform.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace kwill::test {

// A list from items given as their data bytes (cb is added) and a terminator.
inline std::vector<uint8_t> MakeList(std::initializer_list<std::vector<uint8_t>> items) {
    std::vector<uint8_t> list;
    for (const std::vector<uint8_t>& data : items) {
        size_t cb = data.size() + 2;
        list.push_back(static_cast<uint8_t>(cb));
        list.push_back(static_cast<uint8_t>(cb >> 8));
        list.insert(list.end(), data.begin(), data.end());
    }
    list.push_back(0);
    list.push_back(0);
    return list;
}

// Bytes placed so that the last one sits just before a PAGE_NOACCESS page.
class GuardedBytes {
  public:
    explicit GuardedBytes(const std::vector<uint8_t>& bytes, DWORD protect = PAGE_READWRITE)
        : size_(bytes.size()) {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        page_ = info.dwPageSize;
        size_t pages = (size_ + page_ - 1) / page_ + 1;
        base_ = static_cast<uint8_t*>(
            ::VirtualAlloc(nullptr, pages * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        data_ = base_ + (pages - 1) * page_ - size_;
        if (size_) std::memcpy(data_, bytes.data(), size_);
        DWORD old = 0;
        ::VirtualProtect(base_ + (pages - 1) * page_, page_, PAGE_NOACCESS, &old);
        if (protect != PAGE_READWRITE) ::VirtualProtect(base_, (pages - 1) * page_, protect, &old);
    }
    ~GuardedBytes() { ::VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    uint8_t* data() const { return data_; }
    LPITEMIDLIST pidl() const { return reinterpret_cast<LPITEMIDLIST>(data_); }
    std::vector<uint8_t> bytes() const { return {data_, data_ + size_}; }

  private:
    size_t size_;
    size_t page_ = 4096;
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
};

// The shell's own ID list for a parsing name, freed by the destructor.
class ShellList {
  public:
    explicit ShellList(const std::wstring& name) {
        ::SHParseDisplayName(name.c_str(), nullptr, &list_, 0, nullptr);
    }
    ~ShellList() { ::CoTaskMemFree(list_); }
    ShellList(const ShellList&) = delete;
    ShellList& operator=(const ShellList&) = delete;

    LPITEMIDLIST get() const { return list_; }
    std::vector<uint8_t> bytes() const {
        auto* p = reinterpret_cast<const uint8_t*>(list_);
        return {p, p + ::ILGetSize(list_)};
    }

  private:
    PIDLIST_ABSOLUTE list_ = nullptr;
};

// Parsing names of real objects of the prefix: file-system folders and files, the desktop's
// virtual folders and a known folder by its path.
inline std::vector<std::wstring> PrefixNames() {
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring win = windows;
    return {
        L"C:\\",
        win,
        win + L"\\system32",
        win + L"\\system32\\drivers",
        win + L"\\win.ini",
        win + L"\\system32\\kernel32.dll",
        L"C:\\users\\Public",
        L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
        L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}",
        L"::{26EE0668-A00A-44D7-9371-BEB064C98683}",
    };
}

inline std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// COM for the test's thread, which the shell's folders need.
struct ComScope {
    ComScope() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComScope() { ::CoUninitialize(); }
};

}  // namespace kwill::test
