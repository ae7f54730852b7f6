// The oversampled state-variable filter: its controls and texts, the glide of automated
// cutoff and resonance, the two processing forms checked bit for bit against a
// step-by-step computation written here from the algorithm, its frequency responses,
// and its behaviour with input no audio path should carry.
#include "dsp/statevariable.h"
#include "reference/svf_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace orvex {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kTwoPi = 6.283185307179586;

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

std::string text(CStateVariable& sv, int control) {
    char buffer[32] = "untouched";
    sv.getControl(buffer, control);
    return buffer;
}

// The normalised cutoff value that maps onto `hz` on the 50..20000 Hz log scale.
float cutoffValueFor(double hz) { return static_cast<float>(std::log(hz / 50.0) / std::log(400.0)); }

// The filter's arithmetic, written out step by step from its description (the model the
// panner's and the distortion's models split their bands with), built as the filter is:
// cutoff 0.7, resonance 0.2, drive 0.2, low-pass.
struct Reference : model::Svf {
    Reference(float sampleRate, FilterForm form) : Svf(sampleRate, 0, 0.2f, form == FilterForm::kBlock) {}
    float blockSample(float x) { return tick(x); }
};

// A test signal that visits what audio does: a sweep, noise, impulses, DC steps, a
// full-scale square and a tail decaying towards the subnormal range.
std::vector<float> mixedSignal(int count) {
    std::vector<float> s(count);
    std::uint32_t seed = 0x1234567u;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    };
    for (int i = 0; i < count; ++i) {
        const int segment = (i / 512) % 6;
        const int j = i % 512;
        switch (segment) {
            case 0: s[i] = 0.8f * static_cast<float>(std::sin(kTwoPi * (0.001 + 0.0004 * j) * j)); break;
            case 1: s[i] = noise(); break;
            case 2: s[i] = (j % 97 == 0) ? 1.0f : 0.0f; break;
            case 3: s[i] = j < 256 ? 0.9f : -0.9f; break;
            case 4: s[i] = (j / 20) % 2 ? 1.0f : -1.0f; break;
            default: s[i] = noise() * std::pow(10.0f, -0.06f * j); break;
        }
    }
    return s;
}

struct Settings {
    float cutoff, resonance, drive, sampleRate;
};
constexpr Settings kSettings[] = {
    {0.7f, 0.2f, 0.2f, 44100.0f},   // as built
    {0.35f, 0.9f, 0.0f, 44100.0f},  // low cutoff, strong resonance, full limiter
    {0.98f, 0.5f, 1.0f, 96000.0f},  // cutoff above the coefficient bound, linear
    {0.1f, 0.0f, 0.6f, 48000.0f},   // fully damped
};

void configure(CStateVariable& sv, Reference& ref, const Settings& s, int type) {
    sv.setControl(s.cutoff, kCtlCutoff);
    sv.setControl(s.resonance, kCtlResonance);
    sv.setControl(s.drive, kCtlDrive);
    sv.setType(type);
    ref.setCutoff(s.cutoff);
    ref.setResonance(s.resonance);
    ref.setDrive(s.drive);
    ref.type = type;
}

// ---------------------------------------------------------------------------------
// Controls and texts

TEST(StateVariableControls, FreshFilterShowsItsBuiltSettings) {
    CStateVariable sv(44100.0f);
    const std::string cutoff = text(sv, kCtlCutoff);
    EXPECT_EQ(cutoff.size(), 8u);
    EXPECT_NEAR(std::stod(cutoff), 3314.5, 1.0);  // 50 × 400^0.7
    EXPECT_EQ(text(sv, kCtlResonance), "20.00000");
    EXPECT_EQ(text(sv, kCtlDrive), "20.00000");
    EXPECT_EQ(text(sv, kCtlFilterType), "LowPass");
    EXPECT_EQ(text(sv, kCtlOnOff), "On");
    EXPECT_TRUE(sv.onOff.on);
    EXPECT_EQ(sv.type, 0);
    EXPECT_EQ(sv.selected, &sv.low);

    EXPECT_EQ(sv.oversampledRate, 88200.0f);
    EXPECT_EQ(sv.freqMax, 0.25f);
    EXPECT_EQ(sv.dampMax, 2.0f);
    EXPECT_FLOAT_EQ(sv.driveCoef, 0.08f);
    EXPECT_EQ(bits(sv.freqSet), bits(2.0f * (sv.cutoffParam.expResult * 3.1415927f / 88200.0f)));
    EXPECT_NEAR(sv.dampSet, 2.0 * (1.0 - std::pow(0.2, 0.25)), 1e-6);
    // Nothing has run yet: the coefficients in force and every output are still 0.
    EXPECT_EQ(sv.freq, 0.0f);
    EXPECT_EQ(sv.damp, 0.0f);
    for (float v : {sv.notch, sv.low, sv.band, sv.high, sv.peak, sv.output}) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(sv.freqRampCount, 0);
    EXPECT_EQ(sv.dampRampCount, 0);
}

TEST(StateVariableControls, NamesAndUnits) {
    CStateVariable sv(44100.0f);
    const char* names[] = {"Cutoff", "Resonance", "Drive", "Type", "OnOff"};
    const char* units[] = {"Hz", "% ", "% ", "  ", "  "};
    for (int control = 4; control <= 8; ++control) {
        char name[32] = {}, unit[32] = {};
        sv.getControlName(name, control);
        sv.getUnitOfMeasurement(unit, control);
        EXPECT_STREQ(name, names[control - 4]);
        EXPECT_STREQ(unit, units[control - 4]);
    }
}

