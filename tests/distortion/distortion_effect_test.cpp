// The distortion bundle through the binary interface, loaded by our own host as a DAW
// would: identity, parameter texts, programs, the solo rule, controllers, and the whole
// chain against the independent step-by-step model.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/component.h"
#include "reference/distortion_model.h"
#include "reference/bundle.h"
#include "tools/vsthost/vsthost.h"

using orvex::vsthost::AudioBuffers;
using orvex::vsthost::HostOptions;
using orvex::vsthost::MidiMessage;
using orvex::vsthost::Plugin;
using reference::floatText;

namespace {

constexpr int kLowSolo = 4, kMidSolo = 8, kHighSolo = 12, kMix = 18;

std::unique_ptr<Plugin> load(float rate = 44100.0f, int block = 512) {
    HostOptions options;
    options.sampleRate = rate;
    options.blockSize = block;
    return reference::loadBundle("distortion", options);
}

// Two channels of sines, noise and clicks, loud enough to drive every curve.
struct Signal {
    std::vector<float> left, right;
    explicit Signal(int n, float level = 1.0f) : left(n), right(n) {
        uint32_t seed = 777;
        for (int i = 0; i < n; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const float noise = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
            const float t = static_cast<float>(i);
            left[i] = level * (0.6f * std::sin(t * 0.011f) + 0.3f * std::sin(t * 0.37f) + 0.2f * noise);
            right[i] = level * (0.5f * std::sin(t * 0.023f + 1.0f) + 0.3f * std::sin(t * 0.9f) - 0.2f * noise);
            if (i % 613 == 0) left[i] += level;
        }
    }
};

void set(Plugin& plugin, model::Distortion& reference, int index, float value) {
    plugin.setParameter(index, value);
    reference.set(index, value);
}

// `total` samples in calls of `callSize`; the model sees calls longer than the
// plug-in's buffers in the pieces the plug-in processes them in.
void expectMatchesModel(Plugin& plugin, model::Distortion& reference, int total, int callSize, int bufferSize,
                        float level = 1.0f, bool accumulate = false) {
    Signal signal(total, level);
    for (int start = 0; start < total; start += callSize) {
        const int n = std::min(callSize, total - start);
        AudioBuffers in(2, n), out(2, n, accumulate ? 0.25f : 7.0f);
        std::copy_n(signal.left.begin() + start, n, in[0].begin());
        std::copy_n(signal.right.begin() + start, n, in[1].begin());
        if (accumulate)
            plugin.process(in.data(), out.data(), n);
        else
            plugin.processReplacing(in.data(), out.data(), n);
        std::vector<float> left(n), right(n);
        // The plug-in processes with subnormals flushed to zero (they matter here: the
        // power in "Top side" reaches them for quiet samples); so does the model.
        const unsigned int mode = _mm_getcsr();
        _mm_setcsr(mode | 0x8040);
        for (int piece = 0; piece < n; piece += bufferSize) {
            const int m = std::min(bufferSize, n - piece);
            reference.process(in[0].data() + piece, in[1].data() + piece, left.data() + piece, right.data() + piece, m);
        }
        _mm_setcsr(mode);
        for (int i = 0; i < n; ++i) {
            const float base = accumulate ? 0.25f : 0.0f;
            ASSERT_EQ(out[0][i], base + left[i]) << "call at " << start << " sample " << i;
            ASSERT_EQ(out[1][i], base + right[i]) << "call at " << start << " sample " << i;
        }
    }
}

// Crossovers apart, levels, drives and mix off their defaults, every band on `types`.
void spread(Plugin& plugin, model::Distortion& reference, const float (&types)[3]) {
    const std::pair<int, float> settings[] = {
        {0, 0.3f}, {1, 0.55f}, {2, 0.75f}, {3, 0.4f},  {6, 0.45f}, {7, 0.6f},  {10, 0.3f},
        {11, 0.5f}, {14, 0.35f}, {15, 0.3f}, {16, 0.7f}, {17, 0.05f}, {kMix, 0.8f},
    };
    for (auto [index, value] : settings) set(plugin, reference, index, value);
    set(plugin, reference, 5, types[0]);
    set(plugin, reference, 9, types[1]);
    set(plugin, reference, 13, types[2]);
}

float step(int s) { return (static_cast<float>(s) + 0.5f) / 14.0f; }

}  // namespace

