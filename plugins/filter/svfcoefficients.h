// How the filter plug-in's state-variable stage turns a cutoff and a resonance into
// its two coefficients: the frequency coefficient of the oversampled integrators and
// the damping, both in double precision and bounded to keep the stage stable.
//
// Threads: called on the audio thread at the stage's updates (every 32 samples) and on
// the control thread when the rate changes; pure functions.
#pragma once

#include <cmath>
#include <numbers>

#include "dsp/utility.h"

namespace orvex::filter::coefficients {

// The lowest resonance the coefficients are computed with.
inline constexpr double kResonanceFloor = 0.06;

// The branch-free minimum and maximum the coefficients are formed with.
inline double minimum(double a, double b) { return (a + b - std::fabs(a - b)) / 2.0; }
inline double maximum(double a, double b) { return (a + b + std::fabs(a - b)) / 2.0; }

// Frequency coefficient for a cutoff in hertz; beyond a quarter of the oversampled rate
// (the host's Nyquist frequency) the integrators would no longer be stable.
inline double frequencyCoefficient(double hz, double period) {
    return 2.0 * std::sin(std::numbers::pi * minimum(hz * period, 0.25));
}

// Damping for a frequency coefficient and a resonance: 2 × (1 − resonance^¼), at most
// the stability bound 2 / f − f / 2 and at most 2.
inline double dampingCoefficient(double f, double resonance) {
    return minimum(minimum(2.0, 2.0 / f - 0.5 * f), 2.0 * (1.0 - std::pow(resonance, 0.25)));
}

// A resonance input outside 0..1 would make the damping negative (a filter that grows
// by itself) or NaN: it is held at the end it passed, NaN counting as 0.
inline double resonanceOf(float input) { return maximum(unitRange(input), kResonanceFloor); }

}  // namespace orvex::filter::coefficients
