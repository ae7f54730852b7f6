#include "editor.h"

#include "dsp/parameter.h"
#include "gui/housestyle.h"
#include "host/audioeffect.h"
#include "layout.h"

namespace orvex::phaser {

using namespace gui;

namespace {

constexpr int kDisplayStyle = 1;

CRect rectOf(const layout::Box& b) { return CRect(b.left, b.top, b.right, b.bottom); }

// A channel parameter's counterpart on the other channel.
int partnerOf(int index) { return index < kChannelParams ? index + kChannelParams : index - kChannelParams; }
bool isChannelParameter(int index) { return index >= 0 && index < 2 * kChannelParams; }

// The displays' texts: the rates in hertz on their 0.05 to 20 scale, without a unit;
// the others in whole percent, truncated.
void frequencyText(float value, char* text) { frequencyStringConvert(value, text, "%.2f"); }
void percentText(float value, char* text) { percentStringConvert(value, text); }

}  // namespace

ADEditor::ADEditor(AudioEffect* effect) : PanelEditor(effect, layout::kPanel) {}

bool ADEditor::open(void* window) {
    AEffGUIEditor::open(window);
    CBitmap* channelKnobs = new CBitmap(layout::kChannelKnobs);
    CBitmap* outputKnobs = new CBitmap(layout::kOutputKnobs);
    CBitmap* button = new CBitmap(layout::kLinkButton);
    CBitmap* displayBack = new CBitmap(layout::kDisplay);

    makeFrame(window);

    linkButton = new COnOffButton(rectOf(layout::kLinkBox), this, kLink, button);
    linkButton->setValue(effect->getParameter(kLink));
    frame->addView(linkButton);

    for (const layout::Knob& k : layout::kKnobs) {
        CBitmap* strip = k.picture == layout::kChannelKnobs ? channelKnobs : outputKnobs;
        auto* knob = new CAnimKnob(rectOf(k.box), this, k.parameter, k.subImages, k.imageHeight, strip, CPoint(0, 0));
        knob->setDefaultValue(0.5f);
        knob->setValue(effect->getParameter(k.parameter));
        frame->addView(knob);
        knobs[k.parameter] = knob;
    }

    for (const layout::Display& d : layout::kDisplays) {
        auto* display = new CParamDisplay(rectOf(d.box), displayBack, kDisplayStyle);
        display->setStringConvert(d.shows == layout::Shows::hertz ? frequencyText : percentText);
        setHouseText(display);
        display->setValue(effect->getParameter(d.parameter));
        frame->addView(display);
        displays[d.parameter] = display;
    }

    // The controls hold their own references.
    for (CBitmap* b : {channelKnobs, outputKnobs, button, displayBack}) b->forget();

    setKnobMode(2);  // linear dragging
    return true;
}

void ADEditor::close() {
    AEffGUIEditor::close();
    // The frame deleted the controls with itself.
    for (int i = 0; i < kNumParams; ++i) knobs[i] = nullptr, displays[i] = nullptr;
    linkButton = nullptr;
}

void ADEditor::valueChanged(CDrawContext*, CControl* control) {
    const long tag = control->getTag();
    if (static_cast<unsigned long>(tag) >= static_cast<unsigned long>(kNumParams)) return;
    const int index = static_cast<int>(tag);
    const float value = control->getValue();
    setParameterAutomated(index, value);
    // A linked channel moves as one: the partner is set and reported to the host too,
    // whichever channel was turned, so that the effect, the host's automation and the
    // partner's knob all agree.
    if (isChannelParameter(index) && linkButton && linkButton->getValue() != 0.0f)
        setParameterAutomated(partnerOf(index), value);
    // Bring the partner's knob and display along now rather than at the next idle, so
    // that both move in the same frame of a drag.
    applyPendingChanges();
}

void ADEditor::show(int index) {
    const float v = effect->getParameter(index);
    knobs[index]->setValue(v);
    displays[index]->setValue(v);
}

void ADEditor::setParameter(VstInt32 index, float /*value*/) {
    if (!isOpen()) return;
    if (isChannelParameter(index)) {
        show(index);
        // Each knob shows its own parameter: with the link on, the effect copies a left
        // value onto the right channel but keeps a right value to the right channel.
        if (linkButton->getValue() != 0.0f) show(partnerOf(index));
    } else if (index == kMix || index == kWidth) {
        show(index);
    } else if (index == kLink) {
        linkButton->setValue(effect->getParameter(kLink));
    }
    postUpdate();
}

}  // namespace orvex::phaser
