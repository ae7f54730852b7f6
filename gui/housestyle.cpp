#include "housestyle.h"

#include <cstdio>
#include <cstdlib>

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

float bpmFromText(const char* text) {
    // Read as atof reads, then held as the 32-bit float the parameter is.
    const float t = static_cast<float>(std::atof(text ? text : ""));
    return (t >= 50.0f && t <= 250.0f ? t - 50.0f : 70.0f) / 200.0f;  // NaN too gives 120
}

void showTempo(CTextEdit* field, float hostTempo, float bpm) {
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

}  // namespace orvex::gui
