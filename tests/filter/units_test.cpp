// The filter plug-in's own units: the natural-log cutoff map, the per-sample LFO with
// its double-precision sine, the state-variable stage's updates every 32 samples and
// glides, the pole filter, the shaper and the CV generator, with their exact figures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "plugins/filter/lfo.h"
#include "plugins/filter/shaper.h"
#include "plugins/filter/statevariable.h"

using namespace orvex;
using namespace orvex::filter;

namespace {

template <class Unit, class Call>
std::string text(Unit& unit, Call call, int control) {
    char buffer[32] = "untouched";
    (unit.*call)(buffer, control);
    return buffer;
}
template <class Unit> std::string value(Unit& u, int c) { return text(u, &Unit::getControl, c); }
template <class Unit> std::string name(Unit& u, int c) { return text(u, &Unit::getControlName, c); }
template <class Unit> std::string unitOf(Unit& u, int c) { return text(u, &Unit::getUnitOfMeasurement, c); }

// Runs `stage` over `n` samples of a constant input with constant modulation.
template <class Stage>
std::vector<float> run(Stage& stage, int n, float cutoff, float resonance, float input = 0.25f) {
    std::vector<float> in(n, input), out(n), c(n, cutoff), r(n, resonance);
    const float* modulation[2] = {c.data(), r.data()};
    stage.process(in.data(), out.data(), modulation, n);
    return out;
}

double expectedDamping(double f, double r) { return std::min({2.0, 2.0 / f - 0.5 * f, 2.0 * (1.0 - std::pow(r, 0.25))}); }

}  // namespace

TEST(FilterParameter, NaturalLogMapEndsMeanAndAgreementWithBaseTen) {
    filter::CParameter natural;
    orvex::CParameter decimal;
    natural.setExpRange(30.0f, 21609.0f);
    decimal.setExpRange(30.0f, 21609.0f);
    EXPECT_EQ(natural.logMin, std::log(30.0f));
    EXPECT_EQ(natural.logMax, std::log(21609.0f));
    EXPECT_EQ(natural.getSetExpValue(0.0f), 30.0f);
    EXPECT_EQ(natural.getSetExpValue(1.0f), 21609.0f);
    EXPECT_NEAR(natural.getSetExpValue(0.5f), std::sqrt(30.0 * 21609.0), 0.01);
    // The branch-free limit works at the magnitude of min + max: its results are
    // steps of 2^-10 Hz and finer, off the base-10 form by up to a thousandth of a hertz.
    double worst = 0;
    for (float v = 0.0f; v <= 1.0f; v += 0.01f) {
        const float hz = natural.getSetExpValue(v);
        worst = std::max(worst, std::fabs(hz - decimal.getSetExpValue(v)) - 4e-6 * decimal.expResult);
    }
    EXPECT_LT(worst, 1e-3);
    for (float outside : {-1.0f, -INFINITY, NAN}) EXPECT_EQ(natural.getSetExpValue(outside), 30.0f) << outside;
    for (float outside : {2.0f, 1e30f, INFINITY}) EXPECT_EQ(natural.getSetExpValue(outside), 21609.0f) << outside;
}

TEST(FilterLfo, DoublePrecisionSineAndOneValuePerSample) {
    filter::CLfo lfo(44100.0f);
    orvex::CLfo shared(44100.0f);
    int differing = 0;
    for (int i = 0; i < 257; ++i) {
        const float s = static_cast<float>(std::sin(static_cast<double>(i * 0.00390625f) * 6.283185307179586));
        ASSERT_EQ(lfo.getWaveTable(0)[i], (s + 1.0f) * 0.5f) << i;
        differing += lfo.getWaveTable(0)[i] != shared.getWaveTable(0)[i];
        for (int w = 1; w < 6; ++w) ASSERT_EQ(lfo.getWaveTable(w)[i], shared.getWaveTable(w)[i]);
    }
    EXPECT_GT(differing, 0);  // the precision is audible in the table
    lfo.setControl(0.25f, kCtlDivision);  // 1 bar
    lfo.setControl(0.6f, kCtlWaveform);   // square: 1 then 0 from entry 128
    std::vector<float> out(300);
    lfo.setSongPosition(2.0f);  // half a bar: phase 128.5, locked at the first sample
    lfo.process(out.data(), 300);
    EXPECT_EQ(out[0], 0.0f);
    float expected = 128.5f;  // one float addition per sample
    for (int i = 0; i < 300; ++i) expected += lfo.getPhaseIncrement();
    EXPECT_EQ(lfo.getPhase(), expected);
    const float phase = lfo.getPhase();
    lfo.process(out.data(), 1);  // the same position does not lock again
    EXPECT_EQ(lfo.getPhase(), phase + lfo.getPhaseIncrement());
    lfo.setSongPosition(NAN);
    lfo.process(out.data(), 1);
    EXPECT_EQ(lfo.getPhase(), phase + 2 * lfo.getPhaseIncrement());
    lfo.setSongPosition(3.999f);  // just before the bar: the phase is near 256 and wraps
    lfo.setSampleRate(1e-3f);     // an increment of many cycles per sample
    lfo.setControl(1e9f, kCtlBpm);
    lfo.process(out.data(), 300);
    EXPECT_GE(lfo.getPhase(), 0.0f);
    EXPECT_LT(lfo.getPhase(), 256.0f);
    for (float v : out) ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
}

