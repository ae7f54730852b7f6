// The pan pot's gliding gains and the auto-panner that drives it from its LFO: exact
// ramps, the 32-sample LFO reads across block boundaries, the control interface, an
// independent sample-by-sample model of the whole chain, and bad input.
#include "plugins/panner/autopanner.h"

#include <gtest/gtest.h>

#include "reference/panner_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace orvex;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

float choice(int index, int count) { return (static_cast<float>(index) + 0.5f) / static_cast<float>(count); }

std::string text(CControlUnit& unit, int control) {
    char buffer[64] = {};
    unit.getControl(buffer, control);
    return buffer;
}
std::string name(CControlUnit& unit, int control) {
    char buffer[64] = {};
    unit.getControlName(buffer, control);
    return buffer;
}
std::string unitOf(CControlUnit& unit, int control) {
    char buffer[64] = {};
    unit.getUnitOfMeasurement(buffer, control);
    return buffer;
}

// A sample rate at which one bar at 120 beats per minute, read every 32 samples,
// moves the LFO by exactly half a cycle: 1/64 bar = 32 Hz, 32 x 257 / 2056 = 4
// positions per sample, 128 per read. With the square wave the position alternates.
constexpr float kHalfCyclePerReadRate = 2056.0f;

using Gains = std::pair<float, float>;

// The gains the pot plays next: one sample of 1.0 through it without an LFO (the glide
// takes its step; a sample that falls on a read holds the gains where they are).
Gains next(CPanPot& pot) {
    float in = 1.0f, left = 0.0f, right = 0.0f;
    pot.proc(&in, &left, &right, nullptr, 1, 1.0f);
    return {left, right};
}
// The same through an auto-panner, whose own LFO is read at every 32nd sample.
Gains next(CAutoPanner& panner) {
    float in = 1.0f, left = 0.0f, right = 0.0f;
    panner.process(&in, &left, &right, 1);
    return {left, right};
}

}  // namespace

// ---------------------------------------------------------------------------------
// Pan pot: placement

TEST(PanPot, StartsCentredWithNoGlide) {
    CPanPot pot;
    EXPECT_EQ(next(pot), Gains(0.5f, 0.5f));
    EXPECT_EQ(next(pot), Gains(0.5f, 0.5f));
}

TEST(PanPot, SetPanPlacesAtOnceAndShowsMinus100To100) {
    CPanPot pot;
    char buffer[16] = {};
    pot.setPan(0.25f);
    pot.getPan(buffer);
    EXPECT_STREQ(buffer, "-50.0000");
    EXPECT_EQ(next(pot), Gains(0.75f, 0.25f));
    pot.setPan(1.0f);
    pot.getPan(buffer);
    EXPECT_STREQ(buffer, "100.0000");
    EXPECT_EQ(next(pot), Gains(0.0f, 1.0f));
    pot.setPan(0.5f);
    pot.getPan(buffer);
    EXPECT_STREQ(buffer, "0.000000");
    pot.setPanAutomated(0.5f);  // steps untouched: still none
    EXPECT_EQ(next(pot), Gains(0.5f, 0.5f));
}

TEST(PanPot, EqualPowerLawTakesSquareRoots) {
    CPanPot pot(0.5f, true);
    const float root = static_cast<float>(std::sqrt(0.5));
    EXPECT_EQ(next(pot), Gains(root, root));
    pot.setPan(0.25f);
    EXPECT_EQ(next(pot), Gains(static_cast<float>(std::sqrt(0.75)), 0.5f));
    // The gliding path aims at the same law.
    CPanPot gliding(0.0f, true);
    for (int i = 0; i < 32 + 31; ++i) gliding.setPanAutomated(0.5f);  // aimed, then arrived
    const Gains arrived = next(gliding);
    EXPECT_NEAR(arrived.first, root, 1e-6f);
    EXPECT_NEAR(arrived.second, root, 1e-6f);
}

