// Two plain state holders read by the effects' sample loops: an on/off switch that
// keeps its display text, and the wet/dry gain pair of an output blend.
#pragma once

#include <emmintrin.h>

#include <cfloat>
#include <cmath>

#include "component.h"

namespace orvex {

// A control value held inside 0..1 where leaving it would make a unit unstable or its
// arithmetic undefined; NaN counts as 0.
inline float unitRange(float value) {
    if (value >= 0.0f) return value <= 1.0f ? value : 1.0f;
    return 0.0f;
}

// What every unit puts out in place of a sample that is not finite: silence. A NaN or
// an infinity becomes 0, never the largest float: a full-scale spike hurts ears and
// pins a host's meters, a missing sample does neither. Finite samples stay as they are.
inline float finiteOrSilence(float sample) { return std::isfinite(sample) ? sample : 0.0f; }

// The same for each lane: all ones where the value is finite, zero where it is an
// infinity or a NaN (|v| <= FLT_MAX is false for both).
inline __m128 finiteLanes(__m128 v) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    return _mm_cmple_ps(_mm_and_ps(v, magnitude), _mm_set1_ps(FLT_MAX));
}
inline __m128 finiteOrSilence(__m128 v) { return _mm_and_ps(v, finiteLanes(v)); }

// Audio thread, after a block found to have gone non-finite.
inline void silenceNonFinite(float* buffer, int count) {
    for (int i = 0; i < count; ++i) buffer[i] = finiteOrSilence(buffer[i]);
}

class COnOff : public CUtility {
public:
    // Below 0.5 is off; 0.5 and above is on.
    void setOnOff(float value);
    bool getOnOff() const { return on; }
    void getOnOff(char* text) const { copyText(text, this->text, sizeof this->text); }

    bool on = false;
    char text[15] = "Off";
};

class CWetDryMixer : public CUtility {
public:
    // wet = value, dry = 1 - value: a linear crossfade.
    void setMix(float value) {
        wet = value;
        dry = 1.0f - value;
        wetPercent = 100.0f * value;
    }
    float mix(float processed, float input) const { return processed * wet + input * dry; }

    float wet = 0;
    float dry = 0;
    float wetPercent = 0;
};

}  // namespace orvex
