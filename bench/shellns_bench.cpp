// ID-list exports against shell32's own routines (and crypt32's Base64 for the text form) on the
// shell's lists of real folders of the prefix.
#include "bench/harness.h"
#include "tools/common/kwill_dll.h"

#include <shlobj.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace kwill::bench {
namespace {

using tools::KwillDll;

std::vector<PIDLIST_ABSOLUTE> RealLists() {
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring win = windows;
    const std::wstring names[] = {L"C:\\",
                                  win,
                                  win + L"\\system32",
                                  win + L"\\system32\\drivers",
                                  win + L"\\win.ini",
                                  L"C:\\users\\Public"};
    std::vector<PIDLIST_ABSOLUTE> lists;
    for (const std::wstring& name : names) {
        PIDLIST_ABSOLUTE list = nullptr;
        if (SUCCEEDED(::SHParseDisplayName(name.c_str(), nullptr, &list, 0, nullptr)) && list) {
            lists.push_back(list);
        }
    }
    return lists;
}

void Run() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<PIDLIST_ABSOLUTE> lists = RealLists();
    if (lists.empty()) return;
    KwillDll& dll = KwillDll::Get();
    auto ilSize = dll.Require<DWORD (*)(LPCITEMIDLIST)>("ILSize");
    auto copy = dll.Require<LPITEMIDLIST (*)(LPCITEMIDLIST, DWORD)>("PIDLCopy");
    auto append = dll.Require<LPITEMIDLIST (*)(LPCITEMIDLIST, LPCITEMIDLIST, BOOL)>("ILAppend");
    auto pidlFree = dll.Require<void (*)(LPITEMIDLIST)>("PIDLFree");
    auto toString = dll.Require<DWORD (*)(LPCITEMIDLIST, wchar_t*, DWORD, WORD)>("PIDLToString");
    auto fromString = dll.Require<LPITEMIDLIST (*)(const wchar_t*, WORD*)>("PIDLFromString");
    double n = static_cast<double>(lists.size());

    Compare(
        "ID-list size (ILSize)", {Unit::NanosecondsPerOp, n},
        [&] {
            DWORD sum = 0;
            for (auto* l : lists) sum += ilSize(l);
            Keep(sum);
        },
        "ILGetSize",
        [&] {
            UINT sum = 0;
            for (auto* l : lists) sum += ::ILGetSize(l);
            Keep(sum);
        });
    Compare(
        "ID-list copy (PIDLCopy)", {Unit::NanosecondsPerOp, n},
        [&] {
            for (auto* l : lists) pidlFree(copy(l, 0xFFFFFFFF));
        },
        "ILClone",
        [&] {
            for (auto* l : lists) ::ILFree(::ILClone(l));
        });
    Compare(
        "ID-list join (ILAppend)", {Unit::NanosecondsPerOp, n},
        [&] {
            for (size_t i = 0; i < lists.size(); ++i) {
                pidlFree(append(lists[i], lists[lists.size() - 1 - i], FALSE));
            }
        },
        "ILCombine",
        [&] {
            for (size_t i = 0; i < lists.size(); ++i) {
                ::ILFree(::ILCombine(lists[i], lists[lists.size() - 1 - i]));
            }
        });

    // Text form against crypt32's Base64 of the same bytes (no header, no validation).
    std::vector<std::wstring> texts;
    size_t bytes = 0;
    for (auto* l : lists) {
        DWORD chars = toString(l, nullptr, 0, 0);
        std::wstring text(chars, L'\0');
        toString(l, text.data(), chars, 0);
        texts.push_back(text);
        bytes += ilSize(l);
    }
    wchar_t buffer[4096];
    BYTE raw[4096];
    Compare(
        "ID list to text (PIDLToString)", {Unit::MegabytesPerSecond, static_cast<double>(bytes)},
        [&] {
            for (auto* l : lists) toString(l, buffer, 4096, 0);
            Keep(buffer);
        },
        "CryptBinaryToStringW",
        [&] {
            for (auto* l : lists) {
                DWORD chars = 4096;
                ::CryptBinaryToStringW(reinterpret_cast<const BYTE*>(l), ilSize(l),
                                       CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, buffer, &chars);
            }
            Keep(buffer);
        });
    Compare(
        "text to ID list (PIDLFromString)", {Unit::MegabytesPerSecond, static_cast<double>(bytes)},
        [&] {
            for (const std::wstring& t : texts) pidlFree(fromString(t.c_str(), nullptr));
        },
        "CryptStringToBinaryW",
        [&] {
            for (const std::wstring& t : texts) {
                DWORD size = sizeof(raw);
                ::CryptStringToBinaryW(t.c_str() + 1, 0, CRYPT_STRING_BASE64, raw, &size, nullptr,
                                       nullptr);
            }
            Keep(raw);
        });

    for (auto* l : lists) ::ILFree(l);
    ::CoUninitialize();
}

const SuiteRegistrar kSuite({"shellns", Run});

}  // namespace
}  // namespace kwill::bench