TEST(DistortionParameters, NamesLabelsAndDisplays) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    const char* names[] = {"LowFreq",        "MidFreq",        "HighFreq",      "LowInputLevel", "Low Solo",
                           "Low type",       "LowOutputLevel", "MidInputLevel", "Mid Solo",      "Mid type",
                           "MidOutputLevel", "HighInputLevel", "High Solo",     "High Type",     "HighOutputLev",
                           "Low Drive",      "Mid Drive",      "High Drive",    "Mix"};
    const std::string hz = floatText(model::cutoffHz(0.5f));
    const std::string displays[] = {hz,         hz,         hz,         "150.0000", "Off",      "bypass",   "150.0000",
                                    "150.0000", "Off",      "bypass",   "150.0000", "150.0000", "Off",      "bypass",
                                    "150.0000", "50.00000", "50.00000", "50.00000", "50.00000"};
    for (int i = 0; i < 19; ++i) {
        EXPECT_EQ(plugin->parameterName(i), names[i]) << i;
        const bool switchOrType = i == 4 || i == 5 || i == 8 || i == 9 || i == 12 || i == 13;
        EXPECT_EQ(plugin->parameterLabel(i), i < 3 ? "Hz" : switchOrType ? "  " : "% ") << i;
        EXPECT_EQ(plugin->parameterDisplay(i), displays[i]) << i;
    }
    EXPECT_EQ(plugin->parameterLabel(19), "");

    plugin->setParameter(9, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(9), "Quantize 16");
    EXPECT_EQ(plugin->parameterDisplay(16), "50.00000");
    plugin->setParameter(16, 0.25f);
    EXPECT_EQ(plugin->parameterDisplay(16), "25.00000");
    plugin->setParameter(13, 5.5f / 14.0f);  // Digitron keeps 100 x drive itself
    EXPECT_EQ(plugin->parameterDisplay(13), "Digitron");
    EXPECT_EQ(plugin->parameterDisplay(17), "50.00000");
    plugin->setParameter(7, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(7), "300.0000");
    plugin->setParameter(kMix, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(kMix), "0.000000");
    plugin->setParameter(2, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(2), "20000.00");
}

TEST(DistortionPrograms, SixteenIndependentPrograms) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    for (int p = 0; p < 16; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->programName(), "Basic " + std::to_string(p + 1));
        EXPECT_EQ(plugin->programNameIndexed(p), "Basic");
    }
    plugin->setProgram(5);
    plugin->setParameter(13, 0.0f);
    plugin->setProgram(6);
    EXPECT_EQ(plugin->parameterDisplay(13), "bypass");
    plugin->setProgram(5);
    EXPECT_EQ(plugin->parameterDisplay(13), "Anihilator");
}

TEST(DistortionSolo, OneBandAtATimeAndOffLeavesTheOthers) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    plugin->setParameter(kLowSolo, 1.0f);
    plugin->setParameter(kMidSolo, 1.0f);
    EXPECT_EQ(plugin->getParameter(kLowSolo), 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(kLowSolo), "Off");
    EXPECT_EQ(plugin->parameterDisplay(kMidSolo), "On");
    // Setting another solo off keeps the middle solo: a restore in index order would
    // otherwise lose it.
    plugin->setParameter(kHighSolo, 0.0f);
    plugin->setParameter(kLowSolo, 0.0f);
    EXPECT_EQ(plugin->getParameter(kMidSolo), 1.0f);
    plugin->setParameter(kHighSolo, 1.0f);
    EXPECT_EQ(plugin->getParameter(kMidSolo), 0.0f);
    EXPECT_EQ(plugin->getParameter(kHighSolo), 1.0f);
}

