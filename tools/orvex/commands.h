// The subcommands of `orvex`, one table of them: each takes its arguments (after the
// subcommand's name), prints to stdout, reports failures by throwing Error, and returns
// the exit status. The overview and every help text come from the table.
#pragma once

#include <string>
#include <vector>

namespace orvex::cli {

struct Command {
    const char* name;
    const char* usage;    // what follows the name in the overview: "PLUGIN IN OUT"
    const char* summary;  // the overview's line
    std::string (*options)();  // the help: usage, what it does, its options
    int (*run)(const std::vector<std::string>& args);
};

// Each command lives in a file of its own.
extern const Command kListCommand, kInfoCommand, kRenderCommand, kDemoCommand, kSnapshotCommand, kBenchCommand,
    kValidateCommand;

// The commands in the order the overview lists them.
const std::vector<const Command*>& commandTable();

// The help of a subcommand ("" for the overview); empty for an unknown one.
std::string helpText(const std::string& command);

// Prints the help of `command` to stdout; the exit status of asking for it.
int printHelp(const std::string& command);

// Runs `orvex ARGS...` as main does: messages on stderr, never an exception out.
int runCommandLine(const std::vector<std::string>& args);

}  // namespace orvex::cli
