// `orvex render` run as a user runs it, on files generated here, compared with the
// same samples processed through the test host directly.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "cli_support.h"
#include "host/effectshell.h"

namespace orvex::clitest {
namespace {

constexpr int kRate = 48000;

// What the test effect does to a sample: input × 2 × Gain (float), negated by Invert.
float testEffect(float x, float gainValue, bool invert = false) {
    const float gain = 2.0f * gainValue;
    return x * (invert ? -gain : gain);
}

// The normalised value a controller value becomes in our plug-ins.
float controllerValue(int value) { return std::clamp(static_cast<float>(value) * kControllerScale, 0.0f, 1.0f); }

TEST(CliRender, FloatWavOutputIsBitExactWithTheTestHost) {
    ScratchFolder dir;
    const Channels input = noise(2, 10007, 1);
    writeAudio(dir.file("in.wav"), input, kRate);
    const RunResult run = runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav"), "--set",
                                    "Gain=0.7", "--block", "256", "-q"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");  // quiet

    const Audio out = readAudio(dir.file("out.wav"));
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(out.sampleRate, kRate);
    const Channels expected =
        processDirect(testEffectPath(), input, kRate, 256, [](vsthost::Plugin& p) { p.setParameter(0, 0.7f); });
    ASSERT_EQ(out.channels.size(), 2u);
    EXPECT_EQ(out.channels, expected);
    for (int c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < input[0].size(); i += 997)
            EXPECT_EQ(out.channels[c][i], testEffect(input[c][i], 0.7f)) << "channel " << c << " sample " << i;
}

TEST(CliRender, ThirdPartyPluginMatchesTheTestHostBlockForBlock) {
    const std::string eq = "/usr/lib/vst/3BandEQ-vst.so";
    if (!std::filesystem::exists(eq)) GTEST_SKIP() << "dpf-plugins-vst is not installed";
    ScratchFolder dir;
    const Channels input = noise(2, 30000, 2);
    writeAudio(dir.file("in.wav"), input, 44100);
    const RunResult run = runOrvex({"render", eq, dir.file("in.wav"), dir.file("out.wav"), "--set", "Low=0.9",
                                    "--set", "High=0.1", "--block", "300", "-q"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(dir.file("out.wav"));
    const Channels expected = processDirect(eq, input, 44100, 300, [](vsthost::Plugin& p) {
        p.setParameter(0, 0.9f);
        p.setParameter(2, 0.1f);
    });
    EXPECT_EQ(out.channels, expected);
    EXPECT_NE(out.channels, input);  // the settings changed the sound
}

TEST(CliRender, PluginsAreFoundByShortNameAndByEffectName) {
    ScratchFolder dir;
    const Channels input = noise(2, 2000, 3);
    writeAudio(dir.file("in.wav"), input, kRate);
    for (const std::string name : {"testeffect", "Orvex Test", "orvex test"}) {
        SCOPED_TRACE(name);
        const RunResult run =
            runOrvex({"render", name, dir.file("in.wav"), dir.file("out.wav"), "--path", ORVEX_TEST_VST_DIR});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("Orvex Test (testeffect.so)"), std::string::npos) << run.out;
        EXPECT_EQ(readAudio(dir.file("out.wav")).channels, input);  // default Gain 0.5: × 1
    }
}

TEST(CliRender, ParametersReachThePluginByNameAndIndex) {
    ScratchFolder dir;
    const Channels input = noise(2, 3000, 4);
    writeAudio(dir.file("in.wav"), input, kRate);
    struct Case {
        std::vector<std::string> options;
        float gain;
        bool invert;
    };
    const Case cases[] = {
        {{"--set", "Gain=1"}, 1.0f, false},                   // doubles
        {{"--set", "Invert=1"}, 0.5f, true},                  // negates
        {{"--set", "2=1", "--set", "gain=0.25"}, 0.25f, true},  // index; a name in another case
        {{"--set", "Gain=1", "--set", "Gain=0"}, 0.0f, false},  // in command-line order
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[1]);
        std::vector<std::string> args = {"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult run = runOrvex(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const Audio out = readAudio(dir.file("out.wav"));
        ASSERT_EQ(out.frames(), input[0].size());
        for (int ch = 0; ch < 2; ++ch)
            for (std::size_t i = 0; i < out.frames(); ++i)
                ASSERT_EQ(out.channels[ch][i], testEffect(input[ch][i], c.gain, c.invert)) << "sample " << i;
    }
}

TEST(CliRender, ProgramIsSelectedByIndexOrName) {
    ScratchFolder dir;
    writeAudio(dir.file("in.wav"), noise(2, 1000, 5), kRate);
    // The summary reads the program back from the plug-in (effGetProgram and
    // effGetProgramName after the selection).
    const std::pair<std::string, std::string> cases[] = {
        {"3", "program  3 \"Basic 4\""},
        {"Basic 3", "program  2 \"Basic 3\""},
        {"basic 2", "program  1 \"Basic 2\""},
    };
    for (const auto& [program, shown] : cases) {
        const RunResult run =
            runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav"), "--program", program});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(shown), std::string::npos) << run.out;
    }
}

TEST(CliRender, ControllerTakesEffectExactlyAtItsSample) {
    ScratchFolder dir;
    const Channels input = noise(2, kRate, 6);
    writeAudio(dir.file("in.wav"), input, kRate);
    // Invert at 0.25 s, Gain to 127 at 0.123456 s (sample 5925.888 rounds to 5926), and
    // Gain back to 64 at 0.5 s; blocks of 700 do not end at any of them.
    const RunResult run =
        runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav"), "--block", "700", "--cc",
                  "22=127@0.25", "--cc", "20=127@0.123456", "--cc", "20=64@0.5"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("3 events sent"), std::string::npos) << run.out;
    const Audio out = readAudio(dir.file("out.wav"));
    ASSERT_EQ(out.frames(), input[0].size());
    for (int ch = 0; ch < 2; ++ch) {
        for (std::size_t i = 0; i < out.frames(); ++i) {
            float gain = 0.5f;
            if (i >= 5926) gain = controllerValue(127);
            if (i >= 24000) gain = controllerValue(64);
            const bool invert = i >= 12000;
            ASSERT_EQ(out.channels[ch][i], testEffect(input[ch][i], gain, invert)) << "channel " << ch << " sample " << i;
        }
    }
}

TEST(CliRender, MonoInputFeedsBothInputs) {
    ScratchFolder dir;
    const Channels input = noise(1, 5000, 7);
    writeAudio(dir.file("in.wav"), input, 22050);
    const RunResult run =
        runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav"), "--set", "Gain=1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("in.wav: mono, 22050 Hz"), std::string::npos) << run.out;
    const Audio out = readAudio(dir.file("out.wav"));
    ASSERT_EQ(out.channels.size(), 2u);
    EXPECT_EQ(out.sampleRate, 22050);
    for (int ch = 0; ch < 2; ++ch)
        for (std::size_t i = 0; i < out.frames(); ++i) ASSERT_EQ(out.channels[ch][i], 2.0f * input[0][i]);
    EXPECT_EQ(out.channels, processDirect(testEffectPath(), input, 22050, 512,
                                          [](vsthost::Plugin& p) { p.setParameter(0, 1.0f); }));
}

TEST(CliRender, TailAppendsSilenceAfterTheInput) {
    ScratchFolder dir;
    const Channels input = noise(2, 1000, 8);
    writeAudio(dir.file("in.wav"), input, 8000);
    const RunResult run =
        runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav"), "--tail", "0.25"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(dir.file("out.wav"));
    ASSERT_EQ(out.frames(), 3000u);
    for (int ch = 0; ch < 2; ++ch) {
        for (std::size_t i = 0; i < 1000; ++i) ASSERT_EQ(out.channels[ch][i], input[ch][i]);
        for (std::size_t i = 1000; i < 3000; ++i) ASSERT_EQ(out.channels[ch][i], 0.0f);
    }
}

TEST(CliRender, OutputFormatFollowsTheInputTheExtensionOrFormatOption) {
    ScratchFolder dir;
    // With Gain 0.5 (× 1) the samples come out as they went in, whatever the encoding
    // that can hold 16 bits; full scale included.
    Channels written = noise(2, 4000, 9, 1.0f);
    written[0][0] = 1.0f;
    written[1][0] = -1.0f;
    writeAudio(dir.file("in.flac"), written, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const Channels input = readAudio(dir.file("in.flac")).channels;
    struct Case {
        std::string out;
        std::vector<std::string> options;
        int format;
    };
    const Case cases[] = {
        {"same.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"noextension", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"by-extension.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"by-option.bin", {"--format", "wav:float"}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"aiff24.aif", {"--format", "aiff:24"}, SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        std::vector<std::string> args = {"render", testEffectPath(), dir.file("in.flac"), dir.file(c.out)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult run = runOrvex(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const Audio out = readAudio(dir.file(c.out));
        EXPECT_EQ(out.format, c.format);
        EXPECT_EQ(out.sampleRate, 44100);
        EXPECT_EQ(out.channels, input);
    }
    // Ogg Vorbis is lossy: the length and the rate come through.
    const RunResult ogg = runOrvex({"render", testEffectPath(), dir.file("in.flac"), dir.file("out.ogg")});
    ASSERT_EQ(ogg.status, 0) << ogg.err;
    const Audio vorbis = readAudio(dir.file("out.ogg"));
    EXPECT_EQ(vorbis.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
    EXPECT_EQ(vorbis.frames(), 4000u);
    // And read back in as an input.
    const RunResult back = runOrvex({"render", testEffectPath(), dir.file("out.ogg"), dir.file("back.wav")});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(readAudio(dir.file("back.wav")).frames(), 4000u);
}

TEST(CliRender, ASuccessfulRenderReplacesAnExistingOutput) {
    ScratchFolder dir;
    const Channels input = noise(2, 1500, 10);
    writeAudio(dir.file("in.wav"), input, kRate);
    writeAudio(dir.file("out.wav"), noise(1, 10, 11), 8000);
    const RunResult run = runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(dir.file("out.wav")).channels, input);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

// A time past the end, however far, is warned about and not sent: from about 1.9e14 s
// on, at 48 kHz, its sample number no longer fits 64 bits.
TEST(CliRender, EventsFarPastTheEndAreNotSent) {
    ScratchFolder dir;
    const Channels input = noise(2, 2000, 14);
    writeAudio(dir.file("in.wav"), input, kRate);
    const RunResult run = runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("out.wav"), "-q", "--cc",
                                    "20=127@1e300", "--cc", "22=127@9.3e13", "--cc", "22=127@2e14", "--note",
                                    "60@1.7976931348623157e308"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: 4 MIDI events at or after the end (0.042 s) not sent"), std::string::npos)
        << run.err;
    EXPECT_EQ(readAudio(dir.file("out.wav")).channels, input);  // neither the gain nor the sign changed
}

// A file's samples as stored: the codes of an integer encoding, the values of a float one.
std::vector<double> storedSamples(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
    std::vector<double> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(sf_read_double(file, samples.data(), static_cast<sf_count_t>(samples.size()))));
    sf_close(file);
    return samples;
}

// What the README promises: with the panner's Mix at 0 (dry) every sample comes back as
// it was in 8, 16 and 24-bit integer and 32-bit float files of each family that holds
// them, the extremes included. Not in 32-bit integer and 64-bit float ones, whose
// samples do not fit the plug-ins' floats.
TEST(CliRender, UnchangedSamplesComeBackBitForBitUpTo24BitsAndInFloat) {
    const std::string panner = pannerPath();
    if (panner.empty()) GTEST_SKIP() << "the panner bundle is not built";
    struct Case {
        const char* name;
        int format;
        int bits;  // of an integer encoding; 0 for float, -1 for double
        bool exact;
    };
    const Case cases[] = {
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8, true},
        {"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 8, true},
        {"16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16, true},
        {"16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16, true},
        {"24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24, true},
        {"24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 24, true},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, true},
        {"float.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0, true},
        {"float.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 0, true},
        {"32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32, false},
        {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, -1, false},
    };
    ScratchFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Stereo, interleaved: random codes or values, then both extremes.
        std::vector<double> samples(2 * 5000);
        uint32_t state = 77;
        auto next = [&] { return static_cast<int32_t>(state = state * 1664525u + 1013904223u); };
        for (double& x : samples) {
            if (c.bits > 0) x = next() >> (32 - c.bits);
            else if (c.bits == 0) x = static_cast<float>(std::ldexp(next(), -31));
            else x = std::ldexp(next(), -31) + std::ldexp(next(), -62);
        }
        const double top = c.bits > 0 ? std::ldexp(1.0, c.bits - 1) : 1.0;
        samples[0] = samples[3] = -top;
        samples[1] = samples[2] = c.bits > 0 ? top - 1 : top;
        SF_INFO info{};
        info.format = c.format;
        info.channels = 2;
        info.samplerate = 44100;
        const std::string in = dir.file(std::string("in-") + c.name);
        SNDFILE* file = sf_open(in.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
        sf_write_double(file, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(file);
        ASSERT_EQ(storedSamples(in), samples);

        const std::string out = dir.file(std::string("out-") + c.name);
        const RunResult run = runOrvex({"render", "panner", in, out, "--set", "Mix=0", "-q"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readAudio(out).format, c.format);
        EXPECT_EQ(storedSamples(out) == samples, c.exact);
    }
}

// The panner follows the host's tempo and restarts its LFOs on notes 60 to 62, so it
// shows whether the time information and notes arrive as a host sends them.
TEST(CliRender, PannerHearsTheTempoAndTheNotes) {
    const std::string panner = pannerPath();
    if (panner.empty()) GTEST_SKIP() << "the panner bundle is not built";
    ScratchFolder dir;
    const int rate = 44100;
    const Channels input = noise(2, 3 * rate, 13);
    writeAudio(dir.file("in.wav"), input, rate);
    auto render = [&](std::vector<std::string> options) {
        std::vector<std::string> args = {"render", "panner", dir.file("in.wav"), dir.file("out.wav"), "-q"};
        args.insert(args.end(), options.begin(), options.end());
        const RunResult run = runOrvex(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return readAudio(dir.file("out.wav")).channels;
    };
    auto deep = [](vsthost::Plugin& p) {
        for (int depth : {3, 8, 13}) p.setParameter(depth, 1.0f);
        p.setParameter(19, 1.0f);
    };
    const std::vector<std::string> deepOptions = {"--set", "LowLfoDepth=1", "--set", "MidLfoDepth=1",
                                                  "--set", "HighLfoDepth=1", "--set", "Mix=1"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> all = deepOptions;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };

    const Channels at90 = render(with({"--tempo", "90"}));
    EXPECT_EQ(at90, processDirect(panner, input, rate, 512, deep, 90.0));
    const Channels at150 = render(with({"--tempo", "150"}));
    EXPECT_EQ(at150, processDirect(panner, input, rate, 512, deep, 150.0));
    EXPECT_NE(at90, at150);
    const Channels none = render(with({"--no-transport"}));
    EXPECT_EQ(none, processDirect(panner, input, rate, 512, deep));

    // Note 61 at 1.1 s restarts the middle band's LFO there (sample 48510).
    const Channels noted = render(with({"--tempo", "90", "--note", "61@1.1"}));
    const std::vector<DirectEvent> note = {{48510, {0x90, 61, 100}}};
    EXPECT_EQ(noted, processDirect(panner, input, rate, 512, deep, 90.0, note));
    ASSERT_EQ(noted.size(), 2u);
    for (int ch = 0; ch < 2; ++ch) {
        // Identical up to the note, different after it.
        EXPECT_TRUE(std::equal(noted[ch].begin(), noted[ch].begin() + 48510, at90[ch].begin()));
        EXPECT_FALSE(std::equal(noted[ch].begin() + 48510, noted[ch].end(), at90[ch].begin() + 48510));
    }
}

}  // namespace
}  // namespace orvex::clitest
