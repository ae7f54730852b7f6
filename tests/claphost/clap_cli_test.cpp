// The command-line host on CLAP files, run as a user runs it: `orvex info` of a .clap
// lists what the plug-in says, `orvex render` of each of our four .clap sounds as the
// same render of its VST 2.x bundle to the last bit (a program, parameters, a tempo the
// LFOs follow, MIDI controllers and notes at their samples), and a broken .clap gives a
// clear message and exit status 1, never a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_support.h"

namespace {

using namespace orvex::clitest;
namespace fs = std::filesystem;

const std::string kGain = ORVEX_BINARY_DIR "/tests/faulty-clap/faultyclap.clap";

std::string clapPath(const std::string& name) { return ORVEX_BINARY_DIR "/clap/" + name + ".clap"; }
std::string vstPath(const std::string& name) {
    return ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so";
}

// The line of `text` that starts with `prefix`, empty when none does.
std::string lineStarting(const std::string& text, const std::string& prefix) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (text.compare(at, prefix.size(), prefix) == 0) return text.substr(at, end - at);
        at = end + 1;
    }
    return {};
}

TEST(ClapInfo, ListsTheParametersAndPresets) {
    const RunResult r = runOrvex({"info", kGain});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("com.harmoxel.orvex.testgain"), std::string::npos) << r.out;
    EXPECT_EQ(lineStarting(r.out, "Parameters"), "Parameters (2)");
    EXPECT_NE(r.out.find("Gain    0 to 1   1.0000  1.0000  0.0 dB"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Invert  0 .. 1"), std::string::npos) << r.out;
    EXPECT_EQ(lineStarting(r.out, "Presets"), "Presets (2)");
}

// Each of our four: as many parameters as through VST 2.x, a stereo pair, MIDI in.
TEST(ClapInfo, OurPluginsAsThroughVst) {
    for (const char* name : {"panner", "distortion", "filter", "phaser"}) {
        if (!fs::exists(clapPath(name))) GTEST_SKIP() << clapPath(name) << " is not built";
        const RunResult clap = runOrvex({"info", clapPath(name)}), vst = runOrvex({"info", vstPath(name)});
        ASSERT_EQ(clap.status, 0) << clap.err;
        ASSERT_EQ(vst.status, 0) << vst.err;
        EXPECT_EQ(lineStarting(clap.out, "Parameters"), lineStarting(vst.out, "Parameters")) << name;
        EXPECT_NE(lineStarting(clap.out, "  audio in ").find("(2 channels, main)"), std::string::npos) << clap.out;
        EXPECT_NE(lineStarting(clap.out, "  audio out ").find("(2 channels, main)"), std::string::npos) << clap.out;
        EXPECT_NE(lineStarting(clap.out, "  notes in ").find("MIDI"), std::string::npos) << clap.out;
        EXPECT_NE(lineStarting(clap.out, "  id ").find(std::string(" com.harmoxel.orvex.") + name), std::string::npos)
            << clap.out;
    }
}

// A broken .clap: each refusal named, exit status 1.
TEST(ClapInfo, BrokenFilesGiveAClearError) {
    ScratchFolder folder;
    const std::string noEntry = folder.file("noentry.clap");
    fs::copy_file(testEffectPath(), noEntry);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "exports no clap_entry"},
        {"version", "was built for CLAP 0.9.0"},
        {"entry-init", "clap_entry.init refused"},
        {"no-factory", "has no plug-in factory"},
        {"null-create", "the plug-in factory lacks create_plugin"},
        {"create", "gave no plug-in"},
        {"init", "failed its init"},
        {"null-process", "lacks one of the functions"},
        {"count", "claims 100000000 parameters"},
    };
    for (const auto& [fault, message] : cases) {
        const std::string file = fault.empty() ? noEntry : kGain;
        for (const char* command : {"info", "render"}) {
            std::vector<std::string> args = {command, file};
            if (std::string(command) == "render") {
                writeAudio(folder.file("in.wav"), noise(2, 256, 1), 48000);
                args.insert(args.end(), {folder.file("in.wav"), folder.file("out.wav")});
            }
            const RunResult r = runOrvex(args, [f = fault] { ::setenv("ORVEX_FAULT", f.c_str(), 1); });
            EXPECT_EQ(r.status, 1) << fault << " " << command << ": " << r.err;
            EXPECT_NE(r.err.find(message), std::string::npos) << fault << " " << command << ": " << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(folder.file("out.wav")));
}

// The test gain through the CLAP host: a preset, a parameter across its range, a
// stepped one rounded, and MIDI controller 7 at its sample.
TEST(ClapRender, PresetParametersAndMidiAtTheirSamples) {
    ScratchFolder folder;
    const Channels in = noise(2, 4800, 3);
    writeAudio(folder.file("in.wav"), in, 48000);
    const RunResult r = runOrvex({"render", kGain, folder.file("in.wav"), folder.file("out.wav"), "--program",
                                  "Quiet", "--set", "Invert=0.6", "--cc", "7=127@0.05", "--block", "512"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("program  1 \"Quiet\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Invert = 0.6 (on)"), std::string::npos) << r.out;
    const Audio out = readAudio(folder.file("out.wav"));
    ASSERT_EQ(out.frames(), in[0].size());
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(out.channels[c][2399], -0.25f * in[c][2399]);
        EXPECT_EQ(out.channels[c][2400], -in[c][2400]);
    }
}