TEST(StateVariableControls, NumbersOutsideFourToEightAreIgnored) {
    CStateVariable sv(44100.0f);
    for (int control : {-1, 0, 1, 2, 3, 9, 10, 34}) {
        char name[16] = "untouched", unit[16] = "untouched", value[16] = "untouched";
        sv.getControlName(name, control);
        sv.getUnitOfMeasurement(unit, control);
        sv.getControl(value, control);
        EXPECT_STREQ(name, "untouched") << control;
        EXPECT_STREQ(unit, "untouched") << control;
        EXPECT_STREQ(value, "untouched") << control;

        const float freqSet = sv.freqSet, dampSet = sv.dampSet, drive = sv.driveCoef;
        const int type = sv.type;
        sv.setControl(0.0f, control);
        sv.setControlAutomated(0.0f, control);
        EXPECT_EQ(bits(sv.freqSet), bits(freqSet));
        EXPECT_EQ(bits(sv.dampSet), bits(dampSet));
        EXPECT_EQ(bits(sv.driveCoef), bits(drive));
        EXPECT_EQ(sv.type, type);
        EXPECT_TRUE(sv.onOff.on);
        EXPECT_EQ(sv.freqRampCount, 0);
        EXPECT_EQ(sv.dampRampCount, 0);
    }
}

TEST(StateVariableControls, TypeControlReachesEveryResponse) {
    CStateVariable sv(44100.0f);
    struct Case {
        float value;
        int type;
        const char* name;
        float CStateVariable::*output;
    };
    const Case cases[] = {
        {1.0f, 4, "Peak", &CStateVariable::peak},      {0.0f, 0, "LowPass", &CStateVariable::low},
        {0.2f, 0, "LowPass", &CStateVariable::low},     {0.21f, 1, "BandPass", &CStateVariable::band},
        {0.5f, 2, "HiPass", &CStateVariable::high},     {0.7f, 3, "Notch", &CStateVariable::notch},
        {0.79f, 3, "Notch", &CStateVariable::notch},    {0.81f, 4, "Peak", &CStateVariable::peak},
        {-3.0f, 0, "LowPass", &CStateVariable::low},    {7.0f, 4, "Peak", &CStateVariable::peak},
        {kNaN, 0, "LowPass", &CStateVariable::low},
    };
    for (const Case& c : cases) {
        sv.setControl(c.value, kCtlFilterType);
        EXPECT_EQ(sv.type, c.type) << c.value;
        EXPECT_EQ(text(sv, kCtlFilterType), c.name) << c.value;
        EXPECT_EQ(sv.selected, &(sv.*c.output)) << c.value;
    }
}

TEST(StateVariableControls, SetTypeOutsideTheTableKeepsTheSelection) {
    CStateVariable sv(44100.0f);
    sv.setType(3);
    sv.setType(7);
    EXPECT_EQ(sv.type, 7);
    EXPECT_EQ(sv.selected, &sv.notch);
    EXPECT_EQ(text(sv, kCtlFilterType), "Notch");
    sv.setType(-1);
    EXPECT_EQ(sv.selected, &sv.notch);
    sv.setType(2);
    EXPECT_EQ(sv.selected, &sv.high);
    EXPECT_EQ(text(sv, kCtlFilterType), "HiPass");
}

TEST(StateVariableControls, ResonanceEndsGiveNoAndFullDamping) {
    for (FilterForm form : {FilterForm::kPerSample, FilterForm::kBlock}) {
        CStateVariable sv(44100.0f, form);
        EXPECT_EQ(sv.form(), form);
        sv.setControl(1.0f, kCtlResonance);
        EXPECT_EQ(sv.dampSet, 0.0f);
        EXPECT_EQ(text(sv, kCtlResonance), "100.0000");
        sv.setControl(0.0f, kCtlResonance);
        EXPECT_EQ(sv.dampSet, 2.0f);
        EXPECT_EQ(text(sv, kCtlResonance), "0.000000");
        sv.setControl(0.5f, kCtlResonance);
        EXPECT_NEAR(sv.dampSet, 0.3182072, 1e-6);
    }
}

TEST(StateVariableControls, ResonancePowerFollowsEachFormsPrecision) {
    // Sweep resonance values and require each form's exact rounding; the sweep includes
    // values where the single- and double-precision roots round differently, so a
    // filter that ignored its form would fail here.
    CStateVariable perSample(44100.0f, FilterForm::kPerSample);
    CStateVariable block(44100.0f, FilterForm::kBlock);
    int differing = 0;
    for (int i = 0; i <= 20000; ++i) {
        const float r = static_cast<float>(i) / 20000.0f;
        perSample.setControl(r, kCtlResonance);
        block.setControl(r, kCtlResonance);
        const float viaDouble = 2.0f * (1.0f - static_cast<float>(std::pow(static_cast<double>(r), 0.25)));
        const float viaSingle = 2.0f * (1.0f - std::pow(r, 0.25f));
        ASSERT_EQ(bits(perSample.dampSet), bits(viaDouble)) << r;
        ASSERT_EQ(bits(block.dampSet), bits(viaSingle)) << r;
        differing += bits(viaDouble) != bits(viaSingle);
    }
    RecordProperty("resonance values where the forms differ", differing);
}

TEST(StateVariableControls, DriveSetsLimiterAndDisplay) {
    CStateVariable sv(44100.0f);
    sv.setControl(1.0f, kCtlDrive);
    EXPECT_EQ(sv.driveCoef, 0.0f);
    EXPECT_EQ(text(sv, kCtlDrive), "100.0000");
    sv.setControl(0.0f, kCtlDrive);
    EXPECT_EQ(sv.driveCoef, 0.1f);
    EXPECT_EQ(text(sv, kCtlDrive), "0.000000");
    sv.setControl(0.25f, kCtlDrive);
    EXPECT_EQ(bits(sv.driveCoef), bits(0.1f * (1.0f - 0.25f)));
    EXPECT_EQ(text(sv, kCtlDrive), "25.00000");
}

TEST(StateVariableControls, OnOffControl) {
    CStateVariable sv(44100.0f);
    sv.setControl(0.49f, kCtlOnOff);
    EXPECT_FALSE(sv.onOff.on);
    EXPECT_EQ(text(sv, kCtlOnOff), "Off");
    sv.setControlAutomated(0.5f, kCtlOnOff);
    EXPECT_TRUE(sv.onOff.on);
    EXPECT_EQ(text(sv, kCtlOnOff), "On");
}

