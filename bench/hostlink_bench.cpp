// Configuration folders: the cached GetConfigPathW against asking the shell for the folder each
// time, which is what a caller without the library's table would do.
#include "bench/harness.h"
#include "tools/common/kwill_dll.h"

#include <shlobj.h>

namespace kwill::bench {
namespace {

using tools::KwillDll;

void Run() {
    auto getPath = KwillDll::Get().Require<BOOL (*)(int, wchar_t*, int)>("GetConfigPathW");
    wchar_t buffer[MAX_PATH];
    getPath(0, buffer, MAX_PATH);  // fills the table once, outside the timing
    Compare(
        "config folder, cached (GetConfigPathW 0)", {Unit::NanosecondsPerOp, 1},
        [&] { Keep(getPath(0, buffer, MAX_PATH)); }, "SHGetFolderPathW(CSIDL_APPDATA)",
        [&] {
            Keep(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer));
        });
}

const SuiteRegistrar kSuite({"hostlink", Run});

}  // namespace
}  // namespace kwill::bench
