// The phaser's units directly: the sweep oscillator over long runs, the all-pass
// section, the phaser's both forms against the step-by-step model, its texts, and
// the two mends: a full feedback loop that stays bounded, a non-finite input that
// does not stay in the loop.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "plugins/phaser/phaser.h"
#include "reference/phaser_model.h"

using namespace orvex::phaser;

namespace {

template <class Unit>
std::string text(Unit& unit, void (Unit::*get)(char*, int), int control) {
    char buffer[32] = "untouched";
    (unit.*get)(buffer, control);
    return buffer;
}

std::string floatText(float value) {
    char buffer[16];
    orvex::floatToString(value, buffer);
    return buffer;
}

}  // namespace

TEST(PhaserSine, FrequencyAndAmplitudeHoldOverTenMinutes) {
    for (float control : {0.0f, 0.5f, 1.0f}) {
        const float rate = 44100.0f;
        CSine sine(rate);
        sine.setControl(control, 0);
        const double hz = 0.05 * std::pow(400.0, control);
        EXPECT_EQ(text(sine, &CSine::getControl, 0), floatText(static_cast<float>(hz)));
        // Rising zero crossings over ten minutes give the frequency; the peaks of every
        // half cycle after the first second give the amplitude.
        const long total = 600L * 44100;
        std::vector<float> out(4096);
        long first = -1, last = -1, rising = 0;
        float previous = 0.99f, peak = 0, lowest = 2, highest = 0;
        for (long done = 0; done < total; done += 4096) {
            sine.process(out.data(), 4096);
            for (long i = 0; i < 4096; ++i) {
                const float x = out[i];
                if (previous < 0 && x >= 0) {
                    ++rising;
                    if (first < 0) first = done + i;
                    last = done + i;
                }
                peak = std::max(peak, std::fabs(x));
                if ((previous < 0) != (x < 0)) {
                    if (done + i > 44100) lowest = std::min(lowest, peak), highest = std::max(highest, peak);
                    peak = 0;
                }
                previous = x;
            }
        }
        const double measured = static_cast<double>(rising - 1) * rate / static_cast<double>(last - first);
        EXPECT_NEAR(measured / hz, 1.0, 1e-5) << control;
        EXPECT_GT(lowest, 0.9898f) << control;
        EXPECT_LT(highest, 0.9902f) << control;
    }
}

TEST(PhaserSine, ControlsRatesAndStart) {
    CSine sine(44100.0f);
    EXPECT_EQ(text(sine, &CSine::getControlName, 0), "Frequency");
    EXPECT_EQ(text(sine, &CSine::getUnitOfMeasurement, 0), "Hz");
    // Constructed only, it already runs at the 1 Hz it reports, from its positive peak.
    EXPECT_EQ(text(sine, &CSine::getControl, 0), "1.000000");
    EXPECT_EQ(sine.getCoefficient(), 2.0f * std::sin(3.14159265f * 1.0f / 44100.0f));
    sine.setControl(1.0f, 0);
    EXPECT_NEAR(sine.getCoefficient(), 0.0028495f, 1e-7);
    sine.setControl(7.0f, 0);  // held at 20 Hz
    EXPECT_EQ(sine.getCoefficient(), 2.0f * std::sin(3.14159265f * 20.0f / 44100.0f));
    sine.setControl(-3.0f, 0);  // held at 0.05 Hz
    EXPECT_EQ(sine.getCoefficient(), 2.0f * std::sin(3.14159265f * 0.05f / 44100.0f));
    // A new rate waits for the next frequency change; an unusable one is not taken.
    const float k = sine.getCoefficient();
    sine.setSampleRate(48000.0f);
    EXPECT_EQ(sine.getCoefficient(), k);
    sine.setControl(0.0f, 0);
    EXPECT_EQ(sine.getCoefficient(), 2.0f * std::sin(3.14159265f * 0.05f / 48000.0f));
    // Below fifty times the frequency, and at rates that are none, the sweep is held at
    // a fiftieth of the rate.
    for (float bad : {900.0f, 0.0f, -5.0f, NAN}) {
        sine.setSampleRate(bad);
        sine.setControl(1.0f, 0);
        EXPECT_EQ(std::fabs(sine.getCoefficient()), 2.0f * std::sin(3.14159265f / 50.0f)) << bad;
    }
    float out[3] = {5, 5, 5};
    const CSine::State before = sine.getState();
    sine.process(out, 0);
    sine.process(out, -4);
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_EQ(sine.getState().s1, before.s1);
    EXPECT_EQ(CSine(44100.0f).getState().s1, 0.99f);
    EXPECT_EQ(CSine(44100.0f).getState().s2, 0.0f);
}

