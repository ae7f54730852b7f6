// The two-times-oversampled state-variable filter shared by the panner's and the
// distortion plug-in's band splitters: low-pass, band-pass, high-pass, notch and peak
// outputs, with a cubic limiter in the band-pass integrator.
//
// Threads: the control operations run on whichever thread sets parameters (usually
// the host's user-interface thread, sometimes its audio thread); `tick` and
// `processBlockNoUpdate` run on the audio thread. Control writes are plain stores of a
// few floats that the audio code picks up at its next sample (at its next block when a
// Voice runs the block); nothing here allocates, locks or does I/O.
#pragma once

#include <algorithm>
#include <cmath>

#include "component.h"
#include "lanes.h"
#include "parameter.h"
#include "svfcontrols.h"
#include "utility.h"

namespace orvex {

namespace svf {

// The cubic limiter's correction band × (band × driveCoef × band) is never allowed to
// exceed the band state itself: the factor in brackets is capped at this value.
inline constexpr float kLimiterCap = 1.0f;

// The filter's recursion at twice the host rate, written once for one filter (T float)
// and for three side by side in the lanes of SSE registers (T Float4, whose operations
// are the SSE ones in the same order, so each lane rounds as the float form does).
// Held in locals for a run of samples, on the audio thread (the filter is itself a
// Kernel<float>, whose controls the control operations set).
// What the control operations set: the coefficients asked for, their bounds, the drive.
template <class T>
struct Controls {
    T freqSet, dampSet, freqMax, dampMax, driveCoef;
};

// What the audio thread moves on: the coefficients in force and the state.
template <class T>
struct State {
    T freq, damp, notch, low, band, high, peak, output;
};

template <class T>
struct Kernel : Controls<T>, State<T> {
    using Controls<T>::freqSet, Controls<T>::dampSet, Controls<T>::freqMax, Controls<T>::dampMax,
        Controls<T>::driveCoef;
    using State<T>::freq, State<T>::damp, State<T>::notch, State<T>::low, State<T>::band, State<T>::high,
        State<T>::peak, State<T>::output;

    // Per sample, before the two passes: the damping is bounded by the coefficient of
    // the previous sample (2 / freq is +inf on the very first sample, which the bound of
    // 2 absorbs), then the frequency coefficient is bounded to keep the integrators
    // stable. From the third sample of a run on they stay as they are.
    [[gnu::always_inline]] void coefficients() {
        const T limitRaw = constant<T>(2.0f) / freq;
        freq = minOf(freqMax, freqSet);
        damp = minOf(dampSet, minOf(dampMax, limitRaw));
    }

    // One pass. The cubic term limits the band-pass state. Once band² × driveCoef passes
    // 1 (|band| about 3.5 at the usual drive of 0.2) the bare cubic pulls the state past
    // zero, and beyond 2 it flips it to a larger magnitude each pass and runs away to
    // infinity within a few samples: a +20 dBFS sine near 3.3 kHz at full resonance and
    // no drive is enough. The factor is therefore capped at 1. Below the cap the cubic
    // is untouched, bit for bit; at the cap the cubic is itself 0, so the curve stays
    // continuous; above it a large state is pulled to zero and never pushed past, which
    // keeps the state bounded for any finite input. What can still overflow with input
    // near the top of the float range is caught by the callers' checks.
    [[gnu::always_inline]] void pass(T u) {
        notch = u - damp * band;
        low = freq * band + low;
        high = notch - low;
        band = freq * high + band - band * minOf(band * driveCoef * band, constant<T>(kLimiterCap));
    }

    // One host sample: two passes on the same input, the selected output of each halved
    // and summed. `Steady` leaves out working the coefficients out again.
    template <bool Steady, class Select>
    [[gnu::always_inline]] T sample(T u, Select select) {
        if constexpr (!Steady) coefficients();
        const T half = constant<T>(0.5f);
        pass(u);
        output = half * select(*this);
        pass(u);
        peak = low - high;
        output = half * select(*this) + output;
        return output;
    }
};

// A float kernel's output `Out`, chosen at compile time.
template <Response Out>
[[gnu::always_inline]] inline float responseOf(const Kernel<float>& k) {
    if constexpr (Out == kBandPass) return k.band;
    else if constexpr (Out == kHiPass) return k.high;
    else if constexpr (Out == kNotch) return k.notch;
    else if constexpr (Out == kPeak) return k.peak;
    else return k.low;
}

}  // namespace svf

// Which plug-in's arithmetic a filter follows. The two differ only in how the
// resonance power is rounded: the panner (per-sample form, driven through `tick`)
// takes value^0.25 in double precision and stores it as a float; the distortion
// plug-in (block form, driven through `processBlockNoUpdate`) takes it in single
// precision. Both processing operations work with either form; the form only fixes
// how resonance changes are converted.
enum class FilterForm { kPerSample, kBlock };

class CStateVariable : public CEffect, public svf::Kernel<float> {
public:
    // Responses selectable through the type control.
    using Type = svf::Response;
    using enum svf::Response;

    // Built with the host's sample rate; a rate that is not a positive finite number
    // falls back to 44100 Hz.
    explicit CStateVariable(float sampleRate, FilterForm form = FilterForm::kPerSample);

