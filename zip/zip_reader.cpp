#include "zip/zip_reader.h"

#include "codec/hash_state.h"
#include "zip/traditional_cipher.h"
#include "zip/zip_codec.h"
#include "zip/zip_engine.h"
#include "zip/zip_format.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kwill::zip {
namespace {

// The end record lies within its own size plus the longest comment of the file's end.
constexpr size_t kEndSearchSpan = kEndRecordSize + kMaxCommentSize;
// A directory larger than this is not read into memory.
constexpr uint64_t kMaxDirectorySize = 1ull << 30;
// Pieces of the streaming path.
constexpr size_t kStreamChunk = 256 * 1024;

// Deflate cannot grow data by more than its stored-block overhead: 5 bytes per 65,535 bytes.
// A member whose compressed size is far beyond that is damaged, and is refused before its
// input is read.
uint64_t MaxDeflatedSize(uint64_t size) {
    return size + size / 8192 + 64;
}

// Finds the end record: the last signature in the file's tail whose comment length fits the
// file exactly, else the last one whose comment fits at all (some writers pad the end).
bool FindEndRecord(ByteSource& source, uint64_t& position, std::vector<uint8_t>& tail) {
    uint64_t size = source.Size();
    if (size < kEndRecordSize) return false;
    size_t span = static_cast<size_t>(std::min<uint64_t>(size, kEndSearchSpan));
    tail.resize(span);
    uint64_t tailStart = size - span;
    if (!source.ReadAt(tailStart, tail.data(), span)) return false;
    size_t loose = SIZE_MAX;
    for (size_t i = span - kEndRecordSize + 1; i-- > 0;) {
        if (Get32(&tail[i]) != kEndRecordSig) continue;
        size_t commentLength = Get16(&tail[i + 20]);
        size_t end = i + kEndRecordSize + commentLength;
        if (end == span) {
            position = tailStart + i;
            return true;
        }
        if (end < span && loose == SIZE_MAX) loose = i;
    }
    if (loose == SIZE_MAX) return false;
    position = tailStart + loose;
    return true;
}

// The fields of a ZIP64 extended-information extra field that the entry's 32-bit fields defer to.
bool ApplyZip64Extra(const uint8_t* extra, size_t length, uint64_t& uncompressed,
                     uint64_t& compressed, uint64_t* offset, uint32_t* disk) {
    size_t pos = 0;
    auto take = [&](uint64_t& field, size_t width) {
        if (pos + width > length) return false;
        field = width == 8 ? Get64(extra + pos) : Get32(extra + pos);
        pos += width;
        return true;
    };
    if (uncompressed == 0xFFFFFFFF && !take(uncompressed, 8)) return false;
    if (compressed == 0xFFFFFFFF && !take(compressed, 8)) return false;
    if (offset && *offset == 0xFFFFFFFF && !take(*offset, 8)) return false;
    if (disk && *disk == 0xFFFF) {
        uint64_t d;
        if (!take(d, 4)) return false;
        *disk = static_cast<uint32_t>(d);
    }
    return true;
}

// Walks an extra-field block; false when a field runs past its end.
template <typename Visit>
bool ForEachExtra(const uint8_t* extra, size_t length, Visit visit) {
    size_t pos = 0;
    while (pos + 4 <= length) {
        uint16_t id = Get16(extra + pos);
        size_t size = Get16(extra + pos + 2);
        if (pos + 4 + size > length) return false;
        if (!visit(id, extra + pos + 4, size)) return false;
        pos += 4 + size;
    }
    // A few writers pad the block with fewer than four bytes; that is harmless.
    return true;
}

uint32_t Crc32Of(const uint8_t* data, size_t length) {
    return codec::Crc32(0, data, length);
}

}  // namespace

bool CheckByteMatches(const ZipEntry& entry, const uint8_t header[12]) {
    uint8_t expected = (entry.flags & kFlagDataDescriptor)
                           ? static_cast<uint8_t>(entry.modTime >> 8)
                           : static_cast<uint8_t>(entry.crc >> 24);
    return header[11] == expected;
}

ZipError ZipReader::Open(const wchar_t* path) {
    auto file = std::make_unique<FileSource>(path);
    if (!file->Valid()) return ZipError::CannotOpen;
    return Open(std::move(file));
}

ZipError ZipReader::Open(std::unique_ptr<ByteSource> source) {
    entries_.clear();
    comment_.clear();
    prefix_ = directoryStart_ = 0;
    zip64_ = false;
    source_ = std::move(source);
    if (!source_) return ZipError::CannotOpen;
    try {
        ZipError e = ReadDirectory();
        if (e != ZipError::Ok) {
            entries_.clear();
            comment_.clear();
        }
        return e;
    } catch (const std::bad_alloc&) {
        entries_.clear();
        return ZipError::OutOfMemory;
    }
}

