// A bare effect for the toolkit's tests: it records what the editor sends the host
// (begin and end of edit, automation, resizes) and holds the parameter values.
#pragma once

#include <string>
#include <vector>

#include "gui/editor.h"

namespace toolkit {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    float value;
};

inline std::vector<HostCall>* gCalls = nullptr;

inline VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    if (gCalls && (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit))
        gCalls->push_back({opcode, index, opt});
    // A resize: the width as the index, the height as the value.
    if (gCalls && opcode == audioMasterSizeWindow) {
        gCalls->push_back({opcode, index, static_cast<float>(value)});
        return 1;
    }
    return 0;
}

class Effect : public orvex::AudioEffectX {
public:
    Effect() : AudioEffectX(recordingHost, 1, 4) { gCalls = &calls; }
    ~Effect() override { gCalls = nullptr; }
    void setParameter(VstInt32 index, float value) override {
        if (index >= 0 && index < 4) values[index] = value;
    }
    float getParameter(VstInt32 index) override { return index >= 0 && index < 4 ? values[index] : 0.0f; }
    std::vector<HostCall> calls;
    float values[4] = {};
};

// A listener that sends every change on as an automated parameter change.
class Editor : public orvex::gui::AEffGUIEditor, public orvex::gui::CControlListener {
public:
    explicit Editor(Effect* effect) : AEffGUIEditor(effect) { rect = {0, 0, 200, 300}; }
    bool open(void* window) override {
        AEffGUIEditor::open(window);
        frame = new orvex::gui::CFrame(orvex::gui::CRect(0, 0, 300, 200), window, this);
        return true;
    }
    void valueChanged(orvex::gui::CDrawContext*, orvex::gui::CControl* control) override {
        ++changes;
        setParameterAutomated(static_cast<VstInt32>(control->getTag()), control->getValue());
    }
    int changes = 0;
};

}  // namespace toolkit
