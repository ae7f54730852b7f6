// Values as musicians type them and settings files, through the built binary on our
// four plug-ins as .so and .clap: each form on each kind of row, the state `info
// --settings` prints rendered back to the sample, bad values and lines refused before
// anything is written; and every row's printed values read back as the same float.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli_support.h"
#include "tools/orvex/target.h"
#include "tools/orvex/values.h"

namespace orvex::clitest {
namespace {

namespace fs = std::filesystem;

std::string soPath(const std::string& name) {
    return ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so";
}
std::string clapPath(const std::string& name) { return ORVEX_BINARY_DIR "/clap/" + name + ".clap"; }

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Case {
    std::string plugin;
    std::vector<std::string> options;   // --program and --set
    std::vector<std::string> printed;   // lines `info --settings` prints for the .so
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"filter",
         {"--set", "Cutoff=1.2kHz", "--set", "Resonance=25 %", "--set", "Type#1=high pass", "--set", "type # 2=Saw Up",
          "--set", "OnOff=off", "--set", "Bpm=128bpm", "--set", "Drive=0.25", "--set", "Pole=4 poles", "--set",
          "Division=1/8bar", "--set", "Cutoff Mod=-50%"},
         {"Cutoff=1.2kHz", "Resonance=25%", "Type#1=High Pass", "Type#2=Saw up", "OnOff=off", "Bpm=128BPM",
          "Drive=25%", "Pole=4 poles", "Division=1/8 bar", "Cutoff Mod=-50%", "Mix=50%"}},
        {"distortion",
         {"--program", "2", "--set", "LowFreq=250 Hz", "--set", "Low type=soft shaper", "--set", "Mid Solo=on"},
         {"LowFreq=250Hz", "Low type=Soft shaper", "Mid Solo=on", "Low Solo=off"}},
        {"panner", {"--set", "LowDiv=1/8 bar", "--set", "Mix=80%", "--set", "LowModType=Square"},
         {"LowDiv=1/8 bar", "Mix=80%", "LowModType=Square"}},
        {"phaser", {"--program", "Subtle", "--set", "Mod Rate#2=2.5Hz", "--set", "Stereo link=off"},
         {"Mod Rate#2=2.5Hz", "Stereo link=off"}},
    };
    return all;
}

// The CLAP face names its menus' entries by the plug-in's displays ("HiPass"), so the
// .clap renders take the forms its `info` shows; its presets are the phaser's alone.
std::vector<std::string> clapOptions(const Case& c) {
    if (c.plugin == "distortion") return {c.options.begin() + 2, c.options.end()};
    if (c.plugin == "panner") return {"--set", "LowDiv=1/8", "--set", "Mix=80%", "--set", "LowModType=square"};
    if (c.plugin != "filter") return c.options;
    return {"--set", "Cutoff=1.2kHz", "--set", "Resonance=25 %", "--set", "Type#1=HiPass", "--set", "Type#2=sawUp",
            "--set", "OnOff=inactive", "--set", "Drive=0.25", "--set", "Cutoff Mod=-50%"};
}

bool hasLine(const std::string& text, const std::string& line) { return ("\n" + text).find("\n" + line + "\n") != std::string::npos; }

// The same state given as a normalised value for every parameter, read through the
// library from the settings file.
std::vector<std::string> normalisedOptions(const std::string& plugin, const std::string& file) {
    const std::unique_ptr<cli::Target> target = cli::openTarget(plugin, {});
    std::vector<float> values;
    for (int i = 0; i < target->parameterCount(); ++i) values.push_back(target->value(i));
    for (const cli::SettingChange& c : cli::readSettingsFile(*target, file))
        values[static_cast<std::size_t>(c.index)] = c.value;
    std::vector<std::string> options;
    for (std::size_t i = 0; i < values.size(); ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%zu=%.9g", i, static_cast<double>(values[i]));
        options.insert(options.end(), {"--set", text});
    }
    return options;
}

TEST(MusiciansValues, EachFormPrintsInItsTermsAndRendersBackToTheSample) {
    ScratchFolder dir;
    writeAudio(dir.file("in.wav"), noise(2, 22050, 41), 44100);
    for (const Case& c : cases())
        for (const std::string& plugin : {soPath(c.plugin), clapPath(c.plugin)}) {
            SCOPED_TRACE(plugin);
            const bool clap = plugin.ends_with(".clap");
            const std::vector<std::string> options = clap ? clapOptions(c) : c.options;
            const RunResult info = runOrvex(joined({"info", plugin, "--settings"}, options));
            ASSERT_EQ(info.status, 0) << info.err;
            if (!clap) {
                for (const std::string& line : c.printed) EXPECT_TRUE(hasLine(info.out, line)) << line << "\n" << info.out;
            }
            std::ofstream(dir.file("state.txt")) << info.out;

            const auto render = [&](const std::string& out, const std::vector<std::string>& more) {
                const RunResult r = runOrvex(joined({"render", plugin, dir.file("in.wav"), dir.file(out), "-q"}, more));
                EXPECT_EQ(r.status, 0) << r.err;
                return readAudio(dir.file(out)).channels;
            };
            const Channels given = render("given.wav", options);
            if (c.plugin == "filter") {  // told in its terms, not by the display of the swept cutoff
                const RunResult told = runOrvex(joined({"render", plugin, dir.file("in.wav"), dir.file("told.wav")}, options));
                EXPECT_NE(told.out.find("Cutoff = 0.560648 (1.2kHz)"), std::string::npos) << told.out;
            }
            const Channels read = render("read.wav", {"--settings", dir.file("state.txt")});
            const Channels normalised = render("normalised.wav", normalisedOptions(plugin, dir.file("state.txt")));
            EXPECT_EQ(read, normalised);
            EXPECT_EQ(read, given);
            EXPECT_NE(read, render("plain.wav", {}));  // the settings change the sound
        }
}

