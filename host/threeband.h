// What the two three-band plug-ins (the panner and the distortion) share in front of
// their bands: the input folded to mono, the splitter into low, middle and high bands,
// the band solos, the crossover and solo rows of the parameter table, and the
// crossovers set again after a rate change.
//
// The effect keeps one as a member, lists the rows built here in its table, calls
// `prepare` from its own and `fold` at the start of each block, splits the mono signal
// with `bands` in the form it chose, and asks `soloed` which band to play alone.
#pragma once

#include <array>

#include "dsp/bandfilter.h"
#include "dsp/utility.h"
#include "effectshell.h"
#include "rows.h"

namespace orvex {

class ThreeBandFront {
public:
    using Indices = std::array<int, kNumBands>;

    // `crossoverParameters`, `soloParameters`: the indices of the low, middle and high
    // crossover and solo parameters. Built in the effect's member initialisers
    // (user-interface thread).
    ThreeBandFront(EffectShell& owner, FilterForm form, Indices crossoverParameters, Indices soloParameters)
        : bands(owner.getSampleRate(), form), effect(owner), crossovers(crossoverParameters),
          soloSlots(soloParameters) {
        // The fixed mono fold of the input; program 0 sets the crossovers.
        folder.setMix(0.5f);
    }

    // From the effect's `prepare`. The filters keep their coefficients across a rate
    // change: the crossover rows are applied again so they stay at the same
    // frequencies in hertz.
    void prepare(float rate) {
        bands.setSampleRate(rate);
        for (int index : crossovers) effect.applyParameter(index, effect.currentValue(index));
    }

    // Audio thread: the mono fold of the two input channels into `mono`.
    void fold(const float* inLeft, const float* inRight, float* mono, int n) const {
        const float foldWet = folder.wet;
        const float foldDry = folder.dry;
        for (int i = 0; i < n; ++i) mono[i] = inRight[i] * foldWet + inLeft[i] * foldDry;
    }

    // The solos: three switches of which at most one is on. Switching a solo on turns
    // the other two off, and writes 0 into their parameter slots of the current program
    // (the host is not told; an editor refreshes all three buttons on any solo change).
    // Switching a solo off leaves the others alone: a host restoring a session parameter
    // by parameter, or a program load applying the slots in index order, sets the stored
    // solo on and then the later ones off, and must not lose the one it just restored.
    //
    // Threads: `setSolo` runs where parameters are set (user-interface thread, sometimes
    // the audio thread); the audio thread reads `soloed` once per block. Plain stores, no lock.
    void setSolo(int band, float value) {
        solo[band].setOnOff(value);
        if (!solo[band].on) return;
        for (int other = 0; other < kNumBands; ++other) {
            if (other == band || !solo[other].on) continue;
            effect.storeValue(soloSlots[other], 0.0f);
            solo[other].setOnOff(0.0f);
        }
    }
    // The band heard alone: the first soloed one in the order low, middle, high, or -1.
    int soloed() const {
        for (int band = 0; band < kNumBands; ++band)
            if (solo[band].on) return band;
        return -1;
    }

    // The crossovers in hertz, as the band filters map them.
    static constexpr Reading kCrossoverReading{"Hz", CStateVariable::kLowestCutoff, CStateVariable::kHighestCutoff,
                                               Reading::kLogarithmic, {}, {}, CStateVariable::cutoffOf};

    // A crossover row ("LowFreq", "MidFreq", "HighFreq"; in hertz, default in the
    // middle, read as kCrossoverReading) and a solo row (off by default, label of two
    // blanks, displayed "On" or "Off", read as a switch) of band `B`; `Front` names the
    // effect's member.
    template <class Effect, ThreeBandFront Effect::*Front, int B>
    static Parameter<Effect> crossoverRow(int controller) {
        static_assert(B >= 0 && B < kNumBands);
        constexpr const char* kNames[kNumBands] = {"LowFreq", "MidFreq", "HighFreq"};
        return {{kNames[B], "Hz", 0.5f, controller, &kCrossoverReading},
                [](Effect& e, float v) { (e.*Front).bands.setControl(v, kCtlLowFreq + B); },
                [](Effect& e, float, char* text) { (e.*Front).bands.getControl(text, kCtlLowFreq + B); }};
    }
    template <class Effect, ThreeBandFront Effect::*Front, int B>
    static Parameter<Effect> soloRow(const char* name, int controller) {
        static_assert(B >= 0 && B < kNumBands);
        return {{name, "  ", 0.0f, controller, &kSwitchReading},
                [](Effect& e, float v) { (e.*Front).setSolo(B, v); },
                [](Effect& e, float, char* text) { (e.*Front).solo[B].getOnOff(text); }};
    }

    CBandFilter bands;

private:
    EffectShell& effect;
    Indices crossovers;
    Indices soloSlots;
    std::array<COnOff, kNumBands> solo;
    CWetDryMixer folder;
};

}  // namespace orvex
