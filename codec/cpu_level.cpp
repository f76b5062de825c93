#include "codec/cpu_level.h"

#include <cpuid.h>

#include <cstdlib>
#include <cstring>

namespace kwill::codec {
namespace {

uint64_t ReadXcr0() {
    uint32_t lo, hi;
    asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (uint64_t{hi} << 32) | lo;
}

CpuFeatures Detect() {
    CpuFeatures f;
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
    f.ssse3 = c & bit_SSSE3;
    f.sse41 = c & bit_SSE4_1;
    f.pclmul = c & bit_PCLMUL;
    bool osxsave = c & bit_OSXSAVE;
    bool avx = c & bit_AVX;
    uint64_t xcr0 = osxsave ? ReadXcr0() : 0;
    bool ymmSaved = (xcr0 & 0x6) == 0x6;
    bool zmmSaved = (xcr0 & 0xe6) == 0xe6;
    unsigned maxLeaf = __get_cpuid_max(0, nullptr);
    if (maxLeaf < 7) return f;
    __cpuid_count(7, 0, a, b, c, d);
    f.sha = b & bit_SHA;
    f.avx2 = avx && ymmSaved && (b & bit_AVX2);
    f.bmi2 = (b & bit_BMI2) && (b & bit_BMI);
    f.avx512 = zmmSaved && (b & bit_AVX512F) && (b & bit_AVX512BW) && (b & bit_AVX512VL);
    f.vpclmul = f.avx512 && (c & bit_VPCLMULQDQ);
    return f;
}

const CpuFeatures& Detected() {
    static const CpuFeatures features = Detect();
    return features;
}

}  // namespace

CpuLevel ParseCpuLevelCap(const char* text) {
    if (!text || !*text) return CpuLevel::Avx512;
    static const char* const kNames[] = {"portable", "sse41", "avx2", "avx512"};
    for (int i = 0; i < 4; ++i) {
        if (std::strcmp(text, kNames[i]) == 0 || (text[0] == '0' + i && text[1] == 0))
            return static_cast<CpuLevel>(i);
    }
    return CpuLevel::Portable;  // an unknown value is taken as the safest choice
}

CpuLevel DetectedCpuLevel() {
    const CpuFeatures& f = Detected();
    if (!f.ssse3 || !f.sse41) return CpuLevel::Portable;
    if (!f.avx2 || !f.bmi2) return CpuLevel::Sse41;
    if (!f.avx512) return CpuLevel::Avx2;
    return CpuLevel::Avx512;
}

CpuLevel ActiveCpuLevel() {
    static const CpuLevel level = [] {
        CpuLevel detected = DetectedCpuLevel();
        CpuLevel cap = ParseCpuLevelCap(std::getenv("KWILL_CPU_LEVEL"));
        return cap < detected ? cap : detected;
    }();
    return level;
}

CpuFeatures FeaturesAt(CpuLevel level) {
    CpuFeatures f = Detected();
    if (level > DetectedCpuLevel()) level = DetectedCpuLevel();
    if (level < CpuLevel::Avx512) f.avx512 = f.vpclmul = false;
    if (level < CpuLevel::Avx2) f.avx2 = f.bmi2 = false;
    if (level < CpuLevel::Sse41) f = CpuFeatures{};
    return f;
}

const char* CpuLevelName(CpuLevel level) {
    switch (level) {
        case CpuLevel::Portable:
            return "portable";
        case CpuLevel::Sse41:
            return "sse41";
        case CpuLevel::Avx2:
            return "avx2";
        case CpuLevel::Avx512:
            return "avx512";
    }
    return "?";
}

}  // namespace kwill::codec
