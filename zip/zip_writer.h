// Writes zip archives: members stored or deflated, optionally with the traditional encryption,
// UTF-8 names, ZIP64 records wherever a size, offset or count needs them. The archive is written
// to a temporary file beside the target and replaces it only on Commit.
//
//     ZipWriter writer;
//     writer.Create(L"C:\\lang\\de.tarnml");
//     MemberOptions options;
//     options.password = kTranslationArchivePassword;
//     writer.AddBuffer("de.json", json, options);
//     writer.AddBuffer("signature", signature, options);
//     ZipError e = writer.Commit();
#pragma once

#include "zip/safe_output.h"
#include "zip/zip_error.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::zip {

struct MemberOptions {
    int level = 6;         // 0 stores; 1 to 9 deflate (an incompressible member is stored)
    std::string password;  // empty: not encrypted
    // MS-DOS time and date; both 0 means now.
    uint16_t modTime = 0;
    uint16_t modDate = 0;
};

class ZipWriter {
  public:
    ZipWriter() = default;
    ~ZipWriter() = default;  // an archive not committed is abandoned
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    ZipError Create(const wchar_t* path);
    // A member from memory. Names are UTF-8 with '/' between folders ('\' is taken as '/');
    // empty, absolute and ".." names are refused.
    ZipError AddBuffer(std::string_view name, std::span<const uint8_t> data,
                       const MemberOptions& options = {});
    // A member from a file of any size, streamed.
    ZipError AddFile(std::string_view name, const wchar_t* source,
                     const MemberOptions& options = {});
    // A folder entry ("name/").
    ZipError AddFolder(std::string_view name, const MemberOptions& options = {});
    void SetComment(std::string_view comment) { comment_ = comment.substr(0, 0xFFFF); }
    // Writes ZIP64 fields and records whether or not they are needed (for readers that must be
    // tried on them); call after Create, before the first member.
    void ForceZip64(bool on) { forceZip64_ = on; }
    // Files up to this size are read whole and compressed in one call (the fast path); larger
    // ones are streamed. Call after Create.
    void SetWholeFileLimit(uint64_t bytes) { wholeFileLimit_ = bytes; }
    // Writes the directory and puts the archive in place; any earlier failure fails it.
    ZipError Commit();
    void Abandon();

  private:
    struct Written {
        std::string name;
        uint64_t compressedSize, uncompressedSize, localOffset;
        uint32_t crc, externalAttributes;
        uint16_t method, flags, modTime, modDate;
    };
    ZipError Begin(std::string_view name, bool folder, std::string& stored);
    ZipError WriteLocal(Written& w, bool zip64Local);
    ZipError Fail(ZipError e);

    SafeOutputFile out_;
    std::vector<Written> written_;
    std::string comment_;
    bool open_ = false;
    bool forceZip64_ = false;
    uint64_t wholeFileLimit_ = 64ull << 20;
    ZipError failure_ = ZipError::Ok;
};

// The MS-DOS time and date of now, local time.
void DosTimeNow(uint16_t& time, uint16_t& date);

}  // namespace kwill::zip
