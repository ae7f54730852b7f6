// The component framework: number-to-text, anti-denormal offset, value scaling and
// the text helpers, the switch and the wet/dry mixer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "dsp/component.h"
#include "dsp/parameter.h"
#include "dsp/utility.h"

using namespace orvex;

namespace {

std::string text(float value) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    floatToString(value, buffer);
    return buffer;
}

// A unit that owns controls 4 and 5 only, to check that the base leaves unknown
// identifiers alone.
class TwoControls : public CEffect {
public:
    void setControl(float value, int control) override {
        if (control == 4) a = value;
        if (control == 5) b = value;
    }
    void setControlAutomated(float value, int control) override { setControl(value, control); }
    void getControl(char* t, int control) override {
        if (control == 4) floatToString(a, t);
        if (control == 5) floatToString(b, t);
    }
    void getControlName(char* t, int control) override {
        if (control == 4 || control == 5) copyText(t, control == 4 ? "A" : "B", 16);
    }
    void getUnitOfMeasurement(char* t, int control) override {
        if (control == 4 || control == 5) copyText(t, "  ", 3);
    }
    float a = 0, b = 0;
};

}  // namespace

TEST(FloatToString, EightCharacterTexts) {
    EXPECT_EQ(text(0.5f), "0.500000");
    EXPECT_EQ(text(120.0f), "120.0000");
    EXPECT_EQ(text(-1.5f), "-1.50000");
    EXPECT_EQ(text(0.0f), "0.000000");
    EXPECT_EQ(text(1234567.0f), "1234567.");
    EXPECT_EQ(text(0.3f), "0.300000");
    EXPECT_EQ(text(33.3333f), "33.33330");
    EXPECT_EQ(text(100.0f), "100.0000");
    EXPECT_EQ(text(30.0f), "30.00000");
    EXPECT_EQ(text(-50.0f), "-50.0000");
    // Truncation, not rounding: 0.29999998 stays below 0.3.
    EXPECT_EQ(text(std::nextafter(0.3f, 0.0f)), "0.299999");
}

TEST(FloatToString, OutOfRangeGivesHuge) {
    EXPECT_EQ(text(100000000.0f), "Huge!");
    EXPECT_EQ(text(-10000000.0f), "Huge!");
    EXPECT_EQ(text(std::numeric_limits<float>::infinity()), "Huge!");
    EXPECT_EQ(text(-std::numeric_limits<float>::infinity()), "Huge!");
    // Limits themselves still print.
    EXPECT_EQ(text(-9999999.0f).size(), 8u);
    EXPECT_EQ(text(std::nanf("")), "NaN");
}

TEST(FloatToString, NeverWritesPastNineBytes) {
    for (float v : {0.0f, 1e-30f, 7.5f, -7.5f, 99999999.0f, 12345678.0f, -9999999.0f, -123456.7f, 5e7f}) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        floatToString(v, buffer);
        EXPECT_LE(std::strlen(buffer), 8u) << v;
        EXPECT_EQ(buffer[9], '#') << v;
    }
}

TEST(Component, AddDC) {
    float sample = 0.0f;
    CComponent::addDC(sample);
    EXPECT_EQ(sample, 9.99999968e-21f);
}

TEST(Component, UnknownControlLeavesUnitAndBufferAlone) {
    TwoControls unit;
    unit.setControl(0.25f, 4);
    unit.setControl(0.9f, 3);
    EXPECT_EQ(unit.a, 0.25f);
    EXPECT_EQ(unit.b, 0.0f);
    char buffer[16] = "untouched";
    unit.getControl(buffer, 9);
    unit.getControlName(buffer, 9);
    unit.getUnitOfMeasurement(buffer, 9);
    EXPECT_STREQ(buffer, "untouched");
    unit.getControl(buffer, 4);
    EXPECT_STREQ(buffer, "0.250000");
}

TEST(Parameter, LogScaleMapping) {
    CParameter p;
    p.setExpRange(50.0f, 20000.0f);
    EXPECT_EQ(p.logMax, std::log10(20000.0f));
    EXPECT_EQ(p.logMin, std::log10(50.0f));
    EXPECT_EQ(p.getSetExpValue(0.0f), 50.0f);
    EXPECT_EQ(p.getSetExpValue(1.0f), 20000.0f);
    EXPECT_NEAR(p.getSetExpValue(0.5f), 1000.0f, 0.05f);
    // Step by step in single precision.
    const float power = 0.7f * (std::log10(20000.0f) - std::log10(50.0f)) + std::log10(50.0f);
    EXPECT_EQ(p.getSetExpValue(0.7f), std::pow(10.0f, power));
    EXPECT_EQ(p.power, power);
    // Never outside the range, whatever the value.
    EXPECT_EQ(p.getSetExpValue(-3.0f), 50.0f);
    EXPECT_EQ(p.getSetExpValue(42.0f), 20000.0f);
    const float nanResult = p.getSetExpValue(std::nanf(""));
    EXPECT_TRUE(nanResult >= 50.0f && nanResult <= 20000.0f);
}

