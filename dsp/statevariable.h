// The two-times-oversampled state-variable filter shared by the panner's and the
// distortion plug-in's band splitters: low-pass, band-pass, high-pass, notch and peak
// outputs, with a cubic limiter in the band-pass integrator.
//
// Threads: the control operations run on whichever thread sets parameters (usually
// the host's user-interface thread, sometimes its audio thread); `tick` and
// `processBlockNoUpdate` run on the audio thread. Control writes are plain stores of a
// few floats that the audio code picks up at its next sample; nothing here allocates,
// locks or does I/O.
#pragma once

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

}  // namespace orvex
