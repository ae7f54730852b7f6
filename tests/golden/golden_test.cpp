// Golden outputs: every plug-in, loaded through the test host, renders a fixed stereo
// signal (seeded noise and a sine) in blocks of varied sizes through both entry points,
// for its programs and for settings that reach each distortion type, filter response
// and pole count, the solos and the host's tempo. A 64-bit FNV-1a hash of the output
// floats must match the table in golden_hashes.txt, so that no output sample changes
// unnoticed while the processing is reworked for speed.
//
// To write the table again from the current code (only when an output is meant to
// change): ORVEX_GOLDEN_RECORD=tests/golden/golden_hashes.txt build/tests/golden_tests
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "reference/bundle.h"

namespace {

using orvex::vsthost::AudioBuffers;
using orvex::vsthost::HostOptions;
using orvex::vsthost::Plugin;
using orvex::vsthost::Transport;

constexpr int kMaxBlock = 2048;
constexpr int kFrames = 44100;  // one second at 44.1 kHz
// Block sizes taken in turn: odd, tiny and the largest the host announces.
constexpr int kBlocks[] = {512, 1, 37, 128, 2048, 3, 256, 999, 64, 700, 17, 1024};

const char* const kTable = ORVEX_SOURCE_DIR "/tests/golden/golden_hashes.txt";

struct Setting {
    int index;
    float value;
};

struct Case {
    std::string name;
    std::string bundle;
    std::optional<int> program;     // none: the program the plug-in loads with
    std::vector<Setting> settings;  // after the program, in order
    std::optional<double> tempo;    // a playing transport at this tempo; none: no time info
    float rate = 44100.0f;
};

// Seeded noise plus a sine, different in the two channels; a function of the frame
// only, so the same at any block size.
class Signal {
public:
    explicit Signal(float rate) : left(kFrames), right(kFrames) {
        uint32_t state = 0x2545F491u;
        auto noise = [&] {
            state = state * 1664525u + 1013904223u;
            return static_cast<float>(state >> 8) * (1.0f / 16777216.0f) * 2.0f - 1.0f;
        };
        for (int i = 0; i < kFrames; ++i) {
            const double t = i / static_cast<double>(rate);
            left[i] = 0.3f * noise() + 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 220.0 * t));
            right[i] = 0.3f * noise() + 0.4f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 331.0 * t + 1.0));
        }
    }
    std::vector<float> left, right;
};

uint64_t fnv1a(uint64_t hash, const float* data, int count) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < static_cast<std::size_t>(count) * sizeof(float); ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

// Renders the case through one entry point on a fresh instance and hashes the outputs.
// `process` accumulates onto a bed of its own so that a plug-in replacing instead of
// adding shows.
uint64_t render(const Case& c, bool accumulate) {
    HostOptions options;
    options.sampleRate = c.rate;
    options.blockSize = kMaxBlock;
    if (c.tempo) {
        Transport t;
        t.tempo = *c.tempo;
        t.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid;
        t.advance = true;
        options.transport = t;
    }
    auto plugin = reference::loadBundle(c.bundle, options);
    if (!plugin) return 0;
    plugin->recordTimeMasks(false);
    if (c.program) plugin->setProgram(*c.program);
    for (const Setting& s : c.settings) plugin->setParameter(s.index, s.value);

    static const Signal signal44(44100.0f);
    std::optional<Signal> other;
    if (c.rate != 44100.0f) other.emplace(c.rate);
    const Signal& in = other ? *other : signal44;
    AudioBuffers inputs(2, kMaxBlock), outputs(2, kMaxBlock);
    uint64_t hash = 0xCBF29CE484222325ull;
    int frame = 0;
    for (int b = 0; frame < kFrames; ++b) {
        const int n = std::min(kBlocks[b % std::size(kBlocks)], kFrames - frame);
        std::copy_n(in.left.begin() + frame, n, inputs[0].begin());
        std::copy_n(in.right.begin() + frame, n, inputs[1].begin());
        if (accumulate) {
            for (int i = 0; i < n; ++i) outputs[0][i] = outputs[1][i] = 0.0625f * std::sin(0.01f * (frame + i));
            plugin->process(inputs.data(), outputs.data(), n);
        } else {
            outputs.fill(1e6f);  // anything not overwritten shows
            plugin->processReplacing(inputs.data(), outputs.data(), n);
        }
        hash = fnv1a(hash, outputs[0].data(), n);
        hash = fnv1a(hash, outputs[1].data(), n);
        frame += n;
    }
    return hash;
}

