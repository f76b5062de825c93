#include "tests/host/stand_in_options.h"

#include "tools/common/text_io.h"

#include <dde.h>

#include <cstdlib>
#include <cwchar>

namespace kwill::standin {
namespace {

RecordFn g_record = nullptr;
bool g_silent = false;

void Record(const std::string& line) {
    if (g_record) g_record(line);
}

std::string AtomText(ATOM atom) {
    wchar_t name[256] = {};
    if (!atom || !::GlobalGetAtomNameW(atom, name, 256)) return "-";
    return tools::Utf8FromWide(name);
}

bool Answers(const wchar_t* own, ATOM application, ATOM topic) {
    wchar_t app[256] = {}, top[256] = {};
    if (!application || !::GlobalGetAtomNameW(application, app, 256)) return false;
    if (topic && !::GlobalGetAtomNameW(topic, top, 256)) return false;
    bool appOk = ::_wcsicmp(app, L"KwillStandIn") == 0 || ::_wcsicmp(app, own) == 0;
    bool topicOk = !topic || ::_wcsicmp(top, L"System") == 0 || ::_wcsicmp(top, L"KwillTopic") == 0;
    return appOk && topicOk;
}

// One procedure for both windows; the kind letter is the window's Unicode-ness.
LRESULT ServerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool unicode) {
    const std::string who = unicode ? "DDE W " : "DDE A ";
    HWND client = reinterpret_cast<HWND>(wParam);
    switch (message) {
        case WM_DDE_INITIATE: {
            ATOM application = LOWORD(lParam), topic = HIWORD(lParam);
            if (!Answers(unicode ? L"KwillStandInW" : L"KwillStandInA", application, topic))
                return 0;
            Record(who + "INITIATE " + AtomText(application) + " " + AtomText(topic));
            // The answer carries atoms of its own for the names asked for; the client deletes them.
            wchar_t name[256] = {};
            ::GlobalGetAtomNameW(application, name, 256);
            ATOM a = ::GlobalAddAtomW(name);
            if (topic) ::GlobalGetAtomNameW(topic, name, 256);
            ATOM t = ::GlobalAddAtomW(topic ? name : L"System");
            ::SendMessageW(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), MAKELPARAM(a, t));
            return 0;
        }
        case WM_DDE_EXECUTE: {
            HGLOBAL memory = reinterpret_cast<HGLOBAL>(lParam);
            std::string text = "?";
            if (const void* p = ::GlobalLock(memory)) {
                if (unicode) {
                    text = tools::Utf8FromWide(static_cast<const wchar_t*>(p));
                } else {
                    const char* ansi = static_cast<const char*>(p);
                    int n = ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
                    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
                    if (n > 1) ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), n);
                    text = tools::Utf8FromWide(wide);
                }
                ::GlobalUnlock(memory);
            }
            Record(who + "EXECUTE " + text);
            if (!g_silent) {
                LPARAM ack =
                    ::PackDDElParam(WM_DDE_ACK, 0x8000, reinterpret_cast<UINT_PTR>(memory));
                if (!::PostMessageW(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), ack))
                    ::FreeDDElParam(WM_DDE_ACK, ack);
            }
            return 0;
        }
        case WM_DDE_TERMINATE:
            Record(who + "TERMINATE");
            ::PostMessageW(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
            return 0;
        default:
            return unicode ? ::DefWindowProcW(window, message, wParam, lParam)
                           : ::DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK UnicodeProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return ServerProc(w, m, wp, lp, true);
}
LRESULT CALLBACK AnsiProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return ServerProc(w, m, wp, lp, false);
}

}  // namespace

Options ParseOptions(int argc, wchar_t** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::wstring word = argv[i];
        bool hasValue = i + 1 < argc;
        if (word == L"--window-delay" && hasValue)
            o.windowDelayMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        else if (word == L"--appcommand-result" && hasValue)
            o.appCommandResult = static_cast<LRESULT>(std::wcstol(argv[++i], nullptr, 10));
        else if (word == L"--copydata-hang" && hasValue)
            o.copyDataHangMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        else if (word == L"--copydata-result" && hasValue)
            o.copyDataResult = static_cast<LRESULT>(std::wcstol(argv[++i], nullptr, 10));
        else if (word == L"--copydata-from")
            o.copyDataFrom = true;
        else if (word == L"--never-signal")
            o.neverSignal = true;
        else if (word == L"--exit-at-once")
            o.exitAtOnce = true;
        else if (word == L"--dde")
            o.dde = true;
        else if (word == L"--dde-silent")
            o.dde = o.ddeSilent = true;
    }
    return o;
}

bool StartDdeServers(const Options& options, RecordFn record) {
    g_record = record;
    g_silent = options.ddeSilent;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wide{};
    wide.lpfnWndProc = UnicodeProc;
    wide.hInstance = instance;
    wide.lpszClassName = L"KwillStandIn.DdeW";
    WNDCLASSA ansi{};
    ansi.lpfnWndProc = AnsiProc;
    ansi.hInstance = instance;
    ansi.lpszClassName = "KwillStandIn.DdeA";
    if (!::RegisterClassW(&wide) || !::RegisterClassA(&ansi)) return false;
    HWND w = ::CreateWindowExW(0, wide.lpszClassName, L"dde", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, instance, nullptr);
    HWND a = ::CreateWindowExA(0, ansi.lpszClassName, "dde", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
    return w && a;
}

}  // namespace kwill::standin
