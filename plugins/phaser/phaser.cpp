#include "phaser.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvex::phaser {

namespace {

constexpr int kTextCapacity = 16;

bool isUsedControl(int control) { return control == kModRate || control == kModDepth || control == kFeedback; }

}  // namespace

// All-pass section ------------------------------------------------------------

void CAllPass::process(float* in, float* out, int count) {
    if (!in || !out || count <= 0) return;
    const float a = coefficient;
    float s = state;
    float y = lastOutput;
    for (int i = 0; i < count; ++i) {
        y = pass(in[i], a, s);
        out[i] = y;
    }
    state = s;
    lastOutput = y;
}

void CAllPass::process(float* buffer, int count) { process(buffer, buffer, count); }

void CAllPass::getControl(char* text, int) { floatToString(coefficient, text); }

void CAllPass::getControlName(char* text, int) { copyText(text, "Delay", kTextCapacity); }

void CAllPass::getUnitOfMeasurement(char* text, int) { copyText(text, "Samples", kTextCapacity); }

// Phaser ----------------------------------------------------------------------

CPhaser::CPhaser(float rate)
    : CEffect("Phaser", kNumControls),
      sine(std::make_unique<CSine>(rate)),
      stages(std::make_unique<CAllPass[]>(kNumStages)) {
    sine->setSampleRate(rate);
    sine->setControl(0.5f, 0);
    setControl(0.5f, kModDepth);
    setControl(0.2f, kFeedback);
}

CPhaser::~CPhaser() {
    sine.reset();
    stages.reset();
}

void CPhaser::setSampleRate(float rate) { sine->setSampleRate(rate); }

void CPhaser::restartAt(double samples) {
    sine->seek(samples);
    for (int j = 0; j < kNumStages; ++j) stages[j].state = stages[j].lastOutput = 0.0f;
    previousOutput = 0.0f;
}

void CPhaser::setControl(float value, int control) {
    switch (control) {
        case kModRate: sine->setControl(value, 0); break;
        case kModDepth: depth = value; break;
        case kFeedback:
            feedback = value;
            loopGain = std::isnan(value) ? 0.0f : std::clamp(value, -kMaxLoopGain, kMaxLoopGain);
            break;
        default: break;
    }
}

void CPhaser::getControl(char* text, int control) {
    switch (control) {
        case kModRate: sine->getControl(text, 0); break;
        case kModDepth: floatToString(100.0f * depth, text); break;
        case kFeedback: floatToString(100.0f * feedback, text); break;
        default: break;
    }
}

void CPhaser::getControlName(char* text, int control) {
    if (control >= 0 && control <= kNumControls && isUsedControl(control))
        copyText(text, kControlTexts[control].name, kTextCapacity);
}

void CPhaser::getUnitOfMeasurement(char* text, int control) {
    if (control >= 0 && control <= kNumControls && isUsedControl(control))
        copyText(text, kControlTexts[control].unit, kTextCapacity);
}

// Audio thread. A NaN or infinity that reaches the loop would stay in the stages and
// the feedback for ever: once the chain's output is not finite, that sample's chain
// output is silence and every stage starts again from rest, so the output is finite
// again from the next finite input sample on. One test of a value in a register per
// sample, a branch never taken with finite input.
float CPhaser::chain(float v, float a, std::array<float, kNumStages>& state, std::array<float, kNumStages>& last) {
    for (int j = kNumStages - 1; j >= 0; --j) {
        v = CAllPass::pass(v, a, state[j]);
        last[j] = v;
    }
    if (!(std::fabs(v) <= std::numeric_limits<float>::max())) {
        state.fill(0.0f);
        last.fill(0.0f);
        return 0.0f;
    }
    return v;
}

void CPhaser::process(float* in, float* out, int count) {
    if (!in || !out || count <= 0) return;
    std::array<float, kNumStages> state, last;
    for (int j = 0; j < kNumStages; ++j) {
        state[j] = stages[j].state;
        last[j] = stages[j].lastOutput;
    }
    CSine::State oscillator = sine->getState();
    const float k = sine->getCoefficient();
    const float d = depth;
    const float g = loopGain;
    float previous = previousOutput;
    float c = sweepValue;
    float a = stages[0].coefficient;
    for (int i = 0; i < count; ++i) {
        addDC(in[i]);
        const float x = in[i];
        const float s1 = CSine::step(oscillator, k);
        // The oscillator stays inside -1..1 (its sweep is never faster than a fiftieth
        // of the rate), so with a depth in 0..1 c stays in 0..depth and a in 0..1.
        c = (s1 + 1.0f) * 0.5f * d;
        a = (1.0f - c) / (1.0f + c);
        const float y = chain(previous * g + x, a, state, last);
        previous = y;
        out[i] = y + x;
    }
    for (int j = 0; j < kNumStages; ++j) {
        stages[j].state = state[j];
        stages[j].lastOutput = last[j];
        stages[j].coefficient = a;
    }
    sine->setState(oscillator);
    sweepValue = c;
    previousOutput = previous;
}

float CPhaser::tick(float input) {
    float x = input;
    addDC(x);
    CSine::State oscillator = sine->getState();
    const float s1 = CSine::step(oscillator, sine->getCoefficient());
    sine->setState(oscillator);
    const float c = std::fabs(s1) * depth;
    sweepValue = c;
    std::array<float, kNumStages> state, last;
    for (int j = 0; j < kNumStages; ++j) {
        state[j] = stages[j].state;
        last[j] = stages[j].lastOutput;
    }
    const float y = chain(previousOutput * loopGain + x, c, state, last);
    for (int j = 0; j < kNumStages; ++j) {
        stages[j].state = state[j];
        stages[j].lastOutput = last[j];
        stages[j].coefficient = c;
    }
    previousOutput = y;
    return x + y;
}

void CPhaser::process(float* buffer, int count) {
    if (!buffer) return;
    for (int i = 0; i < count; ++i) buffer[i] = tick(buffer[i]);
}

}  // namespace orvex::phaser
