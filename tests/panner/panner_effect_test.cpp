// The panner bundle through the binary interface, loaded by our own host as a DAW
// would: identity, parameter texts, programs, solo rules, MIDI, and the whole chain
// against the independent step-by-step model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dsp/component.h"
#include "reference/panner_model.h"
#include "reference/bundle.h"
#include "tools/vsthost/vsthost.h"

using orvex::vsthost::AudioBuffers;
using orvex::vsthost::HostOptions;
using orvex::vsthost::MidiMessage;
using orvex::vsthost::Plugin;
using orvex::vsthost::Transport;
using reference::floatText;

namespace {

std::unique_ptr<Plugin> loadPanner(std::optional<Transport> transport = std::nullopt, float rate = 44100.0f,
                                   int block = 512) {
    HostOptions options;
    options.transport = transport;
    options.sampleRate = rate;
    options.blockSize = block;
    return reference::loadBundle("panner", options);
}

// A test signal with a bit of everything: two sines, a chirp-like partial, noise and
// clicks, different in the two channels.
struct Signal {
    std::vector<float> left, right;
    explicit Signal(int n) : left(n), right(n) {
        uint32_t seed = 12345;
        for (int i = 0; i < n; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const float noise = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
            const float t = static_cast<float>(i);
            left[i] = 0.5f * std::sin(t * 0.0142f) + 0.2f * std::sin(t * 0.61f) + 0.1f * noise;
            right[i] = 0.4f * std::sin(t * 0.0297f + 1.0f) + 0.25f * std::sin(t * t * 1e-6f) - 0.1f * noise;
            if (i % 997 == 0) left[i] += 0.9f;
        }
    }
};

// Runs `total` samples through the plug-in and the model in calls of `callSize`, with
// `time(k)` giving what the host reports for call k; the model sees calls longer than
// the plug-in's buffers in the same pieces the plug-in processes.
void expectChainMatchesModel(Plugin& plugin, model::Panner& reference, int total, int callSize, int bufferSize,
                             const std::function<std::optional<model::Time>(int)>& time) {
    Signal signal(total);
    int call = 0;
    for (int start = 0; start < total; start += callSize, ++call) {
        const int n = std::min(callSize, total - start);
        const std::optional<model::Time> t = time(call);
        reference::reportTime(plugin, t ? std::optional<double>(t->tempo) : std::nullopt, t ? t->ppq : std::nullopt);
        AudioBuffers in(2, n), out(2, n, 7.0f);
        std::copy_n(signal.left.begin() + start, n, in[0].begin());
        std::copy_n(signal.right.begin() + start, n, in[1].begin());
        plugin.processReplacing(in.data(), out.data(), n);

        std::vector<float> expectLeft(n), expectRight(n);
        for (int piece = 0; piece < n; piece += bufferSize) {
            const int m = std::min(bufferSize, n - piece);
            reference.process(in[0].data() + piece, in[1].data() + piece, expectLeft.data() + piece,
                              expectRight.data() + piece, m, t);
        }
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(out[0][i], expectLeft[i]) << "call " << call << " sample " << i;
            ASSERT_EQ(out[1][i], expectRight[i]) << "call " << call << " sample " << i;
        }
    }
}

// Sets a parameter on the plug-in and the model alike.
void set(Plugin& plugin, model::Panner& reference, int index, float value) {
    plugin.setParameter(index, value);
    reference.p[index] = value;
    reference.apply();
}

// Settings where every band moves differently.
void moveEverything(Plugin& plugin, model::Panner& reference) {
    const std::pair<int, float> settings[] = {
        {0, 0.25f}, {1, 0.55f}, {2, 0.8f},                          // crossovers
        {3, 0.95f}, {4, 0.75f}, {5, 0.0f}, {6, 0.6f},               // low: deep, 1/16, sine
        {8, 0.1f}, {9, 0.9f}, {10, 0.7f}, {11, 0.35f},              // mid: 1/64, triangle
        {13, 1.0f}, {14, 0.6f}, {15, 0.95f}, {16, 0.8f},            // high: 1/8, exp-triangle
        {18, 0.8f}, {19, 0.7f},
    };
    for (auto [index, value] : settings) set(plugin, reference, index, value);
}

}  // namespace

