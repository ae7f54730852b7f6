// The filter plug-in's state-variable filter and the two- or four-pole filter built
// from it. Unlike the shared state-variable filter of the band splitters, this one
// keeps its state in double precision, has no drive term, and takes cutoff and
// resonance as two per-sample modulation buffers: every 32 samples it computes new
// coefficients from them and glides its coefficients in force to those in 32 equal
// steps. Each sample runs the filter twice at the doubled rate and averages the two
// half outputs.
//
// Threads: control operations on whichever thread sets parameters (the host's
// user-interface thread, sometimes its audio thread); `process` on the audio thread.
// Control writes are plain stores read at the next block; nothing here allocates,
// locks or does I/O.
#pragma once

#include "dsp/component.h"
#include "dsp/svfcontrols.h"
#include "dsp/utility.h"
#include "parameter.h"
#include "svfcoefficients.h"
#include "svfkernel.h"

namespace orvex::filter {

class CStateVariable : public CEffect, public Kernel<double> {
public:
    // Samples between two coefficient updates, and the share of the way to the new
    // coefficients taken per sample.
    static constexpr int kUpdateInterval = 32;
    static constexpr double kGlideStep = 0.03125;
    // The cutoff range is 30 Hz .. this share of the sample rate of construction.
    static constexpr float kLowestCutoff = 30.0f;
    static constexpr float kHighestCutoffShare = 0.49f;
    // The cutoff in hertz a control value maps onto in a filter built at `rate`: the
    // mapping `cutoffParam` keeps (any thread).
    static constexpr float highestCutoff(float rate) { return rate * kHighestCutoffShare; }
    static float cutoffOf(float value, float rate);
    // The lowest resonance the coefficients are computed with.
    static constexpr double kResonanceFloor = coefficients::kResonanceFloor;

    // A rate that is not a positive finite number is taken as 44100 Hz.
    explicit CStateVariable(float sampleRate);

    // Only 7 Type and 8 OnOff are set; 4 Cutoff, 5 Resonance and 6 Drive come from
    // the modulation buffers or do not exist here.
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override;
    // 4: the cutoff in Hz of the last update; 5: the resonance of the last update in
    // percent; 6: "0.0"; 7: the response; 8: "Active" or "InActive".
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Keeps the filter where it stands: the coefficients are computed anew from the
    // cutoff in hertz and the resonance of the last update for the new rate, and any
    // glide stops there until the next update. The cutoff range keeps the bounds of
    // construction. Rates that are not positive finite numbers are ignored.
    void setSampleRate(float rate) override;

    // Audio thread: filters `sampleCount` samples from `input` to `output` (the same
    // buffer works: each sample is read before it is written). modulation[0] holds one
    // normalised cutoff per sample, modulation[1] one normalised resonance; they are
    // read at the updates only. Switched off, the input is copied and nothing changes.
    // A non-finite sample cannot stay in the state: at the end of the block the state
    // starts again from rest and the block's non-finite output samples are mended.
    void process(const float* input, float* output, const float* const* modulation, int sampleCount);

    // Audio thread: `process` for two stages that read the same modulation, a on
    // inputA → outputA and b on inputB → outputB, as if a ran before b; the two
    // stages' buffers must not overlap (each stage may work in place).
    static void processPair(CStateVariable& a, CStateVariable& b, const float* inputA, float* outputA,
                            const float* inputB, float* outputB, const float* const* modulation, int sampleCount);

    // The next processed sample computes new coefficients.
    void resetModulationCount() { modulationCount = kUpdateInterval - 1; }

    // Public so that the owner and the tests can read them; nothing but the operations
    // above writes them.
    bool active = true;
    double oversampledRate = 0;
    double oversampledPeriod = 0;
    // The state, the coefficients in force and their steps are those of the base Kernel.
    int type = svf::kLowPass;
    int modulationCount = 0;
    double cutoffControl = 1.0;
    double cutoffHz = 0;
    double resonance = 0;
    double dampTarget = 0;
    double freqTarget = 0;
    CParameter cutoffParam;
    CParameter typeParam;

private:
    friend class CPoleVariable;
    struct Lane;
    struct Lanes;
    // Whether `process` would filter rather than pass the input through.
    bool filters(const float* input, const float* output, const float* const* modulation, int sampleCount) const;
    template <bool Pair>
    static void dispatch(CStateVariable& a, CStateVariable& b, const float* inputA, float* outputA,
                         const float* inputB, float* outputB, const float* const* modulation, int sampleCount);
    template <int Type, bool Pair>
    static void run(CStateVariable& a, CStateVariable& b, const float* inputA, float* outputA, const float* inputB,
                    float* outputB, const float* cutoff, const float* resonanceInput, int sampleCount);
    // Audio thread: one stage per channel (`second` null) or two in series, the left
    // and right channels' recurrences in the two halves of SSE2 registers and the two
    // stages in one loop. Returns false, having done nothing, where the stages cannot
    // go side by side (see the definition); the caller then runs them one by one.
    static bool processSideBySide(CStateVariable& firstLeft, CStateVariable& firstRight, CStateVariable* secondLeft,
                                  CStateVariable* secondRight, const float* inputLeft, const float* inputRight,
                                  float* outputLeft, float* outputRight, const float* const* modulation,
                                  int sampleCount);
    template <int Type, int Stages>
    static void runSideBySide(Lanes* stages, const float* inputLeft, const float* inputRight, float* outputLeft,
                              float* outputRight, const float* cutoff, const float* resonanceInput, int sampleCount);
    // Writes a block's final state back and mends a block that went non-finite
    // (`sampleCount` 0: the state only).
    void endBlock(const Lane& lane, float* output, int sampleCount);
    void clearState() { low = band = high = notch = peak = 0; }
};

// One stage, or two in series while the pole switch is on.
class CPoleVariable : public CEffect {
public:
    explicit CPoleVariable(float sampleRate);

    // 20 Pole switches the second stage in (four poles) or out (two), and both stages
    // then compute new coefficients at their next sample; anything else goes to both.
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override;
    // 20: "4" or "2"; anything else as the first stage answers it.
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;
    void setSampleRate(float rate) override;

    // Audio thread: the first stage from `input` to `output`, then the second stage on
    // `output` in place while the switch is on; both read the same modulation.
    void process(const float* input, float* output, const float* const* modulation, int sampleCount);

    // Audio thread: `process` for the two channels of one stereo filter, as if left ran
    // before right; the left and right buffers must not overlap.
    static void processPair(CPoleVariable& left, CPoleVariable& right, const float* inputLeft,
                            const float* inputRight, float* outputLeft, float* outputRight,
                            const float* const* modulation, int sampleCount);

private:
    CStateVariable firstStage;
    CStateVariable secondStage;
    COnOff poleSwitch;
};

}  // namespace orvex::filter