// A mono plug-in strict about its ports gets one channel on each, and a mono file out.
TEST(ClapRender, AMonoPluginGetsItsOwnPorts) {
    ScratchFolder folder;
    const Channels in = noise(2, 4800, 5);
    writeAudio(folder.file("in.wav"), in, 48000);
    const RunResult r = runOrvex({"render", kGain, folder.file("in.wav"), folder.file("out.wav")},
                                 [] { ::setenv("ORVEX_FAULT", "mono", 1); });
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio out = readAudio(folder.file("out.wav"));
    ASSERT_EQ(out.channels.size(), 1u);
    EXPECT_EQ(out.channels[0], in[0]);
}

// `orvex bench` of a .clap: a preset and a parameter set through the CLAP host, then the
// figure and the table.
TEST(ClapBench, TellsHowManyTimesRealTime) {
    const RunResult r = runOrvex({"bench", kGain, "--program", "Quiet", "--set", "Gain=0.5", "--runs", "3", "--seconds",
                                  "0.05", "--block", "64"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string first = r.out.substr(0, r.out.find('\n'));
    ASSERT_EQ(first.rfind("Orvex Test Gain: ", 0), 0u) << r.out;
    EXPECT_EQ(first.substr(first.size() - 11), "x real time") << first;
    EXPECT_GT(std::stod(first.substr(17)), 1.0) << first;
    EXPECT_EQ(lineStarting(r.out, "program"), "program  1 \"Quiet\"") << r.out;
    EXPECT_EQ(lineStarting(r.out, "set").rfind("set      Gain = 0.5 (", 0), 0u) << r.out;
    EXPECT_EQ(lineStarting(r.out, "host"), "host     44100 Hz, stereo, block 64, 120 BPM playing, CLAP") << r.out;
    EXPECT_EQ(lineStarting(r.out, "runs").rfind("runs     3 x 0.05 s of audio, ", 0), 0u) << r.out;
}

// `orvex render` of the .clap equals that of the VST 2.x bundle, sample for sample.
struct Case {
    const char* plugin;
    std::vector<std::string> options;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.plugin; }

class ClapAsVst : public testing::TestWithParam<Case> {};

TEST_P(ClapAsVst, RendersTheSameSamples) {
    const Case& c = GetParam();
    if (!fs::exists(clapPath(c.plugin))) GTEST_SKIP() << clapPath(c.plugin) << " is not built";
    ScratchFolder folder;
    writeAudio(folder.file("in.wav"), noise(2, 3 * 48000, 7, 0.7f), 48000);
    std::vector<Audio> outs;
    for (const std::string& path : {vstPath(c.plugin), clapPath(c.plugin)}) {
        std::vector<std::string> args = {"render", path, folder.file("in.wav"), folder.file("out.wav"), "-q"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = runOrvex(args);
        ASSERT_EQ(r.status, 0) << path << ": " << r.err;
        outs.push_back(readAudio(folder.file("out.wav")));
    }
    ASSERT_EQ(outs[0].frames(), outs[1].frames());
    ASSERT_EQ(outs[0].channels.size(), 2u);
    std::size_t differing = 0;
    for (int ch = 0; ch < 2; ++ch)
        for (std::size_t i = 0; i < outs[0].frames(); ++i) differing += outs[0].channels[ch][i] != outs[1].channels[ch][i];
    EXPECT_EQ(differing, 0u);
    // Not a render of silence or of the input passed through.
    const Audio in = readAudio(folder.file("in.wav"));
    EXPECT_NE(outs[1].channels[0], in.channels[0]);
}

// The panner's three LFOs and the filter's at full depth (their controllers), the mix
// of each moved by its controller at 1 s, a note restarting the LFOs at 1.5 s.
INSTANTIATE_TEST_SUITE_P(
    Plugins, ClapAsVst,
    testing::Values(Case{"panner", {"--tempo", "128", "--program", "0", "--set", "LowLfoDepth=1", "--cc", "53=127@0",
                                    "--cc", "58=127@0", "--cc", "63=127@0", "--cc", "69=90@1", "--note", "61@1.5"}},
                    Case{"distortion", {"--program", "Basic 1", "--set", "Low type=0.15", "--set", "Mid type=0.62",
                                        "--set", "Mix=1", "--cc", "18=40@1", "--block", "300"}},
                    Case{"filter", {"--tempo", "97", "--program", "0", "--cc", "57=127@0", "--cc", "59=127@0", "--cc",
                                    "55=64@0", "--cc", "60=64@0", "--note", "60@1.5"}},
                    Case{"phaser", {"--program", "3", "--set", "Mix=0.5", "--cc", "56=100@1"}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.plugin); });

}  // namespace
