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
#include "parameter.h"
#include "svfcontrols.h"
#include "utility.h"

namespace orvex {

// Which plug-in's arithmetic a filter follows. The two differ only in how the
// resonance power is rounded: the panner (per-sample form, driven through `tick`)
// takes value^0.25 in double precision and stores it as a float; the distortion
// plug-in (block form, driven through `processBlockNoUpdate`) takes it in single
// precision. Both processing operations work with either form; the form only fixes
// how resonance changes are converted.
enum class FilterForm { kPerSample, kBlock };

class CStateVariable : public CEffect {
public:
    // Responses selectable through the type control.
    using Type = svf::Response;
    using enum svf::Response;

    // Built with the host's sample rate; a rate that is not a positive finite number
    // falls back to 44100 Hz.
    explicit CStateVariable(float sampleRate, FilterForm form = FilterForm::kPerSample);

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
        // `tick`, for a voice that runs(Out). The coefficients follow the controls and the
        // previous sample's coefficient, so from the third sample of a voice on they stay
        // as they are: `Steady` leaves out working them out again.
        template <svf::Response Out, bool Steady = false>
        [[gnu::always_inline]] inline float tickAs(float input);
        // `tick`, for any voice.
        float tick(float input);

    private:
        template <svf::Response Out>
        [[gnu::always_inline]] inline float selected() const;
        [[gnu::always_inline]] inline void pass(float u);

        bool on;
        int which;  // the selected output as a Type
        float freqSet, dampSet, freqMax, dampMax, driveCoef;
        float freq, damp, notch, low, band, high, peak, output;
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

    float oversampledRate = 0;
    int type = 0;
    float freq = 0;
    float damp = 0;
    float resonance = 0;
    float driveCoef = 0;
    float drivePercent = 0;
    float notch = 0;
    float low = 0;
    float band = 0;
    float high = 0;
    float peak = 0;
    float freqMax = 0.25f;
    float freqSet = 0.01f;
    float dampSet = 0.01f;
    float dampMax = 2.0f;
    float output = 0;
    float* selected = &low;
    char typeName[16] = {};
    int freqRampCount = 0;
    float freqRampStep = 0;
    float freqRampTarget = 0;
    int dampRampCount = 0;
    float dampRampStep = 0;
    float dampRampTarget = 0;

    // The cubic limiter's correction band × (band × driveCoef × band) is never allowed
    // to exceed the band state itself: the factor in brackets is capped at this value.
    static constexpr float kLimiterCap = 1.0f;

private:
    float cutoffCoefficient(float value);
    float dampingOf(float value) const;
    void updateCoefficients();
    void pass(float u);
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
      freqSet(f.freqSet),
      dampSet(f.dampSet),
      freqMax(f.freqMax),
      dampMax(f.dampMax),
      driveCoef(f.driveCoef),
      freq(f.freq),
      damp(f.damp),
      notch(f.notch),
      low(f.low),
      band(f.band),
      high(f.high),
      peak(f.peak),
      output(f.output) {}

inline void CStateVariable::Voice::store(CStateVariable& f) const {
    f.freq = freq;
    f.damp = damp;
    f.notch = notch;
    f.low = low;
    f.band = band;
    f.high = high;
    f.peak = peak;
    f.output = output;
}

template <svf::Response Out>
inline float CStateVariable::Voice::selected() const {
    if constexpr (Out == svf::kBandPass) return band;
    else if constexpr (Out == svf::kHiPass) return high;
    else if constexpr (Out == svf::kNotch) return notch;
    else if constexpr (Out == svf::kPeak) return peak;
    else return low;
}

// One pass at twice the host rate; see CStateVariable::pass for the limiter.
inline void CStateVariable::Voice::pass(float u) {
    notch = u - damp * band;
    low = freq * band + low;
    high = notch - low;
    band = freq * high + band - band * std::min(band * driveCoef * band, kLimiterCap);
}

template <svf::Response Out, bool Steady>
inline float CStateVariable::Voice::tickAs(float input) {
    float u = input;
    addDC(u);
    if constexpr (!Steady) {
        // The damping is bounded by the previous sample's coefficient (see
        // updateCoefficients).
        const float limitRaw = 2.0f / freq;
        freq = std::min(freqMax, freqSet);
        damp = std::min(dampSet, std::min(dampMax, limitRaw));
    }
    pass(u);
    output = 0.5f * selected<Out>();
    pass(u);
    peak = low - high;
    output = 0.5f * selected<Out>() + output;
    // A non-finite sample comes out as silence and the filter starts again from rest
    // (see CStateVariable::tick).
    if (!(std::isfinite(low) && std::isfinite(band) && std::isfinite(output)))
        notch = low = band = high = peak = output = 0.0f;
    return output;
}

inline float CStateVariable::Voice::tick(float input) {
    if (!on) return input;
    switch (which) {
        case svf::kBandPass: return tickAs<svf::kBandPass>(input);
        case svf::kHiPass: return tickAs<svf::kHiPass>(input);
        case svf::kNotch: return tickAs<svf::kNotch>(input);
        case svf::kPeak: return tickAs<svf::kPeak>(input);
        default: return tickAs<svf::kLowPass>(input);
    }
}

}  // namespace orvex
