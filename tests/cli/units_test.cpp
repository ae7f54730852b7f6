// The command-line host's parts called directly: the render loop with the test effect
// reporting what it saw, the parameter and program lookups, the output format choice,
// the demo synthesiser and the table printer.
#include <gtest/gtest.h>

#include <cmath>

#include "cli_support.h"
#include "host/effectshell.h"
#include "tests/testeffect/testeffect.h"
#include "tools/orvex/arguments.h"
#include "tools/orvex/audiofile.h"
#include "tools/orvex/vsttarget.h"
#include "tools/orvex/demo.h"
#include "tools/orvex/render.h"
#include "tools/orvex/table.h"

namespace orvex::clitest {
namespace {

using cli::RenderSettings;

// A sink that remembers the length of every block it was handed.
class BlockRecorder : public cli::AudioSink {
public:
    void write(const float* const* source, int channels, int frames) override {
        blocks.push_back(frames);
        memory.write(source, channels, frames);
    }
    std::vector<int> blocks;
    cli::MemorySink memory;
};

// A source that does not say how long it is, like a stream.
class UnsizedSource : public cli::MemorySource {
public:
    using MemorySource::MemorySource;
    int64_t frames() const override { return -1; }
};

std::unique_ptr<vsthost::Plugin> loadTestEffect(const RenderSettings& settings) {
    return cli::loadPlugin(testEffectPath(),
                           cli::hostOptions(settings.sampleRate, settings.blockSize, settings.tempo));
}

VstIntPtr probe(vsthost::Plugin& plugin, TestProbe what) { return plugin.dispatch(effVendorSpecific, what); }

TEST(RenderLoop, BlocksEndAtEveryEventAndNeverExceedTheBlockSize) {
    RenderSettings settings;
    settings.sampleRate = 1000.0f;
    settings.blockSize = 100;
    settings.events = {{151, {0x90, 64, 100}}, {150, {0xB0, 20, 127}}, {150, {0xB0, 22, 127}}};
    auto plugin = loadTestEffect(settings);
    cli::MemorySource source(noise(2, 400, 31));
    BlockRecorder sink;
    const cli::RenderResult result = cli::render(*plugin, source, sink, settings);
    EXPECT_EQ(sink.blocks, (std::vector<int>{100, 50, 1, 100, 100, 49}));
    EXPECT_EQ(result.frames, 400);
    EXPECT_EQ(result.eventsSent, 3);
    EXPECT_EQ(result.eventsPastEnd, 0);
    EXPECT_EQ(probe(*plugin, kProbeLastNote), 64);
    EXPECT_EQ(probe(*plugin, kProbeLargestChunk), 100);
    EXPECT_EQ(plugin->getParameter(2), 1.0f);  // Invert through controller 22
}

TEST(RenderLoop, EventsAtOrAfterTheEndAreNotSent) {
    RenderSettings settings;
    settings.sampleRate = 1000.0f;
    settings.events = {{99, {0x90, 60, 100}}, {100, {0x90, 61, 100}}, {5000, {0x90, 62, 100}}};
    auto plugin = loadTestEffect(settings);
    cli::MemorySource source(noise(2, 100, 32));
    cli::MemorySink sink;
    const cli::RenderResult result = cli::render(*plugin, source, sink, settings);
    EXPECT_EQ(result.eventsSent, 1);
    EXPECT_EQ(result.eventsPastEnd, 2);
    EXPECT_EQ(probe(*plugin, kProbeLastNote), 60);
}

TEST(RenderLoop, TransportReportsTheTempoAndASongPositionThatFollowsTheSamples) {
    RenderSettings settings;
    settings.sampleRate = 48000.0f;
    settings.blockSize = 333;
    settings.tempo = 97.0;
    auto plugin = loadTestEffect(settings);
    cli::MemorySource source(noise(2, 48000, 33));
    cli::MemorySink sink;
    cli::render(*plugin, source, sink, settings);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 97000);
    // The last block starts at 144 × 333 = 47952: 47952 / 48000 s at 97 BPM.
    const double ppq = 47952.0 / 48000.0 * 97.0 / 60.0;
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), static_cast<VstIntPtr>(static_cast<float>(ppq) * 1000.0f));
    EXPECT_EQ(probe(*plugin, kProbeLargestChunk), 333);
}

