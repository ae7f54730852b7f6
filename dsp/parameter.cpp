#include "parameter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orvex {

void CParameter::setExpRange(float minimum, float maximum) {
    expMin = minimum;
    expMax = maximum;
    logMax = std::log10(maximum);
    logMin = std::log10(minimum);
    logSpan = logMax - logMin;
}

float CParameter::getSetExpValue(float value) {
    power = value * logSpan + logMin;
    powerValue = std::pow(10.0f, power);
    if (expMin > powerValue)
        expResult = expMin;
    else
        expResult = std::fmin(expMax, powerValue);  // also keeps a NaN value inside the range
    return expResult;
}

void CParameter::setLinearRange(float minimum, float maximum) {
    linMin = minimum;
    linMax = maximum;
    linSpan = maximum - minimum;
}

float CParameter::getSetLinearValue(float value) {
    linResult = linMin + value * linSpan;
    return linResult;
}

void CParameter::setIndexRange(int minimum, int maximum, float scale) {
    minIndex = minimum;
    maxIndex = maximum;
    indexScale = scale;
}

int CParameter::getSetIndex(float value) {
    indexIntermediate = static_cast<float>(minIndex) + value * indexScale;
    // Compare before converting: a huge or NaN value must not reach the integer cast.
    if (!(indexIntermediate >= static_cast<float>(minIndex)))
        index = minIndex;
    else if (indexIntermediate >= static_cast<float>(maxIndex) + 1.0f)
        index = maxIndex;
    else
        index = static_cast<int>(indexIntermediate);
    if (index < minIndex) index = minIndex;
    if (index > maxIndex) index = maxIndex;
    return index;
}

void frequencyStringConvert(float value, char* text, const char* format) {
    CParameter range;
    range.setExpRange(0.05f, 20.0f);
    std::snprintf(text, 16, format, range.getSetExpValue(value));
}

void bpmStringConvert(float value, char* text) { std::snprintf(text, 16, "%.2f", 50.0f + 200.0f * value); }

float bpmToController(float bpm) { return (bpm - 50.0f) / 200.0f; }

float textToBpm(const char* text) {
    float bpm = text ? static_cast<float>(std::atof(text)) : 0.0f;
    if (!(bpm >= 50.0f && bpm <= 250.0f)) return 120.0f;
    return bpm;
}

void bpmToText(char* text, float bpm) { std::snprintf(text, 16, "%.2f", bpm); }

void percentStringConvert(float value, char* text) {
    float percent = 100.0f * value;
    // Outside the int range (or NaN) the cast would be undefined: clamp first.
    if (!(percent > -2e9f)) percent = 0.0f;
    if (percent > 2e9f) percent = 2e9f;
    std::snprintf(text, 16, "%d%%", static_cast<int>(percent));
}

}  // namespace orvex
