#include "zip/zip_writer.h"

#include "codec/hash_state.h"
#include "zip/traditional_cipher.h"
#include "zip/zip_codec.h"
#include "zip/zip_engine.h"
#include "zip/zip_format.h"

#include <memory>
#include <random>

namespace kwill::zip {
namespace {

constexpr uint16_t kVersionMadeBy = 45;  // 4.5, MS-DOS attributes
constexpr uint16_t kVersionPlain = 20;
constexpr uint16_t kVersionZip64 = 45;
constexpr uint32_t kAttributeFolder = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint64_t kLimit32 = 0xFFFFFFFF;
// A streamed member whose size comes near 4 GiB gets ZIP64 sizes in its local header.
constexpr uint64_t kStreamZip64From = 0xF0000000;
constexpr size_t kStreamChunk = 1 << 20;

void DosTimeOf(const SYSTEMTIME& t, uint16_t& time, uint16_t& date) {
    time = static_cast<uint16_t>(t.wHour << 11 | t.wMinute << 5 | t.wSecond / 2);
    date =
        static_cast<uint16_t>((t.wYear < 1980 ? 0 : t.wYear - 1980) << 9 | t.wMonth << 5 | t.wDay);
}

void FillHeader(uint8_t header[kEncryptionHeaderSize], uint8_t checkByte) {
    std::random_device random;
    for (size_t i = 0; i + 1 < kEncryptionHeaderSize; ++i)
        header[i] = static_cast<uint8_t>(random());
    header[kEncryptionHeaderSize - 1] = checkByte;
}

// The central directory's ZIP64 field: the sizes and offset that do not fit 32 bits (all of them
// when forced), in the order the format gives.
std::string Zip64Extra(uint64_t uncompressed, uint64_t compressed, uint64_t offset, bool force) {
    std::string fields;
    if (force || uncompressed >= kLimit32) Put64(fields, uncompressed);
    if (force || compressed >= kLimit32) Put64(fields, compressed);
    if (force || offset >= kLimit32) Put64(fields, offset);
    if (fields.empty()) return {};
    std::string extra;
    Put16(extra, kExtraZip64);
    Put16(extra, static_cast<uint16_t>(fields.size()));
    return extra + fields;
}

uint32_t Clamp32(uint64_t v, bool force = false) {
    return force || v >= kLimit32 ? 0xFFFFFFFF : static_cast<uint32_t>(v);
}

}  // namespace

void DosTimeNow(uint16_t& time, uint16_t& date) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    DosTimeOf(now, time, date);
}

ZipError ZipWriter::Fail(ZipError e) {
    if (failure_ == ZipError::Ok) failure_ = e;
    return e;
}

ZipError ZipWriter::Create(const wchar_t* path) {
    Abandon();
    if (!out_.Create(path)) return ZipError::CannotOpen;
    open_ = true;
    return ZipError::Ok;
}

void ZipWriter::Abandon() {
    out_.Abandon();
    written_.clear();
    comment_.clear();
    open_ = false;
    forceZip64_ = false;
    wholeFileLimit_ = 64ull << 20;
    failure_ = ZipError::Ok;
}

ZipError ZipWriter::Begin(std::string_view name, bool folder, std::string& stored) {
    if (!open_) return ZipError::InvalidState;
    if (failure_ != ZipError::Ok) return failure_;
    stored.assign(name);
    for (char& c : stored)
        if (c == '\\') c = '/';
    if (folder && !stored.empty() && stored.back() != '/') stored.push_back('/');
    if (stored.empty() || stored.front() == '/' || stored.size() > 0xFFFF || !IsValidUtf8(stored) ||
        stored.find('\0') != std::string::npos)
        return ZipError::InvalidName;
    if (stored.size() >= 2 && stored[1] == ':') return ZipError::InvalidName;
    size_t start = 0;
    while (start <= stored.size()) {
        size_t end = stored.find('/', start);
        if (end == std::string::npos) end = stored.size();
        if (stored.compare(start, end - start, "..") == 0) return ZipError::InvalidName;
        start = end + 1;
    }
    return ZipError::Ok;
}

