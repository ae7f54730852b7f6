#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "audiofile.h"
#include "batch.h"
#include "lookup.h"
#include "outputfile.h"
#include "progress.h"
#include "render.h"
#include "report.h"
#include "table.h"
#include "target.h"

namespace orvex::cli {

namespace fs = std::filesystem;

namespace {

const char* const kHelp = R"(Usage: orvex render PLUGIN IN OUT [OPTIONS]
       orvex render PLUGIN IN... --out-dir DIR [OPTIONS]

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

With --out-dir, every argument after PLUGIN is an input ('-' alone: the names on
standard input, one a line), rendered with all the options into DIR/<its name>.<ext>
(--format's family, else its own extension), each exactly as its own render would
be, several at once. Two inputs for one output stop the batch before anything is
written; a file whose output would replace an input is refused. A file that fails
is reported and the others go on; a table of every file ends the batch, and the
exit status is 1 when any failed. Ctrl-C stops the batch: the files finished stay,
the others leave nothing (exit status 130; 143 for SIGTERM).

Options:
  --program N|NAME     select a program first: N counts from 0; NAME as 'orvex info'
                       lists it ("Basic 3")
  --settings FILE      set the parameters a settings file names, after the program
                       (repeatable, in order): NAME=VALUE lines as 'orvex info PLUGIN
                       --settings' prints them; blank lines and lines starting with
                       # are skipped; a bad line stops the render before anything
                       is written
  --set PARAM=VALUE    set a parameter after the program and the settings files
                       (repeatable, in order). PARAM is an index, a unique name or a
                       shared name with #N as 'orvex info' shows it ("Type#2").
                       VALUE is a bare number, normalised from 0 to 1; or the value
                       in the parameter's unit ("250Hz", "1.2kHz", "80%", "128bpm",
                       "-6dB"); or an entry of a menu ("1/8 bar", "Soft shaper") or
                       on/off for a switch, case ignored
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
  --out-dir DIR        render every IN into DIR (made when missing)
  --jobs N             files rendered at once in a batch (default: one per core)
  --format F[:E]       output format F: )"
                                  "FORMAT_CHOICES"
                                  R"(
  --path DIR           look for PLUGIN in DIR instead of this build's bundle folder
  -q, --quiet          no summary and no progress bar
  -h, --help           this text

Examples:
  orvex render panner in.wav out.wav --tempo 120 --set Mix=0.8 --note 60@2
  orvex render filter in.wav out.wav --set Cutoff=1.2kHz --set "Type#2=Saw up"
  orvex render panner takes/*.wav --out-dir spaced --tempo 128
  find takes -name '*.flac' | orvex render filter - --out-dir filtered --jobs 4
)";

std::string help() {
    std::string text = kHelp;
    const std::string marker = "FORMAT_CHOICES";
    text.replace(text.find(marker), marker.size(), formatChoices());
    return text;
}

// One file rendered as `orvex render` renders it, with what its summary shows.
struct FileRender {
    std::string path;  // the plug-in's file (or URI)
    std::string name;  // the plug-in's
    std::optional<std::string> program;  // "N \"name\"" of the program selected
    std::vector<std::string> applied;
    int rate = 0;
    int inputChannels = 0;
    int inputFormat = 0;
    int channels = 0;
    int format = 0;
    RenderSettings settings;
    RenderResult result;
    bool toStandardOutput = false;
};

// Renders `input` into `output` with every other option of `options`, through the
// plug-in `plugin` gives (asked once the input is known to be good), opened afresh at
// the input's rate: nothing of one file's render (an LFO's phase, a filter's memory)
// carries over into the next one a batch's worker renders. Everything that can fail is
// checked before the output is made. `progress` after every block; without it, the
// one-file progress bar (unless -q). The calling thread plays the host's main and
// audio threads.
FileRender renderFile(const RenderOptions& options, const std::function<std::string()>& plugin,
                      const std::string& input, const std::string& output, const ProgressCallback& progress) {
    SoundFileReader reader(input);
    // The whole input is read before the output replaces anything, so the two may be
    // one file; but a recording overwritten by a slip of the keyboard is lost.
    if (!options.inPlace && sameFile(input, output))
        throw UsageError("render", "OUT " + output + " is the input file " + input +
                                       ", which the render would replace; give --in-place to replace it");
    if (reader.channels() > 2)
        throw Error(input + " has " + std::to_string(reader.channels()) +
                    " channels; only mono and stereo files can be rendered");
    FileRender run;
    run.rate = reader.sampleRate();
    run.inputChannels = reader.channels();
    run.inputFormat = reader.format();
    const int rate = run.rate;
    run.path = plugin();
    const std::optional<double> tempo = options.transport ? std::optional<double>(options.tempo) : std::nullopt;
    const std::unique_ptr<Target> target = openTarget(run.path, {static_cast<float>(rate), options.block, tempo});
    run.name = target->name();
    run.channels = std::min(target->outputChannels(), 2);
    if (run.channels < 1) throw Error(run.name + " has no audio outputs");
    run.format = chooseOutputFormat(reader.format(), options.format, output, run.channels, rate);

    // The names first: reading a VST 2.x plug-in's selects each program in turn.
    const std::vector<ProgramName> programs = target->programs();
    run.applied = applySettings(*target, options.program, options.settings, options.settingsFiles);
    if (const std::optional<int> program = target->currentProgram();
        program && *program >= 0 && static_cast<std::size_t>(*program) < programs.size())
        run.program = std::to_string(*program) + " " + quoted(programs[static_cast<std::size_t>(*program)].shown);

    RenderSettings& settings = run.settings;
    settings.sampleRate = static_cast<float>(rate);
    settings.blockSize = options.block;
    settings.tempo = tempo;
    settings.tailFrames = framesAt(options.tail, rate);
    for (const ControllerEvent& c : options.controllers)
        settings.events.push_back({framesAt(c.seconds, rate),
                                   {0xB0, static_cast<uint8_t>(c.controller), static_cast<uint8_t>(c.value)}});
    for (const NoteEvent& n : options.notes)
        settings.events.push_back({framesAt(n.seconds, rate), {0x90, static_cast<uint8_t>(n.note), 100}});

    SoundFileWriter writer(output, run.format, run.channels, rate);
    ProgressBar bar(!progress && !options.quiet && ProgressBar::stderrIsTerminal(), "rendering", rate);
    const ProgressCallback ownBar = [&](int64_t done, int64_t total) { bar.update(done, total); };
    run.result = render(*target, reader, writer, settings, progress ? progress : ownBar);
    bar.finish();
    writer.commit();
    run.toStandardOutput = writer.destination().isStandardOutput();
    return run;
}

// A batch's worker: each of its files through renderFile.
class BatchRenderer : public FileRenderer {
public:
    BatchRenderer(const RenderOptions& options, const std::string& path) : options(options), path(path) {}
    FileReport render(const BatchFile& file, const ProgressCallback& progress) override {
        const FileRender run = renderFile(options, [this] { return path; }, file.input, file.output, progress);
        return {static_cast<double>(run.result.frames) / run.rate, run.result.levels.peakDb()};
    }

private:
    const RenderOptions& options;
    const std::string& path;
};

int renderBatch(const RenderOptions& options) {
    std::vector<std::string> inputs = options.inputs;
    if (inputs.size() == 1 && inputs[0] == "-") {
        inputs = readNameList(std::cin);
        if (inputs.empty()) throw UsageError("render", "no file names on standard input");
    }
    const std::vector<BatchFile> files = planBatch(inputs, *options.outDir, options.format);
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    // Opened once before any file, so that a --program, --settings or --set the plug-in
    // cannot take stops the batch before it starts; held open, it keeps the plug-in's
    // library loaded for the workers' instances.
    const std::optional<double> tempo = options.transport ? std::optional<double>(options.tempo) : std::nullopt;
    const std::unique_ptr<Target> first = openTarget(path, {44100.0f, options.block, tempo});
    if (first->outputChannels() < 1) throw Error(first->name() + " has no audio outputs");
    first->programs();
    applySettings(*first, options.program, options.settings, options.settingsFiles);
    std::error_code error;
    fs::create_directories(*options.outDir, error);
    if (error || !fs::is_directory(*options.outDir))
        throw Error("cannot make the folder " + *options.outDir + ": " +
                    (error ? error.message() : std::string("a file of that name is in the way")));
    BatchSettings settings;
    settings.jobs = options.jobs;
    settings.quiet = options.quiet;
    settings.folder = *options.outDir;
    return runBatch(files, settings, [&] { return std::make_unique<BatchRenderer>(options, path); });
}

int runRender(const std::vector<std::string>& args) {
    const RenderOptions options = parseRender(args);
    if (options.help) return printHelp("render");
    if (options.outDir) return renderBatch(options);

    const FileRender run = renderFile(
        options, [&] { return resolvePlugin(options.plugin, searchFolders(options.path)); }, options.input,
        options.output, {});
    const RenderResult& result = run.result;
    const RenderSettings& settings = run.settings;
    const int rate = run.rate;
    if (result.eventsPastEnd > 0)
        std::fprintf(stderr, "orvex render: warning: %d MIDI event%s at or after the end (%.3f s) not sent\n",
                     result.eventsPastEnd, result.eventsPastEnd == 1 ? "" : "s",
                     static_cast<double>(result.frames) / rate);
    if (result.levels.nonFinite > 0)
        std::fprintf(stderr, "orvex render: warning: the plug-in wrote %lld samples that are not numbers\n",
                     static_cast<long long>(result.levels.nonFinite));
    if (options.quiet) return 0;
    // Standard output carries the audio when it is OUT: the summary goes to stderr.
    FILE* const report = run.toStandardOutput ? stderr : stdout;

    const double seconds = static_cast<double>(result.frames) / rate;
    Table summary({{""}, {""}});
    summary.add({"plug-in", run.name + " (" + fs::path(run.path).filename().string() + ")"});
    if (run.program) summary.add({"program", *run.program});
    for (const std::string& a : run.applied) summary.add({"set", a});
    summary.add({"time", settings.tempo ? formatted("%g BPM, transport playing from 0", *settings.tempo) : "no transport"});
    if (!settings.events.empty())
        summary.add({"MIDI", std::to_string(result.eventsSent) + (result.eventsSent == 1 ? " event" : " events") +
                                 " sent, each at its own sample"});
    summary.add({"input", options.input + ": " + channelWord(run.inputChannels) + ", " + std::to_string(rate) +
                              " Hz, " + formatted("%.3f s", static_cast<double>(result.inputFrames) / rate) + ", " +
                              describeFormat(run.inputFormat)});
    std::string out = options.output + ": " + channelWord(run.channels) + ", " + std::to_string(rate) + " Hz, " +
                      formatted("%.3f s", seconds);
    if (settings.tailFrames > 0) out += " (tail " + formatted("%.3f s", static_cast<double>(settings.tailFrames) / rate) + ")";
    summary.add({"output", out + ", " + describeFormat(run.format)});
    summary.add({"level", "peak " + decibels(result.levels.peakDb()) + ", RMS " + decibels(result.levels.rmsDb())});
    if (result.processSeconds > 0)
        summary.add({"speed", formatted("%.0fx real time", seconds / result.processSeconds) + " (" +
                                  formatted("%.1f ms", result.processSeconds * 1000.0) + " in the plug-in)"});
    printTable(summary, "", false, report);
    return 0;
}

}  // namespace

const Command kRenderCommand{"render", "PLUGIN IN OUT", "processes an audio file through a plug-in (or many: --out-dir)",
                             help, runRender};

}  // namespace orvex::cli
