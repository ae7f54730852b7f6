// The filter bundle through the binary interface, loaded by our own host as a DAW
// would: identity, parameter texts, the program, MIDI, and the whole chain against the
// independent step-by-step model, with bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dsp/component.h"
#include "reference/bundle.h"
#include "reference/filter_model.h"
#include "tools/vsthost/vsthost.h"

using orvex::vsthost::AudioBuffers;
using orvex::vsthost::HostOptions;
using orvex::vsthost::MidiMessage;
using orvex::vsthost::Plugin;
using orvex::vsthost::Transport;
using reference::floatText;
using TimeFor = std::function<std::optional<model::Time>(int)>;

namespace {

std::unique_ptr<Plugin> loadFilter(std::optional<Transport> transport = std::nullopt, float rate = 44100.0f,
                                   int block = 512) {
    HostOptions options;
    options.transport = transport;
    options.sampleRate = rate;
    options.blockSize = block;
    return reference::loadBundle("filter", options);
}

// Two sines, a slow chirp, noise and clicks, different in the two channels.
void fillSignal(AudioBuffers& in, int start, float scale = 1.0f) {
    for (int i = 0; i < in.numFrames(); ++i) {
        const float t = static_cast<float>(start + i);
        uint32_t seed = static_cast<uint32_t>(start + i) * 2654435761u;
        const float noise = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        in[0][i] = scale * (0.5f * std::sin(t * 0.0142f) + 0.2f * std::sin(t * 0.61f) + 0.1f * noise +
                            ((start + i) % 997 == 0 ? 0.9f : 0.0f));
        in[1][i] = scale * (0.4f * std::sin(t * 0.0297f + 1.0f) + 0.25f * std::sin(t * t * 1e-6f) - 0.1f * noise);
    }
}

// `total` samples through plug-in and model in calls of `callSize`; the model sees a
// call longer than the plug-in's buffers in the pieces the plug-in processes.
void expectMatchesModel(Plugin& plugin, model::Filter& reference, int total, int callSize, const TimeFor& time,
                        int bufferSize = 512) {
    for (int start = 0, call = 0; start < total; start += callSize, ++call) {
        const int n = std::min(callSize, total - start);
        const std::optional<model::Time> t = time(call);
        reference::reportTime(plugin, t ? std::optional<double>(t->tempo) : std::nullopt, t ? t->ppq : std::nullopt);
        AudioBuffers in(2, n), out(2, n, 7.0f), expect(2, n);
        fillSignal(in, start);
        plugin.processReplacing(in.data(), out.data(), n);
        for (int piece = 0; piece < n; piece += bufferSize)
            reference.process(in[0].data() + piece, in[1].data() + piece, expect[0].data() + piece,
                              expect[1].data() + piece, std::min(bufferSize, n - piece), t);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < n; ++i) ASSERT_EQ(out[c][i], expect[c][i]) << "call " << call << " ch " << c << " i " << i;
    }
}

void set(Plugin& plugin, model::Filter& reference, int index, float value) {
    plugin.setParameter(index, value);
    reference.set(index, value);
}

// Deep sweeps of both CVs at a fast rate, loud enough to use the shaper; the waveform
// follows the response (sine with low-pass, saw up with band-pass ... triangle with peak).
void sweep(Plugin& plugin, model::Filter& reference, int type, bool fourPoles) {
    const std::pair<int, float> settings[] = {{0, 0.55f}, {1, 0.3f}, {2, 0.6f}, {5, 0.8f}, {7, 0.95f},
                                              {8, 0.2f}, {10, 0.8f}, {11, 0.9f}, {12, 0.2f}};
    for (auto [index, value] : settings) set(plugin, reference, index, value);
    set(plugin, reference, 3, type * 0.25f);
    set(plugin, reference, 6, type * 0.2f);
    set(plugin, reference, 9, fourPoles ? 0.5f : 0.51f);
}

const TimeFor kNoTime = [](int) { return std::optional<model::Time>(); };

}  // namespace

