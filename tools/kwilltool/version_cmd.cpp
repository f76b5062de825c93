// kwill version: what the library detected about this system and its own flags.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdio>
#include <string>

namespace kwill::tools {
namespace {

struct FlagName {
    unsigned long bit;
    const char* name;
};

constexpr FlagName kOsFlags[] = {
    {0x4, "Windows 7"},
    {0x8, "Windows 8"},
    {0x10, "Windows 8.1"},
    {0x20, "Windows 10"},
    {0x40, "Windows 11"},
    {0x20000, "server (7)"},
    {0x40000, "server (8/8.1)"},
    {0x80000, "server (10)"},
    {0x100000, "build >= 16299"},
    {0x200000, "build >= 17134"},
    {0x400000, "build 18362"},
    {0x800000, "build >= 18363"},
    {0x2000000, "build >= 22621"},
    {0x4000000, "build >= 26100"},
    {0x40000000, "WOW64"},
};

constexpr FlagName kLibFlags[] = {
    {0x1, "zip engine A ready"}, {0x2, "zip engine B ready"}, {0x4, "inside host"},
    {0x8, "install mode 1"},     {0x40, "regex variant"},     {0x80, "flag 0x80"},
    {0x100, "install mode 2"},   {0x400, "pinyin matching"},
};

std::string Hex(unsigned long v) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "0x%lx", v);
    return buf;
}

std::string Decode(unsigned long value, const FlagName* names, size_t count) {
    std::string out;
    unsigned long known = 0;
    for (size_t i = 0; i < count; ++i) {
        known |= names[i].bit;
        if (value & names[i].bit) out += (out.empty() ? "" : ", ") + std::string(names[i].name);
    }
    if (value & ~known) out += (out.empty() ? "" : ", ") + ("other " + Hex(value & ~known));
    return out.empty() ? "none" : out;
}

int Run(const std::vector<std::string>& args) {
    if (!args.empty()) {
        WriteErr("kwill version: takes no arguments\n");
        return 2;
    }
    KwillDll& dll = KwillDll::Get();
    DWORD os = dll.Require<DWORD (*)()>("OsVer")();
    DWORD ubr = dll.Require<DWORD (*)()>("OsVerUBR")();
    DWORD build = dll.Require<DWORD (*)()>("OsVerWin10Build")();
    BOOL wow = dll.Require<BOOL (*)()>("IsWow64")();
    DWORD lib = dll.Require<DWORD (*)()>(WORD{27})();   // GetLibFlags
    DWORD mode = dll.Require<DWORD (*)()>(WORD{72})();  // GetInstallMode

    std::string text;
    text += "library:          " + Utf8FromWide(KwillDll::Path()) + "\n";
    text +=
        "os flags:         " + Hex(os) + " (" + Decode(os, kOsFlags, std::size(kOsFlags)) + ")\n";
    text += "windows 10 build: " + std::to_string(build) + "\n";
    text += "update revision:  " + std::to_string(ubr) + "\n";
    text += "wow64:            " + std::string(wow ? "yes" : "no") + "\n";
    text += "library flags:    " + Hex(lib) + " (" + Decode(lib, kLibFlags, std::size(kLibFlags)) +
            ")\n";
    text += "install mode:     " + std::to_string(mode) + "\n";
    WriteOut(text);
    return 0;
}

const SubcommandRegistrar kRegistrar({"version",
                                      "what the library detected: Windows version flags, build, "
                                      "update revision, library flags",
                                      "", Run});

}  // namespace
}  // namespace kwill::tools
