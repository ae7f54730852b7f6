// The bundle folder the plug-in library was loaded from, where its editor finds the
// pictures a user may replace.
#include <dlfcn.h>

#include <string>

#include "entry.h"

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

}  // namespace orvex
