// Writes an LV2 bundle's Turtle at build time from the freshly linked binary itself:
//   orvex-lv2ttl BINARY BUNDLE_DIR
// loads BINARY, takes its one descriptor and asks it for our describing interface
// (host/lv2face.h), then writes BUNDLE_DIR/manifest.ttl, BUNDLE_DIR/<name>.ttl and
// BUNDLE_DIR/presets.ttl.
// Each file is written beside its final name and renamed over it when complete.
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "host/lv2face.h"

namespace {

bool writeFile(const std::filesystem::path& path, const std::function<bool(std::FILE*)>& write) {
    const std::filesystem::path partial = path.string() + ".partial";
    std::FILE* out = std::fopen(partial.c_str(), "w");
    if (!out) return false;
    const bool written = write(out);
    if (std::fclose(out) != 0 || !written) {
        std::remove(partial.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    return !error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BINARY BUNDLE_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path binary = std::filesystem::absolute(argv[1]);
    const std::filesystem::path bundle = argv[2];
    void* library = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s: %s\n", argv[0], dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
    const LV2_Descriptor* descriptor = entry ? entry(0) : nullptr;
    const auto* describe = descriptor && descriptor->extension_data
                               ? static_cast<const orvex::Lv2Describe*>(descriptor->extension_data(orvex::kLv2DescribeUri))
                               : nullptr;
    if (!describe) {
        std::fprintf(stderr, "%s: %s has no describable LV2 plug-in\n", argv[0], binary.c_str());
        return 1;
    }
    const std::string binaryFile = binary.filename().string();
    std::error_code error;
    std::filesystem::create_directories(bundle, error);
    const bool ok =
        writeFile(bundle / "manifest.ttl", [&](std::FILE* out) { return describe->writeManifest(out, binaryFile.c_str()); }) &&
        writeFile(bundle / describe->turtleFile, [&](std::FILE* out) { return describe->writePlugin(out); }) &&
        writeFile(bundle / describe->presetsFile, [&](std::FILE* out) { return describe->writePresets(out); });
    if (!ok) {
        std::fprintf(stderr, "%s: could not write the Turtle of %s into %s\n", argv[0], describe->name, bundle.c_str());
        return 1;
    }
    // The library stays loaded until exit: its effect's statics live on until then.
    return 0;
}