ZipError ZipReader::ReadDirectory() {
    ByteSource& src = *source_;
    const uint64_t fileSize = src.Size();
    uint64_t endPos;
    std::vector<uint8_t> tail;
    if (!FindEndRecord(src, endPos, tail)) return ZipError::NotZip;
    const uint8_t* end = tail.data() + (endPos - (fileSize - tail.size()));

    uint32_t disk = Get16(end + 4), directoryDisk = Get16(end + 6);
    uint64_t entriesHere = Get16(end + 8), entriesTotal = Get16(end + 10);
    uint64_t directorySize = Get32(end + 12), directoryOffset = Get32(end + 16);
    size_t commentLength = Get16(end + 20);
    comment_.assign(reinterpret_cast<const char*>(end + 22),
                    std::min<size_t>(commentLength, tail.size() - (end + 22 - tail.data())));

    // Where the directory really ends: at the ZIP64 end record when there is one, else at the
    // end record.
    uint64_t directoryEnd = endPos;
    uint8_t locator[kZip64LocatorSize];
    if (endPos >= kZip64LocatorSize &&
        src.ReadAt(endPos - kZip64LocatorSize, locator, kZip64LocatorSize) &&
        Get32(locator) == kZip64LocatorSig) {
        uint64_t locatorPos = endPos - kZip64LocatorSize;
        if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) return ZipError::SplitArchive;
        uint64_t recordPos = Get64(locator + 8);
        uint8_t record[kZip64EndRecordSize];
        // The record's offset counts from the archive's start; behind an unadjusted stub it is
        // found where a record without extensible data would end at the locator.
        auto recordAt = [&](uint64_t pos) {
            return pos <= locatorPos && locatorPos - pos >= kZip64EndRecordSize &&
                   src.ReadAt(pos, record, kZip64EndRecordSize) &&
                   Get32(record) == kZip64EndRecordSig &&
                   Get64(record + 4) + 12 == locatorPos - pos;
        };
        if (!recordAt(recordPos)) {
            recordPos = locatorPos - kZip64EndRecordSize;
            if (locatorPos < kZip64EndRecordSize || !recordAt(recordPos))
                return ZipError::DamagedDirectory;
        }
        zip64_ = true;
        disk = Get32(record + 16);
        directoryDisk = Get32(record + 20);
        entriesHere = Get64(record + 24);
        entriesTotal = Get64(record + 32);
        directorySize = Get64(record + 40);
        directoryOffset = Get64(record + 48);
        directoryEnd = recordPos;
    }
    if (disk != 0 || directoryDisk != 0 || entriesHere != entriesTotal)
        return ZipError::SplitArchive;

    // A stub in front of an archive whose offsets were not adjusted shows as a gap between where
    // the directory says it ends and where it does end.
    if (directoryOffset > directoryEnd || directorySize > directoryEnd - directoryOffset)
        return ZipError::DamagedDirectory;
    prefix_ = directoryEnd - (directoryOffset + directorySize);
    directoryStart_ = directoryOffset + prefix_;
    if (directorySize > kMaxDirectorySize) return ZipError::DamagedDirectory;
    if (entriesTotal > directorySize / kCentralHeaderSize) return ZipError::DamagedDirectory;

    std::vector<uint8_t> dir(static_cast<size_t>(directorySize));
    if (!src.ReadAt(directoryStart_, dir.data(), dir.size())) return ZipError::ReadFailed;
    if (directorySize >= 4 && Get32(dir.data()) != kCentralHeaderSig)
        return ZipError::DamagedDirectory;

    entries_.reserve(static_cast<size_t>(entriesTotal));
    size_t pos = 0;
    while (pos < dir.size()) {
        if (dir.size() - pos < kCentralHeaderSize) return ZipError::DamagedDirectory;
        const uint8_t* h = dir.data() + pos;
        if (Get32(h) != kCentralHeaderSig) return ZipError::DamagedDirectory;
        size_t nameLength = Get16(h + 28), extraLength = Get16(h + 30), commentLen = Get16(h + 32);
        if (dir.size() - pos - kCentralHeaderSize < nameLength + extraLength + commentLen)
            return ZipError::DamagedDirectory;
        ZipEntry e;
        e.versionMadeBy = Get16(h + 4);
        e.flags = Get16(h + 8);
        e.method = Get16(h + 10);
        e.modTime = Get16(h + 12);
        e.modDate = Get16(h + 14);
        e.crc = Get32(h + 16);
        e.compressedSize = Get32(h + 20);
        e.uncompressedSize = Get32(h + 24);
        uint32_t startDisk = Get16(h + 34);
        e.externalAttributes = Get32(h + 38);
        e.localOffset = Get32(h + 42);
        const uint8_t* name = h + kCentralHeaderSize;
        const uint8_t* extra = name + nameLength;
        e.rawName.assign(reinterpret_cast<const char*>(name), nameLength);
        std::string unicodePath;
        bool extrasOk =
            ForEachExtra(extra, extraLength, [&](uint16_t id, const uint8_t* p, size_t n) {
                if (id == kExtraZip64)
                    return ApplyZip64Extra(p, n, e.uncompressedSize, e.compressedSize,
                                           &e.localOffset, &startDisk);
                // Info-ZIP's Unicode path: version 1, the CRC of the stored name, the UTF-8 name.
                if (id == kExtraUnicodePath && n >= 5 && p[0] == 1 &&
                    Get32(p + 1) == Crc32Of(name, nameLength))
                    unicodePath.assign(reinterpret_cast<const char*>(p + 5), n - 5);
                return true;
            });
        if (!extrasOk) return ZipError::DamagedDirectory;
        if (startDisk != 0) return ZipError::SplitArchive;
        if (e.flags & kFlagUtf8)
            e.name = e.rawName;
        else if (!unicodePath.empty() && IsValidUtf8(unicodePath))
            e.name = std::move(unicodePath);
        else
            e.name = Cp437ToUtf8(e.rawName);
        // The member's local header and data lie in front of the directory.
        if (e.localOffset > directoryStart_ - prefix_ ||
            directoryStart_ - prefix_ - e.localOffset < kLocalHeaderSize)
            return ZipError::DamagedDirectory;
        e.localOffset += prefix_;
        entries_.push_back(std::move(e));
        pos += kCentralHeaderSize + nameLength + extraLength + commentLen;
    }
    // Writers without ZIP64 records store the count modulo 65536 when it overflows.
    uint64_t found = entries_.size();
    if (found != entriesTotal && (zip64_ || (found & 0xFFFF) != entriesTotal))
        return ZipError::DamagedDirectory;
    return ZipError::Ok;
}

