#include "codec/kernels.h"

namespace kwill::codec {

namespace shani {
void Sha1Blocks(uint32_t h[5], const uint8_t* in, size_t blocks);
void Sha256Blocks(uint32_t h[8], const uint8_t* in, size_t blocks);
}  // namespace shani
namespace ssse3 {
void Base64Encode(const uint8_t* in, size_t groups, char* out);
size_t Base64Decode(const char* in, size_t maxGroups, uint8_t* out);
}  // namespace ssse3
namespace avx2 {
void Base64Encode(const uint8_t* in, size_t groups, char* out);
size_t Base64Decode(const char* in, size_t maxGroups, uint8_t* out);
}  // namespace avx2
namespace clmul {
uint32_t Crc32(uint32_t reg, const uint8_t* in, size_t length);
uint32_t Crc32Wide(uint32_t reg, const uint8_t* in, size_t length);
uint32_t Crc32Bzip2(uint32_t reg, const uint8_t* in, size_t length);
}  // namespace clmul

namespace {

Kernels Build(CpuLevel level) {
    CpuFeatures f = FeaturesAt(level);
    Kernels k{};
    k.level = level;
    k.base64Encode = portable::Base64Encode;
    k.base64Decode = portable::Base64Decode;
    k.md5Blocks = portable::Md5Blocks;
    k.sha1Blocks = portable::Sha1Blocks;
    k.sha256Blocks = portable::Sha256Blocks;
    k.sha512Blocks = portable::Sha512Blocks;
    k.crc32 = portable::Crc32;
    k.crc32Bzip2 = portable::Crc32Bzip2;
    k.blake3Chunks = portable::Blake3Chunks;
    k.blake3Parents = portable::Blake3Parents;
    if (level >= CpuLevel::Sse41) k.md5Blocks = x64::Md5Blocks;
    if (f.sha) {
        k.sha1Blocks = shani::Sha1Blocks;
        k.sha256Blocks = shani::Sha256Blocks;
    }
    if (f.ssse3 && f.sse41) {
        k.base64Encode = ssse3::Base64Encode;
        k.base64Decode = ssse3::Base64Decode;
    }
    if (f.avx2 && f.bmi2) k.sha512Blocks = avx2::Sha512Blocks;
    if (f.avx512) k.sha512Blocks = avx512::Sha512Blocks;
    if (f.avx2) {
        k.base64Encode = avx2::Base64Encode;
        k.base64Decode = avx2::Base64Decode;
    }
    if (f.sse41) {
        k.blake3Chunks = sse41::Blake3Chunks;
        k.blake3Parents = sse41::Blake3Parents;
    }
    if (f.avx2) {
        k.blake3Chunks = avx2::Blake3Chunks;
        k.blake3Parents = avx2::Blake3Parents;
    }
    if (f.avx512) {
        k.blake3Chunks = avx512::Blake3Chunks;
        k.blake3Parents = avx512::Blake3Parents;
    }
    if (f.pclmul) {
        k.crc32 = clmul::Crc32;
        k.crc32Bzip2 = clmul::Crc32Bzip2;
    }
    if (f.vpclmul) k.crc32 = clmul::Crc32Wide;
    return k;
}

}  // namespace

const Kernels& KernelsAt(CpuLevel level) {
    static const Kernels tables[] = {Build(CpuLevel::Portable), Build(CpuLevel::Sse41),
                                     Build(CpuLevel::Avx2), Build(CpuLevel::Avx512)};
    if (level > DetectedCpuLevel()) level = DetectedCpuLevel();
    return tables[static_cast<int>(level)];
}

const Kernels& ActiveKernels() {
    static const Kernels& active = KernelsAt(ActiveCpuLevel());
    return active;
}

}  // namespace kwill::codec