TEST(RenderLoop, WithoutTransportThePluginHearsNoHostTime) {
    RenderSettings settings;
    settings.tempo.reset();
    auto plugin = loadTestEffect(settings);
    cli::MemorySource source(noise(2, 2000, 34));
    cli::MemorySink sink;
    cli::render(*plugin, source, sink, settings);
    EXPECT_NEAR(probe(*plugin, kProbeAppliedTempo), 120000, 1);  // its own Bpm parameter
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), static_cast<VstIntPtr>(kNoSongPosition * 1000.0f));
    EXPECT_FALSE(plugin->transport().has_value());
}

TEST(RenderLoop, MonoFeedsBothInputsAndATailFollowsAnUnsizedSource) {
    RenderSettings settings;
    settings.sampleRate = 8000.0f;
    settings.blockSize = 64;
    settings.tailFrames = 300;
    auto plugin = loadTestEffect(settings);
    plugin->setParameter(0, 1.0f);  // × 2
    const Channels mono = noise(1, 1000, 35);
    UnsizedSource source(mono);
    BlockRecorder sink;
    int64_t lastDone = 0;
    int64_t lastTotal = 0;
    const cli::RenderResult result = cli::render(*plugin, source, sink, settings, [&](int64_t done, int64_t total) {
        lastDone = done;
        lastTotal = total;
    });
    EXPECT_EQ(result.inputFrames, 1000);
    EXPECT_EQ(result.frames, 1300);
    EXPECT_EQ(lastDone, 1300);
    EXPECT_EQ(lastTotal, 1300);
    const Channels& out = sink.memory.audio;
    ASSERT_EQ(out.size(), 2u);
    ASSERT_EQ(out[0].size(), 1300u);
    for (int c = 0; c < 2; ++c) {
        for (std::size_t i = 0; i < 1000; ++i) ASSERT_EQ(out[c][i], 2.0f * mono[0][i]);
        for (std::size_t i = 1000; i < 1300; ++i) ASSERT_EQ(out[c][i], 0.0f);
    }
    // Levels of what was written: the peak of twice the input.
    float peak = 0.0f;
    for (float x : mono[0]) peak = std::max(peak, std::fabs(2.0f * x));
    EXPECT_EQ(result.levels.peak, peak);
    EXPECT_EQ(result.levels.samples, 2600);
}

TEST(RenderLoop, RefusesMoreThanTwoChannels) {
    RenderSettings settings;
    auto plugin = loadTestEffect(settings);
    cli::MemorySource source(noise(3, 10, 36));
    cli::MemorySink sink;
    EXPECT_THROW(cli::render(*plugin, source, sink, settings), cli::Error);
    EXPECT_TRUE(sink.audio.empty());
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const cli::Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Lookups, ParametersByIndexByNameAndAmbiguousNames) {
    const std::vector<std::string> names = {"Level", "Pan", "Level", "Depth "};
    EXPECT_EQ(cli::findParameter(names, "1", "Fx"), 1);
    EXPECT_EQ(cli::findParameter(names, "Pan", "Fx"), 1);
    EXPECT_EQ(cli::findParameter(names, "pan", "Fx"), 1);
    EXPECT_EQ(cli::findParameter(names, "Depth", "Fx"), 3);  // padded names still match
    EXPECT_EQ(cli::findParameter(names, "2", "Fx"), 2);      // a shared name is reached by index
    const std::string ambiguous = errorOf([&] { cli::findParameter(names, "Level", "Fx"); });
    EXPECT_NE(ambiguous.find("parameter name 'Level' is ambiguous in Fx (indices 0, 2)"), std::string::npos)
        << ambiguous;
    EXPECT_NE(ambiguous.find("0  Level  (by index only)"), std::string::npos) << ambiguous;
    EXPECT_NE(ambiguous.find("1  Pan\n"), std::string::npos) << ambiguous;
    const std::string unknown = errorOf([&] { cli::findParameter(names, "Mix", "Fx"); });
    EXPECT_NE(unknown.find("unknown parameter 'Mix' for Fx"), std::string::npos) << unknown;
    EXPECT_NE(errorOf([&] { cli::findParameter(names, "-1", "Fx"); }).find("out of range"), std::string::npos);
}

