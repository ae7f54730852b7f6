// The distortion's units on their own: each algorithm's worked values, the hold and
// quantiser sequences across blocks, the overflow and non-finite mends, and the block's
// step selection, texts and gains.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "plugins/distortion/distortionblock.h"

using namespace orvex::distortion;

namespace {

float run(CDistortion& a, float x) {
    float y = 0;
    a.process(&x, &y, 1);
    return y;
}

std::vector<float> run(CDistortion& a, const std::vector<float>& x) {
    std::vector<float> y(x.size(), -7.0f);
    a.process(x.data(), y.data(), static_cast<int>(x.size()));
    return y;
}

std::string text(std::function<void(char*)> write) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[31] = 0;
    write(buffer);
    return buffer;
}

}  // namespace

TEST(DistortionAlgorithms, AnihilatorFoldsAndClipsAboveTheThreshold) {
    CDistortion1 a(44100.0f);
    EXPECT_FLOAT_EQ(a.phaseScale, 8.0110617f);
    EXPECT_FLOAT_EQ(a.normGain, 1.0124652f);
    EXPECT_FLOAT_EQ(a.threshold, 0.39215687f);
    EXPECT_EQ(run(a, 0.4f), 1.0f);
    EXPECT_NEAR(run(a, 0.3f), 0.6814f, 1e-4f);
    EXPECT_NEAR(run(a, -0.3f), -0.6814f, 1e-4f);  // no clip below
    EXPECT_EQ(run(a, -0.3f), std::sin(-0.3f * a.phaseScale) * a.normGain);
    // At the top of the knob 1 / sin(m pi) would be about -1.48 million: held at -10.
    a.setControl(1.0f, 0);
    EXPECT_EQ(a.phaseScale, 15.707964f);
    EXPECT_EQ(a.normGain, -10.0f);
    EXPECT_LE(std::fabs(run(a, -0.05f)), 10.0f);
    // Wherever the gain is within the limit it is exactly the reciprocal sine.
    int unlimited = 0;
    for (int i = 0; i <= 1000; ++i) {
        const float d = static_cast<float>(i) / 1000.0f;
        a.setControl(d, 0);
        const float exact = static_cast<float>(1.0 / std::sin(static_cast<double>((4.9f * d + 0.1f) * 3.1415927f)));
        if (std::fabs(exact) <= 10.0f) {
            EXPECT_EQ(a.normGain, exact) << d;
            ++unlimited;
        } else {
            EXPECT_EQ(a.normGain, std::copysign(10.0f, exact)) << d;
        }
    }
    EXPECT_GT(unlimited, 900);
}

