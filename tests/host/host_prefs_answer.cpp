// The stand-in host's answer to "kwillmsg.GetPrefsFlags", given through the library's own
// receiving exports (OpenHostRequestData, CloseHostRequestData) as the real host gives it.
//
// Command-line words:
//   --prefs-reply=FILE   the reply's bytes (default: an empty reply, which counts as no answer)
//   --prefs-mode=MODE    given        the size query and every request answer the reply's size
//                      grow-once    the size query answers 8 bytes short, so the first request
//                                   is too small and the second fits
//                      grow-always  every request answers 16 bytes more than its block holds
//                      zero         every message answers 0
//                      hang         every message sleeps 6 s before answering as "given"
// Each message is recorded as
//   PREFS size-query -> <result>
//   PREFS request <block size> flag <first u32> at <lParam> -> <result>
#include "tests/host/host_prefs_answer.h"

#include "hostlink/host_interface.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace kwill::test::host {
namespace {

struct View {
    void* data;
    uint32_t size;
    BOOL mapped;
};
using OpenFn = BOOL (*)(DWORD, const void*, View*);
using CloseFn = void (*)(View*);

enum class Mode { kGiven, kGrowOnce, kGrowAlways, kZero, kHang };

std::vector<uint8_t> g_reply;
Mode g_mode = Mode::kGiven;
UINT g_message = 0;
OpenFn g_open = nullptr;
CloseFn g_close = nullptr;

bool LoadReceivingExports() {
    if (g_open) return true;
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dll(exe, n);
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"kwilllib.dll";
    HMODULE library = ::LoadLibraryW(dll.c_str());
    if (!library) return false;
    g_open = reinterpret_cast<OpenFn>(
        reinterpret_cast<void*>(::GetProcAddress(library, MAKEINTRESOURCEA(116))));
    g_close = reinterpret_cast<CloseFn>(
        reinterpret_cast<void*>(::GetProcAddress(library, MAKEINTRESOURCEA(117))));
    return g_open && g_close;
}

}  // namespace

void ConfigurePrefsAnswer(const std::wstring& word) {
    g_message = ::RegisterWindowMessageW(kwill::host::kMsgGetPrefsFlags);
    static const std::wstring kReply = L"--prefs-reply=", kMode = L"--prefs-mode=";
    if (word.rfind(kReply, 0) == 0) {
        g_reply.clear();
        if (FILE* file = _wfopen(word.c_str() + kReply.size(), L"rb")) {
            uint8_t chunk[4096];
            size_t got;
            while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
                g_reply.insert(g_reply.end(), chunk, chunk + got);
            std::fclose(file);
        }
    } else if (word.rfind(kMode, 0) == 0) {
        std::wstring mode = word.substr(kMode.size());
        g_mode = mode == L"grow-once"     ? Mode::kGrowOnce
                 : mode == L"grow-always" ? Mode::kGrowAlways
                 : mode == L"zero"        ? Mode::kZero
                 : mode == L"hang"        ? Mode::kHang
                                          : Mode::kGiven;
    }
}

bool IsPrefsRequest(UINT message) {
    return g_message != 0 && message == g_message;
}

LRESULT AnswerPrefsRequest(WPARAM wParam, LPARAM lParam, void (*record)(const std::string&)) {
    if (g_mode == Mode::kHang) ::Sleep(6000);
    const size_t replySize = g_reply.size();
    if (wParam == 0 && lParam == 0) {
        LRESULT result = g_mode == Mode::kZero       ? 0
                         : g_mode == Mode::kGrowOnce ? (replySize > 8 ? replySize - 8 : 1)
                                                     : static_cast<LRESULT>(replySize);
        record("PREFS size-query -> " + std::to_string(result));
        return result;
    }
    View view{};
    if (!LoadReceivingExports() ||
        !g_open(static_cast<DWORD>(wParam), reinterpret_cast<const void*>(lParam), &view)) {
        record("PREFS request unreadable");
        return 0;
    }
    uint32_t flag = 0;
    std::memcpy(&flag, view.data, view.size < 4 ? view.size : 4);
    std::memcpy(view.data, g_reply.data(), replySize < view.size ? replySize : view.size);
    LRESULT result = g_mode == Mode::kZero         ? 0
                     : g_mode == Mode::kGrowAlways ? static_cast<LRESULT>(view.size) + 16
                                                   : static_cast<LRESULT>(replySize);
    record("PREFS request " + std::to_string(view.size) + " flag " + std::to_string(flag) + " at " +
           std::to_string(static_cast<ULONG_PTR>(lParam)) + " -> " + std::to_string(result));
    g_close(&view);
    return result;
}

}  // namespace kwill::test::host
