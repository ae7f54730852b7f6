// The editor toolkit's test bundle: a pass-through effect with four parameters and an
// editor holding one control of every kind the plug-ins use, so the toolkit can be
// driven through the binary interface (in a real X server, and offscreen) before the
// plug-ins' own editors exist.
#include <cstdio>
#include <cstdlib>

#include "gui/controls.h"
#include "gui/editor.h"
#include "gui/filterdisplay.h"
#include "host/effectshell.h"
#include "host/entry.h"

namespace orvex::guieffect {

enum Parameter { kKnob = 0, kSwitch, kChoice, kTempo, kNumParams };

class Effect : public TableEffect<Effect> {
public:
    explicit Effect(audioMasterCallback audioMaster);
    static const Row kParameters[kNumParams];

protected:
    void doProcess(float** inputs, float**, int n) override {
        for (int i = 0; i < n; ++i) {
            outputLeft()[i] = inputs[0][i];
            outputRight()[i] = inputs[1][i];
        }
    }
};

const EffectIdentity kIdentity{fourCharCode('O', 'x', 'G', 'u'), 1, "Orvex Toolkit Test", "Toolkit", false, 0};

void percent(Effect&, float v, char* text) { std::snprintf(text, 24, "%d", static_cast<int>(v * 100.0f)); }

const Effect::Row Effect::kParameters[kNumParams] = {
    {{"Knob", "% ", 0.5f, kNoController}, [](Effect&, float) {}, percent},
    {{"Switch", "  ", 0.0f, kNoController}, [](Effect&, float) {}, percent},
    {{"Choice", "  ", 0.0f, kNoController}, [](Effect&, float) {}, percent},
    {{"Tempo", "  ", 0.35f, kNoController}, [](Effect&, float) {}, percent},
};

Effect::Effect(audioMasterCallback audioMaster) : TableEffect(audioMaster, kIdentity, kParameters) {
    finishConstruction();
}

// Tags of the controls without a parameter of their own.
constexpr long kDisplayTag = 250;
constexpr long kFilterTag = 251;
const char* const kChoices[] = {" First", " Second", "-", " Third"};
constexpr int kNumChoices = 4;
constexpr gui::CColor kCurveKey{43, 100, 118, 0};

class Editor : public gui::AEffGUIEditor, public gui::CControlListener {
public:
    explicit Editor(AudioEffect* effect) : AEffGUIEditor(effect), background(new gui::CBitmap(128)) {
        rect = {0, 0, static_cast<VstInt16>(background->getHeight()), static_cast<VstInt16>(background->getWidth())};
        setKnobMode(2);
    }
    ~Editor() override { background->forget(); }

    bool open(void* window) override {
        using namespace gui;
        AEffGUIEditor::open(window);
        CBitmap* knobs = new CBitmap(129);
        CBitmap* button = new CBitmap(130);
        CBitmap* menuBack = new CBitmap(131);
        CBitmap* displayBack = new CBitmap(132);
        CBitmap* curves[3] = {new CBitmap(133), new CBitmap(134), new CBitmap(135)};
        CBitmap* filterBack = new CBitmap(136);
        for (CBitmap* c : curves) c->setTransparentColor(kCurveKey);

        frame = new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()), window, this);
        frame->setBackground(background);

