// The filter plug-in's two small units after and before the filters: the soft
// saturation stage with one drive control, and the control-voltage generator that turns
// the LFO into a cutoff or resonance signal (an offset plus the LFO scaled by a signed
// depth, limited to 0..1). Neither owns a buffer.
//
// Threads: the control operations and the public fields are written from whichever
// thread sets parameters; `process` runs on the audio thread and reads them once per
// block.
#pragma once

#include <algorithm>
#include <cmath>

#include <emmintrin.h>

#include "dsp/component.h"

namespace orvex::filter {

class CWaveShaper1 : public CEffect {
public:
    // Beyond this magnitude the curve is flat to within a float's precision; holding
    // larger samples here keeps x × gain finite.
    static constexpr float kInputLimit = 1e30f;

    // Every identifier sets the drive, 0..1 (outside it the curve would divide by zero
    // or change sign: held at the end it passed; NaN is ignored).
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override { setControl(value, control); }
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Audio thread: (1 + k) x / (1 + k |x|) with k = curve, the numerator in single
    // precision, the denominator and the division in double.
    float process(float x) const { return saturate(x, gain, curve); }
    static float saturate(float x, float gain, float curve) {
        const float bounded = std::clamp(x, -kInputLimit, kInputLimit);
        return static_cast<float>(static_cast<double>(bounded * gain) /
                                  (static_cast<double>(curve) * std::fabs(static_cast<double>(bounded)) + 1.0));
    }

    // Audio thread: out[i] = saturate(x[i], gain, curve) × wet + dry[i] × dryGain for
    // `sampleCount` samples, four at a time in SSE2 registers with every value's
    // operations those of `saturate` in the same order; none of the buffers may overlap.
    static void saturateAndBlend(const float* x, const float* dry, float* out, int sampleCount, float gain,
                                 float curve, float wet, float dryGain);

    float drivePercent = 0;
    float shape = 0;
    float curve = 0;
    float gain = 0;
};

class CCvGenerator : public CUtility {
public:
    // The depth at which the LFO is neither added nor subtracted.
    static constexpr float kNoDepth = 0.5f;

    // Audio thread: cv[i] = offset + (2 × depth − 1) × lfo[i], limited to 0..1 without a
    // branch. The depth is read once per block.
    // Four samples at a time in SSE2 registers, each value's operations as in the
    // remaining samples' scalar form.
    void process(const float* lfo, float* cv, int sampleCount) const {
        const float scale = 2.0f * depth - 1.0f;
        const float base = offset;
        int i = 0;
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
        const __m128 scales = _mm_set1_ps(scale), bases = _mm_set1_ps(base);
        for (; i + 4 <= sampleCount; i += 4) {
            const __m128 v = _mm_add_ps(_mm_mul_ps(scales, _mm_loadu_ps(lfo + i)), bases);
            const __m128 above = _mm_and_ps(_mm_sub_ps(v, one), magnitude);
            _mm_storeu_ps(cv + i, _mm_mul_ps(_mm_sub_ps(_mm_add_ps(_mm_and_ps(v, magnitude), one), above), half));
        }
        for (; i < sampleCount; ++i) cv[i] = limited(scale * lfo[i] + base);
    }

    // A control voltage held inside 0..1 as `process` holds each (any thread): with the
    // depth at kNoDepth, what a base value becomes.
    static float limited(float v) { return (std::fabs(v) + 1.0f - std::fabs(v - 1.0f)) * 0.5f; }

    // Written directly by the owner: base value 0..1, depth 0..1 (0.5: none, above:
    // the LFO added, below: subtracted).
    float offset = 0.0f;
    float depth = kNoDepth;
};

}  // namespace orvex::filter
