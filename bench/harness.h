// kwillbench: every row times one of the library's kernels and a peer doing the same job, in the
// same run on the same data, and prints the ratio, so that results travel across machines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kwill::bench {

enum class Unit {
    MegabytesPerSecond,  // throughput: bytes per call / time; higher is better
    NanosecondsPerOp,    // latency: time / operations per call; lower is better
};

struct Measure {
    Unit unit;
    double workPerCall;  // bytes (MB/s) or operations (ns/op) that one call does
};

// The build folder (the parent of the folder kwilllib.dll was loaded from), where suites leave
// input for the native peers and find input that scripts prepared.
std::wstring BuildFolder();

// Times fn: warm-up, then repeated timed batches; returns the median in the measure's unit.
double Time(const std::function<void()>& fn, const Measure& measure);

struct Row {
    std::string kernel;
    std::string peerName;
    double ours = 0;
    double peer = 0;  // 0 when the peer is not available here
    Unit unit = Unit::MegabytesPerSecond;
};

// Ratio > 1 means ours is faster, whatever the unit.
double Ratio(const Row& row);

void Report(const Row& row);

// Times both sides with the same measure, their batches taking turns, and reports the row.
void Compare(const std::string& kernel, const Measure& measure, const std::function<void()>& ours,
             const std::string& peerName, const std::function<void()>& peer);

// A family of rows; registered at static-initialisation time, one source file per family.
struct Suite {
    const char* name;
    void (*run)();
};
struct SuiteRegistrar {
    explicit SuiteRegistrar(const Suite& suite);
};

// Keeps the compiler from discarding a result that is only computed for timing.
template <typename T>
inline void Keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

// Deterministic pseudo-random numbers for generated inputs.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

  private:
    uint64_t state_;
};

}  // namespace kwill::bench
