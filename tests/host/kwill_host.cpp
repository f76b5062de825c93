// A stand-in for the host program kwill.exe, for tests of the host link across two processes.
// It creates the host's main window (class and title as the library expects), exports the two
// functions the library looks up in the host, signals the start-up event named on its command
// line, and appends every request it receives to the file named by KWILL_HOST_RECORD:
//
//   START <command-line words after the program>
//   REGISTERED <message name> <wParam> <lParam>
//   MESSAGE 0x<number> <wParam> <lParam>
//   COPYDATA <dwData> <cbData> <hex bytes> [text "<UTF-16 data as UTF-8>"] [from <wParam>]
//
// Environment: KWILL_HOST_RECORD (record file), KWILL_HOST_LIFETIME_MS (the window closes
// itself after this long, default 60000, so that a failed test never leaves a host running),
// KWILL_HOST_LOAD_LIBRARY=1 (load kwilllib.dll from this folder at start, as the real host does;
// then KWILL_HOST_LIBSTRINGS and KWILL_HOST_TIP ask it for language strings and an info tip).
// Words on the command line change its behaviour (a late window, no start-up signal, DDE servers,
// ...): see stand_in_options.h.
#include "hostlink/host_interface.h"
#include "tests/host/host_prefs_answer.h"
#include "tests/host/language_probe.h"
#include "tests/host/stand_in_options.h"
#include "tools/common/text_io.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

namespace host = kwill::host;

FILE* g_record = nullptr;
kwill::standin::Options g_options;
std::vector<std::pair<UINT, std::wstring>> g_registered;

std::string Utf8(const std::wstring& text) {
    return kwill::tools::Utf8FromWide(text);
}

void Record(const std::string& line) {
    if (!g_record) return;
    std::fputs(line.c_str(), g_record);
    std::fputc('\n', g_record);
    std::fflush(g_record);
}

std::string Number(unsigned long long value) {
    return std::to_string(value);
}

std::string Hex(const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

std::wstring RegisteredName(UINT message) {
    for (const auto& [id, name] : g_registered) {
        if (id == message) return name;
    }
    wchar_t name[256];
    int n = ::GetClipboardFormatNameW(message, name, 256);
    return n > 0 ? std::wstring(name, static_cast<size_t>(n)) : L"?";
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (g_options.copyDataHangMs) ::Sleep(g_options.copyDataHangMs);
            std::string line = "COPYDATA " + Number(data->dwData) + " " + Number(data->cbData) +
                               " " + Hex(data->lpData, data->cbData);
            if (data->dwData == host::kCopyDataLayout && data->cbData >= 2) {
                std::wstring text(static_cast<const wchar_t*>(data->lpData), data->cbData / 2);
                while (!text.empty() && text.back() == 0) text.pop_back();
                line += " text \"" + Utf8(text) + "\"";
            }
            if (g_options.copyDataFrom) line += " from " + Number(wParam);
            Record(line);
            return g_options.copyDataResult;
        }
        case host::kMsgAppCommand:
            Record("MESSAGE 0x801d " + Number(wParam) + " " +
                   Number(static_cast<ULONG_PTR>(lParam)));
            return g_options.appCommandResult;  // 1 unless told otherwise: handled
        case host::kMsgDefaultWindow:
            Record("MESSAGE 0x8162 " + Number(wParam) + " " +
                   Number(static_cast<ULONG_PTR>(lParam)));
            return 0;
        case WM_TIMER:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    if (kwill::test::host::IsPrefsRequest(message)) {
        return kwill::test::host::AnswerPrefsRequest(wParam, lParam, Record);
    }
    if (message >= 0xC000 && message <= 0xFFFF) {
        Record("REGISTERED " + Utf8(RegisteredName(message)) + " " + Number(wParam) + " " +
               Number(static_cast<ULONG_PTR>(lParam)));
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::wstring EnvironmentValue(const wchar_t* name) {
    wchar_t value[1024];
    DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

}  // namespace

// The host's translation hook: ids 90000..90099 are "translated" as "host:<id>" so that tests can
// tell the host's text from the library's own; every other id is left to the library.
extern "C" __declspec(dllexport) BOOL
    GetLanguageTranslationOverlay(int stringId, wchar_t* buffer, int bufferChars) {
    if (stringId < 90000 || stringId >= 90100 || !buffer || bufferChars < 16) return FALSE;
    std::swprintf(buffer, static_cast<size_t>(bufferChars), L"host:%d", stringId);
    return TRUE;
}

// The host's number-text builder: id 90100 becomes "host:<value>" and 30371 (an archive's item
// count) "host:<value> items"; other ids are left to the caller.
extern "C" __declspec(dllexport) BOOL
    ConstructEvalString_ArgUInt(int stringId, wchar_t* buffer, int bufferChars, unsigned value) {
    if ((stringId != 90100 && stringId != 30371) || !buffer || bufferChars < 24) return FALSE;
    std::swprintf(buffer, static_cast<size_t>(bufferChars),
                  stringId == 30371 ? L"host:%u items" : L"host:%u", value);
    return TRUE;
}

int wmain(int argc, wchar_t** argv) {
    std::wstring recordPath = EnvironmentValue(L"KWILL_HOST_RECORD");
    if (!recordPath.empty()) g_record = _wfopen(recordPath.c_str(), L"ab");

    std::wstring words, eventName;
    for (int i = 1; i < argc; ++i) {
        words += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
        if (std::wcscmp(argv[i], L"event") == 0 && i + 1 < argc) eventName = argv[i + 1];
        kwill::test::host::ConfigurePrefsAnswer(argv[i]);
    }
    Record("START " + Utf8(words));
    g_options = kwill::standin::ParseOptions(argc, argv);
    if (g_options.exitAtOnce) {
        Record("EXIT");
        return 0;
    }

    for (const wchar_t* name : {host::kMsgGetPrefsFlags, host::kMsgNewLister, host::kMsgPrefs,
                                host::kMsgRemoveCollectionsIcon}) {
        g_registered.emplace_back(::RegisterWindowMessageW(name), name);
    }

    if (EnvironmentValue(L"KWILL_HOST_LOAD_LIBRARY") == L"1") {
        wchar_t exe[MAX_PATH];
        DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring dll(exe, n);
        dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"kwilllib.dll";
        Record(std::string("LIBRARY ") + (::LoadLibraryW(dll.c_str()) ? "loaded" : "failed"));
        kwill::standin::RecordLibStrings(Record);
        kwill::standin::RecordInfoTip(Record);
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = host::kWindowClass;
    if (!::RegisterClassW(&wc)) return 1;
    if (g_options.windowDelayMs) ::Sleep(g_options.windowDelayMs);
    HWND window = ::CreateWindowExW(0, host::kWindowClass, host::kWindowTitle, WS_OVERLAPPEDWINDOW,
                                    0, 0, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;

    std::wstring lifetime = EnvironmentValue(L"KWILL_HOST_LIFETIME_MS");
    UINT limit =
        lifetime.empty() ? 60000u : static_cast<UINT>(std::wcstoul(lifetime.c_str(), nullptr, 10));
    ::SetTimer(window, 1, limit, nullptr);

    if (g_options.dde && !kwill::standin::StartDdeServers(g_options, Record)) Record("DDE failed");
    if (!eventName.empty() && !g_options.neverSignal) {
        if (HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str())) {
            ::SetEvent(ready);
            ::CloseHandle(ready);
        }
    }

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    Record("EXIT");
    if (g_record) std::fclose(g_record);
    return 0;
}
