// Two plain state holders read by the effects' sample loops: an on/off switch that
// keeps its display text, and the wet/dry gain pair of an output blend.
#pragma once

#include <cmath>

#include "component.h"

namespace orvex {

// A control value held inside 0..1 where leaving it would make a unit unstable or its
// arithmetic undefined; NaN counts as 0.
inline float unitRange(float value) {
    if (value >= 0.0f) return value <= 1.0f ? value : 1.0f;
    return 0.0f;
}

// Audio thread, after a block found to have gone non-finite: its infinities and NaNs
// become silence, its finite samples stay.
inline void silenceNonFinite(float* buffer, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(buffer[i])) buffer[i] = 0.0f;
}

class COnOff : public CUtility {
public:
    COnOff() : CUtility("OnOff") {}

    // Below 0.5 is off; 0.5 and above is on.
    void setOnOff(float value);
    bool getOnOff() const { return on; }
    void getOnOff(char* text) const { copyText(text, this->text, sizeof this->text); }

    bool on = false;
    char text[15] = "Off";
};

class CWetDryMixer : public CUtility {
public:
    CWetDryMixer() : CUtility("WetDryMixer") {}

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
