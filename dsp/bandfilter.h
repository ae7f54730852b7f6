// The three-way band splitter of the panner and the distortion plug-in: one input runs
// through a low-pass, a band-pass and a high-pass state-variable filter side by side,
// each with its own cutoff.
//
// Threads: control operations on whichever thread sets parameters; `tick`, `process`
// and `processBlocks` on the audio thread. Nothing here allocates, locks or does I/O.
#pragma once

#include "component.h"
#include "statevariable.h"

namespace orvex {

class CBandFilter : public CEffect {
public:
    // The three inner filters share the rate and follow `form` (see CStateVariable):
    // the panner builds the per-sample form, the distortion plug-in the block form.
    explicit CBandFilter(float sampleRate, FilterForm form = FilterForm::kPerSample);

    void setSampleRate(float rate) override;

    // Controls 0, 1, 2: cutoff of the low, band and high filter. Other numbers are
    // ignored (names and units answer for any number).
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override;
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Panner, audio thread: one sample into the three bands, filters ticked in the
    // order low, band, high. A switched-off filter passes the input through.
    void tick(float input, float* lowOut, float* bandOut, float* highOut);

    // Panner, audio thread: `tick` for each of `count` samples into three distinct
    // buffers, the filters' controls taken as they stand at the start of the block.
    void process(const float* input, float* lowOut, float* bandOut, float* highOut, int count);

    // Distortion plug-in, audio thread: each filter that is switched on runs the whole
    // block at once (low, then band, then high); a switched-off filter leaves its
    // buffer as it was.
    void processBlocks(const float* input, float* lowOut, float* bandOut, float* highOut, int count);

    // Built in this order (high, band, low) and owned for the band filter's life.
    CStateVariable highFilter;
    CStateVariable bandFilter;
    CStateVariable lowFilter;

private:
    CStateVariable* filterFor(int control);
};

}  // namespace orvex
