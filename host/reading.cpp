#include "reading.h"

#include <algorithm>
#include <cmath>

namespace orvex {

namespace {

float unitRange01(float v) { return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f); }

}  // namespace

float unitOfValue(const Reading& r, float value) {
    const float v = unitRange01(value);
    if (r.toUnit) return r.toUnit(v);
    switch (r.kind) {
        case Reading::kToggle: return v >= 0.5f ? 1.0f : 0.0f;
        case Reading::kChoice: {
            // The entry whose value lies nearest: the menus send exactly these values.
            int best = 0;
            for (int i = 1; i < static_cast<int>(r.values.size()); ++i)
                if (std::fabs(r.values[i] - v) < std::fabs(r.values[best] - v)) best = i;
            return static_cast<float>(best);
        }
        case Reading::kLogarithmic:
            return static_cast<float>(r.minimum * std::pow(static_cast<double>(r.maximum) / r.minimum, v));
        case Reading::kContinuous: break;
    }
    return static_cast<float>(r.minimum + (static_cast<double>(r.maximum) - r.minimum) * v);
}

float valueOfUnit(const Reading& r, float unitValue) {
    if (std::isnan(unitValue)) unitValue = r.minimum;
    if (r.fromUnit) return unitRange01(r.fromUnit(unitValue));
    switch (r.kind) {
        case Reading::kToggle: return unitValue >= 0.5f ? 1.0f : 0.0f;
        case Reading::kChoice: {
            if (r.values.empty()) return 0.0f;
            const long last = static_cast<long>(r.values.size()) - 1;
            const long i = std::clamp(std::lround(std::clamp(unitValue, -1.0f, 1e6f)), 0L, last);
            return r.values[static_cast<std::size_t>(i)];
        }
        case Reading::kLogarithmic: {
            const double u = std::clamp(unitValue, std::min(r.minimum, r.maximum), std::max(r.minimum, r.maximum));
            return unitRange01(static_cast<float>(std::log(u / r.minimum) / std::log(static_cast<double>(r.maximum) / r.minimum)));
        }
        case Reading::kContinuous: break;
    }
    if (r.maximum == r.minimum) return 0.0f;
    return unitRange01(static_cast<float>((static_cast<double>(unitValue) - r.minimum) / (static_cast<double>(r.maximum) - r.minimum)));
}

}  // namespace orvex
