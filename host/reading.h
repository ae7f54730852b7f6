// How a person reads a parameter, beside the 0..1 value hosts store: the unit it is
// counted in, its range in that unit, whether it is a switch, a choice among named
// entries or a continuous value, and the mapping both ways. Kept in the parameter's row
// (ParameterInfo::reading), so every face, the editors' menus and the tools read the
// same numbers. Plain data and pure functions, callable from any thread.
#pragma once

#include <span>

namespace orvex {

struct Reading {
    enum Kind { kContinuous, kLogarithmic, kToggle, kChoice };

    const char* unit;  // what the value is counted in: "Hz", "%", "BPM", "dB", "" ...
    float minimum;     // the value in that unit at 0 and at 1 (choices: 0 and entries - 1)
    float maximum;
    Kind kind = kContinuous;
    // Choices: each entry's name and the 0..1 value that selects it, in the order a
    // menu shows them; the unit value of a choice is its entry's position.
    std::span<const char* const> entries = {};
    std::span<const float> values = {};
    // A mapping other than linear (continuous) or exponential (logarithmic) between
    // minimum and maximum, given both ways; null for those. Where a unit maps in its own
    // single-precision arithmetic, `toUnit` is that arithmetic, so the unit value is
    // the number its display shows.
    float (*toUnit)(float value) = nullptr;
    float (*fromUnit)(float unitValue) = nullptr;
    // Choices: the unit picks entry truncate(value x scale), as its choice record does.
    float scale = 0.0f;
};

// The plain 0..1 reading of a row that states none.
inline constexpr Reading kPlainReading{"", 0.0f, 1.0f};

// The value in the reading's unit of a 0..1 value, and the 0..1 value of a value in
// the unit (kept inside 0..1; a NaN gives the value of the minimum). For a continuous
// reading that is the value whose unit value lies nearest, so a unit value read off a
// row maps back onto a value the unit treats alike: the same display, the same sound.
float unitOfValue(const Reading& reading, float value);
float valueOfUnit(const Reading& reading, float unitValue);

}  // namespace orvex
