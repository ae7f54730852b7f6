// Values as musicians type them, on a small made-up plug-in whose parameters are one of
// each kind: a mapping the format gives (hertz, percent), choices, a switch, a plain
// value, and a third party's decibels known only from its display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "cli_support.h"
#include "tools/orvex/values.h"

namespace orvex::clitest {
namespace {

using cli::ParameterDescription;
using Kind = ParameterDescription::Kind;

class MadeUpTarget : public cli::Target {
public:
    MadeUpTarget() {
        rows = {{"Cutoff", "Hz", Kind::logarithmic, 20.0, 20000.0, {}, true},
                {"Mix", "%", Kind::continuous, 0.0, 100.0, {}, true},
                {"Type", "", Kind::choice, 0.0, 2.0, {" Low Pass", " High Pass", " 1/8 bar"}, true},
                {"Type", "", Kind::choice, 0.0, 1.0, {"Sin", "Saw up"}, true},
                {"Solo", "", Kind::toggle, 0.0, 1.0, {}, true},
                {"Gain", "", Kind::continuous, 0.0, 1.0, {}, true},
                {"Level", "", Kind::continuous, 0.0, 1.0, {}, false},
                {"Odd", "", Kind::continuous, 0.0, 1.0, {}, false}};
        values.assign(rows.size(), 0.5f);
    }
    std::string name() const override { return "Made Up"; }
    std::string vendor() const override { return "Nobody"; }
    std::string format() const override { return "VST 2.x"; }
    std::string identity() const override { return "MdUp"; }
    int parameterCount() override { return static_cast<int>(rows.size()); }
    ParameterDescription describe(int index) override { return rows[static_cast<std::size_t>(index)]; }
    float value(int index) override { return values[static_cast<std::size_t>(index)]; }
    void setValue(int index, float normalised) override { values[static_cast<std::size_t>(index)] = normalised; }
    std::string display(int index) override {
        const float v = value(index);
        char text[32];
        if (index == 6) std::snprintf(text, sizeof text, "%.1f dB", -60.0 + 72.0 * v);  // falls nowhere: rises
        else if (index == 7) std::snprintf(text, sizeof text, "%s", v < 0.5f ? "soft" : "hard");
        else std::snprintf(text, sizeof text, "%.2f", static_cast<double>(*unitOfValue(index, v)));
        return text;
    }
    std::optional<float> valueOfUnit(int index, double u) override {
        switch (index) {
            case 0: return static_cast<float>(std::log(u / 20.0) / std::log(1000.0));
            case 1: return static_cast<float>(u / 100.0);
            case 2: return static_cast<float>(u / 2.0);
            case 3:
            case 4: return static_cast<float>(u);
            default: return std::nullopt;
        }
    }
    std::optional<double> unitOfValue(int index, float v) override {
        switch (index) {
            case 0: return static_cast<float>(20.0 * std::pow(1000.0, v));
            case 1: return static_cast<float>(100.0 * v);
            case 2: return std::floor(std::min(v * 3.0f, 2.0f));
            case 3:
            case 4: return v >= 0.5f ? 1.0 : 0.0;
            default: return std::nullopt;
        }
    }
    std::vector<cli::ProgramName> programs() override { return {}; }
    void selectProgram(int) override {}
    std::optional<int> currentProgram() override { return std::nullopt; }
    std::string path() const override { return "/made/up.so"; }
    int inputChannels() const override { return 2; }
    int outputChannels() const override { return 2; }
    void start(const cli::RenderSettings&) override {}
    void midi(const std::vector<vsthost::MidiMessage>&) override {}
    void process(float**, float**, int, int64_t) override {}
    void stop() override {}

