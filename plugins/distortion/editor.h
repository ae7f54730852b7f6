// The distortion's editor: one column per band with knobs for crossover frequency,
// input level, drive and output level, a solo button and a type menu, the three
// crossover read-outs, the mix knob, and the filter display that pictures the three
// band filters (layout.h).
//
// Threads: editor thread (the host's user-interface thread) only; the effect's
// changes reach `setParameter` through the base's idle.
#pragma once

#include "adelay.h"
#include "gui/bandcurves.h"
#include "gui/editor.h"

namespace orvex::distortion {

class ADEditor : public gui::PanelEditor {
public:
    // On the effect (which owns it from now on) or on parameters held elsewhere.
    explicit ADEditor(gui::EditorTarget target);

protected:
    gui::CControl* makeOwn(const gui::PanelRow& row) override;
    // Crossovers and input levels move their curves; a solo change refreshes all three
    // buttons, as the effect turns the other solos off.
    void refreshOwn(VstInt32 index) override;

private:
    const gui::BandCurves curves{{kLowFreq, kMidFreq, kHighFreq},
                                 {kLowInputLevel, kMidInputLevel, kHighInputLevel},
                                 {kLowSolo, kMidSolo, kHighSolo}};
};

}  // namespace orvex::distortion