const ZipEntry* ZipReader::Find(std::string_view name) const {
    for (const ZipEntry& e : entries_)
        if (e.name == name) return &e;
    return nullptr;
}

ZipError ZipReader::LocateData(const ZipEntry& entry, MemberData& data) {
    if (!source_) return ZipError::InvalidState;
    if (entry.method != kMethodStored && entry.method != kMethodDeflate)
        return (entry.flags & kFlagEncrypted) && entry.method == 99
                   ? ZipError::UnsupportedEncryption
                   : ZipError::UnsupportedMethod;
    if ((entry.flags & kFlagEncrypted) && (entry.flags & kFlagStrongEncryption))
        return ZipError::UnsupportedEncryption;
    uint8_t h[kLocalHeaderSize];
    if (entry.localOffset > directoryStart_ ||
        directoryStart_ - entry.localOffset < kLocalHeaderSize)
        return ZipError::DamagedMember;
    if (!source_->ReadAt(entry.localOffset, h, kLocalHeaderSize)) return ZipError::ReadFailed;
    if (Get32(h) != kLocalHeaderSig) return ZipError::DamagedMember;
    uint16_t flags = Get16(h + 6), method = Get16(h + 8);
    uint32_t crc = Get32(h + 14);
    uint64_t compressed = Get32(h + 18), uncompressed = Get32(h + 22);
    size_t nameLength = Get16(h + 26), extraLength = Get16(h + 28);
    if (method != entry.method || (flags & kFlagEncrypted) != (entry.flags & kFlagEncrypted))
        return ZipError::DamagedMember;
    uint64_t headerEnd = entry.localOffset + kLocalHeaderSize + nameLength + extraLength;
    if (headerEnd > directoryStart_) return ZipError::DamagedMember;
    std::string nameAndExtra(nameLength + extraLength, '\0');
    if (!source_->ReadAt(entry.localOffset + kLocalHeaderSize, nameAndExtra.data(),
                         nameAndExtra.size()))
        return ZipError::ReadFailed;
    if (std::string_view(nameAndExtra).substr(0, nameLength) != entry.rawName)
        return ZipError::DamagedMember;
    if (!(flags & kFlagDataDescriptor)) {
        // Sizes and CRC are in the local header too; ZIP64 ones in its extra field.
        auto* extra = reinterpret_cast<const uint8_t*>(nameAndExtra.data()) + nameLength;
        bool ok = ForEachExtra(extra, extraLength, [&](uint16_t id, const uint8_t* p, size_t n) {
            return id != kExtraZip64 ||
                   ApplyZip64Extra(p, n, uncompressed, compressed, nullptr, nullptr);
        });
        if (!ok || crc != entry.crc) return ZipError::DamagedMember;
        if (compressed != 0xFFFFFFFF && compressed != entry.compressedSize)
            return ZipError::DamagedMember;
        if (uncompressed != 0xFFFFFFFF && uncompressed != entry.uncompressedSize)
            return ZipError::DamagedMember;
    }
    if (entry.compressedSize > directoryStart_ - headerEnd) return ZipError::DamagedMember;
    data.offset = headerEnd;
    data.length = entry.compressedSize;
    uint64_t overhead = entry.Encrypted() ? kEncryptionHeaderSize : 0;
    if (data.length < overhead) return ZipError::DamagedMember;
    uint64_t payload = data.length - overhead;
    if (entry.method == kMethodStored ? payload != entry.uncompressedSize
                                      : payload > MaxDeflatedSize(entry.uncompressedSize))
        return ZipError::DamagedMember;
    return ZipError::Ok;
}

