// The distortion plug-in's shaping algorithms: one small unit each, with one control
// (its drive, 0..1) and a block operation mapping input samples to output samples.
// Nine are memoryless transfer curves; "Digitron" and the quantiser hold samples over
// time. The distortion block owns one instance of each and selects one.
//
// Threads: `setControl` runs where parameters are set (user-interface thread, sometimes
// the audio thread) and computes everything that needs a division, sine or power of
// the drive; `process` runs on the audio thread and reads those coefficients into
// locals once per block. Nothing here allocates, locks or does I/O.
#pragma once

#include "dsp/component.h"
#include "dsp/parameter.h"

namespace orvex::distortion {

// The pass-through ("bypass") and the base of every algorithm.
class CDistortion : public CEffect {
public:
    explicit CDistortion(float sampleRate);

    // The drive; the control number is ignored. Values outside 0..1 are held at the
    // nearest end (NaN counts as 0).
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override { setControl(value, control); }
    // 100 x drive.
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Audio thread: `count` samples from `input` to `output` (the same buffer works).
    virtual void process(const float* input, float* output, int count);

    float drive = 0.5f;
};

// "Anihilator": a sine fold, clipped to 1 above a threshold (no clip below).
class CDistortion1 : public CDistortion {
public:
    explicit CDistortion1(float sampleRate);
    void setControl(float value, int control) override;
    void process(const float* input, float* output, int count) override;

    // 1 / sin(m pi) grows without bound where the fold factor m nears a whole number
    // (at the top of the knob it would be about -1.48 million): its magnitude stops
    // here, sign kept.
    static constexpr float kNormGainLimit = 10.0f;

    float phaseScale = 0;
    float normGain = 0;
    float threshold = 0;
};

// A curve that needs nothing of the drive but the drive itself: only its block
// operation, one per `Number`, differs.
template <int Number>
class CDriveCurve : public CDistortion {
public:
    using CDistortion::CDistortion;
    void process(const float* input, float* output, int count) override;
};

// "Soft shaper": an asymmetric soft clip built from powers of e.
using CDistortion2 = CDriveCurve<2>;
template <> void CDistortion2::process(const float* input, float* output, int count);

// "Tubetek": drive x (1.5 x - 0.5 x^3), no clip.
using CDistortion3 = CDriveCurve<3>;
template <> void CDistortion3::process(const float* input, float* output, int count);

// "Slaughter": (1 + k) x / (1 + k |x|).
class CDistortion4 : public CDistortion {
public:
    explicit CDistortion4(float sampleRate);
    void setControl(float value, int control) override;
    void process(const float* input, float* output, int count) override;

    float shape = 0;
    float curve = 0;
};

// "Destroy": a rational curve with a large knee constant.
class CDistortion5 : public CDistortion {
public:
    explicit CDistortion5(float sampleRate);
    void setControl(float value, int control) override;
    void process(const float* input, float* output, int count) override;

    float knee = 0;
};

// "Digitron": sample and hold, a new sample every hold length + 1 samples. Its drive
// member keeps 100 x drive.
class CDistortion6 : public CDistortion {
public:
    explicit CDistortion6(float sampleRate);
    void setControl(float value, int control) override;
    void getControl(char* text, int control) override;
    void process(const float* input, float* output, int count) override;

    int holdLength = 0;
    int holdCount = 0;
    float heldSample = 0;
};

// "Quantize 16/12/8/4": takes a fraction (the drive, shown as "SampleRate") of the
// input samples and rounds each towards zero to the bit depth.
class CDistortion7 : public CDistortion {
public:
    explicit CDistortion7(float sampleRate);
    void getControlName(char* text, int control) override;
    void process(const float* input, float* output, int count) override;
    void setBitDepth(int bits);

    int quantScale = 0;
    float quantStep = 0;
    float heldSample = 0;
    float phase = 0;
};

// "Top side": the sine of the input under a power-law envelope.
class CDistortion8 : public CDistortion {
public:
    explicit CDistortion8(float sampleRate);
    void setControl(float value, int control) override;
    void process(const float* input, float* output, int count) override;

    float power = 0;
    float invPower = 0;
};

// "Intimdator": a rectifying soft knee.
using CDistortion9 = CDriveCurve<9>;
template <> void CDistortion9::process(const float* input, float* output, int count);

// "Violator": 2x hard-clipped to twice the clip level.
class CDistortion10 : public CDistortion {
public:
    explicit CDistortion10(float sampleRate);
    void setControl(float value, int control) override;
    void process(const float* input, float* output, int count) override;

    CParameter clipParam;
    float clipLevel = 0;
};

}  // namespace orvex::distortion
