#include "editor.h"

#include <iterator>

#include "dsp/lfo.h"
#include "gui/housestyle.h"

namespace orvex::panner {

static_assert(std::size(gui::kDivisionEntries) == CLfo::kNumDivisions &&
              std::size(gui::kWaveformEntries) == CLfo::kNumWaveforms);

ADEditor::ADEditor(gui::EditorTarget target)
    : PanelEditor(target, layout::kPanel, layout::kRows,
                  [](long tag) { return ADelay::kParameters[tag].defaultValue; }) {}

gui::CControl* ADEditor::makeOwn(const gui::PanelRow& row) {
    if (row.tag == kFilterDisplayTag) return curves.make(row, *this);
    return gui::newTempoField(gui::rectOf(row.rect), this, kTempoTextTag, picture(row.picture), parameters().hostTempo(),
                              parameters().get(kBpm));
}

void ADEditor::ownChanged(gui::CControl* control) {
    if (control->getTag() == kTempoTextTag)
        setParameterAutomated(kBpm, gui::typedBpm(control));
}

void ADEditor::refreshOwn(VstInt32 index) {
    if (index == kBpm)
        gui::showTempo(control(kTempoTextTag), parameters().hostTempo(), parameters().get(kBpm));
    curves.refresh(index, static_cast<gui::CFilterDisplay*>(control(kFilterDisplayTag)), *this);
}

void ADEditor::tempoChanged(float bpm) {
    if (isOpen()) gui::showTempo(control(kTempoTextTag), bpm, parameters().get(kBpm));
}

}  // namespace orvex::panner
