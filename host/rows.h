// The rows more than one plug-in's parameter table holds, built one way: the wet/dry
// "Mix", the "Bpm" tempo of tempo-following plug-ins, and the MIDI controller map.
#pragma once

#include <array>
#include <initializer_list>

#include "dsp/parameter.h"
#include "dsp/utility.h"
#include "effectshell.h"

namespace orvex {

// "Mix": the wet share of the mixer `Mixer` names, displayed in percent.
template <class Effect, CWetDryMixer Effect::*Mixer>
Parameter<Effect> mixRow(const char* label, int controller, float defaultValue = 0.5f) {
    return {{"Mix", label, defaultValue, controller},
            [](Effect& e, float v) { (e.*Mixer).setMix(v); },
            [](Effect& e, float, char* text) { Effect::float2string((e.*Mixer).wetPercent, text); }};
}

// "Bpm": the plug-in's own tempo (see `bpmOfValue`), which the tempo-following units
// take while the host gives none; the display shows that tempo.
template <class Effect>
Parameter<Effect> tempoRow(const char* label, int controller) {
    return {{"Bpm", label, 0.5f, controller},
            [](Effect& e, float v) { e.setInternalTempo(bpmOfValue(v)); },
            [](Effect& e, float, char* text) { Effect::float2string(e.getInternalTempo(), text); }};
}

// Which MIDI controller sets each of a table's `N` parameters: controllers `first`,
// `first + 1`, ... in turn to the parameters `order` lists (all of them in index
// order when it lists none); the others have no controller.
template <int N>
struct ControllerMap {
    constexpr explicit ControllerMap(int first, std::initializer_list<int> order = {}) {
        controller.fill(kNoController);
        int next = first;
        if (order.size() == 0)
            for (int& c : controller) c = next++;
        for (int index : order) controller[index] = next++;
    }
    constexpr int operator[](int index) const { return controller[index]; }

    std::array<int, N> controller{};
};

}  // namespace orvex