TEST(MusiciansValues, BadValuesAndLinesAreRefusedBeforeAnythingIsWritten) {
    ScratchFolder dir;
    writeAudio(dir.file("in.wav"), noise(2, 4410, 42), 44100);
    std::ofstream(dir.file("bad.txt")) << "# Orvex Filter\nCutoff=1kHz\n\nMix=150%\nType=Sin\nDrive\nPole=3 poles\nWobble=1\n";
    const std::string bad = dir.file("bad.txt");
    struct Refusal {
        std::string plugin;
        std::vector<std::string> options;
        int status;
        std::vector<std::string> said;
    };
    const std::vector<Refusal> refusals = {
        {"filter", {"--set", "Cutoff=30kHz"}, 2, {"--set Cutoff: '30kHz' is out of range for Cutoff: 30 Hz to 21.609 kHz"}},
        {"filter", {"--set", "Cutoff=80%"}, 2, {"Cutoff is counted in Hz (30 Hz to 21.609 kHz), not %"}},
        {"filter", {"--set", "Type#2=Wobble"}, 2,
         {"unknown entry 'Wobble' for Type; one of: Sin, Saw up, Saw down, Square, Triangle, Exp(Triangle)"}},
        {"filter", {"--set", "OnOff=maybe"}, 2, {"unknown entry 'maybe' for OnOff; one of: on, off"}},
        {"filter", {"--set", "Type=Sin"}, 1,
         {"parameter name 'Type' is ambiguous in Orvex Filter (indices 3, 6): name each as Type#1 (index 3: Low Pass",
          "or Type#2 (index 6: Sin, Saw up"}},
        {"filter", {"--set", "Cutoff=1kHz", "--settings", bad}, 2,
         {bad + ":4: Mix: '150%' is out of range for Mix: 0 to 100 %\n" + bad +
              ":5: parameter name 'Type' is ambiguous in Orvex Filter (indices 3, 6)",
          bad + ":6: not NAME=VALUE: 'Drive'\n" + bad +
              ":7: Pole: unknown entry '3 poles' for Pole; one of: 4 poles, 2 poles (or a normalised number from 0 to 1)\n" +
              bad + ":8: unknown parameter 'Wobble' for Orvex Filter\n"}},
        {"filter", {"--settings", dir.file("none.txt")}, 1, {"cannot read settings file " + dir.file("none.txt")}},
        {clapPath("filter"), {"--set", "Mix=-5%"}, 2, {"'-5%' is out of range for Mix: 0 to 100 %"}},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.options.back());
        const RunResult run = runOrvex(joined({"render", r.plugin, dir.file("in.wav"), dir.file("out.wav")}, r.options));
        EXPECT_EQ(run.status, r.status) << run.err;
        for (const std::string& part : r.said) EXPECT_NE(run.err.find(part), std::string::npos) << part << "\n" << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bad.txt", "in.wav"}));
    }
}

// Someone else's plug-in, whose format describes nothing: its display is searched.
TEST(MusiciansValues, AThirdPartysDisplayIsSearched) {
    const std::string eq = "/usr/lib/vst/3BandEQ-vst.so";
    if (!fs::exists(eq)) GTEST_SKIP() << "dpf-plugins-vst is not installed";
    const RunResult run = runOrvex({"info", eq, "--set", "Low=-6dB", "--set", "Mid-High Freq=4kHz"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Low            dB     -6.000000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Mid-High Freq  Hz     4000.000000"), std::string::npos) << run.out;
    const RunResult far = runOrvex({"info", eq, "--set", "Low=30dB"});
    EXPECT_EQ(far.status, 2);
    EXPECT_NE(far.err.find("'30dB' is out of range for Low: -24 to 24 dB (as its display shows)"), std::string::npos)
        << far.err;
}

// Every row of our four, .so and .clap, at its ends, on a grid and at every program's
// value: the text printed reads back as exactly that float.
TEST(MusiciansValues, EveryRowOfOurFourReadsBackAsTheSameFloat) {
    for (const char* name : {"panner", "distortion", "filter", "phaser"})
        for (const std::string& plugin : {soPath(name), clapPath(name)}) {
            SCOPED_TRACE(plugin);
            const std::unique_ptr<cli::Target> target = cli::openTarget(plugin, {});
            const int programs = std::max<int>(1, static_cast<int>(target->programs().size()));
            int inTerms = 0, all = 0;
            for (int program = 0; program < programs; ++program) {
                if (programs > 1) target->selectProgram(program);
                for (int i = 0; i < target->parameterCount(); ++i) {
                    std::vector<float> values = {target->value(i)};
                    if (program == 0)
                        for (int k = 0; k <= 16; ++k) values.push_back(static_cast<float>(k) / 16.0f);
                    for (float v : values) {
                        const std::string text = cli::valueText(*target, i, v);
                        EXPECT_EQ(cli::normalisedValue(*target, i, text), v) << i << " " << text;
                        ++all;
                        inTerms += !cli::parseFinite(text);
                    }
                }
            }
            std::printf("%s: %d of %d values printed in their own terms\n", plugin.c_str(), inTerms, all);
            EXPECT_GT(inTerms, all / 2);
        }
}

}  // namespace
}  // namespace orvex::clitest