TEST(StateVariableControls, CoefficientIsBoundedAtAQuarter) {
    // 2πf / (2 × 44100) reaches 0.25 at about 3509 Hz.
    CStateVariable sv(44100.0f);
    sv.setControl(cutoffValueFor(3490.0), kCtlCutoff);
    sv.tick(0.0f);
    EXPECT_LT(sv.freq, 0.25f);
    EXPECT_EQ(sv.freq, sv.freqSet);
    for (double hz : {3530.0, 5000.0, 20000.0}) {
        sv.setControl(cutoffValueFor(hz), kCtlCutoff);
        EXPECT_GT(sv.freqSet, 0.25f);
        sv.tick(0.0f);
        EXPECT_EQ(sv.freq, 0.25f) << hz;
    }
    // Every cutoff above the bound sounds the same.
    CStateVariable a(44100.0f), b(44100.0f);
    a.setControl(cutoffValueFor(4000.0), kCtlCutoff);
    b.setControl(1.0f, kCtlCutoff);
    for (float x : mixedSignal(600)) ASSERT_EQ(bits(a.tick(x)), bits(b.tick(x)));
}

TEST(StateVariableControls, CutoffValuesOutsideTheRangeAreClamped) {
    CStateVariable sv(44100.0f);
    sv.setControl(-1.0f, kCtlCutoff);
    EXPECT_EQ(sv.cutoffParam.expResult, 50.0f);
    sv.setControl(3.0f, kCtlCutoff);
    EXPECT_EQ(sv.cutoffParam.expResult, 20000.0f);
    sv.setControl(kNaN, kCtlCutoff);
    EXPECT_TRUE(std::isfinite(sv.freqSet));
}

TEST(StateVariableControls, SampleRateReachesTheCoefficientAtTheNextCutoffChange) {
    CStateVariable sv(44100.0f);
    const float before = sv.freqSet;
    sv.setSampleRate(96000.0f);
    EXPECT_EQ(sv.oversampledRate, 192000.0f);
    EXPECT_EQ(sv.getSampleRate(), 96000.0f);
    EXPECT_EQ(bits(sv.freqSet), bits(before));
    sv.tick(0.0f);
    EXPECT_EQ(bits(sv.freq), bits(before));

    sv.setControl(0.5f, kCtlCutoff);
    EXPECT_EQ(bits(sv.freqSet), bits(2.0f * (sv.cutoffParam.expResult * 3.1415927f / 192000.0f)));
    EXPECT_NEAR(sv.cutoffParam.expResult, 1000.0f, 0.01f);
}

TEST(StateVariableControls, ValuesThatWouldDestabiliseTheFilterAreHeldInRange) {
    CStateVariable sv(44100.0f);
    // Resonance above 1 would give negative damping; below 0 or NaN a NaN power.
    for (float r : {1.5f, 1e9f, kInf}) {
        sv.setControl(r, kCtlResonance);
        EXPECT_EQ(sv.dampSet, 0.0f) << r;
        EXPECT_EQ(text(sv, kCtlResonance), "100.0000");
    }
    for (float r : {-0.5f, -kInf, kNaN}) {
        sv.setControl(r, kCtlResonance);
        EXPECT_EQ(sv.dampSet, 2.0f) << r;
    }
    // Drive above 1 would make the limiter add energy.
    for (float d : {2.0f, kInf}) {
        sv.setControl(d, kCtlDrive);
        EXPECT_EQ(sv.driveCoef, 0.0f) << d;
    }
    for (float d : {-1.0f, kNaN}) {
        sv.setControl(d, kCtlDrive);
        EXPECT_EQ(sv.driveCoef, 0.1f) << d;
    }
    // Sample rates that are not positive finite numbers are ignored.
    for (float rate : {0.0f, -44100.0f, kNaN, kInf}) {
        sv.setSampleRate(rate);
        EXPECT_EQ(sv.oversampledRate, 88200.0f) << rate;
        CStateVariable built(rate);
        EXPECT_EQ(built.oversampledRate, 88200.0f) << rate;
    }
}

// ---------------------------------------------------------------------------------
// Automated (gliding) cutoff and resonance

TEST(StateVariableGlide, NewTargetEvery32CallsReachedIn32EqualSteps) {
    CStateVariable sv(44100.0f);
    const float start = sv.freqSet;
    const std::string startText = text(sv, kCtlCutoff);
    for (int call = 1; call <= 31; ++call) {
        sv.setControlAutomated(0.2f, kCtlCutoff);
        ASSERT_EQ(bits(sv.freqSet), bits(start)) << call;
        ASSERT_EQ(sv.freqRampCount, call);
    }
    EXPECT_EQ(text(sv, kCtlCutoff), startText);  // the dropped values never reach the display

    sv.setControlAutomated(0.4f, kCtlCutoff);  // call 32 takes its value as the new target
    EXPECT_EQ(sv.freqRampCount, 0);
    const float target = 2.0f * (sv.cutoffParam.expResult * 3.1415927f / 88200.0f);
    EXPECT_EQ(bits(sv.freqRampTarget), bits(target));
    EXPECT_NEAR(sv.cutoffParam.expResult, 50.0 * std::pow(400.0, 0.4), 0.01);
    const float step = (target - start) * 0.03125f;
    EXPECT_EQ(bits(sv.freqRampStep), bits(step));
    EXPECT_EQ(bits(sv.freqSet), bits(start + step));

    float expected = start + step;
    for (int call = 33; call <= 63; ++call) {
        sv.setControlAutomated(0.9f, kCtlCutoff);  // ignored until call 64
        expected += step;
        ASSERT_EQ(bits(sv.freqSet), bits(expected)) << call;
    }
    EXPECT_NEAR(sv.freqSet, target, 1e-6f);

    sv.setControlAutomated(0.9f, kCtlCutoff);  // call 64: next target
    EXPECT_NEAR(sv.cutoffParam.expResult, 50.0 * std::pow(400.0, 0.9), 0.1);
}