TEST(PanPot, PanOutsideRangeIsClampedAndNaNIgnored) {
    CPanPot equalPower(0.5f, true);
    equalPower.setPan(1.5f);
    EXPECT_EQ(next(equalPower), Gains(0.0f, 1.0f));
    equalPower.setPan(-3.0f);
    EXPECT_EQ(next(equalPower), Gains(1.0f, 0.0f));
    char buffer[16] = {};
    equalPower.getPan(buffer);
    EXPECT_STREQ(buffer, "-100.000");
    equalPower.setPan(kNaN);
    EXPECT_EQ(next(equalPower), Gains(1.0f, 0.0f));
    equalPower.getPan(buffer);
    EXPECT_STREQ(buffer, "-100.000");
    CPanPot fromNaN(kNaN);
    EXPECT_EQ(next(fromNaN), Gains(0.5f, 0.5f));
}

// ---------------------------------------------------------------------------------
// Pan pot: automated glide

TEST(PanPotGlide, EveryThirtySecondCallAimsAndTheGainsArriveThirtyTwoLater) {
    // After each count of calls, the sample a fresh pot plays next. The 32nd call aims
    // at (0, 1) and takes the first 1/64 step, the played sample the next one; the 63rd
    // arrives, and the 64th aims again at where it already is.
    for (int calls = 1; calls <= 64; ++calls) {
        CPanPot pot;
        for (int n = 0; n < calls; ++n) pot.setPanAutomated(1.0f);
        const float left = calls < 32 ? 0.5f : std::max(0.0f, 0.5f - 0.015625f * static_cast<float>(calls - 30));
        EXPECT_EQ(next(pot), Gains(left, 1.0f - left)) << calls;
    }
}

TEST(PanPotGlide, NaNPanHoldsTheGainsWhereTheyAre) {
    CPanPot pot;
    for (int i = 0; i < 40; ++i) pot.setPanAutomated(0.0f);  // gliding towards (1, 0)
    for (int i = 0; i < 24; ++i) pot.setPanAutomated(kNaN);  // reaches the 32nd call
    const Gains held = next(pot);
    ASSERT_GT(held.first, 0.5f);
    for (int i = 0; i < 100; ++i) pot.setPanAutomated(kNaN);
    EXPECT_EQ(next(pot), held);
    EXPECT_FALSE(std::isnan(held.second));
}

// ---------------------------------------------------------------------------------
// Pan pot: LFO-driven blocks

TEST(PanPotProc, DepthHalfHoldsTheCentreWhateverTheLfoDoes) {
    CPanPot pot;
    CLfo lfo(kHalfCyclePerReadRate);
    lfo.setControl(1.0f, 11);
    lfo.setControl(choice(3, 6), 15);  // square: the LFO swings 0..1 every read
    std::vector<float> in(320), left(320), right(320);
    for (size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.1f * static_cast<float>(i));
    pot.proc(in.data(), left.data(), right.data(), &lfo, 320, 0.5f);
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(left[i], in[i] * 0.5f) << i;
        EXPECT_EQ(right[i], in[i] * 0.5f) << i;
    }
}

