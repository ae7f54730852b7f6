// Finding plug-ins: the folders searched, the shared objects and .clap files in them,
// and turning what the user typed (a short name, an effect name, a path or an LV2 URI)
// into one plug-in.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

struct FoundPlugin {
    std::string shortName;  // the file name without ".so": "panner", "3BandEQ-vst"
    std::string path;
};

// The folders searched when no --path is given: the build's bundle folder and the one
// next to this executable (../../vst), those that exist, each once.
std::vector<std::string> defaultSearchFolders();
// `path` when given (it must be a folder), else the default folders.
std::vector<std::string> searchFolders(const std::optional<std::string>& path);

// Every VST 2.x candidate in the folders: bundles (<name>.vst/Contents/x86_64-linux/*.so)
// and any other .so a few levels down, as hosts scan recursively. Sorted by short name;
// a short name found again in a later folder is left out.
std::vector<FoundPlugin> scanFolders(const std::vector<std::string>& folders);

// The folders .clap files are looked for in when no --path is given: the build's
// CLAP folder and the one next to this executable (../../clap), those that exist.
std::vector<std::string> defaultClapFolders();
// Every .clap file in the folders (a few levels down), sorted by short name.
std::vector<FoundPlugin> scanClapFolders(const std::vector<std::string>& folders);

// Resolves PLUGIN: an LV2 URI ("urn:...", "http://...") found among the LV2 bundles
// (lv2target.h), given back as it is; an existing file path; else a short name; else
// an effect name as the plug-ins report it (case ignored). Throws Error naming what is
// available.
std::string resolvePlugin(const std::string& given, const std::vector<std::string>& folders);

// "a, b and c" for messages.
std::string joinFolders(const std::vector<std::string>& folders);

}  // namespace orvex::cli
