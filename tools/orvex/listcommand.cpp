#include "commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "lookup.h"
#include "table.h"
#include "vsttarget.h"

namespace orvex::cli {

namespace {

const char* const kHelp = R"(Usage: orvex list [--path DIR]

Lists the plug-ins found: short name, effect name, vendor, unique ID, number of
parameters and programs.

Options:
  --path DIR   search DIR (and up to three folder levels below it) for .so files
               instead of this build's bundle folder
  -h, --help   this text
)";

int runList(const std::vector<std::string>& args) {
    const ListOptions options = parseList(args);
    if (options.help) return printHelp("list");
    const std::vector<std::string> folders = searchFolders(options.path);
    const std::vector<FoundPlugin> found = scanFolders(folders);
    if (found.empty())
        throw Error("no plug-ins found in " + joinFolders(folders) +
                    "; build them first (./run builds everything), or name a folder with --path");
    Table table({{"Plug-in"},
                 {"Name"},
                 {"Vendor"},
                 {"ID"},
                 {"Params", Table::Align::right},
                 {"Programs", Table::Align::right}});
    int failures = 0;
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
    std::printf("\n%zu plug-in%s in %s\n", found.size(), found.size() == 1 ? "" : "s", joinFolders(folders).c_str());
    return failures == 0 ? 0 : 1;
}

}  // namespace

const Command kListCommand{"list", "", "the plug-ins found, with vendor, ID, parameter and program counts", [] { return std::string(kHelp); }, runList};

}  // namespace orvex::cli
