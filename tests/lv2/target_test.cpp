// An LV2 plug-in opened by its URI for the command-line host's commands (Lv2Target):
// its control ports read as parameters in their units, ranges and kinds, the
// normalised values mapped onto them, its presets as programs, and its render through
// the command-line host's render loop against the VST 2.x bundle's.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/orvex/arguments.h"
#include "tools/orvex/vsttarget.h"
#include "tools/orvex/lv2target.h"
#include "tools/orvex/render.h"

namespace {

using orvex::cli::Lv2Target;
using Kind = orvex::cli::ParameterDescription::Kind;

int indexOf(Lv2Target& target, const std::string& name) {
    for (int i = 0; i < target.parameterCount(); ++i)
        if (target.describe(i).name == name) return i;
    ADD_FAILURE() << "no parameter " << name;
    return 0;
}

// The panner's ports: a logarithmic frequency in Hz, a division among nine named
// entries, a solo switch and a mix in per cent, each mapped both ways as its
// description says.
TEST(Lv2Target, ReadsThePortsAsParameters) {
    Lv2Target panner("urn:harmoxel:orvex:panner", {});
    EXPECT_EQ(panner.name(), "Orvex Space");
    EXPECT_EQ(panner.vendor(), "Harmoxel");
    EXPECT_EQ(panner.format(), "LV2");
    EXPECT_EQ(panner.identity(), "urn:harmoxel:orvex:panner");
    EXPECT_EQ(panner.parameterCount(), 20);

    const int lowFreq = indexOf(panner, "LowFreq");
    const auto freq = panner.describe(lowFreq);
    EXPECT_EQ(freq.unit, "Hz");
    EXPECT_EQ(freq.kind, Kind::logarithmic);
    EXPECT_EQ(freq.minimum, 50.0);
    EXPECT_EQ(freq.maximum, 20000.0);
    panner.setValue(lowFreq, 0.5f);  // the middle of 50..20000 Hz on a logarithmic scale
    EXPECT_EQ(panner.display(lowFreq), "1000 Hz");
    EXPECT_NEAR(*panner.unitOfValue(lowFreq, 0.5f), 1000.0, 1e-3);
    EXPECT_NEAR(*panner.valueOfUnit(lowFreq, 250.0), std::log(5.0) / std::log(400.0), 1e-6);

    const int division = indexOf(panner, "LowDiv");
    const auto entries = panner.describe(division);
    EXPECT_EQ(entries.kind, Kind::choice);
    ASSERT_EQ(entries.entries.size(), 9u);
    EXPECT_EQ(entries.entries.front(), "4 bars");
    EXPECT_EQ(entries.entries.back(), "1/64 bar");
    EXPECT_EQ(entries.maximum, 8.0);
    EXPECT_FLOAT_EQ(*panner.valueOfUnit(division, 5), 5.0f / 8.0f);
    panner.setValue(division, 5.0f / 8.0f);
    EXPECT_EQ(panner.display(division), "1/8 bar");

    const int solo = indexOf(panner, "LowSolo");
    EXPECT_EQ(panner.describe(solo).kind, Kind::toggle);
    panner.setValue(solo, 0.49f);
    EXPECT_EQ(panner.value(solo), 0.0f);
    panner.setValue(solo, 0.5f);
    EXPECT_EQ(panner.value(solo), 1.0f);

    const int mix = indexOf(panner, "Mix");
    EXPECT_EQ(panner.describe(mix).unit, "%");
    EXPECT_EQ(panner.describe(mix).kind, Kind::continuous);
    panner.setValue(mix, 0.8f);
    EXPECT_EQ(panner.display(mix), "80 %");
    EXPECT_FLOAT_EQ(*panner.valueOfUnit(mix, 80.0), 0.8f);
}

// The phaser's presets are its programs, in the order of their URIs; one selected sets
// the ports it lists.
TEST(Lv2Target, PresetsAreItsPrograms) {
    Lv2Target phaser("urn:harmoxel:orvex:phaser", {});
    const auto programs = phaser.programs();
    ASSERT_EQ(programs.size(), 8u);
    EXPECT_EQ(programs[0].shown, "Basic");
    EXPECT_EQ(programs[1].shown, "Extreme");
    EXPECT_EQ(programs[7].stored, "urn:harmoxel:orvex:phaser:preset:7");
    EXPECT_EQ(phaser.currentProgram(), std::nullopt);
    std::vector<float> basic, extreme;
    phaser.selectProgram(0);
    for (int i = 0; i < phaser.parameterCount(); ++i) basic.push_back(phaser.value(i));
    phaser.selectProgram(1);
    for (int i = 0; i < phaser.parameterCount(); ++i) extreme.push_back(phaser.value(i));
    EXPECT_EQ(phaser.currentProgram(), 1);
    EXPECT_NE(basic, extreme);
}

// The panner by its URI through the render loop, a playing transport at 128 BPM and its
// LFO depths raised by controllers: the samples of the VST 2.x bundle's render.
TEST(Lv2Target, RendersAsTheVstBundle) {
    constexpr int kFrames = 3 * 44100;
    std::vector<float> in(kFrames);
    for (int i = 0; i < kFrames; ++i) in[i] = 0.5f * std::sin(0.01f * i) + 0.25f * std::sin(0.37f * i);
    orvex::cli::RenderSettings settings;
    settings.tempo = 128.0;
    for (uint8_t controller : {53, 58, 63, 69}) settings.events.push_back({0, {0xB0, controller, 127}});
    settings.events.push_back({70000, {0x90, 60, 100}});
    Lv2Target lv2("urn:harmoxel:orvex:panner", {44100.0f, 512, 128.0});
    orvex::cli::MemorySource lv2Source({in, in});
    orvex::cli::MemorySink lv2Sink;
    orvex::cli::render(lv2, lv2Source, lv2Sink, settings);
    auto vst = orvex::cli::loadPlugin(ORVEX_VST_DIR "/panner.vst/Contents/x86_64-linux/panner.so",
                                      orvex::cli::hostOptions(44100.0f, 512, 128.0));
    orvex::cli::MemorySource vstSource({in, in});
    orvex::cli::MemorySink vstSink;
    orvex::cli::render(*vst, vstSource, vstSink, settings);
    ASSERT_EQ(lv2Sink.audio.size(), 2u);
    EXPECT_EQ(lv2Sink.audio, vstSink.audio);
}

// An unknown URI names where it was looked for and how to list what is there.
TEST(Lv2Target, AnUnknownUriSaysWhereToLook) {
    try {
        Lv2Target nothing("urn:harmoxel:orvex:nothing", {});
        FAIL() << "opened";
    } catch (const orvex::cli::Error& e) {
        EXPECT_NE(std::string(e.what()).find("'orvex list' shows the URIs found"), std::string::npos) << e.what();
    }
}

}  // namespace