TEST(StateVariableGlide, ResonanceGlidesAndItsDisplayFollowsTheTakenValues) {
    CStateVariable sv(44100.0f);
    const float start = sv.dampSet;
    for (int call = 1; call <= 31; ++call) sv.setControlAutomated(0.9f, kCtlResonance);
    EXPECT_EQ(bits(sv.dampSet), bits(start));
    EXPECT_EQ(text(sv, kCtlResonance), "20.00000");
    sv.setControlAutomated(0.5f, kCtlResonance);
    EXPECT_EQ(text(sv, kCtlResonance), "50.00000");
    const float target = 2.0f * (1.0f - static_cast<float>(std::pow(0.5, 0.25)));
    EXPECT_EQ(bits(sv.dampRampTarget), bits(target));
    for (int call = 33; call <= 63; ++call) sv.setControlAutomated(0.0f, kCtlResonance);
    EXPECT_NEAR(sv.dampSet, target, 1e-6f);
    // The glide never touches the cutoff, and the cutoff glide never the damping.
    EXPECT_EQ(sv.freqRampCount, 0);
}

TEST(StateVariableGlide, DriveTypeAndSwitchGoStraightThrough) {
    CStateVariable sv(44100.0f);
    sv.setControlAutomated(0.5f, kCtlDrive);
    EXPECT_EQ(bits(sv.driveCoef), bits(0.1f * (1.0f - 0.5f)));
    sv.setControlAutomated(0.5f, kCtlFilterType);
    EXPECT_EQ(sv.type, 2);
    sv.setControlAutomated(0.0f, kCtlOnOff);
    EXPECT_FALSE(sv.onOff.on);
}

TEST(StateVariableGlide, GlideToFullResonanceNeverLeavesNegativeDamping) {
    // Thirty-two rounded steps down to 0 end a little below it for about a third of
    // the start values; a negative damping would make the undamped filter grow.
    int wouldGoNegative = 0;
    for (int i = 0; i < 100; ++i) {
        const float startResonance = 0.01f * static_cast<float>(i);
        CStateVariable sv(44100.0f);
        Reference bare(44100.0f, FilterForm::kPerSample);
        sv.setControl(startResonance, kCtlResonance);
        bare.setResonance(startResonance);
        float lowest = bare.dampSet;
        for (int call = 1; call <= 63; ++call) {
            sv.setControlAutomated(1.0f, kCtlResonance);
            bare.automateResonance(1.0f);
            lowest = std::min(lowest, bare.dampSet);
            ASSERT_GE(sv.dampSet, 0.0f) << startResonance << " call " << call;
            // Above zero the floor changes nothing.
            if (bare.dampSet >= 0.0f) {
                ASSERT_EQ(bits(sv.dampSet), bits(bare.dampSet));
            }
        }
        EXPECT_LT(sv.dampSet, 1e-6f);
        wouldGoNegative += lowest < 0.0f;
    }
    EXPECT_GT(wouldGoNegative, 10);
}

// ---------------------------------------------------------------------------------
// Processing

TEST(StateVariableProcessing, SwitchedOffTickReturnsItsInputAndFreezesTheState) {
    CStateVariable sv(44100.0f);
    for (float x : mixedSignal(300)) sv.tick(x);
    sv.setControl(0.0f, kCtlOnOff);
    const float frozen[] = {sv.notch, sv.low, sv.band, sv.high, sv.peak, sv.output, sv.freq, sv.damp};
    const float inputs[] = {0.0f, -0.0f, 0.3f, -1.0f, 1e-40f, 123456.0f, kInf, -kInf,
                            std::bit_cast<float>(0x7fc12345u), std::bit_cast<float>(0xffa00001u)};
    for (float x : inputs) {
        const float y = sv.tick(x);
        EXPECT_EQ(bits(y), bits(x));
    }
    const float after[] = {sv.notch, sv.low, sv.band, sv.high, sv.peak, sv.output, sv.freq, sv.damp};
    EXPECT_EQ(std::memcmp(frozen, after, sizeof frozen), 0);

    // Switched on again it resumes from the frozen state: the same as a filter that
    // never saw the pause.
    CStateVariable twin(44100.0f);
    for (float x : mixedSignal(300)) twin.tick(x);
    sv.setControl(1.0f, kCtlOnOff);
    for (float x : mixedSignal(200)) ASSERT_EQ(bits(sv.tick(x)), bits(twin.tick(x)));
}

TEST(StateVariableProcessing, BlockFormIgnoresTheSwitchAndCountZeroWritesNothing) {
    CStateVariable sv(44100.0f, FilterForm::kBlock);
    sv.setControl(0.0f, kCtlOnOff);
    std::vector<float> in = mixedSignal(64), out(64, 7.0f);
    sv.processBlockNoUpdate(in.data(), out.data(), 0);
    for (float v : out) EXPECT_EQ(v, 7.0f);
    EXPECT_EQ(sv.low, 0.0f);
    sv.processBlockNoUpdate(in.data(), out.data(), -5);
    for (float v : out) EXPECT_EQ(v, 7.0f);

    sv.processBlockNoUpdate(in.data(), out.data(), 64);
    Reference ref(44100.0f, FilterForm::kBlock);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(bits(out[i]), bits(ref.blockSample(in[i]))) << i;
}

TEST(StateVariableProcessing, DampingNeverExceedsItsBound) {
    CStateVariable sv(44100.0f);
    sv.setControl(0.0f, kCtlResonance);  // asks for the full 2
    float previousFreq = sv.freq;
    const std::vector<float> signal = mixedSignal(2000);
    for (int i = 0; i < 2000; ++i) {
        sv.setControl(static_cast<float>(i % 100) / 99.0f, kCtlCutoff);
        sv.tick(signal[i]);
        const float bound = previousFreq == 0.0f ? 2.0f : std::min(2.0f, 2.0f / previousFreq);
        ASSERT_LE(sv.damp, bound);
        ASSERT_LE(sv.freq, 0.25f);
        previousFreq = sv.freq;
    }
    EXPECT_EQ(sv.damp, 2.0f);
}

