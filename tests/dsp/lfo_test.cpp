// The tempo-synchronised LFO and its frequency convertor: wave tables, musical rate,
// control texts, song-position lock and the phase staying inside its table whatever
// the host sends.
#include "dsp/lfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>

using namespace orvex;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Normalised value that selects `index` from `count` choices in the middle of its range.
float choice(int index, int count) { return (static_cast<float>(index) + 0.5f) / static_cast<float>(count); }

std::string controlText(CControlUnit& unit, int control) {
    char text[64];
    std::memset(text, 0, sizeof text);
    unit.getControl(text, control);
    return text;
}
std::string controlName(CControlUnit& unit, int control) {
    char text[64] = {};
    unit.getControlName(text, control);
    return text;
}
std::string unitText(CControlUnit& unit, int control) {
    char text[64] = {};
    unit.getUnitOfMeasurement(text, control);
    return text;
}

// The increment the LFO computes for `frequency` at `rate`: 257 positions per cycle.
float incrementOf(float frequency, float rate) { return frequency * (257.0f / rate); }

// The value the oscillator reads from `table` at `phase`.
float valueAt(const CLfo::WaveTable& table, float phase) {
    const int index = static_cast<int>(phase);
    const float fraction = phase - static_cast<float>(index);
    return table[index] + fraction * (table[index + 1] - table[index]);
}

// Every table entry the oscillator may read must be finite and inside 0..1.
void expectPhaseInTable(const CLfo& lfo) {
    EXPECT_GE(lfo.getPhase(), 0.0f);
    EXPECT_LT(lfo.getPhase(), 256.0f);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Convertor

TEST(Convertor, NoteTableIsEqualTemperamentFromNoteZero) {
    CConvertor convertor;
    EXPECT_EQ(convertor.noteFrequency[0], 8.175798915636872f);
    EXPECT_NEAR(convertor.noteFrequency[57], 220.0f, 0.001f);
    EXPECT_NEAR(convertor.noteFrequency[60], 261.6256f, 0.001f);
    EXPECT_NEAR(convertor.noteFrequency[69], 440.0f, 0.001f);
    EXPECT_NEAR(convertor.noteFrequency[127], 12543.85f, 0.05f);
}

TEST(Convertor, FrequencyFollowsTempoDivisionAndMultiple) {
    CConvertor convertor;
    EXPECT_EQ(convertor.getLfoFreq(120.0f, 2, false, 1), 0.5f);       // one bar at 120
    EXPECT_EQ(convertor.getLfoFreq(120.0f, 0, false, 8), 0.015625f);  // four bars, multiple 8
    // At 120 beats per minute a beat lasts 0.5 s: 2 Hz per beat-long cycle.
    const float beatsPerCycle[9] = {16, 8, 4, 2, 1, 0.5f, 0.25f, 0.125f, 0.0625f};
    for (int d = 0; d < 9; ++d) EXPECT_FLOAT_EQ(convertor.getLfoFreq(120.0f, d, false, 1), 2.0f / beatsPerCycle[d]) << d;
    EXPECT_FLOAT_EQ(convertor.getLfoFreq(90.0f, 4, false, 3), 0.5f);  // 1.5 Hz / 3
    EXPECT_FLOAT_EQ(convertor.getLfoFreq(120.0f, 2, true, 1), 0.5f / 1.5f);
}

TEST(Convertor, DivisionOutsideTableOrMultipleBelowOneGivesNoMovement) {
    CConvertor convertor;
    EXPECT_EQ(convertor.getLfoFreq(120.0f, -1, false, 1), 0.0f);
    EXPECT_EQ(convertor.getLfoFreq(120.0f, 9, false, 1), 0.0f);
    EXPECT_EQ(convertor.getLfoFreq(120.0f, 2, false, 0), 0.0f);
    EXPECT_EQ(convertor.getLfoFreq(120.0f, 2, false, -3), 0.0f);
}

// ---------------------------------------------------------------------------------
// Wave tables

TEST(LfoTables, SineStartsAtHalfPeaksAtQuarterAndClosesTheCycle) {
    CLfo lfo(44100.0f);
    const auto& t = lfo.getWaveTable(CLfo::kSine);
    EXPECT_EQ(t[0], 0.5f);
    EXPECT_EQ(t[64], 1.0f);
    EXPECT_NEAR(t[128], 0.5f, 1e-6f);
    EXPECT_EQ(t[192], 0.0f);
    EXPECT_NEAR(t[256], 0.5f, 1e-6f);
    for (int i = 0; i < 257; ++i) EXPECT_NEAR(t[i], 0.5 + 0.5 * std::sin(i * 2.0 * std::numbers::pi / 256.0), 2e-6) << i;
}

TEST(LfoTables, SawsRiseAndFallAcrossTheTableAndJumpAtTheEnd) {
    CLfo lfo(44100.0f);
    const auto& up = lfo.getWaveTable(CLfo::kSawUp);
    const auto& down = lfo.getWaveTable(CLfo::kSawDown);
    EXPECT_EQ(up[0], 0.0f);
    EXPECT_EQ(up[255], 1.0f);
    EXPECT_EQ(up[256], 0.0f);
    EXPECT_EQ(down[0], 1.0f);
    EXPECT_EQ(down[255], 0.0f);
    EXPECT_EQ(down[256], 1.0f);
    for (int i = 0; i < 256; ++i) {
        EXPECT_NEAR(up[i], i / 255.0, 1e-6) << i;
        EXPECT_EQ(down[i], 1.0f - up[i]) << i;
        if (i > 0) {
            EXPECT_GT(up[i], up[i - 1]) << i;
        }
    }
}

TEST(LfoTables, SquareAndTriangleHaveTheirExactShapes) {
    CLfo lfo(44100.0f);
    const auto& sq = lfo.getWaveTable(CLfo::kSquare);
    const auto& tri = lfo.getWaveTable(CLfo::kTriangle);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(sq[i], i < 128 ? 1.0f : 0.0f) << i;
        // The mapped form of the triangle: up from the middle, down through it, back up.
        const float expected = i < 64 ? 0.5f + i / 128.0f : (i < 192 ? 1.0f - (i - 64) / 128.0f : (i - 192) / 128.0f);
        EXPECT_EQ(tri[i], expected) << i;
    }
    EXPECT_EQ(sq[256], 1.0f);
    EXPECT_EQ(tri[256], 0.5f);
    EXPECT_EQ(tri[0], 0.5f);
    EXPECT_EQ(tri[64], 1.0f);
    EXPECT_EQ(tri[128], 0.5f);
    EXPECT_EQ(tri[192], 0.0f);
}