TEST(PanPotProc, FullDepthSquareRampsBetweenHardLeftAndHardRight) {
    CPanPot pot;
    CLfo lfo(kHalfCyclePerReadRate);
    lfo.setControl(1.0f, 11);
    lfo.setControl(choice(3, 6), 15);
    lfo.setSongPosition(CLfo::kNoSongPosition);
    ASSERT_EQ(lfo.getPhaseIncrement(), 4.0f);
    const int n = 32 * 10;
    std::vector<float> in(n, 1.0f), left(n), right(n);
    pot.proc(in.data(), left.data(), right.data(), &lfo, n, 1.0f);
    // Samples 0..30: no read yet. Sample 31: first read (square high: p = 1), glide
    // from the centre to (0, 1). Then every 32 samples the square flips.
    for (int i = 0; i < 31; ++i) {
        EXPECT_EQ(left[i], 0.5f);
        EXPECT_EQ(right[i], 0.5f);
    }
    for (int i = 31; i < 63; ++i) {
        EXPECT_EQ(left[i], 0.5f - 0.015625f * (i - 30)) << i;
        EXPECT_EQ(right[i], 0.5f + 0.015625f * (i - 30)) << i;
    }
    EXPECT_EQ(left[62], 0.0f);
    EXPECT_EQ(right[62], 1.0f);
    for (int read = 1; read < 9; ++read) {
        const int start = 31 + 32 * read;
        const bool toLeft = read % 2 == 1;  // square low: p = 0, gains (1, 0)
        for (int k = 0; k < 32; ++k) {
            const float moved = 0.03125f * (k + 1);
            EXPECT_EQ(left[start + k], toLeft ? moved : 1.0f - moved) << start + k;
            EXPECT_EQ(right[start + k], toLeft ? 1.0f - moved : moved) << start + k;
        }
        EXPECT_EQ(left[start + 31], toLeft ? 1.0f : 0.0f);
        EXPECT_EQ(right[start + 31], toLeft ? 0.0f : 1.0f);
    }
}

TEST(PanPotProc, TenThenTwentyTwoSamplesReadTheLfoOnceAtTheLastSample) {
    CPanPot pot;
    CLfo lfo(44100.0f);
    lfo.setControl(choice(3, 6), 15);  // square, high at the start of the cycle
    lfo.setSongPosition(CLfo::kNoSongPosition);
    float in[22], left[22], right[22];
    for (float& x : in) x = 0.8f;
    pot.proc(in, left, right, &lfo, 10, 1.0f);
    EXPECT_EQ(lfo.getPhase(), 0.0f);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(left[i], 0.8f * 0.5f);
    pot.proc(in, left, right, &lfo, 22, 1.0f);
    float phase = 0.0f;
    for (int i = 0; i < 32; ++i) phase += lfo.getPhaseIncrement();
    EXPECT_EQ(lfo.getPhase(), phase);  // one read of 32 samples
    for (int i = 0; i < 21; ++i) {
        EXPECT_EQ(left[i], 0.8f * 0.5f) << i;
        EXPECT_EQ(right[i], 0.8f * 0.5f) << i;
    }
    EXPECT_EQ(left[21], 0.8f * (0.5f - 0.015625f));
    EXPECT_EQ(right[21], 0.8f * (0.5f + 0.015625f));
}

TEST(PanPotProc, EqualPowerCentreIsRootHalf) {
    CPanPot pot(0.5f, true);
    CLfo lfo(44100.0f);
    std::vector<float> in(64, 1.0f), left(64), right(64);
    pot.proc(in.data(), left.data(), right.data(), &lfo, 64, 0.5f);
    const float root = static_cast<float>(std::sqrt(0.5));
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(left[i], root) << i;
        EXPECT_EQ(right[i], root) << i;
    }
}

TEST(PanPotProc, SweepIsSymmetricInDepthAboutHalf) {
    // Depth 0.25 and 0.75 sweep the same width; depth 0 and 1 both sweep the full width.
    for (auto [a, b] : {std::pair{0.25f, 0.75f}, std::pair{0.0f, 1.0f}}) {
        CPanPot potA, potB;
        CLfo lfoA(44100.0f), lfoB(44100.0f);
        for (CLfo* lfo : {&lfoA, &lfoB}) {
            lfo->setControl(1.0f, 11);
            lfo->setSongPosition(CLfo::kNoSongPosition);
        }
        std::vector<float> in(2048, 1.0f), la(2048), ra(2048), lb(2048), rb(2048);
        potA.proc(in.data(), la.data(), ra.data(), &lfoA, 2048, a);
        potB.proc(in.data(), lb.data(), rb.data(), &lfoB, 2048, b);
        EXPECT_EQ(la, lb);
        EXPECT_EQ(ra, rb);
    }
}

