// The phaser's sweep oscillator: a coupled-form (magic circle) recursion whose two
// states travel a fixed ellipse, so the amplitude set by the start values does not
// drift and the only sine ever evaluated is the one that sets the frequency.
//
// Threads: setControl runs on whichever thread sets parameters; process and the
// owner's inline steps run on the audio thread. Nothing allocates after construction.
#pragma once

#include "component.h"
#include "dsp/parameter.h"

namespace orvex::phaser {

class CSine : public CSynthesis {
public:
    static constexpr float kMinFrequency = 0.05f;  // Hz at control 0
    static constexpr float kMaxFrequency = 20.0f;  // Hz at control 1
    // The frequency a control value maps onto, on the base-10 log scale between the
    // two: the mapping `frequency` keeps (any thread).
    static float frequencyOf(float value);
    static constexpr float kStartValue = 0.99f;    // first state at (re)start: the amplitude
    // The largest share of a cycle the sweep moves on by per sample (20 Hz at 1000 Hz).
    static constexpr float kMaxCyclesPerSample = 1.0f / 50.0f;

    // The oscillator's state, handed to an owner that runs the recursion in its own loop.
    struct State {
        float s1;  // the output sample
        float s2;  // its quadrature partner
    };

    // One step of the recursion with coefficient k; returns the new output sample.
    static float step(State& state, float k) {
        state.s1 = state.s1 - k * state.s2;
        state.s2 = state.s2 + k * state.s1;
        return state.s1;
    }

    explicit CSine(float rate);
    ~CSine() override = default;

    // Writes `count` oscillator samples (audio thread).
    void process(float* out, int count) override;
    // Control 0..1 gives 0.05 * 400^value Hz, clamped to 0.05..20; the index is ignored.
    // The coefficient follows the sample rate of this moment; at rates below 50 times
    // the frequency (and at rates that are none) the sweep is held at a fiftieth of
    // the rate.
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override;
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    State getState() const { return state; }
    void setState(State newState) { state = newState; }
    float getCoefficient() const { return k; }

private:
    CParameter frequency;
    State state{kStartValue, 0.0f};
    float k = 0.0f;
};

}  // namespace orvex::phaser
