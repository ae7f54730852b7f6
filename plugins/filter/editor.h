// The filter's editor: one panel with seven knobs, the on/off and pole switches, four
// menus (filter type, LFO division, waveform and multiple), the tempo field and the XY
// pad that sets cutoff (x) and resonance (1 - y) together. Every control carries its
// parameter's index as its tag, except the pad and the tempo field.
//
// Threads: editor thread (the host's user-interface thread); the effect's changes
// reach `setParameter` and `tempoChanged` at the base's idle.
#pragma once

#include <array>

#include "gui/controls.h"
#include "gui/editor.h"
#include "parameter.h"
#include "touchpad.h"

namespace orvex::filter {

class ADelay;

class ADEditor : public gui::PanelEditor {
public:
    // Tags of the two controls without a parameter of their own.
    static constexpr long kPadTag = 250;
    static constexpr long kTempoTag = 251;
    static constexpr int kNumKnobs = 7;
    static constexpr int kNumButtons = 2;
    static constexpr int kNumMenus = 4;

    explicit ADEditor(ADelay* effect);
    ~ADEditor() override;

    bool open(void* window) override;
    void close() override;
    // A user change from a control, sent on as automated parameter changes.
    void valueChanged(gui::CDrawContext* context, gui::CControl* control) override;
    // The effect's value of parameter `index` (read back from it) into the controls;
    // nothing while closed.
    void setParameter(VstInt32 index, float value) override;
    // The pad's drag is a gesture on cutoff and resonance, the two it moves: the host
    // hears of no parameter 250.
    void beginEdit(VstInt32 index) override;
    void endEdit(VstInt32 index) override;

protected:
    // The host's tempo into the tempo field.
    void tempoChanged(float bpm) override;

private:
    // The menu showing parameter `index`, or -1.
    static int menuOf(VstInt32 index);
    // Entry of menu `m` for the parameter value `value`.
    int stepOf(int m, float value);

    ADelay* delay;
    std::array<gui::CAnimKnob*, kNumKnobs> knobs{};
    std::array<gui::COnOffButton*, kNumButtons> buttons{};
    std::array<gui::COptionMenu*, kNumMenus> menus{};
    gui::CTextEdit* tempoField = nullptr;
    CTouchPad* pad = nullptr;
    // Index maps of the four menus (type, division, waveform, multiple).
    std::array<CParameter, kNumMenus> stepMaps;
};

}  // namespace orvex::filter
