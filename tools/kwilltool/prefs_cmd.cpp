// kwill prefs [--full]: the preference flags the shell extensions see, and who gave them (the
// running host or the configuration files).
#include "hostlink/prefs_reply.h"
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace kwill::tools {
namespace {

int Run(const std::vector<std::string>& args);

const Subcommand kPrefs = {
    "prefs", "the preference flags the shell extensions read, and who answered", "[--full]", Run};
const SubcommandRegistrar kRegister(kPrefs);

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%llx", value);
    return text;
}

std::string Guid(const uint8_t (&bytes)[16]) {
    GUID guid;
    std::memcpy(&guid, bytes, sizeof(guid));
    wchar_t text[40];
    ::StringFromGUID2(guid, text, 40);
    return Utf8FromWide(text);
}

std::string Text(const std::u16string& text) {
    return Utf8FromWide(std::wstring(text.begin(), text.end()));
}

// The reply layout is a data format, not an internal call: the tool decodes it with the same
// portable source file the library uses, compiled in.
int Run(const std::vector<std::string>& args) {
    bool full = false;
    for (const std::string& arg : args) {
        if (arg == "--full")
            full = true;
        else
            return UsageError(kPrefs);
    }
    auto build =
        KwillDll::Get().Require<DWORD (*)(BOOL, void*, DWORD, DWORD*)>("BuildPrefsFlagsReply");
    DWORD source = 0;
    std::vector<uint8_t> reply(build(full, nullptr, 0, &source));
    if (!reply.empty())
        reply.resize(build(full, reply.data(), static_cast<DWORD>(reply.size()), &source));
    host::PrefsFlagsData flags;
    host::ParsePrefsReply(reply, flags);

    static const char* const kSources[] = {"nobody (no host, no preferences file)", "the host",
                                           "the configuration files"};
    std::string text =
        "answered by:         " + std::string(kSources[source < 3 ? source : 0]) + "\n";
    text += "settings1:           " + Hex(flags.settings1) + "\n";
    text += "settings2:           " + Hex(flags.settings2) + "\n";
    text += "settings4:           " + Hex(flags.settings4) + "\n";
    text += "zip flags:           " + Hex(flags.zipFlags) + "\n";
    text += "extra:               " + Hex(flags.extra) + "\n";
    if (full) {
        text += "archive context:     " + Hex(flags.archiveContext) + "\n";
        text += "extraction formats:  " + Text(flags.extractionFormats) + "\n";
        text += "extraction mappings: " + Text(flags.extractionMappings) + "\n";
        for (int i = 0; i < host::kFormatListCount; ++i) {
            text += std::string("list ") + host::kFormatListNames[i] + ": " +
                    std::to_string(flags.formatLists[i].size()) + " formats\n";
            for (const host::ArchiveFormatEntry& e : flags.formatLists[i]) {
                text += "  " + Guid(e.guid) + " " + Text(e.extension) + " " + Text(e.description) +
                        "\n";
            }
        }
    }
    WriteOut(text);
    return 0;
}

}  // namespace
}  // namespace kwill::tools
