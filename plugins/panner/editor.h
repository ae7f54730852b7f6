// The Orvex Space editor: the three bands side by side, each with a frequency knob and
// its value, a level knob, an LFO depth knob, a division and a waveform menu and a
// solo button; a tempo knob with a typed tempo, a mix knob, and the filter display
// that pictures the three bands' filters.
//
// Threads: editor thread (the host's user-interface thread). The effect's parameter
// and tempo changes reach `setParameter` and `tempoChanged` at the next idle.
#pragma once

#include <array>

#include "dsp/parameter.h"
#include "gui/bandcurves.h"
#include "gui/controls.h"
#include "gui/editor.h"
#include "gui/filterdisplay.h"

namespace orvex::panner {

class ADelay;

class ADEditor : public gui::PanelEditor {
public:
    // Attaches itself to `effect`, which owns it from now on.
    explicit ADEditor(ADelay* effect);

    bool open(void* window) override;
    void close() override;
    void valueChanged(gui::CDrawContext* context, gui::CControl* control) override;
    // Brings the controls of parameter `index` up to the effect's value (the argument
    // is not used); nothing while closed.
    void setParameter(VstInt32 index, float value) override;

    // Tags of the controls without a parameter of their own.
    static constexpr long kTempoTextTag = 250;
    static constexpr long kFilterDisplayTag = 251;

protected:
    void tempoChanged(float bpm) override;

private:
    ADelay* delay;

    std::array<gui::CAnimKnob*, kNumBands> frequencyKnobs{};
    std::array<gui::CAnimKnob*, kNumBands> levelKnobs{};
    std::array<gui::CAnimKnob*, kNumBands> depthKnobs{};
    gui::CAnimKnob* tempoKnob = nullptr;
    gui::CAnimKnob* mixKnob = nullptr;
    gui::CTextEdit* tempoText = nullptr;
    std::array<gui::CParamDisplay*, kNumBands> frequencyDisplays{};
    std::array<gui::COnOffButton*, kNumBands> soloButtons{};
    std::array<gui::COptionMenu*, kNumBands> divisionMenus{};
    std::array<gui::COptionMenu*, kNumBands> waveformMenus{};
    // The menus' index mappings, kept across opens.
    std::array<CParameter, kNumBands> divisionMappings;
    std::array<CParameter, kNumBands> waveformMappings;
    gui::CFilterDisplay* filterDisplay = nullptr;
    const gui::BandCurves curves;
};

}  // namespace orvex::panner
