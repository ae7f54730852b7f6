#include "commands.h"

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "arguments.h"
#include "claptarget.h"
#include "lookup.h"
#include "lv2target.h"
#include "report.h"
#include "table.h"
#include "values.h"
#include "vsttarget.h"

namespace orvex::cli {

namespace {

const char* const kHelp = R"(Usage: orvex info PLUGIN [OPTIONS]

Shows a plug-in's identity, every parameter (index, name, label, the display text
at its current value, the normalised value and the range it takes in its own terms:
unit, entries or on/off), every program name and its answers to the standard canDo
questions. A name two parameters share is shown with "#" and which of them it is
("Type#2"), as --set takes it.

PLUGIN is a short name (panner), an effect name ("Orvex Space") or the path of
any VST 2.x .so. The path of a CLAP .clap file shows its first plug-in through
the CLAP host: its descriptor, ports, extensions, parameters (id, range, default,
value, display text and what --set takes) and the presets of its preset-discovery
factory. An LV2 URI (urn:harmoxel:orvex:panner, as 'orvex list' shows them) shows
the plug-in through lilv: its ports, every control input (symbol, name, range in
its unit or its entries, default, value and display) and its presets.

Options:
  --program N|NAME     select a program first (as for render)
  --set PARAM=VALUE    set a parameter after the program (repeatable, in order)
  --settings           print the state instead, as a settings file that
                       'orvex render --settings FILE' reads back: a comment naming
                       the plug-in and the program, then NAME=VALUE for every
                       parameter in its own terms ("Cutoff=1.2kHz", "Type#2=Saw up"),
                       each reading back as exactly the value it has
  --path DIR           look for PLUGIN in DIR instead of this build's bundle folder
  -h, --help           this text
)";

// The state as a settings file, for any format.
int printSettings(const InfoOptions& options, const std::string& path) {
    const std::unique_ptr<Target> target = openTarget(path, {});
    const std::vector<ProgramName> programs = target->programs();
    applySettings(*target, options.program, options.settings);
    std::string heading = target->name() + " (" + target->format() + " " + target->identity() + ", " +
                          std::filesystem::path(path).filename().string() + ")";
    if (const std::optional<int> program = target->currentProgram();
        program && *program >= 0 && static_cast<std::size_t>(*program) < programs.size())
        heading += ", values after program " + std::to_string(*program) + " " +
                   quoted(programs[static_cast<std::size_t>(*program)].shown);
    std::fputs(settingsText(*target, heading).c_str(), stdout);
    return 0;
}

std::string categoryName(VstInt32 category) {
    static const char* const names[] = {"unknown",  "effect",    "synth",       "analysis",
                                        "mastering", "spatialiser", "room effect", "surround effect",
                                        "restoration", "offline process", "shell", "generator"};
    if (category >= 0 && category < static_cast<VstInt32>(std::size(names))) return names[category];
    return std::to_string(category);
}

