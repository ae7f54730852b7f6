// What the benchmarks (bench/), `orvex bench` and the validator measure with: the CPU
// time of the calling thread, seeded noise, the benchmarks' test signal and the median
// of a set of figures. Plain clocks and arithmetic, no host knowledge; every function
// may be called from any thread, and only the ones returning vectors allocate.
#pragma once

#include <cstdint>
#include <vector>

namespace orvex::measure {

// The CPU time the calling thread has used, in seconds: what a measurement on a shared,
// busy machine counts, since other processes and threads do not add to it.
double threadSeconds();
// Seconds on the monotonic wall clock.
double wallSeconds();

// The calling thread's CPU time since the stopwatch was made or last restarted. Read it
// on the thread that made it: another thread's reading counts that thread's time.
class Stopwatch {
public:
    Stopwatch() : started(threadSeconds()) {}
    void restart() { started = threadSeconds(); }
    double seconds() const { return threadSeconds() - started; }

private:
    double started;
};

// White noise, uniform in [-1, 1) in steps of 2^-23, from a linear congruential
// generator: the same sequence from the same seed on every machine and compiler.
class Noise {
public:
    static constexpr uint32_t kSeed = 12345u;  // the benchmarks' seed
    explicit Noise(uint32_t seed = kSeed) : state(seed) {}
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }

private:
    uint32_t state;
};

// The benchmarks' input, played in a loop: `length` stereo frames of noise at a quarter
// of full scale (one generator, the channels taking turns at it) over a tone on each
// channel, followed by `readAhead` frames repeating the loop's start, so that a block of
// up to `readAhead` frames can be read in place from any position of the loop.
struct LoopSignal {
    int length = 0;
    std::vector<float> left, right;  // length + readAhead frames each
};
LoopSignal loopSignal(int length = 44100, int readAhead = 0);

// The value below which a share `q` (0 to 1) of the values lie, between the two nearest
// when it falls between them; NaN for none. The median is q = 0.5 (for an even count
// the mean of the two middle values).
double quantile(std::vector<double> values, double q);
double median(std::vector<double> values);

}  // namespace orvex::measure
