#include "phaser.h"

#include "dsp/lanes.h"
#include "dsp/utility.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace orvex::phaser {

namespace {

constexpr int kTextCapacity = 16;

bool isUsedControl(int control) { return control == kModRate || control == kModDepth || control == kFeedback; }

// The left channel's value in lane 0, the right's in lane 1. Lanes 2 and 3 start at 0
// and run a sweep of depth 0 without feedback, so their values stay at the size of
// the anti-denormal offset: never denormal, never slow.
__m128 pairOf(float left, float right) { return _mm_setr_ps(left, right, 0.0f, 0.0f); }

void split(__m128 v, float& left, float& right) {
    const auto lanes = lanesOf(v);
    left = lanes[0];
    right = lanes[1];
}

}  // namespace

CPhaser::CPhaser(float rate)
    : sine(std::make_unique<CSine>(rate)),
      stages(std::make_unique<CAllPass[]>(kNumStages)) {
    sine->setSampleRate(rate);
    sine->setControl(0.5f, 0);
    setControl(0.5f, kModDepth);
    setControl(0.2f, kFeedback);
}

void CPhaser::setSampleRate(float rate) { sine->setSampleRate(rate); }

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
float CPhaser::chain(float v, float a, std::array<float, kNumStages>& state) {
    for (int j = kNumStages - 1; j >= 0; --j) v = CAllPass::pass(v, a, state[j]);
    if (!std::isfinite(v)) {
        state.fill(0.0f);
        return 0.0f;
    }
    return v;
}

void CPhaser::process(float* in, float* out, int count) {
    if (!in || !out || count <= 0) return;
    std::array<float, kNumStages> state;
    for (int j = 0; j < kNumStages; ++j) state[j] = stages[j].state;
    CSine::State oscillator = sine->getState();
    const float k = sine->getCoefficient();
    const float d = depth;
    const float g = loopGain;
    float previous = previousOutput;
    for (int i = 0; i < count; ++i) {
        addDC(in[i]);
        const float x = in[i];
        const float s1 = CSine::step(oscillator, k);
        // The oscillator stays inside -1..1 (its sweep is never faster than a fiftieth
        // of the rate), so with a depth in 0..1 c stays in 0..depth and a in 0..1.
        const float c = (s1 + 1.0f) * 0.5f * d;
        const float a = (1.0f - c) / (1.0f + c);
        const float y = chain(previous * g + x, a, state);
        previous = y;
        out[i] = y + x;
    }
    for (int j = 0; j < kNumStages; ++j) stages[j].state = state[j];
    sine->setState(oscillator);
    previousOutput = previous;
}

// Audio thread. Lane by lane, the very operations of `process(in, out, count)` and
// `chain` in their order.
void CPhaser::processPair(CPhaser& left, CPhaser& right, float* inLeft, float* inRight, float* outLeft,
                          float* outRight, int count) {
    if (!inLeft || !inRight || !outLeft || !outRight || count <= 0) return;
    __m128 state[kNumStages];
    for (int j = 0; j < kNumStages; ++j) state[j] = pairOf(left.stages[j].state, right.stages[j].state);
    const CSine::State leftSweep = left.sine->getState();
    const CSine::State rightSweep = right.sine->getState();
    __m128 s1 = pairOf(leftSweep.s1, rightSweep.s1);
    __m128 s2 = pairOf(leftSweep.s2, rightSweep.s2);
    const __m128 k = pairOf(left.sine->getCoefficient(), right.sine->getCoefficient());
    const __m128 d = pairOf(left.depth, right.depth);
    const __m128 g = pairOf(left.loopGain, right.loopGain);
    __m128 previous = pairOf(left.previousOutput, right.previousOutput);
    const __m128 dc = _mm_set1_ps(kAntiDenormal);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 half = _mm_set1_ps(0.5f);

    for (int i = 0; i < count; ++i) {
        const __m128 x = _mm_add_ps(_mm_unpacklo_ps(_mm_load_ss(inLeft + i), _mm_load_ss(inRight + i)), dc);
        _mm_store_ss(inLeft + i, x);
        _mm_store_ss(inRight + i, _mm_shuffle_ps(x, x, _MM_SHUFFLE(1, 1, 1, 1)));
        s1 = _mm_sub_ps(s1, _mm_mul_ps(k, s2));
        s2 = _mm_add_ps(s2, _mm_mul_ps(k, s1));
        const __m128 c = _mm_mul_ps(_mm_mul_ps(_mm_add_ps(s1, one), half), d);
        const __m128 a = _mm_div_ps(_mm_sub_ps(one, c), _mm_add_ps(one, c));
        __m128 v = _mm_add_ps(_mm_mul_ps(previous, g), x);
        // Unrolled: the stages follow one another with no loop branch between them,
        // which runs a few per cent faster wherever the code happens to be placed.
#pragma GCC unroll kNumStages
        for (int j = kNumStages - 1; j >= 0; --j) {
            const __m128 y = _mm_sub_ps(state[j], _mm_mul_ps(a, v));
            state[j] = _mm_add_ps(v, _mm_mul_ps(a, y));
            v = y;
        }
        // A lane whose chain turned non-finite starts again from rest and gives 0.
        const __m128 finite = finiteLanes(v);
        if ((_mm_movemask_ps(finite) & 3) != 3) [[unlikely]] {
            for (int j = 0; j < kNumStages; ++j) state[j] = _mm_and_ps(state[j], finite);
            v = _mm_and_ps(v, finite);
        }
        previous = v;
        const __m128 y = _mm_add_ps(v, x);
        _mm_store_ss(outLeft + i, y);
        _mm_store_ss(outRight + i, _mm_shuffle_ps(y, y, _MM_SHUFFLE(1, 1, 1, 1)));
    }

    float l, r;
    for (int j = 0; j < kNumStages; ++j) {
        split(state[j], l, r);
        left.stages[j].state = l;
        right.stages[j].state = r;
    }
    CSine::State leftEnd, rightEnd;
    split(s1, leftEnd.s1, rightEnd.s1);
    split(s2, leftEnd.s2, rightEnd.s2);
    left.sine->setState(leftEnd);
    right.sine->setState(rightEnd);
    split(previous, left.previousOutput, right.previousOutput);
}

float CPhaser::tick(float input) {
    float x = input;
    addDC(x);
    CSine::State oscillator = sine->getState();
    const float s1 = CSine::step(oscillator, sine->getCoefficient());
    sine->setState(oscillator);
    const float c = std::fabs(s1) * depth;
    std::array<float, kNumStages> state;
    for (int j = 0; j < kNumStages; ++j) state[j] = stages[j].state;
    const float y = chain(previousOutput * loopGain + x, c, state);
    for (int j = 0; j < kNumStages; ++j) stages[j].state = state[j];
    previousOutput = y;
    return x + y;
}

void CPhaser::process(float* buffer, int count) {
    if (!buffer) return;
    for (int i = 0; i < count; ++i) buffer[i] = tick(buffer[i]);
}

}  // namespace orvex::phaser
