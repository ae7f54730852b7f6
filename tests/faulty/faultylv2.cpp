// An LV2 plug-in on the format's own headers, for the validator's LV2 checks: a stereo
// gain with a "Gain" port (0 to 2), a "Mode" choice (plain, inverted, muted), one atom
// input taking MIDI (controller 7 sets a trim the ports do not show) and the host's
// transport, and the state interface keeping that trim. Its Turtle is written by hand
// (tests/faulty/faultylv2/). A second URI in the same bundle,
// urn:harmoxel:orvex:test:faulty-needy, requires a feature no host of ours offers.
// Faults are switched on by words in ORVEX_FAULT (comma-separated), read when an
// instance is made, each making one check fail (tests/validate):
//   no-instance     instantiate gives nothing
//   high-rates      NaN output above 192 kHz
//   per-call        every run fades in over its first 16 frames
//   unbounded       input beyond +-1000 comes out infinite
//   poison          one NaN in the input and the output is NaN for ever
//   nan-at-max      Gain at its maximum gives NaN
//   glide-by-zero   a Gain change glides over the run's length less 32 frames
//   tempo-gain      the gain follows the transport's tempo (x tempo / 120)
//   crash-on-sysex  a MIDI message with status 0xF0 crashes it
//   alloc, lock     an allocation or a lock in every run
//   state-lossy     restore ignores the saved trim
// Threads: instantiate, the state interface and cleanup on the host's loading thread;
// run on the audio thread, which neither allocates nor locks (but for the faults).
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "tests/faulty/faultwords.h"