ZipError ZipWriter::WriteLocal(Written& w, bool zip64Local) {
    std::string h;
    Put32(h, kLocalHeaderSig);
    Put16(h, zip64Local ? kVersionZip64 : kVersionPlain);
    Put16(h, w.flags);
    Put16(h, w.method);
    Put16(h, w.modTime);
    Put16(h, w.modDate);
    bool descriptor = (w.flags & kFlagDataDescriptor) != 0;
    Put32(h, descriptor ? 0 : w.crc);
    if (zip64Local) {
        Put32(h, 0xFFFFFFFF);
        Put32(h, 0xFFFFFFFF);
    } else {
        Put32(h, descriptor ? 0 : static_cast<uint32_t>(w.compressedSize));
        Put32(h, descriptor ? 0 : static_cast<uint32_t>(w.uncompressedSize));
    }
    Put16(h, static_cast<uint16_t>(w.name.size()));
    Put16(h, zip64Local ? 20 : 0);
    h += w.name;
    if (zip64Local) {
        Put16(h, kExtraZip64);
        Put16(h, 16);
        Put64(h, descriptor ? 0 : w.uncompressedSize);
        Put64(h, descriptor ? 0 : w.compressedSize);
    }
    w.localOffset = out_.Position();
    return out_.Write(h.data(), h.size()) ? ZipError::Ok : Fail(ZipError::WriteFailed);
}

ZipError ZipWriter::AddFolder(std::string_view name, const MemberOptions& options) {
    std::string stored;
    ZipError e = Begin(name, true, stored);
    if (e != ZipError::Ok) return e;
    try {
        Written w{stored,         0, 0, 0, 0, kAttributeFolder, kMethodStored, 0, options.modTime,
                  options.modDate};
        if (!w.modTime && !w.modDate) DosTimeNow(w.modTime, w.modDate);
        if (!IsAscii(stored)) w.flags |= kFlagUtf8;
        if ((e = WriteLocal(w, forceZip64_)) != ZipError::Ok) return e;
        written_.push_back(std::move(w));
        return ZipError::Ok;
    } catch (const std::bad_alloc&) {
        return Fail(ZipError::OutOfMemory);
    }
}

ZipError ZipWriter::AddBuffer(std::string_view name, std::span<const uint8_t> data,
                              const MemberOptions& options) {
    std::string stored;
    ZipError e = Begin(name, false, stored);
    if (e != ZipError::Ok) return e;
    try {
        Written w{stored,
                  0,
                  data.size(),
                  0,
                  codec::Crc32(0, data.data(), data.size()),
                  kAttributeArchive,
                  kMethodStored,
                  0,
                  options.modTime,
                  options.modDate};
        if (!w.modTime && !w.modDate) DosTimeNow(w.modTime, w.modDate);
        if (!IsAscii(stored)) w.flags |= kFlagUtf8;

        std::vector<uint8_t> payload;
        if (options.level > 0 && !data.empty() &&
            DeflateWhole(data, options.level, payload, kEncryptionHeaderSize) > 0)
            w.method = kMethodDeflate;
        if (w.method == kMethodStored) {
            payload.resize(data.size() + kEncryptionHeaderSize);
            std::copy(data.begin(), data.end(), payload.begin() + kEncryptionHeaderSize);
        }
        // The payload keeps room for the encryption header in front; plain members skip it.
        const uint8_t* begin = payload.data() + kEncryptionHeaderSize;
        if (!options.password.empty()) {
            w.flags |= kFlagEncrypted;
            FillHeader(payload.data(), static_cast<uint8_t>(w.crc >> 24));
            TraditionalCipher(options.password).Encrypt(payload.data(), payload.size());
            begin = payload.data();
        }
        w.compressedSize = payload.data() + payload.size() - begin;
        bool zip64 = forceZip64_ || w.compressedSize >= kLimit32 || w.uncompressedSize >= kLimit32;
        if ((e = WriteLocal(w, zip64)) != ZipError::Ok) return e;
        if (!out_.Write(begin, w.compressedSize)) return Fail(ZipError::WriteFailed);
        written_.push_back(std::move(w));
        return ZipError::Ok;
    } catch (const std::bad_alloc&) {
        return Fail(ZipError::OutOfMemory);
    }
}

