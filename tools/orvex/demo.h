// The embedded demo: a short loop synthesised in memory (kick, snare, hi-hats and a
// chord per bar, in stereo) rendered through every plug-in found, once with the program
// it loads with, once with each factory program that differs from it, and once with
// each of the settings worth hearing that the demo knows for it (types, poles...).
#pragma once

#include <vector>

#include "arguments.h"

namespace orvex::cli {

// `bars` bars of 4/4 at `tempo` beats per minute, two channels, peaking at -6 dBFS.
// The same numbers every time (the noise comes from a fixed seed).
std::vector<std::vector<float>> synthesiseLoop(double sampleRate, double tempo, int bars = 2);

// The sample rate the demo renders at.
inline constexpr double kDemoSampleRate = 44100.0;

int runDemo(const DemoOptions& options);

}  // namespace orvex::cli