TEST(FilterStateVariable, BuiltCoefficientsTextsAndControls) {
    filter::CStateVariable sv(44100.0f);
    EXPECT_EQ(sv.cutoffHz, 21609.0);
    const double f = 2.0 * std::sin(std::numbers::pi * 0.245);
    EXPECT_NEAR(sv.freq, f, 1e-15);
    EXPECT_NEAR(sv.damp, 2.0 / f - 0.5 * f, 1e-15);
    const char* controls[] = {"Cutoff", "Resonance", "Drive", "Type", "OnOff"};
    const char* units[] = {"Hz", "% ", "% ", "  ", "  "};
    for (int c = 4; c <= 8; ++c) {
        EXPECT_EQ(name(sv, c), controls[c - 4]);
        EXPECT_EQ(unitOf(sv, c), units[c - 4]);
    }
    for (int c : {3, 9, 20}) EXPECT_EQ(name(sv, c) + unitOf(sv, c) + value(sv, c), "untoucheduntoucheduntouched");
    EXPECT_EQ(value(sv, 4), "21609.00");
    EXPECT_EQ(value(sv, 6), "0.0");
    const std::pair<float, const char*> types[] = {{0.0f, "LowPass"}, {0.2f, "LowPass"}, {0.21f, "BandPass"},
                                                   {0.4f, "BandPass"}, {0.41f, "HiPass"}, {0.6f, "HiPass"},
                                                   {0.61f, "Notch"}, {0.81f, "Peak"}, {1.0f, "Peak"}, {7.0f, "Peak"}};
    for (auto [v, type] : types) {
        sv.setControlAutomated(v, kCtlFilterType);
        EXPECT_EQ(value(sv, 7), type) << v;
    }
    sv.setControlAutomated(0.49f, kCtlOnOff);
    EXPECT_EQ(value(sv, 8), "InActive");
    sv.setControl(0.5f, kCtlOnOff);
    EXPECT_EQ(value(sv, 8), "Active");
}

TEST(FilterStateVariable, UpdatesEvery32SamplesGlidesIn32StepsFloorsTheResonance) {
    filter::CStateVariable sv(44100.0f);
    const double built = sv.freq;
    run(sv, 31, 0.5f, 0.0f);
    EXPECT_EQ(sv.freq, built);  // no update yet
    run(sv, 1, 0.5f, 0.0f);
    const float hz = filter::CParameter(sv.cutoffParam).getSetExpValue(0.5f);
    EXPECT_EQ(sv.cutoffHz, hz);
    EXPECT_EQ(sv.resonance, 0.06);  // the floor
    const double target = 2.0 * std::sin(std::numbers::pi * hz / 88200.0);
    EXPECT_NEAR(sv.freqTarget, target, 1e-15);
    EXPECT_NEAR(sv.dampTarget, 2.0 * (1.0 - std::pow(0.06, 0.25)), 1e-15);
    EXPECT_NEAR(sv.dampTarget, 1.0102, 1e-4);
    EXPECT_EQ(sv.freqStep, (target - built) * 0.03125);
    EXPECT_NEAR(sv.freq, built + sv.freqStep, 1e-15);
    run(sv, 31, 0.5f, 0.0f);
    EXPECT_NEAR(sv.freq, target, 1e-14);  // reached on the sample before the next update
    EXPECT_NEAR(sv.damp, sv.dampTarget, 1e-14);
    // Resonance 0.06 and anything below it are the same; 1 takes the damping to 0.
    for (float r : {0.06f, -1.0f, NAN}) {
        sv.resetModulationCount();
        run(sv, 1, 0.0f, r);
        EXPECT_NEAR(sv.dampTarget, 2.0 * (1.0 - std::pow(0.06, 0.25)), 1e-6) << r;  // the float 0.06 or the floor
    }
    sv.resetModulationCount();
    run(sv, 1, 0.0f, 1.0f);
    EXPECT_EQ(sv.cutoffHz, 30.0);
    EXPECT_EQ(sv.dampTarget, 0.0);
    EXPECT_EQ(value(sv, 4), "30.00000");
    EXPECT_EQ(value(sv, 5), "100.0000");
    sv.resetModulationCount();
    run(sv, 1, 1.0f, 5.0f);  // the top of the range is bounded by the stability limit
    EXPECT_EQ(sv.cutoffHz, 21609.0);
    EXPECT_EQ(sv.dampTarget, expectedDamping(sv.freqTarget, 1.0));
}