TEST(FilterParameters, NamesLabelsAndDisplays) {
    auto plugin = loadFilter();
    ASSERT_TRUE(plugin);
    const char* names[] = {"Cutoff", "Resonance", "Drive", "Type", "OnOff", "Division", "Type",
                           "Cutoff Mod", "Res Mod", "Pole", "Mix", "Bpm", "Multipler"};
    const char* labels[] = {"Hz", "% ", "%", "  ", "  ", "bars", " ", "%", "%", "  ", "%", " ", " "};
    const float values[] = {0.8f, 0, 0.2f, 0, 1, 0, 0, 0.5f, 0.5f, 1, 0.5f, 0.5f, 0};
    // Before any block the cutoff is the top of the range (0.49 x 44100 Hz).
    const char* displays[] = {"21609.00", "0.000000", "20.00000", "LowPass", "Active", "4", "sin",
                              "0.000000", "0.000000", "2", "50.00000", "150.0000", "1.000000"};
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(plugin->parameterName(i), names[i]) << i;
        EXPECT_EQ(plugin->parameterLabel(i), labels[i]) << i;
        EXPECT_EQ(plugin->parameterDisplay(i), displays[i]) << i;
        EXPECT_EQ(plugin->getParameter(i), values[i]) << i;
    }
    EXPECT_EQ(plugin->parameterName(13), "");
    EXPECT_EQ(plugin->getParameter(13), 0.0f);
    // After a block the filter shows the cutoff and resonance it computed (the floor).
    AudioBuffers in(2, 64), out(2, 64);
    plugin->processReplacing(in.data(), out.data(), 64);
    EXPECT_EQ(plugin->parameterDisplay(0), floatText(model::CutoffMap(44100.0f).map(0.8f)));
    EXPECT_EQ(plugin->parameterDisplay(1), "6.000000");

    // value x 4.99999 truncated: 0.2 still gives LowPass, 0.2001 BandPass.
    const std::pair<float, const char*> types[] = {{0.0f, "LowPass"}, {0.2f, "LowPass"}, {0.2001f, "BandPass"},
                                                   {0.5f, "HiPass"}, {0.75f, "Notch"}, {0.8f, "Notch"},
                                                   {0.8001f, "Peak"}, {1.0f, "Peak"}};
    for (auto [value, type] : types) {
        plugin->setParameter(3, value);
        EXPECT_EQ(plugin->parameterDisplay(3), type) << value;
    }
    const std::pair<int, std::pair<float, const char*>> changes[] = {
        {2, {1.0f, "100.0000"}}, {4, {0.49f, "InActive"}}, {5, {1.0f, "1/64"}}, {6, {1.0f, "harmoxel"}},
        {7, {1.0f, "100.0000"}}, {7, {0.0f, "-100.000"}}, {8, {0.75f, "50.00000"}}, {9, {0.5f, "4"}},
        {9, {0.51f, "2"}},       {10, {0.25f, "25.00000"}}, {11, {0.35f, "120.0000"}}, {12, {1.0f, "8.000000"}}};
    for (auto [index, change] : changes) {
        plugin->setParameter(index, change.first);
        EXPECT_EQ(plugin->parameterDisplay(index), change.second) << index << " " << change.first;
    }
}

TEST(FilterPrograms, OneBasicProgramKeepingMixAndBpmApart) {
    auto plugin = loadFilter();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->programName(), "Basic 1");
    EXPECT_EQ(plugin->programNameIndexed(0), "Basic");
    EXPECT_FALSE(plugin->programNameIndexed(1));
    // Mix (index 10) and Bpm (11) each come back from their own slot on a reload.
    plugin->setParameter(10, 0.3f);
    plugin->setParameter(11, 0.7f);
    plugin->setProgram(1);
    plugin->setProgram(0);
    EXPECT_EQ(plugin->getParameter(10), 0.3f);
    EXPECT_EQ(plugin->getParameter(11), 0.7f);
    EXPECT_EQ(plugin->parameterDisplay(10), "30.00000");
    EXPECT_EQ(plugin->parameterDisplay(11), floatText(50.0f + 0.7f * 200.0f));
    plugin->setProgramName("Sweep");
    EXPECT_EQ(plugin->programName(), "Sweep");
}

