#include "parameters.h"

#include <cstring>

#include "host/effectshell.h"

namespace orvex::gui {

namespace {

// The effects of the plug-ins are shells with a table; a bare AudioEffect has neither
// a table nor a tempo to give.
const EffectShell* shellOf(AudioEffect* effect) { return dynamic_cast<const EffectShell*>(effect); }

}  // namespace

float EffectParameters::get(int index) const { return effect ? effect->getParameter(index) : 0.0f; }

void EffectParameters::beginEdit(int index) {
    if (auto* x = dynamic_cast<AudioEffectX*>(effect)) x->beginEdit(index);
}

void EffectParameters::set(int index, float value) {
    if (effect) effect->setParameterAutomated(index, value);
}

void EffectParameters::endEdit(int index) {
    if (auto* x = dynamic_cast<AudioEffectX*>(effect)) x->endEdit(index);
}

float EffectParameters::hostTempo() const {
    const EffectShell* shell = shellOf(effect);
    return shell ? shell->getTheBpm() : -1.0f;
}

float EffectParameters::defaultValue(int index) const {
    const EffectShell* shell = shellOf(effect);
    return shell && index >= 0 && index < shell->numParams() ? shell->parameterInfo(index).defaultValue : 0.5f;
}

void EffectParameters::display(int index, char* text) const {
    text[0] = '\0';
    if (!effect || index < 0 || index >= effect->getNumParams()) return;
    char value[64] = {};  // room for effects that write more than they should
    char label[64] = {};
    effect->getParameterDisplay(index, value);
    effect->getParameterLabel(index, label);
    value[kVstMaxParamStrLen] = label[kVstMaxParamStrLen] = '\0';
    std::strcpy(text, value);
    if (label[0]) {
        std::strcat(text, " ");
        std::strcat(text, label);
    }
}

void EffectParameters::resizeWindow(int width, int height) {
    if (auto* x = dynamic_cast<AudioEffectX*>(effect)) x->sizeWindow(width, height);
}

}  // namespace orvex::gui