    std::vector<ParameterDescription> rows;
    std::vector<float> values;
};

template <class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Values, SharedNamesAreQualifiedAndTheAmbiguityToldHowToNameEach) {
    MadeUpTarget t;
    EXPECT_EQ(cli::settingNames(t)[2], "Type#1");
    EXPECT_EQ(cli::settingNames(t)[3], "Type#2");
    EXPECT_EQ(cli::parameterIndex(t, "Type#2"), 3);
    EXPECT_EQ(cli::parameterIndex(t, "type # 1"), 2);
    EXPECT_EQ(cli::parameterIndex(t, "mix"), 1);
    EXPECT_EQ(cli::parameterIndex(t, "4"), 4);
    const std::string ambiguous = errorOf([&] { cli::parameterIndex(t, "Type"); });
    for (const char* part : {"'Type' is ambiguous in Made Up (indices 2, 3)", "Type#1 (index 2: Low Pass, High Pass",
                             "Type#2 (index 3: Sin, Saw up)", "  3  Type#2"})
        EXPECT_NE(ambiguous.find(part), std::string::npos) << ambiguous;
    EXPECT_NE(errorOf([&] { cli::parameterIndex(t, "Type#3"); }).find("unknown parameter 'Type#3'"), std::string::npos);
}

TEST(Values, EveryFormReadsThroughTheMappingOrTheDisplay) {
    MadeUpTarget t;
    EXPECT_FLOAT_EQ(cli::normalisedValue(t, 0, "632.456Hz"), 0.5f);
    EXPECT_EQ(cli::normalisedValue(t, 0, "2 kHz"), cli::normalisedValue(t, 0, "2000hz"));
    EXPECT_EQ(cli::normalisedValue(t, 0, "20kHz"), 1.0f);
    EXPECT_EQ(cli::normalisedValue(t, 0, "20000.1Hz"), 1.0f);  // rounded in print: within the tolerance
    EXPECT_FLOAT_EQ(cli::normalisedValue(t, 1, "80%"), 0.8f);
    EXPECT_EQ(cli::normalisedValue(t, 1, "0.25"), 0.25f);  // bare: normalised
    EXPECT_EQ(cli::normalisedValue(t, 2, "high pass"), 0.5f);
    EXPECT_EQ(cli::normalisedValue(t, 2, "1/8bar"), 1.0f);
    EXPECT_EQ(cli::normalisedValue(t, 3, "Saw Up"), 1.0f);
    EXPECT_EQ(cli::normalisedValue(t, 4, "ON"), 1.0f);
    EXPECT_EQ(cli::normalisedValue(t, 4, "off"), 0.0f);
    // The display search lands on the value whose display is nearest, and leaves the
    // parameter as it was.
    t.values[6] = 0.25f;
    t.setValue(6, cli::normalisedValue(t, 6, "-6dB"));
    EXPECT_EQ(t.display(6), "-6.0 dB");
    t.setValue(6, 0.25f);
    EXPECT_EQ(cli::normalisedValue(t, 6, "-6.04 dB"), cli::normalisedValue(t, 6, "-6dB"));
    EXPECT_EQ(t.values[6], 0.25f);

    const auto fails = [&](int index, const std::string& text, const std::string& part) {
        const std::string message = errorOf([&] { cli::normalisedValue(t, index, text); });
        EXPECT_NE(message.find(part), std::string::npos) << text << ": " << message;
    };
    fails(0, "25kHz", "'25kHz' is out of range for Cutoff: 20 Hz to 20 kHz");
    fails(0, "19Hz", "out of range");
    fails(0, "80%", "Cutoff is counted in Hz (20 Hz to 20 kHz), not %");
    fails(1, "1.5", "VALUE must be a number from 0 to 1");
    fails(2, "Band Pass", "unknown entry 'Band Pass' for Type; one of: Low Pass, High Pass, 1/8 bar");
    fails(4, "maybe", "one of: on, off");
    fails(5, "0.5x", "VALUE must be a number from 0 to 1 (normalised), got '0.5x'");
    fails(6, "13dB", "'13dB' is out of range for Level: -60 to 12 dB (as its display shows)");
    fails(6, "3Hz", "Level is counted in dB, not Hz");
    fails(7, "3dB", "Odd shows no number to search ('hard'): give its normalised value");
}

TEST(Values, EveryValuePrintedReadsBackAsTheSameFloat) {
    MadeUpTarget t;
    EXPECT_EQ(cli::valueText(t, 0, 1.0f), "20kHz");
    EXPECT_EQ(cli::valueText(t, 1, cli::normalisedValue(t, 1, "80%")), "80%");
    EXPECT_EQ(cli::valueText(t, 2, 0.5f), "High Pass");
    EXPECT_EQ(cli::valueText(t, 2, 0.4f), "0.4");  // an entry's name would read back as 0.5
    EXPECT_EQ(cli::valueText(t, 4, 1.0f), "on");
    EXPECT_EQ(cli::valueText(t, 6, 0.3f), "0.3");  // no mapping: normalised
    uint32_t state = 7;
    for (int i = 0; i < 2000; ++i) {
        state = state * 1664525u + 1013904223u;
        const float v = static_cast<float>(state >> 8) / 16777216.0f;
        for (int index = 0; index < t.parameterCount(); ++index) {
            const std::string text = cli::valueText(t, index, v);
            EXPECT_EQ(cli::normalisedValue(t, index, text), v) << index << " " << text;
        }
    }
    EXPECT_EQ(cli::rangeText(t.describe(0)), "20 Hz to 20 kHz");
    EXPECT_EQ(cli::rangeText(t.describe(4)), "off or on");
}

TEST(Values, SettingsFilesReadBackAndReportEveryBadLine) {
    MadeUpTarget t;
    t.values = {0.123f, 0.8f, 0.5f, 1.0f, 1.0f, 0.7f, 0.4f, 0.6f};
    const std::string text = cli::settingsText(t, "Made Up");
    EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1)), "# Made Up\nCutoff=46.776745Hz") << text;
    ScratchFolder dir;
    std::ofstream(dir.file("state.txt")) << "\xEF\xBB\xBF" << text << "\r\n  # a comment\n\n";
    MadeUpTarget fresh;
    for (const cli::SettingChange& c : cli::readSettingsFile(fresh, dir.file("state.txt"))) fresh.setValue(c.index, c.value);
    EXPECT_EQ(fresh.values, t.values);

    std::ofstream(dir.file("bad.txt")) << "Mix=50%\nVolume=1\nCutoff\nType=Sin\nType#2=Triangle\nSolo=\n";
    try {
        cli::readSettingsFile(fresh, dir.file("bad.txt"));
        ADD_FAILURE() << "no error";
    } catch (const cli::Error& e) {
        EXPECT_EQ(e.status(), 2);
        const std::string f = dir.file("bad.txt");
        EXPECT_EQ(std::string(e.what()), f + ":2: unknown parameter 'Volume' for Made Up\n" + f +
                                             ":3: not NAME=VALUE: 'Cutoff'\n" + f +
                                             ":4: parameter name 'Type' is ambiguous in Made Up (indices 2, 3): "
                                             "name each as Type#1 (index 2: Low Pass, High Pass, 1/8 bar) or "
                                             "Type#2 (index 3: Sin, Saw up)\n" +
                                             f + ":5: Type#2: unknown entry 'Triangle' for Type; one of: Sin, Saw up " +
                                             "(or a normalised number from 0 to 1)\n" + f + ":6: Solo: no value after '='");
    }
}

}  // namespace
}  // namespace orvex::clitest