std::vector<Case> cases() {
    std::vector<Case> all;
    const char* const bundles[] = {"panner", "distortion", "filter", "phaser"};
    for (const char* b : bundles) {
        all.push_back({std::string(b) + ".default", b, {}, {}, {}});
        all.push_back({std::string(b) + ".default.tempo140", b, {}, {}, 140.0});
        all.push_back({std::string(b) + ".default.96k", b, {}, {}, 120.0, 96000.0f});
        for (int p = 1; p < 16; ++p) all.push_back({std::string(b) + ".program" + std::to_string(p), b, p, {}, 100.0});
    }
    // Distortion: each type in each band (low t, mid t+5, high t+9), all wet, drives
    // apart; then each band soloed.
    constexpr int kLowType = 5, kMidType = 9, kHighType = 13, kLowDrive = 15, kMix = 18;
    for (int t = 0; t < 14; ++t) {
        auto type = [](int s) { return static_cast<float>(s % 14) / 13.0f; };
        all.push_back({"distortion.type" + std::to_string(t), "distortion", {},
                       {{kLowType, type(t)}, {kMidType, type(t + 5)}, {kHighType, type(t + 9)},
                        {kLowDrive, 0.8f}, {kLowDrive + 1, 0.3f}, {kLowDrive + 2, 0.55f}, {kMix, 1.0f}},
                       {}});
    }
    for (int band = 0; band < 3; ++band)
        all.push_back({"distortion.solo" + std::to_string(band), "distortion", {},
                       {{kLowType, 0.3f}, {kMidType, 0.5f}, {kHighType, 0.1f}, {4 + 4 * band, 1.0f}}, {}});
    // Filter: each response with two and four poles, the LFO sweeping cutoff and
    // resonance at the host's tempo, resonant and driven.
    constexpr int kResponse = 3, kLfoType = 6, kCutoffMod = 7, kResMod = 8, kPole = 9, kFilterMix = 10;
    for (int r = 0; r < 5; ++r)
        for (int four = 0; four < 2; ++four)
            all.push_back({"filter.response" + std::to_string(r) + (four ? ".4pole" : ".2pole"), "filter", {},
                           {{kResponse, r / 4.0f}, {kPole, four ? 0.0f : 1.0f}, {1, 0.6f}, {2, 0.5f},
                            {kCutoffMod, 0.9f}, {kResMod, 0.3f}, {kLfoType, 0.4f}, {kFilterMix, 1.0f}},
                           128.0});
    // Panner: each band soloed, and full depth at two host tempos and the internal one.
    constexpr int kPannerSolo[] = {7, 12, 17};
    for (int band = 0; band < 3; ++band)
        all.push_back({"panner.solo" + std::to_string(band), "panner", {}, {{kPannerSolo[band], 1.0f}}, 120.0});
    for (double tempo : {0.0, 93.0, 174.0}) {
        Case c{"panner.depth.tempo" + std::to_string(static_cast<int>(tempo)), "panner", {},
               {{3, 1.0f}, {8, 1.0f}, {13, 0.0f}, {4, 0.2f}, {9, 0.6f}, {14, 0.9f}, {19, 1.0f}}, {}};
        if (tempo > 0) c.tempo = tempo;
        all.push_back(c);
    }
    // Phaser: the channels unlinked with their own settings.
    all.push_back({"phaser.unlinked", "phaser", {},
                   {{7, 0.0f}, {0, 0.8f}, {1, 0.9f}, {2, 0.7f}, {3, 0.2f}, {4, 0.4f}, {5, 0.1f}, {8, 0.0f}}, {}});
    return all;
}

std::string hex(uint64_t hash) {
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::map<std::string, std::string> readTable() {
    std::map<std::string, std::string> table;
    std::ifstream file(kTable);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string name, hash;
        if (words >> name >> hash) table[name] = hash;
    }
    return table;
}

TEST(Golden, EveryOutputAsRecorded) {
    std::map<std::string, std::string> measured;
    for (const Case& c : cases())
        for (bool accumulate : {false, true})
            measured[c.name + (accumulate ? ".process" : ".replacing")] = hex(render(c, accumulate));

    if (const char* path = std::getenv("ORVEX_GOLDEN_RECORD")) {
        std::ofstream out(path);
        out << "# Output hashes (FNV-1a 64 over the output floats) of tests/golden/golden_test.cpp\n";
        for (const auto& [name, hash] : measured) out << name << ' ' << hash << '\n';
        ASSERT_TRUE(out.good()) << path;
        GTEST_SKIP() << "recorded " << measured.size() << " hashes into " << path;
    }

    const std::map<std::string, std::string> table = readTable();
    ASSERT_FALSE(table.empty()) << "no hashes in " << kTable;
    for (const auto& [name, hash] : measured) {
        const auto found = table.find(name);
        if (found == table.end())
            ADD_FAILURE() << name << " has no recorded hash";
        else
            EXPECT_EQ(hash, found->second) << name << " renders other samples than recorded";
    }
    for (const auto& [name, hash] : table)
        EXPECT_TRUE(measured.count(name)) << name << " is recorded but no longer rendered";
}

}  // namespace
