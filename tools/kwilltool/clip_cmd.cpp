// kwill clip dump: what the clipboard's data object offers, as the library's DumpDataObject
// writes it to the debug output (caught here and printed).
// kwill clip put FILE...: puts files on the clipboard as the shell does when they are copied.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/shell_files.h"
#include "tools/kwilltool/subcommand.h"

#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace kwill::tools {
namespace {

int Run(const std::vector<std::string>& args);

const Subcommand kClip = {"clip", "dump the clipboard's data object, or put files on the clipboard",
                          "dump | put FILE...", Run};

// Without a debugger, OutputDebugStringW raises an exception that carries the text (the wide
// one, then the same text as ANSI); a vectored handler sees both before the system goes on.
std::vector<std::wstring>* lines = nullptr;

LONG CALLBACK CatchDebugText(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (!lines || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
        lines->emplace_back(reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]));
    } else if (record->ExceptionCode == DBG_PRINTEXCEPTION_C) {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        std::wstring wide = WideFromUtf8(text);
        if (lines->empty() || lines->back() != wide) lines->push_back(wide);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

int Dump() {
    auto dump = KwillDll::Get().Require<void (*)(IDataObject*)>("DumpDataObject");
    IDataObject* clip = nullptr;
    HRESULT hr = ::OleGetClipboard(&clip);
    if (FAILED(hr) || !clip) {
        WriteErr("kwill clip: the clipboard cannot be read\n");
        return 1;
    }
    std::vector<std::wstring> caught;
    lines = &caught;
    void* handler = ::AddVectoredExceptionHandler(1, CatchDebugText);
    dump(clip);
    ::RemoveVectoredExceptionHandler(handler);
    lines = nullptr;
    clip->Release();
    std::string out;
    for (const std::wstring& line : caught) {
        size_t prefix = line.find(L"] kwill: ");
        out += Utf8FromWide(prefix == std::wstring::npos ? line : line.substr(prefix + 9));
    }
    WriteOut(out);
    return 0;
}

int Put(const std::vector<std::string>& files) {
    std::string missing;
    IDataObject* object = ShellFilesDataObject(files, &missing);
    if (!missing.empty()) {
        WriteErr("kwill clip: " + missing + ": no such file\n");
        return 1;
    }
    int result = 0;
    if (!object || FAILED(::OleSetClipboard(object)) || FAILED(::OleFlushClipboard())) {
        WriteErr("kwill clip: the files cannot be put on the clipboard\n");
        result = 1;
    } else {
        WriteOut(std::to_string(files.size()) + " file(s) on the clipboard\n");
    }
    if (object) object->Release();
    return result;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return UsageError(kClip);
    if (FAILED(::OleInitialize(nullptr))) {
        WriteErr("kwill clip: OLE cannot start\n");
        return 1;
    }
    int result;
    if (args[0] == "dump" && args.size() == 1)
        result = Dump();
    else if (args[0] == "put" && args.size() > 1)
        result = Put(std::vector<std::string>(args.begin() + 1, args.end()));
    else
        result = UsageError(kClip);
    ::OleUninitialize();
    return result;
}

const SubcommandRegistrar kRegistrar(kClip);

}  // namespace
}  // namespace kwill::tools