TEST(FilterStateVariable, SwitchedOffCopiesAndFreezesNonFiniteInputIsMendedInTheBlock) {
    filter::CStateVariable sv(48000.0f);
    run(sv, 100, 0.3f, 0.9f);
    const double low = sv.low, band = sv.band;
    sv.setControl(0.0f, kCtlOnOff);
    std::vector<float> in = {0.1f, -3.0f, 1e-30f, NAN}, out(4), cv(4, 0.5f);
    const float* modulation[2] = {cv.data(), cv.data()};
    sv.process(in.data(), out.data(), modulation, 4);
    sv.process(in.data(), in.data(), modulation, 4);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], in[i]);
    EXPECT_TRUE(std::isnan(out[3]));
    EXPECT_EQ(sv.low, low);
    EXPECT_EQ(sv.band, band);
    sv.setControl(1.0f, kCtlOnOff);
    in = {0.1f, INFINITY, 0.2f, 0.3f};
    sv.process(in.data(), out.data(), modulation, 4);
    for (float v : out) EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::isfinite(sv.low) && std::isfinite(sv.band));
}

TEST(FilterPoleVariable, TwoPolesAreTheFirstStageFourPolesBothInSeries) {
    filter::CPoleVariable pv(44100.0f);
    filter::CStateVariable alone(44100.0f), first(44100.0f), second(44100.0f);
    pv.setControl(0.0f, kCtlPole);
    EXPECT_EQ(value(pv, kCtlPole) + name(pv, kCtlPole) + unitOf(pv, kCtlPole), "2Pole  ");
    EXPECT_EQ(unitOf(pv, 5) + unitOf(pv, 9), "% untouched");
    pv.setControl(0.6f, kCtlFilterType);
    for (auto* sv : {&alone, &first, &second}) sv->setControl(0.6f, kCtlFilterType), sv->resetModulationCount();
    EXPECT_EQ(run(pv, 500, 0.6f, 0.7f, 0.3f), run(alone, 500, 0.6f, 0.7f, 0.3f));
    pv.setControl(0.5f, kCtlPole);
    EXPECT_EQ(value(pv, kCtlPole), "4");
    run(first, 500, 0.6f, 0.7f, 0.3f);  // where the first stage stands now
    first.resetModulationCount();
    std::vector<float> c(300, 0.2f), r(300, 0.4f), in(300), expected(300);
    for (int i = 0; i < 300; ++i) in[i] = std::sin(i * 0.1f);
    const float* modulation[2] = {c.data(), r.data()};
    first.process(in.data(), expected.data(), modulation, 300);
    second.process(expected.data(), expected.data(), modulation, 300);
    std::vector<float> got(300);
    pv.process(in.data(), got.data(), modulation, 300);
    EXPECT_EQ(got, expected);
}