ZipError ZipReader::Read(std::string_view name, std::string_view password, uint64_t sizeLimit,
                         std::vector<uint8_t>& out) {
    const ZipEntry* entry = Find(name);
    if (!entry) {
        out.clear();
        return ZipError::NotFound;
    }
    return Read(*entry, password, sizeLimit, out);
}

ZipError ZipReader::Read(const ZipEntry& entry, std::string_view password, uint64_t sizeLimit,
                         std::vector<uint8_t>& out) {
    ZipError e = ZipError::TooLarge;
    if (entry.uncompressedSize <= sizeLimit && entry.uncompressedSize <= SIZE_MAX / 2) {
        try {
            e = ReadWhole(entry, password, out);
        } catch (const std::bad_alloc&) {
            e = ZipError::OutOfMemory;
        }
    }
    if (e != ZipError::Ok) {
        out.clear();
        out.shrink_to_fit();
    }
    return e;
}

ZipError ZipReader::ReadWhole(const ZipEntry& entry, std::string_view password,
                              std::vector<uint8_t>& out) {
    MemberData data;
    ZipError e = LocateData(entry, data);
    if (e != ZipError::Ok) return e;
    if (entry.Encrypted() && password.empty()) return ZipError::PasswordRequired;

    // Members in memory are inflated in place; others (and encrypted ones, which are decrypted
    // in place) are read into a buffer first.
    const uint8_t* payload = entry.Encrypted() ? nullptr : source_->View(data.offset, data.length);
    std::vector<uint8_t> input;
    size_t payloadLength = static_cast<size_t>(data.length);
    if (!payload) {
        input.resize(payloadLength);
        if (!source_->ReadAt(data.offset, input.data(), input.size())) return ZipError::ReadFailed;
        payload = input.data();
    }
    if (entry.Encrypted()) {
        TraditionalCipher cipher(password);
        cipher.Decrypt(input.data(), input.size());
        if (!CheckByteMatches(entry, input.data())) return ZipError::WrongPassword;
        payload += kEncryptionHeaderSize;
        payloadLength -= kEncryptionHeaderSize;
    }

    const size_t size = static_cast<size_t>(entry.uncompressedSize);
    if (entry.method == kMethodStored) {
        out.assign(payload, payload + payloadLength);
    } else {
        // The inflater must fill out exactly, so what out held before is all overwritten: it is
        // not cleared first, and a caller reading member after member into one buffer pays for
        // zero-filling it (and its first page faults) once, not per member.
        out.resize(size);
        if ((e = InflateWhole({payload, payloadLength}, out)) != ZipError::Ok) return e;
    }
    if (Crc32Of(out.data(), out.size()) != entry.crc) return ZipError::BadCrc;
    return ZipError::Ok;
}

