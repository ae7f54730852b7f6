#include "demo.h"

#include "commands.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <system_error>

#include "audiofile.h"
#include "vsttarget.h"
#include "lookup.h"
#include "table.h"

namespace orvex::cli {

namespace fs = std::filesystem;

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// White noise in -1..1 from a fixed seed, the same on every machine.
class Noise {
public:
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state) / 2147483648.0f - 1.0f;
    }

private:
    uint32_t state = 0x2545F491u;
};

struct Stereo {
    std::vector<double> left;
    std::vector<double> right;
    void add(std::size_t i, double value, double pan) {  // pan -1 (left) .. 1 (right)
        if (i >= left.size()) return;
        left[i] += value * std::sqrt(0.5 * (1.0 - pan));
        right[i] += value * std::sqrt(0.5 * (1.0 + pan));
    }
};

// A kick: a sine falling from about 145 Hz to 45 Hz with a fast decay.
void kick(Stereo& mix, std::size_t start, double rate) {
    double phase = 0.0;
    const auto length = static_cast<std::size_t>(0.45 * rate);
    for (std::size_t n = 0; n < length; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double frequency = 45.0 + 100.0 * std::exp(-t * 30.0);
        phase += kTwoPi * frequency / rate;
        mix.add(start + n, 0.9 * std::sin(phase) * std::exp(-t * 7.0), 0.0);
    }
}

// A snare: a 190 Hz body under a brightened noise burst.
void snare(Stereo& mix, std::size_t start, double rate, Noise& noise) {
    const auto length = static_cast<std::size_t>(0.3 * rate);
    float previous = 0.0f;
    for (std::size_t n = 0; n < length; ++n) {
        const double t = static_cast<double>(n) / rate;
        const float white = noise.next();
        const double bright = white - 0.6 * previous;  // tilt the noise towards the highs
        previous = white;
        const double body = std::sin(kTwoPi * 190.0 * t) * std::exp(-t * 25.0);
        mix.add(start + n, 0.35 * bright * std::exp(-t * 16.0) + 0.3 * body, -0.1);
    }
}

// A closed hi-hat: high-passed noise with a very short decay, right of centre.
void hat(Stereo& mix, std::size_t start, double rate, Noise& noise, double level) {
    const auto length = static_cast<std::size_t>(0.08 * rate);
    float previous = 0.0f;
    for (std::size_t n = 0; n < length; ++n) {
        const double t = static_cast<double>(n) / rate;
        const float white = noise.next();
        const double high = white - previous;
        previous = white;
        mix.add(start + n, level * high * std::exp(-t * 60.0), 0.35);
    }
}

// A chord of soft sawtooth-like voices (eight harmonics), each note detuned a few cents
// apart in the two channels for width, with a short attack and release.
void chord(Stereo& mix, std::size_t start, std::size_t length, double rate, const std::vector<double>& notes) {
    const double attack = 0.02 * rate;
    const double release = 0.12 * rate;
    for (double frequency : notes) {
        for (int side = 0; side < 2; ++side) {
            const double f = frequency * std::pow(2.0, (side == 0 ? -4.0 : 4.0) / 1200.0);
            std::vector<double>& out = side == 0 ? mix.left : mix.right;
            for (std::size_t n = 0; n < length && start + n < out.size(); ++n) {
                const double t = static_cast<double>(n) / rate;
                double saw = 0.0;
                for (int k = 1; k <= 8; ++k) saw += std::sin(kTwoPi * f * k * t) / k;
                const double fromStart = static_cast<double>(n);
                const double toEnd = static_cast<double>(length - n);
                const double envelope = std::min({1.0, fromStart / attack, toEnd / release});
                out[start + n] += 0.05 * saw * envelope;
            }
        }
    }
}

// Settings worth hearing besides the factory programs, by the effect name a plug-in
// reports: each is rendered from program 0 with the parameters set in order (names as
// the plug-in reports them, values normalised).
struct Showcase {
    const char* effect;
    const char* label;
    std::vector<std::pair<const char*, float>> settings;
};

// A distortion type step as a normalised value: the middle of the step's share of 0..1.
constexpr float step(int index) { return (static_cast<float>(index) + 0.5f) / 14.0f; }

// All three bands of the distortion on one type, fully wet.
Showcase force(const char* label, int type, float drive, float output) {
    return {"Orvex Force", label,
            {{"Low type", step(type)}, {"Mid type", step(type)}, {"High Type", step(type)},
             {"Low Drive", drive}, {"Mid Drive", drive}, {"High Drive", drive},
             {"LowOutputLevel", output}, {"MidOutputLevel", output}, {"HighOutputLev", output}, {"Mix", 1.0f}}};
}

// The filter with its cutoff swept by the LFO (Cutoff Mod above 0.5 adds the LFO).
Showcase filterSweep(const char* label, float response, float pole, float resonance, float cutoff, float depth,
                     float division, float waveform, float mix) {
    return {"Orvex Filter", label,
            {{"3", response}, {"Pole", pole}, {"Resonance", resonance}, {"Cutoff", cutoff}, {"Cutoff Mod", depth},
             {"Division", division}, {"6", waveform}, {"Mix", mix}}};
}

