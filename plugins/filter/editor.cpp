#include "editor.h"

#include <cstdio>
#include <span>

#include "adelay.h"
#include "dsp/parameter.h"
#include "gui/housestyle.h"

namespace orvex::filter {

using gui::CBitmap;
using gui::CRect;

namespace {

// Pictures by number: the panel, then the fifteen the controls hold.
constexpr long kPanelPicture = 128;
constexpr long kFirstControlPicture = 129;
constexpr int kNumControlPictures = 15;  // 129 to 143
constexpr long kBigKnobs = 129, kSmallKnobs = 130, kSwitch = 131, kHandle = 132, kPadPicture = 133;
constexpr long kModKnobs = 143, kTempoPicture = 140;

struct Place {
    int left, top, right, bottom;
    CRect rect() const { return {left, top, right, bottom}; }
};

struct KnobRow {
    int index;
    Place place;
    long picture;
    int frames;
    int frameHeight;
};

// In the order they are made (and drawn).
constexpr KnobRow kKnobs[ADEditor::kNumKnobs] = {
    {kCutoff, {155, 69, 177, 91}, kBigKnobs, 127, 22},
    {kResonance, {100, 197, 122, 219}, kBigKnobs, 127, 22},
    {kDrive, {309, 197, 331, 219}, kBigKnobs, 127, 22},
    {kMix, {419, 200, 437, 218}, kSmallKnobs, 101, 18},
    {kCutoffMod, {310, 60, 329, 78}, kModKnobs, 101, 18},
    {kResonanceMod, {310, 123, 329, 141}, kModKnobs, 101, 18},
    {kBpm, {513, 200, 531, 218}, kSmallKnobs, 101, 18},
};

struct ButtonRow {
    int index;
    Place place;
};

constexpr ButtonRow kButtons[ADEditor::kNumButtons] = {
    {kOnOff, {36, 39, 55, 70}},
    {kPole, {36, 98, 55, 129}},
};

const char* const kTypeEntries[] = {" Low Pass", " Band Pass", " High Pass", " Notch", " Peak"};
const char* const kDivisionEntries[] = {" 4 bars",  " 2 bars",   " 1 bar",    " 1/2 bar", " 1/4 bar",
                                        " 1/8 bar", " 1/16 bar", " 1/32 bar", " 1/64 bar"};
const char* const kWaveformEntries[] = {" Sin", " Saw up", " Saw down", " Square", " Triangle", " Exp(Triangle)"};
const char* const kMultipleEntries[] = {"x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8"};

// The parameter value each entry stands for; each lands back on its entry through the
// menu's index map.
constexpr float kTypeValues[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
constexpr float kDivisionValues[] = {0.0f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 1.0f};
constexpr float kWaveformValues[] = {0.0f, 0.2f, 0.4f, 0.6f, 0.7f, 1.0f};
constexpr float kMultipleValues[] = {0.0f, 0.14f, 0.29f, 0.42f, 0.57f, 0.71f, 0.85f, 1.0f};

struct MenuRow {
    int index;
    Place place;
    long picture;
    long clickedPicture;
    std::span<const char* const> entries;
    std::span<const float> values;
    float indexScale;  // just below the number of entries
    int align;
};

const MenuRow kMenus[ADEditor::kNumMenus] = {
    {kFilterType, {429, 59, 548, 75}, 134, 135, kTypeEntries, kTypeValues, 4.99999f, gui::kLeftText},
    {kDivision, {429, 123, 498, 139}, 138, 139, kDivisionEntries, kDivisionValues, 8.99999f, gui::kLeftText},
    {kWaveform, {429, 91, 548, 107}, 136, 137, kWaveformEntries, kWaveformValues, 5.99999f, gui::kLeftText},
    {kMultiple, {499, 123, 549, 139}, 141, 142, kMultipleEntries, kMultipleValues, 7.99999f, gui::kCenterText},
};

constexpr Place kPadPlace{160, 142, 260, 222};
constexpr Place kTempoPlace{497, 155, 548, 171};
constexpr gui::CColor kMenuSelectedText{42, 131, 157, 0};

int knobSlot(VstInt32 index) {
    for (int k = 0; k < ADEditor::kNumKnobs; ++k)
        if (kKnobs[k].index == index) return k;
    return -1;
}

int buttonSlot(VstInt32 index) {
    for (int b = 0; b < ADEditor::kNumButtons; ++b)
        if (kButtons[b].index == index) return b;
    return -1;
}

}  // namespace

ADEditor::ADEditor(ADelay* effect) : PanelEditor(effect, kPanelPicture), delay(effect) {
    for (int m = 0; m < kNumMenus; ++m)
        stepMaps[m].setIndexRange(0, static_cast<int>(kMenus[m].entries.size()) - 1, kMenus[m].indexScale);
    setKnobMode(2);
}

ADEditor::~ADEditor() {
    if (isOpen()) close();
}

int ADEditor::menuOf(VstInt32 index) {
    for (int m = 0; m < kNumMenus; ++m)
        if (kMenus[m].index == index) return m;
    return -1;
}

int ADEditor::stepOf(int m, float value) { return stepMaps[m].getSetIndex(value); }

bool ADEditor::open(void* window) {
    using namespace gui;
    AEffGUIEditor::open(window);

    CBitmap* pictures[kNumControlPictures];
    for (int i = 0; i < kNumControlPictures; ++i) pictures[i] = new CBitmap(kFirstControlPicture + i);
    auto picture = [&](long number) { return pictures[number - kFirstControlPicture]; };
    picture(kHandle)->setTransparentColor(kWhiteCColor);

    makeFrame(window);

    pad = new CTouchPad(kPadPlace.rect(), this, kPadTag, picture(kPadPicture), picture(kHandle), CPoint(0, 0));
    pad->setXValue(delay->getParameter(kCutoff));
    pad->setYValue(1.0f - delay->getParameter(kResonance));
    frame->addView(pad);

    for (int b = 0; b < kNumButtons; ++b) {
        buttons[b] = new COnOffButton(kButtons[b].place.rect(), this, kButtons[b].index, picture(kSwitch));
        buttons[b]->setValue(delay->getParameter(kButtons[b].index));
        frame->addView(buttons[b]);
    }

    for (int k = 0; k < kNumKnobs; ++k) {
        const KnobRow& row = kKnobs[k];
        knobs[k] = new CAnimKnob(row.place.rect(), this, row.index, row.frames, row.frameHeight, picture(row.picture),
                                 CPoint(0, 0));
        knobs[k]->setValue(delay->getParameter(row.index));
        knobs[k]->setDefaultValue(0.5f);
        frame->addView(knobs[k]);
    }

    COptionMenuScheme* scheme = newHouseMenuScheme(kMenuSelectedText);
    for (int m = 0; m < kNumMenus; ++m) {
        const MenuRow& row = kMenus[m];
        COptionMenu* menu = new COptionMenu(row.place.rect(), this, row.index, picture(row.picture),
                                            picture(row.clickedPicture), kCheckStyle);
        for (const char* entry : row.entries) menu->addEntry(entry, -1);
        setHouseText(menu);
        menu->setCurrent(stepOf(m, delay->getParameter(row.index)), true);
        menu->setHoriAlign(row.align);
        menu->setScheme(scheme);
        menus[m] = menu;
        frame->addView(menu);
    }
    scheme->forget();

    tempoField = new CTextEdit(kTempoPlace.rect(), this, kTempoTag, "120.f", picture(kTempoPicture), 0);
    tempoField->setHoriAlign(kCenterText);
    setHouseText(tempoField);
    tempoField->setStringConvert(bpmStringConvert);
    const float bpm = delay->getParameter(kBpm);
    tempoField->setValue(bpm);
    showTempo(tempoField, delay->getTheBpm(), bpm);
    tempoField->setBackColor(kHouseFieldColor);
    frame->addView(tempoField);

    for (CBitmap* p : pictures) p->forget();  // the controls hold theirs
    setKnobMode(2);
    return true;
}

void ADEditor::close() {
    knobs.fill(nullptr);
    buttons.fill(nullptr);
    menus.fill(nullptr);
    tempoField = nullptr;
    pad = nullptr;
    AEffGUIEditor::close();
}

void ADEditor::valueChanged(gui::CDrawContext*, gui::CControl* control) {
    if (!isOpen() || !control) return;
    const long tag = control->getTag();
    if (tag == kPadTag && control == pad) {
        setParameterAutomated(kCutoff, pad->getXValue());
        setParameterAutomated(kResonance, 1.0f - pad->getYValue());
    } else if (tag == kTempoTag && control == tempoField) {
        // Out of range (or not a number) it is 120 beats per minute.
        setParameterAutomated(kBpm, bpmToController(textToBpm(tempoField->getText().c_str())));
    } else if (const int m = menuOf(tag); m >= 0 && control == menus[m]) {
        const int entry = menus[m]->getCurrent(nullptr, true);
        const std::span<const float> values = kMenus[m].values;
        if (entry >= 0 && entry < static_cast<int>(values.size()))
            setParameterAutomated(static_cast<VstInt32>(tag), values[static_cast<std::size_t>(entry)]);
    } else if (knobSlot(tag) >= 0 || buttonSlot(tag) >= 0) {
        setParameterAutomated(static_cast<VstInt32>(tag), control->getValue());
    }
    // The frame redraws what changed right after the mouse or key event that led here.
}

void ADEditor::setParameter(VstInt32 index, float) {
    if (!isOpen()) return;
    // The effect's own value: it may have clamped what was sent.
    const float value = delay->getParameter(index);
    if (const int k = knobSlot(index); k >= 0) knobs[k]->setValue(value);
    if (const int b = buttonSlot(index); b >= 0) buttons[b]->setValue(value);
    if (const int m = menuOf(index); m >= 0) menus[m]->setCurrent(stepOf(m, value), true);
    switch (index) {
        case kCutoff:
            pad->setXValue(value);
            pad->setDirty(true);
            break;
        case kResonance:
            pad->setYValue(1.0f - value);
            pad->setDirty(true);
            break;
        case kBpm: gui::showTempo(tempoField, delay->getTheBpm(), value); break;
        default: break;
    }
    postUpdate();
}

void ADEditor::beginEdit(VstInt32 index) {
    if (index != kPadTag) return AEffGUIEditor::beginEdit(index);
    AEffGUIEditor::beginEdit(kCutoff);
    AEffGUIEditor::beginEdit(kResonance);
}

void ADEditor::endEdit(VstInt32 index) {
    if (index != kPadTag) return AEffGUIEditor::endEdit(index);
    AEffGUIEditor::endEdit(kCutoff);
    AEffGUIEditor::endEdit(kResonance);
}

void ADEditor::tempoChanged(float bpm) {
    if (!isOpen()) return;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(bpm));
    tempoField->setText(text);
}

}  // namespace orvex::filter
