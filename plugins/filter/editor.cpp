#include "editor.h"

#include <cstdio>

#include "gui/housestyle.h"

namespace orvex::filter {

ADEditor::ADEditor(gui::EditorTarget target) : PanelEditor(target, layout::kPanel, layout::kRows) {}

ADEditor::~ADEditor() {
    if (isOpen()) close();
}

gui::CControl* ADEditor::makeOwn(const gui::PanelRow& row) {
    if (row.tag == kTempoTag)
        return gui::newTempoField(gui::rectOf(row.rect), this, kTempoTag, picture(row.picture), parameters().hostTempo(),
                                  parameters().get(kBpm));
    gui::CBitmap* handle = picture(layout::kHandle);
    handle->setTransparentColor(gui::kWhiteCColor);
    auto* pad = new CTouchPad(gui::rectOf(row.rect), this, kPadTag, picture(row.picture), handle);
    pad->setXValue(parameters().get(kCutoff));
    pad->setYValue(1.0f - parameters().get(kResonance));
    return pad;
}

void ADEditor::ownChanged(gui::CControl* control) {
    if (control->getTag() == kPadTag) {
        auto* pad = static_cast<CTouchPad*>(control);
        setParameterAutomated(kCutoff, pad->getXValue());
        setParameterAutomated(kResonance, 1.0f - pad->getYValue());
    } else {
        setParameterAutomated(kBpm, gui::typedBpm(control));
    }
}

void ADEditor::refreshOwn(VstInt32 index) {
    const float value = parameters().get(index);
    auto* pad = static_cast<CTouchPad*>(control(kPadTag));
    if (index == kCutoff) pad->setXValue(value);
    if (index == kResonance) pad->setYValue(1.0f - value);
    if (index == kCutoff || index == kResonance) pad->setDirty(true);
    if (index == kBpm) gui::showTempo(control(kTempoTag), parameters().hostTempo(), value);
}

void ADEditor::beginEdit(VstInt32 index) {
    if (index != kPadTag) return PanelEditor::beginEdit(index);
    AEffGUIEditor::beginEdit(kCutoff);
    AEffGUIEditor::beginEdit(kResonance);
}

void ADEditor::endEdit(VstInt32 index) {
    if (index != kPadTag) return PanelEditor::endEdit(index);
    AEffGUIEditor::endEdit(kCutoff);
    AEffGUIEditor::endEdit(kResonance);
}

void ADEditor::tempoChanged(float bpm) {
    if (!isOpen()) return;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(bpm));
    static_cast<gui::CTextEdit*>(control(kTempoTag))->setText(text);
}

}  // namespace orvex::filter
