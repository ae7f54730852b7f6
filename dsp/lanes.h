// Numbers in the lanes of SSE registers, so that one recursion written as a template
// runs on a float or on four (or two double) lanes with the same code, and every lane
// rounds as the scalar form does, operation for operation.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <type_traits>

namespace orvex {

// The four floats of `v`, lane 0 first.
inline std::array<float, 4> lanesOf(__m128 v) {
    alignas(16) std::array<float, 4> values;
    _mm_store_ps(values.data(), v);
    return values;
}

// GCC's vector types take +, -, * and / lane by lane, each the SSE instruction of the
// same name, and convert to and from __m128 and __m128d as they are. These two are
// __m128 and __m128d but for the may-alias attribute, which a template argument drops.
using Float4 = float __attribute__((vector_size(16)));
using Double2 = double __attribute__((vector_size(16)));

// std::min(a, b) is b < a ? b : a, and _mm_min_ps(b, a) is exactly that per lane (NaNs
// and signed zeros included), hence the swapped operands.
[[gnu::always_inline]] inline float minOf(float a, float b) { return std::min(a, b); }
[[gnu::always_inline]] inline Float4 minOf(Float4 a, Float4 b) { return _mm_min_ps(b, a); }

// A constant of the number type T, in every lane.
template <class T>
[[gnu::always_inline]] inline T constant(float x) {
    if constexpr (std::is_same_v<T, Float4>) return _mm_set1_ps(x);
    else if constexpr (std::is_same_v<T, Double2>) return _mm_set1_pd(x);
    else return static_cast<T>(x);
}

}  // namespace orvex
