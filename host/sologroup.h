// The band solos of the three-band plug-ins (the panner and the distortion): three
// switches of which at most one is on, each bound to a parameter of its own.
//
// Switching a solo on turns the other two off, and writes 0 into their parameter slots
// of the current program (the host is not told; an editor refreshes all three buttons
// on any solo change). Switching a solo off leaves the others alone: a host restoring
// a session parameter by parameter, or a program load applying the slots in index
// order, sets the stored solo on and then the later ones off, and must not lose the
// one it just restored.
//
// Threads: `set` runs where parameters are set (user-interface thread, sometimes the
// audio thread); the audio thread reads `soloed` once per block. Plain stores, no lock.
#pragma once

#include <array>

#include "dsp/utility.h"
#include "effectshell.h"

namespace orvex {

// The bands of the three-band plug-ins, in the order they are split and soloed.
enum Band { kLow = 0, kMid = 1, kHigh = 2, kNumBands = 3 };

class SoloGroup {
public:
    static constexpr int kBands = kNumBands;

    // `parameters`: the indices of the low, middle and high solo parameters.
    SoloGroup(EffectShell& effect, std::array<int, kBands> parameters) : effect(effect), parameters(parameters) {}

    void set(int band, float value) {
        solo[band].setOnOff(value);
        if (!solo[band].on) return;
        for (int other = 0; other < kBands; ++other) {
            if (other == band || !solo[other].on) continue;
            effect.storeValue(parameters[other], 0.0f);
            solo[other].setOnOff(0.0f);
        }
    }

    bool isOn(int band) const { return solo[band].on; }
    // The band heard alone: the first soloed one in the order low, middle, high, or -1.
    int soloed() const {
        for (int band = 0; band < kBands; ++band)
            if (solo[band].on) return band;
        return -1;
    }
    void getText(int band, char* text) const { solo[band].getOnOff(text); }

    // A parameter-table row for one band's solo: off by default, label of two blanks,
    // displayed "On" or "Off". `Group` names the effect's member.
    template <class Effect, SoloGroup Effect::*Group, int Band>
    static Parameter<Effect> row(const char* name, int controller) {
        static_assert(Band >= 0 && Band < kBands);
        return {{name, "  ", 0.0f, controller},
                [](Effect& e, float v) { (e.*Group).set(Band, v); },
                [](Effect& e, float, char* text) { (e.*Group).getText(Band, text); }};
    }

private:
    EffectShell& effect;
    std::array<int, kBands> parameters;
    std::array<COnOff, kBands> solo;
};

}  // namespace orvex
