#include "commands.h"

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "arguments.h"
#include "audiofile.h"
#include "claptarget.h"
#include "controls.h"
#include "demo.h"
#include "lookup.h"
#include "lv2target.h"
#include "outputfile.h"
#include "progress.h"
#include "render.h"
#include "table.h"
#include "tools/validate/validate.h"

namespace orvex::cli {

namespace fs = std::filesystem;

namespace {

const char* const kOverview = R"(Usage: orvex COMMAND [ARGUMENTS]

Hosts VST 2.x plug-ins (the Orvex bundles of this build, or any plug-in .so) without
a DAW.

Commands:
  list                  the plug-ins found, with vendor, ID, parameter and program counts
  info PLUGIN           a plug-in's identity, parameters, programs and capabilities
  render PLUGIN IN OUT  processes an audio file through a plug-in
  demo [DIR]            renders a synthesised loop through every plug-in found
  snapshot PLUGIN OUT   draws one of our plug-ins' editors into a PNG file, no X server needed
  bench PLUGIN          how many times faster than real time one instance runs here
  validate [PLUGIN...]  judges plug-ins as the strictest validators do (every one
                        found when none is named)

PLUGIN is a short name (panner), an effect name ("Orvex Space") or the path of a .so.
Run 'orvex COMMAND --help' for the options of a command.
)";

const char* const kListHelp = R"(Usage: orvex list [--path DIR]

Lists the plug-ins found: short name, effect name, vendor, unique ID, number of
parameters and programs.

Options:
  --path DIR   search DIR (and up to three folder levels below it) for .so files
               instead of this build's bundle folder
  -h, --help   this text
)";

const char* const kInfoHelp = R"(Usage: orvex info PLUGIN [--path DIR]

Shows a plug-in's identity, every parameter (index, name, label and the display
text at its current value), every program name and its answers to the standard
canDo questions.

PLUGIN is a short name (panner), an effect name ("Orvex Space") or the path of
any VST 2.x .so. The path of a CLAP .clap file shows its first plug-in through
the CLAP host: its descriptor, ports, extensions, parameters (id, range, default,
value and display text) and the presets of its preset-discovery factory.

Options:
  --path DIR   look for PLUGIN in DIR instead of this build's bundle folder
  -h, --help   this text
)";

const char* const kRenderHelp = R"(Usage: orvex render PLUGIN IN OUT [OPTIONS]

Processes the audio file IN through PLUGIN and writes OUT at IN's sample rate.
IN may be anything libsndfile reads (WAV, FLAC, AIFF, OGG...), mono or stereo; mono
is fed to both inputs. OUT gets IN's format, unless OUT's extension (.wav, .flac,
.aif/.aiff, .ogg, .caf, .w64) or --format names another. OUT is written under a
temporary name and renamed at the end: a failed render leaves no partial file
and an existing OUT untouched. A symbolic link OUT replaces the file it names; a
device or a pipe (/dev/stdout) gets the finished file written into it. OUT may not
be IN itself unless --in-place is given.

PLUGIN is a short name (panner), an effect name ("Orvex Space") or the path of
any VST 2.x .so, or of a CLAP .clap file (its first plug-in, through the CLAP
host: --program picks a preset of its preset-discovery factory, loaded with
preset-load; --set maps VALUE onto the parameter's range, rounded for a stepped
one; the transport, the MIDI and the blocks are those a VST 2.x plug-in gets).

Options:
  --program N|NAME     select a program first: N counts from 0; NAME as 'orvex info'
                       lists it ("Basic 3")
  --set PARAM=VALUE    set a parameter after the program (repeatable, in order);
                       PARAM is an index or a unique name, VALUE a normalised number
                       from 0 to 1
  --tempo BPM          the tempo the host reports (default 120); the song position
                       starts at 0 and moves on with the samples
  --no-transport       report no time information at all
  --cc C=V@SECONDS     MIDI controller C set to V (0..127) at SECONDS, channel 1
                       (repeatable)
  --note N@SECONDS     MIDI note-on N (velocity 100, channel 1) at SECONDS
                       (repeatable; no note-off follows)
  --block N            samples per processing call, 1 to 65536 (default 512); blocks
                       also end at every MIDI event, which so takes effect exactly
                       at its sample
  --tail SECONDS       silence appended after IN (default 0), for reverb tails
  --in-place           allow OUT to be IN: the finished render replaces the input
  --format F[:E]       output format F: )"
                                  "FORMAT_CHOICES"
                                  R"(
  --path DIR           look for PLUGIN in DIR instead of this build's bundle folder
  -q, --quiet          no summary and no progress bar
  -h, --help           this text

