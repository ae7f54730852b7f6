// The distortion's editor: one column per band with knobs for crossover frequency,
// input level, drive and output level, a solo button and a type menu, the three
// crossover read-outs, the mix knob, and the filter display that pictures the three
// band filters. Control changes go to the effect as automated parameter changes; the
// effect's changes come back through `setParameter`, which rereads its values.
//
// Threads: editor thread (the host's user-interface thread) only; the effect's
// changes reach `setParameter` through the base's idle.
#pragma once

#include <array>

#include "adelay.h"
#include "gui/bandcurves.h"
#include "gui/controls.h"
#include "gui/editor.h"
#include "gui/filterdisplay.h"

namespace orvex::distortion {

class ADEditor : public gui::PanelEditor {
public:
    // The filter display has no parameter of its own.
    static constexpr long kFilterDisplayTag = 250;

    explicit ADEditor(AudioEffect* effect);

    // Builds a fresh frame and controls from the effect's current values.
    bool open(void* window) override;
    void close() override;
    // A user change: sent to the effect as an automated parameter change.
    void valueChanged(gui::CDrawContext* context, gui::CControl* control) override;
    // Brings the controls of parameter `index` up to the effect's values (`value` is
    // not used: the effect's own solo rule may have changed other parameters too).
    // Nothing at all while closed.
    void setParameter(VstInt32 index, float value) override;

private:
    // The type menu index a type value stands for.
    int typeIndex(int band, float value) { return typeSteppers[band].getSetIndex(value); }

    // Indexed by parameter; null where the parameter has no knob.
    std::array<gui::CAnimKnob*, kNumParams> knobs{};
    std::array<gui::CParamDisplay*, kNumBands> frequencyDisplays{};
    std::array<gui::COnOffButton*, kNumBands> soloButtons{};
    std::array<gui::COptionMenu*, kNumBands> typeMenus{};
    std::array<CParameter, kNumBands> typeSteppers;
    gui::CFilterDisplay* filterDisplay = nullptr;
    const gui::BandCurves curves{{kLowFreq, kMidFreq, kHighFreq},
                                 {kLowInputLevel, kMidInputLevel, kHighInputLevel},
                                 {kLowSolo, kMidSolo, kHighSolo}};
};

}  // namespace orvex::distortion
