// kwilltool: the command-line client of kwilllib.dll. It loads the DLL and calls its exports as
// the host does, so every subcommand is also a check of the library's export table.
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include "frame/platform.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kwill::tools {

namespace {
std::vector<Subcommand>& Table() {
    static std::vector<Subcommand> table;
    return table;
}

void PrintHelp() {
    std::string text =
        "usage: kwill COMMAND [ARGS...]\n"
        "Runs kwilllib.dll's functions from the command line.\n\n"
        "commands:\n";
    std::vector<Subcommand> sorted = Table();
    std::sort(sorted.begin(), sorted.end(), [](const Subcommand& a, const Subcommand& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    for (const Subcommand& c : sorted) {
        std::string name = c.name;
        name.resize(std::max<size_t>(name.size() + 2, 14), ' ');
        text += "  " + name + c.summary + "\n";
    }
    text += "\n'kwill COMMAND --help' shows a command's arguments.\n";
    WriteOut(text);
}
}  // namespace

void RegisterSubcommand(const Subcommand& command) {
    Table().push_back(command);
}
const std::vector<Subcommand>& Subcommands() {
    return Table();
}

int UsageError(const Subcommand& command, const std::string& message) {
    std::string text;
    if (!message.empty()) text += "kwill " + std::string(command.name) + ": " + message + "\n";
    text += "usage: kwill " + std::string(command.name) + " " + command.usage + "\n";
    WriteErr(text);
    return 2;
}

}  // namespace kwill::tools

int wmain(int argc, wchar_t** argv) {
    using namespace kwill::tools;
    UseBinaryStdio();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8FromWide(argv[i]));
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return args.empty() ? 2 : 0;
    }
    for (const Subcommand& c : Subcommands()) {
        if (args[0] != c.name) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h")) {
            WriteOut("usage: kwill " + std::string(c.name) + " " + c.usage + "\n" + c.summary +
                     "\n");
            return 0;
        }
        return c.run(rest);
    }
    WriteErr("kwill: unknown command '" + args[0] + "' (see kwill --help)\n");
    return 2;
}
