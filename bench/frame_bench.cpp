// The comparison primitive the library keeps from kernel32 (CompareStringOrdinal, looked up at
// load) against the runtime's wcscmp, over the same generated file names.
#include "bench/harness.h"
#include "tools/common/kwill_dll.h"

#include <cwchar>
#include <string>
#include <vector>

namespace kwill::bench {
namespace {

std::vector<std::wstring> Names(size_t count) {
    Random rng(42);
    std::vector<std::wstring> names;
    const wchar_t* stems[] = {L"Report", L"report", L"IMG_", L"Invoice ", L"notes", L"Track "};
    for (size_t i = 0; i < count; ++i) {
        std::wstring n = stems[rng.Below(6)];
        n += std::to_wstring(rng.Below(100000));
        n += rng.Below(2) ? L".txt" : L".jpeg";
        names.push_back(n);
    }
    return names;
}

void Run() {
    auto names = Names(2048);
    using CompareOrdinal = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);
    auto compareOrdinal = reinterpret_cast<CompareOrdinal>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CompareStringOrdinal")));
    double ops = static_cast<double>(names.size() - 1);
    Compare(
        "ordinal compare (CompareStringOrdinal)", {Unit::NanosecondsPerOp, ops},
        [&] {
            int sum = 0;
            for (size_t i = 1; i < names.size(); ++i)
                sum += compareOrdinal(names[i - 1].c_str(), -1, names[i].c_str(), -1, FALSE);
            Keep(sum);
        },
        "wcscmp",
        [&] {
            int sum = 0;
            for (size_t i = 1; i < names.size(); ++i)
                sum += std::wcscmp(names[i - 1].c_str(), names[i].c_str());
            Keep(sum);
        });
}

const SuiteRegistrar kSuite({"frame", Run});

}  // namespace
}  // namespace kwill::bench