TEST(LfoTables, ExpTriangleRisesExponentiallyToItsPeakAndMirrorsBack) {
    CLfo lfo(44100.0f);
    const auto& t = lfo.getWaveTable(CLfo::kExpTriangle);
    EXPECT_EQ(t[0], 0.0f);
    EXPECT_NEAR(t[127], 0.99f, 0.005f);
    EXPECT_NEAR(t[128], 1.0f, 1e-6f);
    EXPECT_EQ(t[256], 0.0f);
    EXPECT_NEAR(t[64], (std::exp(0.5) - 1.0) / (std::numbers::e - 1.0), 1e-6);  // convex: below the straight line
    EXPECT_LT(t[64], 0.5f);
    for (int k = 1; k < 128; ++k) EXPECT_EQ(t[128 + k], t[128 - k]) << k;
}

TEST(LfoTables, EveryTableStaysInsideZeroToOneAndRebuildsIdentically) {
    CLfo lfo(44100.0f);
    CLfo::WaveTable before[CLfo::kNumWaveforms];
    for (int w = 0; w < CLfo::kNumWaveforms; ++w) {
        before[w] = lfo.getWaveTable(w);
        for (float v : before[w]) {
            EXPECT_GE(v, 0.0f);
            EXPECT_LE(v, 1.0f);
        }
    }
    lfo.createWaveTables();
    for (int w = 0; w < CLfo::kNumWaveforms; ++w) EXPECT_EQ(lfo.getWaveTable(w), before[w]) << w;
}

// ---------------------------------------------------------------------------------
// Controls