TEST(PhaserAllPass, FirstOrderAllPass) {
    std::vector<float> in(64), out(64);
    float state = 0.0f;
    for (int i = 0; i < 64; ++i) {
        in[i] = std::sin(0.3f * i) + (i == 0);
        out[i] = CAllPass::pass(in[i], 0.3f, state);
    }
    // y[n] = -a x[n] + x[n-1] + a y[n-1]
    for (int i = 0; i < 64; ++i) {
        const double expected = -0.3 * in[i] + (i ? in[i - 1] + 0.3 * out[i - 1] : 0.0);
        EXPECT_NEAR(out[i], expected, 1e-6) << i;
    }
}

TEST(PhaserUnit, FreshTextsAndTheUnusedIndex) {
    CPhaser phaser(44100.0f);
    EXPECT_EQ(text(phaser, &CPhaser::getControl, 0), "1.000000");
    EXPECT_EQ(text(phaser, &CPhaser::getControl, 1), "50.00000");
    EXPECT_EQ(text(phaser, &CPhaser::getControl, 3), floatText(100.0f * 0.2f));
    const char* names[] = {"Mod Rate", "Mod Depth", "untouched", "FeedBack"};
    const char* units[] = {"Hz", "% ", "untouched", "% "};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text(phaser, &CPhaser::getControlName, i), names[i]);
        EXPECT_EQ(text(phaser, &CPhaser::getUnitOfMeasurement, i), units[i]);
    }
    EXPECT_EQ(text(phaser, &CPhaser::getControl, 2), "untouched");
    phaser.setControl(0.9f, 2);
    phaser.setControlAutomated(0.9f, 4);
    EXPECT_EQ(text(phaser, &CPhaser::getControl, 1), "50.00000");
    EXPECT_EQ(text(phaser, &CPhaser::getControl, 3), "20.00000");
    phaser.setControlAutomated(0.7f, 1);
    EXPECT_EQ(text(phaser, &CPhaser::getControl, 1), floatText(100.0f * 0.7f));
}

TEST(PhaserUnit, BlockFormFollowsTheModelFromTheFirstSample) {
    CPhaser phaser(44100.0f);
    std::vector<float> in(4000, 0.0f), out(4000);
    in[0] = 1.0f;
    phaser.process(in.data(), out.data(), 1);
    EXPECT_NEAR(out[0], 1.001428f, 5e-7);
    const float a = (1.0f - 0.4975f) / (1.0f + 0.4975f);
    EXPECT_NEAR(out[0], 1.0f + std::pow(a, 6.0f), 1e-6);
    EXPECT_EQ(in[0], 1.0f + 1e-20f);

    // Every control on the way, compared with the model sample for sample.
    phaser_model::Channel model;
    model.setRate(0.5f, 44100.0f);
    float x = 1.0f;
    EXPECT_EQ(model.run(x), out[0]);
    phaser.process(in.data(), out.data(), 0);
    phaser.process(in.data(), out.data(), -1);
    for (int i = 1; i < 4000; ++i) in[i] = 0.6f * std::sin(0.05f * i) + 0.3f * std::sin(1.3f * i);
    const std::vector<float> source = in;
    int at = 1;
    for (auto [rate, depth, feedback] : {std::tuple{0.5f, 0.5f, 0.2f}, {1.0f, 1.0f, 0.85f}, {0.1f, 0.3f, 1.0f}}) {
        phaser.setControl(rate, kModRate);
        phaser.setControl(depth, kModDepth);
        phaser.setControl(feedback, kFeedback);
        model.setRate(rate, 44100.0f);
        model.depth = depth;
        model.feedback = feedback;
        phaser.process(in.data() + at, out.data() + at, 1000);
        for (int i = at; i < at + 1000; ++i) {
            float y = source[i];
            ASSERT_EQ(out[i], model.run(y)) << i;
            ASSERT_EQ(in[i], y) << i;
        }
        at += 1000;
    }
}

TEST(PhaserUnit, DepthZeroHoldsEveryStageAndTickUsesTheSweepAsCoefficient) {
    // Depth 0 makes every stage's coefficient 1, which holds its memory: the model,
    // run through the same change, gives the same samples.
    CPhaser phaser(44100.0f);
    phaser_model::Channel model;
    model.setRate(0.5f, 44100.0f);
    std::vector<float> in(300), out(300);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 300; ++i) in[i] = std::sin(0.1f * i);
        phaser.process(in.data(), out.data(), 300);
        for (int i = 0; i < 300; ++i) {
            float x = std::sin(0.1f * i);
            ASSERT_EQ(out[i], model.run(x)) << pass << " " << i;
        }
        phaser.setControl(0.0f, kModDepth);
        model.depth = 0.0f;
    }

    // The in-place form runs tick per sample: c = |s1| * depth is the coefficient.
    CPhaser a(44100.0f), b(44100.0f);
    a.setControl(0.8f, kModDepth);
    b.setControl(0.8f, kModDepth);
    phaser_model::Channel single;
    single.setRate(0.5f, 44100.0f);
    single.depth = 0.8f;
    std::vector<float> buffer(in);
    a.process(buffer.data(), 300);
    for (int i = 0; i < 300; ++i) {
        const float expected = b.tick(in[i]);
        ASSERT_EQ(buffer[i], expected) << i;
        float x = in[i];
        ASSERT_EQ(buffer[i], single.tick(x)) << i;
    }
}