TEST(StateVariableProcessing, FirstSampleWorkedByHand) {
    // From rest with input x, coefficient F, damping D and limiter c:
    //   pass 1: notch = x, low = 0, high = x, band = F·x
    //   pass 2: notch = x − D·F·x, low = F·F·x, high = notch − low,
    //           band = F·high + F·x − F·x·(F·x·c·F·x)
    // and Peak's first half still reads the peak of the previous sample, 0.
    const float x = 0.75f;
    for (int type = 0; type < 5; ++type) {
        CStateVariable sv(44100.0f, FilterForm::kBlock);
        sv.setType(type);
        float out = 0.0f;
        sv.processBlockNoUpdate(&x, &out, 1);

        const float F = sv.freqSet, D = sv.dampSet, c = sv.driveCoef;
        const float band1 = F * x;
        const float firstHalf[] = {0.0f, band1, x, x, 0.0f};
        const float notch2 = x - D * band1;
        const float low2 = F * band1 + 0.0f;
        const float high2 = notch2 - low2;
        const float band2 = F * high2 + band1 - band1 * (band1 * c * band1);
        const float peak2 = low2 - high2;
        const float secondHalf[] = {low2, band2, high2, notch2, peak2};
        EXPECT_EQ(bits(out), bits(0.5f * secondHalf[type] + 0.5f * firstHalf[type])) << type;
        EXPECT_EQ(bits(sv.low), bits(low2));
        EXPECT_EQ(bits(sv.band), bits(band2));
        EXPECT_EQ(bits(sv.peak), bits(peak2));
    }
}

// ---------------------------------------------------------------------------------
// Bit-for-bit against the step-by-step computation

TEST(StateVariableReference, TickMatchesForEveryResponse) {
    const std::vector<float> signal = mixedSignal(3072);
    for (int type = 0; type < 5; ++type) {
        for (const Settings& s : kSettings) {
            CStateVariable sv(s.sampleRate, FilterForm::kPerSample);
            Reference ref(s.sampleRate, FilterForm::kPerSample);
            configure(sv, ref, s, type);
            for (std::size_t i = 0; i < signal.size(); ++i)
                ASSERT_EQ(bits(sv.tick(signal[i])), bits(ref.tick(signal[i])))
                    << "type " << type << " cutoff " << s.cutoff << " sample " << i;
            EXPECT_LT(ref.maxCubicFactor, 1.0f);  // the limiter cap never engaged
            EXPECT_EQ(bits(sv.low), bits(ref.low));
            EXPECT_EQ(bits(sv.band), bits(ref.band));
        }
    }
}

TEST(StateVariableReference, BlockMatchesForEveryResponseAndBlockSize) {
    const std::vector<float> signal = mixedSignal(3072);
    const int blockSizes[] = {1, 7, 32, 64, 333, 512};
    for (int type = 0; type < 5; ++type) {
        for (const Settings& s : kSettings) {
            CStateVariable sv(s.sampleRate, FilterForm::kBlock);
            Reference ref(s.sampleRate, FilterForm::kBlock);
            configure(sv, ref, s, type);
            std::vector<float> out(signal.size());
            std::size_t pos = 0;
            for (int b = 0; pos < signal.size(); ++b) {
                const int n = std::min<int>(blockSizes[b % 6], static_cast<int>(signal.size() - pos));
                sv.processBlockNoUpdate(signal.data() + pos, out.data() + pos, n);
                pos += n;
            }
            for (std::size_t i = 0; i < signal.size(); ++i)
                ASSERT_EQ(bits(out[i]), bits(ref.blockSample(signal[i])))
                    << "type " << type << " cutoff " << s.cutoff << " sample " << i;
            EXPECT_LT(ref.maxCubicFactor, 1.0f);
        }
    }
}

TEST(StateVariableReference, TickAddsTheAntiDenormalOffsetAndTheBlockFormDoesNot) {
    // On a silent input the tick form's offset is all that moves the state.
    CStateVariable perSample(44100.0f), block(44100.0f, FilterForm::kBlock);
    std::vector<float> zeros(16, 0.0f), out(16);
    for (float z : zeros) perSample.tick(z);
    block.processBlockNoUpdate(zeros.data(), out.data(), 16);
    EXPECT_GT(perSample.low, 0.0f);
    EXPECT_EQ(block.low, 0.0f);
    for (float v : out) EXPECT_EQ(bits(v), 0u);
}

