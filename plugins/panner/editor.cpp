#include "editor.h"

#include <iterator>
#include <utility>

#include "adelay.h"
#include "dsp/lfo.h"
#include "gui/housestyle.h"
#include "layout.h"

namespace orvex::panner {

using namespace gui;

namespace {

// Which parameter each band's controls are bound to.
struct BandParameters {
    VstInt32 frequency, level, depth, division, waveform, solo;
};
constexpr BandParameters kBandParameters[kNumBands] = {
    {kLowFreq, kLowLevel, kLowLfoDepth, kLowDiv, kLowModType, kLowSolo},
    {kMidFreq, kMidLevel, kMidLfoDepth, kMidDiv, kMidModType, kMidSolo},
    {kHighFreq, kHighLevel, kHighLfoDepth, kHighDiv, kHighModType, kHighSolo},
};

// The menus' entries and the value each one sets; the LFO's own choice mappings
// (index = truncate(value x scale)) turn every value back into its entry.
const char* const kDivisionEntries[] = {" 4 bars",  " 2 bars",  " 1 bar",    " 1/2 bar",  " 1/4 bar",
                                        " 1/8 bar", " 1/16 bar", " 1/32 bar", " 1/64 bar"};
constexpr float kDivisionValues[] = {0.0f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 1.0f};
constexpr float kDivisionScale = 8.99999f;
const char* const kWaveformEntries[] = {" Sin", " Saw up", " Saw down", " Square", " Triangle", " Exp(Triangle)"};
constexpr float kWaveformValues[] = {0.0f, 0.2f, 0.4f, 0.6f, 0.7f, 1.0f};
constexpr float kWaveformScale = 5.99999f;
static_assert(std::size(kDivisionEntries) == CLfo::kNumDivisions && std::size(kDivisionValues) == CLfo::kNumDivisions);
static_assert(std::size(kWaveformEntries) == CLfo::kNumWaveforms && std::size(kWaveformValues) == CLfo::kNumWaveforms);

constexpr CColor kCurveKey{43, 100, 118, 0};
constexpr CColor kSelectedText{42, 131, 157, 0};

BandCurves::Indices bandIndices(VstInt32 BandParameters::*which) {
    BandCurves::Indices out{};
    for (int b = 0; b < kNumBands; ++b) out[b] = kBandParameters[b].*which;
    return out;
}

CRect toRect(const layout::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

void frequencyText(float value, char* text) { frequencyStringConvert(value, text); }

// What a parameter is to the bands: which band's which control, if any.
enum class Role { none, frequency, level, depth, division, waveform, solo };
struct Binding {
    Role role = Role::none;
    int band = -1;
};
Binding bindingOf(VstInt32 index) {
    for (int b = 0; b < kNumBands; ++b) {
        const BandParameters& p = kBandParameters[b];
        const std::pair<VstInt32, Role> roles[] = {{p.frequency, Role::frequency}, {p.level, Role::level},
                                                   {p.depth, Role::depth},         {p.division, Role::division},
                                                   {p.waveform, Role::waveform},   {p.solo, Role::solo}};
        for (auto [which, role] : roles)
            if (which == index) return {role, b};
    }
    return {};
}

// The value a menu's entry sets, or -1 for an index outside the list.
template <std::size_t N>
float entryValue(const float (&values)[N], int index) {
    return index >= 0 && index < static_cast<int>(N) ? values[index] : -1.0f;
}

}  // namespace

ADEditor::ADEditor(ADelay* effect)
    : PanelEditor(effect, layout::kPanel),
      delay(effect),
      curves(bandIndices(&BandParameters::frequency), bandIndices(&BandParameters::level),
             bandIndices(&BandParameters::solo)) {
    for (auto& m : divisionMappings) m.setIndexRange(0, CLfo::kNumDivisions - 1, kDivisionScale);
    for (auto& m : waveformMappings) m.setIndexRange(0, CLfo::kNumWaveforms - 1, kWaveformScale);
    setKnobMode(2);  // knobs follow the pointer linearly
}

bool ADEditor::open(void* window) {
    AEffGUIEditor::open(window);

    CBitmap* bandKnobs = new CBitmap(layout::kBandKnobs);
    CBitmap* globalKnobs = new CBitmap(layout::kGlobalKnobs);
    CBitmap* depthKnobBitmap = new CBitmap(layout::kDepthKnobs);
    CBitmap* soloBitmap = new CBitmap(layout::kSoloButton);
    CBitmap* tempoField = new CBitmap(layout::kTempoField);
    CBitmap* filterScreen = new CBitmap(layout::kFilterScreen);
    CBitmap* lowPass = new CBitmap(layout::kLowPassCurve);
    CBitmap* bandPass = new CBitmap(layout::kBandPassCurve);
    CBitmap* highPass = new CBitmap(layout::kHighPassCurve);
    CBitmap* divisionBacks[kNumBands];
    CBitmap* waveformBacks[kNumBands];
    for (int b = 0; b < kNumBands; ++b) {
        divisionBacks[b] = new CBitmap(layout::kDivisionMenus[b]);
        waveformBacks[b] = new CBitmap(layout::kWaveformMenus[b]);
    }
    CBitmap* frequencyField = new CBitmap(layout::kFrequencyField);
    soloBitmap->setTransparentColor(kWhiteCColor);
    for (CBitmap* c : {lowPass, bandPass, highPass}) c->setTransparentColor(kCurveKey);

    makeFrame(window);

    const auto knob = [&](const CRect& size, VstInt32 tag, int frames, int frameHeight, CBitmap* strip) {
        auto* k = new CAnimKnob(size, this, tag, frames, frameHeight, strip);
        k->setDefaultValue(ADelay::kParameters[tag].defaultValue);
        k->setValue(effect->getParameter(tag));
        frame->addView(k);
        return k;
    };
    const auto menu = [&](const CRect& size, VstInt32 tag, CBitmap* back, const auto& entries, CParameter& mapping,
                          COptionMenuScheme* scheme) {
        auto* m = new COptionMenu(size, this, tag, back, nullptr, kCheckStyle);
        for (const char* entry : entries) m->addEntry(entry, -1);
        m->setScheme(scheme);
        setHouseText(m);
        m->setHoriAlign(kCenterText);
        m->setCurrent(mapping.getSetIndex(effect->getParameter(tag)), true);
        frame->addView(m);
        return m;
    };

    const int soloWidth = soloBitmap->getWidth();
    const int soloHeight = soloBitmap->getHeight() / 2;
    for (int b = 0; b < kNumBands; ++b) {
        const int left = layout::kBands[b].solo;
        auto* button = new COnOffButton(CRect(left, layout::kSoloTop, left + soloWidth, layout::kSoloTop + soloHeight),
                                        this, kBandParameters[b].solo, soloBitmap);
        button->setTransparency(true);
        button->setValue(effect->getParameter(kBandParameters[b].solo));
        frame->addView(button);
        soloButtons[b] = button;
    }

    tempoText = new CTextEdit(toRect(layout::kTempoText), this, kTempoTextTag, "120.f", tempoField, 0);
    setHouseText(tempoText);
    tempoText->setHoriAlign(kCenterText);
    tempoText->setStringConvert(bpmStringConvert);
    tempoText->setBackColor(kHouseFieldColor);
    tempoText->setValue(effect->getParameter(kBpm));
    frame->addView(tempoText);

    for (int b = 0; b < kNumBands; ++b) {
        const int left = layout::kBands[b].frequencyField;
        auto* display = new CParamDisplay(
            CRect(left, layout::kFrequencyFieldTop, left + layout::kFrequencyFieldWidth, layout::kFrequencyFieldBottom),
            frequencyField, 1);
        setHouseText(display);
        display->setStringConvert(frequencyText);
        display->setValue(effect->getParameter(kBandParameters[b].frequency));
        frame->addView(display);
        frequencyDisplays[b] = display;
    }

    const int bandKnobWidth = bandKnobs->getWidth();
    for (int b = 0; b < kNumBands; ++b) {
        const int left = layout::kBands[b].frequency;
        frequencyKnobs[b] = knob(CRect(left, layout::kFrequencyTop, left + bandKnobWidth, layout::kFrequencyBottom),
                                 kBandParameters[b].frequency, layout::kBandKnobFrames, layout::kBandKnobSize, bandKnobs);
    }
    for (int b = 0; b < kNumBands; ++b) {
        const int left = layout::kBands[b].level;
        levelKnobs[b] = knob(CRect(left, layout::kLevelTop, left + bandKnobWidth, layout::kLevelBottom),
                             kBandParameters[b].level, layout::kBandKnobFrames, layout::kBandKnobSize, bandKnobs);
    }
    for (int b = 0; b < kNumBands; ++b) {
        const int left = layout::kBands[b].depth;
        depthKnobs[b] = knob(CRect(left, layout::kDepthTop, left + layout::kSmallKnobSize,
                                   layout::kDepthTop + layout::kSmallKnobSize),
                             kBandParameters[b].depth, layout::kSmallKnobFrames, layout::kSmallKnobSize, depthKnobBitmap);
    }
    tempoKnob = knob(toRect(layout::kTempoKnob), kBpm, layout::kSmallKnobFrames, layout::kSmallKnobSize, globalKnobs);
    mixKnob = knob(toRect(layout::kMixKnob), kMix, layout::kSmallKnobFrames, layout::kSmallKnobSize, globalKnobs);

    // One scheme for this open's six menus; the last menu to go releases it.
    COptionMenuScheme* scheme = newHouseMenuScheme(kSelectedText);
    for (int b = 0; b < kNumBands; ++b) {
        const int left = layout::kBands[b].division;
        divisionMenus[b] = menu(CRect(left, layout::kMenuTop, left + layout::kDivisionWidth, layout::kMenuBottom),
                                kBandParameters[b].division, divisionBacks[b], kDivisionEntries, divisionMappings[b],
                                scheme);
    }
    for (int b = 0; b < kNumBands; ++b) {
        const int left = layout::kBands[b].waveform;
        waveformMenus[b] = menu(CRect(left, layout::kMenuTop, left + layout::kWaveformWidth, layout::kMenuBottom),
                                kBandParameters[b].waveform, waveformBacks[b], kWaveformEntries, waveformMappings[b],
                                scheme);
    }
    scheme->forget();

    filterDisplay = new CFilterDisplay(toRect(layout::kFilterDisplay), this, kFilterDisplayTag, filterScreen);
    frame->addView(filterDisplay);

    showTempo(tempoText, delay->getTheBpm(), effect->getParameter(kBpm));
    curves.setUp(filterDisplay, lowPass, bandPass, highPass, effect);

    for (CBitmap* b : {bandKnobs, globalKnobs, depthKnobBitmap, soloBitmap, tempoField, filterScreen, lowPass, bandPass,
                       highPass, frequencyField})
        b->forget();
    for (int b = 0; b < kNumBands; ++b) {
        divisionBacks[b]->forget();
        waveformBacks[b]->forget();
    }

    setKnobMode(2);
    return true;
}

void ADEditor::close() {
    AEffGUIEditor::close();  // the frame deletes every control
    frequencyKnobs = levelKnobs = depthKnobs = {};
    tempoKnob = mixKnob = nullptr;
    tempoText = nullptr;
    frequencyDisplays = {};
    soloButtons = {};
    divisionMenus = waveformMenus = {};
    filterDisplay = nullptr;
}

void ADEditor::valueChanged(CDrawContext*, CControl* control) {
    const long tag = control->getTag();
    if (tag == kTempoTextTag) {
        setParameterAutomated(kBpm, bpmToController(textToBpm(static_cast<CTextEdit*>(control)->getText().c_str())));
        return;
    }
    if (tag < 0 || tag >= kNumParams) return;
    const auto index = static_cast<VstInt32>(tag);
    const Role role = bindingOf(index).role;
    if (role == Role::division || role == Role::waveform) {
        // An entry outside the list changes nothing.
        const int entry = static_cast<COptionMenu*>(control)->getCurrent(nullptr, true);
        const float value =
            role == Role::division ? entryValue(kDivisionValues, entry) : entryValue(kWaveformValues, entry);
        if (value >= 0.0f) setParameterAutomated(index, value);
        return;
    }
    // Every other parameter has a knob or a button.
    setParameterAutomated(index, control->getValue());
}

void ADEditor::setParameter(VstInt32 index, float) {
    if (!isOpen()) return;
    if (index >= 0 && index < kNumParams) {
        const float v = effect->getParameter(index);
        const auto [role, b] = bindingOf(index);
        const auto set = [v](CControl* control) {
            if (control) control->setValue(v);
        };
        switch (role) {
            case Role::frequency:
                set(frequencyKnobs[b]);
                set(frequencyDisplays[b]);
                break;
            case Role::level: set(levelKnobs[b]); break;
            case Role::depth: set(depthKnobs[b]); break;
            case Role::division:
                if (divisionMenus[b]) divisionMenus[b]->setCurrent(divisionMappings[b].getSetIndex(v), true);
                break;
            case Role::waveform:
                if (waveformMenus[b]) waveformMenus[b]->setCurrent(waveformMappings[b].getSetIndex(v), true);
                break;
            case Role::solo: break;  // the curves below refresh all three buttons
            case Role::none:
                if (index == kBpm) {
                    set(tempoKnob);
                    if (tempoText) showTempo(tempoText, delay->getTheBpm(), v);
                } else if (index == kMix) {
                    set(mixKnob);
                }
                break;
        }
        // Frequencies and levels re-place their curve; a solo refreshes all three
        // buttons and brings its band's curve to the front.
        curves.refresh(index, filterDisplay, soloButtons, effect);
    }
    postUpdate();
}

void ADEditor::tempoChanged(float bpm) {
    if (isOpen() && tempoText) showTempo(tempoText, bpm, effect->getParameter(kBpm));
}

}  // namespace orvex::panner
