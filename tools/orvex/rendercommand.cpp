#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "audiofile.h"
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

std::string help() {
    std::string text = kHelp;
    const std::string marker = "FORMAT_CHOICES";
    text.replace(text.find(marker), marker.size(), formatChoices());
    return text;
}

int runRender(const std::vector<std::string>& args) {
    const RenderOptions options = parseRender(args);
    if (options.help) return printHelp("render");

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
    const std::unique_ptr<Target> target = openTarget(path, {static_cast<float>(rate), options.block, tempo});
    const std::string name = target->name();
    const int channels = std::min(target->outputChannels(), 2);
    if (channels < 1) throw Error(name + " has no audio outputs");
    const int format = chooseOutputFormat(reader.format(), options.format, options.output, channels, rate);

    // The names first: reading a VST 2.x plug-in's selects each program in turn.
    const std::vector<ProgramName> programs = target->programs();
    const std::vector<std::string> applied = applySettings(*target, options.program, options.settings);

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
        render(*target, reader, writer, settings, progress);
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
    if (const std::optional<int> program = target->currentProgram();
        program && *program >= 0 && static_cast<std::size_t>(*program) < programs.size())
        summary.add({"program", std::to_string(*program) + " " + quoted(programs[static_cast<std::size_t>(*program)].shown)});
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
    printTable(summary, "", false, report);
    return 0;
}

}  // namespace

const Command kRenderCommand{"render", "PLUGIN IN OUT", "processes an audio file through a plug-in", help, runRender};

}  // namespace orvex::cli