TEST(PanPotProc, BadInputNeverProducesNaNOrGainsOutsideTheLaw) {
    const int n = 4096;
    std::vector<float> in(n, 1.0f), left(n), right(n);
    for (bool equalPower : {false, true}) {
        for (float depth : {kNaN, 1.5f, -2.0f, 100.0f}) {
            CPanPot pot(0.5f, equalPower);
            CLfo lfo(kHalfCyclePerReadRate);
            lfo.setControl(1.0f, 11);
            lfo.setControl(choice(5, 6), 15);
            pot.proc(in.data(), left.data(), right.data(), &lfo, n, depth);
            for (int i = 0; i < n; ++i) {
                ASSERT_FALSE(std::isnan(left[i])) << depth << " " << i;
                ASSERT_FALSE(std::isnan(right[i])) << depth << " " << i;
                ASSERT_GE(left[i], -1e-6f);
                ASSERT_LE(left[i], 1.0f + 1e-6f);
                ASSERT_GE(right[i], -1e-6f);
                ASSERT_LE(right[i], 1.0f + 1e-6f);
            }
        }
    }
    // No LFO: the glide stops at the next read and the gains hold.
    CPanPot pot;
    pot.setPan(0.2f);
    pot.proc(in.data(), left.data(), right.data(), nullptr, 100, 1.0f);
    EXPECT_EQ(left[99], 1.0f - 0.2f);
    EXPECT_EQ(right[99], 0.2f);
    // Missing buffers or an empty block: nothing happens.
    pot.proc(nullptr, left.data(), right.data(), nullptr, 100, 1.0f);
    pot.proc(in.data(), left.data(), right.data(), nullptr, -5, 1.0f);
    // The count went on from the hundredth sample: the LFO is read at the 128th.
    CLfo lfo(44100.0f);
    pot.proc(in.data(), left.data(), right.data(), &lfo, 28, 1.0f);
    EXPECT_EQ(left[26], 1.0f - 0.2f);
    EXPECT_NE(left[27], 1.0f - 0.2f);
}

// ---------------------------------------------------------------------------------
// An independent model of the chain, written from the algorithm, compared bit for bit.

// (the model lives in reference/panner_model.h, shared with the effect tests)

TEST(AutoPannerModel, OutputMatchesAnIndependentSampleBySampleModel) {
    struct Case {
        int waveform;
        float bpm;
        int division;
        int multiple;
        float depth;
    };
    for (const Case& c : {Case{0, 137.0f, 6, 1, 0.8f}, Case{4, 96.0f, 5, 3, 0.2f}, Case{0, 174.0f, 8, 2, 1.0f}}) {
        CAutoPanner panner(44100.0f);
        panner.setControl(c.bpm, 10);
        panner.setControl(choice(c.division, 9), 11);
        panner.setControl(choice(c.waveform, 6), 15);
        panner.setControl(choice(c.multiple - 1, 8), 37);
        panner.setControl(c.depth, 16);
        model::Lfo lfo(c.waveform, c.bpm, c.division, c.multiple, 44100.0f);
        model::Pot pot;

        // Blocks of uneven lengths; some carry a song position (binary fractions of a
        // quarter note, so the lock lands on exact table positions), some repeat the
        // previous one, others have none.
        const int blocks[] = {7, 33, 100, 1, 64, 31, 2, 96, 45, 17};
        const float positions[] = {-1000.0f, 0.3125f, 0.3125f, -1000.0f, 3.40625f,
                                   3.40625f, 7.796875f, -1000.0f, 12.0078125f, 12.13671875f};
        int t = 0;
        int compared = 0;
        for (int b = 0; b < 10; ++b) {
            const int n = blocks[b];
            std::vector<float> in(n), left(n), right(n), mleft(n), mright(n);
            for (int i = 0; i < n; ++i, ++t) in[i] = 0.7f * std::sin(0.05f * static_cast<float>(t)) + 0.1f;
            panner.getLfo().setSongPosition(positions[b]);
            lfo.songPosition = positions[b];
            panner.process(in.data(), left.data(), right.data(), n);
            pot.run(in.data(), mleft.data(), mright.data(), lfo, n, c.depth);
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(left[i], mleft[i]) << "case " << c.bpm << " block " << b << " sample " << i;
                ASSERT_EQ(right[i], mright[i]) << "case " << c.bpm << " block " << b << " sample " << i;
                ++compared;
            }
        }
        EXPECT_EQ(compared, 396);
        // The model did move: the gains left the centre.
        EXPECT_NE(pot.leftGain, 0.5f);
    }
}

