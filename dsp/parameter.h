// Value scaling: the one record that maps a normalised control value onto a log-scale
// range, a linear range or a set of choices, and the text helpers of the displays.
#pragma once

namespace orvex {

class CParameter {
public:
    CParameter() = default;
    virtual ~CParameter() = default;

    // Log-scale mapping.
    void setExpRange(float minimum, float maximum);
    float getSetExpValue(float value);

    // Linear mapping: result = minimum + value * span.
    void setLinearRange(float minimum, float maximum);
    float getSetLinearValue(float value);

    // Choice mapping: truncate(minimum + value * scale), kept inside minimum..maximum.
    void setIndexRange(int minimum, int maximum, float scale);
    int getSetIndex(float value);

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

// Display helpers; each writes a NUL-terminated text into a buffer of 16 bytes or more.
// Frequency of a normalised value on 0.05 .. 20 kHz, printed with `format` ("%.2fK").
void frequencyStringConvert(float value, char* text, const char* format = "%.2fK");
// Tempo 50 + 200 * value, "%.2f".
void bpmStringConvert(float value, char* text);
float bpmToController(float bpm);
// Reads a tempo typed by the user; anything outside 50..250 (or unreadable) gives 120.
float textToBpm(const char* text);
void bpmToText(char* text, float bpm);
// 100 * value truncated, "%d%%".
void percentStringConvert(float value, char* text);

}  // namespace orvex
