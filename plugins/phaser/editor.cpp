#include "editor.h"

#include "layout.h"

namespace orvex::phaser {

namespace {

// A channel parameter's counterpart on the other channel.
int partnerOf(int index) { return index < kChannelParams ? index + kChannelParams : index - kChannelParams; }
bool isChannelParameter(long index) { return index >= 0 && index < 2 * kChannelParams; }

}  // namespace

ADEditor::ADEditor(gui::EditorTarget target) : PanelEditor(target, layout::kPanel, layout::kRows) {}

bool ADEditor::linked() const {
    const gui::CControl* link = control(kLink);
    return link && link->getValue() != 0.0f;
}

void ADEditor::valueChanged(gui::CDrawContext* context, gui::CControl* control) {
    const long tag = control->getTag();
    if (static_cast<unsigned long>(tag) >= static_cast<unsigned long>(kNumParams)) return;
    PanelEditor::valueChanged(context, control);
    // A linked channel moves as one: the partner is set and reported to the host too,
    // whichever channel was turned, so that the effect, the host's automation and the
    // partner's knob all agree.
    if (isChannelParameter(tag) && linked())
        setParameterAutomated(partnerOf(static_cast<int>(tag)), control->getValue());
    // Bring the partner's knob and display along now rather than at the next idle, so
    // that both move in the same frame of a drag.
    applyPendingChanges();
}

void ADEditor::refreshOwn(VstInt32 index) {
    // Each knob shows its own parameter: with the link on, the effect copies a left
    // value onto the right channel but keeps a right value to the right channel.
    if (isChannelParameter(index) && linked()) refresh(partnerOf(index));
}

}  // namespace orvex::phaser
