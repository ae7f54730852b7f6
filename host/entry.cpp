// The exported entry point, under both names Linux hosts look up, and the bundle
// reference. Compiled into every plug-in; nothing else is exported.
#include "entry.h"

#include <dlfcn.h>

#include <string>

namespace orvex {

namespace {
// One slot per loaded library (symbols are hidden, so each plug-in has its own).
std::string gBundleRef;  // empty: not inside a bundle
// Editors alive that looked the bundle up: instances of one library share the slot,
// so only the last editor to go releases it (user-interface thread).
int gBundleUsers = 0;
}  // namespace

void updateBundleRef() {
    ++gBundleUsers;
    gBundleRef.clear();
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&updateBundleRef), &info) || !info.dli_fname) return;
    // <bundle>.vst/Contents/x86_64-linux/<name>.so: drop the last three components.
    std::string path = info.dli_fname;
    for (int i = 0; i < 3; ++i) {
        const auto slash = path.find_last_of('/');
        if (slash == std::string::npos || slash == 0) return;
        path.erase(slash);
    }
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".vst") != 0) return;
    gBundleRef = path;
}

void releaseBundleRef() {
    if (gBundleUsers > 0) --gBundleUsers;
    if (gBundleUsers > 0) return;
    gBundleRef.clear();
}

const char* bundleRef() { return gBundleRef.empty() ? nullptr : gBundleRef.c_str(); }

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