TEST(StateVariableReference, GlidedPathMatchesInBothForms) {
    const std::vector<float> signal = mixedSignal(1600);
    for (int type = 0; type < 5; ++type) {
        // Per-sample form: both controls automated on every sample, as a host does.
        {
            CStateVariable sv(44100.0f, FilterForm::kPerSample);
            Reference ref(44100.0f, FilterForm::kPerSample);
            sv.setType(type);
            ref.type = type;
            for (int n = 0; n < 1600; ++n) {
                const float cutoff = 0.5f + 0.4f * static_cast<float>(std::sin(0.011 * n));
                const float resonance = 0.45f + 0.4f * static_cast<float>(std::sin(0.017 * n + 1.0));
                sv.setControlAutomated(cutoff, kCtlCutoff);
                sv.setControlAutomated(resonance, kCtlResonance);
                ref.automateCutoff(cutoff);
                ref.automateResonance(resonance);
                ASSERT_EQ(bits(sv.freqSet), bits(ref.freqSet)) << n;
                ASSERT_EQ(bits(sv.dampSet), bits(ref.dampSet)) << n;
                ASSERT_EQ(bits(sv.tick(signal[n])), bits(ref.tick(signal[n]))) << "type " << type << " sample " << n;
            }
            EXPECT_LT(ref.maxCubicFactor, 1.0f);
        }
        // Block form: one automated call per block of 8, at 96 kHz.
        {
            CStateVariable sv(96000.0f, FilterForm::kBlock);
            Reference ref(96000.0f, FilterForm::kBlock);
            sv.setType(type);
            ref.type = type;
            std::vector<float> out(8);
            for (int b = 0; b < 200; ++b) {
                const float cutoff = 0.6f + 0.35f * static_cast<float>(std::sin(0.07 * b));
                const float resonance = 0.5f + 0.45f * static_cast<float>(std::cos(0.05 * b));
                sv.setControlAutomated(cutoff, kCtlCutoff);
                sv.setControlAutomated(resonance, kCtlResonance);
                ref.automateCutoff(cutoff);
                ref.automateResonance(resonance);
                sv.processBlockNoUpdate(signal.data() + 8 * b, out.data(), 8);
                for (int i = 0; i < 8; ++i)
                    ASSERT_EQ(bits(out[i]), bits(ref.blockSample(signal[8 * b + i]))) << "type " << type << " block " << b;
            }
            EXPECT_LT(ref.maxCubicFactor, 1.0f);
        }
    }
}

// ---------------------------------------------------------------------------------
// Frequency responses

// Steady-state gain in dB of a sine of `hz` through `run`, after half a second to settle.
template <typename Run>
double gainDb(Run run, double hz, float amplitude, float sampleRate) {
    const int n = static_cast<int>(sampleRate);
    std::vector<float> in(n), out(n);
    for (int i = 0; i < n; ++i) in[i] = amplitude * static_cast<float>(std::sin(kTwoPi * hz * i / sampleRate));
    run(in.data(), out.data(), n);
    double ein = 0, eout = 0;
    for (int i = n / 2; i < n; ++i) {
        ein += static_cast<double>(in[i]) * in[i];
        eout += static_cast<double>(out[i]) * out[i];
    }
    return 10.0 * std::log10(eout / ein);
}

double svfCurveDb(int type, double ratio, double d) {
    // Analogue state-variable responses with ratio r = f / fc and damping d.
    const double re = 1.0 - ratio * ratio, im = d * ratio;
    const double den = std::sqrt(re * re + im * im);
    const double num[] = {1.0, ratio, ratio * ratio, std::fabs(1.0 - ratio * ratio), 1.0 + ratio * ratio};
    return 20.0 * std::log10(num[type] / den);
}

TEST(StateVariableResponse, SmallSignalsFollowTheStateVariableCurves) {
    // Drive 1.0 makes the filter linear; cutoff 1 kHz, resonance 0.2 (damping 0.6625).
    for (FilterForm form : {FilterForm::kPerSample, FilterForm::kBlock}) {
        for (int type = 0; type < 5; ++type) {
            for (double hz : {100.0, 500.0, 1000.0, 2000.0, 10000.0}) {
                if (type == 3 && hz == 1000.0) continue;  // the notch itself, below
                CStateVariable sv(44100.0f, form);
                sv.setControl(0.5f, kCtlCutoff);
                sv.setControl(1.0f, kCtlDrive);
                sv.setType(type);
                const double d = sv.dampSet;
                const double measured = gainDb(
                    [&](const float* in, float* out, int n) {
                        if (form == FilterForm::kBlock)
                            sv.processBlockNoUpdate(in, out, n);
                        else
                            for (int i = 0; i < n; ++i) out[i] = sv.tick(in[i]);
                    },
                    hz, 0.01f, 44100.0f);
                // Peak's first half is the previous sample's peak: the mean of two
                // successive samples, a further cos(πf/fs).
                const double expected = svfCurveDb(type, hz / 1000.0, d) +
                                        (type == 4 ? 20.0 * std::log10(std::cos(kTwoPi / 2.0 * hz / 44100.0)) : 0.0);
                EXPECT_NEAR(measured, expected, 1.0) << "type " << type << " at " << hz;
            }
        }
    }
    CStateVariable notch(44100.0f);
    notch.setControl(0.5f, kCtlCutoff);
    notch.setControl(1.0f, kCtlDrive);
    notch.setType(3);
    const double depth =
        gainDb([&](const float* in, float* out, int n) { for (int i = 0; i < n; ++i) out[i] = notch.tick(in[i]); }, 1000.0,
               0.01f, 44100.0f);
    EXPECT_LT(depth, -40.0);
}

TEST(StateVariableResponse, LowPassPassesLowAndStopsHighAndHighPassTheReverse) {
    auto run = [](int type, double hz) {
        CStateVariable sv(44100.0f);
        sv.setControl(0.5f, kCtlCutoff);  // 1 kHz, drive and resonance as built
        sv.setType(type);
        return gainDb([&](const float* in, float* out, int n) { for (int i = 0; i < n; ++i) out[i] = sv.tick(in[i]); },
                      hz, 0.5f, 44100.0f);
    };
    EXPECT_NEAR(run(0, 100.0), 0.0, 1.0);
    EXPECT_LT(run(0, 10000.0), -30.0);
    EXPECT_NEAR(run(2, 10000.0), 0.0, 1.0);
    EXPECT_LT(run(2, 100.0), -30.0);
}

TEST(StateVariableResponse, LimiterCompressesALoudResonantBand) {
    auto bandGain = [](float drive, float amplitude) {
        CStateVariable sv(44100.0f);
        sv.setControl(0.5f, kCtlCutoff);
        sv.setControl(drive, kCtlDrive);
        sv.setType(1);
        return gainDb([&](const float* in, float* out, int n) { for (int i = 0; i < n; ++i) out[i] = sv.tick(in[i]); },
                      1000.0, amplitude, 44100.0f);
    };
    const double quiet = bandGain(0.2f, 0.01f);
    EXPECT_NEAR(quiet, 20.0 * std::log10(1.0 / 0.6625), 0.2);  // 1 / damping at the centre
    EXPECT_LT(bandGain(0.2f, 0.5f), quiet - 2.0);
    EXPECT_LT(bandGain(0.0f, 0.5f), bandGain(0.2f, 0.5f));
    EXPECT_NEAR(bandGain(1.0f, 0.5f), quiet, 0.2);  // no limiting at drive 1.0
}