TEST(PannerParameters, NamesLabelsAndDefaultDisplays) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    const char* names[] = {"LowFreq", "MidFreq", "HighFreq", "LowLfoDepth", "LowDiv", "LowModType", "LowLevel",
                           "LowSolo", "MidLfoDepth", "MidDiv", "MidModType", "MidLevel", "MidSolo", "HighLfoDepth",
                           "HighDiv", "HighModType", "HighLevel", "HighSolo", "Bpm", "Mix"};
    const char* labels[] = {"Hz", "Hz", "Hz", "% ", "  ", "  ", "% ", "  ", "% ", "  ",
                            "  ", "% ", "  ", "% ", "  ", "  ", "% ", "  ", "  ", "% "};
    const std::string frequency = floatText(model::cutoffHz(0.5f));
    const std::string displays[] = {frequency,  frequency,  frequency, "50.00000", "1/4",      "sawDown", "50.00000",
                                    "Off",      "50.00000", "1/4",     "sawDown",  "50.00000", "Off",     "50.00000",
                                    "1/4",      "sawDown",  "50.00000", "Off",     "150.0000", "50.00000"};
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(plugin->parameterName(i), names[i]) << i;
        EXPECT_EQ(plugin->parameterLabel(i), labels[i]) << i;
        EXPECT_EQ(plugin->parameterDisplay(i), displays[i]) << i;
        EXPECT_EQ(plugin->getParameter(i), (i == 7 || i == 12 || i == 17) ? 0.0f : 0.5f) << i;
    }
    EXPECT_NEAR(std::stof(frequency), 1000.0f, 0.01f);  // the geometric mean of 50 and 20000 Hz
}

TEST(PannerParameters, DisplaysFollowChanges) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    plugin->setParameter(0, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(0), "50.00000");
    plugin->setParameter(2, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(2), "20000.00");
    plugin->setParameter(3, 0.3f);
    EXPECT_EQ(plugin->parameterDisplay(3), "30.00000");
    plugin->setParameter(4, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(4), "1/64");
    plugin->setParameter(9, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(9), "4");
    const char* waves[] = {"sin", "sawUp", "sawDown", "square", "triangle", "harmoxel"};
    for (int w = 0; w < 6; ++w) {
        plugin->setParameter(15, (w + 0.5f) / 6.0f);
        EXPECT_EQ(plugin->parameterDisplay(15), waves[w]);
    }
    plugin->setParameter(6, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(6), "100.0000");
    plugin->setParameter(17, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(17), "On");
    plugin->setParameter(18, 0.35f);
    EXPECT_EQ(plugin->parameterDisplay(18), floatText(50.0f + 0.35f * 200.0f));
    plugin->setParameter(19, 0.25f);
    EXPECT_EQ(plugin->parameterDisplay(19), "25.00000");
}

TEST(PannerPrograms, SixteenBasicPrograms) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    for (int p = 0; p < 16; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->getProgram(), p);
        EXPECT_EQ(plugin->programName(), "Basic " + std::to_string(p + 1));
        EXPECT_EQ(plugin->programNameIndexed(p), "Basic");
    }
    EXPECT_FALSE(plugin->programNameIndexed(16));
    plugin->setProgram(16);
    EXPECT_EQ(plugin->getProgram(), 15);
    // Programs keep their own values.
    plugin->setProgram(3);
    plugin->setParameter(19, 0.9f);
    plugin->setProgram(4);
    EXPECT_EQ(plugin->getParameter(19), 0.5f);
    plugin->setProgram(3);
    EXPECT_EQ(plugin->getParameter(19), 0.9f);
    EXPECT_EQ(plugin->parameterDisplay(19), "90.00000");
}

