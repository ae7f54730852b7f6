// `orvex` naming a plug-in of any format, run as a user runs it: `list` shows the CLAP
// files and the LV2 URIs beside the VST 2.x bundles, `info` and `render` take an LV2
// plug-in by its URI (rendering the samples the VST 2.x bundle renders), `bench` runs
// one, and `validate` with nothing named judges every format.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.h"

namespace orvex::clitest {
namespace {

// The output's lines with runs of spaces made one.
bool hasLine(const std::string& text, const std::string& wanted) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string collapsed, w;
        while (words >> w) collapsed += (collapsed.empty() ? "" : " ") + w;
        if (collapsed == wanted) return true;
    }
    return false;
}

bool lv2Built() { return std::filesystem::exists(ORVEX_BINARY_DIR "/lv2/orvex-panner.lv2/manifest.ttl"); }

TEST(CliFormats, ListShowsClapFilesAndLv2Uris) {
    if (!lv2Built() || pannerPath().empty()) GTEST_SKIP() << "the bundles are not built";
    const RunResult run = runOrvex({"list"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasLine(run.out, "panner.clap Orvex Space Harmoxel com.harmoxel.orvex.panner 20 1")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Name Vendor URI Params Programs")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Orvex Space Harmoxel urn:harmoxel:orvex:panner 20 1")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Orvex Phase Harmoxel urn:harmoxel:orvex:phaser 9 8")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "4 LV2 plug-ins in " ORVEX_BINARY_DIR "/lv2")) << run.out;
}

TEST(CliFormats, InfoByUriShowsUnitsRangesEntriesAndPresets) {
    if (!lv2Built()) GTEST_SKIP() << "the LV2 bundles are not built";
    const RunResult run = runOrvex({"info", "urn:harmoxel:orvex:panner"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* line : {"Orvex Space", "vendor Harmoxel",
                             "0 lowfreq LowFreq 50 to 20000 Hz, logarithmic 1000 0.5000 1000 Hz",
                             "4 lowdiv LowDiv 4 bars | 2 bars | 1 bar | 1/2 bar | 1/4 bar | 1/8 bar | 1/16 bar | "
                             "1/32 bar | 1/64 bar 4 0.5000 1/4 bar",
                             "7 lowsolo LowSolo off | on 0 0.0000 off", "19 mix Mix 0 to 100 % 50 0.5000 50 %",
                             "0 Basic urn:harmoxel:orvex:panner:preset:0"})
        EXPECT_TRUE(hasLine(run.out, line)) << line << "\n" << run.out;
    // A plug-in of LV2_PATH's, named relative to the working folder as a user may: the
    // validator's test gain, its choice's scale points as entries.
    const RunResult relative = runOrvex({"info", "urn:harmoxel:orvex:test:faulty"}, [] {
        if (::chdir(ORVEX_BINARY_DIR "/tests") != 0) _exit(99);
        ::setenv("LV2_PATH", "faulty-lv2", 1);
    });
    ASSERT_EQ(relative.status, 0) << relative.err;
    EXPECT_TRUE(hasLine(relative.out, "1 mode Mode Plain | Invert | Mute 0 0.0000 Plain")) << relative.out;
    const RunResult unknown = runOrvex({"info", "urn:harmoxel:orvex:nothing"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("unknown LV2 plug-in urn:harmoxel:orvex:nothing"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("'orvex list' shows the URIs found"), std::string::npos) << unknown.err;
}

// The same file through the LV2 plug-in by URI and through the VST 2.x bundle, with a
// transport, a controller, a note, a linear and a logarithmic value set, and the
// phaser with a preset (an LV2 preset is the VST 2.x program of its index): the same
// samples. Values of rows whose reading maps 0..1 by a curve of its own (not linear,
// not logarithmic) are not compared: an LV2 port's range cannot say that curve, so
// 0.5 stands for another value there.
TEST(CliFormats, RenderByUriEqualsTheVstBundle) {
    if (!lv2Built() || pannerPath().empty()) GTEST_SKIP() << "the bundles are not built";
    ScratchFolder folder;
    const std::string in = folder.file("in.wav");
    writeAudio(in, noise(2, 3 * 44100, 7), 44100);
    const std::vector<std::vector<std::string>> cases = {
        {"panner", "--tempo", "128", "--set", "Mix=0.8", "--set", "LowFreq=0.3", "--cc", "53=127@0", "--note",
         "60@1.5"},
        {"phaser", "--program", "3"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lv2 = {"render", "urn:harmoxel:orvex:" + c[0], in, folder.file("lv2.wav"), "-q"};
        std::vector<std::string> vst = {"render", c[0], in, folder.file("vst.wav"), "-q"};
        lv2.insert(lv2.end(), c.begin() + 1, c.end());
        vst.insert(vst.end(), c.begin() + 1, c.end());
        const RunResult a = runOrvex(lv2), b = runOrvex(vst);
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        const Audio fromLv2 = readAudio(folder.file("lv2.wav")), fromVst = readAudio(folder.file("vst.wav"));
        EXPECT_EQ(fromLv2.frames(), 3u * 44100u) << c[0];
        EXPECT_EQ(fromLv2.channels, fromVst.channels) << c[0];
    }
    const RunResult bench = runOrvex({"bench", "urn:harmoxel:orvex:panner", "--seconds", "0.2", "--runs", "1"});
    EXPECT_EQ(bench.status, 0) << bench.err;
    EXPECT_NE(bench.out.find("Orvex Space: "), std::string::npos) << bench.out;
    EXPECT_NE(bench.out.find("orvex-panner.so"), std::string::npos) << bench.out;
}

// Nothing named: what `list` shows, every format, each by its own table of checks.
TEST(CliFormats, ValidateWithNothingNamedJudgesEveryFormat) {
    if (!lv2Built() || pannerPath().empty()) GTEST_SKIP() << "the bundles are not built";
    const RunResult run = runOrvex({"validate", "--quick", "--only", "load.open"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    for (const char* named : {"\n  " ORVEX_BINARY_DIR "/vst/panner.vst/Contents/x86_64-linux/panner.so\n",
                              "\n  " ORVEX_BINARY_DIR "/clap/panner.clap\n", "\n  urn:harmoxel:orvex:panner\n"})
        EXPECT_NE(run.out.find(named), std::string::npos) << named << run.out;
    EXPECT_NE(run.out.find("12 plug-ins: 12 passed every check"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace orvex::clitest
