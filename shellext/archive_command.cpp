#include "shellext/archive_command.h"

#include "hostlink/host_requests.h"

#include <shlobj.h>

#include <cstring>

namespace kwill::shellext {
namespace {

CLIPFORMAT PrivateHdropFormat() {
    static const CLIPFORMAT format =
        static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(kPrivateHdropFormat));
    return format;
}

std::optional<std::vector<uint8_t>> GetGlobal(IDataObject* data, CLIPFORMAT format) {
    FORMATETC request = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&request, &medium))) return std::nullopt;
    std::optional<std::vector<uint8_t>> bytes;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        SIZE_T size = ::GlobalSize(medium.hGlobal);
        if (const void* p = ::GlobalLock(medium.hGlobal)) {
            // A block too small to hold its own header is no list of files.
            if (size >= sizeof(DROPFILES)) {
                const auto* begin = static_cast<const uint8_t*>(p);
                bytes.emplace(begin, begin + size);
            }
            ::GlobalUnlock(medium.hGlobal);
        }
    }
    ::ReleaseStgMedium(&medium);
    return bytes;
}

}  // namespace

std::vector<uint8_t> BuildArchiveCommand(std::wstring_view target, std::wstring_view extension,
                                         std::span<const uint8_t> dropFiles) {
    std::vector<uint8_t> block;
    block.reserve((target.size() + extension.size() + 2) * sizeof(wchar_t) + dropFiles.size());
    auto append = [&](std::wstring_view text) {
        const auto* p = reinterpret_cast<const uint8_t*>(text.data());
        block.insert(block.end(), p, p + text.size() * sizeof(wchar_t));
        block.push_back(0);
        block.push_back(0);
    };
    append(target);
    append(extension);
    block.insert(block.end(), dropFiles.begin(), dropFiles.end());
    return block;
}

std::optional<std::vector<uint8_t>> GetDropFiles(IDataObject* data) {
    if (!data) return std::nullopt;
    if (auto bytes = GetGlobal(data, CF_HDROP)) return bytes;
    return GetGlobal(data, PrivateHdropFormat());
}

bool OffersDropFiles(IDataObject* data) {
    if (!data) return false;
    IEnumFORMATETC* formats = nullptr;
    if (FAILED(data->EnumFormatEtc(DATADIR_GET, &formats)) || !formats) return false;
    bool found = false;
    FORMATETC format{};
    ULONG fetched = 0;
    // Bounded: an enumerator that never ends must not hang the shell's drag.
    for (int i = 0; i < 4096 && !found && formats->Next(1, &format, &fetched) == S_OK && fetched;
         ++i) {
        if ((format.cfFormat == CF_HDROP || format.cfFormat == PrivateHdropFormat()) &&
            (format.tymed & TYMED_HGLOBAL))
            found = true;
        if (format.ptd) ::CoTaskMemFree(format.ptd);
    }
    formats->Release();
    return found;
}

LRESULT SendArchiveCommand(HWND host, HWND from, IDataObject* data, uint32_t kind,
                           std::wstring_view target, std::wstring_view extension) {
    if (!host) return 0;
    std::optional<std::vector<uint8_t>> files = GetDropFiles(data);
    if (!files) return 0;
    std::vector<uint8_t> block = BuildArchiveCommand(target, extension, *files);
    COPYDATASTRUCT copy{};
    copy.dwData = ArchiveCommandData(kind);
    copy.cbData = static_cast<DWORD>(block.size());
    copy.lpData = block.data();
    // A host that hangs must not hang the shell's window with it.
    DWORD_PTR reply = 0;
    if (!::SendMessageTimeoutW(host, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                               reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               hostlink::kOpenRequestTimeoutMs, &reply))
        return 0;
    return static_cast<LRESULT>(reply);
}

}  // namespace kwill::shellext