Example:
  orvex render panner in.wav out.wav --tempo 120 --set Mix=0.8 --note 60@2
)";

const char* const kSnapshotHelp = R"(Usage: orvex snapshot PLUGIN OUT.png [OPTIONS]

Draws PLUGIN's editor offscreen, as it looks with the program and settings given,
into the PNG file OUT.png. Works for the Orvex bundles with an editor; no X server
is needed.

Options:
  --program N|NAME     select a program first (as for render)
  --set PARAM=VALUE    set a parameter after the program (repeatable, in order)
  --scale S            the editor at 1, 1.25, 1.5, 1.75, 2, 2.5 or 3 times its size
                       (default 1); OUT.png is S times the panel
  --path DIR           look for PLUGIN in DIR instead of this build's bundle folder
  -h, --help           this text
)";

const char* const kBenchHelp = R"(Usage: orvex bench PLUGIN [OPTIONS]

Runs one instance of PLUGIN on this machine, as a host would (44100 Hz, stereo, a
playing transport), over a second of noise and tones played in a loop, and prints how
many times faster than real time it runs: the median of a few runs, from the CPU time
of the processing thread. A figure of 100 means one instance takes 1 % of one core.

Options:
  --program N|NAME     select a program first (as for render)
  --set PARAM=VALUE    set a parameter after the program (repeatable, in order)
  --tempo BPM          the tempo the host reports (default 120)
  --block N            samples per processing call, 1 to 65536 (default 512)
  --runs N             runs to take the median of (default 5)
  --seconds S          audio per run, in seconds (default 10)
  --path DIR           look for PLUGIN in DIR instead of this build's bundle folder
  -h, --help           this text
)";

const char* const kDemoHelp = R"(Usage: orvex demo [DIR] [--path DIR] [--tempo BPM] [--block N]

Synthesises a two-bar loop in memory (kick, snare, hi-hats and a chord, stereo,
44100 Hz), writes it as DIR/loop.wav, renders it through every plug-in found with
the program it loads with and each factory program with other values, writes the
results as WAV files into DIR (default: demo) and prints a table of peak and RMS
level and render speed (audio time over processing time).

Options:
  --tempo BPM   the loop's and the host's tempo (default 120)
  --block N     samples per processing call (default 512)
  --path DIR    take the plug-ins from DIR instead of this build's bundle folder
  -h, --help    this text
)";

const char* const kValidateHelp = R"(Usage: orvex validate [PLUGIN...] [OPTIONS]