const std::vector<Showcase>& showcases() {
    static const std::vector<Showcase> list = {
        force("Anihilator", 0, 0.3f, 0.15f),
        force("Soft shaper", 1, 0.8f, 0.2f),
        force("Tubetek", 2, 0.7f, 0.25f),
        force("Slaughter", 3, 0.6f, 0.15f),
        force("Digitron", 5, 0.06f, 0.3f),
        force("Quantize 4", 9, 0.35f, 0.3f),
        force("Top side", 10, 0.1f, 0.6f),
        force("Intimdator", 11, 0.2f, 0.2f),
        force("Violator", 12, 0.3f, 0.2f),
        {"Orvex Force", "Three types",
         {{"Low type", step(2)}, {"Mid type", step(12)}, {"High Type", step(8)}, {"Mid Drive", 0.2f},
          {"High Drive", 0.4f}, {"Mix", 0.8f}}},
        // The filter's two "Type" parameters go by index: 3 the response (0.25 band-pass,
        // 0.5 high-pass), 6 the LFO's waveform (0.6 square). Pole 0 is four poles.
        filterSweep("Four-pole sweep", 0.0f, 0.0f, 0.45f, 0.5f, 0.9f, 0.4f, 0.0f, 1.0f),
        filterSweep("Two-pole resonant", 0.0f, 1.0f, 0.8f, 0.45f, 0.85f, 0.5f, 0.0f, 1.0f),
        filterSweep("Band-pass sweep", 0.25f, 1.0f, 0.6f, 0.5f, 0.95f, 0.4f, 0.0f, 1.0f),
        filterSweep("High-pass steps", 0.5f, 0.0f, 0.5f, 0.35f, 0.8f, 0.5f, 0.6f, 0.7f),
    };
    return list;
}

std::string slug(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c))
            out += static_cast<char>(std::tolower(c));
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out.empty() ? "program" : out;
}

std::string decibels(double db) {
    if (!std::isfinite(db)) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", db);
    return text;
}

std::string speed(double audioSeconds, double processSeconds) {
    if (processSeconds <= 0.0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.0fx", audioSeconds / processSeconds);
    return text;
}

void writeLoop(const std::string& path, const std::vector<std::vector<float>>& loop, Levels& levels) {
    SoundFileWriter writer(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, static_cast<int>(kDemoSampleRate));
    const float* channels[2] = {loop[0].data(), loop[1].data()};
    writer.write(channels, 2, static_cast<int>(loop[0].size()));
    writer.commit();
    for (const auto& channel : loop) levels.add(channel.data(), static_cast<int>(channel.size()));
}

}  // namespace

