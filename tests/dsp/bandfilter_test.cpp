// The three-way band splitter: its controls, how it routes them to its three filters,
// its per-sample (panner) and whole-block (distortion plug-in) processing, the shape
// of the split, and recovery from non-finite input.
#include "dsp/bandfilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace orvex {
namespace {

constexpr double kTwoPi = 6.283185307179586;

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

float cutoffValueFor(double hz) { return static_cast<float>(std::log(hz / 50.0) / std::log(400.0)); }

std::vector<float> noiseAndTones(int count) {
    std::vector<float> s(count);
    std::uint32_t seed = 4711;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        s[i] = 0.4f * noise + 0.3f * static_cast<float>(std::sin(kTwoPi * 150.0 * i / 44100.0)) +
               0.3f * static_cast<float>(std::sin(kTwoPi * 6000.0 * i / 44100.0));
    }
    return s;
}

// Three stand-alone filters set up as the band filter describes its own.
struct ThreeFilters {
    explicit ThreeFilters(float rate, FilterForm form) : high(rate, form), band(rate, form), low(rate, form) {
        high.setType(2);
        high.setControl(0.0f, kCtlResonance);
        band.setType(1);
        band.setControl(0.5f, kCtlResonance);
        low.setType(0);
        low.setControl(0.0f, kCtlResonance);
    }
    CStateVariable high, band, low;
};

TEST(BandFilterControls, ControlNamesAndUnits) {
    CBandFilter bf(44100.0f);
    for (int control : {0, 1, 2, 3, 7, -1, 1000}) {
        char text[32] = "untouched", unit[32] = "untouched";
        bf.getControlName(text, control);
        bf.getUnitOfMeasurement(unit, control);
        EXPECT_STREQ(text, "Center Freq") << control;
        EXPECT_STREQ(unit, "Hz") << control;
    }
}

TEST(BandFilterControls, BuiltFiltersHaveTheirResponsesAndDamping) {
    for (FilterForm form : {FilterForm::kPerSample, FilterForm::kBlock}) {
        CBandFilter bf(44100.0f, form);
        EXPECT_EQ(bf.lowFilter.type, 0);
        EXPECT_EQ(bf.bandFilter.type, 1);
        EXPECT_EQ(bf.highFilter.type, 2);
        EXPECT_EQ(bf.lowFilter.dampSet, 2.0f);
        EXPECT_EQ(bf.highFilter.dampSet, 2.0f);
        EXPECT_NEAR(bf.bandFilter.dampSet, 0.3182, 1e-4);
        const float root = form == FilterForm::kPerSample ? static_cast<float>(std::pow(0.5, 0.25)) : std::pow(0.5f, 0.25f);
        EXPECT_EQ(bits(bf.bandFilter.dampSet), bits(2.0f * (1.0f - root)));
        for (CStateVariable* sv : {&bf.lowFilter, &bf.bandFilter, &bf.highFilter}) {
            EXPECT_EQ(sv->form(), form);
            EXPECT_TRUE(sv->onOff.on);
            EXPECT_FLOAT_EQ(sv->driveCoef, 0.08f);
            EXPECT_EQ(sv->oversampledRate, 88200.0f);
        }
        // All three cutoffs at about 3314 Hz until the owner sets them.
        for (int control = 0; control < 3; ++control) {
            char text[32] = {};
            bf.getControl(text, control);
            EXPECT_NEAR(std::stod(text), 3314.5, 1.0) << control;
        }
    }
}

TEST(BandFilterControls, EachControlReachesItsOwnFiltersCutoff) {
    CBandFilter bf(44100.0f);
    CStateVariable* byControl[] = {&bf.lowFilter, &bf.bandFilter, &bf.highFilter};
    const float values[] = {0.1f, 0.5f, 0.9f};
    for (int control = 0; control < 3; ++control) {
        const float others[] = {bf.lowFilter.freqSet, bf.bandFilter.freqSet, bf.highFilter.freqSet};
        bf.setControl(values[control], control);
        for (int k = 0; k < 3; ++k) {
            if (k == control)
                EXPECT_NE(byControl[k]->freqSet, others[k]);
            else
                EXPECT_EQ(bits(byControl[k]->freqSet), bits(others[k]));
        }
        char mine[32] = {}, direct[32] = {};
        bf.getControl(mine, control);
        byControl[control]->getControl(direct, kCtlCutoff);
        EXPECT_STREQ(mine, direct);
        EXPECT_NEAR(std::stod(mine), 50.0 * std::pow(400.0, values[control]), 0.05);
    }
}