// ---------------------------------------------------------------------------------
// Input no audio path should carry

TEST(StateVariableSafety, NonFiniteSampleInTickFormCostsOneSampleOnly) {
    const std::vector<float> signal = mixedSignal(700);
    for (float bad : {kNaN, kInf, -kInf}) {
        for (int type = 0; type < 5; ++type) {
            CStateVariable sv(44100.0f);
            sv.setType(type);
            for (int i = 0; i < 300; ++i) ASSERT_TRUE(std::isfinite(sv.tick(signal[i])));
            const float atBad = sv.tick(bad);
            EXPECT_EQ(atBad, 0.0f) << bad << " type " << type;
            EXPECT_TRUE(std::isfinite(sv.low) && std::isfinite(sv.band));

            // From the next sample on it is a filter starting from rest.
            CStateVariable fresh(44100.0f);
            fresh.setType(type);
            for (int i = 301; i < 700; ++i)
                ASSERT_EQ(bits(sv.tick(signal[i])), bits(fresh.tick(signal[i]))) << bad << " type " << type << " " << i;
        }
    }
}

TEST(StateVariableSafety, NonFiniteSampleInBlockFormIsGoneByTheNextBlock) {
    const std::vector<float> signal = mixedSignal(192);
    for (float bad : {kNaN, kInf, -kInf}) {
        for (int type = 0; type < 5; ++type) {
            CStateVariable sv(44100.0f, FilterForm::kBlock), clean(44100.0f, FilterForm::kBlock);
            sv.setType(type);
            clean.setType(type);
            std::vector<float> in = signal, out(192), cleanOut(192);
            in[64 + 10] = bad;
            sv.processBlockNoUpdate(in.data(), out.data(), 64);
            sv.processBlockNoUpdate(in.data() + 64, out.data() + 64, 64);
            clean.processBlockNoUpdate(signal.data(), cleanOut.data(), 128);
            for (int i = 0; i < 128; ++i) ASSERT_TRUE(std::isfinite(out[i])) << bad << " " << i;
            // Before the bad sample the block is untouched; from it on it is silence.
            for (int i = 64; i < 74; ++i) ASSERT_EQ(bits(out[i]), bits(cleanOut[i]));
            for (int i = 75; i < 128; ++i) ASSERT_EQ(out[i], 0.0f);

            sv.processBlockNoUpdate(in.data() + 128, out.data() + 128, 64);
            CStateVariable fresh(44100.0f, FilterForm::kBlock);
            fresh.setType(type);
            std::vector<float> freshOut(64);
            fresh.processBlockNoUpdate(signal.data() + 128, freshOut.data(), 64);
            for (int i = 0; i < 64; ++i) ASSERT_EQ(bits(out[128 + i]), bits(freshOut[i])) << bad << " " << i;
        }
    }
}

TEST(StateVariableSafety, LimiterCapLeavesFullScaleSignalsAsTheCubicMakesThem) {
    // Full resonance, the strongest limiting, full-scale sines at the cutoff and a
    // full-scale square: the worst an ordinary signal can do. Bit for bit the bare cubic.
    for (float drive : {0.0f, 0.2f, 0.5f, 0.9f}) {
        for (double hz : {200.0, 1000.0, 3314.0, 8000.0}) {
            CStateVariable sv(44100.0f, FilterForm::kBlock);
            Reference ref(44100.0f, FilterForm::kBlock);
            const float cutoff = cutoffValueFor(hz);
            configure(sv, ref, {cutoff, 1.0f, drive, 44100.0f}, 1);
            const int n = 44100;
            std::vector<float> in(n), out(n);
            for (int i = 0; i < n; ++i)
                in[i] = i < n / 2 ? static_cast<float>(std::sin(kTwoPi * hz * i / 44100.0))
                                  : ((i / std::max(1, static_cast<int>(22050.0 / hz))) % 2 ? 1.0f : -1.0f);
            sv.processBlockNoUpdate(in.data(), out.data(), n);
            for (int i = 0; i < n; ++i) ASSERT_EQ(bits(out[i]), bits(ref.blockSample(in[i]))) << drive << " " << hz << " " << i;
            EXPECT_LT(ref.maxCubicFactor, 1.0f);
        }
    }
}

TEST(StateVariableSafety, LoudInputStaysFiniteWhereTheBareCubicDiverges) {
    // A +20 dBFS sine and then square wave at the cutoff, full resonance, no drive: the
    // bare cubic overshoots and runs away to infinity; the filter keeps a bounded state.
    const int n = 88200;
    std::vector<float> in(n);
    for (int i = 0; i < n; ++i)
        in[i] = i < n / 2 ? 10.0f * static_cast<float>(std::sin(kTwoPi * 3314.0 * i / 44100.0))
                          : ((i / 6) % 2 ? 10.0f : -10.0f);
    Reference bare(44100.0f, FilterForm::kPerSample);
    CStateVariable sv(44100.0f);
    bare.setResonance(1.0f);
    bare.setDrive(0.0f);
    sv.setControl(1.0f, kCtlResonance);
    sv.setControl(0.0f, kCtlDrive);
    bool bareDiverged = false;
    float loudest = 0.0f;
    for (int i = 0; i < n; ++i) {
        bareDiverged = bareDiverged || !std::isfinite(bare.tick(in[i]));
        const float y = sv.tick(in[i]);
        ASSERT_TRUE(std::isfinite(y)) << i;
        loudest = std::max(loudest, std::fabs(y));
    }
    EXPECT_TRUE(bareDiverged);
    EXPECT_LT(loudest, 20.0f);
    EXPECT_LT(std::fabs(sv.band), 10.0f);
}

