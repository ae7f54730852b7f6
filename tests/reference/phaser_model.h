// An independent, step-by-step model of the phaser, written from its algorithms alone
// (no code shared with the plug-in): the sweep oscillator, the six all-pass stages with
// feedback, the program bank with its link rule, the wet/dry blend and the width stage.
// Tests compare the real units and the real bundle against it bit for bit.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace phaser_model {

// The sweep frequency of a normalised rate: 0.05 * 400^v Hz on a base-10 log scale.
inline float rateHz(float v) {
    const float logMin = std::log10(0.05f), logMax = std::log10(20.0f);
    const float f = std::pow(10.0f, v * (logMax - logMin) + logMin);
    return f < 0.05f ? 0.05f : std::min(20.0f, f);
}

struct Channel {
    float s1 = 0.99f, s2 = 0.0f, k = 0.0f;
    float depth = 0.5f, feedback = 0.2f, previous = 0.0f;
    std::array<float, 6> memory{};

    void setRate(float v, float sampleRate) { k = 2.0f * std::sin(3.14159265f * rateHz(v) / sampleRate); }
    // One sample of the block form; `x` receives the anti-denormal offset.
    float run(float& x) { return step(x, false); }
    // One sample of the single-sample form, whose coefficient is |s1| * depth itself.
    float tick(float& x) { return step(x, true); }
    float step(float& x, bool single) {
        x += 1e-20f;
        s1 = s1 - k * s2;
        s2 = s2 + k * s1;
        const float c = (s1 + 1.0f) * 0.5f * depth;
        const float a = single ? std::fabs(s1) * depth : (1.0f - c) / (1.0f + c);
        float v = previous * std::min(feedback, 0.99f) + x;  // the loop never applies more than 0.99
        for (int j = 5; j >= 0; --j) {
            const float y = memory[j] - a * v;
            memory[j] = v + a * y;
            v = y;
        }
        previous = v;
        return v + x;
    }
};

struct Program {
    std::string name;
    std::array<float, 9> values;
};

inline std::array<Program, 8> factoryBank() {
    return {{{"Basic", {0.5f, 0.2f, 0.2f, 0.5f, 0.2f, 0.2f, 0.5f, 1, 0.5f}},
             {"Extreme", {0.2f, 1, 0.85f, 0.65f, 1, 0.85f, 1, 1, 1}},
             {"Subtle", {0.1f, 0.2f, 0.3f, 0.11f, 0.2f, 0.3f, 0.2f, 1, 0.5f}},
             {"Useless but fun", {1, 1, 0.8f, 1, 1, 0.8f, 1, 1, 1}},
             {"Highs and lows", {0.3f, 0.8f, 0.1f, 0.2f, 0.75f, 0.1f, 0.3f, 1, 0.7f}},
             {"Mid ramp", {0.1f, 0.5f, 0.2f, 0.5f, 0.5f, 0.2f, 0.4f, 1, 1}},
             {"Excuse me...", {0.4f, 0.7f, 0.5f, 0.2f, 0.2f, 0.3f, 0.75f, 1, 1}},
             {"pass me that big bud", {0.1f, 0.1f, 0.1f, 0.11f, 0.11f, 0.11f, 0.2f, 1, 0.4f}}}};
}

struct Phaser {
    float sampleRate;
    std::array<Program, 8> bank = factoryBank();
    std::array<float, 9> value = bank[0].values;
    int program = 0;
    bool link = false;
    std::array<Channel, 2> channel;
    float wet = 0.5f, dry = 0.5f, cross = 0.5f;

    explicit Phaser(float rate) : sampleRate(rate) { select(0); }

    // A parameter as the host sets it: stored, applied, and with the link on a left
    // channel value also stored and applied on the right.
    void set(int index, float v) {
        bank[program].values[index] = value[index] = v;
        if (index < 6) {
            Channel& c = channel[index / 3];
            if (index % 3 == 0) c.setRate(v, sampleRate);
            if (index % 3 == 1) c.depth = v;
            if (index % 3 == 2) c.feedback = v;
            if (link && index < 3) set(index + 3, v);
        }
        if (index == 6) wet = v, dry = 1.0f - v;
        if (index == 7) link = v >= 0.5f;
        if (index == 8) cross = 1.0f - v;
    }
    // A new rate from the host: the sweeps keep their frequencies.
    void setSampleRate(float rate) {
        sampleRate = rate;
        for (int c = 0; c < 2; ++c) channel[c].setRate(value[3 * c], rate);
    }
    void select(int p) {
        program = p;
        for (int i = 0; i < 9; ++i) set(i, bank[p].values[i]);
    }
    // One block; `accumulate` adds to the outputs instead of overwriting them.
    void process(const float* inL, const float* inR, float* outL, float* outR, int n, bool accumulate) {
        for (int i = 0; i < n; ++i) {
            float xL = inL[i], xR = inR[i];
            const float phasedL = channel[0].run(xL);
            const float phasedR = channel[1].run(xR);
            const float mixL = phasedL * wet + xL * dry;
            const float mixR = phasedR * wet + xR * dry;
            const float left = mixR * cross + mixL, right = mixL * cross + mixR;
            outL[i] = accumulate ? outL[i] + left : left;
            outR[i] = accumulate ? outR[i] + right : right;
        }
    }
};

}  // namespace phaser_model