TEST(BandFilterControls, OtherNumbersChangeAndWriteNothing) {
    CBandFilter bf(44100.0f);
    for (int control : {3, 4, 5, 7, 8, -1}) {
        const float before[] = {bf.lowFilter.freqSet, bf.bandFilter.freqSet, bf.highFilter.freqSet,
                                bf.lowFilter.dampSet, bf.bandFilter.dampSet, bf.highFilter.dampSet};
        bf.setControl(0.0f, control);
        bf.setControlAutomated(0.0f, control);
        const float after[] = {bf.lowFilter.freqSet, bf.bandFilter.freqSet, bf.highFilter.freqSet,
                               bf.lowFilter.dampSet, bf.bandFilter.dampSet, bf.highFilter.dampSet};
        for (int k = 0; k < 6; ++k) EXPECT_EQ(bits(after[k]), bits(before[k])) << control;
        for (CStateVariable* sv : {&bf.lowFilter, &bf.bandFilter, &bf.highFilter}) {
            EXPECT_TRUE(sv->onOff.on);
            EXPECT_EQ(sv->freqRampCount, 0);
        }
        char text[16] = "untouched";
        bf.getControl(text, control);
        EXPECT_STREQ(text, "untouched") << control;
    }
}

TEST(BandFilterControls, AutomatedCutoffGlidesInTheChosenFilterOnly) {
    CBandFilter bf(44100.0f);
    const float start = bf.bandFilter.freqSet;
    for (int call = 1; call <= 32; ++call) bf.setControlAutomated(0.3f, 1);
    EXPECT_EQ(bf.bandFilter.freqRampCount, 0);
    EXPECT_EQ(bits(bf.bandFilter.freqSet), bits(start + bf.bandFilter.freqRampStep));
    EXPECT_LT(bf.bandFilter.freqSet, start);
    EXPECT_EQ(bf.lowFilter.freqRampCount, 0);
    EXPECT_EQ(bf.highFilter.freqRampCount, 0);
    bf.setControlAutomated(0.3f, 0);
    bf.setControlAutomated(0.3f, 2);
    EXPECT_EQ(bf.lowFilter.freqRampCount, 1);
    EXPECT_EQ(bf.highFilter.freqRampCount, 1);
}

TEST(BandFilterControls, SampleRateReachesAllThreeFilters) {
    CBandFilter bf(44100.0f);
    const float before = bf.lowFilter.freqSet;
    bf.setSampleRate(48000.0f);
    for (CStateVariable* sv : {&bf.lowFilter, &bf.bandFilter, &bf.highFilter}) EXPECT_EQ(sv->oversampledRate, 96000.0f);
    EXPECT_EQ(bf.getSampleRate(), 48000.0f);
    EXPECT_EQ(bits(bf.lowFilter.freqSet), bits(before));
    bf.setControl(0.5f, 0);
    EXPECT_EQ(bits(bf.lowFilter.freqSet), bits(2.0f * (bf.lowFilter.cutoffParam.expResult * 3.1415927f / 96000.0f)));
}

TEST(BandFilterProcessing, PerSampleFormIsThreeTicksOnTheSameInput) {
    const std::vector<float> signal = noiseAndTones(2048);
    CBandFilter bf(44100.0f);
    ThreeFilters ref(44100.0f, FilterForm::kPerSample);
    bf.setControl(0.2f, 0);
    bf.setControl(0.5f, 1);
    bf.setControl(0.8f, 2);
    ref.low.setControl(0.2f, kCtlCutoff);
    ref.band.setControl(0.5f, kCtlCutoff);
    ref.high.setControl(0.8f, kCtlCutoff);

    // First half through `tick`, second half through `process` in uneven blocks.
    for (int i = 0; i < 1024; ++i) {
        float l = 0, b = 0, h = 0;
        bf.tick(signal[i], &l, &b, &h);
        ASSERT_EQ(bits(l), bits(ref.low.tick(signal[i])));
        ASSERT_EQ(bits(b), bits(ref.band.tick(signal[i])));
        ASSERT_EQ(bits(h), bits(ref.high.tick(signal[i])));
    }
    std::vector<float> l(1024), b(1024), h(1024);
    bf.process(signal.data() + 1024, l.data(), b.data(), h.data(), 100);
    bf.process(signal.data() + 1124, l.data() + 100, b.data() + 100, h.data() + 100, 924);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(bits(l[i]), bits(ref.low.tick(signal[1024 + i]))) << i;
        ASSERT_EQ(bits(b[i]), bits(ref.band.tick(signal[1024 + i]))) << i;
        ASSERT_EQ(bits(h[i]), bits(ref.high.tick(signal[1024 + i]))) << i;
    }
}

