// The tool's subcommands register themselves here, one source file per family.
#pragma once

#include <string>
#include <vector>

namespace kwill::tools {

struct Subcommand {
    const char* name;
    const char* summary;                               // one line for --help
    const char* usage;                                 // the argument synopsis
    int (*run)(const std::vector<std::string>& args);  // args after the subcommand name
};

void RegisterSubcommand(const Subcommand& command);
const std::vector<Subcommand>& Subcommands();

struct SubcommandRegistrar {
    explicit SubcommandRegistrar(const Subcommand& command) { RegisterSubcommand(command); }
};

// Prints "usage: kwill NAME USAGE" to standard error and returns the exit code for bad usage.
int UsageError(const Subcommand& command, const std::string& message = {});

}  // namespace kwill::tools
