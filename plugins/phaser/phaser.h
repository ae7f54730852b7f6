// A complete mono phaser: six first-order all-pass sections in series whose common
// coefficient a sine oscillator sweeps, a feedback path from the end of the chain
// back to its input, and the input added to the chain's output so that the phase
// shift becomes moving notches.
//
// Threads: control operations run on whichever thread sets parameters; processing
// runs on the audio thread. Controls are plain stores read at the next sample.
#pragma once

#include <array>
#include <memory>

#include "component.h"
#include "sine.h"

namespace orvex::phaser {

// A first-order all-pass section, H(z) = (-a + z^-1) / (1 - a z^-1), and its memory.
struct CAllPass {
    // One sample through a section with coefficient `a` and memory `state`.
    static float pass(float x, float a, float& state) {
        const float y = state - a * x;
        state = x + a * y;
        return y;
    }

    float state = 0.0f;
};

// Control indices of CPhaser (2 is not used).
enum PhaserControl { kModRate = 0, kModDepth = 1, kFeedback = 3 };

class CPhaser : public CEffect {
public:
    static constexpr int kNumStages = 6;
    static constexpr int kNumControls = 3;

    // The texts of each control, by index (none for the unused index 2).
    struct ControlText {
        const char* name;
        const char* unit;
    };
    static constexpr ControlText kControlTexts[kNumControls + 1] = {
        {"Mod Rate", "Hz"}, {"Mod Depth", "% "}, {nullptr, nullptr}, {"FeedBack", "% "}};

    // A loop gain of 1 integrates whatever DC the input carries, without bound. The
    // feedback control keeps the value it is given, but the loop applies at most this
    // much (either sign): the resonance peaks stay below 1 / (1 - 0.99), +40 dB.
    static constexpr float kMaxLoopGain = 0.99f;

    explicit CPhaser(float rate);

    // Reaches the oscillator only, whose coefficient follows at its next rate change.
    void setSampleRate(float rate) override;

    // Audio thread. The block form the effect uses: the coefficient of every stage is
    // a = (1 - c) / (1 + c) with c = (s1 + 1) / 2 * depth. The anti-denormal offset is
    // added into `in` itself, which the output then contains. Negative counts do nothing.
    void process(float* in, float* out, int count) override;
    // Audio thread. Two phasers over their own channels at once, each sample for
    // sample as `process(in, out, count)` gives it: the two loops' recursions run side
    // by side in the lanes of SSE registers, with every lane doing the same operations
    // in the same order as the single form, so both channels' all-pass chains (the
    // latency that bounds the loop) overlap. Each `out` is its own buffer (an `in`
    // may be its own `out`); `left` and `right` are distinct phasers.
    static void processPair(CPhaser& left, CPhaser& right, float* inLeft, float* inRight, float* outLeft,
                            float* outRight, int count);
    // In place, each sample through `tick`.
    void process(float* buffer, int count) override;
    void setControlAutomated(float value, int control) override { setControl(value, control); }
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // One sample of the single-sample form, whose coefficient is c = |s1| * depth
    // itself (audio thread).
    virtual float tick(float input);
    // 0 rate (forwarded to the oscillator), 1 depth, 3 feedback; values are kept as given.
    virtual void setControl(float value, int control);

private:
    // The chain from stage 5 down to stage 0 for one loop input, over the stage
    // memories `state`; a chain that turned non-finite starts again from rest and gives 0.
    static float chain(float v, float a, std::array<float, kNumStages>& state);

    std::unique_ptr<CSine> sine;
    std::unique_ptr<CAllPass[]> stages;
    float depth = 0.0f;
    float feedback = 0.0f;
    float loopGain = 0.0f;
    float previousOutput = 0.0f;
};

}  // namespace orvex::phaser
