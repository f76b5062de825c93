#include "bench/harness.h"

#include "frame/platform.h"
#include "tools/common/kwill_dll.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace kwill::bench {
namespace {

std::vector<Suite>& Suites() {
    static std::vector<Suite> suites;
    return suites;
}

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

const char* UnitName(Unit unit) {
    return unit == Unit::MegabytesPerSecond ? "MB/s" : "ns/op";
}

// Time per batch that makes timer resolution and scheduling noise small.
constexpr double kBatchSeconds = 0.02;
constexpr int kBatches = 9;

}  // namespace

namespace {

// Calls fn once, then finds how many calls make a batch of about kBatchSeconds.
long BatchCalls(const std::function<void()>& fn) {
    fn();
    long calls = 1;
    for (;;) {
        double start = Now();
        for (long i = 0; i < calls; ++i) fn();
        double elapsed = Now() - start;
        if (elapsed >= kBatchSeconds || calls >= (1L << 30)) return calls;
        calls *= elapsed > 0
                     ? std::clamp<long>(static_cast<long>(kBatchSeconds / elapsed) + 1, 2, 16)
                     : 16;
    }
}

double BatchSeconds(const std::function<void()>& fn, long calls) {
    double start = Now();
    for (long i = 0; i < calls; ++i) fn();
    return (Now() - start) / static_cast<double>(calls);
}

double InUnit(std::vector<double>& perCall, const Measure& measure) {
    std::nth_element(perCall.begin(), perCall.begin() + kBatches / 2, perCall.end());
    double seconds = perCall[kBatches / 2];
    if (measure.unit == Unit::MegabytesPerSecond) return measure.workPerCall / seconds / 1e6;
    return seconds * 1e9 / measure.workPerCall;
}

}  // namespace

std::wstring BuildFolder() {
    std::wstring path = tools::KwillDll::Path();  // ...\bin\kwilllib.dll
    for (int i = 0; i < 2; ++i) {
        const size_t slash = path.find_last_of(L"\\/");
        path.resize(slash == std::wstring::npos ? 0 : slash);
    }
    return path;
}

double Time(const std::function<void()>& fn, const Measure& measure) {
    long calls = BatchCalls(fn);
    std::vector<double> perCall;
    for (int b = 0; b < kBatches; ++b) perCall.push_back(BatchSeconds(fn, calls));
    return InUnit(perCall, measure);
}

double Ratio(const Row& row) {
    if (row.peer <= 0 || row.ours <= 0) return 0;
    return row.unit == Unit::MegabytesPerSecond ? row.ours / row.peer : row.peer / row.ours;
}

void Report(const Row& row) {
    double ratio = Ratio(row);
    char line[512];
    if (row.peer > 0) {
        std::snprintf(line, sizeof(line), "%-44s | %12.2f | %12.2f %-5s | %6.2fx  (peer: %s)\n",
                      row.kernel.c_str(), row.ours, row.peer, UnitName(row.unit), ratio,
                      row.peerName.c_str());
    } else {
        std::snprintf(line, sizeof(line), "%-44s | %12.2f | %12s %-5s | %7s  (peer: %s)\n",
                      row.kernel.c_str(), row.ours, "n/a", UnitName(row.unit), "-",
                      row.peerName.c_str());
    }
    std::fputs(line, stdout);
    std::snprintf(line, sizeof(line),
                  "BENCH kernel=\"%s\" peer=\"%s\" unit=%s ours=%.4f peer_value=%.4f ratio=%.4f\n",
                  row.kernel.c_str(), row.peerName.c_str(), UnitName(row.unit), row.ours, row.peer,
                  ratio);
    std::fputs(line, stderr);
    std::fflush(stdout);
}

void Compare(const std::string& kernel, const Measure& measure, const std::function<void()>& ours,
             const std::string& peerName, const std::function<void()>& peer) {
    Row row;
    row.kernel = kernel;
    row.peerName = peerName;
    row.unit = measure.unit;
    if (!peer) {
        row.ours = Time(ours, measure);
        Report(row);
        return;
    }
    // The two sides' batches take turns, so that load which comes and goes on the machine falls
    // on both rather than on whichever happened to run then.
    long oursCalls = BatchCalls(ours), peerCalls = BatchCalls(peer);
    std::vector<double> oursPerCall, peerPerCall;
    for (int b = 0; b < kBatches; ++b) {
        oursPerCall.push_back(BatchSeconds(ours, oursCalls));
        peerPerCall.push_back(BatchSeconds(peer, peerCalls));
    }
    row.ours = InUnit(oursPerCall, measure);
    row.peer = InUnit(peerPerCall, measure);
    Report(row);
}

SuiteRegistrar::SuiteRegistrar(const Suite& suite) {
    Suites().push_back(suite);
}

}  // namespace kwill::bench

// kwillbench [FILTER...]: runs every suite whose name contains one of the filters (all without).
int main(int argc, char** argv) {
    using namespace kwill::bench;
    std::printf("%-44s | %12s | %12s %-5s | %7s\n", "kernel", "ours", "peer", "unit", "ratio");
    std::printf("%s\n", std::string(96, '-').c_str());
    std::vector<Suite> suites = Suites();
    std::sort(suites.begin(), suites.end(),
              [](const Suite& a, const Suite& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const Suite& s : suites) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc && !wanted; ++i) wanted = std::strstr(s.name, argv[i]) != nullptr;
        if (wanted) s.run();
    }
    std::printf(
        "ratio > 1: the library is faster than the peer (MB/s: ours/peer; ns/op: peer/ours)\n");
    return 0;
}
