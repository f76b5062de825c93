// The archive command: how the shell extensions hand dropped or selected files to the host for an
// archive operation. One WM_COPYDATA block holds the target folder, the archive format's
// extension and the files' DROPFILES block as the data object gave it; dwData is the command
// kind × 65536 + 15.
#pragma once

#include "frame/platform.h"

#include <objidl.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::shellext {

inline constexpr wchar_t kPrivateHdropFormat[] = L"kwill_cf_hdrop";
inline constexpr ULONG_PTR kArchiveCommandTag = 15;

// Command kinds that the drop target sends.
inline constexpr uint32_t kKindDropCopy = 10;
inline constexpr uint32_t kKindDropMove = 11;

inline constexpr ULONG_PTR ArchiveCommandData(uint32_t kind) {
    return static_cast<ULONG_PTR>(kind) * 65536 + kArchiveCommandTag;
}

// The block: the target (UTF-16 with its terminator; just the terminator when there is none),
// the extension likewise, then the DROPFILES bytes.
std::vector<uint8_t> BuildArchiveCommand(std::wstring_view target, std::wstring_view extension,
                                         std::span<const uint8_t> dropFiles);

// The data object's files as a DROPFILES block: CF_HDROP, else the library's own
// "kwill_cf_hdrop", each asked for as global memory. Nothing when neither is offered.
std::optional<std::vector<uint8_t>> GetDropFiles(IDataObject* data);
// The block of one format, asked for as global memory; nothing when the data object does not
// give one at least as large as the DROPFILES header.
std::optional<std::vector<uint8_t>> GetDropFilesBlock(IDataObject* data, CLIPFORMAT format);

// The names of a DROPFILES block (wide or ANSI as its header says), read within the block: a
// list offset outside it gives no names, and a name that runs off its end is left out. The list
// ends at its empty name.
std::vector<std::wstring> ParseDropFiles(std::span<const uint8_t> block);

// True when the data object offers CF_HDROP or "kwill_cf_hdrop" in global memory.
bool OffersDropFiles(IDataObject* data);

// Sends the command to the host window from the given window. The host's reply, or 0 when the
// data object has no files, or the host did not answer within the open-request time-out (a hung
// host is given up at once).
LRESULT SendArchiveCommand(HWND host, HWND from, IDataObject* data, uint32_t kind,
                           std::wstring_view target, std::wstring_view extension);

}  // namespace kwill::shellext
