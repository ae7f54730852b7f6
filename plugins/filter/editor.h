// The filter's editor: one panel with seven knobs, the on/off and pole switches, four
// menus (filter type, LFO division, waveform and multiple), the tempo field and the XY
// pad that sets cutoff (x) and resonance (1 - y) together (layout.h). Every control
// carries its parameter's index as its tag, except the pad and the tempo field.
//
// Threads: editor thread (the host's user-interface thread); the effect's changes
// reach `setParameter` and `tempoChanged` at the base's idle.
#pragma once

#include "gui/editor.h"
#include "layout.h"
#include "touchpad.h"

namespace orvex::filter {

class ADEditor : public gui::PanelEditor {
public:
    static constexpr long kPadTag = layout::kPadTag;
    static constexpr long kTempoTag = layout::kTempoTag;

    // On the effect (which owns it from now on) or on parameters held elsewhere.
    explicit ADEditor(gui::EditorTarget target);
    ~ADEditor() override;

    // The pad's drag is a gesture on cutoff and resonance, the two it moves: the host
    // hears of no parameter 250.
    void beginEdit(VstInt32 index) override;
    void endEdit(VstInt32 index) override;

protected:
    // The pad and the tempo field.
    gui::CControl* makeOwn(const gui::PanelRow& row) override;
    // The pad sends cutoff and resonance; typed text goes to the "Bpm" parameter.
    void ownChanged(gui::CControl* control) override;
    // Cutoff and resonance move the pad, Bpm the tempo field.
    void refreshOwn(VstInt32 index) override;
    // The host's tempo into the tempo field.
    void tempoChanged(float bpm) override;
};

}  // namespace orvex::filter
