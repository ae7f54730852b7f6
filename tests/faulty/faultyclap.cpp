// A CLAP plug-in on our header alone, for the CLAP host's tests: a stereo gain with a
// continuous "Gain" and a stepped "Invert" (inverting at exactly 1, as a host hands a
// stepped parameter whole numbers), two presets inside it, its state, and a
// MIDI controller 7 that moves the gain (told to the host as an output event). Faults
// are switched on by words in ORVEX_FAULT (comma-separated, read when the library is
// loaded and when an instance is made), so that every refusal of the host can be shown:
//   version       clap_entry says CLAP 0.9
//   entry-init    clap_entry.init fails
//   no-factory    get_factory gives no plug-in factory
//   null-create   the factory's create_plugin is null
//   create        create_plugin gives no plug-in
//   init          the plug-in's init fails
//   null-process  the plug-in's process is null
//   count         the params extension claims a hundred million parameters
// and the validator's, each making one of its CLAP checks fail (tests/validate):
//   mono, any-id, no-category, shared-state, high-rates, first-rate, start-once,
//   per-call, adds-output, in-place-unsafe, writes-input, overrun, unbounded, poison,
//   nan-at-max, glide-by-zero, text-off, quantise, flush-ignored, flush-unheard,
//   bad-out-event, state-one-read, state-lossy, state-half-load, tempo-gain,
//   crash-on-sysex, alloc, lock, dirty-from-audio, flush-request-from-audio,
//   slow-subnormal, slow-rate, fpu-mode, needs-log, takes-nan, preset-unheard,
//   latency-lies, torn-read, and editor (an X11 editor), gui-stays, gui-no-scale,
//   gui-resize-lies, gui-meter-nan, gui-parent-gone, gui-destroy-twice.
// Threads: as the interface says; the audio thread's functions neither allocate nor lock.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <algorithm>
#include <csignal>
#include <mutex>

#include <xcb/xcb.h>
#include <xmmintrin.h>

#include "host/clap.h"
#include "tests/faulty/faultwords.h"

namespace {

using orvex::faultSwitchedOn;

bool fault(const char* word) { return faultSwitchedOn(word); }

enum : clap_id { kGain = 0, kInvert = 1, kParams = 2 };

struct Gain {
    clap_plugin_t plugin{};
    const clap_host_t* host = nullptr;
    const clap_host_thread_check_t* threads = nullptr;
    const clap_host_log_t* log = nullptr;
    double values[kParams] = {1.0, 0.0};
    // What the validator's faults keep.
    uint64_t faults = 0;
    int made = 0, starts = 0;
    double rate = 0, firstRate = 0;
    uint32_t maxFrames = 0;
    float poison = 0;
    float meter = 0;  // gui-meter-nan: written by the editor, read by process, unguarded
    double shown[kParams] = {0, 0};
    bool showing[kParams] = {false, false};
    static constexpr uint32_t kOldFrames = 8192;
    float old[2][kOldFrames] = {};
    struct Editor* editor = nullptr;
    uint32_t width = 2;  // the channels of its ports (mono: one)
};

Gain& self(const clap_plugin_t* plugin) { return *static_cast<Gain*>(plugin->plugin_data); }

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_STEREO, nullptr};
const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION, "com.harmoxel.orvex.testgain", "Orvex Test Gain", "Harmoxel", "", "", "", "1.0.0",
    "a gain for the host's tests", kFeatures};

// The validator's faults (installFaults, below the plain plug-in): bits of Gain::faults.
enum FaultBit : int {
    kSharedState, kHighRates, kFirstRate, kStartOnce, kPerCall, kAddsOutput, kInPlaceUnsafe, kWritesInput,
    kOverrun, kUnbounded, kPoison, kNanAtMax, kGlideByZero, kTextOff, kQuantise, kFlushIgnored, kFlushUnheard,
    kBadOutEvent, kStateOneRead, kStateLossy, kStateHalfLoad, kTempoGain, kCrashOnSysex, kAlloc, kLock,
    kDirtyFromAudio, kFlushRequestFromAudio, kEditor, kGuiStays, kGuiNoScale, kGuiResizeLies, kSlowSubnormal,
    kSlowRate, kFpuMode, kGuiMeterNan,
    kTakesNan, kPresetUnheard, kLatencyLies, kTornRead, kGuiParentGone, kGuiDestroyTwice,
    kFaultCount
};
const char* const kFaultWords[kFaultCount] = {
    "shared-state", "high-rates", "first-rate", "start-once", "per-call", "adds-output", "in-place-unsafe",
    "writes-input", "overrun", "unbounded", "poison", "nan-at-max", "glide-by-zero", "text-off", "quantise",
    "flush-ignored", "flush-unheard", "bad-out-event", "state-one-read", "state-lossy", "state-half-load",
    "tempo-gain", "crash-on-sysex", "alloc", "lock", "dirty-from-audio", "flush-request-from-audio", "editor",
    "gui-stays", "gui-no-scale", "gui-resize-lies", "slow-subnormal", "slow-rate", "fpu-mode", "gui-meter-nan",
    "takes-nan", "preset-unheard", "latency-lies", "torn-read", "gui-parent-gone", "gui-destroy-twice"};
