// The phaser bundle through the binary interface, loaded by our own test host as a
// DAW would: identity, texts, programs and the link's writes into them, controllers,
// and the whole chain against the step-by-step model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "reference/bundle.h"
#include "reference/phaser_model.h"

using orvex::vsthost::AudioBuffers;
using orvex::vsthost::HostOptions;
using orvex::vsthost::MidiMessage;
using orvex::vsthost::Plugin;
using orvex::vsthost::Transport;

namespace {

std::unique_ptr<Plugin> loadPhaser(float rate = 44100.0f, int block = 512) {
    HostOptions options;
    options.sampleRate = rate;
    options.blockSize = block;
    return reference::loadBundle("phaser", options);
}

// Two different channels: sines, noise and clicks.
AudioBuffers signal(int n, int seed) {
    AudioBuffers in(2, n);
    uint32_t s = 777u + static_cast<uint32_t>(seed);
    for (int i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        const float noise = static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
        in[0][i] = 0.5f * std::sin(0.013f * i) + 0.2f * noise + (i % 701 == 0 ? 0.8f : 0.0f);
        in[1][i] = 0.4f * std::sin(0.31f * i + 1.0f) - 0.2f * noise;
    }
    return in;
}

// Plays `blocks` calls of `n` through the plug-in and the model and compares them.
void expectMatchesModel(Plugin& plugin, phaser_model::Phaser& model, int blocks, int n, bool accumulate) {
    for (int b = 0; b < blocks; ++b) {
        AudioBuffers in = signal(n, b);
        AudioBuffers out(2, n, 0.125f);
        AudioBuffers expected = out;
        if (accumulate)
            plugin.process(in.data(), out.data(), n);
        else
            plugin.processReplacing(in.data(), out.data(), n);
        model.process(in[0].data(), in[1].data(), expected[0].data(), expected[1].data(), n, accumulate);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < n; ++i) ASSERT_EQ(out[c][i], expected[c][i]) << "block " << b << " ch " << c << " " << i;
    }
}

}  // namespace

TEST(PhaserParameters, NamesLabelsAndDisplays) {
    auto plugin = loadPhaser();
    ASSERT_TRUE(plugin);
    const char* names[] = {"Mod Rate", "Mod Depth", "FeedBack", "Mod Rate", "Mod Depth", "FeedBack",
                           "Mix", "Stereo link", "Stereo width"};
    const char* labels[] = {"Hz", "% ", "% ", "Hz", "% ", "% ", "%", " ", "%"};
    const char* displays[] = {"1.000000", "20.00000", "20.00000", "1.000000", "20.00000", "20.00000",
                              "50.00000", "On", "50.00000"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(plugin->parameterName(i), names[i]);
        EXPECT_EQ(plugin->parameterLabel(i), labels[i]);
        EXPECT_EQ(plugin->parameterDisplay(i), displays[i]);
    }
    for (int bad : {9, -1}) {
        EXPECT_EQ(plugin->parameterName(bad), "");
        EXPECT_EQ(plugin->parameterDisplay(bad), "");
        EXPECT_EQ(plugin->getParameter(bad), 0.0f);
    }
    plugin->setParameter(7, 0.49f);
    EXPECT_EQ(plugin->parameterDisplay(7), "Off");
    plugin->setParameter(0, 1.0f);
    plugin->setParameter(4, 0.75f);
    plugin->setParameter(5, 1.0f);
    plugin->setParameter(6, 0.25f);
    plugin->setParameter(8, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(0), "20.00000");
    EXPECT_EQ(plugin->parameterDisplay(3), "1.000000");
    EXPECT_EQ(plugin->parameterDisplay(4), "75.00000");
    EXPECT_EQ(plugin->parameterDisplay(5), "100.0000");  // kept as set; the loop applies 0.99
    EXPECT_EQ(plugin->parameterDisplay(6), "25.00000");
    EXPECT_EQ(plugin->parameterDisplay(8), "0.000000");
}

TEST(PhaserPrograms, NamesAndFactoryValues) {
    auto plugin = loadPhaser();
    ASSERT_TRUE(plugin);
    const auto bank = phaser_model::factoryBank();
    EXPECT_EQ(plugin->programName(), "Basic 1");
    for (int p = 0; p < 8; ++p) {
        EXPECT_EQ(plugin->programNameIndexed(p), bank[p].name);
        // Link off (stored in the program left): this program's right channel loads as stored.
        if (p > 0) plugin->setParameter(7, 0.0f);
        plugin->setProgram(p);
        EXPECT_EQ(plugin->programName(), p ? bank[p].name : "Basic 1");
        for (int i = 0; i < 9; ++i) EXPECT_EQ(plugin->getParameter(i), bank[p].values[i]) << p << " " << i;
    }
    EXPECT_FALSE(plugin->programNameIndexed(8));
    plugin->setProgram(0);
    plugin->setProgramName("Sweepy");
    EXPECT_EQ(plugin->programName(), "Sweepy");
    EXPECT_EQ(plugin->programNameIndexed(0), "Sweepy");
}

