// The phaser's editor: a fixed bitmap panel with eight film-strip knobs (rate, depth
// and feedback of each channel, mix, stereo width), the stereo-link button and eight
// small displays of the knobs' values (layout.h). While the link is on, a channel's
// knob and display follow their partner on the other channel.
//
// Threads: editor thread only (the base brings the effect's changes over at idle).
#pragma once

#include "gui/editor.h"

namespace orvex::phaser {

class ADEditor : public gui::PanelEditor {
public:
    // On the effect (which owns it from now on) or on parameters held elsewhere.
    explicit ADEditor(gui::EditorTarget target);

    // A user change: the effect's parameter (and, while linked, its partner's).
    void valueChanged(gui::CDrawContext* context, gui::CControl* control) override;

protected:
    // While linked, a channel parameter's partner shows its own value again.
    void refreshOwn(VstInt32 index) override;

private:
    bool linked() const;
};

}  // namespace orvex::phaser
