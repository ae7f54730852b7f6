// The exported entry point, under both names Linux hosts look up. Compiled into
// every plug-in; nothing else is exported.
#include "entry.h"

namespace orvex {

namespace {

AEffect* createInstance(audioMasterCallback audioMaster) {
    if (!audioMaster) return nullptr;
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0) == 0) return nullptr;
        AudioEffect* effect = createEffectInstance(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;  // out of memory while building: no instance
    }
}

}  // namespace

}  // namespace orvex

extern "C" {
__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return orvex::createInstance(audioMaster);
}
__attribute__((visibility("default"))) AEffect* main_macho(audioMasterCallback audioMaster) {
    return orvex::createInstance(audioMaster);
}
}