// ---------------------------------------------------------------------------------
// Auto-panner: control interface and ownership

TEST(AutoPanner, ControlNamesAndUnits) {
    CAutoPanner panner(44100.0f);
    EXPECT_EQ(name(panner, 16), "LfoDepth");
    EXPECT_EQ(name(panner, 34), "Pan");
    EXPECT_EQ(name(panner, 10), "Bpm");
    EXPECT_EQ(name(panner, 11), "Division");
    EXPECT_EQ(name(panner, 15), "Type");
    EXPECT_EQ(name(panner, 37), "Multipler");
    EXPECT_EQ(unitOf(panner, 16), "%");
    EXPECT_EQ(unitOf(panner, 34), "%");
    EXPECT_EQ(unitOf(panner, 11), "bars");
    EXPECT_EQ(unitOf(panner, 10), " ");
    EXPECT_EQ(text(panner, 16), "0.000000");
    EXPECT_EQ(next(panner), Gains(0.5f, 0.5f));
    EXPECT_EQ(panner.getLfo().getSampleRate(), 44100.0f);
}

TEST(AutoPanner, DepthAndPanControls) {
    CAutoPanner panner(44100.0f);
    panner.setControl(0.3f, 16);
    EXPECT_EQ(text(panner, 16), "30.00000");
    panner.setControlAutomated(0.75f, 16);
    EXPECT_EQ(text(panner, 16), "75.00000");
    panner.setControl(kNaN, 16);
    EXPECT_EQ(text(panner, 16), "75.00000");
    panner.setControl(1.5f, 16);
    EXPECT_EQ(text(panner, 16), "100.0000");

    panner.setControl(0.25f, 34);
    EXPECT_EQ(text(panner, 34), "-50.0000");
    EXPECT_EQ(next(panner), Gains(0.75f, 0.25f));
    // With the sample played, the 31st call aims at (0, 1) and glides there in steps of
    // 0.75 / 32, shared by the calls and the samples played; none reads the panner's LFO.
    for (int i = 0; i < 31; ++i) panner.setControlAutomated(1.0f, 34);
    EXPECT_EQ(next(panner), Gains(0.75f - 2 * 0.0234375f, 0.25f + 2 * 0.0234375f));
    for (int i = 0; i < 29; ++i) panner.setControlAutomated(1.0f, 34);
    EXPECT_EQ(next(panner), Gains(0.0f, 1.0f));
}

TEST(AutoPanner, LfoControlsAreForwarded) {
    CAutoPanner panner(44100.0f);
    panner.setControl(1.0f, 11);
    EXPECT_EQ(text(panner, 11), "1/64");
    panner.setControlAutomated(choice(3, 6), 15);
    EXPECT_EQ(text(panner, 15), "square");
    panner.setControl(133.0f, 10);
    EXPECT_EQ(text(panner, 10), "133.0000");
    panner.setControlAutomated(1.0f, 37);
    EXPECT_EQ(text(panner, 37), "8.000000");
}

