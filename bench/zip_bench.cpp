// Zip engine rows: whole members and whole files (libdeflate, sizes known) and the streaming path
// (zlib), each beside zlib's own inflate or compress2 at level 6 on the same 64 MiB. Two data
// sets: generated mixed data (always), and the files of this built checkout, sources and
// programs, as scripts/bench-zip-files.sh writes them to zip-files.bin in the build folder (when
// it is there). Whole members are inflated twice: as this engine's writer deflates them and as zlib
// does (most zip tools). The deflate rows also print both compressed sizes: speed must not come
// from compressing less.
#include "bench/harness.h"
#include "codec/hash_state.h"
#include "zip/compressed_file.h"
#include "zip/zip_codec.h"
#include "zip/zip_reader.h"
#include "zip/zip_writer.h"

#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>

namespace kwill::bench {
namespace {

constexpr size_t kSize = 64u << 20;

// Mixed data as files hold it: paragraphs of text from a vocabulary of 4,096 made-up words
// (common words far more often than rare ones, with punctuation and numbers), tables of binary
// records of small integers, and runs of random bytes, in the proportions 6:3:1.
std::vector<uint8_t> MixedData(size_t size) {
    Random random(64);
    std::vector<std::string> vocabulary;
    for (int i = 0; i < 4096; ++i) {
        std::string word;
        for (uint32_t k = 0, n = 2 + random.Below(9); k < n; ++k)
            word += static_cast<char>('a' + random.Below(26));
        vocabulary.push_back(word);
    }
    std::vector<uint8_t> out;
    out.reserve(size + 65536);
    while (out.size() < size) {
        uint32_t kind = random.Below(10);
        if (kind < 6) {
            for (uint32_t i = 0, words = 20 + random.Below(200); i < words; ++i) {
                double u = static_cast<double>(random.Below(1000000) + 1) / 1000001.0;
                const std::string& w = vocabulary[static_cast<size_t>(u * u * u * 4096) % 4096];
                out.insert(out.end(), w.begin(), w.end());
                uint32_t p = random.Below(20);
                out.push_back(p == 0 ? ',' : p == 1 ? '.' : ' ');
                if (random.Below(30) == 0) {
                    std::string number = std::to_string(random.Below(100000)) + " ";
                    out.insert(out.end(), number.begin(), number.end());
                }
            }
            out.push_back('\n');
        } else if (kind < 9) {
            for (uint32_t i = 0, records = 16 + random.Below(256); i < records; ++i) {
                const uint32_t fields[4] = {random.Below(256), random.Below(65536), i * 16,
                                            random.Below(4)};
                for (uint32_t f : fields)
                    for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(f >> (8 * b)));
            }
        } else {
            for (uint32_t i = 0, n = 256 + random.Below(4096); i < n; ++i)
                out.push_back(static_cast<uint8_t>(random.Next()));
        }
    }
    out.resize(size);
    return out;
}

// The files data set, or nothing when the script has not written it (or it is short).
std::vector<uint8_t> FilesData() {
    std::vector<uint8_t> data(kSize);
    FILE* f = _wfopen((BuildFolder() + L"\\zip-files.bin").c_str(), L"rb");
    const size_t got = f ? std::fread(data.data(), 1, kSize, f) : 0;
    if (f) std::fclose(f);
    if (got != kSize) data.clear();
    return data;
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder, n) + name;
}

// zlib's raw inflate into a buffer of the known size, and zlib's CRC-32 of what came out: the
// work of reading a member and checking it.
void ZlibInflate(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = const_cast<uint8_t*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
    Keep(crc32(0, out.data(), static_cast<uInt>(out.size())));
}

