// Number formatting through the DLL's exports, against what a caller would otherwise write:
// swprintf and GetNumberFormatW for grouped numbers, StrFormatByteSizeW for sizes. The byte-size
// peer truncates where the library rounds (1,048,575 bytes: "0.99 MB" against "1 MB"), so it is
// a peer for speed only.
#include "bench/harness.h"
#include "tools/common/kwill_dll.h"

#include "frame/platform.h"

#include <shlwapi.h>

#include <cstdint>
#include <cwchar>
#include <vector>

namespace kwill::bench {
namespace {

using GetNumberString = int (*)(int64_t, wchar_t*, int);
using BytesToString = int (*)(uint64_t, wchar_t*, int, uint32_t, const void*);
using GetLocalNumberFormat = void (*)(NUMBERFMTW*);

std::vector<uint64_t> Values(size_t count) {
    Random rng(33);
    std::vector<uint64_t> values(count);
    for (uint64_t& v : values) v = rng.Next() >> (8 + rng.Below(52));  // every magnitude
    return values;
}

void Run() {
    const tools::KwillDll& dll = tools::KwillDll::Get();
    auto getNumber = dll.Require<GetNumberString>("GetNumberStringW");
    auto bytesToString = dll.Require<BytesToString>("BytesToStringW");
    NUMBERFMTW format{};
    dll.Require<GetLocalNumberFormat>("GetLocalNumberFormatW")(&format);
    const std::vector<uint64_t> values = Values(1000);
    const Measure perValue{Unit::NanosecondsPerOp, static_cast<double>(values.size())};

    Compare(
        "grouped number (GetNumberStringW)", perValue,
        [&] {
            wchar_t out[64];
            for (uint64_t v : values) Keep(getNumber(static_cast<int64_t>(v), out, 64));
        },
        "swprintf + GetNumberFormatW",
        [&] {
            wchar_t text[32], out[64];
            for (uint64_t v : values) {
                std::swprintf(text, 32, L"%lld", static_cast<long long>(v));
                Keep(::GetNumberFormatW(LOCALE_USER_DEFAULT, 0, text, &format, out, 64));
            }
        });

    Compare(
        "byte size (BytesToStringW)", perValue,
        [&] {
            wchar_t out[64];
            for (uint64_t v : values) Keep(bytesToString(v, out, 64, 0, nullptr));
        },
        "StrFormatByteSizeW",
        [&] {
            wchar_t out[64];
            for (uint64_t v : values) Keep(::StrFormatByteSizeW(static_cast<LONGLONG>(v), out, 64));
        });
}

const SuiteRegistrar kSuite({"numbers", Run});

}  // namespace
}  // namespace kwill::bench