TEST(AutoPanner, UnknownIdentifiersChangeNothingAndWriteNothing) {
    CAutoPanner panner(44100.0f);
    for (int id : {0, 3, 4, 12, 17, 33, 35, 38, -1, 99}) {
        panner.setControl(0.9f, id);
        panner.setControlAutomated(0.9f, id);
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        panner.getControl(buffer, id);
        panner.getControlName(buffer, id);
        panner.getUnitOfMeasurement(buffer, id);
        for (char ch : buffer) EXPECT_EQ(ch, 'x') << id;
    }
    EXPECT_EQ(text(panner, 16), "0.000000");
    EXPECT_EQ(next(panner), Gains(0.5f, 0.5f));
    EXPECT_EQ(text(panner, 11), "4");
    EXPECT_EQ(text(panner, 15), "sin");
}

TEST(AutoPanner, ProcessRunsThePanPotWithItsOwnLfoAndDepth) {
    CAutoPanner panner(kHalfCyclePerReadRate);
    panner.setControl(1.0f, 11);
    panner.setControl(choice(3, 6), 15);
    panner.setControl(1.0f, 16);
    panner.getLfo().setSongPosition(CLfo::kNoSongPosition);
    std::vector<float> in(96, 2.0f), left(96), right(96);
    panner.process(in.data(), left.data(), right.data(), 96);
    EXPECT_EQ(left[30], 1.0f);
    EXPECT_EQ(left[62], 0.0f);   // hard right after the first read
    EXPECT_EQ(right[62], 2.0f);
    EXPECT_EQ(left[94], 2.0f);   // hard left after the second
    EXPECT_EQ(right[94], 0.0f);
}

TEST(AutoPanner, ResetRestartsOnlyTheLfoCycle) {
    // Two panners alike; one is reset. Until the next read of the LFO they play the same.
    CAutoPanner panner(44100.0f), twin(44100.0f);
    std::vector<float> in(200, 1.0f), left(200), right(200);
    for (CAutoPanner* p : {&panner, &twin}) {
        p->setControl(1.0f, 11);
        p->setControl(1.0f, 16);
        p->getLfo().setSongPosition(CLfo::kNoSongPosition);
        p->process(in.data(), left.data(), right.data(), 200);
    }
    ASSERT_GT(panner.getLfo().getPhase(), 0.0f);
    panner.reset();
    EXPECT_EQ(panner.getLfo().getPhase(), 0.0f);
    EXPECT_EQ(next(panner), next(twin));
}

TEST(AutoPanner, SampleRateReachesTheLfo) {
    CAutoPanner panner(44100.0f);
    panner.setControl(choice(2, 9), 11);
    panner.setSampleRate(96000.0f);
    EXPECT_EQ(panner.getSampleRate(), 96000.0f);
    EXPECT_EQ(panner.getLfo().getSampleRate(), 96000.0f);
    EXPECT_FLOAT_EQ(panner.getLfo().getPhaseIncrement(), 0.5f * 257.0f / 96000.0f);
    panner.setSampleRate(0.0f);
    EXPECT_EQ(panner.getSampleRate(), 96000.0f);
    EXPECT_EQ(panner.getLfo().getSampleRate(), 96000.0f);
}

TEST(AutoPanner, AbsurdRateAndPositionsStillGiveFiniteAudio) {
    CAutoPanner panner(1.0f);
    panner.setControl(1.0f, 11);
    panner.setControl(1.0f, 16);
    const float positions[] = {kNaN, std::numeric_limits<float>::infinity(), 3.4e38f, -1.0f, 0.0f};
    std::vector<float> in(256, 1.0f), left(256), right(256);
    for (int block = 0; block < 50; ++block) {
        panner.getLfo().setSongPosition(positions[block % 5]);
        panner.process(in.data(), left.data(), right.data(), 256);
        for (int i = 0; i < 256; ++i) {
            ASSERT_TRUE(std::isfinite(left[i]));
            ASSERT_TRUE(std::isfinite(right[i]));
        }
        ASSERT_GE(panner.getLfo().getPhase(), 0.0f);
        ASSERT_LT(panner.getLfo().getPhase(), 256.0f);
    }
}