TEST(BandFilterProcessing, PerSampleFormPassesInputThroughASwitchedOffFilter) {
    CBandFilter bf(44100.0f);
    bf.bandFilter.setControl(0.0f, kCtlOnOff);
    const std::vector<float> signal = noiseAndTones(256);
    std::vector<float> l(256), b(256), h(256);
    bf.process(signal.data(), l.data(), b.data(), h.data(), 256);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(bits(b[i]), bits(signal[i]));
    EXPECT_EQ(bf.bandFilter.low, 0.0f);
    EXPECT_NE(bf.lowFilter.low, 0.0f);
}

TEST(BandFilterProcessing, BlockFormIsThreeWholeBlockPasses) {
    std::vector<float> signal = noiseAndTones(2048);
    signal[700] = std::numeric_limits<float>::infinity();  // a block that starts again from rest
    CBandFilter bf(48000.0f, FilterForm::kBlock);
    ThreeFilters ref(48000.0f, FilterForm::kBlock);
    bf.setControl(0.25f, 0);
    bf.setControl(0.55f, 1);
    bf.setControl(0.85f, 2);
    ref.low.setControl(0.25f, kCtlCutoff);
    ref.band.setControl(0.55f, kCtlCutoff);
    ref.high.setControl(0.85f, kCtlCutoff);
    std::vector<float> l(2048), b(2048), h(2048), rl(2048), rb(2048), rh(2048);
    for (int pos = 0; pos < 2048; pos += 256) {
        bf.processBlocks(signal.data() + pos, l.data() + pos, b.data() + pos, h.data() + pos, 256);
        ref.low.processBlockNoUpdate(signal.data() + pos, rl.data() + pos, 256);
        ref.band.processBlockNoUpdate(signal.data() + pos, rb.data() + pos, 256);
        ref.high.processBlockNoUpdate(signal.data() + pos, rh.data() + pos, 256);
    }
    for (int i = 0; i < 2048; ++i) {
        ASSERT_EQ(bits(l[i]), bits(rl[i])) << i;
        ASSERT_EQ(bits(b[i]), bits(rb[i])) << i;
        ASSERT_EQ(bits(h[i]), bits(rh[i])) << i;
    }
}

TEST(BandFilterProcessing, BlockFormLeavesASwitchedOffFiltersBufferAsItWas) {
    CBandFilter bf(44100.0f, FilterForm::kBlock);
    bf.highFilter.setControl(0.0f, kCtlOnOff);
    const std::vector<float> signal = noiseAndTones(128);
    std::vector<float> l(128, 5.0f), b(128, 5.0f), h(128, 5.0f);
    bf.processBlocks(signal.data(), l.data(), b.data(), h.data(), 128);
    for (float v : h) ASSERT_EQ(v, 5.0f);
    EXPECT_EQ(bf.highFilter.low, 0.0f);
    EXPECT_NE(l[100], 5.0f);
    EXPECT_NE(b[100], 5.0f);
    // No anti-denormal offset in this form: silence in, exact silence out.
    CBandFilter quiet(44100.0f, FilterForm::kBlock);
    std::vector<float> zeros(64, 0.0f);
    quiet.processBlocks(zeros.data(), l.data(), b.data(), h.data(), 64);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(bits(l[i]) | bits(b[i]) | bits(h[i]), 0u);
}

TEST(BandFilterProcessing, CountZeroWritesNothingInEitherForm) {
    for (FilterForm form : {FilterForm::kPerSample, FilterForm::kBlock}) {
        CBandFilter bf(44100.0f, form);
        const float in[4] = {1.0f, -1.0f, 0.5f, 0.25f};
        float l[4] = {9, 9, 9, 9}, b[4] = {9, 9, 9, 9}, h[4] = {9, 9, 9, 9};
        bf.process(in, l, b, h, 0);
        bf.processBlocks(in, l, b, h, 0);
        bf.process(in, l, b, h, -3);
        bf.processBlocks(in, l, b, h, -3);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(l[i] + b[i] + h[i], 27.0f);
        for (CStateVariable* sv : {&bf.lowFilter, &bf.bandFilter, &bf.highFilter}) {
            EXPECT_EQ(sv->low, 0.0f);
            EXPECT_EQ(sv->freq, 0.0f);
        }
    }
}