// shared-state: the gain last sent to any instance, and how many instances the
// library has made, both kept for the whole process.
double sharedGain = -1;
int instancesMade = 0;
void installFaults(Gain& g);

// Applies one event of the host's; a controller 7 also tells the host the gain it made.
void apply(Gain& g, const clap_event_header_t* e, const clap_output_events_t* out) {
    if (e->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    if (e->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
        // A value outside 0..1 (NaN among them) is no value of ours: ignored.
        if (!(v->value >= 0.0 && v->value <= 1.0) && !((g.faults >> kTakesNan) & 1u)) return;
        // torn-read: the value passes through NaN while it changes, for the main thread to see.
        if (v->param_id < kParams && ((g.faults >> kTornRead) & 1u)) {
            *static_cast<volatile double*>(&g.values[v->param_id]) = NAN;
            volatile int spun = 0;
            for (int k = 0; k < 2000; ++k) spun = spun + 1;
        }
        if (v->param_id < kParams) g.values[v->param_id] = v->value;
        if (v->param_id == kGain && (g.faults & (uint64_t{1} << kSharedState))) sharedGain = v->value;
    } else if (e->type == CLAP_EVENT_MIDI) {
        const auto* m = reinterpret_cast<const clap_event_midi_t*>(e);
        if ((m->data[0] & 0xF0) == 0xB0 && m->data[1] == 7) {
            g.values[kGain] = m->data[2] / 127.0;
            g.values[kGain] = std::min(g.values[kGain], 1.0);  // data bytes past 127 are junk
            clap_event_param_value_t told{};
            told.header = {sizeof told, e->time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
            told.param_id = kGain;
            told.note_id = -1, told.port_index = -1, told.channel = -1, told.key = -1;
            told.value = g.values[kGain];
            out->try_push(out, &told.header);
        }
    }
}

void applyAll(Gain& g, const clap_input_events_t* in, const clap_output_events_t* out) {
    const uint32_t n = in->size(in);
    for (uint32_t i = 0; i < n; ++i) apply(g, in->get(in, i), out);
}

// params
uint32_t paramCount(const clap_plugin_t*) { return fault("count") ? 100000000u : kParams; }
bool paramInfo(const clap_plugin_t*, uint32_t index, clap_param_info_t* info) {
    if (index >= kParams) return false;
    *info = clap_param_info_t{};
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (index == kInvert) info->flags |= CLAP_PARAM_IS_STEPPED;
    std::snprintf(info->name, sizeof info->name, "%s", index == kGain ? "Gain" : "Invert");
    info->min_value = 0.0;
    info->max_value = 1.0;
    info->default_value = index == kGain ? 1.0 : 0.0;
    return true;
}
bool paramValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    if (id >= kParams) return false;
    *value = self(plugin).values[id];
    return true;
}
bool valueToText(const clap_plugin_t*, clap_id id, double value, char* out, uint32_t size) {
    if (id >= kParams || size == 0) return false;
    if (id == kGain)
        std::snprintf(out, size, "%.1f dB", value > 0 ? 20.0 * std::log10(value) : -144.0);
    else
        std::snprintf(out, size, "%s", value == 1.0 ? "on" : value == 0.0 ? "off" : "?");
    return true;
}
bool textToValue(const clap_plugin_t*, clap_id id, const char* text, double* value) {
    if (id >= kParams || !text) return false;
    if (id == kInvert) {
        *value = std::strcmp(text, "on") == 0 ? 1.0 : 0.0;
        return true;
    }
    char* end = nullptr;
    const double db = std::strtod(text, &end);
    if (end == text) return false;
    if (!std::isfinite(db)) return false;
    *value = std::pow(10.0, db / 20.0);
    return true;
}
void paramFlush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    applyAll(self(plugin), in, out);
}
const clap_plugin_params_t kParamsExt = {paramCount, paramInfo, paramValue, valueToText, textToValue, paramFlush};