namespace {

constexpr const char* kUri = "urn:harmoxel:orvex:test:faulty";
constexpr const char* kNeedyUri = "urn:harmoxel:orvex:test:faulty-needy";
constexpr const char* kTrimKey = "urn:harmoxel:orvex:test:faulty#trim";

enum Port : uint32_t { kInL, kInR, kOutL, kOutR, kGain, kMode, kEvents, kPorts };

struct Faults {
    bool highRates, perCall, unbounded, poison, nanAtMax, glideByZero, tempoGain, crashOnSysex, alloc, lock,
        stateLossy;
};

struct Faulty {
    const float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
    const float* gain = nullptr;
    const float* mode = nullptr;
    const LV2_Atom_Sequence* events = nullptr;
    double rate = 44100.0;
    float trim = 1.0f;
    float lastGain = 1.0f;
    float poisoned = 0.0f;
    double tempo = 120.0;
    Faults faults{};
    LV2_URID midiEvent = 0, position = 0, beatsPerMinute = 0, atomFloat = 0, atomObject = 0, atomBlank = 0, trimKey = 0;
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    using orvex::faultSwitchedOn;
    if (faultSwitchedOn("no-instance")) return nullptr;
    const LV2_URID_Map* map = nullptr;
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>(features[i]->data);
    if (!map) return nullptr;
    auto* f = new Faulty;
    f->rate = rate;
    f->faults = {faultSwitchedOn("high-rates"), faultSwitchedOn("per-call"),    faultSwitchedOn("unbounded"),
                 faultSwitchedOn("poison"),     faultSwitchedOn("nan-at-max"),  faultSwitchedOn("glide-by-zero"),
                 faultSwitchedOn("tempo-gain"), faultSwitchedOn("crash-on-sysex"), faultSwitchedOn("alloc"),
                 faultSwitchedOn("lock"),       faultSwitchedOn("state-lossy")};
    f->midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    f->position = map->map(map->handle, LV2_TIME__Position);
    f->beatsPerMinute = map->map(map->handle, LV2_TIME__beatsPerMinute);
    f->atomFloat = map->map(map->handle, LV2_ATOM__Float);
    f->atomObject = map->map(map->handle, LV2_ATOM__Object);
    f->atomBlank = map->map(map->handle, LV2_ATOM__Blank);
    f->trimKey = map->map(map->handle, kTrimKey);
    return f;
}

void connect(LV2_Handle handle, uint32_t port, void* data) {
    Faulty& f = *static_cast<Faulty*>(handle);
    switch (port) {
        case kInL: f.in[0] = static_cast<const float*>(data); break;
        case kInR: f.in[1] = static_cast<const float*>(data); break;
        case kOutL: f.out[0] = static_cast<float*>(data); break;
        case kOutR: f.out[1] = static_cast<float*>(data); break;
        case kGain: f.gain = static_cast<const float*>(data); break;
        case kMode: f.mode = static_cast<const float*>(data); break;
        case kEvents: f.events = static_cast<const LV2_Atom_Sequence*>(data); break;
        default: break;
    }
}

void activate(LV2_Handle handle) {
    Faulty& f = *static_cast<Faulty*>(handle);
    f.lastGain = f.gain ? *f.gain : 1.0f;
    f.poisoned = 0.0f;
}

void readEvents(Faulty& f) {
    if (!f.events) return;
    LV2_ATOM_SEQUENCE_FOREACH(f.events, event) {
        if (event->body.type == f.midiEvent && event->body.size >= 1) {
            const auto* message = reinterpret_cast<const uint8_t*>(event + 1);
            if (f.faults.crashOnSysex && message[0] == 0xF0) std::raise(SIGSEGV);
            if ((message[0] & 0xF0) == 0xB0 && event->body.size >= 3 && message[1] == 7)
                f.trim = static_cast<float>(message[2] & 0x7F) / 127.0f * 2.0f;
        } else if (event->body.type == f.atomObject || event->body.type == f.atomBlank) {
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
            if (object->body.otype != f.position) continue;
            const LV2_Atom* bpm = nullptr;
            lv2_atom_object_get(object, f.beatsPerMinute, &bpm, 0);
            if (bpm && bpm->type == f.atomFloat) f.tempo = reinterpret_cast<const LV2_Atom_Float*>(bpm)->body;
        }
    }
}

void run(LV2_Handle handle, uint32_t frames) {
    Faulty& f = *static_cast<Faulty*>(handle);
    readEvents(f);
    const Faults& k = f.faults;
    if (k.alloc) {
        void* volatile bytes = std::malloc(64);
        std::free(bytes);
    }
    if (k.lock) {
        static std::mutex mutex;
        const std::lock_guard<std::mutex> hold(mutex);
    }
    const float gain = f.gain ? *f.gain : 1.0f;
    const int mode = f.mode ? static_cast<int>(std::lround(*f.mode)) : 0;
    float g = gain * f.trim * (mode == 1 ? -1.0f : mode == 2 ? 0.0f : 1.0f);
    if (k.nanAtMax && gain >= 2.0f) g = NAN;
    if (k.highRates && f.rate > 192000.0) g = NAN;
    if (k.tempoGain) g *= static_cast<float>(f.tempo / 120.0);
    // The glide the fault takes for a gain change: over the run less 32 frames.
    const float step = k.glideByZero && gain != f.lastGain
                           ? (gain - f.lastGain) / static_cast<float>(static_cast<int>(frames) - 32)
                           : 0.0f;
    for (int c = 0; c < 2; ++c) {
        if (!f.in[c] || !f.out[c]) continue;
        for (uint32_t i = 0; i < frames; ++i) {
            const float x = f.in[c][i];
            float s = x * g;
            if (step != 0.0f) s *= (f.lastGain + step * static_cast<float>(i)) / std::max(gain, 1e-3f);
            if (k.perCall && i < 16) s *= static_cast<float>(i) / 16.0f;
            if (k.unbounded && std::fabs(x) > 1000.0f) s *= 1e38f;
            if (k.poison) {
                f.poisoned = f.poisoned * 0.0f + (std::isnan(x) ? x : 0.0f);
                s += f.poisoned;
            }
            f.out[c][i] = s;
        }
    }
    f.lastGain = gain;
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) { delete static_cast<Faulty*>(handle); }

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
    Faulty& f = *static_cast<Faulty*>(handle);
    return store(state, f.trimKey, &f.trim, sizeof f.trim, f.atomFloat, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
    Faulty& f = *static_cast<Faulty*>(handle);
    std::size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* value = retrieve(state, f.trimKey, &size, &type, &flags);
    if (value && size == sizeof(float) && type == f.atomFloat && !f.faults.stateLossy)
        std::memcpy(&f.trim, value, sizeof f.trim);
    return LV2_STATE_SUCCESS;
}

const void* extensionData(const char* uri) {
    static const LV2_State_Interface state = {save, restore};
    return std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kUri, instantiate, connect, activate, run, deactivate, cleanup, extensionData},
    {kNeedyUri, instantiate, connect, activate, run, deactivate, cleanup, extensionData},
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < 2 ? &kDescriptors[index] : nullptr;
}
