// The filter plug-in's parameter record: the shared record with the log-scale mapping
// taken in natural logarithms (logf, expf) and limited by the branch-free
// ½ (|v − min| + min + max − |v − max|). The map is the same curve as the shared base-10
// one; single-precision results differ from it in the last bit now and then, and the
// filter's cutoff follows this form.
#pragma once

#include <cmath>

#include "dsp/parameter.h"

namespace orvex::filter {

struct NaturalLogScale {
    static float logarithm(float x) { return std::log(x); }
    static float raise(float power) { return std::exp(power); }
    // Inside the range the branch-free form. A value outside it (or not a number) is
    // held at the end it passed: the form itself would round there, lose every digit
    // for a value far above the range, and give NaN for an infinite one.
    static float limit(float value, float minimum, float maximum) {
        if (!(value >= minimum)) return minimum;
        if (value > maximum) return maximum;
        return 0.5f * (std::fabs(value - minimum) + minimum + maximum - std::fabs(value - maximum));
    }
};

using CParameter = BasicParameter<NaturalLogScale>;

}  // namespace orvex::filter
