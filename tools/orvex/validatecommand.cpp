#include "commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "lookup.h"
#include "lv2target.h"
#include "tools/validate/validate.h"

namespace orvex::cli {

namespace {

const char* const kHelp = R"(Usage: orvex validate [PLUGIN...] [OPTIONS]

Judges VST 2.x, CLAP and LV2 plug-ins: loading and exported symbols, processing at every
sample rate and block size, extreme and non-finite input, parameters, programs and their
texts, a session restore, a second thread changing parameters, time information of
every kind, random MIDI, real-time safety of the processing calls (allocations, locks
and system calls counted) and the editor in a real X window. Each check runs in a
process of its own: a plug-in that crashes or hangs fails that check and the report
goes on. One line per check with PASS, FAIL or SKIP and its figures, then a summary
that names the skipped checks and why. A check skipped for the plug-in's sake (it
has no editor, no parameters) is no fault; one this machine could not run (no X
display, or it went away) leaves the run incomplete. The exit status is 0 only when
nothing failed and nothing was left incomplete.

PLUGIN is a short name (panner), an effect name ("Orvex Space") or the path of any
VST 2.x .so; with none, every plug-in 'orvex list' shows is validated, in every
format. The path of a CLAP .clap is judged by the CLAP checks instead (--list shows
them, marked CLAP): the same aspects through the CLAP interface, and its own rules
(the factory, each call on its thread, activation and processing over and over,
flush, state round trips and damaged states, the editor's size negotiation). An LV2
plug-in named by its URI (urn:harmoxel:orvex:panner), looked up in this build's LV2
folder and in those an LV2 host searches (LV2_PATH), is judged by the LV2 checks
(marked LV2): loading through lilv, processing, its control ports, time:Position
and MIDI atoms, real-time safety of run and its state. Editor checks open on
DISPLAY, or on a private Xvfb when DISPLAY is not set.

Options:
  --only CHECKS   run only these checks: names (process.grid), groups (params) or
                  patterns (*.random), comma-separated, repeatable
  --quick         a smaller grid and fewer rounds (for CI)
  --json          the report as JSON on stdout
  --list          list the checks and exit
  --seed N        seed of every random choice (default 1); a failure names its seed
  --timeout S     seconds a check may take before it counts as hung (default 300)
  --with PLUGIN   another bundle to run side by side (repeatable); by default every
                  plug-in in the search folders keeps the validated one company
  --alone         run the side-by-side check with the plug-in's own instances only
  -v, --verbose   show what the plug-in printed during a failed check
  --allow-skips   exit 0 even when checks could not run on this machine
  --path DIR      look for plug-ins in DIR instead of this build's bundle folder
  -h, --help      this text
)";

int runValidate(const std::vector<std::string>& args) {
    const ValidateOptions options = parseValidate(args);
    if (options.help) return printHelp("validate");
    if (options.list) {
        for (const validate::CheckListing& check : validate::checkList()) {
            std::printf("%-24s %s\n", check.name.c_str(), check.title.c_str());
            if (!check.provenBy.empty()) std::printf("%-24s   fails on %s\n", "", check.provenBy.c_str());
        }
        return 0;
    }
    const std::vector<std::string> folders = searchFolders(options.path);
    std::vector<std::string> found;
    for (const FoundPlugin& p : scanFolders(folders)) found.push_back(p.path);
    validate::Request request;
    for (const std::string& given : options.plugins) request.plugins.push_back(resolvePlugin(given, folders));
    if (options.plugins.empty()) {
        // What `list` shows, in every format.
        request.plugins = found;
        for (const FoundPlugin& p : scanClapFolders(options.path ? folders : defaultClapFolders()))
            request.plugins.push_back(p.path);
        for (const lilvhost::Description& d : lilvhost::World(lv2ListPath(options.path)).describeAll())
            request.plugins.push_back(d.uri);
        if (request.plugins.empty())
            throw Error("no plug-ins found in " + joinFolders(folders) + "; name one, or build them first (./run)");
    }
    if (!options.alone) request.companions = found;
    for (const std::string& given : options.with) request.companions.push_back(resolvePlugin(given, folders));
    for (const std::string& pattern : options.only) {
        bool any = false;
        for (const auto& check : validate::checkList()) any = any || validate::selected(check.name, {pattern});
        if (!any) throw UsageError("validate", "--only " + pattern + " selects no check (see orvex validate --list)");
    }
    request.patterns = options.only;
    request.quick = options.quick;
    request.json = options.json;
    request.verbose = options.verbose;
    request.allowSkips = options.allowSkips;
    request.seed = static_cast<uint32_t>(options.seed);
    request.timeout = options.timeout;
    request.lv2Path = options.path ? *options.path + ":" + lv2SearchPath() : lv2SearchPath();
    return validate::validate(request);
}

}  // namespace

const Command kValidateCommand{"validate", "[PLUGIN...]", "judges plug-ins as the strictest validators do", [] { return std::string(kHelp); }, runValidate};

}  // namespace orvex::cli
