// The one place that decides which processor extensions the codec kernels may use.
//
// Levels are cumulative. Each kernel family picks, at the active level, the best version whose
// instructions the processor has; below that there is always a portable version. The
// environment variable KWILL_CPU_LEVEL ("portable", "sse41", "avx2", "avx512" or 0 to 3) caps
// the level, for processors or emulators where a wide extension misbehaves.
#pragma once

#include <cstdint>

namespace kwill::codec {

enum class CpuLevel : int {
    Portable = 0,
    Sse41 = 1,   // SSSE3, SSE4.1, and where present PCLMULQDQ and the SHA extensions
    Avx2 = 2,    // plus AVX2 and BMI2
    Avx512 = 3,  // plus AVX-512 F/BW/VL and where present VPCLMULQDQ
};

struct CpuFeatures {
    bool ssse3 = false;
    bool sse41 = false;
    bool pclmul = false;
    bool sha = false;
    bool avx2 = false;
    bool bmi2 = false;
    bool avx512 = false;  // F, BW and VL, with the operating system saving the ZMM state
    bool vpclmul = false;
};

// The highest level the processor and operating system support.
CpuLevel DetectedCpuLevel();

// The detected level capped by KWILL_CPU_LEVEL; read once per process.
CpuLevel ActiveCpuLevel();

// The cap that a KWILL_CPU_LEVEL value sets: no value means no cap, an unknown one the
// portable level.
CpuLevel ParseCpuLevelCap(const char* text);

// The detected features, limited to those a level allows.
CpuFeatures FeaturesAt(CpuLevel level);

const char* CpuLevelName(CpuLevel level);

}  // namespace kwill::codec