TEST(StateVariableSafety, FiniteInputOfAnySizeGivesFiniteOutput) {
    // Every response, both forms, limiter strengths from none to full, both resonance
    // ends, inputs from +20 dBFS up to the largest float.
    const int n = 4096;
    for (float amplitude : {10.0f, 1000.0f, 1e6f, 1e30f, FLT_MAX}) {
        std::vector<float> in(n);
        std::uint32_t seed = 99;
        for (int i = 0; i < n; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
            in[i] = i < n / 2 ? amplitude * static_cast<float>(std::sin(kTwoPi * 3000.0 * i / 44100.0))
                              : (i < 3 * n / 4 ? amplitude * noise : (i % 2 ? amplitude : -amplitude));
        }
        for (float drive : {0.0f, 0.2f, 0.9f, 0.99f, 1.0f}) {
            for (float resonance : {0.0f, 0.5f, 1.0f}) {
                for (int type = 0; type < 5; ++type) {
                    CStateVariable perSample(44100.0f), block(44100.0f, FilterForm::kBlock);
                    for (CStateVariable* sv : {&perSample, &block}) {
                        sv->setControl(drive, kCtlDrive);
                        sv->setControl(resonance, kCtlResonance);
                        sv->setType(type);
                    }
                    std::vector<float> out(n);
                    block.processBlockNoUpdate(in.data(), out.data(), n);
                    float loudest = 0.0f;
                    for (int i = 0; i < n; ++i) {
                        const float y = perSample.tick(in[i]);
                        ASSERT_TRUE(std::isfinite(y) && std::isfinite(out[i]))
                            << amplitude << " drive " << drive << " res " << resonance << " type " << type << " " << i;
                        loudest = std::max({loudest, std::fabs(y), std::fabs(out[i])});
                    }
                    // Up to +60 dBFS the output also stays in proportion to the input.
                    if (amplitude <= 1000.0f && drive < 1.0f) {
                        EXPECT_LT(loudest, 4.0f * amplitude);
                    }
                }
            }
        }
    }
}

TEST(StateVariableSafety, AnOverflowingStateIsCaughtNotPassedOn) {
    // A state already near the top of the float range (only absurd input leaves one)
    // overflows at the next sample; both forms return to rest instead of giving inf.
    for (int type = 0; type < 5; ++type) {
        CStateVariable sv(44100.0f);
        sv.setType(type);
        sv.low = -3e38f;
        sv.band = 3e38f;
        EXPECT_TRUE(std::isfinite(sv.tick(3e38f)));
        EXPECT_TRUE(std::isfinite(sv.tick(0.5f)));

        CStateVariable block(44100.0f, FilterForm::kBlock);
        block.setType(type);
        block.low = -3e38f;
        block.band = 3e38f;
        const float in[2] = {3e38f, 0.5f};
        float out[2];
        block.processBlockNoUpdate(in, out, 2);
        EXPECT_TRUE(std::isfinite(out[0]) && std::isfinite(out[1]));
        EXPECT_EQ(block.low, 0.0f);
    }
}

TEST(StateVariableSafety, UndampedLinearFilterStaysBoundedOnDc) {
    // Drive 1.0 and resonance 1.0: no damping and no limiter. A DC step starts an
    // oscillation around the step that neither grows nor dies away; 60 seconds.
    for (FilterForm form : {FilterForm::kPerSample, FilterForm::kBlock}) {
        for (float cutoff : {0.0f, 0.5f, 1.0f}) {
            CStateVariable sv(44100.0f, form);
            sv.setControl(1.0f, kCtlDrive);
            sv.setControl(1.0f, kCtlResonance);
            sv.setControl(cutoff, kCtlCutoff);
            sv.setType(2);
            std::vector<float> ones(44100, 1.0f), out(44100);
            float firstSecond = 0.0f, lastSecond = 0.0f;
            for (int second = 0; second < 60; ++second) {
                if (form == FilterForm::kBlock)
                    sv.processBlockNoUpdate(ones.data(), out.data(), 44100);
                else
                    for (int i = 0; i < 44100; ++i) out[i] = sv.tick(1.0f);
                float loudest = 0.0f;
                for (float y : out) loudest = std::max(loudest, std::fabs(y));
                if (second == 0) firstSecond = loudest;
                if (second == 59) lastSecond = loudest;
                ASSERT_LE(loudest, 1.01f) << second;  // the high-pass swings within ±1
                ASSERT_LE(std::fabs(sv.low), 2.01f);
            }
            EXPECT_NEAR(lastSecond, firstSecond, 0.02f);
        }
    }
}

TEST(StateVariableSafety, UndampedLinearFilterGrowsOnlyLinearlyAtItsResonance) {
    // Driven exactly at its resonance the undamped filter gains the same amount every
    // second: after 60 s a unit sine has built up to some 10^5, twice the 30 s value,
    // finite and far from overflow (the growth stops once the input drops below the
    // state's rounding step, near 10^8).
    CStateVariable sv(44100.0f);
    sv.setControl(1.0f, kCtlDrive);
    sv.setControl(1.0f, kCtlResonance);
    sv.setType(2);
    sv.tick(0.0f);
    const double f = sv.freq;
    const double perSample = 2.0 * std::acos(1.0 - f * f / 2.0);  // two passes of the oscillator
    double at30 = 0.0, at60 = 0.0;
    for (long i = 1; i <= 60L * 44100; ++i) {
        const float y = sv.tick(static_cast<float>(std::sin(perSample * static_cast<double>(i))));
        ASSERT_TRUE(std::isfinite(y));
        if (i <= 30L * 44100) at30 = std::max(at30, static_cast<double>(std::fabs(y)));
        at60 = std::max(at60, static_cast<double>(std::fabs(y)));
    }
    EXPECT_GT(at30, 1e4);
    EXPECT_NEAR(at60 / at30, 2.0, 0.2);
}

}  // namespace
}  // namespace orvex
