#include "reading.h"

#include "dsp/parameter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace orvex {

namespace {

float unitRange01(float v) { return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f); }

// The value a continuous reading's unit value comes from as the mapping's formula
// inverts it (without the unit's own single-precision rounding).
float estimatedValue(const Reading& r, float unitValue) {
    if (r.fromUnit) return unitRange01(r.fromUnit(unitValue));
    if (r.kind == Reading::kLogarithmic) {
        const double u = std::clamp(unitValue, std::min(r.minimum, r.maximum), std::max(r.minimum, r.maximum));
        return unitRange01(static_cast<float>(std::log(u / r.minimum) / std::log(static_cast<double>(r.maximum) / r.minimum)));
    }
    if (r.maximum == r.minimum) return 0.0f;
    return unitRange01(static_cast<float>((static_cast<double>(unitValue) - r.minimum) / (static_cast<double>(r.maximum) - r.minimum)));
}

// The value of 0..1 whose unit value lies nearest `unitValue`, the first of several
// alike. The units map in single precision, some with steps, so the inverted formula
// can land a few floats away from a value the unit maps exactly onto `unitValue`: a
// value sent back would then show a digit apart. The mapping rises (or falls) with the
// value, so halving the run of floats between 0 and 1 finds that value in 30 steps.
float nearestValue(const Reading& r, float unitValue) {
    const bool falls = unitOfValue(r, 1.0f) < unitOfValue(r, 0.0f);
    auto below = [&](float v) { return falls ? unitOfValue(r, v) > unitValue : unitOfValue(r, v) < unitValue; };
    // Floats of 0..1 in order are the integers from 0 to the bits of 1.
    std::uint32_t low = 0, high = std::bit_cast<std::uint32_t>(1.0f);
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (below(std::bit_cast<float>(middle))) low = middle + 1;
        else high = middle;
    }
    const float first = std::bit_cast<float>(low);
    if (low == 0) return first;
    const float before = std::bit_cast<float>(low - 1);
    return std::fabs(unitOfValue(r, before) - unitValue) < std::fabs(unitOfValue(r, first) - unitValue) ? before : first;
}

}  // namespace

float unitOfValue(const Reading& r, float value) {
    const float v = unitRange01(value);
    if (r.toUnit) return r.toUnit(v);
    switch (r.kind) {
        case Reading::kToggle: return v >= 0.5f ? 1.0f : 0.0f;
        case Reading::kChoice: return static_cast<float>(choiceOf(v, static_cast<int>(r.values.size()), r.scale));
        case Reading::kLogarithmic:
            return static_cast<float>(r.minimum * std::pow(static_cast<double>(r.maximum) / r.minimum, v));
        case Reading::kContinuous: break;
    }
    return static_cast<float>(r.minimum + (static_cast<double>(r.maximum) - r.minimum) * v);
}

float valueOfUnit(const Reading& r, float unitValue) {
    if (std::isnan(unitValue)) unitValue = r.minimum;
    if (r.kind == Reading::kContinuous || r.kind == Reading::kLogarithmic) {
        const float estimate = estimatedValue(r, unitValue);
        return unitOfValue(r, estimate) == unitValue ? estimate : nearestValue(r, unitValue);
    }
    if (r.fromUnit) return unitRange01(r.fromUnit(unitValue));
    switch (r.kind) {
        case Reading::kToggle: return unitValue >= 0.5f ? 1.0f : 0.0f;
        case Reading::kChoice: {
            if (r.values.empty()) return 0.0f;
            const long last = static_cast<long>(r.values.size()) - 1;
            const long i = std::clamp(std::lround(std::clamp(unitValue, -1.0f, 1e6f)), 0L, last);
            return r.values[static_cast<std::size_t>(i)];
        }
        case Reading::kLogarithmic:
        case Reading::kContinuous: break;
    }
    return 0.0f;
}

}  // namespace orvex
