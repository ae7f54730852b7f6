// Processing cost of the DSP units and of the whole plug-ins, as a host drives them:
// prints nanoseconds per sample and how many times faster than real time at 44.1 kHz.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dsp/bandfilter.h"
#include "dsp/lfo.h"
#include "plugins/panner/autopanner.h"
#include "tools/vsthost/vsthost.h"

namespace {

constexpr float kRate = 44100.0f;
constexpr int kBlock = 512;
constexpr int kSeconds = 20;

// Runs `block` over kSeconds of audio in blocks of kBlock and prints the figures.
void measure(const char* name, const std::function<void(int)>& block) {
    const int blocks = static_cast<int>(kSeconds * kRate) / kBlock;
    block(kBlock);  // warm up
    const auto start = std::chrono::steady_clock::now();
    for (int b = 0; b < blocks; ++b) block(kBlock);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double samples = static_cast<double>(blocks) * kBlock;
    std::printf("%-34s %8.2f ns/sample %10.0fx real time\n", name, seconds * 1e9 / samples,
                samples / kRate / seconds);
}

std::vector<float> testSignal(int n) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = 0.5f * std::sin(0.031f * i) + 0.25f * std::sin(0.57f * i);
    return x;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<float> input = testSignal(kBlock);
    std::vector<float> a(kBlock), b(kBlock), c(kBlock);

    orvex::CBandFilter bands(kRate);
    measure("band filter (3 oversampled SVFs)", [&](int n) { bands.process(input.data(), a.data(), b.data(), c.data(), n); });

    orvex::CAutoPanner panner(kRate);
    panner.setControl(1.0f, orvex::kCtlLfoDepth);
    measure("auto-panner", [&](int n) { panner.process(input.data(), a.data(), b.data(), n); });

    orvex::CLfo lfo(kRate);
    float sink = 0;
    measure("LFO read every 32 samples", [&](int n) {
        for (int i = 0; i < n; i += 32) sink += lfo.processBlock(32);
    });

    const std::string dir = argc > 1 ? argv[1] : ORVEX_VST_DIR;
    for (const char* name : {"panner", "distortion", "filter", "phaser"}) {
        const std::string path = dir + "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so";
        if (!std::filesystem::exists(path)) continue;
        orvex::vsthost::HostOptions options;
        options.transport = orvex::vsthost::Transport{};
        options.transport->advance = true;
        auto loaded = orvex::vsthost::Plugin::load(path, options);
        if (!loaded) {
            std::printf("%s: %s\n", name, loaded.error.c_str());
            continue;
        }
        auto& plugin = *loaded.plugin;
        plugin.recordTimeMasks(false);
        plugin.start(kRate, kBlock);
        orvex::vsthost::AudioBuffers in(2, kBlock), out(2, kBlock);
        in[0] = input;
        in[1] = input;
        measure((std::string("plug-in ") + name + " (processReplacing)").c_str(),
                [&](int n) { plugin.processReplacing(in.data(), out.data(), n); });
    }
    return sink == 12345.0f ? 1 : 0;  // keeps the LFO reads from being optimised away
}