TEST(Lookups, ProgramsByIndexShownNameOrStoredName) {
    using cli::ProgramName;
    const std::vector<ProgramName> names = {
        {"Basic 1", "Basic"}, {"Basic 2", "Basic"}, {"Wide", "Wide Stereo"}, {"Basic 4", std::nullopt}};
    EXPECT_EQ(cli::findProgram(names, "Basic 2", "Fx"), 1);
    EXPECT_EQ(cli::findProgram(names, "BASIC 4", "Fx"), 3);
    EXPECT_EQ(cli::findProgram(names, "Wide Stereo", "Fx"), 2);
    EXPECT_EQ(cli::findProgram(names, "0", "Fx"), 0);
    EXPECT_NE(errorOf([&] { cli::findProgram(names, "Basic", "Fx"); }).find("ambiguous"), std::string::npos);
    EXPECT_NE(errorOf([&] { cli::findProgram(names, "4", "Fx"); }).find("out of range"), std::string::npos);
    EXPECT_NE(errorOf([&] { cli::findProgram({}, "0", "Fx"); }).find("Fx has no programs"), std::string::npos);
}

TEST(Lookups, ProgramNamesOfTheTestEffectAndTheCurrentProgramKept) {
    auto plugin = loadTestEffect(RenderSettings{});
    plugin->setProgram(2);
    const auto names = cli::programNames(*plugin);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0].shown, "Basic 1");
    EXPECT_EQ(names[3].shown, "Basic 4");
    EXPECT_EQ(names[3].stored, "Basic");
    EXPECT_EQ(plugin->getProgram(), 2);
}

TEST(OutputFormat, FollowsOptionThenExtensionThenInput) {
    const int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    const int flac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    EXPECT_EQ(cli::chooseOutputFormat(floatWav, std::nullopt, "out.wav", 2, 48000), floatWav);
    EXPECT_EQ(cli::chooseOutputFormat(floatWav, std::nullopt, "out", 2, 48000), floatWav);
    // FLAC holds no floats: its usual 24 bits.
    EXPECT_EQ(cli::chooseOutputFormat(floatWav, std::nullopt, "out.FLAC", 2, 48000), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(cli::chooseOutputFormat(flac16, std::nullopt, "out.aif", 1, 44100), SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    EXPECT_EQ(cli::chooseOutputFormat(flac16, std::string("ogg"), "out.wav", 2, 44100), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(cli::chooseOutputFormat(flac16, std::string("WAV:24"), "x", 2, 44100), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_THROW(cli::chooseOutputFormat(flac16, std::string("mp3"), "x", 2, 44100), cli::Error);
    EXPECT_THROW(cli::chooseOutputFormat(flac16, std::string("flac:float"), "x", 2, 44100), cli::Error);
}

TEST(DemoLoop, TwoBarsOfStereoPeakingAtMinusSixDecibels) {
    const auto loop = cli::synthesiseLoop(44100.0, 120.0);
    ASSERT_EQ(loop.size(), 2u);
    EXPECT_EQ(loop[0].size(), 176400u);  // 8 beats of 0.5 s
    float peak = 0.0f;
    for (const auto& channel : loop)
        for (float x : channel) {
            ASSERT_TRUE(std::isfinite(x));
            peak = std::max(peak, std::fabs(x));
        }
    EXPECT_NEAR(peak, 0.5f, 1e-6f);
    EXPECT_NE(loop[0], loop[1]);  // stereo, not two copies
    EXPECT_EQ(loop, cli::synthesiseLoop(44100.0, 120.0));  // the same every time
    // The kick on the first beat: the opening 10 ms carry energy, the loop is no silence.
    double energy = 0.0;
    for (int i = 0; i < 441; ++i) energy += loop[0][i] * loop[0][i];
    EXPECT_GT(energy, 1.0);
    EXPECT_EQ(cli::synthesiseLoop(48000.0, 90.0)[0].size(), 256000u);  // 8 beats of 2/3 s
}

TEST(TablePrinter, ColumnsAsWideAsTheirWidestCellNumbersRight) {
    cli::Table table({{"Name"}, {"dB", cli::Table::Align::right}});
    table.add({"Orvex Space", "-6.0"});
    table.add({"Fx", "-12.5"});
    EXPECT_EQ(table.text(),
              "Name            dB\n"
              "-----------  -----\n"
              "Orvex Space   -6.0\n"
              "Fx           -12.5\n");
    EXPECT_EQ(cli::Table::width("Déjà"), 4u);
}

}  // namespace
}  // namespace orvex::clitest