TEST(FilterMidi, ControllersFiftyToSixtyAndNoneForPoleAndBpm) {
    auto plugin = loadFilter();
    ASSERT_TRUE(plugin);
    const int parameterOf[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12};
    for (int k = 0; k < 11; ++k) {
        plugin->sendMidi({MidiMessage{static_cast<uint8_t>(0xB0 | k), static_cast<uint8_t>(50 + k), 127}});
        EXPECT_EQ(plugin->getParameter(parameterOf[k]), 127 * 0.007874016f) << 50 + k;
    }
    plugin->sendMidi({MidiMessage{0xB0, 59, 64}});
    EXPECT_EQ(plugin->getParameter(10), 64 * 0.007874016f);
    // Every other controller, and other messages, change nothing.
    std::vector<float> before;
    for (int i = 0; i < 13; ++i) before.push_back(plugin->getParameter(i));
    for (int c = 0; c < 128; ++c)
        if (c < 50 || c > 60) plugin->sendMidi({MidiMessage{0xB5, static_cast<uint8_t>(c), 3}});
    plugin->sendMidi({MidiMessage{0xE0, 50, 0}, MidiMessage{0xC0, 50, 0}, MidiMessage{0xA0, 50, 0}});
    for (int i = 0; i < 13; ++i) EXPECT_EQ(plugin->getParameter(i), before[i]) << i;
    EXPECT_TRUE(plugin->record().events.empty());  // no automation from MIDI
}

TEST(FilterMidi, AnyNoteOfAnyVelocityRestartsTheLfo) {
    for (auto [note, velocity] : {std::pair{60, 0}, {0, 127}, {127, 1}}) {
        auto plugin = loadFilter();
        ASSERT_TRUE(plugin);
        model::Filter reference(44100.0f, std::nullopt);
        sweep(*plugin, reference, 0, false);
        expectMatchesModel(*plugin, reference, 3000, 500, kNoTime);
        plugin->sendMidi({MidiMessage{static_cast<uint8_t>(0x90 | (note % 16)), static_cast<uint8_t>(note),
                                      static_cast<uint8_t>(velocity)}});
        reference.noteOn();
        expectMatchesModel(*plugin, reference, 3000, 500, kNoTime);
        plugin->sendMidi({MidiMessage{0x80, 60, 64}});  // a note-off restarts nothing
        expectMatchesModel(*plugin, reference, 1000, 500, kNoTime);
    }
}

// Two and four poles, every response, host tempo or none, calls of many lengths.
TEST(FilterChain, MatchesModelForEveryTypeAndPoleCountWithAndWithoutHostTempo) {
    const int callSizes[] = {1, 31, 64, 512, 1300};
    for (int fourPoles = 0; fourPoles < 2; ++fourPoles)
        for (int type = 0; type < 5; ++type)
            for (bool host : {false, true}) {
                const int callSize = callSizes[(type + fourPoles + host) % 5];
                SCOPED_TRACE(testing::Message() << "poles " << (fourPoles ? 4 : 2) << " type " << type << " host "
                                                << host << " calls of " << callSize);
                Transport start;
                start.tempo = 128.0;
                auto plugin = loadFilter(host ? std::optional(start) : std::nullopt, 48000.0f);
                ASSERT_TRUE(plugin);
                model::Filter reference(48000.0f, host ? std::optional(128.0) : std::nullopt);
                sweep(*plugin, reference, type, fourPoles);
                // Playing from bar 3 with a tempo change, standing, no position, then gone.
                const TimeFor time = [&](int call) -> std::optional<model::Time> {
                    if (!host) return std::nullopt;
                    const double seconds = static_cast<double>(call) * callSize / 48000.0;
                    if (seconds < 0.05) return model::Time{128.0, 8.0 + seconds * 128.0 / 60.0};
                    if (seconds < 0.1) return model::Time{96.5, 8.0 + seconds * 96.5 / 60.0};
                    if (seconds < 0.12) return model::Time{96.5, 8.5};
                    if (seconds < 0.14) return model::Time{96.5, std::nullopt};
                    return std::nullopt;
                };
                expectMatchesModel(*plugin, reference, 9600, callSize, time);
            }
}