// state: "OXTG", then the two values as doubles
bool saveState(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    unsigned char bytes[4 + sizeof(double) * kParams];
    std::memcpy(bytes, "OXTG", 4);
    std::memcpy(bytes + 4, self(plugin).values, sizeof(double) * kParams);
    for (std::size_t done = 0; done < sizeof bytes;) {
        const int64_t n = stream->write(stream, bytes + done, sizeof bytes - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
bool loadState(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    unsigned char bytes[4 + sizeof(double) * kParams];
    for (std::size_t done = 0; done < sizeof bytes;) {
        const int64_t n = stream->read(stream, bytes + done, sizeof bytes - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    if (std::memcmp(bytes, "OXTG", 4) != 0) return false;
    std::memcpy(self(plugin).values, bytes + 4, sizeof(double) * kParams);
    return true;
}
const clap_plugin_state_t kStateExt = {saveState, loadState};

// audio and note ports: one stereo pair, one note input
uint32_t audioCount(const clap_plugin_t*, bool) { return 1; }
bool audioGet(const clap_plugin_t*, uint32_t index, bool input, clap_audio_port_info_t* info) {
    if (index != 0) return false;
    *info = clap_audio_port_info_t{};
    info->id = 0;
    std::snprintf(info->name, sizeof info->name, "%s", input ? "In" : "Out");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;
    if (fault("mono")) info->channel_count = 1;
    return true;
}
const clap_plugin_audio_ports_t kAudioPortsExt = {audioCount, audioGet};
uint32_t noteCount(const clap_plugin_t*, bool input) { return input ? 1 : 0; }
bool noteGet(const clap_plugin_t*, uint32_t index, bool input, clap_note_port_info_t* info) {
    if (index != 0 || !input) return false;
    *info = clap_note_port_info_t{};
    info->supported_dialects = CLAP_NOTE_DIALECT_MIDI;
    info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
    std::snprintf(info->name, sizeof info->name, "MIDI");
    return true;
}
const clap_plugin_note_ports_t kNotePortsExt = {noteCount, noteGet};

// presets inside the plug-in, loaded by their key
struct FactoryPreset {
    const char* name;
    const char* key;
    double gain;
};
const FactoryPreset kPresets[] = {{"Unity", "unity", 1.0}, {"Quiet", "quiet", 0.25}};

bool presetFromLocation(const clap_plugin_t* plugin, uint32_t kind, const char*, const char* key) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !key) return false;
    for (const FactoryPreset& p : kPresets)
        if (std::strcmp(p.key, key) == 0) {
            Gain& g = self(plugin);
            g.values[kGain] = p.gain, g.values[kInvert] = 0.0;
            // The host reads the new values again, and hears which preset it was.
            const auto* params = static_cast<const clap_host_params_t*>(g.host->get_extension(g.host, CLAP_EXT_PARAMS));
            if (params && params->rescan && !((g.faults >> kPresetUnheard) & 1u))
                params->rescan(g.host, CLAP_PARAM_RESCAN_VALUES);
            const auto* told =
                static_cast<const clap_host_preset_load_t*>(g.host->get_extension(g.host, CLAP_EXT_PRESET_LOAD));
            if (told && told->loaded) told->loaded(g.host, kind, nullptr, key);
            return true;
        }
    return false;
}
const clap_plugin_preset_load_t kPresetLoadExt = {presetFromLocation};

// the plug-in
// Takes the host's thread-check and log, and says so through the log.
bool init(const clap_plugin_t* plugin) {
    Gain& g = self(plugin);
    if (fault("init") || !g.host) return false;
    // needs-log: no log, no instance.
    if (fault("needs-log") && !g.host->get_extension(g.host, CLAP_EXT_LOG)) return false;
    g.threads = static_cast<const clap_host_thread_check_t*>(g.host->get_extension(g.host, CLAP_EXT_THREAD_CHECK));
    g.log = static_cast<const clap_host_log_t*>(g.host->get_extension(g.host, CLAP_EXT_LOG));
    g.width = fault("mono") ? 1 : 2;
    if (g.log && g.log->log) g.log->log(g.host, CLAP_LOG_INFO, "initialised");
    return true;
}
void destroy(const clap_plugin_t* plugin) { delete &self(plugin); }
bool activate(const clap_plugin_t*, double rate, uint32_t, uint32_t maxFrames) { return rate > 0 && maxFrames > 0; }
void deactivate(const clap_plugin_t*) {}
bool startProcessing(const clap_plugin_t*) { return true; }
void stopProcessing(const clap_plugin_t*) {}
void reset(const clap_plugin_t*) {}

clap_process_status process(const clap_plugin_t* plugin, const clap_process_t* p) {
    Gain& g = self(plugin);
    // Asked in every block: the host's answer is what its tests look at.
    if (g.threads && g.threads->is_audio_thread && !g.threads->is_audio_thread(g.host)) return CLAP_PROCESS_ERROR;
    if (p->audio_inputs_count < 1 || p->audio_outputs_count < 1) return CLAP_PROCESS_ERROR;
    const clap_audio_buffer_t& in = p->audio_inputs[0];
    const clap_audio_buffer_t& out = p->audio_outputs[0];
    // Strict about its ports, as some plug-ins are: buffers of another width are refused.
    if (in.channel_count != g.width || out.channel_count != g.width) return CLAP_PROCESS_ERROR;
    const uint32_t events = p->in_events->size(p->in_events);
    uint32_t next = 0;
    for (uint32_t i = 0; i < p->frames_count; ++i) {
        while (next < events) {
            const clap_event_header_t* e = p->in_events->get(p->in_events, next);
            if (e->time > i) break;
            apply(g, e, p->out_events);
            ++next;
        }
        const float gain = static_cast<float>(g.values[kGain] * (g.values[kInvert] == 1.0 ? -1.0 : 1.0));
        for (uint32_t c = 0; c < g.width; ++c) out.data32[c][i] = in.data32[c][i] * gain;
    }
    for (; next < events; ++next) apply(g, p->in_events->get(p->in_events, next), p->out_events);
    return CLAP_PROCESS_CONTINUE;
}

const void* extension(const clap_plugin_t*, const char* id) {
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParamsExt;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kStateExt;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPortsExt;
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &kNotePortsExt;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &kPresetLoadExt;
    return nullptr;
}
void onMainThread(const clap_plugin_t*) {}

// The validator's faults, installed over the functions above when an instance is made
// with any of them: a plain gain's functions are left as they are. Each breaks one
// rule the validator's CLAP checks judge (ORVEX_FAULT words in kFaultWords).
const char* const kNoCategory[] = {CLAP_PLUGIN_FEATURE_STEREO, nullptr};
const clap_plugin_descriptor_t kNoCategoryDescriptor = {
    CLAP_VERSION, "com.harmoxel.orvex.testgain", "Orvex Test Gain", "Harmoxel", "", "", "", "1.0.0",
    "a gain for the host's tests", kNoCategory};

bool has(const Gain& g, FaultBit f) { return (g.faults >> f) & 1u; }

// A slow path worth nothing (a zero), as some filters take by accident.
float wastedWork(int i) {
    float y = static_cast<float>(i + 1);
    for (int k = 0; k < 8; ++k) y = std::sqrt(y + 1.0f);
    return y * 0.0f;
}

template <typename T>
const T* hostExtension(const Gain& g, const char* id) {
    return static_cast<const T*>(g.host->get_extension(g.host, id));
}

bool activateFaulty(const clap_plugin_t* plugin, double rate, uint32_t minFrames, uint32_t maxFrames) {
    Gain& g = self(plugin);
    g.rate = rate;
    g.maxFrames = maxFrames;
    if (g.firstRate == 0) g.firstRate = rate;
    return activate(plugin, rate, minFrames, maxFrames);
}

bool startFaulty(const clap_plugin_t* plugin) {
    Gain& g = self(plugin);
    return !(has(g, kStartOnce) && g.starts++ > 0);
}

// Audio thread: the plain process, with each fault's doing before and after it.
clap_process_status processFaulty(const clap_plugin_t* plugin, const clap_process_t* p) {
    Gain& g = self(plugin);
    if (p->audio_inputs_count < 1 || p->audio_outputs_count < 1) return CLAP_PROCESS_ERROR;
    float* const* in = p->audio_inputs[0].data32;
    float* const* out = p->audio_outputs[0].data32;
    const uint32_t n = p->frames_count;
    bool sameFrame = false, values = false;
    uint32_t lastTime = UINT32_MAX;
    for (uint32_t i = 0, count = p->in_events->size(p->in_events); i < count; ++i) {
        const clap_event_header_t* e = p->in_events->get(p->in_events, i);
        if (e->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
        if (e->type == CLAP_EVENT_MIDI_SYSEX && has(g, kCrashOnSysex)) std::raise(SIGSEGV);
        if (e->type != CLAP_EVENT_PARAM_VALUE) continue;
        sameFrame = sameFrame || e->time == lastTime;
        lastTime = e->time;
        values = true;
    }
    if (values && has(g, kDirtyFromAudio))
        if (const auto* state = hostExtension<clap_host_state_t>(g, CLAP_EXT_STATE)) state->mark_dirty(g.host);
    if (has(g, kFlushRequestFromAudio))
        if (const auto* params = hostExtension<clap_host_params_t>(g, CLAP_EXT_PARAMS)) params->request_flush(g.host);
    if (has(g, kAlloc)) {
        void* volatile bytes = std::malloc(64);
        std::free(bytes);
    }
    if (has(g, kLock)) {
        static std::mutex mutex;
        const std::lock_guard<std::mutex> hold(mutex);
    }
    if (has(g, kSharedState) && sharedGain >= 0) g.values[kGain] = sharedGain;
    const uint32_t kept = std::min<uint32_t>(n, Gain::kOldFrames);
    if (has(g, kAddsOutput))
        for (uint32_t c = 0; c < 2; ++c) std::memcpy(g.old[c], out[c], kept * sizeof(float));
    const clap_process_status status = process(plugin, p);
    const double tempo =
        p->transport && (p->transport->flags & CLAP_TRANSPORT_HAS_TEMPO) ? p->transport->tempo : 120.0;
    for (uint32_t c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < n; ++i) {
            float& s = out[c][i];
            if (has(g, kSharedState)) s *= 1.0f + 1e-3f * static_cast<float>(g.made - 1);
            if (has(g, kHighRates) && g.rate > 192000) s = NAN;
            if (has(g, kFirstRate)) s *= static_cast<float>(g.rate / g.firstRate);
            if (has(g, kPerCall) && i == 0) s *= 0.5f;
            if (has(g, kAddsOutput) && i < kept) s += g.old[c][i];
            if (has(g, kUnbounded) && std::fabs(s) > 1000.0f) s *= 1e38f;
            if (has(g, kPoison)) {
                g.poison = 0.5f * g.poison + s;
                s += 0.0f * g.poison;
            }
            if (has(g, kNanAtMax) && g.values[kGain] >= 1.0 && g.values[kInvert] >= 0.5) s = NAN;
            // A glide over the frames between two changes: none when they share a frame.
            if (has(g, kGlideByZero) && sameFrame) s = s / 0.0f * 0.0f;
            if (has(g, kTempoGain)) s *= static_cast<float>(tempo / 120.0);
            if (has(g, kGuiMeterNan)) s *= 1.0f + *static_cast<volatile float*>(&g.meter);
            // Work that costs: on subnormal input, or at one sample rate.
            if (has(g, kSlowSubnormal) && std::fpclassify(in[c][i]) == FP_SUBNORMAL)
                for (int k = 0; k < 16; ++k) s += wastedWork(static_cast<int>(i) + k);
            if (has(g, kSlowRate) && g.rate == 48000)
                for (int k = 0; k < 32; ++k) s += wastedWork(static_cast<int>(i) + k);
        }
    // Rounding towards zero, left so for the host.
    if (has(g, kFpuMode)) _mm_setcsr(_mm_getcsr() | 0x6000);
    if (has(g, kInPlaceUnsafe)) {
        // The right output reads the left input after the left output was written.
        for (uint32_t i = 0; i < n; ++i) out[0][i] *= 0.5f;
        for (uint32_t i = 0; i < n; ++i) out[1][i] = 0.5f * out[1][i] + 0.5f * in[0][i];
    }
    if (has(g, kWritesInput) && in[0] != out[0])
        for (uint32_t i = 0; i < n; ++i) in[0][i] = 0.0f;
    if (has(g, kOverrun) && n < g.maxFrames) out[1][n] = 0.0f;
    return status;
}

bool valueFaulty(const clap_plugin_t* plugin, clap_id id, double* value) {
    Gain& g = self(plugin);
    if (!paramValue(plugin, id, value)) return false;
    if (has(g, kFlushUnheard) && g.showing[id]) *value = g.shown[id];
    if (has(g, kQuantise)) *value = std::round(*value * 8.0) / 8.0;
    return true;
}
bool textToValueFaulty(const clap_plugin_t* plugin, clap_id id, const char* text, double* value) {
    if (!textToValue(plugin, id, text, value)) return false;
    if (has(self(plugin), kTextOff)) *value *= 0.9;
    return true;
}
void flushFaulty(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    Gain& g = self(plugin);
    if (has(g, kFlushIgnored)) return;
    if (has(g, kFlushUnheard)) {
        // Shown to the host, never to the sound.
        for (uint32_t i = 0, count = in->size(in); i < count; ++i) {
            const clap_event_header_t* e = in->get(in, i);
            if (e->space_id != CLAP_CORE_EVENT_SPACE_ID || e->type != CLAP_EVENT_PARAM_VALUE) continue;
            const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
            if (v->param_id < kParams) g.shown[v->param_id] = v->value, g.showing[v->param_id] = true;
        }
        return;
    }
    paramFlush(plugin, in, out);
    if (has(g, kBadOutEvent)) {
        clap_event_param_value_t told{};
        told.header = {sizeof told, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        told.param_id = 99;
        told.note_id = -1, told.port_index = -1, told.channel = -1, told.key = -1;
        told.value = 0.5;
        out->try_push(out, &told.header);
    }
}
const clap_plugin_params_t kFaultyParams = {paramCount, paramInfo, valueFaulty, valueToText, textToValueFaulty,
                                            flushFaulty};

bool saveFaulty(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    Gain& g = self(plugin);
    if (!has(g, kStateLossy)) return saveState(plugin, stream);
    const double kept[kParams] = {g.values[0], g.values[1]};
    for (double& v : g.values) v = std::round(v * 100.0) / 100.0;
    const bool saved = saveState(plugin, stream);
    std::memcpy(g.values, kept, sizeof kept);
    return saved;
}
bool loadFaulty(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    Gain& g = self(plugin);
    if (has(g, kStateOneRead)) {
        // One read, as if a stream gave everything at once.
        unsigned char bytes[4 + sizeof(double) * kParams];
        if (stream->read(stream, bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return false;
        if (std::memcmp(bytes, "OXTG", 4) != 0) return false;
        std::memcpy(g.values, bytes + 4, sizeof(double) * kParams);
        return true;
    }
    if (has(g, kStateHalfLoad)) {
        // Each value applied as it is read: a short stream leaves some of them changed.
        unsigned char magic[4];
        if (stream->read(stream, magic, 4) != 4) return false;
        for (double& v : g.values) {
            double read = 0;
            if (stream->read(stream, &read, sizeof read) != static_cast<int64_t>(sizeof read)) return false;
            v = read;
        }
        return std::memcmp(magic, "OXTG", 4) == 0;
    }
    return loadState(plugin, stream);
}
const clap_plugin_state_t kFaultyState = {saveFaulty, loadFaulty};

// An editor: a plain X11 window of 200 x 120 at scale 1, of one size.
struct Editor {
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
    xcb_window_t parent = 0;
    double scale = 1.0;
};
bool guiApi(const clap_plugin_t*, const char* api, bool floating) {
    return !floating && api && std::strcmp(api, CLAP_WINDOW_API_X11) == 0;
}
bool guiPreferred(const clap_plugin_t*, const char** api, bool* floating) {
    *api = CLAP_WINDOW_API_X11;
    *floating = false;
    return true;
}
bool guiCreate(const clap_plugin_t* plugin, const char* api, bool floating) {
    Gain& g = self(plugin);
    if (!guiApi(plugin, api, floating) || g.editor) return false;
    g.editor = new Editor;
    g.editor->connection = xcb_connect(nullptr, nullptr);
    return !xcb_connection_has_error(g.editor->connection);
}
void guiDestroy(const clap_plugin_t* plugin) {
    Gain& g = self(plugin);
    if (!g.editor) return;
    // gui-parent-gone: the host's window asked after, as if it were always there.
    if (has(g, kGuiParentGone) && g.editor->parent) {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(g.editor->connection, xcb_query_tree(g.editor->connection, g.editor->parent), nullptr);
        if (tree->children_len == 0) std::fprintf(stderr, "the editor's window is gone\n");
        std::free(tree);
    }
    // gui-stays: the window and its connection outlive the editor.
    if (!has(g, kGuiStays)) {
        if (g.editor->window) xcb_destroy_window(g.editor->connection, g.editor->window);
        xcb_flush(g.editor->connection);
        xcb_disconnect(g.editor->connection);
    }
    delete g.editor;
    // gui-destroy-twice: the editor forgotten only by a first destroy's caller.
    if (has(g, kGuiDestroyTwice)) return;
    g.editor = nullptr;
}
bool guiScale(const clap_plugin_t* plugin, double scale) {
    Gain& g = self(plugin);
    if (!g.editor || !(scale > 0)) return false;
    g.editor->scale = scale;
    return true;
}
bool guiSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    Gain& g = self(plugin);
    if (!g.editor) return false;
    const double scale = has(g, kGuiNoScale) ? 1.0 : g.editor->scale;
    *width = static_cast<uint32_t>(200 * scale);
    *height = static_cast<uint32_t>(120 * scale);
    return true;
}
bool guiCanResize(const clap_plugin_t* plugin) { return has(self(plugin), kGuiResizeLies); }
bool guiHints(const clap_plugin_t*, clap_gui_resize_hints_t* hints) {
    *hints = clap_gui_resize_hints_t{};
    return true;
}
bool guiAdjust(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    return guiSize(plugin, width, height);
}
bool guiSetSize(const clap_plugin_t* plugin, uint32_t width, uint32_t height) {
    uint32_t w = 0, h = 0;
    return guiSize(plugin, &w, &h) && w == width && h == height;
}
bool guiParent(const clap_plugin_t* plugin, const clap_window_t* parent) {
    Gain& g = self(plugin);
    uint32_t w = 0, h = 0;
    if (!g.editor || !parent || !guiSize(plugin, &w, &h)) return false;
    Editor& e = *g.editor;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(e.connection)).data;
    e.window = xcb_generate_id(e.connection);
    e.parent = static_cast<xcb_window_t>(parent->x11);
    const uint32_t background[] = {screen->black_pixel};
    xcb_create_window(e.connection, XCB_COPY_FROM_PARENT, e.window, static_cast<xcb_window_t>(parent->x11), 0, 0,
                      static_cast<uint16_t>(w), static_cast<uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL, background);
    xcb_flush(e.connection);
    return true;
}
bool guiTransient(const clap_plugin_t*, const clap_window_t*) { return false; }
void guiTitle(const clap_plugin_t*, const char*) {}
bool guiShow(const clap_plugin_t* plugin) {
    Gain& g = self(plugin);
    if (!g.editor || !g.editor->window) return false;
    if (has(g, kGuiMeterNan)) *static_cast<volatile float*>(&g.meter) = NAN;
    xcb_map_window(g.editor->connection, g.editor->window);
    xcb_flush(g.editor->connection);
    return true;
}
bool guiHide(const clap_plugin_t* plugin) {
    Gain& g = self(plugin);
    if (!g.editor || !g.editor->window) return false;
    if (has(g, kGuiMeterNan)) *static_cast<volatile float*>(&g.meter) = 0.0f;
    xcb_unmap_window(g.editor->connection, g.editor->window);
    xcb_flush(g.editor->connection);
    return true;
}
const clap_plugin_gui_t kGui = {guiApi,       guiPreferred, guiCreate, guiDestroy, guiScale,     guiSize,
                                guiCanResize, guiHints,     guiAdjust, guiSetSize, guiParent,    guiTransient,
                                guiTitle,     guiShow,      guiHide};

// latency-lies: a delay reported that the gain does not have.
uint32_t latencyLies(const clap_plugin_t*) { return 256; }
const clap_plugin_latency_t kLatencyLiesExt = {latencyLies};

const void* extensionFaulty(const clap_plugin_t* plugin, const char* id) {
    const Gain& g = self(plugin);
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0 && has(g, kLatencyLies)) return &kLatencyLiesExt;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kFaultyParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kFaultyState;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0 &&
        (has(g, kEditor) || has(g, kGuiStays) || has(g, kGuiNoScale) || has(g, kGuiResizeLies) ||
         has(g, kGuiMeterNan) || has(g, kGuiParentGone) || has(g, kGuiDestroyTwice)))
        return &kGui;
    return extension(plugin, id);
}

void installFaults(Gain& g) {
    g.made = ++instancesMade;
    for (int f = 0; f < kFaultCount; ++f)
        if (fault(kFaultWords[f])) g.faults |= uint64_t{1} << f;
    if (g.faults == 0) return;
    g.plugin.activate = activateFaulty;
    g.plugin.start_processing = startFaulty;
    if (g.plugin.process) g.plugin.process = processFaulty;
    g.plugin.get_extension = extensionFaulty;
}

// the plug-in factory
uint32_t pluginCount(const clap_plugin_factory_t*) { return 1; }
const clap_plugin_descriptor_t* pluginDescriptor(const clap_plugin_factory_t*, uint32_t index) {
    if (index == 0 && fault("no-category")) return &kNoCategoryDescriptor;
    return index == 0 ? &kDescriptor : nullptr;
}
const clap_plugin_t* createPlugin(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) {
    // any-id: whatever id is asked for, the one plug-in there is.
    if (id && std::strcmp(id, kDescriptor.id) != 0 && fault("any-id")) return createPlugin(nullptr, host, kDescriptor.id);
    if (fault("create") || !id || std::strcmp(id, kDescriptor.id) != 0) return nullptr;
    Gain* g = new Gain;
    g->host = host;
    g->plugin = {&kDescriptor, g, init, destroy, activate, deactivate, startProcessing, stopProcessing,
                 reset, fault("null-process") ? nullptr : process, extension, onMainThread};
    installFaults(*g);
    return &g->plugin;
}
clap_plugin_factory_t pluginFactory = {pluginCount, pluginDescriptor, createPlugin};

// the preset-discovery factory: one provider, its presets inside the plug-in
bool providerInit(const clap_preset_discovery_provider_t* provider) {
    const auto* indexer = static_cast<const clap_preset_discovery_indexer_t*>(provider->provider_data);
    const clap_preset_discovery_location_t inside = {CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, "Factory",
                                                     CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
    return indexer->declare_location(indexer, &inside);
}
void providerDestroy(const clap_preset_discovery_provider_t* provider) { delete provider; }
bool providerMetadata(const clap_preset_discovery_provider_t*, uint32_t kind, const char*,
                      const clap_preset_discovery_metadata_receiver_t* receiver) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) return false;
    for (const FactoryPreset& p : kPresets)
        if (!receiver->begin_preset(receiver, p.name, p.key)) break;
    return true;
}
const void* providerExtension(const clap_preset_discovery_provider_t*, const char*) { return nullptr; }
const clap_preset_discovery_provider_descriptor_t kProvider = {CLAP_VERSION, "com.harmoxel.orvex.testgain.presets",
                                                               "Test gain presets", "Harmoxel"};
uint32_t providerCount(const clap_preset_discovery_factory_t*) { return 1; }
const clap_preset_discovery_provider_descriptor_t* providerDescriptor(const clap_preset_discovery_factory_t*,
                                                                      uint32_t index) {
    return index == 0 ? &kProvider : nullptr;
}
const clap_preset_discovery_provider_t* providerCreate(const clap_preset_discovery_factory_t*,
                                                       const clap_preset_discovery_indexer_t* indexer, const char* id) {
    if (!id || std::strcmp(id, kProvider.id) != 0) return nullptr;
    // The indexer rides in provider_data: this provider keeps nothing else.
    return new clap_preset_discovery_provider_t{&kProvider, const_cast<clap_preset_discovery_indexer_t*>(indexer),
                                                providerInit, providerDestroy, providerMetadata, providerExtension};
}
const clap_preset_discovery_factory_t kPresetFactory = {providerCount, providerDescriptor, providerCreate};

bool entryInit(const char*) {
    if (fault("null-create")) pluginFactory.create_plugin = nullptr;
    return !fault("entry-init");
}
void entryDeinit() { pluginFactory.create_plugin = createPlugin; }
const void* entryFactory(const char* id) {
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return fault("no-factory") ? nullptr : &pluginFactory;
    if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0) return &kPresetFactory;
    return nullptr;
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) clap_plugin_entry_t clap_entry = {CLAP_VERSION, entryInit, entryDeinit,
                                                                         entryFactory};
}

namespace {
// The version a broken build would announce, set as the library is loaded.
__attribute__((constructor)) void announceVersion() {
    if (fault("version")) clap_entry.clap_version = {0, 9, 0};
}
}  // namespace
