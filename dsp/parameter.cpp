#include "parameter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orvex {

template class BasicParameter<DecimalLogScale>;

void frequencyStringConvert(float value, char* text, const char* format) {
    CParameter range;
    range.setExpRange(0.05f, 20.0f);
    std::snprintf(text, 16, format, range.getSetExpValue(value));
}

void bpmStringConvert(float value, char* text) { std::snprintf(text, 16, "%.2f", bpmOfValue(value)); }

float bpmToController(float bpm) { return (bpm - kMinBpm) / (kMaxBpm - kMinBpm); }

float textToBpm(const char* text) {
    float bpm = text ? static_cast<float>(std::atof(text)) : 0.0f;
    if (!(bpm >= kMinBpm && bpm <= kMaxBpm)) return 120.0f;
    return bpm;
}

void percentStringConvert(float value, char* text) {
    float percent = 100.0f * value;
    // Outside the int range (or NaN) the cast would be undefined: clamp first.
    if (!(percent > -2e9f)) percent = 0.0f;
    if (percent > 2e9f) percent = 2e9f;
    std::snprintf(text, 16, "%d%%", static_cast<int>(percent));
}

}  // namespace orvex
