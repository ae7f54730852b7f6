// Numbers in the lanes of SSE registers: a small value type whose operations are the
// SSE ones, so that one recursion written as a template runs on a float or on four
// (or two double) lanes with the same code, and every lane rounds as the scalar form
// does, operation for operation.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <array>

namespace orvex {

// The four floats of `v`, lane 0 first.
inline std::array<float, 4> lanesOf(__m128 v) {
    alignas(16) std::array<float, 4> values;
    _mm_store_ps(values.data(), v);
    return values;
}

// Four floats, one per lane.
struct Float4 {
    __m128 v;
    static Float4 all(float x) { return {_mm_set1_ps(x)}; }
};

[[gnu::always_inline]] inline Float4 operator+(Float4 a, Float4 b) { return {_mm_add_ps(a.v, b.v)}; }
[[gnu::always_inline]] inline Float4 operator-(Float4 a, Float4 b) { return {_mm_sub_ps(a.v, b.v)}; }
[[gnu::always_inline]] inline Float4 operator*(Float4 a, Float4 b) { return {_mm_mul_ps(a.v, b.v)}; }
[[gnu::always_inline]] inline Float4 operator/(Float4 a, Float4 b) { return {_mm_div_ps(a.v, b.v)}; }

// Two doubles, one per lane.
struct Double2 {
    __m128d v;
    static Double2 all(double x) { return {_mm_set1_pd(x)}; }
};

[[gnu::always_inline]] inline Double2 operator+(Double2 a, Double2 b) { return {_mm_add_pd(a.v, b.v)}; }
[[gnu::always_inline]] inline Double2 operator-(Double2 a, Double2 b) { return {_mm_sub_pd(a.v, b.v)}; }
[[gnu::always_inline]] inline Double2 operator*(Double2 a, Double2 b) { return {_mm_mul_pd(a.v, b.v)}; }

// std::min(a, b) is b < a ? b : a, and _mm_min_ps(b, a) is exactly that per lane (NaNs
// and signed zeros included), hence the swapped operands.
[[gnu::always_inline]] inline float minOf(float a, float b) { return std::min(a, b); }
[[gnu::always_inline]] inline Float4 minOf(Float4 a, Float4 b) { return {_mm_min_ps(b.v, a.v)}; }

// A constant of the number type T.
template <class T>
[[gnu::always_inline]] inline T constant(float x) {
    if constexpr (requires { T::all(x); }) return T::all(x);
    else return static_cast<T>(x);
}

}  // namespace orvex
