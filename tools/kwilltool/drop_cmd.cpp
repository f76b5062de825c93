// kwill drop TARGET FILE... [--move]: drops files onto a zip archive or an FTP shortcut the way
// the shell does. The drop target comes from the library's class object (DllGetClassObject), is
// loaded with TARGET, and gets a real shell data object over the files with the left button
// (and Shift for --move) through DragEnter and Drop. The drop target hands the files to the
// host, finding or starting it.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/shell_files.h"
#include "tools/kwilltool/subcommand.h"

#include <ole2.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

int Run(const std::vector<std::string>& args);

const Subcommand kDrop = {"drop", "drop files onto a zip archive or an FTP shortcut",
                          "TARGET FILE... [--move]", Run};

// {F85D7E1E-9662-4b38-B1AE-3CF1E9581A3C}: the library's drop target.
constexpr CLSID kDropTarget = {
    0xF85D7E1E, 0x9662, 0x4b38, {0xB1, 0xAE, 0x3C, 0xF1, 0xE9, 0x58, 0x1A, 0x3C}};

std::string HResultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

const char* EffectName(DWORD effect) {
    if (effect & DROPEFFECT_MOVE) return "move";
    if (effect & DROPEFFECT_COPY) return "copy";
    return "none";
}

// The drop itself, once OLE runs. Prints each step; 0 when the host took the files.
int DropFiles(const std::wstring& target, const std::vector<std::string>& files, bool move) {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = KwillDll::Get().Require<GetClassObjectFn>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    IDropTarget* drop = nullptr;
    HRESULT hr = getClassObject(kDropTarget, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IDropTarget, reinterpret_cast<void**>(&drop));
        factory->Release();
    }
    if (FAILED(hr) || !drop) {
        WriteErr("kwill drop: no drop target from the library (" + HResultText(hr) + ")\n");
        return 1;
    }

    IPersistFile* file = nullptr;
    hr = drop->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Load(target.c_str(), STGM_READ);
        file->Release();
    }
    WriteOut("target:  " + Utf8FromWide(target) + "\n");
    WriteOut("load:    " + HResultText(hr) +
             (hr == S_OK ? "\n" : " (refused: neither a zip archive nor an FTP shortcut)\n"));
    if (hr != S_OK) {
        drop->Release();
        return 1;
    }

    std::string missing;
    IDataObject* data = ShellFilesDataObject(files, &missing);
    if (!data) {
        WriteErr(missing.empty() ? "kwill drop: the files cannot be put in a data object\n"
                                 : "kwill drop: " + missing + ": no such file\n");
        drop->Release();
        return 1;
    }
    WriteOut("files:   " + std::to_string(files.size()) + "\n");

    DWORD keys = MK_LBUTTON | (move ? MK_SHIFT : 0);
    POINTL at = {0, 0};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    drop->DragEnter(data, keys, at, &effect);
    WriteOut(std::string("enter:   ") + EffectName(effect) + "\n");
    int result = 1;
    if (effect == DROPEFFECT_NONE) {
        drop->DragLeave();
        WriteOut("drop:    not offered (the data object holds no file list)\n");
    } else {
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        drop->DragOver(keys, at, &effect);
        // The button goes up: Drop gets the key state without it, as from the shell.
        keys &= ~static_cast<DWORD>(MK_LBUTTON);
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        hr = drop->Drop(data, keys, at, &effect);
        if (effect == DROPEFFECT_NONE) {
            WriteOut("drop:    none (" + HResultText(hr) + ": no host took the files)\n");
        } else {
            char sent[64];
            std::snprintf(sent, sizeof(sent), " (archive command 0x%lx sent to the host)\n",
                          effect & DROPEFFECT_MOVE ? 0xB000Ful : 0xA000Ful);
            WriteOut(std::string("drop:    ") + EffectName(effect) + sent);
            result = 0;
        }
    }
    data->Release();
    drop->Release();
    return result;
}

int Run(const std::vector<std::string>& args) {
    bool move = false;
    std::vector<std::string> names;
    for (const std::string& arg : args) {
        if (arg == "--move")
            move = true;
        else if (arg.rfind("--", 0) == 0)
            return UsageError(kDrop, "unknown option " + arg);
        else
            names.push_back(arg);
    }
    if (names.size() < 2) return UsageError(kDrop);
    std::wstring target = WideFromUtf8(names[0]);
    wchar_t full[MAX_PATH * 4];
    DWORD chars = ::GetFullPathNameW(target.c_str(), MAX_PATH * 4, full, nullptr);
    if (chars > 0 && chars < MAX_PATH * 4) target = full;

    if (FAILED(::OleInitialize(nullptr))) {
        WriteErr("kwill drop: OLE cannot start\n");
        return 1;
    }
    int result = DropFiles(target, std::vector<std::string>(names.begin() + 1, names.end()), move);
    ::OleUninitialize();
    return result;
}

const SubcommandRegistrar kRegistrar(kDrop);

}  // namespace
}  // namespace kwill::tools
