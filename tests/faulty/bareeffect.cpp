// The least a shared object can be and still be taken for a VST 2.x plug-in: a record
// with a dispatcher that answers nothing, made for any host, even one that answers 0
// to the version query, and with no unique ID. The validator's tests use it for the
// checks no plug-in built on our shell can fail.
#include <cstring>

#include "host/vst2.h"

namespace {

VstIntPtr dispatch(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }
void setParameter(AEffect*, VstInt32, float) {}
float getParameter(AEffect*, VstInt32) { return 0.0f; }

void processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (int c = 0; c < 2; ++c) std::memcpy(outputs[c], inputs[c], sizeof(float) * static_cast<std::size_t>(frames));
}

AEffect record() {
    AEffect e{};
    e.magic = kEffectMagic;
    e.dispatcher = dispatch;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing;
    e.processReplacing = processReplacing;
    return e;
}

AEffect instances[64];
int made = 0;

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
    AEffect* e = &instances[made++ % 64];
    *e = record();
    return e;
}
