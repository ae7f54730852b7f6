#include "housestyle.h"

#include <cstdio>

#include "dsp/parameter.h"

namespace orvex::gui {

COptionMenuScheme* newHouseMenuScheme(const CColor& selectedText) {
    constexpr CColor kItem{223, 228, 160, 0};
    auto* scheme = new COptionMenuScheme;
    scheme->setColors(kItem, kWhiteCColor, kHouseTextColor, selectedText, kItem);
    return scheme;
}

void setHouseText(CParamDisplay* control) {
    control->setFont(kHouseFont);
    control->setFontColor(kHouseTextColor);
}

void showTempo(CControl* control, float hostTempo, float bpm) {
    auto* field = static_cast<CTextEdit*>(control);
    char text[32];
    if (hostTempo != -1.0f) {
        std::snprintf(text, sizeof text, "%.2f", static_cast<double>(hostTempo));
        field->setText(text);
        field->setDirty(true);
    } else {
        bpmStringConvert(bpm, text);
        field->setText(text);
    }
}

float typedBpm(CControl* field) {
    return bpmToController(textToBpm(static_cast<CTextEdit*>(field)->getText().c_str()));
}

CTextEdit* newTempoField(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                         float hostTempo, float bpm) {
    auto* field = new CTextEdit(size, listener, tag, "120.f", background, 0);
    setHouseText(field);
    field->setHoriAlign(kCenterText);
    field->setStringConvert(bpmStringConvert);
    field->setBackColor(kHouseFieldColor);
    field->setValue(bpm);
    showTempo(field, hostTempo, bpm);
    return field;
}

}  // namespace orvex::gui