TEST(Parameter, IndexMappingStaysInBounds) {
    CParameter p;
    p.setIndexRange(0, 5, 5.99999f);
    EXPECT_EQ(p.getSetIndex(1.0f), 5);
    EXPECT_EQ(p.getSetIndex(0.9999f), 5);
    EXPECT_EQ(p.getSetIndex(0.1666f), 0);
    EXPECT_EQ(p.getSetIndex(0.1667f), 1);
    EXPECT_EQ(p.getSetIndex(-0.1f), 0);
    EXPECT_EQ(p.getSetIndex(1e30f), 5);
    EXPECT_EQ(p.getSetIndex(-1e30f), 0);
    EXPECT_EQ(p.getSetIndex(std::numeric_limits<float>::infinity()), 5);
    EXPECT_EQ(p.getSetIndex(std::nanf("")), 0);

    CParameter division;
    division.setIndexRange(0, 8, 8.99999f);
    EXPECT_EQ(division.getSetIndex(0.5f), 4);
    EXPECT_EQ(division.getSetIndex(0.7f), 6);
    EXPECT_EQ(division.indexIntermediate, 0.7f * 8.99999f);
}

TEST(Parameter, LinearMapping) {
    CParameter tempo;
    tempo.setLinearRange(50.0f, 250.0f);
    EXPECT_EQ(tempo.linSpan, 200.0f);
    EXPECT_EQ(tempo.getSetLinearValue(0.5f), 150.0f);
    EXPECT_EQ(tempo.linResult, 150.0f);
    CParameter pan;
    pan.setLinearRange(-100.0f, 100.0f);
    EXPECT_EQ(pan.getSetLinearValue(0.25f), -50.0f);
}

TEST(TextHelpers, Frequencies) {
    char t[32];
    frequencyStringConvert(0.0f, t);
    EXPECT_STREQ(t, "0.05K");
    frequencyStringConvert(1.0f, t);
    EXPECT_STREQ(t, "20.00K");
    frequencyStringConvert(0.5f, t);
    EXPECT_STREQ(t, "1.00K");
    frequencyStringConvert(0.5f, t, "%.2f");
    EXPECT_STREQ(t, "1.00");
}

TEST(TextHelpers, Tempo) {
    char t[32];
    bpmStringConvert(0.35f, t);
    EXPECT_STREQ(t, "120.00");
    EXPECT_EQ(textToBpm("49.9"), 120.0f);
    EXPECT_EQ(textToBpm("250"), 250.0f);
    EXPECT_EQ(textToBpm("250.01"), 120.0f);
    EXPECT_EQ(textToBpm("50"), 50.0f);
    EXPECT_EQ(textToBpm("fast"), 120.0f);
    EXPECT_EQ(textToBpm(""), 120.0f);
    EXPECT_EQ(textToBpm(nullptr), 120.0f);
    EXPECT_EQ(textToBpm("nan"), 120.0f);
    EXPECT_EQ(bpmToController(150.0f), 0.5f);
    EXPECT_EQ(bpmToController(textToBpm("300")), 0.35f);
}

TEST(TextHelpers, Percent) {
    char t[32];
    percentStringConvert(0.999f, t);
    EXPECT_STREQ(t, "99%");
    percentStringConvert(0.5f, t);
    EXPECT_STREQ(t, "50%");
    percentStringConvert(1e30f, t);  // no undefined conversion, whatever the value
    EXPECT_GT(std::strlen(t), 1u);
    percentStringConvert(std::nanf(""), t);
    EXPECT_STREQ(t, "0%");
}

TEST(Switch, ThresholdAndText) {
    COnOff s;
    char t[16];
    s.setOnOff(0.49f);
    EXPECT_FALSE(s.getOnOff());
    s.getOnOff(t);
    EXPECT_STREQ(t, "Off");
    s.setOnOff(0.5f);
    EXPECT_TRUE(s.getOnOff());
    s.getOnOff(t);
    EXPECT_STREQ(t, "On");
}

TEST(WetDryMixer, LinearCrossfade) {
    CWetDryMixer m;
    EXPECT_EQ(m.wet, 0.0f);
    EXPECT_EQ(m.dry, 0.0f);
    m.setMix(0.25f);
    EXPECT_EQ(m.wet, 0.25f);
    EXPECT_EQ(m.dry, 0.75f);
    EXPECT_EQ(m.wetPercent, 25.0f);
    char t[16];
    floatToString(m.wetPercent, t);
    EXPECT_STREQ(t, "25.00000");
    EXPECT_EQ(m.mix(2.0f, 4.0f), 2.0f * 0.25f + 4.0f * 0.75f);
    m.setMix(0.0f);
    EXPECT_EQ(m.mix(123.0f, -0.5f), -0.5f);
}

// The one rule every plug-in's units follow for a sample that is not finite.
TEST(NonFinite, BecomesSilenceAndFiniteSamplesStayBitForBit) {
    const float inf = std::numeric_limits<float>::infinity(), max = std::numeric_limits<float>::max();
    const float finite[] = {0.5f, -0.0f, max, -max, 1e-45f};
    for (float x : finite) {
        const float y = orvex::finiteOrSilence(x);
        EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << x;
    }
    for (float x : {inf, -inf, std::numeric_limits<float>::quiet_NaN()}) EXPECT_EQ(orvex::finiteOrSilence(x), 0.0f) << x;
    float lanes[4];
    _mm_storeu_ps(lanes, orvex::finiteOrSilence(_mm_setr_ps(inf, -max, NAN, -0.5f)));
    float block[4] = {inf, -max, NAN, -0.5f};
    orvex::silenceNonFinite(block, 4);
    for (const float* got : {lanes, block}) {
        EXPECT_EQ(got[0], 0.0f);
        EXPECT_EQ(got[1], -max);
        EXPECT_EQ(got[2], 0.0f);
        EXPECT_EQ(got[3], -0.5f);
    }
}