TEST(DistortionAlgorithms, CurvesAtTheirWorkedValues) {
    CDistortion3 tube(44100.0f);
    tube.setControl(0.0f, 0);
    EXPECT_EQ(run(tube, 0.7f), 0.0f);
    tube.setControl(1.0f, 0);
    EXPECT_EQ(run(tube, 1.0f), 1.0f);
    EXPECT_EQ(run(tube, 2.0f), -1.0f);

    CDistortion4 slaughter(44100.0f);
    EXPECT_FLOAT_EQ(slaughter.curve, 5.692308f);
    EXPECT_EQ(run(slaughter, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(run(slaughter, 0.5f), 0.87f);
    slaughter.setControl(0.0f, 0);
    EXPECT_NEAR(slaughter.curve, 1.9216f, 1e-4f);
    slaughter.setControl(1.0f, 0);
    EXPECT_NEAR(slaughter.curve, 198.0f, 1e-3f);

    CDistortion5 destroy(44100.0f);
    EXPECT_EQ(destroy.knee, 501.0f);
    EXPECT_EQ(run(destroy, 1.0f), 502.0f / 502.0f);
    EXPECT_EQ(run(destroy, -0.5f), (0.5f + 501.0f) * -0.5f / (0.25f + 0.5f * 500.0f + 1.0f));

    CDistortion9 intimdator(44100.0f);
    EXPECT_EQ(run(intimdator, -0.25f), 0.25f);  // rectified
    EXPECT_EQ(run(intimdator, 1.0f), 0.625f);
    EXPECT_EQ(run(intimdator, -0.5f), -0.5f);   // magnitude equal to the drive: the sample itself
    intimdator.setControl(1.0f, 0);
    EXPECT_EQ(run(intimdator, 5.0f), 1.0f);

    CDistortion10 violator(44100.0f);
    EXPECT_EQ(violator.clipLevel, 0.275f);
    EXPECT_FLOAT_EQ(run(violator, 0.3f), 0.55f);
    EXPECT_FLOAT_EQ(run(violator, 7.0f), 0.55f);
    EXPECT_FLOAT_EQ(run(violator, -1.0f), -0.55f);
    EXPECT_FLOAT_EQ(run(violator, 0.1f), 0.2f);

    CDistortion8 top(44100.0f);
    EXPECT_EQ(top.power, 38.0f);
    EXPECT_FLOAT_EQ(top.invPower, 0.02631579f);
    const float a = std::pow(0.9f, 38.0f);
    EXPECT_EQ(run(top, 0.9f), std::sin(0.9f) * std::pow(a / (a * a * 0.28f + 1.0f), 1.0f / 38.0f));

    CDistortion2 soft(44100.0f);
    const float c = 2.0f * 0.5f * 0.8f * 0.686306f;
    const float expected = (std::exp(c) - std::exp(-c * (1.0f + std::exp(-0.75f * std::sqrt(c))))) /
                           (std::exp(-c) + std::exp(c));
    EXPECT_EQ(run(soft, 0.8f), expected);
    EXPECT_LT(run(soft, -3.0f), -1.0f);  // asymmetric: overshoots below

    CDistortion bypass(44100.0f);
    std::vector<float> buffer = {0.1f, -2.0f, 3.5f};
    bypass.process(buffer.data(), buffer.data(), 3);
    EXPECT_EQ(buffer, (std::vector<float>{0.1f, -2.0f, 3.5f}));
}

TEST(DistortionAlgorithms, OverflowingPowersGiveTheirLimits) {
    CDistortion2 soft(44100.0f);
    soft.setControl(1.0f, 0);
    for (float x : {65.0f, 100.0f, 1e6f, 3e38f}) {
        EXPECT_EQ(run(soft, x), 1.0f) << x;
        EXPECT_EQ(run(soft, -x), -1.0f) << x;
    }
    CDistortion8 top(44100.0f);
    for (float d : {0.5f, 1.0f}) {
        top.setControl(d, 0);
        for (float x : {11.0f, 30.0f, -30.0f, 1e6f}) EXPECT_EQ(run(top, x), 0.0f) << d << " " << x;
    }
}

TEST(DistortionAlgorithms, EveryAlgorithmStaysFiniteForFiniteInput) {
    CDistortionBlock block(44100.0f);
    std::mt19937 random(8);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<float> drives = {0.0f, 1.0f};
    for (int i = 0; i < 100; ++i) drives.push_back(unit(random));
    std::vector<float> input;
    for (int i = -3000; i <= 3000; ++i) input.push_back(static_cast<float>(i) * 0.01f);  // -30 .. 30
    block.setControl(1.0f / 3.0f, orvex::kCtlInputLevel);
    block.setControl(1.0f / 3.0f, orvex::kCtlOutputLevel);
    for (int step = 0; step < CDistortionBlock::kNumSteps; ++step) {
        block.setControl((static_cast<float>(step) + 0.5f) / 14.0f, kCtlType);
        for (float d : drives) {
            block.setControl(d, orvex::kCtlDrive);
            std::vector<float> in = input, out(input.size());
            block.process(in.data(), out.data(), static_cast<int>(in.size()));
            for (std::size_t i = 0; i < out.size(); ++i)
                ASSERT_TRUE(std::isfinite(out[i])) << "step " << step << " drive " << d << " x " << input[i];
        }
    }
}

TEST(DistortionAlgorithms, DigitronHoldsAcrossBlocks) {
    CDistortion6 hold(44100.0f);
    EXPECT_EQ(hold.holdLength, 50);
    EXPECT_EQ(text([&](char* t) { hold.getControl(t, 0); }), "50.00000");
    hold.setControl(0.02f, 0);
    EXPECT_EQ(hold.holdLength, 2);
    std::vector<float> x = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(run(hold, x), (std::vector<float>{0, 0, 3, 3, 3, 6, 6, 6}));
    EXPECT_EQ(run(hold, std::vector<float>{9, 10, 11}), (std::vector<float>{9, 9, 9}));  // carries over
    hold.setControl(0.0f, 0);
    EXPECT_EQ(run(hold, x), x);
    // A sample that is not a number is held as silence, not for the next 90 samples.
    EXPECT_EQ(run(hold, std::vector<float>{NAN, INFINITY}), (std::vector<float>{0, 0}));
    hold.setControl(0.9f, 0);
    EXPECT_EQ(run(hold, std::vector<float>(90, 1.0f)), std::vector<float>(90, 0.0f));
}

TEST(DistortionAlgorithms, QuantiserTakesAFractionOfTheSamples) {
    CDistortion7 q(44100.0f);
    EXPECT_EQ(q.quantScale, 32768);
    EXPECT_EQ(q.quantStep, 0.000030517578f);
    EXPECT_EQ(text([&](char* t) { q.getControlName(t, 0); }), "SampleRate");
    for (auto [bits, scale] : {std::pair{16, 32768}, {12, 2048}, {8, 128}, {4, 8}}) {
        q.setBitDepth(bits);
        EXPECT_EQ(q.quantScale, scale);
    }
    q.setBitDepth(16);
    q.setControl(1.0f, 0);
    EXPECT_EQ(run(q, 0.5f), 0.5f);
    EXPECT_EQ(run(q, 0.00001f), 0.0f);
    EXPECT_EQ(run(q, -0.00004f), -0.000030517578f);  // towards zero
    // Drive 0.5: every second sample; the phase carries across blocks and bit depths.
    q.setControl(0.5f, 0);
    q.phase = 0;
    q.heldSample = 0;
    EXPECT_EQ(run(q, std::vector<float>{0.25f, 0.5f, 0.75f}), (std::vector<float>{0, 0.5f, 0.5f}));
    q.setBitDepth(4);
    EXPECT_EQ(run(q, std::vector<float>{0.3f, 0.9f}), (std::vector<float>{0.25f, 0.25f}));
    // Drive 0: the last held value for ever.
    q.setControl(0.0f, 0);
    EXPECT_EQ(run(q, std::vector<float>(100, 0.9f)), std::vector<float>(100, 0.25f));
    // Beyond the integer range and not a number: no undefined conversion, no held NaN.
    q.setControl(1.0f, 0);
    q.setBitDepth(16);
    EXPECT_EQ(run(q, 1e6f), 1e6f);
    EXPECT_EQ(run(q, 3e38f), 3e38f);
    EXPECT_EQ(run(q, NAN), 0.0f);
}

TEST(DistortionBlock, StepsTextsAndGains) {
    CDistortionBlock block(44100.0f);
    auto control = [&](int c) { return text([&](char* t) { block.getControl(t, c); }); };
    auto name = [&](int c) { return text([&](char* t) { block.getControlName(t, c); }); };
    block.setControl(0.0f, kCtlType);
    EXPECT_EQ(control(kCtlType), "Anihilator");
    block.setControl(0.5f, kCtlType);
    EXPECT_EQ(control(kCtlType), "Quantize 16");
    EXPECT_EQ(name(orvex::kCtlDrive), "SampleRate");
    block.setControl(1.0f, kCtlType);
    EXPECT_EQ(control(kCtlType), "bypass");
    EXPECT_EQ(name(orvex::kCtlDrive), "Drive");
    const char* names[] = {"Anihilator", "Soft shaper", "Tubetek",    "Slaughter",  "Destroy",
                           "Digitron",   "Quantize 16", "Quantize 12", "Quantize 8", "Quantize 4",
                           "Top side",   "Intimdator",  "Violator",    "bypass"};
    for (int s = 0; s < 14; ++s) {
        block.setControl(static_cast<float>(s) / 13.99999f + 1e-6f, kCtlType);
        EXPECT_EQ(control(kCtlType), names[s]) << s;
    }
    EXPECT_EQ(name(kCtlType), "type");
    EXPECT_EQ(text([&](char* t) { block.getUnitOfMeasurement(t, kCtlType); }), " ");
    EXPECT_EQ(name(orvex::kCtlInputLevel), "input");
    EXPECT_EQ(name(orvex::kCtlOutputLevel), "output");
    EXPECT_EQ(control(5), std::string(31, 'x'));  // not a control: untouched

    // Selecting a step sends the last drive to the algorithm, whatever it had.
    block.setControl(0.2f, orvex::kCtlDrive);
    block.setControl(3.5f / 14.0f, kCtlType);
    EXPECT_EQ(block.slaughter.drive, 0.2f);
    EXPECT_EQ(control(orvex::kCtlDrive), "20.00000");

    // Bypass at unity gains passes the input bit for bit; the input is scaled in place.
    block.setControl(1.0f, kCtlType);
    block.setControl(1.0f / 3.0f, orvex::kCtlInputLevel);
    block.setControl(1.0f / 3.0f, orvex::kCtlOutputLevel);
    EXPECT_EQ(control(orvex::kCtlInputLevel), "100.0000");
    std::vector<float> in = {0.3f, -0.7f, 1e-3f}, out(3);
    block.process(in.data(), out.data(), 3);
    EXPECT_EQ(out, (std::vector<float>{0.3f, -0.7f, 1e-3f}));
    block.setControl(1.0f, orvex::kCtlInputLevel);
    block.setControl(0.0f, orvex::kCtlOutputLevel);
    block.process(in.data(), out.data(), 3);
    EXPECT_EQ(in[1], -0.7f * 3.0f);
    EXPECT_EQ(out, std::vector<float>(3, 0.0f));
}

TEST(DistortionBlock, QuantiserStepsShareTheirState) {
    CDistortionBlock block(44100.0f);
    block.setControl(1.0f / 3.0f, orvex::kCtlInputLevel);
    block.setControl(1.0f / 3.0f, orvex::kCtlOutputLevel);
    block.setControl(0.5f, orvex::kCtlDrive);
    block.setControl(6.5f / 14.0f, kCtlType);  // Quantize 16
    std::vector<float> in = {0.3f}, out(1);
    block.process(in.data(), out.data(), 1);  // phase 0.5, nothing taken yet
    block.setControl(9.5f / 14.0f, kCtlType);  // Quantize 4: same phase
    in = {0.3f};
    block.process(in.data(), out.data(), 1);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(block.quantizer.quantScale, 8);
}