Judges VST 2.x and CLAP plug-ins: loading and exported symbols, processing at every
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
VST 2.x .so; with none, every plug-in in the search folders is validated. The path of
a CLAP .clap is judged by the CLAP checks instead (--list shows them, marked CLAP):
the same aspects through the CLAP interface, and its own rules (the factory, each
call on its thread, activation and processing over and over, flush, state round
trips and damaged states, the editor's size negotiation). Editor checks open on
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

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string decibels(double db) { return std::isfinite(db) ? formatted("%.1f dBFS", db) : "-inf dBFS"; }

std::string channelWord(int channels) {
    return channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + " channels";
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

void printTable(const Table& table, const char* indent) {
    const std::string text = table.text();
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        std::printf("%s%s\n", indent, text.substr(start, end - start).c_str());
        start = end == std::string::npos ? text.size() : end + 1;
    }
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The editor drawn as PNG bytes; nothing when the plug-in cannot draw it offscreen. The
// plug-in writes into a pipe read here, so that a failure to write OUT is told apart
// from the editor's and reported with its cause. A plug-in that keeps the pipe open
// cannot hold the command up: what it wrote before returning is all that is read.
std::optional<std::string> editorPicture(vsthost::Plugin& p, double scale) {
    if (::access("/proc/self/fd", F_OK) != 0)
        throw Error("cannot hand the editor a pipe to draw into: /proc is not mounted");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw Error(std::string("cannot make a pipe: ") + std::strerror(errno));
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    std::string bytes;
    std::atomic<bool> returned{false};
    std::thread reader([&] {
        char buffer[1 << 16];
        for (;;) {
            const bool last = returned.load();
            ssize_t n = 0;
            while ((n = ::read(ends[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
                if (n > 0) bytes.append(buffer, static_cast<std::size_t>(n));
            if (n == 0 || last) break;
            pollfd ready{ends[0], POLLIN, 0};
            ::poll(&ready, 1, 20);
        }
    });
    const bool drawn = p.snapshot("/proc/self/fd/" + std::to_string(ends[1]), static_cast<float>(scale));
    ::close(ends[1]);
    returned = true;
    reader.join();
    ::close(ends[0]);
    if (!drawn) return std::nullopt;
    return bytes;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string helpText(const std::string& command) {
    if (command.empty()) return kOverview;
    if (command == "list") return kListHelp;
    if (command == "info") return kInfoHelp;
    if (command == "demo") return kDemoHelp;
    if (command == "validate") return kValidateHelp;
    if (command == "snapshot") return kSnapshotHelp;
    if (command == "bench") return kBenchHelp;
    if (command == "render") {
        std::string text = kRenderHelp;
        const std::string marker = "FORMAT_CHOICES";
        text.replace(text.find(marker), marker.size(), formatChoices());
        return text;
    }
    return {};
}

// Selects the program, then sets each parameter in order; says what each became.
static std::vector<std::string> applySettings(vsthost::Plugin& p, const std::optional<std::string>& program,
                                       const std::vector<ParameterSetting>& settings, const std::string& name) {
    if (program) p.setProgram(findProgram(programNames(p), *program, name));
    std::vector<std::string> applied;
    if (settings.empty()) return applied;
    const std::vector<std::string> names = parameterNames(p);
    for (const ParameterSetting& s : settings) {
        const int index = findParameter(names, s.parameter, name);
        p.setParameter(index, s.value);
        std::string shown = trimmed(p.parameterDisplay(index));
        const std::string label = trimmed(p.parameterLabel(index));
        if (!label.empty()) shown += " " + label;
        applied.push_back(trimmed(names[static_cast<std::size_t>(index)]) + " = " + formatted("%g", s.value) + " (" +
                          shown + ")");
    }
    return applied;
}

// list -----------------------------------------------------------------------------------

int runList(const std::vector<std::string>& args) {
    const ListOptions options = parseList(args);
    if (options.help) {
        std::fputs(helpText("list").c_str(), stdout);
        return 0;
    }
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

// info -----------------------------------------------------------------------------------

int runInfo(const std::vector<std::string>& args) {
    const InfoOptions options = parseInfo(args);
    if (options.help) {
        std::fputs(helpText("info").c_str(), stdout);
        return 0;
    }
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    if (isClapPath(path)) return printClapInfo(path);
    auto plugin = loadPlugin(path, hostOptions(44100.0f, 512, 120.0));
    vsthost::Plugin& p = *plugin;

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

    std::printf("\nParameters (%d)\n", p.numParams());
    Table parameters({{"#", Table::Align::right}, {"Name"}, {"Label"}, {"Display"}, {"Value", Table::Align::right}});
    for (VstInt32 i = 0; i < p.numParams(); ++i)
        parameters.add({std::to_string(i), p.parameterName(i), p.parameterLabel(i), p.parameterDisplay(i),
                        formatted("%.4f", p.getParameter(i))});
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

// render ---------------------------------------------------------------------------------

int runRender(const std::vector<std::string>& args) {
    const RenderOptions options = parseRender(args);
    if (options.help) {
        std::fputs(helpText("render").c_str(), stdout);
        return 0;
    }

    // Everything that can fail is checked before the output is created.
    SoundFileReader reader(options.input);
    // The whole input is read before the output replaces anything, so the two may be
    // one file; but a recording overwritten by a slip of the keyboard is lost.
    if (!options.inPlace && sameFile(options.input, options.output))
        throw UsageError("render", "OUT " + options.output + " is the input file " + options.input +
                                       ", which the render would replace; give --in-place to replace it");
    if (reader.channels() > 2)
        throw Error(options.input + " has " + std::to_string(reader.channels()) +
                    " channels; only mono and stereo files can be rendered");
    const int rate = reader.sampleRate();
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    const std::optional<double> tempo = options.transport ? std::optional<double>(options.tempo) : std::nullopt;
    // A .clap file goes through the CLAP host, anything else through the VST 2.x host.
    std::unique_ptr<ClapTarget> clap;
    std::unique_ptr<vsthost::Plugin> vst;
    if (isClapPath(path))
        clap = std::make_unique<ClapTarget>(path);
    else
        vst = loadPlugin(path, hostOptions(static_cast<float>(rate), options.block, tempo));
    const std::string name = clap ? clap->name() : displayName(*vst);
    const int channels = clap ? std::min(clap->outputChannels(), 2) : outputChannels(*vst);
    if (channels < 1) throw Error(name + " has no audio outputs");
    const int format = chooseOutputFormat(reader.format(), options.format, options.output, channels, rate);

    const std::vector<std::string> applied = clap ? clap->apply(options.program, options.settings)
                                                  : applySettings(*vst, options.program, options.settings, name);

    RenderSettings settings;
    settings.sampleRate = static_cast<float>(rate);
    settings.blockSize = options.block;
    settings.tempo = tempo;
    settings.tailFrames = framesAt(options.tail, rate);
    for (const ControllerEvent& c : options.controllers)
        settings.events.push_back({framesAt(c.seconds, rate),
                                   {0xB0, static_cast<uint8_t>(c.controller), static_cast<uint8_t>(c.value)}});
    for (const NoteEvent& n : options.notes)
        settings.events.push_back({framesAt(n.seconds, rate), {0x90, static_cast<uint8_t>(n.note), 100}});

    SoundFileWriter writer(options.output, format, channels, rate);
    ProgressBar bar(!options.quiet && ProgressBar::stderrIsTerminal(), "rendering", rate);
    const auto progress = [&](int64_t done, int64_t total) { bar.update(done, total); };
    const RenderResult result =
        clap ? render(*clap, reader, writer, settings, progress) : render(*vst, reader, writer, settings, progress);
    bar.finish();
    writer.commit();

    if (result.eventsPastEnd > 0)
        std::fprintf(stderr, "orvex render: warning: %d MIDI event%s at or after the end (%.3f s) not sent\n",
                     result.eventsPastEnd, result.eventsPastEnd == 1 ? "" : "s",
                     static_cast<double>(result.frames) / rate);
    if (result.levels.nonFinite > 0)
        std::fprintf(stderr, "orvex render: warning: the plug-in wrote %lld samples that are not numbers\n",
                     static_cast<long long>(result.levels.nonFinite));
    if (options.quiet) return 0;
    // Standard output carries the audio when it is OUT: the summary goes to stderr.
    FILE* const report = writer.destination().isStandardOutput() ? stderr : stdout;

    const double seconds = static_cast<double>(result.frames) / rate;
    Table summary({{""}, {""}});
    summary.add({"plug-in", name + " (" + fs::path(path).filename().string() + ")"});
    if (clap && clap->programLine()) summary.add({"program", *clap->programLine()});
    if (vst && vst->numPrograms() > 0)
        summary.add({"program", std::to_string(vst->getProgram()) + " " + quoted(vst->programName())});
    for (const std::string& a : applied) summary.add({"set", a});
    summary.add({"time", tempo ? formatted("%g BPM, transport playing from 0", *tempo) : "no transport"});
    if (!settings.events.empty())
        summary.add({"MIDI", std::to_string(result.eventsSent) + (result.eventsSent == 1 ? " event" : " events") +
                                 " sent, each at its own sample"});
    summary.add({"input", options.input + ": " + channelWord(reader.channels()) + ", " + std::to_string(rate) +
                              " Hz, " + formatted("%.3f s", static_cast<double>(result.inputFrames) / rate) + ", " +
                              describeFormat(reader.format())});
    std::string out = options.output + ": " + channelWord(channels) + ", " + std::to_string(rate) + " Hz, " +
                      formatted("%.3f s", seconds);
    if (settings.tailFrames > 0) out += " (tail " + formatted("%.3f s", static_cast<double>(settings.tailFrames) / rate) + ")";
    summary.add({"output", out + ", " + describeFormat(format)});
    summary.add({"level", "peak " + decibels(result.levels.peakDb()) + ", RMS " + decibels(result.levels.rmsDb())});
    if (result.processSeconds > 0)
        summary.add({"speed", formatted("%.0fx real time", seconds / result.processSeconds) + " (" +
                                  formatted("%.1f ms", result.processSeconds * 1000.0) + " in the plug-in)"});
    const std::string text = summary.text();
    const auto body = text.find('\n', text.find('\n') + 1);
    std::fputs(text.substr(body + 1).c_str(), report);
    return 0;
}

// demo -----------------------------------------------------------------------------------

int runSnapshot(const std::vector<std::string>& args) {
    const SnapshotOptions options = parseSnapshot(args);
    if (options.help) {
        std::fputs(helpText("snapshot").c_str(), stdout);
        return 0;
    }
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    auto plugin = loadPlugin(path, hostOptions(44100.0f, 512, 120.0));
    vsthost::Plugin& p = *plugin;
    const std::string name = displayName(p);
    if (!(p.flags() & effFlagsHasEditor)) throw Error(name + " has no editor");
    applySettings(p, options.program, options.settings, name);
    // Written like rendered files; OUT is looked at before the editor is drawn.
    OutputFile output(options.output);
    // The host's scale first, so that the editor's rectangle below is the picture's.
    p.setEditorScale(static_cast<float>(options.scale));
    const std::optional<std::string> picture = editorPicture(p, options.scale);
    if (!picture || picture->empty())
        throw Error(name + " cannot draw its editor offscreen (only Orvex editors can)");
    output.write(picture->data(), picture->size());
    output.commit();
    FILE* const report = output.isStandardOutput() ? stderr : stdout;
    const auto rect = p.editorRect();
    std::fprintf(report, "%s: editor of %s", options.output.c_str(), name.c_str());
    if (rect) std::fprintf(report, ", %d x %d pixels", rect->right - rect->left, rect->bottom - rect->top);
    std::fprintf(report, "\n");
    return 0;
}

int runDemoCommand(const std::vector<std::string>& args) {
    const DemoOptions options = parseDemo(args);
    if (options.help) {
        std::fputs(helpText("demo").c_str(), stdout);
        return 0;
    }
    return runDemo(options);
}

// bench ----------------------------------------------------------------------------------

int runBench(const std::vector<std::string>& args) {
    const BenchOptions options = parseBench(args);
    if (options.help) {
        std::fputs(helpText("bench").c_str(), stdout);
        return 0;
    }
    constexpr float kRate = 44100.0f;
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    auto plugin = loadPlugin(path, hostOptions(kRate, options.block, options.tempo));
    vsthost::Plugin& p = *plugin;
    const std::string name = displayName(p);
    if (outputChannels(p) < 1) throw Error(name + " has no audio outputs");
    const std::vector<std::string> applied = applySettings(p, options.program, options.settings, name);
    vsthost::Transport transport = *p.transport();
    transport.advance = true;  // the song position moves on with every block
    p.setTransport(transport);
    p.setSampleRate(kRate);
    p.setBlockSize(options.block);
    p.resume();

    // A second of seeded noise and two tones, one block longer, so that any block can
    // be read from it in place.
    const int length = static_cast<int>(kRate);
    std::vector<std::vector<float>> signal(2, std::vector<float>(static_cast<std::size_t>(length + options.block)));
    uint32_t state = 12345u;
    for (std::size_t i = 0; i < signal[0].size(); ++i)
        for (int c = 0; c < 2; ++c) {
            state = state * 1664525u + 1013904223u;
            const float noise = static_cast<float>(state >> 8) * (2.0f / 16777216.0f) - 1.0f;
            const float tone = std::sin((c ? 0.057f : 0.031f) * static_cast<float>(i % static_cast<std::size_t>(length)));
            signal[static_cast<std::size_t>(c)][i] = 0.25f * noise + 0.5f * tone;
        }
    const int inputs = std::max<int>(p.numInputs(), 2);
    std::vector<float*> in(static_cast<std::size_t>(inputs));
    vsthost::AudioBuffers out(std::max<int>(p.numOutputs(), 2), options.block);
    int position = 0;
    auto run = [&](double seconds) {
        const int64_t frames = std::max<int64_t>(options.block, framesAt(seconds, kRate));
        timespec start{}, end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        for (int64_t done = 0; done < frames; done += options.block) {
            for (int c = 0; c < inputs; ++c) in[static_cast<std::size_t>(c)] = signal[c % 2].data() + position;
            p.processReplacing(in.data(), out.data(), options.block);
            position = (position + options.block) % length;
        }
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        const double cpu = static_cast<double>(end.tv_sec - start.tv_sec) + 1e-9 * static_cast<double>(end.tv_nsec - start.tv_nsec);
        const int64_t processed = (frames + options.block - 1) / options.block * options.block;
        return static_cast<double>(processed) / kRate / std::max(cpu, 1e-9);
    };
    run(std::min(1.0, options.seconds));  // warm up
    std::vector<double> speeds;
    for (int r = 0; r < options.runs; ++r) speeds.push_back(run(options.seconds));
    p.suspend();
    std::sort(speeds.begin(), speeds.end());
    const std::size_t n = speeds.size();
    const double median = n % 2 ? speeds[n / 2] : 0.5 * (speeds[n / 2 - 1] + speeds[n / 2]);

    std::printf("%s: %.0fx real time\n", name.c_str(), median);
    Table summary({{""}, {""}});
    summary.add({"plug-in", name + " (" + fs::path(path).filename().string() + ")"});
    if (p.numPrograms() > 0) summary.add({"program", std::to_string(p.getProgram()) + " " + quoted(p.programName())});
    for (const std::string& a : applied) summary.add({"set", a});
    summary.add({"host", formatted("44100 Hz, stereo, block %g", options.block) + formatted(", %g BPM playing", options.tempo)});
    summary.add({"runs", std::to_string(options.runs) + " x " + formatted("%g s of audio", options.seconds) +
                             formatted(", %.0fx", speeds.front()) + formatted(" to %.0fx real time", speeds.back())});
    summary.add({"cost", formatted("%.1f ns per stereo frame", 1e9 / kRate / median) +
                             formatted(" (%.2f %% of one core)", 100.0 / median)});
    const std::string text = summary.text();
    const auto body = text.find('\n', text.find('\n') + 1);
    std::fputs(text.substr(body + 1).c_str(), stdout);
    return 0;
}

// validate -------------------------------------------------------------------------------

int runValidate(const std::vector<std::string>& args) {
    const ValidateOptions options = parseValidate(args);
    if (options.help) {
        std::fputs(helpText("validate").c_str(), stdout);
        return 0;
    }
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
        if (found.empty())
            throw Error("no plug-ins found in " + joinFolders(folders) + "; name one, or build them first (./run)");
        request.plugins = found;
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
    request.lv2Path = lv2SearchPath();
    return validate::validate(request);
}

// Dispatch -------------------------------------------------------------------------------

int runCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(helpText("").c_str(), stderr);
        return 2;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        const std::string topic = rest.empty() ? "" : rest[0];
        const std::string text = helpText(topic);
        if (text.empty()) {
            std::fprintf(stderr, "orvex: no command '%s'\n%s", topic.c_str(), helpText("").c_str());
            return 2;
        }
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    try {
        if (command == "list") return runList(rest);
        if (command == "info") return runInfo(rest);
        if (command == "render") return runRender(rest);
        if (command == "demo") return runDemoCommand(rest);
        if (command == "validate") return runValidate(rest);
        if (command == "snapshot") return runSnapshot(rest);
        if (command == "bench") return runBench(rest);
        std::fprintf(stderr, "orvex: unknown command '%s'\n\n%s", command.c_str(), helpText("").c_str());
        return 2;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return e.status();
    } catch (const Error& e) {
        std::fprintf(stderr, "orvex %s: %s\n", command.c_str(), e.what());
        return e.status();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvex %s: %s\n", command.c_str(), e.what());
        return 1;
    }
}

}  // namespace orvex::cli