TEST(PhaserPrograms, TheLinkWritesLeftValuesIntoTheStoredProgram) {
    auto plugin = loadPhaser();
    ASSERT_TRUE(plugin);
    // Selected while the link is off, "Extreme" keeps its own right rate and turns the
    // link on; selected again it copies its left values over the right ones, in storage.
    plugin->setParameter(7, 0.0f);
    plugin->setProgram(1);
    EXPECT_EQ(plugin->getParameter(3), 0.65f);
    EXPECT_EQ(plugin->parameterDisplay(7), "On");
    plugin->setProgram(1);
    EXPECT_EQ(plugin->getParameter(0), 0.2f);
    EXPECT_EQ(plugin->getParameter(3), 0.2f);
    plugin->setProgram(0);
    plugin->setParameter(7, 0.0f);
    plugin->setProgram(1);
    EXPECT_EQ(plugin->getParameter(3), 0.2f);

    // With the link on a left value goes right, into the program; a right value stays right.
    plugin->setParameter(1, 0.9f);
    EXPECT_EQ(plugin->getParameter(4), 0.9f);
    EXPECT_EQ(plugin->parameterDisplay(4), "90.00000");
    plugin->setParameter(5, 0.4f);
    EXPECT_EQ(plugin->getParameter(2), 0.85f);
    plugin->setParameter(7, 0.0f);  // stored in "Extreme" too
    plugin->setParameter(2, 0.1f);
    EXPECT_EQ(plugin->getParameter(5), 0.4f);
    plugin->setProgram(2);  // its link turns on: loading "Extreme" copies left over right
    plugin->setProgram(1);
    const float stored[9] = {0.2f, 0.9f, 0.1f, 0.2f, 0.9f, 0.1f, 1, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(plugin->getParameter(i), stored[i]) << i;

    // A session saved with the link off comes back as saved when restored in index order.
    const float saved[9] = {0.3f, 0.4f, 0.5f, 0.9f, 0.8f, 0.7f, 0.6f, 0.0f, 0.2f};
    auto fresh = loadPhaser();
    for (int i = 0; i < 9; ++i) fresh->setParameter(i, saved[i]);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(fresh->getParameter(i), saved[i]) << i;
}

TEST(PhaserMidi, ControllersFiftyToFiftyEight) {
    auto plugin = loadPhaser();
    ASSERT_TRUE(plugin);
    plugin->setParameter(7, 0.0f);
    const int parameterOf[9] = {0, 3, 1, 4, 2, 5, 6, 8, 7};  // controllers 50..58
    for (int cc = 50; cc <= 58; ++cc) {
        const uint8_t value = static_cast<uint8_t>(cc == 58 ? 20 : cc);
        plugin->sendMidi({MidiMessage{static_cast<uint8_t>(0xB0 | (cc % 16)), static_cast<uint8_t>(cc), value}});
        EXPECT_EQ(plugin->getParameter(parameterOf[cc - 50]), value * 0.007874016f) << cc;
    }
    plugin->sendMidi({MidiMessage{0xB0, 57, 127}, MidiMessage{0xB0, 59, 0}, MidiMessage{0xB0, 49, 0},
                      MidiMessage{0x90, 50, 100}, MidiMessage{0xE0, 50, 0}});
    EXPECT_EQ(plugin->getParameter(8), 1.0f);
    EXPECT_EQ(plugin->getParameter(0), 50 * 0.007874016f);
    EXPECT_EQ(plugin->parameterDisplay(7), "Off");
    EXPECT_TRUE(plugin->record().events.empty());
}

// Every program, selected with the link on and off, at widths 0, 0.5 and 1, through
// both entry points, sample for sample against the model.
TEST(PhaserChain, EveryProgramLinkWidthAndEntryPointMatchesTheModel) {
    for (int p = 0; p < 8; ++p)
        for (bool linked : {true, false})
            for (float width : {0.0f, 0.5f, 1.0f})
                for (bool accumulate : {false, true}) {
                    SCOPED_TRACE(::testing::Message() << "program " << p << " link " << linked << " width " << width
                                                      << " accumulate " << accumulate);
                    const float rate = accumulate ? 48000.0f : 44100.0f;
                    auto plugin = loadPhaser(rate, 256);
                    ASSERT_TRUE(plugin);
                    phaser_model::Phaser model(rate);
                    if (!linked) plugin->setParameter(7, 0.0f), model.set(7, 0.0f);
                    plugin->setProgram(p);
                    model.select(p);
                    plugin->setParameter(8, width);
                    model.set(8, width);
                    expectMatchesModel(*plugin, model, 6, 256, accumulate);
                }
}

TEST(PhaserChain, EdgesOfTheOutputStage) {
    auto plugin = loadPhaser();
    ASSERT_TRUE(plugin);
    phaser_model::Phaser model(44100.0f);
    plugin->setProgram(3);
    model.select(3);
    // A block of nothing writes nothing and leaves the state alone.
    AudioBuffers in = signal(64, 0), out(2, 64, 3.0f);
    plugin->processReplacing(in.data(), out.data(), 0);
    EXPECT_EQ(out[0][0], 3.0f);
    // Width 0: both outputs carry the sum; mix 0: the input itself (plus 1e-20).
    plugin->setParameter(8, 0.0f);
    plugin->setParameter(6, 0.0f);
    const AudioBuffers before = in;
    plugin->processReplacing(in.data(), out.data(), 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(out[0][i], (in[1][i] + 1e-20f) + (in[0][i] + 1e-20f));
        EXPECT_EQ(out[1][i], out[0][i]);
    }
    EXPECT_EQ(in[0], before[0]);  // the host's input stays as it was
    AudioBuffers ignored(2, 64);
    model.set(8, 0.0f);
    model.set(6, 0.0f);
    model.process(before[0].data(), before[1].data(), ignored[0].data(), ignored[1].data(), 64, false);
    // A new sample rate keeps the sweeps in hertz; calls longer than the announced
    // block, in place.
    plugin->suspend();
    plugin->setSampleRate(96000.0f);
    plugin->resume();
    model.setSampleRate(96000.0f);
    for (auto [index, value] : {std::pair{0, 0.8f}, {6, 0.7f}, {8, 0.3f}}) plugin->setParameter(index, value), model.set(index, value);
    AudioBuffers inPlace = signal(1500, 1), expected(2, 1500);
    model.process(inPlace[0].data(), inPlace[1].data(), expected[0].data(), expected[1].data(), 1500, false);
    plugin->processReplacing(inPlace.data(), inPlace.data(), 1500);
    EXPECT_EQ(inPlace[0], expected[0]);
    EXPECT_EQ(inPlace[1], expected[1]);
}

TEST(PhaserRobustness, FullFeedbackByControllerAndNonFiniteInput) {
    auto plugin = loadPhaser();
    ASSERT_TRUE(plugin);
    plugin->sendMidi({MidiMessage{0xB0, 54, 127}, MidiMessage{0xB0, 56, 127}, MidiMessage{0xB0, 52, 0}});
    EXPECT_EQ(plugin->getParameter(5), 1.0f);
    // A minute of full-scale input around a DC offset of 0.5, then a NaN and infinity.
    AudioBuffers in(2, 512, 0.0f), out(2, 512);
    float peak = 0;
    for (int b = 0; b < 60 * 44100 / 512; ++b) {
        for (int i = 0; i < 512; ++i) in[0][i] = in[1][i] = ((b * 512 + i) / 40) % 2 ? 1.0f : 0.0f;
        plugin->processReplacing(in.data(), out.data(), 512);
        for (int c = 0; c < 2; ++c)
            for (float y : out[c]) peak = std::max(peak, std::fabs(y));
    }
    EXPECT_LT(peak, 2 * 120.0f);  // both channels' bounded loops, summed by width 0.5
    in[0][10] = NAN;
    in[1][20] = INFINITY;
    plugin->processReplacing(in.data(), out.data(), 512);
    for (int i = 21; i < 512; ++i) ASSERT_TRUE(std::isfinite(out[0][i]) && std::isfinite(out[1][i])) << i;
}

// The sweeps run freely from the moment the instance is made: whatever the host's
// transport does, the phaser never asks for the time, and a transport starting to
// play under a signal neither clicks nor changes a sample.
TEST(PhaserTransport, TheSweepsRunFreelyWhateverTheTransportDoes) {
    auto heard = [&](bool withTransport) {
        auto plugin = loadPhaser();
        Transport transport;
        transport.samplePos = 441000;
        if (withTransport) plugin->setTransport(transport);
        std::vector<float> result;
        AudioBuffers out(2, 512);
        for (int b = 0; b < 40; ++b) {
            if (withTransport && b == 20) {
                transport.flags |= kVstTransportPlaying | kVstTransportChanged;
                transport.advance = true;
                plugin->setTransport(transport);
            }
            AudioBuffers in = signal(512, b);
            plugin->processReplacing(in.data(), out.data(), 512);
            result.insert(result.end(), out[0].begin(), out[0].end());
        }
        EXPECT_TRUE(plugin->record().timeMasks.empty()) << "asked for the time";
        return result;
    };
    const std::vector<float> free = heard(false);
    const std::vector<float> played = heard(true);
    ASSERT_EQ(played.size(), free.size());
    for (std::size_t i = 0; i < free.size(); ++i) ASSERT_EQ(played[i], free[i]) << i;
}
