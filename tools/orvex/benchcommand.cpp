#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "lookup.h"
#include "render.h"
#include "report.h"
#include "table.h"
#include "target.h"
#include "tools/measure/measure.h"

namespace orvex::cli {

namespace {

const char* const kHelp = R"(Usage: orvex bench PLUGIN [OPTIONS]

Runs one instance of PLUGIN on this machine, as a host would (44100 Hz, stereo, a
playing transport), over a second of noise and tones played in a loop, and prints how
many times faster than real time it runs: the median of a few runs, from the CPU time
of the processing thread. A figure of 100 means one instance takes 1 % of one core.
PLUGIN is named as for render: a VST 2.x plug-in, a .clap file or an LV2 URI.

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

namespace fs = std::filesystem;

constexpr float kRate = 44100.0f;

// How many times faster than real time `target` ran in each of `options.runs` runs of
// `options.seconds` of the benchmarks' looped signal, after one short run to warm up: the
// audio time over this thread's CPU time in the processing calls. The transport moves on
// with the samples, as in a playing host. The command's thread plays the audio thread
// here, between start and stop.
std::vector<double> timeRuns(RenderTarget& target, const BenchOptions& options) {
    const int block = options.block;
    // Read ahead by a block, so that every block is read from the loop in place.
    measure::LoopSignal signal = measure::loopSignal(static_cast<int>(kRate), block);
    const int inputs = std::max(target.inputChannels(), 2);
    std::vector<float*> in(static_cast<std::size_t>(inputs));
    vsthost::AudioBuffers out(std::max(target.outputChannels(), 2), block);
    int position = 0;
    int64_t frame = 0;
    auto run = [&](double seconds) {
        const int64_t blocks = (std::max<int64_t>(block, framesAt(seconds, kRate)) + block - 1) / block;
        const measure::Stopwatch stopwatch;
        for (int64_t b = 0; b < blocks; ++b) {
            for (int c = 0; c < inputs; ++c)
                in[static_cast<std::size_t>(c)] = (c % 2 ? signal.right : signal.left).data() + position;
            target.process(in.data(), out.data(), block, frame);
            frame += block;
            position = (position + block) % signal.length;
        }
        return static_cast<double>(blocks * block) / kRate / std::max(stopwatch.seconds(), 1e-9);
    };
    RenderSettings settings;
    settings.sampleRate = kRate;
    settings.blockSize = block;
    settings.tempo = options.tempo;
    target.start(settings);
    run(std::min(1.0, options.seconds));
    std::vector<double> speeds;
    for (int r = 0; r < options.runs; ++r) speeds.push_back(run(options.seconds));
    target.stop();
    return speeds;
}

int runBench(const std::vector<std::string>& args) {
    const BenchOptions options = parseBench(args);
    if (options.help) return printHelp("bench");
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    const std::unique_ptr<Target> target = openTarget(path, {kRate, options.block, options.tempo});
    const std::string name = target->name();
    if (target->outputChannels() < 1) throw Error(name + " has no audio outputs");
    // The names first: reading a VST 2.x plug-in's selects each program in turn.
    const std::vector<ProgramName> programs = target->programs();
    const std::vector<std::string> applied = applySettings(*target, options.program, options.settings);

    std::vector<double> speeds = timeRuns(*target, options);
    std::sort(speeds.begin(), speeds.end());
    const double median = measure::median(speeds);

    std::printf("%s: %.0fx real time\n", name.c_str(), median);
    Table summary({{""}, {""}});
    summary.add({"plug-in", name + " (" + fs::path(target->path()).filename().string() + ")"});
    if (const std::optional<int> program = target->currentProgram();
        program && *program >= 0 && static_cast<std::size_t>(*program) < programs.size())
        summary.add({"program", std::to_string(*program) + " " + quoted(programs[static_cast<std::size_t>(*program)].shown)});
    for (const std::string& a : applied) summary.add({"set", a});
    summary.add({"host", formatted("44100 Hz, stereo, block %g", options.block) + formatted(", %g BPM playing", options.tempo) +
                             ", " + target->format()});
    summary.add({"runs", std::to_string(options.runs) + " x " + formatted("%g s of audio", options.seconds) +
                             formatted(", %.0fx", speeds.front()) + formatted(" to %.0fx real time", speeds.back())});
    summary.add({"cost", formatted("%.1f ns per stereo frame", 1e9 / kRate / median) +
                             formatted(" (%.2f %% of one core)", 100.0 / median)});
    const std::string text = summary.text();
    const auto body = text.find('\n', text.find('\n') + 1);
    std::fputs(text.substr(body + 1).c_str(), stdout);
    return 0;
}

}  // namespace

const Command kBenchCommand{"bench", "PLUGIN", "how many times faster than real time one instance runs here", [] { return std::string(kHelp); }, runBench};

}  // namespace orvex::cli
