// The dispatch point: the cap read from KWILL_CPU_LEVEL, and the tables of capped levels.
#include "codec/cpu_level.h"
#include "codec/kernels.h"

#include <gtest/gtest.h>

namespace kwill::codec {
namespace {

TEST(CpuLevel, CapValues) {
    struct Row {
        const char* text;
        CpuLevel cap;
    };
    const Row rows[] = {
        {nullptr, CpuLevel::Avx512}, {"", CpuLevel::Avx512},       {"avx512", CpuLevel::Avx512},
        {"3", CpuLevel::Avx512},     {"avx2", CpuLevel::Avx2},     {"2", CpuLevel::Avx2},
        {"sse41", CpuLevel::Sse41},  {"1", CpuLevel::Sse41},       {"portable", CpuLevel::Portable},
        {"0", CpuLevel::Portable},   {"fast", CpuLevel::Portable}, {"33", CpuLevel::Portable},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ParseCpuLevelCap(r.text), r.cap) << (r.text ? r.text : "null");
}

// A level above what the processor has gives the processor's own table, and features never
// exceed the level asked for.
TEST(CpuLevel, TablesFollowTheLevel) {
    CpuLevel detected = DetectedCpuLevel();
    EXPECT_EQ(&KernelsAt(CpuLevel::Avx512), &KernelsAt(detected));
    EXPECT_LE(static_cast<int>(ActiveCpuLevel()), static_cast<int>(detected));
    CpuFeatures portable = FeaturesAt(CpuLevel::Portable);
    EXPECT_FALSE(portable.sse41 || portable.sha || portable.pclmul || portable.avx2);
    EXPECT_FALSE(FeaturesAt(CpuLevel::Avx2).avx512);
    EXPECT_FALSE(FeaturesAt(CpuLevel::Sse41).avx2);
    EXPECT_EQ(KernelsAt(CpuLevel::Portable).sha256Blocks, &portable::Sha256Blocks);
    std::printf("processor level: %s, active: %s\n", CpuLevelName(detected),
                CpuLevelName(ActiveCpuLevel()));
}

}  // namespace
}  // namespace kwill::codec
