// Loading a plug-in for the commands, and reaching its parameters and programs by
// what the user typed: an index, or a name the plug-in reports.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "target.h"
#include "tools/vsthost/vsthost.h"

namespace orvex::cli {

// How the command-line host presents itself while a plug-in is created: the sample
// rate and block size it will run at, and a playing transport at `tempo` (none when
// the tempo is empty).
vsthost::HostOptions hostOptions(float sampleRate, int blockSize, std::optional<double> tempo);

// Loads the shared object and opens the instance (effOpen). Throws Error with the
// loader's reason.
std::unique_ptr<vsthost::Plugin> loadPlugin(const std::string& path, const vsthost::HostOptions& options);

// What `list` shows of one plug-in.
struct PluginSummary {
    bool loaded = false;
    std::string error;  // why it did not load
    std::string name;
    std::string vendor;
    VstInt32 uniqueId = 0;
    int parameters = 0;
    int programs = 0;
};
PluginSummary summarise(const std::string& path);

// The effect name, or the file name when the plug-in reports none.
std::string displayName(vsthost::Plugin& plugin);

std::vector<std::string> parameterNames(vsthost::Plugin& plugin);
// The index of parameter `given`: an index, else a name matching exactly one parameter
// (exactly as written first, then ignoring case). Throws Error listing the valid ones.
int findParameter(const std::vector<std::string>& names, const std::string& given, const std::string& pluginName);

// ProgramName (target.h): shown is effGetProgramName with the program selected, stored
// effGetProgramNameIndexed when answered.
// Every program's names. Selects each program to read the name the plug-in shows,
// then selects the current one again.
std::vector<ProgramName> programNames(vsthost::Plugin& plugin);
// The index of program `given`: a 0-based index, else a name matching one program (shown
// names, then stored names, then either ignoring case). Throws Error listing them.
int findProgram(const std::vector<ProgramName>& names, const std::string& given, const std::string& pluginName);

// "OxTe" when the four bytes are printable, else the number.
std::string formatUniqueId(VstInt32 id);

}  // namespace orvex::cli
