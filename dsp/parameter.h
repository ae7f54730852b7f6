// Value scaling: the one record that maps a normalised control value onto a log-scale
// range, a linear range or a set of choices, and the text helpers of the displays.
#pragma once

#include <cmath>

namespace orvex {

// How the log-scale mapping takes its logarithms and keeps its result in range. The
// shared form works in base 10 (log10, 10^p) and clamps with a comparison and fmin,
// which also keeps a NaN value inside the range. A plug-in that needs other arithmetic
// supplies its own policy with the same three functions.
struct DecimalLogScale {
    static float logarithm(float x) { return std::log10(x); }
    static float raise(float power) { return std::pow(10.0f, power); }
    static float limit(float value, float minimum, float maximum) {
        return minimum > value ? minimum : std::fmin(maximum, value);
    }
};

template <class LogScale>
class BasicParameter {
public:
    BasicParameter() = default;
    virtual ~BasicParameter() = default;

    // Log-scale mapping.
    void setExpRange(float minimum, float maximum) {
        expMin = minimum;
        expMax = maximum;
        logMax = LogScale::logarithm(maximum);
        logMin = LogScale::logarithm(minimum);
        logSpan = logMax - logMin;
    }
    float getSetExpValue(float value) {
        power = value * logSpan + logMin;
        powerValue = LogScale::raise(power);
        expResult = LogScale::limit(powerValue, expMin, expMax);
        return expResult;
    }

    // Linear mapping: result = minimum + value * span.
    void setLinearRange(float minimum, float maximum) {
        linMin = minimum;
        linMax = maximum;
        linSpan = maximum - minimum;
    }
    float getSetLinearValue(float value) {
        linResult = linMin + value * linSpan;
        return linResult;
    }

    // Choice mapping: truncate(minimum + value * scale), kept inside minimum..maximum.
    void setIndexRange(int minimum, int maximum, float scale) {
        minIndex = minimum;
        maxIndex = maximum;
        indexScale = scale;
    }
    int getSetIndex(float value) {
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

    // Fields in record order; units read the last results directly.
    float powerValue = 0;
    float indexIntermediate = 0;
    int minIndex = 0;
    int maxIndex = 0;
    float indexScale = 0;
    float expMax = 0;
    float expMin = 0;
    float logMax = 0;
    float logMin = 0;
    float power = 0;
    float logSpan = 0;
    float linMin = 0;
    float linMax = 0;
    float linSpan = 0;
    int index = 0;
    float expResult = 0;
    float linResult = 0;
};

// The record every shared unit uses.
using CParameter = BasicParameter<DecimalLogScale>;
extern template class BasicParameter<DecimalLogScale>;

// The entry a choice record set up as setIndexRange(0, count - 1, scale) selects for
// `value`: the units' own truncation, for the faces that name the entry (any thread).
inline int choiceOf(float value, int count, float scale) {
    CParameter choice;
    choice.setIndexRange(0, count - 1, scale);
    return choice.getSetIndex(value);
}

// Display helpers; each writes a NUL-terminated text into a buffer of 16 bytes or more.
// Frequency of a normalised value on 0.05 .. 20 kHz, printed with `format` ("%.2fK").
void frequencyStringConvert(float value, char* text, const char* format = "%.2fK");
// The tempo range of the "Bpm" parameters, in beats per minute: value 0..1 maps
// linearly onto it.
inline constexpr float kMinBpm = 50.0f;
inline constexpr float kMaxBpm = 250.0f;
inline float bpmOfValue(float value) { return kMinBpm + value * (kMaxBpm - kMinBpm); }
// The tempo of `value`, "%.2f".
void bpmStringConvert(float value, char* text);
// The value of a tempo: the inverse of `bpmOfValue`.
float bpmToController(float bpm);
// Reads a tempo typed by the user; anything outside the range (or unreadable) gives 120.
float textToBpm(const char* text);
// 100 * value truncated, "%d%%".
void percentStringConvert(float value, char* text);

}  // namespace orvex
