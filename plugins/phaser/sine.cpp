#include "sine.h"

#include <cmath>
#include <numbers>

namespace orvex::phaser {

namespace {
constexpr int kTextCapacity = 16;
}  // namespace

CSine::CSine(float rate) {
    frequency.setExpRange(kMinFrequency, kMaxFrequency);
    sampleRate = rate;
    // The coefficient is left at the 1 Hz of the control set here, so that an
    // oscillator that is only constructed already runs at the frequency it reports.
    setControl(0.5f, 0);
    state = {kStartValue, 0.0f};
}

float CSine::frequencyOf(float value) {
    CParameter range;
    range.setExpRange(kMinFrequency, kMaxFrequency);
    return range.getSetExpValue(value);
}

void CSine::process(float* out, int count) {
    if (!out || count <= 0) return;
    State s = state;
    const float coefficient = k;
    for (int i = 0; i < count; ++i) out[i] = step(s, coefficient);
    state = s;
}

void CSine::setControl(float value, int) {
    const float f = frequency.getSetExpValue(value);
    // Half the phase step per sample. A sweep close to the sample rate (a rate no host
    // runs audio at, zero, or not a number) would stretch the ellipse far beyond the
    // unit amplitude and switch the all-pass coefficients fast enough to pump energy
    // into the phaser's loop: the step is held at a fiftieth of a cycle.
    constexpr float kLimit = std::numbers::pi_v<float> * kMaxCyclesPerSample;
    float half = std::numbers::pi_v<float> * f / sampleRate;
    if (!(half <= kLimit)) half = kLimit;
    if (!(half >= -kLimit)) half = -kLimit;
    k = 2.0f * std::sin(half);
}

void CSine::setControlAutomated(float value, int control) { setControl(value, control); }

void CSine::getControl(char* text, int) { floatToString(frequency.expResult, text); }

void CSine::getControlName(char* text, int) { copyText(text, "Frequency", kTextCapacity); }

void CSine::getUnitOfMeasurement(char* text, int) { copyText(text, "Hz", kTextCapacity); }

}  // namespace orvex::phaser