// Steady-state level in dB of each band and of their sum for a sine of `hz`.
struct Split {
    double low, band, high, sum;
};
Split splitDb(CBandFilter& bf, bool blockForm, double hz) {
    const int n = 44100;
    std::vector<float> in(n), l(n), b(n), h(n);
    for (int i = 0; i < n; ++i) in[i] = 0.25f * static_cast<float>(std::sin(kTwoPi * hz * i / 44100.0));
    if (blockForm)
        bf.processBlocks(in.data(), l.data(), b.data(), h.data(), n);
    else
        bf.process(in.data(), l.data(), b.data(), h.data(), n);
    double ei = 0, el = 0, eb = 0, eh = 0, es = 0;
    for (int i = n / 2; i < n; ++i) {
        const double s = static_cast<double>(l[i]) + b[i] + h[i];
        ei += static_cast<double>(in[i]) * in[i];
        el += static_cast<double>(l[i]) * l[i];
        eb += static_cast<double>(b[i]) * b[i];
        eh += static_cast<double>(h[i]) * h[i];
        es += s * s;
    }
    auto db = [ei](double e) { return 10.0 * std::log10(e / ei); };
    return {db(el), db(eb), db(eh), db(es)};
}

TEST(BandFilterResponse, EachBandOwnsItsRegionAndTheSumStaysNearTheInput) {
    // Crossovers as a user sets them: low 200 Hz, middle 1 kHz, high 5 kHz.
    for (bool blockForm : {false, true}) {
        auto makeSplitter = [&] {
            auto bf = std::make_unique<CBandFilter>(44100.0f, blockForm ? FilterForm::kBlock : FilterForm::kPerSample);
            bf->setControl(cutoffValueFor(200.0), 0);
            bf->setControl(cutoffValueFor(1000.0), 1);
            bf->setControl(cutoffValueFor(5000.0), 2);
            return bf;
        };
        {
            auto bf = makeSplitter();
            const Split s = splitDb(*bf, blockForm, 50.0);
            EXPECT_NEAR(s.low, 0.0, 1.0);
            EXPECT_GT(s.low, s.band + 20.0);
            EXPECT_GT(s.low, s.high + 40.0);
        }
        {
            auto bf = makeSplitter();
            const Split s = splitDb(*bf, blockForm, 1000.0);
            // The middle band peaks at its centre: 1 / 0.3182 is +10 dB, a little less
            // at this level because the limiter already holds it back.
            EXPECT_GT(s.band, 5.0);
            EXPECT_LT(s.band, 10.0);
            EXPECT_GT(s.band, s.low + 20.0);
            EXPECT_GT(s.band, s.high + 20.0);
        }
        {
            auto bf = makeSplitter();
            const Split s = splitDb(*bf, blockForm, 15000.0);
            EXPECT_NEAR(s.high, 0.0, 2.0);
            EXPECT_GT(s.high, s.band + 20.0);
            EXPECT_GT(s.high, s.low + 40.0);
        }
        // Across the audio band the three never all fall away together and never add up
        // to a large boost.
        for (double hz : {30.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
            auto bf = makeSplitter();
            const Split s = splitDb(*bf, blockForm, hz);
            EXPECT_GT(s.sum, -15.0) << hz;
            EXPECT_LT(s.sum, 10.0) << hz;
            EXPECT_GT(std::max({s.low, s.band, s.high}), -10.0) << hz;
        }
    }
}

TEST(BandFilterSafety, NonFiniteInputIsGoneByTheNextBlockInBothForms) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (bool blockForm : {false, true}) {
        for (float bad : {nan, inf, -inf}) {
            CBandFilter bf(44100.0f, blockForm ? FilterForm::kBlock : FilterForm::kPerSample);
            std::vector<float> in = noiseAndTones(192), l(192), b(192), h(192);
            in[70] = bad;
            for (int pos = 0; pos < 192; pos += 64) {
                if (blockForm)
                    bf.processBlocks(in.data() + pos, l.data() + pos, b.data() + pos, h.data() + pos, 64);
                else
                    bf.process(in.data() + pos, l.data() + pos, b.data() + pos, h.data() + pos, 64);
            }
            for (int i = 0; i < 192; ++i)
                ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(b[i]) && std::isfinite(h[i])) << blockForm << " " << i;
            // The block form is back to a splitter starting from rest at the next block,
            // the per-sample form at the next sample.
            const int from = blockForm ? 128 : 71;
            const int n = 192 - from;
            CBandFilter fresh(44100.0f, blockForm ? FilterForm::kBlock : FilterForm::kPerSample);
            std::vector<float> fl(n), fb(n), fh(n);
            if (blockForm)
                fresh.processBlocks(in.data() + from, fl.data(), fb.data(), fh.data(), n);
            else
                fresh.process(in.data() + from, fl.data(), fb.data(), fh.data(), n);
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(bits(l[from + i]), bits(fl[i])) << blockForm << " " << i;
                ASSERT_EQ(bits(b[from + i]), bits(fb[i])) << blockForm << " " << i;
                ASSERT_EQ(bits(h[from + i]), bits(fh[i])) << blockForm << " " << i;
            }
        }
    }
}

}  // namespace
}  // namespace orvex