TEST(PannerSolo, OneBandAtATime) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    plugin->setParameter(12, 1.0f);  // MidSolo
    plugin->setParameter(7, 1.0f);   // LowSolo turns MidSolo off
    EXPECT_EQ(plugin->getParameter(7), 1.0f);
    EXPECT_EQ(plugin->getParameter(12), 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(12), "Off");
    // Setting another solo to off leaves the one that is on alone, so that a host
    // restoring the parameters in index order keeps a low or middle solo.
    plugin->setParameter(12, 0.0f);
    plugin->setParameter(17, 0.0f);
    EXPECT_EQ(plugin->getParameter(7), 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(7), "On");
    plugin->setParameter(7, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(7), "Off");
    plugin->setParameter(17, 1.0f);
    plugin->setParameter(17, 1.0f);  // setting it again keeps it
    EXPECT_EQ(plugin->getParameter(17), 1.0f);
}

TEST(PannerSolo, ProgramLoadLeavesOnlyTheLoadedSolo) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    plugin->setProgram(0);
    plugin->setParameter(17, 1.0f);  // program 0: high solo
    plugin->setProgram(1);
    EXPECT_EQ(plugin->parameterDisplay(17), "Off");
    plugin->setParameter(12, 1.0f);  // program 1: middle solo
    plugin->setProgram(0);
    EXPECT_EQ(plugin->getParameter(12), 0.0f);
    EXPECT_EQ(plugin->getParameter(17), 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(12), "Off");
    EXPECT_EQ(plugin->parameterDisplay(17), "On");
    plugin->setProgram(1);
    EXPECT_EQ(plugin->parameterDisplay(12), "On");
    EXPECT_EQ(plugin->parameterDisplay(17), "Off");
    // Loading did not disturb what program 0 stores.
    EXPECT_EQ(plugin->programNameIndexed(0), "Basic");
    plugin->setProgram(0);
    EXPECT_EQ(plugin->getParameter(17), 1.0f);

    // A host restoring a saved low solo parameter by parameter, in index order, and
    // a later reload of that program, keep it.
    plugin->setProgram(2);
    for (int i = 0; i < 20; ++i) plugin->setParameter(i, i == 7 ? 1.0f : (i == 12 || i == 17) ? 0.0f : 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(7), "On");
    plugin->setProgram(0);
    plugin->setProgram(2);
    EXPECT_EQ(plugin->getParameter(7), 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(7), "On");
    EXPECT_EQ(plugin->parameterDisplay(17), "Off");
}

TEST(PannerSolo, SoloedBandAloneWithoutDrySignal) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    model::Panner reference(44100.0f, std::nullopt);
    moveEverything(*plugin, reference);
    set(*plugin, reference, 12, 1.0f);
    expectChainMatchesModel(*plugin, reference, 3000, 256, 512, [](int) { return std::nullopt; });
    // Release the solo: the other bands continue from where they stood.
    set(*plugin, reference, 12, 0.0f);
    expectChainMatchesModel(*plugin, reference, 3000, 256, 512, [](int) { return std::nullopt; });
}

