#include "commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "claptarget.h"
#include "lookup.h"
#include "lv2target.h"
#include "table.h"
#include "vsttarget.h"

namespace orvex::cli {

namespace {

const char* const kHelp = R"(Usage: orvex list [--path DIR]

Lists the plug-ins found: short name, effect name, vendor, unique ID, number of
parameters and programs. Then the CLAP files (.clap) in this build's CLAP folder, with
their CLAP ids, and the LV2 plug-ins lilv finds in this build's LV2 folder and in the
folders of LV2_PATH, with their URIs: what info, render, bench and validate take to
name them.

Options:
  --path DIR   search DIR (and up to three folder levels below it) for .so files,
               .clap files and LV2 bundles instead of this build's folders
  -h, --help   this text
)";

// The columns of the VST 2.x and CLAP tables: what names the plug-in, its name, its
// vendor, the identity hosts know it by, its parameter and program counts.
Table pluginTable(const char* first, const char* identity) {
    return Table({{first}, {"Name"}, {"Vendor"}, {identity}, {"Params", Table::Align::right},
                  {"Programs", Table::Align::right}});
}

int runList(const std::vector<std::string>& args) {
    const ListOptions options = parseList(args);
    if (options.help) return printHelp("list");
    const std::vector<std::string> folders = searchFolders(options.path);
    const std::vector<FoundPlugin> found = scanFolders(folders);
    const std::vector<std::string> clapFolders = options.path ? folders : defaultClapFolders();
    const std::vector<FoundPlugin> claps = scanClapFolders(clapFolders);
    const std::string lv2Path = lv2ListPath(options.path);
    const std::vector<lilvhost::Description> lv2s = lilvhost::World(lv2Path).describeAll();
    if (found.empty() && claps.empty() && lv2s.empty())
        throw Error("no plug-ins found in " + joinFolders(folders) +
                    "; build them first (./run builds everything), or name a folder with --path");
    int failures = 0;
    if (!found.empty()) {
        Table table = pluginTable("Plug-in", "ID");
        for (const FoundPlugin& p : found) {
            const PluginSummary s = summarise(p.path);
            if (!s.loaded) {
                ++failures;
                std::fprintf(stderr, "orvex list: %s\n", s.error.c_str());
                table.add({p.shortName, "(cannot load)"});
                continue;
            }
            table.add({p.shortName, s.name, s.vendor, formatUniqueId(s.uniqueId), std::to_string(s.parameters),
                       std::to_string(s.programs)});
        }
        table.print();
    }
    if (!claps.empty()) {
        std::printf("%sCLAP\n", found.empty() ? "" : "\n");
        Table table = pluginTable("File", "CLAP id");
        for (const FoundPlugin& p : claps) {
            try {
                ClapTarget clap(p.path);
                table.add({p.shortName + ".clap", clap.name(), clap.vendor(), clap.identity(),
                           std::to_string(clap.parameterCount()), std::to_string(clap.programs().size())});
            } catch (const Error& e) {
                ++failures;
                std::fprintf(stderr, "orvex list: %s\n", e.what());
                table.add({p.shortName + ".clap", "(cannot load)"});
            }
        }
        table.print();
    }
    if (!lv2s.empty()) {
        std::printf("%sLV2\n", found.empty() && claps.empty() ? "" : "\n");
        Table table({{"Name"}, {"Vendor"}, {"URI"}, {"Params", Table::Align::right}, {"Programs", Table::Align::right}});
        for (const lilvhost::Description& d : lv2s)
            table.add({d.name, d.vendor, d.uri, std::to_string(d.controls), std::to_string(d.presets)});
        table.print();
    }
    if (!found.empty() || (claps.empty() && lv2s.empty()))
        std::printf("\n%zu plug-in%s in %s\n", found.size(), found.size() == 1 ? "" : "s", joinFolders(folders).c_str());
    if (!claps.empty())
        std::printf("%s%zu CLAP file%s in %s\n", found.empty() ? "\n" : "", claps.size(), claps.size() == 1 ? "" : "s",
                    joinFolders(clapFolders).c_str());
    if (!lv2s.empty())
        std::printf("%s%zu LV2 plug-in%s in %s\n", found.empty() && claps.empty() ? "\n" : "", lv2s.size(),
                    lv2s.size() == 1 ? "" : "s", lv2Path.c_str());
    return failures == 0 ? 0 : 1;
}

}  // namespace

const Command kListCommand{"list", "", "the plug-ins found, with vendor, ID, parameter and program counts", [] { return std::string(kHelp); }, runList};

}  // namespace orvex::cli
