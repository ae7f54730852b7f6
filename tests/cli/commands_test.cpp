// `orvex list`, `info`, `demo` and the help texts, run as a user runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli_support.h"

namespace orvex::clitest {
namespace {

// The lines of `text` with every run of blanks made one space and the ends trimmed,
// so that table rows compare whatever the column widths.
std::vector<std::string> collapsedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string word;
        std::string collapsed;
        while (words >> word) collapsed += (collapsed.empty() ? "" : " ") + word;
        lines.push_back(collapsed);
    }
    return lines;
}

bool hasLine(const std::string& text, const std::string& line) {
    for (const std::string& l : collapsedLines(text))
        if (l == line) return true;
    return false;
}

// The collapsed line starting with `prefix`, or "".
std::string lineStarting(const std::string& text, const std::string& prefix) {
    for (const std::string& l : collapsedLines(text))
        if (l.rfind(prefix, 0) == 0) return l;
    return {};
}

// The word `index` (from 0) of a collapsed line.
std::string word(const std::string& line, std::size_t index) {
    std::istringstream words(line);
    std::string w;
    for (std::size_t i = 0; i <= index; ++i)
        if (!(words >> w)) return {};
    return w;
}

TEST(CliCommands, EverySubcommandHasHelp) {
    for (const std::string command : {"list", "info", "render", "demo", "snapshot", "bench"}) {
        SCOPED_TRACE(command);
        for (const std::string flag : {"--help", "-h"}) {
            const RunResult run = runOrvex({command, flag});
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.out.rfind("Usage: orvex " + command, 0), 0u) << run.out;
            EXPECT_EQ(run.err, "");
        }
        const RunResult viaHelp = runOrvex({"help", command});
        EXPECT_EQ(viaHelp.status, 0);
        EXPECT_EQ(viaHelp.out, runOrvex({command, "--help"}).out);
    }
    const RunResult overview = runOrvex({"--help"});
    EXPECT_EQ(overview.status, 0);
    EXPECT_EQ(overview.out.rfind("Usage: orvex COMMAND", 0), 0u);
    // The render help names every option.
    const std::string render = runOrvex({"render", "--help"}).out;
    for (const char* option : {"--program", "--set", "--tempo", "--no-transport", "--cc", "--note", "--block",
                               "--tail", "--format", "--path", "counts from 0", "wav, aiff, flac, ogg"})
        EXPECT_NE(render.find(option), std::string::npos) << option;
}

TEST(CliCommands, ListShowsNameVendorIdAndCounts) {
    const RunResult run = runOrvex({"list", "--path", ORVEX_TEST_VST_DIR});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasLine(run.out, "Plug-in Name Vendor ID Params Programs")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "testeffect Orvex Test Harmoxel OxTe 3 4")) << run.out;
    EXPECT_NE(run.out.find("1 plug-in in " ORVEX_TEST_VST_DIR), std::string::npos) << run.out;
}

TEST(CliCommands, ListFindsTheBuildsBundlesByDefault) {
    const RunResult run = runOrvex({"list"});
    if (!std::filesystem::exists(ORVEX_VST_DIR)) {
        EXPECT_EQ(run.status, 1);
        return;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(ORVEX_VST_DIR), std::string::npos) << run.out;
    if (!pannerPath().empty()) {
        const std::string row = lineStarting(run.out, "panner Orvex Space Harmoxel ");
        EXPECT_EQ(word(row, 5), "20") << run.out;
        EXPECT_EQ(word(row, 6), "16") << run.out;
    }
}

TEST(CliCommands, InfoShowsParametersProgramsAndCapabilities) {
    const RunResult run = runOrvex({"info", "testeffect", "--path", ORVEX_TEST_VST_DIR});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string& out = run.out;
    EXPECT_EQ(out.rfind("Orvex Test\n", 0), 0u) << out;
    for (const char* line : {"vendor Harmoxel", "unique ID OxTe (1333285989)", "audio 2 in, 2 out",
                             "Parameters (3)", "0 Gain x 1.000000 0.5000", "1 Bpm 120.00 0.3500",
                             "2 Invert Off 0.0000", "Programs (4, current 0)", "3 Basic 4 \"Basic\"",
                             "receiveVstTimeInfo yes", "2in2out yes", "offline no"})
        EXPECT_TRUE(hasLine(out, line)) << line << "\n" << out;
}

TEST(CliCommands, InfoOnAThirdPartyPluginByPath) {
    const std::string eq = "/usr/lib/vst/3BandEQ-vst.so";
    if (!std::filesystem::exists(eq)) GTEST_SKIP() << "dpf-plugins-vst is not installed";
    const RunResult run = runOrvex({"info", eq});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("3 Band EQ\n", 0), 0u) << run.out;
    EXPECT_NE(lineStarting(run.out, "0 Low dB "), "") << run.out;
    EXPECT_TRUE(hasLine(run.out, "Parameters (6)")) << run.out;
}