TEST(LfoControls, ControlNamesAndUnits) {
    CLfo lfo(44100.0f);
    EXPECT_EQ(controlName(lfo, 10), "Bpm");
    EXPECT_EQ(controlName(lfo, 11), "Division");
    EXPECT_EQ(controlName(lfo, 15), "Type");
    EXPECT_EQ(controlName(lfo, 37), "Multipler");
    EXPECT_EQ(unitText(lfo, 10), " ");
    EXPECT_EQ(unitText(lfo, 11), "bars");
    EXPECT_EQ(unitText(lfo, 15), " ");
    EXPECT_EQ(unitText(lfo, 37), " ");
}

TEST(LfoControls, StartsAtSineFourBarsMultipleOneAndTempo120) {
    CLfo lfo(44100.0f);
    EXPECT_EQ(controlText(lfo, 10), "120.0000");
    EXPECT_EQ(controlText(lfo, 11), "4");
    EXPECT_EQ(controlText(lfo, 15), "sin");
    EXPECT_EQ(controlText(lfo, 37), "1.000000");
    EXPECT_EQ(lfo.getPhase(), 0.0f);
    EXPECT_EQ(lfo.getPhaseIncrement(), incrementOf(0.125f, 44100.0f));
    // Song position 0 is where the last lock stood: the sine runs on from phase 0.
    lfo.setSongPosition(0.0f);
    EXPECT_EQ(lfo.processBlock(1), 0.5f);
    EXPECT_EQ(lfo.getPhase(), lfo.getPhaseIncrement());
}

TEST(LfoControls, DivisionTextsAndBarFactors) {
    CLfo lfo(44100.0f);
    const char* texts[9] = {"4", "2", "1", "1/2", "1/4", "1/8", "1/16", "1/32", "1/64"};
    const float barFactors[9] = {0.25f, 0.5f, 1, 2, 4, 8, 16, 32, 64};
    for (int d = 0; d < 9; ++d) {
        lfo.setControl(choice(d, 9), 11);
        EXPECT_EQ(controlText(lfo, 11), texts[d]);
        EXPECT_EQ(CMUSIC_MATH_SONG_PHASE[d], barFactors[d]);
        // A 32nd of a quarter note in, the lock lands on the bar factor's share of the cycle.
        const float position = d % 2 ? 0.03125f : 0.0625f;
        lfo.setSongPosition(position);
        lfo.processBlock(1);
        const double c = position * 0.25 * barFactors[d];
        EXPECT_EQ(lfo.getPhase(), static_cast<float>((c - std::floor(c)) * 257.0) + lfo.getPhaseIncrement()) << d;
    }
    lfo.setControl(1.0f, 11);
    EXPECT_EQ(controlText(lfo, 11), "1/64");
    lfo.setControl(0.0f, 11);
    EXPECT_EQ(controlText(lfo, 11), "4");
}

TEST(LfoControls, WaveformSelectsItsTableWithoutTouchingTheRate) {
    CLfo lfo(44100.0f);
    const char* texts[6] = {"sin", "sawUp", "sawDown", "square", "triangle", "harmoxel"};
    const float increment = lfo.getPhaseIncrement();
    lfo.processBlock(1000);  // away from phase 0, where several tables read alike
    for (int w = 0; w < 6; ++w) {
        lfo.setControlAutomated(choice(w, 6), 15);
        EXPECT_EQ(controlText(lfo, 15), texts[w]);
        const float phase = lfo.getPhase();
        EXPECT_EQ(lfo.processBlock(1), valueAt(lfo.getWaveTable(w), phase)) << w;
        EXPECT_EQ(lfo.getPhaseIncrement(), increment);
    }
    lfo.setControl(1.0f, 15);
    EXPECT_EQ(controlText(lfo, 15), "harmoxel");
}

TEST(LfoControls, MultipleDividesTheRate) {
    CLfo lfo(44100.0f);
    lfo.setControl(1.0f, 37);
    EXPECT_EQ(controlText(lfo, 37), "8.000000");
    EXPECT_EQ(lfo.getPhaseIncrement(), incrementOf(0.015625f, 44100.0f));
    lfo.setControl(choice(2, 8), 37);
    EXPECT_EQ(controlText(lfo, 37), "3.000000");
    EXPECT_FLOAT_EQ(lfo.getPhaseIncrement(), incrementOf(0.125f / 3.0f, 44100.0f));
}

