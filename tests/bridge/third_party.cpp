// Third-party VST 2.x plug-ins (Debian's dpf-plugins-vst) hosted by our test host:
// when their names, parameters and audio come through right, our record layouts,
// opcode numbers and calling conventions agree with the published interface.
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "bridge_support.h"

namespace orvex::bridgetest {
namespace {

constexpr const char* kVstFolder = "/usr/lib/vst/";

struct ThirdParty {
    const char* file;
    const char* effectName;
    const char* vendor;
    std::vector<std::string> parameters;
};

const ThirdParty kThreeBandEq{"3BandEQ-vst.so", "3 Band EQ", "DISTRHO",
                              {"Low", "Mid", "High", "Master", "Low-Mid Freq", "Mid-High Freq"}};
const ThirdParty kPingPongPan{"PingPongPan-vst.so", "Ping Pong Pan", "DISTRHO", {"Frequency", "Width"}};

bool installed(const ThirdParty& p) {
    struct stat info {};
    return ::stat((std::string(kVstFolder) + p.file).c_str(), &info) == 0;
}

#define SKIP_UNLESS_INSTALLED(p) \
    if (!installed(p)) GTEST_SKIP() << (p).file << " is not installed (package dpf-plugins-vst)"

std::unique_ptr<Plugin> loadThirdParty(const ThirdParty& p) {
    auto result = Plugin::load(std::string(kVstFolder) + p.file);
    EXPECT_TRUE(result) << result.error;
    return std::move(result.plugin);
}

// A 440 Hz sine at half scale on both inputs.
AudioBuffers sine(int frames, float rate) {
    AudioBuffers in(2, frames);
    for (int i = 0; i < frames; ++i) {
        const float s = 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 440.0 * i / rate));
        in[0][i] = s;
        in[1][i] = s;
    }
    return in;
}

double energy(const std::vector<float>& samples) {
    double sum = 0;
    for (float s : samples) sum += static_cast<double>(s) * s;
    return sum;
}

bool allFinite(const std::vector<float>& samples) {
    for (float s : samples)
        if (!std::isfinite(s)) return false;
    return true;
}

void checkIdentity(Plugin& plugin, const ThirdParty& expected) {
    EXPECT_EQ(plugin.magic(), kEffectMagic);
    EXPECT_EQ(plugin.numInputs(), 2);
    EXPECT_EQ(plugin.numOutputs(), 2);
    EXPECT_TRUE(plugin.flags() & effFlagsCanReplacing);
    EXPECT_EQ(plugin.effectName(), expected.effectName);
    EXPECT_EQ(plugin.vendorString(), expected.vendor);
    ASSERT_EQ(plugin.numParams(), static_cast<VstInt32>(expected.parameters.size()));
    for (VstInt32 i = 0; i < plugin.numParams(); ++i) EXPECT_EQ(plugin.parameterName(i), expected.parameters[i]);
    EXPECT_EQ(plugin.plugCategory(), kPlugCategEffect);
    EXPECT_GE(plugin.vstVersion(), 2300);
}

// Processes `blocks` blocks of the sine and returns the output energy per channel.
std::vector<double> processSine(Plugin& plugin, int blocks, int frames, float rate) {
    AudioBuffers in = sine(frames, rate);
    AudioBuffers out(2, frames, 123.0f);
    std::vector<double> e(2, 0.0);
    for (int b = 0; b < blocks; ++b) {
        plugin.processReplacing(in.data(), out.data(), frames);
        for (int c = 0; c < 2; ++c) {
            EXPECT_TRUE(allFinite(out[c])) << "block " << b << " channel " << c;
            e[c] += energy(out[c]);
        }
    }
    return e;
}

TEST(ThirdPartyPlugins, ThreeBandEqThroughTheInterface) {
    SKIP_UNLESS_INSTALLED(kThreeBandEq);
    auto plugin = loadThirdParty(kThreeBandEq);
    ASSERT_TRUE(plugin);
    checkIdentity(*plugin, kThreeBandEq);
    EXPECT_EQ(plugin->parameterLabel(0), "dB");
    EXPECT_EQ(plugin->parameterLabel(4), "Hz");
    plugin->start(48000.0f, 512);
    // It asks for the rate and block size through the callback.
    EXPECT_GT(plugin->record().calls[audioMasterGetSampleRate], 0);
    for (VstInt32 i = 0; i < plugin->numParams(); ++i) {
        EXPECT_FALSE(plugin->parameterDisplay(i).empty()) << i;
        const float v = plugin->getParameter(i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i << ": " << v;
    }
    // At its defaults (all gains 0 dB) the sine comes through at about its level.
    const int frames = 512, blocks = 8;
    const double input = energy(sine(frames, 48000.0f)[0]) * blocks;
    auto flat = processSine(*plugin, blocks, frames, 48000.0f);
    EXPECT_GT(flat[0], 0.8 * input);
    EXPECT_LT(flat[0], 1.2 * input);
    EXPECT_GT(flat[1], 0.8 * input);
    // A parameter set through the record is read back and heard: master all the way down.
    plugin->setParameter(3, 0.0f);
    EXPECT_EQ(plugin->getParameter(3), 0.0f);
    auto quiet = processSine(*plugin, blocks, frames, 48000.0f);
    EXPECT_GT(quiet[0], 0.0);
    EXPECT_LT(quiet[0], 0.1 * flat[0]);
    EXPECT_NE(plugin->parameterDisplay(3), "0.000000");
}

TEST(ThirdPartyPlugins, PingPongPanThroughTheInterface) {
    SKIP_UNLESS_INSTALLED(kPingPongPan);
    auto plugin = loadThirdParty(kPingPongPan);
    ASSERT_TRUE(plugin);
    checkIdentity(*plugin, kPingPongPan);
    EXPECT_EQ(plugin->parameterLabel(1), "%");
    plugin->start(44100.0f, 256);
    for (VstInt32 i = 0; i < plugin->numParams(); ++i) EXPECT_FALSE(plugin->parameterDisplay(i).empty()) << i;
    auto e = processSine(*plugin, 16, 256, 44100.0f);
    EXPECT_GT(e[0], 0.0);
    EXPECT_GT(e[1], 0.0);
}

TEST(ThirdPartyPlugins, SideBySideWithOurOwnInOneProcess) {
    SKIP_UNLESS_INSTALLED(kThreeBandEq);
    SKIP_UNLESS_INSTALLED(kPingPongPan);
    auto eq = loadThirdParty(kThreeBandEq);
    auto eq2 = loadThirdParty(kThreeBandEq);
    auto pan = loadThirdParty(kPingPongPan);
    auto ours = loadTestEffect();
    ASSERT_TRUE(eq && eq2 && pan && ours);
    for (Plugin* p : {eq.get(), eq2.get(), pan.get(), ours.get()}) p->start(48000.0f, 128);
    eq->setParameter(3, 0.0f);
    EXPECT_EQ(eq->getParameter(3), 0.0f);
    EXPECT_NE(eq2->getParameter(3), 0.0f);  // instances are separate
    for (Plugin* p : {eq.get(), eq2.get(), pan.get(), ours.get()}) {
        auto e = processSine(*p, 4, 128, 48000.0f);
        EXPECT_GT(e[0] + e[1], 0.0) << p->path();
    }
    EXPECT_EQ(ours->effectName(), "Orvex Test");
    EXPECT_EQ(ours->close(), 1);
    EXPECT_EQ(eq->effectName(), "3 Band EQ");
}

}  // namespace
}  // namespace orvex::bridgetest