TEST(CliCommands, DemoRendersTheLoopThroughEveryPluginFound) {
    ScratchFolder dir;
    const std::string out = dir.file("demo");
    const RunResult run = runOrvex({"demo", out, "--path", ORVEX_TEST_VST_DIR});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasLine(run.out, "Plug-in Program Peak dBFS RMS dBFS Speed File")) << run.out;
    // The test effect's programs are all alike: one render, at × 1, so with the levels
    // of the dry loop.
    const std::string dry = lineStarting(run.out, "(dry loop) ");
    const std::string wet = lineStarting(run.out, "Orvex Test 0 Basic 1 ");
    ASSERT_NE(dry, "") << run.out;
    ASSERT_NE(wet, "") << run.out;
    EXPECT_EQ(word(dry, 2), "-6.0") << run.out;
    EXPECT_EQ(word(dry, 4), out + "/loop.wav") << run.out;
    EXPECT_EQ(word(wet, 5), "-6.0") << run.out;
    EXPECT_EQ(word(wet, 6), word(dry, 3)) << run.out;  // RMS
    EXPECT_NE(word(dry, 3), "");
    EXPECT_EQ(word(wet, 7).find_first_not_of("0123456789"), word(wet, 7).size() - 1) << run.out;
    EXPECT_EQ(word(wet, 7).back(), 'x') << run.out;  // speed, times real time
    EXPECT_EQ(word(wet, 8), out + "/testeffect-00-basic-1.wav") << run.out;
    EXPECT_NE(run.out.find("3 programs with the same values as one above not rendered again"), std::string::npos);
    const Audio loop = readAudio(out + "/loop.wav");
    EXPECT_EQ(loop.sampleRate, 44100);
    EXPECT_EQ(loop.frames(), 176400u);
    EXPECT_EQ(readAudio(out + "/testeffect-00-basic-1.wav").channels, loop.channels);
}

TEST(CliCommands, SnapshotDrawsAnEditorWithItsSettings) {
    ScratchFolder dir;
    const std::string gui = ORVEX_BINARY_DIR "/tests/vst-gui/guieffect.vst/Contents/x86_64-linux/guieffect.so";
    const RunResult low = runOrvex({"snapshot", gui, dir.file("low.png"), "--set", "Knob=0"});
    ASSERT_EQ(low.status, 0) << low.err;
    EXPECT_EQ(low.out, dir.file("low.png") + ": editor of Orvex Toolkit Test, 360 x 220 pixels\n");
    const RunResult high = runOrvex({"snapshot", gui, dir.file("high.png"), "--set", "Knob=1"});
    ASSERT_EQ(high.status, 0) << high.err;
    const std::string a = fileContents(dir.file("low.png")), b = fileContents(dir.file("high.png"));
    EXPECT_EQ(a.substr(1, 3), "PNG");
    EXPECT_NE(a, b);  // the knob shows another picture
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"high.png", "low.png"}));  // no temporary left
    // An editor that cannot draw offscreen, and a plug-in without one, say so; nothing
    // is written.
    const RunResult other = runOrvex({"snapshot", testEffectPath(), dir.file("other.png")});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("cannot draw its editor"), std::string::npos) << other.err;
    // The validator's test plug-in has an editor only when a fault asks for one.
    const std::string plain = ORVEX_BINARY_DIR "/tests/faulty-vst/faultyeffect.vst/Contents/x86_64-linux/faultyeffect.so";
    const RunResult none = runOrvex({"snapshot", plain, dir.file("none.png")});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("has no editor"), std::string::npos) << none.err;
    EXPECT_EQ(dir.entries().size(), 2u);
}

TEST(CliCommands, BenchTellsHowManyTimesRealTime) {
    const RunResult run = runOrvex({"bench", testEffectPath(), "--runs", "3", "--seconds", "0.05", "--block", "64"});
    ASSERT_EQ(run.status, 0) << run.err;
    // "Orvex Test: 12345x real time", then the summary.
    const std::string first = run.out.substr(0, run.out.find('\n'));
    const auto colon = first.find(": ");
    ASSERT_NE(colon, std::string::npos) << run.out;
    EXPECT_EQ(first.substr(first.size() - 11), "x real time") << first;
    EXPECT_GT(std::stod(first.substr(colon + 2)), 1.0) << first;
    EXPECT_EQ(word(lineStarting(run.out, "runs"), 1), "3") << run.out;
    EXPECT_NE(lineStarting(run.out, "host").find("block 64"), std::string::npos) << run.out;
    const RunResult bad = runOrvex({"bench", testEffectPath(), "--seconds", "0"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--seconds wants"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace orvex::clitest