ZipError ZipReader::Extract(const ZipEntry& entry, std::string_view password, const Sink& sink) {
    try {
        if (entry.uncompressedSize <= wholeExtractLimit_) {
            std::vector<uint8_t> whole;
            ZipError e = Read(entry, password, wholeExtractLimit_, whole);
            if (e != ZipError::Ok) return e;
            for (size_t at = 0; at < whole.size(); at += kStreamChunk)
                if (!sink(whole.data() + at, std::min(kStreamChunk, whole.size() - at)))
                    return ZipError::WriteFailed;
            return ZipError::Ok;
        }
        MemberData data;
        ZipError e = LocateData(entry, data);
        if (e != ZipError::Ok) return e;
        if (entry.Encrypted() && password.empty()) return ZipError::PasswordRequired;
        std::unique_ptr<TraditionalCipher> cipher;
        uint64_t offset = data.offset, left = data.length;
        if (entry.Encrypted()) {
            uint8_t header[kEncryptionHeaderSize];
            if (!source_->ReadAt(offset, header, sizeof header)) return ZipError::ReadFailed;
            cipher = std::make_unique<TraditionalCipher>(password);
            cipher->Decrypt(header, sizeof header);
            if (!CheckByteMatches(entry, header)) return ZipError::WrongPassword;
            offset += kEncryptionHeaderSize;
            left -= kEncryptionHeaderSize;
        }
        InflateState* state = nullptr;
        if (entry.method == kMethodDeflate) {
            state = ThreadInflater();
            if (!state || !ResetInflateStream(*state)) return ZipError::OutOfMemory;
        }
        // Small members get small buffers. The output piece stays in the processor's cache
        // between the inflater writing it, the CRC reading it and the sink taking it.
        std::vector<uint8_t> in(
            static_cast<size_t>(std::min<uint64_t>(kStreamChunk, std::max<uint64_t>(left, 1)))),
            out(static_cast<size_t>(
                std::min<uint64_t>(kStreamChunk, entry.uncompressedSize + 1024)));
        uint32_t crc = 0;
        uint64_t produced = 0;
        bool finished = entry.method == kMethodStored;
        auto emit = [&](const uint8_t* p, size_t n) {
            if (n > entry.uncompressedSize - produced) return ZipError::BadData;
            produced += n;
            crc = codec::Crc32(crc, p, n);
            return n == 0 || sink(p, n) ? ZipError::Ok : ZipError::WriteFailed;
        };
        while (left > 0) {
            // Plain members in memory are inflated in place, a gigabyte at a time.
            const uint8_t* chunk = nullptr;
            size_t n = static_cast<size_t>(std::min<uint64_t>(left, 1u << 30));
            if (!cipher) chunk = source_->View(offset, n);
            if (!chunk) {
                n = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
                if (!source_->ReadAt(offset, in.data(), n)) return ZipError::ReadFailed;
                if (cipher) cipher->Decrypt(in.data(), n);
                chunk = in.data();
            }
            offset += n;
            left -= n;
            if (entry.method == kMethodStored) {
                if ((e = emit(chunk, n)) != ZipError::Ok) return e;
                continue;
            }
            if (finished) break;  // bytes after the end of the stream are ignored
            z_stream& z = state->stream;
            z.next_in = const_cast<uint8_t*>(chunk);
            z.avail_in = static_cast<uInt>(n);
            while (z.avail_in > 0 && !finished) {
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(out.size());
                int r = inflate(&z, Z_NO_FLUSH);
                if (r == Z_STREAM_END)
                    finished = true;
                else if (r != Z_OK && r != Z_BUF_ERROR)
                    return r == Z_MEM_ERROR ? ZipError::OutOfMemory : ZipError::BadData;
                if ((e = emit(out.data(), out.size() - z.avail_out)) != ZipError::Ok) return e;
                if (r == Z_BUF_ERROR && z.avail_out != 0) break;
            }
        }
        // Output still held inside the inflater once the input has all gone in.
        while (!finished && entry.method == kMethodDeflate) {
            z_stream& z = state->stream;
            z.next_in = nullptr;
            z.avail_in = 0;
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_STREAM_END) finished = true;
            if ((e = emit(out.data(), out.size() - z.avail_out)) != ZipError::Ok) return e;
            if (r != Z_STREAM_END && (r != Z_OK || z.avail_out != 0)) break;
        }
        if (!finished || produced != entry.uncompressedSize) return ZipError::BadData;
        if (crc != entry.crc) return ZipError::BadCrc;
        return ZipError::Ok;
    } catch (const std::bad_alloc&) {
        return ZipError::OutOfMemory;
    }
}

ZipError ReadZipMember(const wchar_t* archivePath, std::string_view memberName,
                       std::string_view password, uint64_t sizeLimit, std::vector<uint8_t>& out) {
    out.clear();
    ZipReader reader;
    ZipError e = reader.Open(archivePath);
    if (e != ZipError::Ok) return e;
    return reader.Read(memberName, password, sizeLimit, out);
}

}  // namespace kwill::zip