std::string flagNames(VstInt32 flags) {
    static const std::pair<VstInt32, const char*> known[] = {
        {effFlagsHasEditor, "editor"},
        {effFlagsCanReplacing, "processReplacing"},
        {effFlagsCanDoubleReplacing, "processDoubleReplacing"},
        {effFlagsProgramChunks, "program chunks"},
        {effFlagsIsSynth, "synth"},
        {effFlagsNoSoundInStop, "no sound in stop"},
        {effFlagsCanMono, "can mono"},
    };
    std::string text;
    for (const auto& [bit, name] : known)
        if (flags & bit) text += std::string(text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

// The capability texts a host may ask a plug-in about.
const char* const kCanDoTexts[] = {
    "sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo",
    "offline",       "midiProgramNames", "bypass",           "1in1out",             "1in2out",
    "2in1out",       "2in2out",          "2in4out",          "4in2out",             "4in4out",
    "4in8out",       "8in4out",          "8in8out",          "plugAsChannelInsert", "plugAsSend",
    "mixDryWet",     "noRealTime",       "multipass",        "metapass",            "conformsToWindowRules",
};

std::string canDoAnswer(VstIntPtr answer) { return answer > 0 ? "yes" : answer < 0 ? "no" : "don't know"; }

int runInfo(const std::vector<std::string>& args) {
    const InfoOptions options = parseInfo(args);
    if (options.help) return printHelp("info");
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    if (options.printSettings) return printSettings(options, path);
    const auto prepare = [&](Target& target) {
        if (options.program || !options.settings.empty()) applySettings(target, options.program, options.settings);
    };
    if (isClapPath(path)) return printClapInfo(path, prepare);
    if (isLv2Uri(path)) return printLv2Info(path, prepare);
    auto plugin = loadPlugin(path, hostOptions(44100.0f, 512, 120.0));
    vsthost::Plugin& p = *plugin;
    VstTarget target(p);

    std::printf("%s\n", displayName(p).c_str());
    Table identity({{""}, {""}});
    identity.add({"file", path});
    identity.add({"vendor", p.vendorString()});
    identity.add({"product", p.productString()});
    identity.add({"version", std::to_string(p.vendorVersion()) + " (VST " + std::to_string(p.vstVersion()) + ")"});
    identity.add({"unique ID", formatUniqueId(p.uniqueId()) + " (" + std::to_string(p.uniqueId()) + ")"});
    identity.add({"category", categoryName(p.plugCategory())});
    identity.add({"audio", std::to_string(p.numInputs()) + " in, " + std::to_string(p.numOutputs()) + " out"});
    identity.add({"flags", flagNames(p.flags())});
    {
        // The table's heading rows carry nothing here: print the cells only.
        const std::string text = identity.text();
        const auto body = text.find('\n', text.find('\n') + 1);
        std::string rest = text.substr(body + 1);
        std::size_t start = 0;
        while (start < rest.size()) {
            const auto end = rest.find('\n', start);
            std::printf("  %s\n", rest.substr(start, end - start).c_str());
            start = end + 1;
        }
    }

    // Program names first: reading them selects each program and then the current one
    // again, which leaves the parameters as they were.
    const std::vector<ProgramName> programs = programNames(p);
    prepare(target);

    std::printf("\nParameters (%d)\n", p.numParams());
    Table parameters(
        {{"#", Table::Align::right}, {"Name"}, {"Label"}, {"Display"}, {"Value", Table::Align::right}, {"Range"}});
    const std::vector<std::string> names = settingNames(target);
    for (VstInt32 i = 0; i < p.numParams(); ++i) {
        const std::vector<std::string> range = rangeLines(target.describe(i));
        parameters.add({std::to_string(i), names[static_cast<std::size_t>(i)], p.parameterLabel(i),
                        p.parameterDisplay(i), formatted("%.4f", p.getParameter(i)), range[0]});
        for (std::size_t line = 1; line < range.size(); ++line) parameters.add({"", "", "", "", "", range[line]});
    }
    if (p.numParams() > 0) printTable(parameters, "  ");

    std::printf("\nPrograms (%d, current %d)\n", p.numPrograms(), p.getProgram());
    Table programTable({{"#", Table::Align::right}, {"Name"}, {"Stored name"}});
    for (std::size_t i = 0; i < programs.size(); ++i)
        programTable.add({std::to_string(i), programs[i].shown, programs[i].stored ? quoted(*programs[i].stored) : "-"});
    if (!programs.empty()) printTable(programTable, "  ");

    std::printf("\nCan do\n");
    Table canDo({{"Question"}, {"Answer"}});
    for (const char* text : kCanDoTexts) canDo.add({text, canDoAnswer(p.canDo(text))});
    printTable(canDo, "  ");
    return 0;
}

}  // namespace

const Command kInfoCommand{"info", "PLUGIN", "a plug-in's identity, parameters, programs and capabilities", [] { return std::string(kHelp); }, runInfo};

}  // namespace orvex::cli
