// Digests, CRCs, Base64 and Blowfish on 1 MB buffers against Windows' own implementations, and
// each processor level's kernels against the portable ones. Native peers (OpenSSL, b3sum) are
// measured by scripts/bench-native-peers.sh against the rows printed here.
#include "bench/harness.h"
#include "codec/base64.h"
#include "codec/blowfish.h"
#include "codec/hash.h"
#include "codec/kernels.h"

#include "frame/platform.h"

#include <bcrypt.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace kwill::bench {
namespace {

constexpr size_t kSize = 1 << 20;

std::vector<uint8_t> Data(size_t n) {
    Random rng(99);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng.Next());
    return v;
}

void Digest(HashMethod method, const std::vector<uint8_t>& data) {
    Hash h;
    h.Init(method);
    h.HashData(data.data(), data.size());
    uint8_t out[64];
    h.End(sizeof(out), out);
    Keep(out);
}

std::function<void()> BCrypt(const wchar_t* algorithm, const std::vector<uint8_t>& data) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (::BCryptOpenAlgorithmProvider(&alg, algorithm, nullptr, 0) != 0) return nullptr;
    return [alg, &data] {
        uint8_t out[64];
        DWORD size = 0, got = 0;
        ::BCryptGetProperty(alg, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof(size),
                            &got, 0);
        BCRYPT_HASH_HANDLE h = nullptr;
        ::BCryptCreateHash(alg, &h, nullptr, 0, nullptr, 0, 0);
        ::BCryptHashData(h, const_cast<PUCHAR>(data.data()), static_cast<ULONG>(data.size()), 0);
        ::BCryptFinishHash(h, out, size, 0);
        ::BCryptDestroyHash(h);
        Keep(out);
    };
}

using RtlCrc = DWORD(WINAPI*)(DWORD, const BYTE*, INT);

void RunHashes() {
    std::vector<uint8_t> data = Data(kSize);
    Measure mb{Unit::MegabytesPerSecond, static_cast<double>(kSize)};
    struct Row {
        const char* kernel;
        HashMethod method;
        const wchar_t* peer;
    };
    const Row rows[] = {
        {"md5 1 MB", HashMethod::MD5, BCRYPT_MD5_ALGORITHM},
        {"sha1 1 MB", HashMethod::SHA1, BCRYPT_SHA1_ALGORITHM},
        {"sha256 1 MB", HashMethod::SHA256, BCRYPT_SHA256_ALGORITHM},
        {"sha512 1 MB", HashMethod::SHA512, BCRYPT_SHA512_ALGORITHM},
        {"blake3 1 MB", HashMethod::BLAKE3, BCRYPT_SHA256_ALGORITHM},
    };
    for (const Row& r : rows) {
        std::string peer = std::string("BCryptHash ") +
                           (r.method == HashMethod::BLAKE3 ? "SHA-256" : "same algorithm");
        Compare(
            r.kernel, mb, [&] { Digest(r.method, data); }, peer, BCrypt(r.peer, data));
    }
    auto rtl = reinterpret_cast<RtlCrc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlComputeCrc32")));
    auto rtlRun = [&] { Keep(rtl(0, data.data(), static_cast<INT>(data.size()))); };
    Compare(
        "crc32 1 MB", mb, [&] { Digest(HashMethod::CRC32, data); }, "RtlComputeCrc32", rtlRun);
    Compare(
        "crc32-bzip2 1 MB", mb, [&] { Digest(HashMethod::CRC32_BZIP2, data); },
        "RtlComputeCrc32 (zip CRC)", rtlRun);
}

