// Reads zip archives: the central directory, and members by name, stored or deflated, with the
// traditional encryption.
//
// Everything read from the file is checked before it is used: the end record is found within the
// last 64 KiB and its directory must end where the end record (or the ZIP64 end record) starts;
// an archive behind an executable stub is found whether its offsets were adjusted for the stub or
// count from the archive's own start; every directory entry must fit the directory and point
// before it; a member's local header must agree with its directory entry, and its data must end
// before the directory. Sizes above the caller's limit are refused before anything is allocated,
// inflation never writes past the declared size, and a bad CRC, wrong password or truncated
// stream is an error with no partial output.
//
//     ZipReader reader;
//     if (reader.Open(L"C:\\lang\\de.tarnml") == ZipError::Ok) {
//         std::vector<uint8_t> bytes;
//         ZipError e = reader.Read("de.json", kTranslationArchivePassword, 16 << 20, bytes);
//     }
#pragma once

#include "zip/byte_source.h"
#include "zip/zip_error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::zip {

struct ZipEntry {
    std::string name;     // UTF-8 (converted from code page 437 when the entry says so)
    std::string rawName;  // the bytes as stored, compared with the local header
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localOffset = 0;  // of the local header, from the start of the file
    uint32_t crc = 0;
    uint32_t externalAttributes = 0;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint16_t modTime = 0;  // MS-DOS time and date
    uint16_t modDate = 0;
    uint16_t versionMadeBy = 0;

    bool Encrypted() const { return (flags & 1) != 0; }
    bool IsFolder() const { return !name.empty() && name.back() == '/'; }
};

class ZipReader {
  public:
    ZipReader() = default;
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens the archive file (reading, sharing reads) and reads its directory.
    ZipError Open(const wchar_t* path);
    // Reads the directory of an archive held by the source.
    ZipError Open(std::unique_ptr<ByteSource> source);

    const std::vector<ZipEntry>& Entries() const { return entries_; }
    // The first member of exactly this UTF-8 name, or null.
    const ZipEntry* Find(std::string_view name) const;
    // The archive comment, as stored.
    const std::string& Comment() const { return comment_; }
    // Bytes in front of the archive (an executable stub); 0 for a plain archive.
    uint64_t PrefixSize() const { return prefix_; }
    bool Zip64() const { return zip64_; }

    // Reads a whole member into out (replaced; its capacity is reused). A member larger than
    // sizeLimit is refused with TooLarge before anything is allocated. An empty password reads
    // unencrypted members only.
    ZipError Read(const ZipEntry& entry, std::string_view password, uint64_t sizeLimit,
                  std::vector<uint8_t>& out);
    ZipError Read(std::string_view name, std::string_view password, uint64_t sizeLimit,
                  std::vector<uint8_t>& out);

    // Gives a member of any size to the sink in pieces; the sink returns false to stop
    // (WriteFailed). Members up to 32 MiB are checked whole before the sink sees them; pieces
    // of larger ones reach the sink before the CRC is known, so on an error the caller discards
    // what it was given.
    using Sink = std::function<bool(const uint8_t* data, size_t length)>;
    ZipError Extract(const ZipEntry& entry, std::string_view password, const Sink& sink);
    // Members up to this size (32 MiB unless set) are extracted whole (libdeflate) and reach the
    // sink only once checked; larger ones are streamed through zlib.
    void SetWholeExtractLimit(uint64_t bytes) { wholeExtractLimit_ = bytes; }

  private:
    struct MemberData {
        uint64_t offset;  // of the (encrypted) data
        uint64_t length;
    };
    ZipError ReadDirectory();
    ZipError LocateData(const ZipEntry& entry, MemberData& data);
    ZipError ReadWhole(const ZipEntry& entry, std::string_view password, std::vector<uint8_t>& out);

    std::unique_ptr<ByteSource> source_;
    std::vector<ZipEntry> entries_;
    std::string comment_;
    uint64_t prefix_ = 0;
    uint64_t directoryStart_ = 0;  // no member data may reach past this
    bool zip64_ = false;
    uint64_t wholeExtractLimit_ = 32ull << 20;
};

// One member of an archive on disk: opens, finds and reads it. The language strings read their
// translations this way (password kTranslationArchivePassword, limit 16 MiB).
ZipError ReadZipMember(const wchar_t* archivePath, std::string_view memberName,
                       std::string_view password, uint64_t sizeLimit, std::vector<uint8_t>& out);

// Checks that a member may be read with this password: the encryption header's check byte
// against the CRC (or, for members written with a data descriptor, the modification time).
bool CheckByteMatches(const ZipEntry& entry, const uint8_t header[12]);

}  // namespace kwill::zip