TEST(DistortionSolo, ProgramLoadAndSessionRestoreKeepTheStoredSolo) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    const int solos[] = {kLowSolo, kMidSolo, kHighSolo};
    for (int p = 0; p < 3; ++p) {
        plugin->setProgram(p);
        plugin->setParameter(solos[p], 1.0f);
    }
    for (int round = 0; round < 2; ++round) {
        for (int p = 0; p < 3; ++p) {
            plugin->setProgram(p);
            for (int s = 0; s < 3; ++s) {
                EXPECT_EQ(plugin->getParameter(solos[s]), s == p ? 1.0f : 0.0f) << p << " " << s;
                EXPECT_EQ(plugin->parameterDisplay(solos[s]), s == p ? "On" : "Off");
            }
        }
    }
    // A host restoring a session in index order onto a program with the high solo on.
    plugin->setProgram(2);
    for (int i = 0; i < 19; ++i) plugin->setParameter(i, i == kLowSolo ? 1.0f : (i == kMidSolo || i == kHighSolo) ? 0.0f : 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(kLowSolo), "On");
    EXPECT_EQ(plugin->parameterDisplay(kHighSolo), "Off");
    plugin->setProgram(0);
    plugin->setProgram(2);
    EXPECT_EQ(plugin->getParameter(kLowSolo), 1.0f);
}

TEST(DistortionMidi, ControllersZeroToEighteen) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    for (int i = 0; i < 19; ++i) {
        if (i == kLowSolo || i == kMidSolo || i == kHighSolo) continue;
        plugin->sendMidi({MidiMessage{static_cast<uint8_t>(0xB0 | (i % 16)), static_cast<uint8_t>(i), 64}});
        EXPECT_EQ(plugin->getParameter(i), 64 * 0.007874016f) << i;
    }
    plugin->sendMidi({MidiMessage{0xB0, 7, 127}});
    EXPECT_EQ(plugin->getParameter(7), 127 * 0.007874016f);
    EXPECT_EQ(plugin->parameterDisplay(7), floatText(3.0f * (127 * 0.007874016f) * 100.0f));
    plugin->sendMidi({MidiMessage{0xB0, kMidSolo, 127}});
    EXPECT_EQ(plugin->parameterDisplay(kMidSolo), "On");
    // Controllers 19 and up, and notes, change nothing.
    plugin->sendMidi({MidiMessage{0xB0, 19, 0}, MidiMessage{0xB0, 50, 0}, MidiMessage{0x90, 60, 100},
                      MidiMessage{0xB0, 127, 0}});
    EXPECT_EQ(plugin->getParameter(kMix), 64 * 0.007874016f);
    EXPECT_TRUE(plugin->record().events.empty());
}

TEST(DistortionChain, DefaultProgramAndMixEnds) {
    auto plugin = load();
    ASSERT_TRUE(plugin);
    model::Distortion reference(44100.0f);
    expectMatchesModel(*plugin, reference, 4000, 512, 512);
    // Mix 0 is the dry input exactly; mix 1 the mono distorted sum in both channels.
    set(*plugin, reference, kMix, 0.0f);
    Signal signal(256);
    AudioBuffers in(2, 256), out(2, 256);
    std::copy(signal.left.begin(), signal.left.end(), in[0].begin());
    std::copy(signal.right.begin(), signal.right.end(), in[1].begin());
    plugin->processReplacing(in.data(), out.data(), 256);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1]);
    set(*plugin, reference, kMix, 1.0f);
    plugin->processReplacing(in.data(), out.data(), 256);
    EXPECT_EQ(out[0], out[1]);
    EXPECT_NE(out[0], in[0]);
}

TEST(DistortionChain, EveryTypeStepMatchesTheModel) {
    for (int s = 0; s < 14; ++s) {
        auto plugin = load();
        ASSERT_TRUE(plugin);
        model::Distortion reference(44100.0f);
        const float types[3] = {step(s), step(s), step(s)};
        spread(*plugin, reference, types);
        SCOPED_TRACE(s);
        expectMatchesModel(*plugin, reference, 3000, 300, 512);
    }
}

