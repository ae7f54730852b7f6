#include "commands.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "arguments.h"
#include "lookup.h"
#include "render.h"
#include "report.h"
#include "table.h"
#include "target.h"

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

int runBench(const std::vector<std::string>& args) {
    const BenchOptions options = parseBench(args);
    if (options.help) return printHelp("bench");
    constexpr float kRate = 44100.0f;
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    const std::unique_ptr<Target> target = openTarget(path, {kRate, options.block, options.tempo});
    const std::string name = target->name();
    if (std::min(target->outputChannels(), 2) < 1) throw Error(name + " has no audio outputs");
    // The names first: reading a VST 2.x plug-in's selects each program in turn.
    const std::vector<ProgramName> programs = target->programs();
    const std::vector<std::string> applied = applySettings(*target, options.program, options.settings);
    // A playing transport whose song position moves on with every block.
    RenderSettings settings;
    settings.sampleRate = kRate;
    settings.blockSize = options.block;
    settings.tempo = options.tempo;
    target->start(settings);

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
    const int inputs = std::max<int>(target->inputChannels(), 2);
    std::vector<float*> in(static_cast<std::size_t>(inputs));
    std::vector<std::vector<float>> outBuffers(static_cast<std::size_t>(std::max<int>(target->outputChannels(), 2)),
                                              std::vector<float>(static_cast<std::size_t>(options.block)));
    std::vector<float*> out;
    for (auto& buffer : outBuffers) out.push_back(buffer.data());
    int position = 0;
    int64_t frame = 0;
    auto run = [&](double seconds) {
        const int64_t frames = std::max<int64_t>(options.block, framesAt(seconds, kRate));
        timespec start{}, end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        for (int64_t done = 0; done < frames; done += options.block) {
            for (int c = 0; c < inputs; ++c) in[static_cast<std::size_t>(c)] = signal[c % 2].data() + position;
            target->process(in.data(), out.data(), options.block, frame);
            position = (position + options.block) % length;
            frame += options.block;
        }
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        const double cpu = static_cast<double>(end.tv_sec - start.tv_sec) + 1e-9 * static_cast<double>(end.tv_nsec - start.tv_nsec);
        const int64_t processed = (frames + options.block - 1) / options.block * options.block;
        return static_cast<double>(processed) / kRate / std::max(cpu, 1e-9);
    };
    run(std::min(1.0, options.seconds));  // warm up
    std::vector<double> speeds;
    for (int r = 0; r < options.runs; ++r) speeds.push_back(run(options.seconds));
    target->stop();
    std::sort(speeds.begin(), speeds.end());
    const std::size_t n = speeds.size();
    const double median = n % 2 ? speeds[n / 2] : 0.5 * (speeds[n / 2 - 1] + speeds[n / 2]);

    std::printf("%s: %.0fx real time\n", name.c_str(), median);
    Table summary({{""}, {""}});
    summary.add({"plug-in", name + " (" + fs::path(target->path()).filename().string() + ")"});
    if (const std::optional<int> current = target->currentProgram();
        current && *current >= 0 && static_cast<std::size_t>(*current) < programs.size())
        summary.add({"program", std::to_string(*current) + " " + quoted(programs[static_cast<std::size_t>(*current)].shown)});
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

}  // namespace

const Command kBenchCommand{"bench", "PLUGIN", "how many times faster than real time one instance runs here", [] { return std::string(kHelp); }, runBench};

}  // namespace orvex::cli