TEST(LfoControls, OneBarAt120GivesHalfHertzAndItsIncrement) {
    CLfo lfo(44100.0f);
    lfo.setControl(120.0f, 10);
    lfo.setControl(choice(2, 9), 11);
    EXPECT_EQ(lfo.getPhaseIncrement(), incrementOf(0.5f, 44100.0f));
    lfo.setControl(140.0f, 10);
    EXPECT_EQ(controlText(lfo, 10), "140.0000");
    EXPECT_FLOAT_EQ(lfo.getPhaseIncrement(), (140.0f / 240.0f) * 257.0f / 44100.0f);
}

TEST(LfoControls, UnknownIdentifiersChangeNothingAndWriteNothing) {
    CLfo lfo(44100.0f);
    const float increment = lfo.getPhaseIncrement();
    for (int id : {0, 4, 12, 16, 34, 38, -1, 1000}) {
        lfo.setControl(0.9f, id);
        lfo.setControlAutomated(0.9f, id);
        char text[16];
        std::memset(text, 'x', sizeof text);
        lfo.getControl(text, id);
        lfo.getControlName(text, id);
        lfo.getUnitOfMeasurement(text, id);
        for (char c : text) EXPECT_EQ(c, 'x') << id;
    }
    EXPECT_EQ(lfo.getPhaseIncrement(), increment);
    EXPECT_EQ(controlText(lfo, 15), "sin");
    EXPECT_EQ(controlText(lfo, 11), "4");
    EXPECT_EQ(controlText(lfo, 37), "1.000000");
    EXPECT_EQ(controlText(lfo, 10), "120.0000");
}

TEST(LfoControls, TempoThatIsNotPositiveAndFiniteIsNotTaken) {
    CLfo lfo(44100.0f);
    lfo.setControl(choice(8, 9), 11);
    const float increment = lfo.getPhaseIncrement();
    for (float bad : {0.0f, -0.0f, -120.0f, kNaN, kInf, -kInf}) {
        lfo.setControl(bad, 10);
        lfo.setControlAutomated(bad, 10);
        EXPECT_EQ(lfo.getPhaseIncrement(), increment) << bad;
        EXPECT_EQ(controlText(lfo, 10), "120.0000");
    }
    // A tempo so high that the increment would overflow leaves the increment alone.
    lfo.setControl(3e38f, 10);
    EXPECT_TRUE(std::isfinite(lfo.getPhaseIncrement()));
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(std::isfinite(lfo.processBlock(32)));
        expectPhaseInTable(lfo);
    }
}

TEST(LfoControls, SampleRateRecomputesTheIncrementAndIgnoresUnusableRates) {
    CLfo lfo(44100.0f);
    lfo.setControl(choice(2, 9), 11);
    lfo.setSampleRate(48000.0f);
    EXPECT_EQ(lfo.getSampleRate(), 48000.0f);
    EXPECT_EQ(lfo.getPhaseIncrement(), incrementOf(0.5f, 48000.0f));
    for (float bad : {0.0f, -44100.0f, kNaN, kInf, 1e-44f}) {
        lfo.setSampleRate(bad);
        EXPECT_EQ(lfo.getSampleRate(), 48000.0f) << bad;
        EXPECT_EQ(lfo.getPhaseIncrement(), incrementOf(0.5f, 48000.0f)) << bad;
        lfo.setControl(140.0f, 10);  // a tempo change computes from the rate kept
        EXPECT_EQ(lfo.getPhaseIncrement(), incrementOf(CConvertor().getLfoFreq(140.0f, 2, false, 1), 48000.0f));
        lfo.setControl(120.0f, 10);
    }
    CLfo broken(0.0f);  // constructed with no usable rate: falls back to 44100
    EXPECT_EQ(broken.getSampleRate(), 44100.0f);
    EXPECT_TRUE(std::isfinite(broken.getPhaseIncrement()));
}

// ---------------------------------------------------------------------------------
// Running and phase lock

