// What the four bundles share, asked of each through the test host as a DAW would: the
// record, names and capabilities a host reads before anything else, and what becomes of
// a sample that is not finite. One table, one row per plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dsp/component.h"
#include "reference/bundle.h"
#include "tools/vsthost/vsthost.h"

namespace {

using orvex::vsthost::AudioBuffers;

struct Bundle {
    const char* name;  // of the bundle in the build
    VstInt32 uniqueId;
    int numParams;
    int numPrograms;
    const char* effectName;
    const char* product;
    VstIntPtr timeMaskPerBlock;  // what each block asks of the host's time; 0: it asks nothing
};

const Bundle kBundles[] = {
    {"panner", fourCharCode('H', 'a', 'O', 's'), 20, 16, "Orvex Space", "Brindlewick",
     kVstTransportChanged | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid},
    {"distortion", fourCharCode('H', 'a', 'O', 'o'), 19, 16, "Orvex Force", "Kelvashorn", 0},
    {"filter", fourCharCode('H', 'a', 'O', 'f'), 13, 1, "Orvex Filter", "Quillmursh Tovey",
     kVstTempoValid | kVstPpqPosValid},
    {"phaser", fourCharCode('H', 'a', 'O', 'p'), 9, 8, "Orvex Phase", "Brambleton oske", 0},
};

class EveryBundle : public testing::TestWithParam<Bundle> {};

TEST_P(EveryBundle, RecordNamesPinsAndCapabilities) {
    const Bundle& b = GetParam();
    auto plugin = reference::loadBundle(b.name, {});
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->magic(), kEffectMagic);
    EXPECT_EQ(plugin->uniqueId(), b.uniqueId);
    EXPECT_EQ(plugin->numParams(), b.numParams);
    EXPECT_EQ(plugin->numPrograms(), b.numPrograms);
    EXPECT_EQ(plugin->numInputs(), 2);
    EXPECT_EQ(plugin->numOutputs(), 2);
    EXPECT_EQ(plugin->flags(), effFlagsHasEditor | effFlagsCanReplacing | effFlagsCanMono);
    EXPECT_EQ(plugin->effectName(), b.effectName);
    EXPECT_EQ(plugin->vendorString(), "Harmoxel");
    EXPECT_EQ(plugin->productString(), b.product);
    EXPECT_EQ(plugin->vendorVersion(), 1000);
    EXPECT_EQ(plugin->plugCategory(), 1);
    const bool followsTempo = b.timeMaskPerBlock != 0;
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "plugAsChannelInsert", "plugAsSend", "2in2out"})
        EXPECT_EQ(plugin->canDo(yes), 1) << yes;
    EXPECT_EQ(plugin->canDo("receiveVstTimeInfo"), followsTempo ? 1 : -1);
    for (const char* no : {"ReceiveVstTimeInfo", "sendVstMidiEvent", "1in1out", "bypass", ""})
        EXPECT_EQ(plugin->canDo(no), -1) << no;
    EXPECT_EQ(plugin->canDo(nullptr), -1);
    const char* pins[2][2][2] = {{{"Left input", "L in"}, {"Right input", "R in"}},
                                 {{"Left output", "L out"}, {"Right output", "R out"}}};
    for (int dir = 0; dir < 2; ++dir)
        for (int pin = 0; pin < 3; ++pin) {
            VstPinProperties properties{};
            const auto got = plugin->dispatch(dir ? effGetOutputProperties : effGetInputProperties, pin, 0, &properties);
            EXPECT_EQ(got, pin < 2 ? 1 : 0);
            if (pin == 2) continue;
            EXPECT_STREQ(properties.label, pins[dir][pin][0]);
            EXPECT_STREQ(properties.shortLabel, pins[dir][pin][1]);
            EXPECT_EQ(properties.flags, kVstPinIsActive | kVstPinIsStereo);
        }
    // A plug-in that follows the tempo asks for it once while being built and then with
    // every block; the others never ask. Every one wants MIDI on resume.
    const auto& masks = plugin->record().timeMasks;
    if (followsTempo) {
        ASSERT_FALSE(masks.empty());
        EXPECT_EQ(masks.front(), kVstTempoValid);
    }
    AudioBuffers in(2, 64), out(2, 64);
    plugin->processReplacing(in.data(), out.data(), 64);
    if (followsTempo)
        EXPECT_EQ(masks.back(), b.timeMaskPerBlock);
    else
        EXPECT_TRUE(masks.empty());
    EXPECT_GE(plugin->record().wantMidi, 1);
}

// Where a unit's output stops being finite it puts out silence and starts again from
// rest, never the largest float: around a NaN or an infinity in the input, every frame
// whose input is finite comes out finite and at a sane level, and so does the next block.
TEST_P(EveryBundle, NonFiniteInputBecomesSilenceNotAFullScaleSpike) {
    auto plugin = reference::loadBundle(GetParam().name, {});
    ASSERT_TRUE(plugin);
    AudioBuffers in(2, 512), out(2, 512);
    const auto sane = [&](int i) {
        return std::isfinite(out[0][i]) && std::isfinite(out[1][i]) && std::fabs(out[0][i]) < 16.0f &&
               std::fabs(out[1][i]) < 16.0f;
    };
    for (int block = 0; block < 2; ++block) {
        for (int i = 0; i < 512; ++i) in[0][i] = in[1][i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
        if (block == 0) in[0][100] = NAN, in[1][200] = INFINITY, in[0][300] = -INFINITY, in[1][300] = INFINITY;
        plugin->processReplacing(in.data(), out.data(), 512);
        for (int i = 0; i < 512; ++i) {
            if (std::isfinite(in[0][i]) && std::isfinite(in[1][i])) {
                EXPECT_TRUE(sane(i)) << "block " << block << ", frame " << i << ": " << out[0][i] << " " << out[1][i];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Orvex, EveryBundle, testing::ValuesIn(kBundles),
                         [](const testing::TestParamInfo<Bundle>& info) { return std::string(info.param.name); });

}  // namespace
