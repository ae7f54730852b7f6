// The Orvex Space editor: the three bands side by side, each with a frequency knob and
// its value, a level knob, an LFO depth knob, a division and a waveform menu and a
// solo button; a tempo knob with a typed tempo, a mix knob, and the filter display
// that pictures the three bands' filters (layout.h).
//
// Threads: editor thread (the host's user-interface thread). The effect's parameter
// and tempo changes reach `setParameter` and `tempoChanged` at the next idle.
#pragma once

#include "gui/bandcurves.h"
#include "gui/editor.h"
#include "layout.h"

namespace orvex::panner {

class ADEditor : public gui::PanelEditor {
public:
    // On the effect (which owns it from now on) or on parameters held elsewhere.
    explicit ADEditor(gui::EditorTarget target);

    static constexpr long kTempoTextTag = layout::kTempoTextTag;
    static constexpr long kFilterDisplayTag = layout::kFilterDisplayTag;

protected:
    // The tempo field and the filter display.
    gui::CControl* makeOwn(const gui::PanelRow& row) override;
    // Typed text goes to the "Bpm" parameter.
    void ownChanged(gui::CControl* control) override;
    // Frequencies and levels re-place their curve; a solo refreshes all three buttons
    // and brings its band's curve to the front; Bpm shows in the tempo field.
    void refreshOwn(VstInt32 index) override;
    void tempoChanged(float bpm) override;

private:
    const gui::BandCurves curves{{kLowFreq, kMidFreq, kHighFreq},
                                 {kLowLevel, kMidLevel, kHighLevel},
                                 {kLowSolo, kMidSolo, kHighSolo}};
};

}  // namespace orvex::panner