    // The cutoff range in hertz, on a base-10 log scale over the control's 0..1, and the
    // cutoff a control value maps onto there (the mapping `cutoffParam` keeps; any thread).
    static constexpr float kLowestCutoff = 50.0f;
    static constexpr float kHighestCutoff = 20000.0f;
    static float cutoffOf(float value);

    // Only the oversampled rate changes; the cutoff coefficient follows at the next
    // cutoff change. Rates that are not positive finite numbers are ignored.
    void setSampleRate(float rate) override;

    // Controls 4 Cutoff, 5 Resonance, 6 Drive, 7 Type, 8 OnOff; other numbers are
    // ignored. Resonance and drive values are kept inside 0..1 (NaN counts as 0).
    void setControl(float value, int control) override;
    // Cutoff and resonance glide: a new target every 32 calls, reached in 32 equal
    // steps; the other controls go straight to `setControl`.
    void setControlAutomated(float value, int control) override;
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Stores the type; 0 to 4 also select the output and its name, other numbers
    // leave them as they were.
    void setType(int newType);

    // Panner form, audio thread: one sample in, one out. Switched off, the input comes
    // back untouched and the state is frozen.
    float tick(float input);

    // What `tick` works with, copied into locals for a run of samples: the same
    // arithmetic in the same order, with nothing read from or written back to the filter
    // between samples, so that filters run side by side in one loop keep their states
    // in registers and overlap their recursions. The controls are taken as they stand
    // when the voice is made; `store` writes the state back. The per-sample steps are
    // always inlined: called out of line, the state would go through memory again.
    class Voice {
    public:
        explicit Voice(const CStateVariable& filter);
        void store(CStateVariable& filter) const;
        // Switched on, with output `response` selected.
        bool runs(svf::Response response) const { return on && which == response; }
        // `f.template operator()<Out>()` for the selected output Out.
        template <class F>
        decltype(auto) withResponse(F&& f) const {
            return svf::withResponse(which, f);
        }
        // `tick`, for a voice that runs(Out). `Steady` as in svf::Kernel::sample.
        template <svf::Response Out, bool Steady = false>
        [[gnu::always_inline]] inline float tickAs(float input);
        // The two passes of a sample of output Out, with no offset and no check.
        template <svf::Response Out, bool Steady>
        [[gnu::always_inline]] float passesAs(float u) {
            return k.sample<Steady>(u, [](const svf::Kernel<float>& s) { return svf::responseOf<Out>(s); });
        }
        // `tick`, for any voice.
        float tick(float input);

    private:
        bool on;
        int which;  // the selected output as a Type
        svf::Kernel<float> k;
    };

    // Distortion-plug-in form, audio thread: `count` samples from `input` to
    // `outputBuffer` (the same buffer works too: each sample is read before it is
    // written). Does not look at the on/off switch (the band filter does).
    void processBlockNoUpdate(const float* input, float* outputBuffer, int count);

    FilterForm form() const { return filterForm; }

    // Public so that the owning units, the editors and the tests can read them; in the
    // plug-ins nothing but the operations above writes them.
    COnOff onOff;
    CParameter cutoffParam;
    CParameter typeParam;

    // The coefficients, the state and the controls of the recursion are those of
    // svf::Kernel, the base class.
    float oversampledRate = 0;
    int type = 0;
    float resonance = 0;
    float drivePercent = 0;
    float* selected = &low;
    char typeName[16] = {};
    int freqRampCount = 0;
    float freqRampStep = 0;
    float freqRampTarget = 0;
    int dampRampCount = 0;
    float dampRampStep = 0;
    float dampRampTarget = 0;

    static constexpr float kLimiterCap = svf::kLimiterCap;

private:
    float cutoffCoefficient(float value);
    float dampingOf(float value) const;
    void clearState();

    FilterForm filterForm;
};

inline CStateVariable::Voice::Voice(const CStateVariable& f)
    : on(f.onOff.on),
      which(f.selected == &f.band    ? svf::kBandPass
            : f.selected == &f.high  ? svf::kHiPass
            : f.selected == &f.notch ? svf::kNotch
            : f.selected == &f.peak  ? svf::kPeak
                                     : svf::kLowPass),
      k(f) {}

// The state only: the controls may have been set anew meanwhile.
inline void CStateVariable::Voice::store(CStateVariable& f) const { static_cast<svf::State<float>&>(f) = k; }

template <svf::Response Out, bool Steady>
inline float CStateVariable::Voice::tickAs(float input) {
    float u = input;
    addDC(u);
    const float y = passesAs<Out, Steady>(u);
    // A non-finite sample comes out as silence and the filter starts again from rest
    // (see CStateVariable::tick).
    if (!(std::isfinite(k.low) && std::isfinite(k.band) && std::isfinite(y)))
        k.notch = k.low = k.band = k.high = k.peak = k.output = 0.0f;
    return k.output;
}

inline float CStateVariable::Voice::tick(float input) {
    if (!on) return input;
    return withResponse([&]<svf::Response Out>() { return tickAs<Out>(input); });
}

}  // namespace orvex
