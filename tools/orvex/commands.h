// The subcommands of `orvex`: each takes its arguments (after the subcommand's name),
// prints to stdout, reports failures by throwing Error, and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace orvex::cli {

int runList(const std::vector<std::string>& args);
int runInfo(const std::vector<std::string>& args);
int runRender(const std::vector<std::string>& args);
int runDemoCommand(const std::vector<std::string>& args);
int runValidate(const std::vector<std::string>& args);
int runBench(const std::vector<std::string>& args);

// The help of a subcommand ("" for the overview); empty for an unknown one.
std::string helpText(const std::string& command);

// Runs `orvex ARGS...` as main does: messages on stderr, never an exception out.
int runCommandLine(const std::vector<std::string>& args);

}  // namespace orvex::cli