ZipError ZipWriter::AddFile(std::string_view name, const wchar_t* source,
                            const MemberOptions& options) {
    std::string stored;
    ZipError e = Begin(name, false, stored);
    if (e != ZipError::Ok) return e;
    HANDLE file = ::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ZipError::CannotOpen;
    struct Closer {
        HANDLE h;
        ~Closer() { ::CloseHandle(h); }
    } closer{file};
    LARGE_INTEGER size;
    FILETIME written, local;
    SYSTEMTIME t;
    if (!::GetFileSizeEx(file, &size)) return ZipError::ReadFailed;
    MemberOptions opts = options;
    if (!opts.modTime && !opts.modDate && ::GetFileTime(file, nullptr, nullptr, &written) &&
        ::FileTimeToLocalFileTime(&written, &local) && ::FileTimeToSystemTime(&local, &t))
        DosTimeOf(t, opts.modTime, opts.modDate);

    try {
        uint64_t total = static_cast<uint64_t>(size.QuadPart);
        if (total <= wholeFileLimit_) {
            std::vector<uint8_t> bytes(static_cast<size_t>(total));
            DWORD read = 0;
            if (total &&
                (!::ReadFile(file, bytes.data(), static_cast<DWORD>(total), &read, nullptr) ||
                 read != total))
                return ZipError::ReadFailed;
            return AddBuffer(stored, bytes, opts);
        }

        // Streamed: the local header is written first and its sizes filled in afterwards; an
        // encrypted member cannot know its CRC for the check byte in advance, so it carries a
        // data descriptor and checks against the time instead.
        Written w{stored,
                  0,
                  0,
                  0,
                  0,
                  kAttributeArchive,
                  static_cast<uint16_t>(opts.level > 0 ? kMethodDeflate : kMethodStored),
                  0,
                  opts.modTime,
                  opts.modDate};
        if (!w.modTime && !w.modDate) DosTimeNow(w.modTime, w.modDate);
        if (!IsAscii(stored)) w.flags |= kFlagUtf8;
        bool encrypted = !opts.password.empty();
        if (encrypted) w.flags |= kFlagEncrypted | kFlagDataDescriptor;
        bool zip64Local = forceZip64_ || total >= kStreamZip64From;
        if ((e = WriteLocal(w, zip64Local)) != ZipError::Ok) return e;
        const uint64_t dataStart = out_.Position();

        std::unique_ptr<TraditionalCipher> cipher;
        if (encrypted) {
            cipher = std::make_unique<TraditionalCipher>(opts.password);
            uint8_t header[kEncryptionHeaderSize];
            FillHeader(header, static_cast<uint8_t>(w.modTime >> 8));
            cipher->Encrypt(header, sizeof header);
            if (!out_.Write(header, sizeof header)) return Fail(ZipError::WriteFailed);
        }
        DeflateState* state = nullptr;
        if (w.method == kMethodDeflate) {
            state = ThreadDeflater();
            if (!state || !ResetDeflateStream(*state, std::min(opts.level, 9)))
                return Fail(ZipError::OutOfMemory);
        }
        std::vector<uint8_t> in(kStreamChunk), packed(kStreamChunk);
        auto emit = [&](uint8_t* p, size_t n) {
            if (cipher) cipher->Encrypt(p, n);
            return out_.Write(p, n);
        };
        for (;;) {
            DWORD read = 0;
            if (!::ReadFile(file, in.data(), static_cast<DWORD>(in.size()), &read, nullptr))
                return Fail(ZipError::ReadFailed);
            w.crc = codec::Crc32(w.crc, in.data(), read);
            w.uncompressedSize += read;
            if (w.method == kMethodStored) {
                if (read == 0) break;
                if (!emit(in.data(), read)) return Fail(ZipError::WriteFailed);
                continue;
            }
            z_stream& z = state->stream;
            z.next_in = in.data();
            z.avail_in = read;
            int flush = read == 0 ? Z_FINISH : Z_NO_FLUSH;
            int r;
            do {
                z.next_out = packed.data();
                z.avail_out = static_cast<uInt>(packed.size());
                r = deflate(&z, flush);
                if (r == Z_STREAM_ERROR) return Fail(ZipError::OutOfMemory);
                size_t n = packed.size() - z.avail_out;
                if (n && !emit(packed.data(), n)) return Fail(ZipError::WriteFailed);
            } while (z.avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
            if (read == 0) break;
        }
        w.compressedSize = out_.Position() - dataStart;
        if (w.uncompressedSize >= kLimit32 && !zip64Local) return Fail(ZipError::TooLarge);
        if (encrypted) {
            std::string d;
            Put32(d, kDataDescriptorSig);
            Put32(d, w.crc);
            if (zip64Local) {
                Put64(d, w.compressedSize);
                Put64(d, w.uncompressedSize);
            } else {
                Put32(d, static_cast<uint32_t>(w.compressedSize));
                Put32(d, static_cast<uint32_t>(w.uncompressedSize));
            }
            if (!out_.Write(d.data(), d.size())) return Fail(ZipError::WriteFailed);
        } else {
            std::string crc;
            Put32(crc, w.crc);
            if (!out_.PatchAt(w.localOffset + 14, crc.data(), 4))
                return Fail(ZipError::WriteFailed);
            std::string sizes;
            if (zip64Local) {
                Put64(sizes, w.uncompressedSize);
                Put64(sizes, w.compressedSize);
                if (!out_.PatchAt(w.localOffset + kLocalHeaderSize + stored.size() + 4,
                                  sizes.data(), 16))
                    return Fail(ZipError::WriteFailed);
            } else {
                Put32(sizes, static_cast<uint32_t>(w.compressedSize));
                Put32(sizes, static_cast<uint32_t>(w.uncompressedSize));
                if (!out_.PatchAt(w.localOffset + 18, sizes.data(), 8))
                    return Fail(ZipError::WriteFailed);
            }
        }
        written_.push_back(std::move(w));
        return ZipError::Ok;
    } catch (const std::bad_alloc&) {
        return Fail(ZipError::OutOfMemory);
    }
}

ZipError ZipWriter::Commit() {
    if (!open_) return ZipError::InvalidState;
    if (failure_ != ZipError::Ok) {
        ZipError e = failure_;
        Abandon();
        return e;
    }
    try {
        const uint64_t directoryStart = out_.Position();
        for (const Written& w : written_) {
            std::string extra =
                Zip64Extra(w.uncompressedSize, w.compressedSize, w.localOffset, forceZip64_);
            std::string h;
            Put32(h, kCentralHeaderSig);
            Put16(h, kVersionMadeBy);
            Put16(h, extra.empty() ? kVersionPlain : kVersionZip64);
            Put16(h, w.flags);
            Put16(h, w.method);
            Put16(h, w.modTime);
            Put16(h, w.modDate);
            Put32(h, w.crc);
            Put32(h, Clamp32(w.compressedSize, forceZip64_));
            Put32(h, Clamp32(w.uncompressedSize, forceZip64_));
            Put16(h, static_cast<uint16_t>(w.name.size()));
            Put16(h, static_cast<uint16_t>(extra.size()));
            Put16(h, 0);  // comment
            Put16(h, 0);  // disk
            Put16(h, 0);  // internal attributes
            Put32(h, w.externalAttributes);
            Put32(h, Clamp32(w.localOffset, forceZip64_));
            h += w.name;
            h += extra;
            if (!out_.Write(h.data(), h.size())) return Fail(ZipError::WriteFailed), Commit();
        }
        const uint64_t directorySize = out_.Position() - directoryStart;
        const uint64_t count = written_.size();
        std::string end;
        if (forceZip64_ || count >= 0xFFFF || directoryStart >= kLimit32 ||
            directorySize >= kLimit32) {
            const uint64_t recordAt = out_.Position();
            Put32(end, kZip64EndRecordSig);
            Put64(end, kZip64EndRecordSize - 12);
            Put16(end, kVersionMadeBy);
            Put16(end, kVersionZip64);
            Put32(end, 0);
            Put32(end, 0);
            Put64(end, count);
            Put64(end, count);
            Put64(end, directorySize);
            Put64(end, directoryStart);
            Put32(end, kZip64LocatorSig);
            Put32(end, 0);
            Put64(end, recordAt);
            Put32(end, 1);
        }
        Put32(end, kEndRecordSig);
        Put16(end, 0);
        Put16(end, 0);
        Put16(end, static_cast<uint16_t>(count >= 0xFFFF ? 0xFFFF : count));
        Put16(end, static_cast<uint16_t>(count >= 0xFFFF ? 0xFFFF : count));
        Put32(end, Clamp32(directorySize));
        Put32(end, Clamp32(directoryStart));
        Put16(end, static_cast<uint16_t>(comment_.size()));
        end += comment_;
        if (!out_.Write(end.data(), end.size())) return Fail(ZipError::WriteFailed), Commit();
    } catch (const std::bad_alloc&) {
        Abandon();
        return ZipError::OutOfMemory;
    }
    bool ok = out_.Commit();
    written_.clear();
    open_ = false;
    return ok ? ZipError::Ok : ZipError::WriteFailed;
}

}  // namespace kwill::zip
