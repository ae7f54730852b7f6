// The rows more than one plug-in's parameter table holds, built one way: the wet/dry
// "Mix", the "Bpm" tempo of tempo-following plug-ins, and the MIDI controller map; and
// the readings more than one table's rows share.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>

#include "dsp/lfo.h"
#include "dsp/parameter.h"
#include "dsp/utility.h"
#include "effectshell.h"
#include "reading.h"

namespace orvex {

// A share of 0..1 shown as 0..100 %.
inline constexpr Reading kPercentReading{"%", 0.0f, 100.0f};
// A switch: below 0.5 off, from 0.5 on (COnOff).
inline constexpr Reading kSwitchReading{"", 0.0f, 1.0f, Reading::kToggle};

// A choice among `entries`, each sent as the value beside it, which the unit maps onto
// its entries as truncate(value x scale).
template <std::size_t N>
constexpr Reading choiceReading(const char* const (&entries)[N], const float (&values)[N], float scale) {
    return {"", 0.0f, static_cast<float>(N - 1), Reading::kChoice, entries, values, nullptr, nullptr, scale};
}

// The tempo-synchronised LFO's choices (dsp/lfo.h).
inline constexpr Reading kDivisionReading = choiceReading(kDivisionEntries, kDivisionValues, CLfo::kDivisionScale);
inline constexpr Reading kWaveformReading = choiceReading(kWaveformEntries, kWaveformValues, CLfo::kWaveformScale);
inline constexpr Reading kMultipleReading = choiceReading(kMultipleEntries, kMultipleValues, CLfo::kMultipleScale);

// The "Bpm" rows' tempo, mapped as the shell maps it.
inline constexpr Reading kTempoReading{"BPM", kMinBpm, kMaxBpm, Reading::kContinuous, {}, {}, bpmOfValue,
                                       bpmToController};

// "Mix": the wet share of the mixer `Mixer` names, displayed in percent.
template <class Effect, CWetDryMixer Effect::*Mixer>
Parameter<Effect> mixRow(const char* label, int controller, float defaultValue = 0.5f) {
    return {{"Mix", label, defaultValue, controller, &kPercentReading},
            [](Effect& e, float v) { (e.*Mixer).setMix(v); },
            [](Effect& e, float, char* text) { Effect::float2string((e.*Mixer).wetPercent, text); }};
}

// "Bpm": the plug-in's own tempo (see `bpmOfValue`), which the tempo-following units
// take while the host gives none; the display shows that tempo.
template <class Effect>
Parameter<Effect> tempoRow(const char* label, int controller) {
    return {{"Bpm", label, 0.5f, controller, &kTempoReading},
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
