// An independent model of the oversampled state-variable filter the panner and the
// distortion split their bands with, written from the algorithm alone.
#pragma once

#include <algorithm>
#include <cmath>

namespace model {

// Log-scale 50 .. 20000 Hz of a normalised value, in single precision.
inline float cutoffHz(float value) {
    const float logMin = std::log10(50.0f);
    const float logMax = std::log10(20000.0f);
    const float v = std::pow(10.0f, value * (logMax - logMin) + logMin);
    return v < 50.0f ? 50.0f : std::min(20000.0f, v);
}

// The two-times-oversampled state-variable filter, one sample at a time. The panner's
// form adds the anti-denormal offset to the input and rounds the resonance power from
// double precision; the distortion's block form does neither. The cubic term is the
// bare one: `maxCubicFactor` records the largest band × driveCoef × band met, so that a
// test can show the filter's limiter cap never came into play.
struct Svf {
    float rate2;
    float freq = 0, damp = 0, freqSet = 0.01f, dampSet = 0.01f, driveCoef = 0;
    float notch = 0, low = 0, band = 0, high = 0, peak = 0;
    int freqCount = 0, dampCount = 0;
    float freqStep = 0, dampStep = 0;
    float maxCubicFactor = 0;
    int type = 0;
    bool blockForm = false;

    Svf(float rate, int type, float resonance, bool blockForm = false)
        : rate2(2.0f * rate), type(type), blockForm(blockForm) {
        setCutoff(0.7f);
        setResonance(resonance);
        driveCoef = 0.1f * (1.0f - 0.2f);
    }
    float coefficient(float value) const { return 2.0f * (cutoffHz(value) * 3.1415927f / rate2); }
    float damping(float value) const {
        const float root = blockForm ? std::pow(value, 0.25f)
                                     : static_cast<float>(std::pow(static_cast<double>(value), 0.25));
        return 2.0f * (1.0f - root);
    }
    void setCutoff(float value) { freqSet = coefficient(value); }
    void setResonance(float value) { dampSet = damping(value); }
    void setDrive(float value) { driveCoef = 0.1f * (1.0f - value); }
    // Automated cutoff and resonance: a new target every 32 calls, reached in 32 equal
    // steps.
    void automateCutoff(float value) {
        if (++freqCount % 32 == 0) {
            freqStep = (coefficient(value) - freqSet) * 0.03125f;
            freqCount = 0;
        }
        freqSet += freqStep;
    }
    void automateResonance(float value) {
        if (++dampCount % 32 == 0) {
            dampStep = (damping(value) - dampSet) * 0.03125f;
            dampCount = 0;
        }
        dampSet += dampStep;
    }
    float selected() const {
        switch (type) {
            case 0: return low;
            case 1: return band;
            case 2: return high;
            case 3: return notch;
            default: return peak;
        }
    }
    void pass(float u) {
        notch = u - damp * band;
        low = freq * band + low;
        high = notch - low;
        const float cubic = band * driveCoef * band;
        maxCubicFactor = std::max(maxCubicFactor, std::fabs(cubic));
        band = freq * high + band - band * cubic;
    }
    float tick(float x) {
        const float limitRaw = 2.0f / freq;
        freq = std::min(0.25f, freqSet);
        damp = std::min(dampSet, std::min(2.0f, limitRaw));
        const float u = blockForm ? x : x + 1e-20f;
        pass(u);
        float output = 0.5f * selected();
        pass(u);
        peak = low - high;
        output = 0.5f * selected() + output;
        return output;
    }
};

}  // namespace model
