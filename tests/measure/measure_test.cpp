// The measurement library: its noise and test signal are, sample for sample, the ones
// the benchmarks and `orvex bench` generated themselves before they shared it (the
// figures below were printed by that code), its stopwatch counts this thread's CPU time
// and not the time it waits, and its median and quartiles are the usual ones.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "tools/measure/measure.h"

namespace orvex::measure {
namespace {

TEST(Measure, NoiseAndSignalAsTheBenchmarksHadThem) {
    Noise noise;
    for (const float expected : {-0x1.eb1b9p-1f, -0x1.ef0e18p-1f, 0x1.61884p-4f, 0x1.14489p-2f, 0x1.a3dec4p-1f})
        EXPECT_EQ(noise.next(), expected);

    const LoopSignal signal = loopSignal(44100, 512);
    ASSERT_EQ(signal.length, 44100);
    ASSERT_EQ(signal.left.size(), 44100u + 512u);
    EXPECT_EQ(signal.left[0], -0x1.eb1b9p-3f);
    EXPECT_EQ(signal.right[0], -0x1.ef0e18p-3f);
    EXPECT_EQ(signal.left[1], 0x1.2fb8c6p-5f);
    EXPECT_EQ(signal.right[1], 0x1.719f28p-4f);
    EXPECT_EQ(signal.left[1000], -0x1.006a8ep-2f);
    EXPECT_EQ(signal.right[1000], 0x1.71dd28p-2f);
    EXPECT_EQ(signal.left[44099], -0x1.16fa1cp-2f);
    EXPECT_EQ(signal.right[44099], 0x1.42fcc8p-5f);
    // What follows the loop is its start again, so a block read across the end is what
    // a loop plays.
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(signal.left[44100 + i], signal.left[i]) << i;
        ASSERT_EQ(signal.right[44100 + i], signal.right[i]) << i;
    }
}

TEST(Measure, StopwatchCountsThisThreadsWorkNotItsWaiting) {
    Stopwatch stopwatch;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LT(stopwatch.seconds(), 0.03);

    stopwatch.restart();
    const double wallStart = wallSeconds();
    volatile double sink = 0;
    while (stopwatch.seconds() < 0.02 && wallSeconds() - wallStart < 10.0) sink = sink + std::sqrt(sink + 2.0);
    const double cpu = stopwatch.seconds();
    EXPECT_GE(cpu, 0.02);
    EXPECT_LE(cpu, wallSeconds() - wallStart + 1e-3);
}

TEST(Measure, MedianAndQuartiles) {
    EXPECT_EQ(median({5.0, 1.0, 3.0}), 3.0);
    EXPECT_EQ(median({4.0, 1.0, 3.0, 2.0}), 2.5);
    EXPECT_EQ(quantile({4.0, 1.0, 3.0, 2.0, 5.0}, 0.25), 2.0);
    EXPECT_EQ(quantile({1.0, 2.0, 3.0, 4.0}, 0.75), 3.25);
    // An infinite value where the median lands is the median, not NaN.
    EXPECT_EQ(median({1.0, INFINITY, INFINITY}), INFINITY);
    EXPECT_TRUE(std::isnan(median({})));
}

}  // namespace
}  // namespace orvex::measure