TEST(PannerMidi, ControllersFiftyToSixtyNine) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    for (int i = 0; i < 20; ++i) {
        if (i == 7 || i == 12 || i == 17) continue;  // solos switch each other
        const uint8_t channel = static_cast<uint8_t>(i % 16);
        plugin->sendMidi({MidiMessage{static_cast<uint8_t>(0xB0 | channel), static_cast<uint8_t>(50 + i), 127}});
        EXPECT_EQ(plugin->getParameter(i), 127 * 0.007874016f) << i;
    }
    plugin->sendMidi({MidiMessage{0xB3, 68, 64}});
    EXPECT_EQ(plugin->getParameter(18), 64 * 0.007874016f);
    EXPECT_EQ(plugin->parameterDisplay(18), floatText(50.0f + 64 * 0.007874016f * 200.0f));
    EXPECT_EQ(plugin->parameterDisplay(18).substr(0, 5), "150.7");
    // Controllers outside 50..69 and other messages change nothing.
    plugin->sendMidi({MidiMessage{0xB0, 49, 0}, MidiMessage{0xB0, 70, 0}, MidiMessage{0xE0, 50, 0},
                      MidiMessage{0xC0, 50, 0}});
    EXPECT_EQ(plugin->getParameter(0), 127 * 0.007874016f);
    EXPECT_EQ(plugin->getParameter(19), 127 * 0.007874016f);
    // The host hears of no automation from MIDI.
    EXPECT_TRUE(plugin->record().events.empty());
}

TEST(PannerMidi, NotesRestartOneLfoEach) {
    for (int note : {60, 61, 62, 59, 63}) {
        auto plugin = loadPanner();
        ASSERT_TRUE(plugin);
        model::Panner reference(44100.0f, std::nullopt);
        moveEverything(*plugin, reference);
        auto none = [](int) { return std::optional<model::Time>(); };
        expectChainMatchesModel(*plugin, reference, 5000, 500, 512, none);
        // Note-on with velocity 0 counts, on any channel.
        plugin->sendMidi({MidiMessage{0x97, static_cast<uint8_t>(note), 0}});
        if (note >= 60 && note <= 62) reference.lfo[note - 60].reset();
        expectChainMatchesModel(*plugin, reference, 5000, 500, 512, none);
    }
}

TEST(PannerChain, DefaultProgramCentresEveryBand) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    model::Panner reference(44100.0f, std::nullopt);
    expectChainMatchesModel(*plugin, reference, 4096, 512, 512, [](int) { return std::nullopt; });
    // All depths at 0.5: every pan pot sits at 0.5/0.5.
    for (const auto& pot : reference.pot) {
        EXPECT_EQ(pot.leftGain, 0.5f);
        EXPECT_EQ(pot.rightGain, 0.5f);
    }
}

TEST(PannerChain, MatchesModelWithoutHostTempo) {
    for (int callSize : {1, 17, 64, 512, 1300}) {
        auto plugin = loadPanner(std::nullopt, 44100.0f, 512);
        ASSERT_TRUE(plugin);
        model::Panner reference(44100.0f, std::nullopt);
        moveEverything(*plugin, reference);
        SCOPED_TRACE(callSize);
        expectChainMatchesModel(*plugin, reference, 8000, callSize, 512, [](int) { return std::nullopt; });
    }
}

TEST(PannerChain, MatchesModelWithHostTempoAndSongPosition) {
    for (int callSize : {32, 100, 512, 2000}) {
        Transport start;
        start.tempo = 128.0;
        auto plugin = loadPanner(start, 48000.0f, 512);
        ASSERT_TRUE(plugin);
        model::Panner reference(48000.0f, 128.0);
        moveEverything(*plugin, reference);
        SCOPED_TRACE(callSize);
        // Playing from bar 3, with a tempo change half-way, then a stop where the
        // position stands still, then the transport vanishes.
        auto time = [callSize](int call) -> std::optional<model::Time> {
            const double seconds = static_cast<double>(call) * callSize / 48000.0;
            if (seconds < 0.1) return model::Time{128.0, 8.0 + seconds * 128.0 / 60.0};
            if (seconds < 0.2) return model::Time{96.5, 8.0 + seconds * 96.5 / 60.0};
            if (seconds < 0.25) return model::Time{96.5, 8.5};
            if (seconds < 0.3) return model::Time{96.5, std::nullopt};
            return std::nullopt;
        };
        expectChainMatchesModel(*plugin, reference, 19200, callSize, 512, time);
    }
}