// Feedback 1.0 is kept and shown, but the loop applies 0.99: a full-scale input with a
// DC offset stays bounded (and stops growing) through three minutes.
// The pair form gives each channel what its own block form gives it, including a
// non-finite sample in one channel only (mid-block and on a block's last frame).
TEST(PhaserUnit, PairMatchesTwoSingleRunsSampleForSample) {
    CPhaser pairLeft(44100.0f), pairRight(44100.0f), soloLeft(44100.0f), soloRight(44100.0f);
    const float settings[2][3] = {{0.3f, 0.9f, 0.7f}, {0.8f, 0.4f, -0.5f}};
    CPhaser* units[2][2] = {{&pairLeft, &soloLeft}, {&pairRight, &soloRight}};
    for (int c = 0; c < 2; ++c)
        for (CPhaser* p : units[c]) {
            p->setControl(settings[c][0], kModRate);
            p->setControl(settings[c][1], kModDepth);
            p->setControl(settings[c][2], kFeedback);
        }
    std::vector<float> in[2][2], out[2][2];
    int at = 0;
    // Each block starts from the state the one before left: the last, of one frame,
    // checks what the 64-frame block handed on.
    for (int size : {1, 37, 2, 300, 64, 1}) {
        for (int c = 0; c < 2; ++c)
            for (int f = 0; f < 2; ++f) {
                in[c][f].resize(size);
                out[c][f].assign(size, 0.0f);
                for (int i = 0; i < size; ++i) in[c][f][i] = std::sin(0.05f * (at + i) * (c + 1));
            }
        if (size == 300) in[0][0][120] = in[0][1][120] = NAN;
        if (size == 37) in[1][0][36] = in[1][1][36] = INFINITY;
        CPhaser::processPair(pairLeft, pairRight, in[0][0].data(), in[1][0].data(), out[0][0].data(),
                             out[1][0].data(), size);
        soloLeft.process(in[0][1].data(), out[0][1].data(), size);
        soloRight.process(in[1][1].data(), out[1][1].data(), size);
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < size; ++i) {
                ASSERT_EQ(std::bit_cast<unsigned>(out[c][0][i]), std::bit_cast<unsigned>(out[c][1][i])) << c << " " << i;
                ASSERT_EQ(std::bit_cast<unsigned>(in[c][0][i]), std::bit_cast<unsigned>(in[c][1][i])) << c << " " << i;
            }
        }
        at += size;
    }
}

TEST(PhaserUnit, FullFeedbackStaysBoundedWithDcForMinutes) {
    for (auto [rate, depth] : {std::pair{0.0f, 0.0f}, {1.0f, 1.0f}}) {
        CPhaser phaser(44100.0f);
        phaser.setControl(rate, kModRate);
        phaser.setControl(depth, kModDepth);
        phaser.setControl(1.0f, kFeedback);
        EXPECT_EQ(text(phaser, &CPhaser::getControl, kFeedback), "100.0000");
        std::vector<float> in(1024), out(1024);
        float firstMinute = 0, lastMinute = 0;
        const long minute = 60L * 44100;
        for (long done = 0; done < 3 * minute; done += 1024) {
            for (long i = 0; i < 1024; ++i) in[i] = ((done + i) / 50) % 2 ? 1.0f : 0.5f;
            phaser.process(in.data(), out.data(), 1024);
            float& peak = done < minute ? firstMinute : lastMinute;
            for (float y : out) peak = std::max(peak, std::fabs(y));
        }
        EXPECT_LT(firstMinute, 120.0f) << rate;
        EXPECT_LE(lastMinute, firstMinute) << rate;
    }
}

TEST(PhaserUnit, NonFiniteInputLeavesTheLoopAtOnce) {
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        CPhaser phaser(44100.0f);
        phaser.setControl(0.9f, kFeedback);
        std::vector<float> in(256, 0.25f), out(256);
        in[100] = bad;
        phaser.process(in.data(), out.data(), 256);
        for (int i = 0; i < 256; ++i) EXPECT_EQ(std::isfinite(out[i]), i != 100) << bad << " " << i;
        EXPECT_FALSE(std::isfinite(phaser.tick(bad)));
        EXPECT_TRUE(std::isfinite(phaser.tick(0.5f)));
    }
    // A sweep near the sample rate would pump the loop up to overflow; held at a
    // fiftieth of the rate, the chain stays near the input's level.
    for (float rate : {41.0f, 40.0f, 0.0f}) {
        CPhaser phaser(rate);
        phaser.setControl(1.0f, kModRate);
        phaser.setControl(1.0f, kModDepth);
        std::vector<float> in(44100, 0.5f), out(44100);
        phaser.process(in.data(), out.data(), 44100);
        for (float y : out) ASSERT_LT(std::fabs(y), 2.0f) << rate;
    }
}