        knob = new CAnimKnob(CRect(20, 40, 60, 80), this, kKnob, 31, 40, knobs);
        knob->setValue(effect->getParameter(kKnob));
        frame->addView(knob);
        onOff = new COnOffButton(CRect(80, 50, 120, 70), this, kSwitch, button);
        onOff->setValue(effect->getParameter(kSwitch));
        frame->addView(onOff);
        menu = new COptionMenu(CRect(140, 50, 230, 68), this, kChoice, menuBack, nullptr, kCheckStyle);
        for (const char* c : kChoices) menu->addEntry(c, -1);
        auto* scheme = new COptionMenuScheme;
        scheme->setColors(kGreyCColor, kBlueCColor, kBlackCColor, kWhiteCColor, kWhiteCColor);
        menu->setScheme(scheme);
        scheme->forget();
        menu->setCurrent(choiceIndex(effect->getParameter(kChoice)));
        menu->setFont(kNormalFontSmall);
        frame->addView(menu);
        display = new CParamDisplay(CRect(20, 90, 90, 106), displayBack);
        display->setFont(kNormalFontSmall);
        display->setStringConvert([](float v, char* text) { std::snprintf(text, 16, "%d %%", static_cast<int>(v * 100)); });
        display->setTag(kDisplayTag);
        display->setValue(effect->getParameter(kKnob));
        frame->addView(display);
        tempo = new CTextEdit(CRect(140, 90, 210, 106), this, kTempo, nullptr, displayBack);
        tempo->setFont(kNormalFontSmall);
        tempo->setText(tempoText(effect->getParameter(kTempo)).c_str());
        frame->addView(tempo);
        filter = new CFilterDisplay(CRect(20, 130, 220, 190), this, kFilterTag, filterBack);
        filter->addFilterBitmap(0, curves[0]);
        filter->addFilterBitmap(2, curves[2]);
        filter->addFilterBitmap(1, curves[1]);
        for (int i = 0; i < 6; ++i) filter->setValue(i % 2 ? 0.8f : 0.5f, i);
        frame->addView(filter);

        for (CBitmap* b : {knobs, button, menuBack, displayBack, curves[0], curves[1], curves[2], filterBack})
            b->forget();
        return true;
    }

    void close() override {
        knob = nullptr;
        onOff = nullptr;
        menu = nullptr;
        display = nullptr;
        tempo = nullptr;
        filter = nullptr;
        AEffGUIEditor::close();
    }

    void valueChanged(gui::CDrawContext*, gui::CControl* control) override {
        switch (control->getTag()) {
            case kKnob:
                setParameterAutomated(kKnob, control->getValue());
                break;
            case kSwitch:
                setParameterAutomated(kSwitch, control->getValue());
                break;
            case kChoice:
                setParameterAutomated(kChoice, static_cast<float>(menu->getCurrent()) / (kNumChoices - 1));
                break;
            case kTempo: {
                // Typed beats per minute, 50 to 250, as a normalised value.
                const float bpm = static_cast<float>(std::atof(tempo->getText().c_str()));
                if (bpm >= 50.0f && bpm <= 250.0f) setParameterAutomated(kTempo, (bpm - 50.0f) / 200.0f);
                break;
            }
            default:
                break;
        }
    }

    // The effect's value, back into the controls (any parameter change).
    void setParameter(VstInt32 index, float value) override {
        if (!frame) return;
        switch (index) {
            case kKnob:
                knob->setValue(value);
                display->setValue(value);
                break;
            case kSwitch: onOff->setValue(value); break;
            case kChoice: menu->setCurrent(choiceIndex(value)); break;
            case kTempo: tempo->setText(tempoText(value).c_str()); break;
            default: break;
        }
        postUpdate();
    }

private:
    static int choiceIndex(float value) { return static_cast<int>(value * (kNumChoices - 1) + 0.5f); }
    static std::string tempoText(float value) {
        char text[16];
        std::snprintf(text, sizeof text, "%.2f", 50.0f + 200.0f * value);
        return text;
    }

    gui::CBitmap* background;
    gui::CAnimKnob* knob = nullptr;
    gui::COnOffButton* onOff = nullptr;
    gui::COptionMenu* menu = nullptr;
    gui::CParamDisplay* display = nullptr;
    gui::CTextEdit* tempo = nullptr;
    gui::CFilterDisplay* filter = nullptr;
};

}  // namespace orvex::guieffect

namespace orvex {
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    auto* effect = new guieffect::Effect(audioMaster);
    new guieffect::Editor(effect);  // attaches itself; the effect owns it
    return effect;
}
}  // namespace orvex