// A host that runs the plug-in with its transport standing still (set-up, a pre-roll)
// for however long before it plays from that position: what is heard from the start of
// play does not depend on how long it stood. (Silence while it stands, so that only the
// modulation can differ; the pan gains glide from where they were until the second
// reading of the LFO, 64 samples in at the most.)
TEST(PannerChain, StartingTheTransportWhereItStoodLocksTheLfos) {
    auto played = [](int idleBlocks) {
        Transport stopped;
        stopped.tempo = 120.0;
        stopped.ppqPos = 8.0;
        stopped.flags = kVstTempoValid | kVstPpqPosValid;
        auto plugin = loadPanner(stopped);
        EXPECT_TRUE(plugin);
        for (int p : {3, 8, 13}) plugin->setParameter(p, 1.0f);  // full LFO depths
        plugin->setParameter(19, 1.0f);                            // all wet
        AudioBuffers silence(2, 512), out(2, 512);
        for (int b = 0; b < idleBlocks; ++b) plugin->processReplacing(silence.data(), out.data(), 512);
        Transport playing = stopped;
        playing.flags |= kVstTransportPlaying | kVstTransportChanged;
        playing.advance = true;
        plugin->setTransport(playing);
        Signal signal(4 * 512);
        std::vector<float> heard;
        for (int b = 0; b < 4; ++b) {
            AudioBuffers in(2, 512);
            std::copy_n(signal.left.begin() + b * 512, 512, in[0].begin());
            std::copy_n(signal.right.begin() + b * 512, 512, in[1].begin());
            plugin->processReplacing(in.data(), out.data(), 512);
            heard.insert(heard.end(), out[0].begin() + (b == 0 ? 64 : 0), out[0].end());
            heard.insert(heard.end(), out[1].begin() + (b == 0 ? 64 : 0), out[1].end());
        }
        return heard;
    };
    const std::vector<float> afterShortWait = played(3);
    for (int idle : {0, 17, 40}) {
        const std::vector<float> other = played(idle);
        ASSERT_EQ(other.size(), afterShortWait.size());
        double worst = 0;
        for (std::size_t i = 0; i < other.size(); ++i)
            worst = std::max(worst, std::fabs(static_cast<double>(other[i]) - afterShortWait[i]));
        EXPECT_LT(worst, 1e-6) << "after standing for " << idle << " blocks";
    }
}

TEST(PannerChain, BpmReachesTheLfosWhileTheHostGivesNoTempo) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    model::Panner reference(44100.0f, std::nullopt);
    moveEverything(*plugin, reference);
    expectChainMatchesModel(*plugin, reference, 3000, 300, 512, [](int) { return std::nullopt; });
    set(*plugin, reference, 18, 0.1f);
    expectChainMatchesModel(*plugin, reference, 3000, 300, 512, [](int) { return std::nullopt; });
    EXPECT_EQ(reference.lfo[0].bpm, 70.0f);
}

TEST(PannerChain, ProcessAddsAndMixZeroPassesTheInput) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    plugin->setParameter(19, 0.0f);
    const int n = 256;
    Signal signal(n);
    AudioBuffers in(2, n), out(2, n, 0.25f);
    std::copy(signal.left.begin(), signal.left.end(), in[0].begin());
    std::copy(signal.right.begin(), signal.right.end(), in[1].begin());
    plugin->process(in.data(), out.data(), n);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(out[0][i], 0.25f + signal.left[i]);
        EXPECT_EQ(out[1][i], 0.25f + signal.right[i]);
    }
    plugin->processReplacing(in.data(), out.data(), n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(out[0][i], signal.left[i]);
}

TEST(PannerChain, SampleRateChangeKeepsTheCrossoversInHertz) {
    // Settings made at 44100 Hz; after a resume at 96000 Hz the filters work with
    // the same crossover frequencies, computed for the new rate.
    auto plugin = loadPanner(std::nullopt, 44100.0f, 512);
    ASSERT_TRUE(plugin);
    model::Panner reference(96000.0f, std::nullopt);
    moveEverything(*plugin, reference);
    plugin->suspend();
    plugin->setSampleRate(96000.0f);
    plugin->resume();
    expectChainMatchesModel(*plugin, reference, 4000, 512, 512, [](int) { return std::nullopt; });
}

