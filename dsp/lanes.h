// Reading back what SSE code keeps in the lanes of a register.
#pragma once

#include <emmintrin.h>

#include <array>

namespace orvex {

// The four floats of `v`, lane 0 first.
inline std::array<float, 4> lanesOf(__m128 v) {
    alignas(16) std::array<float, 4> values;
    _mm_store_ps(values.data(), v);
    return values;
}

}  // namespace orvex