// The stereo form runs both channels and both stages in one pass; every sample must be
// what each channel computes alone, also where a non-finite input is mended between the
// stages.
TEST(FilterPoleVariable, StereoPassIsEachChannelAloneAlsoWhenMended) {
    for (float pole : {0.0f, 1.0f}) {
        filter::CPoleVariable left(44100.0f), right(44100.0f), leftAlone(44100.0f), rightAlone(44100.0f);
        for (auto* pv : {&left, &right, &leftAlone, &rightAlone}) pv->setControl(pole, kCtlPole);
        const int n = 200;
        std::vector<float> c(n), r(n), inL(n), inR(n), outL(n), outR(n), expL(n), expR(n);
        for (int i = 0; i < n; ++i) {
            c[i] = 0.5f + 0.4f * std::sin(i * 0.05f), r[i] = 0.6f + 0.3f * std::sin(i * 0.03f);
            inL[i] = std::sin(i * 0.1f), inR[i] = 0.5f * std::sin(i * 0.17f + 1.0f);
        }
        inL[50] = NAN, inR[70] = INFINITY, inL[120] = -INFINITY, inL[121] = 3e38f;
        const float* modulation[2] = {c.data(), r.data()};
        for (int block = 0; block < 3; ++block) {
            filter::CPoleVariable::processPair(left, right, inL.data(), inR.data(), outL.data(), outR.data(), modulation, n);
            leftAlone.process(inL.data(), expL.data(), modulation, n);
            rightAlone.process(inR.data(), expR.data(), modulation, n);
            EXPECT_EQ(outL, expL) << pole << " " << block;
            EXPECT_EQ(outR, expR) << pole << " " << block;
            inL[50] = inR[70] = inL[120] = 0.25f;
        }
    }
}

TEST(FilterShaper, CurveFiguresAndBounds) {
    CWaveShaper1 shaper;
    EXPECT_EQ(shaper.process(0.7f), 0.0f);  // no drive set yet: silent
    EXPECT_EQ(name(shaper, 99) + unitOf(shaper, 0), "Drive%");
    shaper.setControl(0.0f, 0);
    EXPECT_EQ(shaper.curve, 1.9215688f);
    EXPECT_EQ(shaper.gain, 2.9215689f);
    EXPECT_NEAR(shaper.process(1.0f), 1.0f, 1e-7f);
    EXPECT_EQ(shaper.process(0.0f), 0.0f);
    EXPECT_EQ(shaper.process(-0.3f), -shaper.process(0.3f));
    shaper.setControl(0.5f, 0);
    EXPECT_EQ(shaper.curve, 5.6923079f);
    EXPECT_EQ(value(shaper, 3), "50.00000");
    shaper.setControl(1.0f, 7);
    EXPECT_NEAR(shaper.curve, 198.0002f, 1e-3f);
    EXPECT_NEAR(shaper.process(0.01f), 1.99f / 2.98f, 1e-3f);
    EXPECT_NEAR(shaper.process(1e38f), shaper.gain / shaper.curve, 1e-6f);
    shaper.setControl(1.5f, 0);  // held at full drive, not a division by zero
    EXPECT_NEAR(shaper.curve, 198.0002f, 1e-3f);
    // The block form, four at a time, gives each sample's scalar figure, bounds and NaN included.
    const std::vector<float> x = {0.3f, -0.0f, 2e30f, -INFINITY, NAN, 1e-3f, -0.7f, 3e38f, 0.5f};
    const std::vector<float> dry = {0.1f, 0.2f, -0.3f, 0.4f, 0.5f, -0.6f, 0.7f, 0.8f, 0.9f};
    std::vector<float> out(x.size());
    CWaveShaper1::saturateAndBlend(x.data(), dry.data(), out.data(), 9, shaper.gain, shaper.curve, 0.6f, 0.4f);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const float expected = shaper.process(x[i]) * 0.6f + dry[i] * 0.4f;
        EXPECT_TRUE(std::memcmp(&out[i], &expected, sizeof expected) == 0) << i << " " << out[i] << " " << expected;
    }
}

TEST(FilterCvGenerator, OffsetPlusSignedDepthLimitedToZeroOne) {
    CCvGenerator cv;
    std::vector<float> lfo(101), out(101);
    for (int i = 0; i <= 100; ++i) lfo[i] = i * 0.01f;
    const struct { float depth, offset; } cases[] = {{0.5f, 0.3f}, {1.0f, 0.8f}, {0.0f, 0.2f}, {0.75f, 0.5f}};
    for (auto [depth, offset] : cases) {
        cv.depth = depth;
        cv.offset = offset;
        cv.process(lfo.data(), out.data(), 101);
        for (int i = 0; i <= 100; ++i)
            ASSERT_NEAR(out[i], std::clamp((2 * depth - 1) * lfo[i] + offset, 0.0f, 1.0f), 1e-7f) << depth << " " << i;
    }
}
