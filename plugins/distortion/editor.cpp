#include "editor.h"

#include "gui/housestyle.h"
#include "layout.h"

namespace orvex::distortion {

using gui::CAnimKnob;
using gui::CBitmap;
using gui::COnOffButton;
using gui::COptionMenu;
using gui::CParamDisplay;
using gui::CRect;

namespace {

// The pictures, by resource number.
enum Picture : long {
    kPanel = 128,
    kLargeKnob,     // 127 frames of 22 pixels
    kSmallKnob,     // 101 frames of 18 pixels
    kDisplayBack,   // behind the crossover read-outs
    kSoloButton,    // off above, on below; white is left out
    kMenuBack,      // behind the type menus
    kFilterBack,    // the filter display's glass
    kLowPassCurve,  // the three curves, on the curve key colour
    kBandPassCurve,
    kHighPassCurve,
};
constexpr gui::CColor kCurveKey{43, 100, 118, 0};
// The menus' selected entry, a little lighter than the other editors'.
constexpr gui::CColor kSelectedText{42, 130, 157, 0};

CRect rectOf(const layout::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

// Parameters by band (low, middle, high), in the order their controls are added.
constexpr int kSolos[kNumBands] = {kLowSolo, kMidSolo, kHighSolo};
constexpr int kFrequencies[kNumBands] = {kLowFreq, kMidFreq, kHighFreq};
constexpr int kTypes[kNumBands] = {kLowType, kMidType, kHighType};
struct Knob {
    int parameter;
    layout::Spot spot;
};
constexpr Knob kLargeKnobs[] = {
    {kLowFreq, layout::kFrequencyKnob[kLow]},    {kMidFreq, layout::kFrequencyKnob[kMid]},
    {kHighFreq, layout::kFrequencyKnob[kHigh]},  {kLowInputLevel, layout::kInputKnob[kLow]},
    {kMidInputLevel, layout::kInputKnob[kMid]},  {kHighInputLevel, layout::kInputKnob[kHigh]},
    {kLowDrive, layout::kDriveKnob[kLow]},       {kMidDrive, layout::kDriveKnob[kMid]},
    {kHighDrive, layout::kDriveKnob[kHigh]},
};
struct SmallKnob {
    int parameter;
    layout::Rect rect;
};
constexpr SmallKnob kSmallKnobs[] = {
    {kMix, layout::kMixKnob},
    {kLowOutputLevel, layout::kOutputKnob[kLow]},
    {kMidOutputLevel, layout::kOutputKnob[kMid]},
    {kHighOutputLevel, layout::kOutputKnob[kHigh]},
};

// The type menus' entries, one per type step of the distortion block.
constexpr const char* kTypeEntries[CDistortionBlock::kNumSteps] = {
    " Anihilator", " Soft shaper", " Tubetek",  " Slaughter", " Destroy",    " Digitron", " Quantize 16",
    " Quantize 12", " Quantize 8", " Quantize 4", " Top side", " Intimdator", " Violator", " Bypass",
};
// The type value a menu entry sends: inside the share of its step, so the block
// selects that step.
constexpr float kTypeValues[CDistortionBlock::kNumSteps] = {
    0.0f, 0.08f, 0.15f, 0.23f, 0.31f, 0.38f, 0.46f, 0.54f, 0.62f, 0.69f, 0.77f, 0.85f, 0.92f, 1.0f,
};

// The band whose parameter in `byBand` is `index`, or -1.
int bandOf(const int (&byBand)[kNumBands], VstInt32 index) {
    for (int band = 0; band < kNumBands; ++band)
        if (byBand[band] == index) return band;
    return -1;
}

float defaultOf(int parameter) { return ADelay::kParameters[parameter].defaultValue; }

}  // namespace

ADEditor::ADEditor(AudioEffect* effect) : PanelEditor(effect, kPanel) {
    for (CParameter& stepper : typeSteppers)
        stepper.setIndexRange(0, CDistortionBlock::kNumSteps - 1, CDistortionBlock::kStepScale);
    setKnobMode(2);
}

bool ADEditor::open(void* window) {
    AEffGUIEditor::open(window);

    CBitmap* largeKnob = new CBitmap(kLargeKnob);
    CBitmap* smallKnob = new CBitmap(kSmallKnob);
    CBitmap* displayBack = new CBitmap(kDisplayBack);
    CBitmap* soloButton = new CBitmap(kSoloButton);
    soloButton->setTransparentColor(gui::kWhiteCColor);
    CBitmap* menuBack = new CBitmap(kMenuBack);
    CBitmap* filterBack = new CBitmap(kFilterBack);
    CBitmap* lowPass = new CBitmap(kLowPassCurve);
    CBitmap* highPass = new CBitmap(kHighPassCurve);
    CBitmap* bandPass = new CBitmap(kBandPassCurve);
    for (CBitmap* curve : {lowPass, highPass, bandPass}) curve->setTransparentColor(kCurveKey);

    makeFrame(window);

    for (int band = 0; band < kNumBands; ++band) {
        const layout::Spot& at = layout::kSolo[band];
        auto* button = new COnOffButton(
            CRect(at.left, at.top, at.left + soloButton->getWidth(), at.top + soloButton->getHeight() / 2), this,
            kSolos[band], soloButton);
        button->setValue(effect->getParameter(kSolos[band]));
        button->setTransparency(true);
        frame->addView(soloButtons[band] = button);
    }

    gui::COptionMenuScheme* scheme = gui::newHouseMenuScheme(kSelectedText);

    for (int band = 0; band < kNumBands; ++band) {
        auto* display = new CParamDisplay(rectOf(layout::kFrequencyDisplay[band]), displayBack, 1);
        gui::setHouseText(display);
        display->setStringConvert([](float value, char* text) { frequencyStringConvert(value, text); });
        display->setValue(effect->getParameter(kFrequencies[band]));
        frame->addView(frequencyDisplays[band] = display);
    }

    for (const Knob& k : kLargeKnobs) {
        const CRect at(k.spot.left, k.spot.top, k.spot.left + largeKnob->getWidth(), k.spot.top + layout::kLargeKnobSize);
        auto* knob = new CAnimKnob(at, this, k.parameter, layout::kLargeKnobFrames, layout::kLargeKnobSize, largeKnob);
        knob->setDefaultValue(defaultOf(k.parameter));
        knob->setValue(effect->getParameter(k.parameter));
        knobs[static_cast<std::size_t>(k.parameter)] = knob;
    }
    for (const Knob& k : kLargeKnobs) frame->addView(knobs[static_cast<std::size_t>(k.parameter)]);

    for (const SmallKnob& k : kSmallKnobs) {
        auto* knob = new CAnimKnob(rectOf(k.rect), this, k.parameter, layout::kSmallKnobFrames, layout::kSmallKnobSize,
                                   smallKnob);
        knob->setValue(effect->getParameter(k.parameter));
        knob->setDefaultValue(defaultOf(k.parameter));
        frame->addView(knobs[static_cast<std::size_t>(k.parameter)] = knob);
    }

    for (int band = 0; band < kNumBands; ++band) {
        auto* menu = new COptionMenu(rectOf(layout::kTypeMenu[band]), this, kTypes[band], menuBack, nullptr,
                                     gui::kCheckStyle);
        for (const char* entry : kTypeEntries) menu->addEntry(entry, -1);
        menu->setHoriAlign(gui::kCenterText);
        menu->setScheme(scheme);
        gui::setHouseText(menu);
        menu->setCurrent(typeIndex(band, effect->getParameter(kTypes[band])), true);
        frame->addView(typeMenus[band] = menu);
    }
    scheme->forget();

    filterDisplay = new gui::CFilterDisplay(rectOf(layout::kFilterDisplay), this, kFilterDisplayTag, filterBack);
    curves.setUp(filterDisplay, lowPass, bandPass, highPass, effect);
    frame->addView(filterDisplay);

    // The controls hold their own references now.
    for (CBitmap* b : {largeKnob, smallKnob, displayBack, soloButton, menuBack, filterBack, lowPass, bandPass, highPass})
        b->forget();

    setKnobMode(2);
    return true;
}

void ADEditor::close() {
    knobs.fill(nullptr);
    frequencyDisplays.fill(nullptr);
    soloButtons.fill(nullptr);
    typeMenus.fill(nullptr);
    filterDisplay = nullptr;
    AEffGUIEditor::close();
}

void ADEditor::valueChanged(gui::CDrawContext*, gui::CControl* control) {
    // Tags compared unsigned: the filter display's 250, or anything else outside the
    // parameters, sends nothing.
    const auto tag = static_cast<unsigned long>(control->getTag());
    if (tag >= static_cast<unsigned long>(kNumParams)) return;
    const auto index = static_cast<VstInt32>(tag);
    if (bandOf(kTypes, index) >= 0) {
        // A type menu: its entry stands for a type step.
        const auto* menu = dynamic_cast<COptionMenu*>(control);
        const int entry = menu ? menu->getCurrent(nullptr, true) : -1;
        if (entry >= 0 && entry < CDistortionBlock::kNumSteps) setParameterAutomated(index, kTypeValues[entry]);
    } else {
        setParameterAutomated(index, control->getValue());
    }
    // The frame draws the changed control right after the mouse event.
}

void ADEditor::setParameter(VstInt32 index, float) {
    if (!isOpen()) return;
    if (index >= 0 && index < kNumParams) {
        if (CAnimKnob* knob = knobs[static_cast<std::size_t>(index)]) knob->setValue(effect->getParameter(index));
        if (const int band = bandOf(kFrequencies, index); band >= 0)
            frequencyDisplays[band]->setValue(effect->getParameter(index));
        if (const int band = bandOf(kTypes, index); band >= 0)
            typeMenus[band]->setCurrent(typeIndex(band, effect->getParameter(index)), true);
        // Crossovers and input levels move their curves; a solo change refreshes all
        // three buttons, as the effect turns the other solos off.
        curves.refresh(index, filterDisplay, soloButtons, effect);
    }
    postUpdate();
}

}  // namespace orvex::distortion