// Every row on one data set; `of` names it in the rows ("" for the generated mix, whose rows
// keep their first names).
void RunRows(const std::string& of, const std::vector<uint8_t>& data) {
    Measure mb{Unit::MegabytesPerSecond, static_cast<double>(kSize)};
    const std::string label = "64 MiB" + of;

    // Deflate of a whole member: the engine's path (with the member's CRC) against compress2.
    std::vector<uint8_t> ours, zlibOut(compressBound(kSize));
    uLongf zlibSize = 0;
    Compare(
        "zip member deflate " + label + " (whole, level 6)", mb,
        [&] {
            Keep(codec::Crc32(0, data.data(), data.size()));
            zip::DeflateWhole(data, 6, ours);
        },
        "zlib compress2 level 6",
        [&] {
            zlibSize = zlibOut.size();
            compress2(zlibOut.data(), &zlibSize, data.data(), kSize, 6);
        });
    std::printf("  compressed sizes: ours %zu, zlib %lu (ours %.2f%% of zlib's)\n", ours.size(),
                static_cast<unsigned long>(zlibSize), 100.0 * ours.size() / zlibSize);

    // An archive holding the data as one deflated member, read from memory.
    std::wstring archivePath = TempPath(L"kwillbench-member.zip");
    {
        zip::ZipWriter writer;
        writer.Create(archivePath.c_str());
        writer.AddBuffer("data.bin", data);
        writer.Commit();
    }
    HANDLE file = ::CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    std::vector<uint8_t> archive(static_cast<size_t>(::GetFileSize(file, nullptr)));
    DWORD read = 0;
    ::ReadFile(file, archive.data(), static_cast<DWORD>(archive.size()), &read, nullptr);
    ::CloseHandle(file);
    ::DeleteFileW(archivePath.c_str());
    zip::ZipReader reader;
    if (reader.Open(std::make_unique<zip::MemorySource>(archive)) != zip::ZipError::Ok) {
        std::printf("  (archive not readable, zip rows skipped)\n");
        return;
    }
    const zip::ZipEntry& entry = reader.Entries().front();
    // The member's raw deflate stream, for zlib.
    std::vector<uint8_t> stream(archive.begin() + 30 + entry.rawName.size(),
                                archive.begin() + 30 + entry.rawName.size() + entry.compressedSize);
    std::vector<uint8_t> out(kSize), whole;
    Compare(
        "zip member inflate " + label + " (whole, CRC checked)", mb,
        [&] { reader.Read(entry, "", kSize, whole); }, "zlib inflate + crc32",
        [&] { ZlibInflate(stream, out); });
    // The same data as most zip tools would have stored it: deflated by zlib at level 6, whose
    // blocks are longer than libdeflate's (its block splitting cuts the generated mix into some
    // 8,000 short blocks, each with its own tables to build). The engine's whole-member inflate,
    // the one the reader calls, against the same zlib inflate.
    std::vector<uint8_t> zlibStream(compressBound(kSize));
    {
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        z.next_in = const_cast<uint8_t*>(data.data());
        z.avail_in = static_cast<uInt>(kSize);
        z.next_out = zlibStream.data();
        z.avail_out = static_cast<uInt>(zlibStream.size());
        deflate(&z, Z_FINISH);
        zlibStream.resize(z.total_out);
        deflateEnd(&z);
    }
    Compare(
        "zip member inflate " + label + " (whole, CRC; zlib-made)", mb,
        [&] {
            Keep(zip::InflateWhole(zlibStream, out) == zip::ZipError::Ok);
            Keep(codec::Crc32(0, out.data(), out.size()));
        },
        "zlib inflate + crc32", [&] { ZlibInflate(zlibStream, out); });
    Compare(
        "zip member inflate " + label + " (streaming, CRC)", mb,
        [&] {
            size_t total = 0;
            reader.Extract(entry, "", [&](const uint8_t*, size_t n) { return (total += n) > 0; });
            Keep(total);
        },
        "zlib inflate + crc32", [&] { ZlibInflate(stream, out); });

    // Whole compressed files: Save (temporary file, flush, replace) against compress2 and a
    // plain write; Load against a plain read and zlib's uncompress into a new block of the known
    // size (Load, too, hands out a new block, which the caller frees).
    std::wstring ourFile = TempPath(L"kwillbench-ours.kzc"),
                 peerFile = TempPath(L"kwillbench-peer.kzc");
    Compare(
        "SaveZipCompressedFile " + label, mb,
        [&] { zip::SaveCompressedFile(ourFile.c_str(), data, false); },
        "zlib compress2 level 6 + WriteFile",
        [&] {
            zlibSize = zlibOut.size();
            compress2(zlibOut.data(), &zlibSize, data.data(), kSize, 6);
            HANDLE f = ::CreateFileW(peerFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                     nullptr);
            DWORD written = 0;
            ::WriteFile(f, zlibOut.data(), static_cast<DWORD>(zlibSize), &written, nullptr);
            ::CloseHandle(f);
        });
    Compare(
        "LoadZipCompressedFile " + label, mb,
        [&] {
            zip::LoadedBlock block;
            zip::LoadCompressedFile(ourFile.c_str(), false, block);
            ::LocalFree(block.block);
        },
        "ReadFile + zlib uncompress",
        [&] {
            HANDLE f = ::CreateFileW(peerFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
            std::vector<uint8_t> packed(::GetFileSize(f, nullptr));
            DWORD got = 0;
            ::ReadFile(f, packed.data(), static_cast<DWORD>(packed.size()), &got, nullptr);
            ::CloseHandle(f);
            HLOCAL block = ::LocalAlloc(LMEM_FIXED, kSize + 2);
            uLongf size = static_cast<uLongf>(kSize);
            uncompress(static_cast<Bytef*>(block), &size, packed.data(),
                       static_cast<uLong>(packed.size()));
            ::LocalFree(block);
        });
    ::DeleteFileW(ourFile.c_str());
    ::DeleteFileW(peerFile.c_str());
}

void Run() {
    RunRows("", MixedData(kSize));
    std::vector<uint8_t> files = FilesData();
    if (files.empty())
        std::printf(
            "  (no build/zip-files.bin: scripts/bench-zip-files.sh writes it; file rows "
            "skipped)\n");
    else
        RunRows(" of files", files);
}

const SuiteRegistrar kSuite({"zip", Run});

}  // namespace
}  // namespace kwill::bench