TEST(FilterChain, BpmTurnsTheLfoWhileTheHostGivesNoTempoAndSwitchingPolesMidway) {
    auto plugin = loadFilter();
    ASSERT_TRUE(plugin);
    model::Filter reference(44100.0f, std::nullopt);
    sweep(*plugin, reference, 1, true);
    expectMatchesModel(*plugin, reference, 2000, 256, kNoTime);
    set(*plugin, reference, 11, 0.1f);
    set(*plugin, reference, 9, 1.0f);
    expectMatchesModel(*plugin, reference, 2000, 256, kNoTime);
    set(*plugin, reference, 9, 0.0f);  // the second stage resumes from its old state
    set(*plugin, reference, 4, 0.0f);  // and then both stages stand still
    expectMatchesModel(*plugin, reference, 1000, 256, kNoTime);
}

TEST(FilterChain, SampleRateChangeResumesAtOnceKeepingTheCutoffRange) {
    auto plugin = loadFilter();
    ASSERT_TRUE(plugin);
    model::Filter reference(96000.0f, std::nullopt);
    sweep(*plugin, reference, 2, true);
    plugin->setSampleRate(96000.0f);  // no resume of its own: the plug-in resumes
    expectMatchesModel(*plugin, reference, 4000, 512, kNoTime);
}

TEST(FilterChain, MixZeroIsTheDryInputAndProcessAdds) {
    auto plugin = loadFilter();
    ASSERT_TRUE(plugin);
    plugin->setParameter(10, 0.0f);
    AudioBuffers in(2, 256), out(2, 256, 0.25f);
    fillSignal(in, 0);
    plugin->process(in.data(), out.data(), 256);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 256; ++i) ASSERT_EQ(out[c][i], 0.25f + in[c][i]);
    plugin->processReplacing(in.data(), out.data(), 256);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 256; ++i) ASSERT_EQ(out[c][i], in[c][i]);
}

TEST(FilterRobustness, NonFiniteInputIsGoneByTheNextBlockAndLoudInputStaysFinite) {
    auto plugin = loadFilter();
    ASSERT_TRUE(plugin);
    // Full resonance, four poles, the shaper at both ends, all wet.
    for (auto [index, value] : {std::pair{1, 1.0f}, {9, 0.0f}, {10, 1.0f}, {7, 1.0f}, {5, 1.0f}}) plugin->setParameter(index, value);
    for (float drive : {0.0f, 1.0f}) {
        plugin->setParameter(2, drive);
        AudioBuffers in(2, 512), out(2, 512);
        for (int i = 0; i < 512; ++i) in[0][i] = in[1][i] = i % 7 == 0 ? NAN : (i % 11 == 0 ? -INFINITY : 0.3f);
        plugin->processReplacing(in.data(), out.data(), 512);
        for (float scale : {1.0f, 1e6f, 1e30f, 1e38f}) {  // the signal peaks at 1.7 x scale
            for (int block = 0; block < 8; ++block) {
                fillSignal(in, block * 512, scale);
                plugin->processReplacing(in.data(), out.data(), 512);
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < 512; ++i)
                        ASSERT_TRUE(std::isfinite(out[c][i])) << drive << " " << scale << " " << i;
            }
        }
    }
}

TEST(FilterRobustness, TempoThatIsNotPositiveAndFiniteIsNoTempo) {
    Transport bad;
    bad.tempo = std::nan("");
    auto plugin = loadFilter(bad);
    ASSERT_TRUE(plugin);
    model::Filter reference(44100.0f, std::nullopt);
    sweep(*plugin, reference, 0, true);
    int call = 0;
    const double tempos[] = {std::nan(""), -120.0, 0.0, HUGE_VAL, 1e300};
    // A NaN or infinite position counts as none.
    expectMatchesModel(*plugin, reference, 5 * 256, 256, [&](int) -> std::optional<model::Time> {
        const double tempo = tempos[call++ % 5];
        return model::Time{tempo, call % 2 ? std::optional(std::nan("")) : std::optional(HUGE_VAL)};
    });
}
