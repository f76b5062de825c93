// The preference flags the shell extensions need, and the byte layout in which the host sends
// them in answer to "kwillmsg.GetPrefsFlags" (little-endian, packed):
//
//   bytes 0-39   settings1, settings2, settings4, zipFlags, extra (u64 each)
//   bytes 40-43  archiveContext (u32)
//   then         extractionFormats, extractionMappings (NUL-terminated UTF-16)
//   then         for each of the lists "general", "named", "email": a u32 count, then per entry
//                a GUID (16 bytes), the extension and the description (NUL-terminated UTF-16)
//
// The request block's first u32 is 1 for a full request, 0 for the five flag words only.
//
// Plain functions on bytes: no Windows calls, so a test can feed them anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kwill::host {

struct ArchiveFormatEntry {
    uint8_t guid[16];  // as a GUID lies in memory
    std::u16string extension;
    std::u16string description;

    bool operator==(const ArchiveFormatEntry&) const = default;
};

inline constexpr int kFormatListCount = 3;
inline constexpr const char* kFormatListNames[kFormatListCount] = {"general", "named", "email"};

struct PrefsFlagsData {
    uint64_t settings1 = 0;
    uint64_t settings2 = 0;
    uint64_t settings4 = 0;
    uint64_t zipFlags = 0;  // bit 0: the built-in zip format takes part in the format lists
    uint64_t extra = 0;     // only the host knows these
    uint32_t archiveContext = 0;
    std::u16string extractionFormats;
    std::u16string extractionMappings;
    std::vector<ArchiveFormatEntry> formatLists[kFormatListCount];

    bool operator==(const PrefsFlagsData&) const = default;
};

inline constexpr size_t kPrefsReplyFlagBytes = 40;  // the five u64 words
inline constexpr uint32_t kPrefsRequestFull = 1;
inline constexpr uint32_t kPrefsRequestFlagsOnly = 0;

// Takes the fields of a reply in order while the bytes last; a field that would reach past the
// end (a short reply, a count larger than the entries present, a string without its
// terminator) ends the reading, keeping what came before. The five words are taken only
// together. Returns the number of fields taken: 0 or 5 for the words, 6 with archiveContext, 7
// and 8 with the two strings, then one more per list begun (a list cut short keeps the entries
// that were whole).
int ParsePrefsReply(std::span<const uint8_t> reply, PrefsFlagsData& out);

// The reply for this data; `full` false gives the five words alone.
std::vector<uint8_t> BuildPrefsReply(const PrefsFlagsData& data, bool full);

}  // namespace kwill::host
