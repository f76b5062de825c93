// Loads kwilllib.dll the way the host does and finds its exports by name or by ordinal. Shared by
// the command-line tool, the benchmark and the tests, which all reach the library through its
// real export table.
#pragma once

#include "frame/platform.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kwill::tools {

class KwillDll {
  public:
    // The DLL beside the running executable, loaded once for the process.
    static KwillDll& Get() {
        static KwillDll dll;
        return dll;
    }

    HMODULE module() const { return module_; }

    template <typename Fn>
    Fn ByName(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    }

    template <typename Fn>
    Fn ByOrdinal(WORD ordinal) const {
        return reinterpret_cast<Fn>(
            reinterpret_cast<void*>(::GetProcAddress(module_, MAKEINTRESOURCEA(ordinal))));
    }

    // Like ByName/ByOrdinal, but a missing export ends the program with a message: a client
    // that needs the function cannot go on without it.
    template <typename Fn>
    Fn Require(const char* name) const {
        Fn fn = ByName<Fn>(name);
        if (!fn) Fail(name);
        return fn;
    }
    template <typename Fn>
    Fn Require(WORD ordinal) const {
        Fn fn = ByOrdinal<Fn>(ordinal);
        if (!fn) Fail(("ordinal " + std::to_string(ordinal)).c_str());
        return fn;
    }

    static std::wstring Path() {
        wchar_t exe[MAX_PATH * 4];
        DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH * 4);
        std::wstring path(exe, n);
        size_t slash = path.find_last_of(L"\\/");
        path.resize(slash == std::wstring::npos ? 0 : slash + 1);
        return path + L"kwilllib.dll";
    }

  private:
    KwillDll() {
        module_ = ::LoadLibraryW(Path().c_str());
        if (!module_) {
            std::fprintf(stderr, "cannot load kwilllib.dll (error %lu)\n", ::GetLastError());
            std::exit(3);
        }
    }

    [[noreturn]] static void Fail(const char* what) {
        std::fprintf(stderr, "kwilllib.dll lacks the export %s\n", what);
        std::exit(3);
    }

    HMODULE module_ = nullptr;
};

}  // namespace kwill::tools