TEST(DistortionChain, MixedTypesSolosBlockSizesAndRates) {
    const float types[3] = {step(0), step(7), step(12)};
    for (float rate : {22050.0f, 44100.0f, 96000.0f}) {
        for (auto [call, buffer] : {std::pair{1, 512}, {64, 64}, {333, 512}, {1500, 512}}) {
            auto plugin = load(rate, buffer);
            ASSERT_TRUE(plugin);
            model::Distortion reference(rate);
            spread(*plugin, reference, types);
            expectMatchesModel(*plugin, reference, 2000, call, buffer);
            for (int solo : {kMidSolo, kHighSolo, kLowSolo}) {
                set(*plugin, reference, solo, 1.0f);
                expectMatchesModel(*plugin, reference, 1200, call, buffer, 2.0f);
            }
            set(*plugin, reference, kLowSolo, 0.0f);
            expectMatchesModel(*plugin, reference, 1200, call, buffer, 1.0f, /*accumulate*/ true);
        }
    }
}

TEST(DistortionRobustness, NonFiniteInputRecoversWithinABlockAndLoudInputStaysFinite) {
    for (int s : {0, 1, 5, 9, 10}) {
        auto plugin = load(44100.0f, 256);
        ASSERT_TRUE(plugin);
        model::Distortion reference(44100.0f);
        const float types[3] = {step(s), step(s), step(s)};
        spread(*plugin, reference, types);
        set(*plugin, reference, 3, 1.0f);
        set(*plugin, reference, 17, 0.0f);  // the slowest hold and quantiser
        AudioBuffers in(2, 256), out(2, 256);
        for (float bad : {NAN, INFINITY, -INFINITY}) {
            in[0].assign(256, 0.2f);
            in[1].assign(256, 0.2f);
            in[0][100] = bad;
            plugin->processReplacing(in.data(), out.data(), 256);
            in[0][100] = 0.2f;
            for (int block = 0; block < 3; ++block) {
                plugin->processReplacing(in.data(), out.data(), 256);
                for (int c = 0; c < 2; ++c)
                    for (float y : out[c]) ASSERT_TRUE(std::isfinite(y)) << s << " block " << block;
            }
        }
        for (float level : {30.0f, 1e6f}) {
            Signal loud(2048, level);
            AudioBuffers big(2, 256);
            for (int start = 0; start < 2048; start += 256) {
                std::copy_n(loud.left.begin() + start, 256, big[0].begin());
                std::copy_n(loud.right.begin() + start, 256, big[1].begin());
                plugin->processReplacing(big.data(), out.data(), 256);
                for (int c = 0; c < 2; ++c)
                    for (float y : out[c]) ASSERT_TRUE(std::isfinite(y)) << s << " level " << level;
            }
        }
    }
}

// A burst the band splitter takes without going non-finite (samples at the largest
// float) leaves its filters ringing near that size for a while after the input is
// clean; a curve selected meanwhile must not turn those finite samples into NaN.
TEST(DistortionRobustness, TypeChangeAfterALoudBurstStaysFinite) {
    constexpr int kMidType = 9, kHighDrive = 17;
    const float kDestroy = 4.5f / 14.0f;
    for (float bad : {FLT_MAX, -FLT_MAX, NAN, INFINITY}) {
        auto plugin = load(48000.0f, 512);
        ASSERT_TRUE(plugin);
        AudioBuffers in(2, 53), out(2, 53);
        for (int i = 0; i < 53; ++i) in[1][i] = i % 5 == 2 ? bad : 0.5f;
        plugin->processReplacing(in.data(), out.data(), 53);
        plugin->setParameter(kMidType, kDestroy);
        plugin->setParameter(kHighDrive, 0.42359f);
        for (int n : {1, 769, 512}) {
            AudioBuffers clean(2, n), result(2, n);
            plugin->processReplacing(clean.data(), result.data(), n);
            if (n == 1) continue;  // the first clean call may still carry the burst
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < n; ++i)
                    ASSERT_TRUE(std::isfinite(result[c][i])) << bad << " call of " << n << " sample " << i;
        }
    }
}
