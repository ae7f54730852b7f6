// One distortion stage of the distortion plug-in: an input gain, one of fourteen type
// steps (nine shaping algorithms, the quantiser at four bit depths, bypass), and an
// output gain. It owns one instance of every algorithm; selecting a step only moves a
// reference, so switching types never allocates.
//
// Threads: the control operations run where parameters are set; `process` runs on
// the audio thread. No lock: a type change is a store of one pointer, read at the
// next block.
#pragma once

#include <array>

#include "algorithms.h"
#include "dsp/utility.h"

namespace orvex::distortion {

// The block's controls besides the shared drive (6) and level (38, 39) numbers.
inline constexpr int kCtlType = 7;

class CDistortionBlock : public CEffect {
public:
    static constexpr int kNumSteps = 14;
    // Type values map onto steps as truncate(value x kStepScale): just below the number
    // of steps, so each step covers an almost equal share of 0..1 and 1.0 is the last.
    static constexpr float kStepScale = 13.99999f;
    // The input and output gains at control 1 (0 at control 0, linear between), and
    // the gain of a control value.
    static constexpr float kMostGain = 3.0f;
    static float gainOf(float value) { return kMostGain * unitRange(value); }
    enum Step : int {
        kAnihilator = 0, kSoftShaper, kTubetek, kSlaughter, kDestroy, kDigitron,
        kQuantize16, kQuantize12, kQuantize8, kQuantize4, kTopSide, kIntimdator, kViolator, kBypass,
    };

    explicit CDistortionBlock(float sampleRate);

    void setSampleRate(float rate) override;

    // 6 drive (passed on to the selected algorithm), 7 type step, 38 input gain and
    // 39 output gain (`gainOf` each); other numbers are ignored.
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override { setControl(value, control); }
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Audio thread: scales `input` by the input gain in place, runs the selected
    // algorithm into `output` and scales that by the output gain; a sample that comes
    // out not finite is silence. The two buffers are distinct.
    void process(float* input, float* output, int count);

    CDistortion& selected() const { return *current; }

    float inputGain = 1.0f;
    float outputGain = 1.0f;
    float driveValue = 0.5f;

    CParameter typeParam;

    CDistortion1 anihilator;
    CDistortion2 softShaper;
    CDistortion3 tubetek;
    CDistortion4 slaughter;
    CDistortion5 destroy;
    CDistortion6 digitron;
    CDistortion7 quantizer;
    CDistortion8 topSide;
    CDistortion9 intimdator;
    CDistortion10 violator;
    CDistortion bypass;

private:
    void select(int newStep);
    // The eleven algorithms in the order built.
    std::array<CDistortion*, 11> algorithms();

    CDistortion* current = &anihilator;
    int step = kAnihilator;
};

}  // namespace orvex::distortion
