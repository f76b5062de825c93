// Move-only owners for Windows handles and blocks, so that every return path releases them.
#pragma once

#include "frame/platform.h"

#include <utility>

namespace kwill {

template <typename T, auto Close, auto Invalid = nullptr>
class UniqueResource {
  public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != T(Invalid); }
    T release() { return std::exchange(value_, T(Invalid)); }
    void reset(T value = T(Invalid)) {
        T old = std::exchange(value_, value);
        if (old != T(Invalid)) Close(old);
    }

  private:
    T value_ = T(Invalid);
};

inline void CloseHandleIgnoringResult(HANDLE h) {
    ::CloseHandle(h);
}
inline void FreeLibraryIgnoringResult(HMODULE h) {
    ::FreeLibrary(h);
}
inline void RegCloseKeyIgnoringResult(HKEY h) {
    ::RegCloseKey(h);
}
inline void LocalFreeIgnoringResult(HLOCAL h) {
    ::LocalFree(h);
}

// A handle where null means "none" (events, threads, processes, mutexes).
using UniqueHandle = UniqueResource<HANDLE, CloseHandleIgnoringResult>;
using UniqueModule = UniqueResource<HMODULE, FreeLibraryIgnoringResult>;
using UniqueKey = UniqueResource<HKEY, RegCloseKeyIgnoringResult>;
using UniqueLocal = UniqueResource<HLOCAL, LocalFreeIgnoringResult>;

// Files: INVALID_HANDLE_VALUE is the empty state, which cannot be a template argument of
// pointer type, so the file owner is written out.
class UniqueFile {
  public:
    UniqueFile() = default;
    explicit UniqueFile(HANDLE h) : h_(h) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    UniqueFile(UniqueFile&& o) noexcept : h_(o.release()) {}
    UniqueFile& operator=(UniqueFile&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~UniqueFile() { reset(); }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        HANDLE old = std::exchange(h_, h);
        if (old != INVALID_HANDLE_VALUE && old != nullptr) ::CloseHandle(old);
    }

  private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// A critical section held for one scope.
class CriticalSectionLock {
  public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) : cs_(cs) { ::EnterCriticalSection(&cs_); }
    ~CriticalSectionLock() { ::LeaveCriticalSection(&cs_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  private:
    CRITICAL_SECTION& cs_;
};

}  // namespace kwill
