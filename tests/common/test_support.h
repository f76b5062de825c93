// Helpers shared by the test executables.
#pragma once

#include "tools/common/kwill_dll.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::test {

using tools::KwillDll;

// The export with this ordinal; fails the test (and returns null) when it is missing.
template <typename Fn>
Fn Ordinal(WORD ordinal) {
    return KwillDll::Get().ByOrdinal<Fn>(ordinal);
}
template <typename Fn>
Fn Named(const char* name) {
    return KwillDll::Get().ByName<Fn>(name);
}

// The folder of the running test executable, with a trailing backslash.
std::wstring ExeFolder();

// A fresh, empty folder under the prefix's temporary folder, removed with its content by the
// destructor.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }  // with a trailing backslash
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

  private:
    std::wstring path_;
};

// A scratch configuration folder for a whole test program: the library is put in install mode 2
// with its data files there, so it never reads or writes the user's configuration. The folder
// goes with the returned object.
std::unique_ptr<TempFolder> UseScratchConfiguration();

struct ProcessResult {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0;
    DWORD error = 0;       // GetLastError when the program could not be started or waited for
    std::string out, err;  // what it wrote to standard output and error, when captured
};

// Runs a program with a command line and waits up to the limit.
ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         DWORD limitMs = 60000);
// The same, keeping what the program writes to its standard output and error.
ProcessResult RunProcessCaptured(const std::wstring& program, const std::wstring& arguments,
                                 DWORD limitMs = 60000);

std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
// UTF-16 text for a failure message: printable ASCII as it is, anything else as \uXXXX.
std::string Printable(std::wstring_view text);

// Writes a zip through the library's exports: a "dir/" folder entry, `files` small members in it
// and, when given, the archive comment. False when the archive could not be made.
bool MakeArchive(const std::wstring& path, int files, const char* comment);
std::string ReadFileText(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);

}  // namespace kwill::test
