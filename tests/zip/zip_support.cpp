#include "tests/zip/zip_support.h"

#include <random>

namespace kwill::test {

std::wstring OutputFolder() {
    static const std::wstring folder = [] {
        std::wstring path = ExeFolder() + L"zip_out\\";
        ::CreateDirectoryW(path.c_str(), nullptr);
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW((path + L"*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    ::DeleteFileW((path + found.cFileName).c_str());
            } while (::FindNextFileW(find, &found));
            ::FindClose(find);
        }
        return path;
    }();
    return folder;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    std::wstring pattern = folder;
    if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
    HANDLE find = ::FindFirstFileW((pattern + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
}

std::vector<uint8_t> MixedBytes(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"archive ", "member ", "folder ", "the ",   "zip ",
                                         "engine ",  "of ",     "data\n",  "12345 ", "name "};
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size) {
        if (random() % 4 == 0) {
            for (int i = 0; i < 64 && out.size() < size; ++i)
                out.push_back(static_cast<uint8_t>(random()));
        } else {
            for (int i = 0; i < 16 && out.size() < size; ++i) {
                const char* w = kWords[random() % 10];
                while (*w && out.size() < size) out.push_back(static_cast<uint8_t>(*w++));
            }
        }
    }
    return out;
}

}  // namespace kwill::test
