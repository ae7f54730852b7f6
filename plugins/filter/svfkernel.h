// The recursion of the filter plug-in's state-variable stage, written once for one
// channel (D double, outputs float) and for the two channels side by side in the
// halves of SSE2 registers (D Double2, outputs Float4 of which the low two lanes are
// used). The lane types' operations are the SSE ones in the same order, so each
// channel's values are the ones it would compute alone, bit for bit.
//
// Threads: the recursion runs on the audio thread, on a copy of the stage's kernel held
// in locals for the length of a block (the stage is itself a Kernel<double>).
#pragma once

#include <emmintrin.h>

#include "dsp/component.h"
#include "dsp/lanes.h"
#include "dsp/svfcontrols.h"

namespace orvex::filter {

// Between the float samples and the double state.
[[gnu::always_inline]] inline double widened(float x) { return static_cast<double>(x); }
[[gnu::always_inline]] inline float narrowed(double x) { return static_cast<float>(x); }
[[gnu::always_inline]] inline Double2 widened(Float4 x) { return _mm_cvtps_pd(x); }
[[gnu::always_inline]] inline Float4 narrowed(Double2 x) { return _mm_cvtpd_ps(x); }

template <class D>
struct Kernel {
    D low, band, high, notch, peak;
    // The coefficients in force and their glide steps per sample.
    D freq, damp, freqStep, dampStep;

    // The response a loop writes, chosen at compile time so that the output stays in a
    // register.
    template <int Type>
    [[gnu::always_inline]] D selected() const {
        if constexpr (Type == svf::kLowPass) return low;
        else if constexpr (Type == svf::kBandPass) return band;
        else if constexpr (Type == svf::kHiPass) return high;
        else if constexpr (Type == svf::kNotch) return notch;
        else return peak;
    }

    // One pass at twice the host rate; notch drive term.
    [[gnu::always_inline]] void pass(D x) {
        notch = x - damp * band;
        low = low + freq * band;
        high = notch - low;
        band = freq * high + band;
    }

    // One output sample: the coefficients glide one step, then two passes on the same
    // input, each half output rounded to float and the two summed in float.
    template <int Type, class F>
    [[gnu::always_inline]] F sample(F input) {
        const D half = constant<D>(0.5f);
        damp = damp + dampStep;
        freq = freq + freqStep;
        const D x = widened(input) + constant<D>(kAntiDenormal);
        pass(x);
        peak = constant<D>(0.0f);
        const F first = narrowed(half * selected<Type>());
        pass(x);
        peak = low - high;
        return first + narrowed(half * selected<Type>());
    }
};

}  // namespace orvex::filter