std::vector<std::vector<float>> synthesiseLoop(double sampleRate, double tempo, int bars) {
    const double beat = 60.0 / tempo * sampleRate;  // samples per beat
    const auto frames = static_cast<std::size_t>(std::llround(beat * 4.0 * bars));
    Stereo mix{std::vector<double>(frames, 0.0), std::vector<double>(frames, 0.0)};
    Noise noise;
    auto at = [&](double beats) { return static_cast<std::size_t>(std::llround(beats * beat)); };

    // A minor 7 and F major 7, one chord a bar.
    const std::vector<std::vector<double>> chords = {{110.0, 164.81, 196.0, 261.63}, {87.31, 130.81, 164.81, 220.0}};
    for (int bar = 0; bar < bars; ++bar) {
        const double first = 4.0 * bar;
        chord(mix, at(first), at(first + 4.0) - at(first), sampleRate, chords[static_cast<std::size_t>(bar) % 2]);
        kick(mix, at(first), sampleRate);
        kick(mix, at(first + 2.0), sampleRate);
        if (bar % 2 == 1) kick(mix, at(first + 2.5), sampleRate);
        snare(mix, at(first + 1.0), sampleRate, noise);
        snare(mix, at(first + 3.0), sampleRate, noise);
        for (int eighth = 0; eighth < 8; ++eighth)
            hat(mix, at(first + 0.5 * eighth), sampleRate, noise, eighth % 2 ? 0.18 : 0.28);
    }

    double peak = 0.0;
    for (std::size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double scale = peak > 0.0 ? 0.5 / peak : 0.0;  // -6 dBFS
    std::vector<std::vector<float>> loop(2, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i) {
        loop[0][i] = static_cast<float>(mix.left[i] * scale);
        loop[1][i] = static_cast<float>(mix.right[i] * scale);
    }
    return loop;
}

int runDemo(const DemoOptions& options) {
    const std::vector<std::string> folders = searchFolders(options.path);
    const std::vector<FoundPlugin> found = scanFolders(folders);
    if (found.empty())
        throw Error("no plug-ins found in " + joinFolders(folders) +
                    "; build them first (./run builds everything), or name a folder with --path");

    std::error_code error;
    fs::create_directories(options.directory, error);
    if (error || !fs::is_directory(options.directory))
        throw Error("cannot create the folder " + options.directory + ": " +
                    (error ? error.message() : std::string("a file of that name is in the way")));

    const auto loop = synthesiseLoop(kDemoSampleRate, options.tempo);
    const double seconds = static_cast<double>(loop[0].size()) / kDemoSampleRate;
    std::printf("Demo loop: %.2f s of drums and a chord at %g BPM, %g Hz, through %zu plug-in%s from %s\n\n",
                seconds, options.tempo, kDemoSampleRate, found.size(), found.size() == 1 ? "" : "s",
                joinFolders(folders).c_str());

    Table table({{"Plug-in"},
                 {"Program"},
                 {"Peak dBFS", Table::Align::right},
                 {"RMS dBFS", Table::Align::right},
                 {"Speed", Table::Align::right},
                 {"File"}});
    Levels dry;
    const std::string loopFile = (fs::path(options.directory) / "loop.wav").string();
    writeLoop(loopFile, loop, dry);
    table.add({"(dry loop)", "", decibels(dry.peakDb()), decibels(dry.rmsDb()), "", loopFile});

    int failures = 0;
    int skipped = 0;
    const auto host = hostOptions(static_cast<float>(kDemoSampleRate), options.block, options.tempo);
    RenderSettings settings;
    settings.sampleRate = static_cast<float>(kDemoSampleRate);
    settings.blockSize = options.block;
    settings.tempo = options.tempo;

    for (const FoundPlugin& candidate : found) {
        try {
            // Which programs to render: the one loaded first, then each factory
            // program whose values differ from every one rendered already.
            auto probe = loadPlugin(candidate.path, host);
            const std::string name = displayName(*probe);
            const std::vector<ProgramName> names = programNames(*probe);
            std::vector<std::vector<float>> seen;
            std::vector<int> chosen;
            const int programCount = std::max<int>(probe->numPrograms(), 1);
            for (int p = 0; p < programCount; ++p) {
                if (probe->numPrograms() > 0) probe->setProgram(p);
                std::vector<float> values;
                for (VstInt32 i = 0; i < probe->numParams(); ++i) values.push_back(probe->getParameter(i));
                if (std::find(seen.begin(), seen.end(), values) != seen.end()) {
                    ++skipped;
                    continue;
                }
                seen.push_back(values);
                chosen.push_back(p);
            }
            probe.reset();

            // A fresh instance for every render: no state carries over.
            auto renderOne = [&](vsthost::Plugin& plugin, const std::string& shown, const std::string& fileName) {
                const int channels = outputChannels(plugin);
                const std::string file = (fs::path(options.directory) / (fileName + ".wav")).string();
                SoundFileWriter writer(file, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::max(channels, 1),
                                       static_cast<int>(kDemoSampleRate));
                MemorySource source(loop);
                const RenderResult result = render(plugin, source, writer, settings);
                writer.commit();
                table.add({name, shown, decibels(result.levels.peakDb()), decibels(result.levels.rmsDb()),
                           speed(seconds, result.processSeconds), file});
            };
            for (int p : chosen) {
                auto plugin = loadPlugin(candidate.path, host);
                if (plugin->numPrograms() > 0) plugin->setProgram(p);
                const std::string programName =
                    p < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(p)].shown : "";
                char number[16];
                std::snprintf(number, sizeof number, "-%02d-", p);
                renderOne(*plugin, std::to_string(p) + " " + programName,
                          candidate.shortName + number + slug(programName));
            }
            for (const Showcase& showcase : showcases()) {
                if (name != showcase.effect) continue;
                auto plugin = loadPlugin(candidate.path, host);
                if (plugin->numPrograms() > 0) plugin->setProgram(0);
                const std::vector<std::string> parameters = parameterNames(*plugin);
                for (const auto& [parameter, value] : showcase.settings)
                    plugin->setParameter(findParameter(parameters, parameter, name), value);
                renderOne(*plugin, std::string("0 + ") + showcase.label,
                          candidate.shortName + "-00-" + slug(showcase.label));
            }
        } catch (const Error& e) {
            ++failures;
            std::fprintf(stderr, "orvex demo: %s: %s\n", candidate.shortName.c_str(), e.what());
            table.add({candidate.shortName, "(failed)", "", "", "", ""});
        }
    }

    table.print();
    std::printf("\nSpeed: audio time over the time spent in the plug-in's processing calls (%g BPM, blocks of %d).\n",
                options.tempo, options.block);
    if (skipped > 0)
        std::printf("%d program%s with the same values as one above not rendered again.\n", skipped,
                    skipped == 1 ? "" : "s");
    return failures == 0 ? 0 : 1;
}

namespace {

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

int runDemoCommand(const std::vector<std::string>& args) {
    const DemoOptions options = parseDemo(args);
    if (options.help) return printHelp("demo");
    return runDemo(options);
}

}  // namespace

const Command kDemoCommand{"demo", "[DIR]", "renders a synthesised loop through every plug-in found",
                           [] { return std::string(kDemoHelp); }, runDemoCommand};

}  // namespace orvex::cli