void RunBase64() {
    std::vector<uint8_t> data = Data(kSize);
    Measure mb{Unit::MegabytesPerSecond, static_cast<double>(kSize)};
    std::string text(Base64EncodedLength(kSize, true, 76) + 16, '\0');
    Compare(
        "base64 encode 1 MB", mb, [&] { Keep(Base64Encode(data, text.data())); },
        "CryptBinaryToStringA",
        [&] {
            DWORD chars = static_cast<DWORD>(text.size());
            ::CryptBinaryToStringA(data.data(), kSize, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                                   text.data(), &chars);
            Keep(chars);
        });
    std::string flat = Base64EncodeToString(data);
    std::vector<uint8_t> flatOut(Base64DecodedCapacity(flat.size()));
    Compare(
        "base64 decode 1 MB (one line)", mb, [&] { Keep(Base64Decode(flat, flatOut.data())); },
        "CryptStringToBinaryA",
        [&] {
            DWORD size = static_cast<DWORD>(flatOut.size());
            ::CryptStringToBinaryA(flat.data(), static_cast<DWORD>(flat.size()),
                                   CRYPT_STRING_BASE64, flatOut.data(), &size, nullptr, nullptr);
            Keep(size);
        });
    // Decoding: text with CR LF after every 76 characters (as mail and most tools write it).
    std::string lines = Base64EncodeToString(data, true, 76);
    std::vector<uint8_t> out(Base64DecodedCapacity(lines.size()));
    Compare(
        "base64 decode 1 MB (76-char lines)", mb, [&] { Keep(Base64Decode(lines, out.data())); },
        "CryptStringToBinaryA",
        [&] {
            DWORD size = static_cast<DWORD>(out.size());
            ::CryptStringToBinaryA(lines.data(), static_cast<DWORD>(lines.size()),
                                   CRYPT_STRING_BASE64, out.data(), &size, nullptr, nullptr);
            Keep(size);
        });
}

void RunBlowfish() {
    std::vector<uint8_t> data = Data(kSize);
    const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Compare(
        "blowfish ecb 1 MB", {Unit::MegabytesPerSecond, static_cast<double>(kSize)},
        [&] { BlowfishEncrypt(key, sizeof(key), data.data(), data.data(), kSize); },
        "(native openssl bf-ecb: bench-native-peers.sh)", nullptr);
    uint8_t small[16] = {};
    Compare(
        "blowfish 16-byte call (key schedule)", {Unit::NanosecondsPerOp, 1},
        [&] { BlowfishEncrypt(key, sizeof(key), small, small, sizeof(small)); },
        "(native openssl bf-ecb: bench-native-peers.sh)", nullptr);
}

// The kernels of each level above the portable one, against the portable kernels.
void RunLevels() {
    using codec::CpuLevel;
    const codec::Kernels& ref = codec::KernelsAt(CpuLevel::Portable);
    std::vector<uint8_t> data = Data(kSize);
    std::string text(kSize / 3 * 4 + 4, '\0');
    ref.base64Encode(data.data(), kSize / 3, text.data());
    std::vector<uint8_t> out(kSize + 64);
    Measure mb{Unit::MegabytesPerSecond, static_cast<double>(kSize)};
    for (int lv = 1; lv <= static_cast<int>(codec::DetectedCpuLevel()); ++lv) {
        const codec::Kernels& k = codec::KernelsAt(static_cast<CpuLevel>(lv));
        std::string suffix = std::string(" [") + codec::CpuLevelName(k.level) + "]";
        auto row = [&](const char* name, auto fn) {
            Compare(
                name + suffix, mb, [&] { fn(k); }, "portable kernel", [&] { fn(ref); });
        };
        row("md5 blocks", [&](const codec::Kernels& x) {
            uint32_t h[4] = {};
            x.md5Blocks(h, data.data(), kSize / 64);
            Keep(h);
        });
        row("sha512 blocks", [&](const codec::Kernels& x) {
            uint64_t h[8] = {};
            x.sha512Blocks(h, data.data(), kSize / 128);
            Keep(h);
        });
        row("sha1 blocks", [&](const codec::Kernels& x) {
            uint32_t h[5] = {};
            x.sha1Blocks(h, data.data(), kSize / 64);
            Keep(h);
        });
        row("sha256 blocks", [&](const codec::Kernels& x) {
            uint32_t h[8] = {};
            x.sha256Blocks(h, data.data(), kSize / 64);
            Keep(h);
        });
        row("crc32", [&](const codec::Kernels& x) { Keep(x.crc32(0, data.data(), kSize)); });
        row("blake3 chunks", [&](const codec::Kernels& x) {
            uint32_t cvs[16][8];
            for (size_t i = 0; i < kSize; i += 16 * 1024)
                x.blake3Chunks(data.data() + i, 16, i, cvs);
            Keep(cvs);
        });
        row("base64 encode", [&](const codec::Kernels& x) {
            x.base64Encode(data.data(), kSize / 3, text.data());
            Keep(text);
        });
        row("base64 decode", [&](const codec::Kernels& x) {
            Keep(x.base64Decode(text.data(), kSize / 4, out.data()));
        });
    }
}

void Run() {
    RunBase64();
    RunBlowfish();
    RunLevels();
}

const SuiteRegistrar kSuite({"codec", Run});
// The digest rows alone ("digests"), which the native peers are measured against.
const SuiteRegistrar kDigests({"digests", RunHashes});

}  // namespace
}  // namespace kwill::bench
