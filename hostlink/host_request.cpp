#include "hostlink/host_request.h"

#include "frame/win_handle.h"

#include <cstdio>
#include <cstring>

namespace kwill::host {
namespace {

constexpr uint64_t kSizeWord = sizeof(uint32_t);

void UnmapIgnoringResult(void* view) {
    ::UnmapViewOfFile(view);
}
using UniqueView = UniqueResource<void*, UnmapIgnoringResult>;

// Bytes from `base` to the end of the mapped region it lies in.
uint64_t MappedBytesFrom(const void* base) {
    MEMORY_BASIC_INFORMATION info{};
    if (::VirtualQuery(base, &info, sizeof(info)) != sizeof(info)) return 0;
    auto start = reinterpret_cast<uintptr_t>(info.BaseAddress);
    return start + info.RegionSize - reinterpret_cast<uintptr_t>(base);
}

}  // namespace

std::wstring RequestSectionName(DWORD senderProcessId, const void* descriptor) {
    // Both numbers as pointer-wide upper-case hexadecimal, the form "%p" gives.
    wchar_t name[64];
    std::swprintf(name, 64, L"Kwill.InterprocData.%016llX.%016llX",
                  static_cast<unsigned long long>(senderProcessId),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(descriptor)));
    return name;
}

bool SendHostRequest(void* buffer, uint32_t size, uint32_t inputBytes, HWND window, UINT message,
                     LRESULT* result, DWORD timeoutMs) {
    if (!buffer || size == 0 || !::IsWindow(window)) return false;
    HostRequestDescriptor descriptor{buffer, size};
    const DWORD self = ::GetCurrentProcessId();
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);

    UniqueHandle section;
    UniqueView view;
    if (owner != self) {
        const uint64_t bytes = uint64_t{size} + kSizeWord;
        std::wstring name = RequestSectionName(self, &descriptor);
        ::SetLastError(ERROR_SUCCESS);
        section.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                           static_cast<DWORD>(bytes >> 32),
                                           static_cast<DWORD>(bytes), name.c_str()));
        if (!section || ::GetLastError() == ERROR_ALREADY_EXISTS) return false;
        view.reset(
            ::MapViewOfFile(section.get(), FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(bytes)));
        if (!view) return false;
        auto* block = static_cast<uint8_t*>(view.get());
        std::memcpy(block, &size, sizeof(size));
        std::memcpy(block + kSizeWord, buffer, inputBytes < size ? inputBytes : size);
    }

    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(window, message, self, reinterpret_cast<LPARAM>(&descriptor),
                               SMTO_ABORTIFHUNG, timeoutMs, &answer) ||
        answer == 0) {
        return false;
    }
    if (view) std::memcpy(buffer, static_cast<uint8_t*>(view.get()) + kSizeWord, size);
    if (result) *result = static_cast<LRESULT>(answer);
    return true;
}

bool OpenHostRequestData(DWORD senderProcessId, const void* descriptorAddress,
                         HostRequestView& view) {
    view = HostRequestView{};
    if (!descriptorAddress) return false;
    if (senderProcessId == ::GetCurrentProcessId()) {
        const auto* descriptor = static_cast<const HostRequestDescriptor*>(descriptorAddress);
        if (!descriptor->data || descriptor->size == 0) return false;
        view.data = descriptor->data;
        view.size = descriptor->size;
        return true;
    }
    std::wstring name = RequestSectionName(senderProcessId, descriptorAddress);
    UniqueHandle section(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
    if (!section) return false;
    uint32_t size = 0;
    {
        UniqueView head(::MapViewOfFile(section.get(), FILE_MAP_ALL_ACCESS, 0, 0, kSizeWord));
        if (!head) return false;
        std::memcpy(&size, head.get(), sizeof(size));
    }
    if (size == 0) return false;
    const uint64_t bytes = uint64_t{size} + kSizeWord;
    UniqueView whole(
        ::MapViewOfFile(section.get(), FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(bytes)));
    // A size word larger than the section must not hand out memory beyond it.
    if (!whole || MappedBytesFrom(whole.get()) < bytes) return false;
    view.data = static_cast<uint8_t*>(whole.release()) + kSizeWord;
    view.size = size;
    view.mapped = TRUE;
    return true;
}

void CloseHostRequestData(HostRequestView& view) {
    if (view.mapped && view.data) ::UnmapViewOfFile(static_cast<uint8_t*>(view.data) - kSizeWord);
    view = HostRequestView{};
}

}  // namespace kwill::host
