// The phaser's editor: a fixed bitmap panel with eight film-strip knobs (rate, depth
// and feedback of each channel, mix, stereo width), the stereo-link button and eight
// small displays of the knobs' values. While the link is on, a channel's knob and
// display follow their partner on the other channel.
//
// Threads: editor thread only (the base brings the effect's changes over at idle).
#pragma once

#include "gui/controls.h"
#include "gui/editor.h"
#include "parameters.h"

namespace orvex::phaser {

class ADEditor : public gui::PanelEditor {
public:
    explicit ADEditor(AudioEffect* effect);

    bool open(void* window) override;
    void close() override;

    // A user change: the effect's parameter (and, while linked, its partner's).
    void valueChanged(gui::CDrawContext* context, gui::CControl* control) override;
    // The effect's values back into the controls; `value` is not used, every control
    // reads the effect. Nothing while closed.
    void setParameter(VstInt32 index, float value) override;

private:
    // The knob and display of parameter `index`, set to the effect's value.
    void show(int index);

    // By parameter index; the link has a button instead of a knob and a display.
    gui::CAnimKnob* knobs[kNumParams] = {};
    gui::CParamDisplay* displays[kNumParams] = {};
    gui::COnOffButton* linkButton = nullptr;
};

}  // namespace orvex::phaser
