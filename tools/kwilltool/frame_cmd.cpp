// kwill xml check FILE [--print]: loads an XML file as the library loads configuration files and
// says whether it is well-formed (its element count and deepest nesting) or where and why it is
// not; --print also prints the document back as the library would save it.
// kwill debug-console: the window that the library's debug-console channel writes to.
#include "frame/xml_document.h"
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace kwill::tools {
namespace {

// XmlDocumentFile is a class inside the library with no export of its own, so this command is
// built from the library's XML source file (the same code, compiled into the tool) rather than
// reached through kwilllib.dll.
int RunXml(const std::vector<std::string>& args);
int RunDebugConsole(const std::vector<std::string>& args);

const Subcommand kXml = {"xml", "check an XML file the way the library loads configuration files",
                         "check FILE [--print]", RunXml};
const Subcommand kDebugConsole = {
    "debug-console", "show what the library sends to its debug-console window until Ctrl+C",
    "[--max N]", RunDebugConsole};

// Why a file could not be opened, in the system's words, or empty when it opens now.
std::string OpenFailure(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return SystemMessage(::GetLastError());
    ::CloseHandle(file);
    return {};
}

struct XmlShape {
    size_t elements = 0;
    size_t depth = 0;  // deepest element nesting; the root element is level 1
};

// Walks the tree without recursion (the loader already bounds the depth, but a walk should not
// depend on that).
XmlShape MeasureXml(const TiXmlNode& root) {
    XmlShape shape;
    const TiXmlNode* node = root.FirstChild();
    size_t level = 1;
    while (node) {
        if (node->ToElement()) {
            ++shape.elements;
            shape.depth = std::max(shape.depth, level);
        }
        if (const TiXmlNode* child = node->FirstChild()) {
            node = child;
            ++level;
            continue;
        }
        while (node && !node->NextSibling()) {
            node = node->Parent();
            --level;
            if (node == &root) node = nullptr;
        }
        if (node) node = node->NextSibling();
    }
    return shape;
}

int RunXml(const std::vector<std::string>& args) {
    bool print = false;
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        if (a == "--print")
            print = true;
        else
            rest.push_back(a);
    }
    if (rest.size() != 2 || rest[0] != "check") return UsageError(kXml);
    const std::string& name = rest[1];
    std::wstring path = WideFromUtf8(name);
    XmlDocumentFile doc;
    if (!doc.LoadFile(path.c_str())) {
        std::string message = name + ": not loaded: " + doc.ErrorDesc();
        if (doc.ErrorId() == TiXmlBase::TIXML_ERROR_OPENING_FILE) {
            if (std::string why = OpenFailure(path); !why.empty()) message += ": " + why;
        }
        if (doc.NestingRefused())
            message += " (nested deeper than " + std::to_string(kXmlMaxNesting) + " levels)";
        if (doc.ErrorRow() > 0)
            message += " at row " + std::to_string(doc.ErrorRow()) + ", column " +
                       std::to_string(doc.ErrorCol());
        WriteErr(message + "\n");
        return 1;
    }
    XmlShape shape = MeasureXml(doc);
    std::string verdict = name + ": well-formed, " + std::to_string(shape.elements) +
                          (shape.elements == 1 ? " element" : " elements") + ", deepest nesting " +
                          std::to_string(shape.depth) +
                          (doc.WriteBom() ? ", UTF-8 byte-order mark" : "") + "\n";
    if (print) {
        TiXmlPrinter printer;
        doc.Accept(&printer);
        WriteErr(verdict);
        WriteOut(printer.Str());
    } else {
        WriteOut(verdict);
    }
    return 0;
}

ULONG_PTR ConsoleTag() {
    return 0x96965853;
}

int received = 0;
int limit = 0;

LRESULT CALLBACK ConsoleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!block || block->dwData != ConsoleTag() || !block->lpData) return FALSE;
        // The byte count includes the terminator; never read past it.
        std::wstring_view text(static_cast<const wchar_t*>(block->lpData),
                               block->cbData / sizeof(wchar_t));
        if (size_t end = text.find(L'\0'); end != std::wstring_view::npos)
            text = text.substr(0, end);
        WriteOut(Utf8FromWide(text));
        // A message sent from another process is handled inside GetMessageW; a posted message
        // makes sure the loop below wakes up to see that the count is reached.
        if (limit && ++received >= limit) ::PostMessageW(window, WM_NULL, 0, 0);
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int RunDebugConsole(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "--max") {
        limit = std::atoi(args[1].c_str());
        if (limit <= 0) return UsageError(kDebugConsole, "--max needs a positive count");
    } else if (!args.empty()) {
        return UsageError(kDebugConsole);
    }
    KwillDll::Get();  // the library must be there for anything to arrive
    WNDCLASSW wc{};
    wc.lpfnWndProc = ConsoleProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"kwill.debugconsole";
    if (!::RegisterClassW(&wc)) {
        WriteErr("kwill debug-console: cannot register the window class\n");
        return 1;
    }
    if (::FindWindowExW(HWND_MESSAGE, nullptr, wc.lpszClassName, nullptr)) {
        WriteErr("kwill debug-console: another debug console is already running\n");
        return 1;
    }
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"kwill debug console", 0, 0, 0, 0, 0,
                                    HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!window) {
        WriteErr("kwill debug-console: cannot create the window\n");
        return 1;
    }
    WriteErr("kwill debug-console: listening\n");
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&msg);
        if (limit && received >= limit) break;
    }
    ::DestroyWindow(window);
    return 0;
}

const SubcommandRegistrar kXmlRegistrar(kXml);
const SubcommandRegistrar kDebugConsoleRegistrar(kDebugConsole);

}  // namespace
}  // namespace kwill::tools