TEST(PannerRobustness, NonFiniteInputRecoversAndHugeInputStaysFinite) {
    auto plugin = loadPanner();
    ASSERT_TRUE(plugin);
    for (int i = 0; i < 20; ++i) plugin->setParameter(i, i % 3 == 0 ? 1.0f : 0.3f);
    plugin->setParameter(7, 0.0f);
    plugin->setParameter(12, 0.0f);
    plugin->setParameter(17, 0.0f);
    const int n = 512;
    AudioBuffers in(2, n), out(2, n);
    for (int i = 0; i < n; ++i) {
        in[0][i] = (i % 7 == 0) ? NAN : 0.3f;
        in[1][i] = (i % 11 == 0) ? INFINITY : -0.3f;
    }
    plugin->processReplacing(in.data(), out.data(), n);
    Signal signal(n);
    std::copy(signal.left.begin(), signal.left.end(), in[0].begin());
    std::copy(signal.right.begin(), signal.right.end(), in[1].begin());
    plugin->processReplacing(in.data(), out.data(), n);  // the block after: finite again
    for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(std::isfinite(out[0][i]) && std::isfinite(out[1][i])) << i;
    }
    // Huge but finite input never turns into inf or NaN.
    for (float scale : {10.0f, 1000.0f, 1e6f}) {
        for (int block = 0; block < 20; ++block) {
            for (int i = 0; i < n; ++i) {
                in[0][i] = scale * signal.left[i];
                in[1][i] = -scale * signal.right[i];
            }
            plugin->processReplacing(in.data(), out.data(), n);
            for (int i = 0; i < n; ++i)
                ASSERT_TRUE(std::isfinite(out[0][i]) && std::isfinite(out[1][i])) << scale << " " << i;
        }
    }
}

TEST(PannerRobustness, AbsurdHostTimeIsNoTime) {
    Transport bad;
    bad.tempo = std::nan("");
    auto plugin = loadPanner(bad);
    ASSERT_TRUE(plugin);
    model::Panner reference(44100.0f, std::nullopt);
    moveEverything(*plugin, reference);
    // NaN or negative tempo counts as no host tempo; a NaN position as no position.
    auto time = [](int call) -> std::optional<model::Time> {
        (void)call;
        return std::nullopt;
    };
    int call = 0;
    for (double tempo : {std::nan(""), -120.0, 0.0, static_cast<double>(INFINITY)}) {
        Transport t;
        t.tempo = tempo;
        t.ppqPos = std::nan("");
        plugin->setTransport(t);
        const int n = 256;
        Signal signal(n);
        AudioBuffers in(2, n), out(2, n);
        std::copy(signal.left.begin(), signal.left.end(), in[0].begin());
        std::copy(signal.right.begin(), signal.right.end(), in[1].begin());
        plugin->processReplacing(in.data(), out.data(), n);
        std::vector<float> l(n), r(n);
        reference.process(in[0].data(), in[1].data(), l.data(), r.data(), n, time(call++));
        for (int i = 0; i < n; ++i) ASSERT_EQ(out[0][i], l[i]) << tempo << " " << i;
    }
    Transport t;
    t.tempo = 100.0;
    t.ppqPos = INFINITY;
    plugin->setTransport(t);
    const int n = 256;
    AudioBuffers in(2, n, 0.5f), out(2, n);
    plugin->processReplacing(in.data(), out.data(), n);
    std::vector<float> l(n), r(n);
    reference.process(in[0].data(), in[1].data(), l.data(), r.data(), n, model::Time{100.0, std::nullopt});
    for (int i = 0; i < n; ++i) ASSERT_EQ(out[0][i], l[i]) << i;
}
