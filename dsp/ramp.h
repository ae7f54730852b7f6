// The glide every automated control shares: each 32nd call aims the value at a new
// target, and every call takes one of 32 equal steps towards it; the values passed
// in between are dropped. Used by the state-variable filter's cutoff and resonance
// and by the panner's gains, on whichever thread drives the glide (the control
// thread for automated parameters, the audio thread for the LFO-driven pan).
#pragma once

namespace orvex {

inline constexpr int kRampLength = 32;
inline constexpr float kRampStep = 1.0f / kRampLength;  // exact: a power of two

// One call's count: on every kRampLength-th call `aim` sets the new step first.
template <class Aim>
[[gnu::always_inline]] inline void rampCall(int& counter, Aim&& aim) {
    if (++counter >= kRampLength) {
        aim();
        counter = 0;
    }
}

}  // namespace orvex
