#include "editor.h"

#include "layout.h"

namespace orvex::distortion {

ADEditor::ADEditor(gui::EditorTarget target)
    : PanelEditor(target, layout::kPanel, layout::kRows,
                  [](long tag) { return ADelay::kParameters[tag].defaultValue; }) {
    // The menus' selected entry, a little lighter than the other editors'.
    selectedText = {42, 130, 157, 0};
}

gui::CControl* ADEditor::makeOwn(const gui::PanelRow& row) { return curves.make(row, *this); }

void ADEditor::refreshOwn(VstInt32 index) {
    curves.refresh(index, static_cast<gui::CFilterDisplay*>(control(layout::kFilterDisplayTag)), *this);
}

}  // namespace orvex::distortion
