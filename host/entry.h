// What each plug-in supplies to the shared entry point, and the bundle folder the
// library was loaded from.
#pragma once

#include "audioeffect.h"

namespace orvex {

// Defined once per plug-in: creates its effect with editor. May throw; the entry
// point turns a failure into a null record.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

// What the host instantiates: the plug-in's effect with its editor, which attaches
// itself to the effect on construction and which the effect owns from then on.
template <class Effect, class Editor>
class WithEditor : public Effect {
public:
    explicit WithEditor(audioMasterCallback audioMaster) : Effect(audioMaster) { new Editor(this); }
};

// Finds the bundle folder (`<name>.vst`) of the loaded library and stores it in
// gBundleRef, or clears it when the library does not sit in a bundle.
void updateBundleRef();
void releaseBundleRef();
// The bundle folder, or null.
const char* bundleRef();

}  // namespace orvex
