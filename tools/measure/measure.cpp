#include "measure.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace orvex::measure {

namespace {

double secondsOf(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

}  // namespace

double threadSeconds() { return secondsOf(CLOCK_THREAD_CPUTIME_ID); }
double wallSeconds() { return secondsOf(CLOCK_MONOTONIC); }

LoopSignal loopSignal(int length, int readAhead) {
    LoopSignal signal;
    signal.length = std::max(length, 1);
    const auto frames = static_cast<std::size_t>(signal.length + std::max(readAhead, 0));
    signal.left.resize(frames);
    signal.right.resize(frames);
    Noise noise;
    for (int i = 0; i < signal.length; ++i) {
        const auto at = static_cast<std::size_t>(i);
        signal.left[at] = 0.25f * noise.next() + 0.5f * std::sin(0.031f * static_cast<float>(i));
        signal.right[at] = 0.25f * noise.next() + 0.4f * std::sin(0.057f * static_cast<float>(i));
    }
    for (std::size_t i = static_cast<std::size_t>(signal.length); i < frames; ++i) {
        signal.left[i] = signal.left[i % static_cast<std::size_t>(signal.length)];
        signal.right[i] = signal.right[i % static_cast<std::size_t>(signal.length)];
    }
    return signal;
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const double at = std::clamp(q, 0.0, 1.0) * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const double fraction = at - static_cast<double>(low);
    // A share that lands on a value gives that value itself, infinite ones too.
    if (fraction == 0.0) return values[low];
    return values[low] + (values[low + 1] - values[low]) * fraction;
}

double median(std::vector<double> values) { return quantile(std::move(values), 0.5); }

}  // namespace orvex::measure
