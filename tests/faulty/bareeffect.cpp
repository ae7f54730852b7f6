// The least a shared object can be and still be taken for a VST 2.x plug-in: a record
// with a dispatcher that answers nothing, made for any host, even one that answers 0
// to the version query, and with no unique ID. The validator's tests use it for the
// checks no plug-in built on our shell can fail.
//
// Words in ORVEX_FAULT (read when an instance is made) make the record lie the way a
// broken third-party plug-in's does, a host's first contact with it:
//   null-dispatcher  no dispatcher
//   null-process     effFlagsCanReplacing set, no processReplacing (and no process)
//   many-parameters  2^30 parameters
//   many-channels    2^20 inputs and outputs
//   bad-magic        a magic number that is not 'VstP'
//   writes-nothing   a processReplacing that leaves the outputs as it found them
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/vst2.h"

namespace {

bool fault(const char* word) {
    const char* all = std::getenv("ORVEX_FAULT");
    if (!all) return false;
    return (std::string(",") + all + ",").find(std::string(",") + word + ",") != std::string::npos;
}

VstIntPtr dispatch(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }
void setParameter(AEffect*, VstInt32, float) {}
float getParameter(AEffect*, VstInt32) { return 0.0f; }

void processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (int c = 0; c < 2; ++c) std::memcpy(outputs[c], inputs[c], sizeof(float) * static_cast<std::size_t>(frames));
}

void processNothing(AEffect*, float**, float**, VstInt32) {}

AEffect record() {
    AEffect e{};
    e.magic = fault("bad-magic") ? fourCharCode('V', 's', 't', 'Q') : kEffectMagic;
    e.dispatcher = fault("null-dispatcher") ? nullptr : dispatch;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numParams = fault("many-parameters") ? 1 << 30 : 0;
    e.numInputs = fault("many-channels") ? 1 << 20 : 2;
    e.numOutputs = e.numInputs;
    e.flags = effFlagsCanReplacing;
    e.processReplacing = fault("null-process") ? nullptr : fault("writes-nothing") ? processNothing : processReplacing;
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