TEST(LfoRun, FreeRunningAdvancesCountIncrementsAndReadsBeforeTheLast) {
    CLfo lfo(44100.0f);
    lfo.setControl(choice(8, 9), 11);  // 32 Hz
    lfo.setSongPosition(CLfo::kNoSongPosition);
    const float inc = lfo.getPhaseIncrement();
    float phase = 0.0f;
    for (int block = 0; block < 50; ++block) {
        for (int i = 1; i < 32; ++i) {
            phase += inc;
            if (phase >= 256.0f) phase -= 256.0f;
        }
        const int index = static_cast<int>(phase);
        const float fraction = phase - index;
        const auto& t = lfo.getWaveTable(CLfo::kSine);
        const float expected = t[index] + fraction * (t[index + 1] - t[index]);
        EXPECT_EQ(lfo.processBlock(32), expected) << block;
        phase += inc;
        if (phase >= 256.0f) phase -= 256.0f;
        EXPECT_EQ(lfo.getPhase(), phase) << block;
    }
}

TEST(LfoRun, SawUpFallsFromOneToZeroWithinItsLastStep) {
    // At 257 Hz with one bar at 120 the increment is exactly 0.5 position per sample.
    CLfo lfo(257.0f);
    lfo.setControl(choice(2, 9), 11);
    lfo.setControl(choice(1, 6), 15);
    lfo.setSongPosition(CLfo::kNoSongPosition);
    ASSERT_EQ(lfo.getPhaseIncrement(), 0.5f);
    EXPECT_EQ(lfo.processBlock(511), 1.0f);   // phase 255: last entry of the ramp
    EXPECT_EQ(lfo.processBlock(1), 0.5f);     // phase 255.5: halfway down to entry 256
    EXPECT_EQ(lfo.processBlock(1), 0.0f);     // phase wrapped to 0
    EXPECT_EQ(lfo.getPhase(), 0.5f);
}

TEST(LfoRun, SongPositionLocksThePhaseToTheBar) {
    CLfo lfo(44100.0f);
    lfo.setControl(choice(2, 9), 11);  // one bar: bar factor 1
    lfo.setSongPosition(2.0f);         // half a bar in: c = 0.5
    const auto& t = lfo.getWaveTable(CLfo::kSine);
    const float out = lfo.processBlock(1);
    EXPECT_EQ(out, t[128] + 0.5f * (t[129] - t[128]));
    EXPECT_EQ(lfo.getPhase(), 128.5f + lfo.getPhaseIncrement());

    // Same position again: no new lock, the oscillator runs on.
    const float inc = lfo.getPhaseIncrement();
    float phase = lfo.getPhase();
    lfo.processBlock(32);
    for (int i = 0; i < 32; ++i) phase += inc;
    EXPECT_EQ(lfo.getPhase(), phase);

    // A new position locks again: 6 quarter notes is also half a bar.
    lfo.setSongPosition(6.0f);
    lfo.processBlock(1);
    EXPECT_EQ(lfo.getPhase(), 128.5f + lfo.getPhaseIncrement());

    // Four bars at 4-bar division: a quarter of the way through, c = 0.25 -> 64.25.
    lfo.setControl(0.0f, 11);
    lfo.setSongPosition(4.0f);
    EXPECT_EQ(lfo.processBlock(1), valueAt(t, 64.25f));
    EXPECT_EQ(lfo.getPhase(), 64.25f + lfo.getPhaseIncrement());
}

TEST(LfoRun, LockNearTheEndOfTheBarWrapsIntoTheTable) {
    CLfo lfo(44100.0f);
    lfo.setControl(choice(2, 9), 11);
    lfo.setSongPosition(3.996f);  // c = 0.999: 256.743 positions, one past the cycle
    lfo.processBlock(1);
    EXPECT_NEAR(lfo.getPhase() - lfo.getPhaseIncrement(), 0.743f, 0.001f);
}

TEST(LfoRun, NoPositionNeverMovesThePhase) {
    CLfo lfo(44100.0f);
    lfo.setControl(choice(5, 9), 11);
    const float inc = lfo.getPhaseIncrement();
    float phase = 0.0f;
    for (int block = 0; block < 20; ++block) {
        lfo.setSongPosition(-1000.0f);
        lfo.processBlock(32);
        for (int i = 0; i < 32; ++i) phase += inc;
        EXPECT_EQ(lfo.getPhase(), phase);
    }
}

