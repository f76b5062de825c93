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

}  // namespace

std::optional<std::vector<uint8_t>> GetDropFilesBlock(IDataObject* data, CLIPFORMAT format) {
    if (!data) return std::nullopt;
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

std::vector<std::wstring> ParseDropFiles(std::span<const uint8_t> block) {
    std::vector<std::wstring> names;
    DROPFILES header{};
    if (block.size() < sizeof(header)) return names;
    std::memcpy(&header, block.data(), sizeof(header));
    if (header.pFiles < sizeof(header) || header.pFiles >= block.size()) return names;
    size_t at = header.pFiles;
    if (header.fWide) {
        while (at + sizeof(wchar_t) <= block.size()) {
            std::wstring name;
            wchar_t unit = 0;
            bool ended = false;
            for (; at + sizeof(wchar_t) <= block.size(); at += sizeof(wchar_t)) {
                std::memcpy(&unit, block.data() + at, sizeof(unit));
                if (unit == 0) {
                    ended = true;
                    at += sizeof(wchar_t);
                    break;
                }
                name.push_back(unit);
            }
            if (!ended || name.empty()) break;
            names.push_back(std::move(name));
        }
    } else {
        while (at < block.size()) {
            const char* begin = reinterpret_cast<const char*>(block.data() + at);
            const void* end = std::memchr(begin, 0, block.size() - at);
            if (!end || end == begin) break;
            int length = static_cast<int>(static_cast<const char*>(end) - begin);
            int wide = ::MultiByteToWideChar(CP_ACP, 0, begin, length, nullptr, 0);
            std::wstring name(static_cast<size_t>(wide), L'\0');
            if (wide > 0) ::MultiByteToWideChar(CP_ACP, 0, begin, length, name.data(), wide);
            names.push_back(std::move(name));
            at += static_cast<size_t>(length) + 1;
        }
    }
    return names;
}

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
    if (auto bytes = GetDropFilesBlock(data, CF_HDROP)) return bytes;
    return GetDropFilesBlock(data, PrivateHdropFormat());
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
