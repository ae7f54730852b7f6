// The LV2 face, compiled once per plug-in (ORVEX_LV2_NAME: "panner" ..., ORVEX_LV2_CLASS:
// the LV2 plug-in class): one descriptor, urn:harmoxel:orvex:<name>, over the plug-in's
// effect without its editor. Ports: audio in left/right, audio out left/right, then one
// control input per parameter in table order, counted in the unit of the row's reading.
// The bundle's Turtle is written from the same table (host/lv2describe.cpp, tools/lv2ttl).
#include "lv2face.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/atom/atom.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "effectshell.h"
#include "reading.h"

#ifndef ORVEX_LV2_NAME
#error "ORVEX_LV2_NAME names the plug-in (cmake/OrvexPlugin.cmake)"
#endif
#ifndef ORVEX_LV2_CLASS
#error "ORVEX_LV2_CLASS gives its LV2 class (cmake/OrvexPlugin.cmake)"
#endif

namespace orvex {

// The host callback the effect sees: a 2.4 host that offers nothing else (no time yet).
// Any thread.
VstIntPtr lv2FaceCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

namespace {

// The block size the buffers are made for when the host states no maximum; longer runs
// are served in pieces by the shell.
constexpr int32_t kDefaultMaxBlock = 4096;
// The longest piece handed to the shell at once (its counts are 32-bit signed).
constexpr uint32_t kLongestCall = 1u << 30;


struct Instance {
    std::unique_ptr<EffectShell> effect;
    float* audio[4] = {};
    std::vector<const float*> controls;  // null while unconnected
    // The last value read from each control port (compared bit for bit, so a NaN is
    // one value too); it starts as the unit value of what the effect holds, so a port
    // at the default is not converted back and forth.
    std::vector<uint32_t> seen;
    // The host's values (0..1) the control ports last said, and which of them moved in
    // this run; handed to the effect, which applies them by its own rules.
    std::vector<float> values;
    std::unique_ptr<bool[]> changed;
};

// The maximum block length the host states through the options feature, or 0.
int32_t maxBlockOf(const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        if (!(*f)->URI) continue;
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>((*f)->data);
        if (std::strcmp((*f)->URI, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>((*f)->data);
    }
    if (!map || !map->map || !options) return 0;
    const LV2_URID maxBlock = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
    for (const LV2_Options_Option* o = options; o->key != 0 || o->value; ++o)
        if (o->key == maxBlock && o->type == atomInt && o->size == sizeof(int32_t) && o->value)
            return std::max(*static_cast<const int32_t*>(o->value), int32_t{0});
    return 0;
}

// Host's loading thread.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    if (!std::isfinite(rate) || rate <= 0 || rate > 1e7) return nullptr;
    try {
        auto instance = std::make_unique<Instance>();
        instance->effect.reset(createEffectWithoutEditor(lv2FaceCallback));
        if (!instance->effect) return nullptr;
        EffectShell& effect = *instance->effect;
        const int32_t maxBlock = maxBlockOf(features);
        effect.setSampleRate(static_cast<float>(rate));
        effect.setBlockSize(maxBlock > 0 ? maxBlock : kDefaultMaxBlock);
        const int params = effect.numParams();
        instance->controls.assign(static_cast<std::size_t>(params), nullptr);
        instance->seen.resize(static_cast<std::size_t>(params));
        instance->values.resize(static_cast<std::size_t>(params));
        instance->changed = std::make_unique<bool[]>(static_cast<std::size_t>(params));
        for (int p = 0; p < params; ++p) {
            instance->values[p] = effect.getParameter(p);
            instance->seen[p] = std::bit_cast<uint32_t>(unitOfValue(readingOf(effect.parameterInfo(p)), instance->values[p]));
        }
        return instance.release();
    } catch (...) {
        return nullptr;
    }
}

// Any thread but never during run.
void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto* instance = static_cast<Instance*>(handle);
    if (port < kLv2FirstControl) {
        instance->audio[port] = static_cast<float*>(data);
        return;
    }
    if (port - kLv2FirstControl < instance->controls.size())
        instance->controls[port - kLv2FirstControl] = static_cast<const float*>(data);
}

// Host's loading thread, never during run.
void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->effect->resume(); }
void deactivate(LV2_Handle handle) { static_cast<Instance*>(handle)->effect->suspend(); }
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

// Audio thread: the control ports that changed since the last run, read into the
// host's values, which the effect follows by its own rules (EffectShell::followHostValues).
void readControls(Instance& instance) {
    EffectShell& effect = *instance.effect;
    const std::size_t count = instance.controls.size();
    bool any = false;
    for (std::size_t p = 0; p < count; ++p) {
        instance.changed[p] = false;
        const float* port = instance.controls[p];
        if (!port) continue;
        const float unitValue = *port;
        const uint32_t bits = std::bit_cast<uint32_t>(unitValue);
        if (bits == instance.seen[p]) continue;
        instance.seen[p] = bits;
        instance.values[p] = valueOfUnit(readingOf(effect.parameterInfo(static_cast<int>(p))), unitValue);
        instance.changed[p] = any = true;
    }
    if (any) effect.followHostValues(instance.values, std::span<const bool>(instance.changed.get(), count));
}

// Audio thread: no allocation, no lock.
void run(LV2_Handle handle, uint32_t frames) {
    Instance& instance = *static_cast<Instance*>(handle);
    EffectShell& effect = *instance.effect;
    readControls(instance);
    if (frames == 0) return;
    float* inputs[2] = {instance.audio[0], instance.audio[1]};
    float* outputs[2] = {instance.audio[2], instance.audio[3]};
    if (!inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) {
        // Nothing to read or nowhere to write: silence on whichever output there is.
        for (float* out : outputs)
            if (out) std::fill(out, out + frames, 0.0f);
        return;
    }
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min(frames - done, kLongestCall);
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        effect.processReplacing(in, out, static_cast<VstInt32>(count));
        done += count;
    }
}

const void* extensionData(const char* uri) {
    return uri && std::strcmp(uri, kLv2DescribeUri) == 0 ? &kLv2Describe : nullptr;
}

const LV2_Descriptor kDescriptor{ORVEX_LV2_URI, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData};

}  // namespace

}  // namespace orvex

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &orvex::kDescriptor : nullptr;
}