TEST(LfoRun, NonFiniteSongPositionCountsAsNoPosition) {
    for (float bad : {kNaN, kInf, -kInf}) {
        CLfo lfo(44100.0f);
        lfo.setControl(choice(5, 9), 11);
        lfo.setSongPosition(bad);
        const float inc = lfo.getPhaseIncrement();
        float phase = 0.0f;
        for (int block = 0; block < 5; ++block) {
            const float out = lfo.processBlock(32);
            for (int i = 0; i < 32; ++i) phase += inc;
            EXPECT_TRUE(std::isfinite(out));
            EXPECT_EQ(lfo.getPhase(), phase);
        }
    }
}

TEST(LfoRun, HugeSongPositionStillLandsInsideTheTable) {
    CLfo lfo(44100.0f);
    lfo.setControl(1.0f, 11);  // bar factor 64: the largest multiplier
    for (float pos : {3.4e38f, -3.4e38f, 1e20f, -4.5f, 123456.7f}) {
        lfo.setSongPosition(pos);
        const float out = lfo.processBlock(32);
        EXPECT_TRUE(std::isfinite(out)) << pos;
        EXPECT_GE(out, 0.0f);
        EXPECT_LE(out, 1.0f);
        expectPhaseInTable(lfo);
    }
}

TEST(LfoRun, ResetRestartsTheCycleAndForgetsThePosition) {
    CLfo lfo(44100.0f);
    lfo.setControl(choice(2, 9), 11);
    lfo.setSongPosition(3.0f);
    lfo.processBlock(32);
    ASSERT_GT(lfo.getPhase(), 190.0f);
    lfo.reset();
    EXPECT_EQ(lfo.getPhase(), 0.0f);
    // Position 0 differs from the last lock (3.0): the next block locks to the bar start.
    EXPECT_EQ(lfo.processBlock(1), 0.5f);
    EXPECT_EQ(lfo.getPhase(), lfo.getPhaseIncrement());
    // Where it locked is now the last position: the same position again runs on.
    float phase = lfo.getPhase();
    lfo.processBlock(31);
    for (int i = 0; i < 31; ++i) phase += lfo.getPhaseIncrement();
    EXPECT_EQ(lfo.getPhase(), phase);
    // The position before the reset is a new one now: 3 quarter notes lock to 192.75.
    lfo.setSongPosition(3.0f);
    lfo.processBlock(1);
    EXPECT_EQ(lfo.getPhase(), 192.75f + lfo.getPhaseIncrement());
}

TEST(LfoRun, IncrementOfAWholeCycleOrMoreWrapsWithATrueModulo) {
    // 1 Hz sample rate, 1/64 bar at 120: 32 Hz x 257 = 8224 positions per sample,
    // that is 32 whole cycles and 32 positions.
    CLfo lfo(1.0f);
    lfo.setControl(1.0f, 11);
    lfo.setSongPosition(CLfo::kNoSongPosition);
    ASSERT_EQ(lfo.getPhaseIncrement(), 8224.0f);
    const auto& t = lfo.getWaveTable(CLfo::kSine);
    for (int n = 0; n < 64; ++n) {
        const float out = lfo.processBlock(1);
        EXPECT_EQ(out, t[(32 * n) % 256]) << n;
        expectPhaseInTable(lfo);
    }
    // Blocks of 32 samples with an increment that is no whole multiple.
    lfo.setControl(choice(3, 8), 37);
    lfo.setControl(173.0f, 10);
    EXPECT_GE(lfo.getPhaseIncrement(), 256.0f);
    for (int n = 0; n < 1000; ++n) {
        const float out = lfo.processBlock(32);
        ASSERT_TRUE(std::isfinite(out)) << n;
        ASSERT_GE(out, 0.0f);
        ASSERT_LE(out, 1.0f);
        expectPhaseInTable(lfo);
    }
}

TEST(LfoRun, TinySampleRateWithAHugeIncrementStaysInsideTheTable) {
    CLfo lfo(1e-30f);
    lfo.setControl(1.0f, 11);
    lfo.setSongPosition(CLfo::kNoSongPosition);
    ASSERT_TRUE(std::isfinite(lfo.getPhaseIncrement()));
    ASSERT_GT(lfo.getPhaseIncrement(), 1e30f);
    for (int n = 0; n < 100; ++n) {
        EXPECT_TRUE(std::isfinite(lfo.processBlock(32)));
        expectPhaseInTable(lfo);
    }
}
