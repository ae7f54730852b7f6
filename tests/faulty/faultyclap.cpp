// A CLAP plug-in on our header alone, for the CLAP host's tests: a stereo gain with a
// continuous "Gain" and a stepped "Invert", two presets inside it, its state, and a
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
// Threads: as the interface says; the audio thread's functions neither allocate nor lock.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/clap.h"

namespace {

bool fault(const char* word) {
    const char* all = std::getenv("ORVEX_FAULT");
    if (!all) return false;
    const std::string list = std::string(",") + all + ",";
    return list.find(std::string(",") + word + ",") != std::string::npos;
}

enum : clap_id { kGain = 0, kInvert = 1, kParams = 2 };

struct Gain {
    clap_plugin_t plugin{};
    const clap_host_t* host = nullptr;
    double values[kParams] = {1.0, 0.0};
};

Gain& self(const clap_plugin_t* plugin) { return *static_cast<Gain*>(plugin->plugin_data); }

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_STEREO, nullptr};
const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION, "com.harmoxel.orvex.testgain", "Orvex Test Gain", "Harmoxel", "", "", "", "1.0.0",
    "a gain for the host's tests", kFeatures};

// Applies one event of the host's; a controller 7 also tells the host the gain it made.
void apply(Gain& g, const clap_event_header_t* e, const clap_output_events_t* out) {
    if (e->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    if (e->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
        if (v->param_id < kParams) g.values[v->param_id] = v->value;
    } else if (e->type == CLAP_EVENT_MIDI) {
        const auto* m = reinterpret_cast<const clap_event_midi_t*>(e);
        if ((m->data[0] & 0xF0) == 0xB0 && m->data[1] == 7) {
            g.values[kGain] = m->data[2] / 127.0;
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
        std::snprintf(out, size, "%s", value >= 0.5 ? "on" : "off");
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
            return true;
        }
    return false;
}
const clap_plugin_preset_load_t kPresetLoadExt = {presetFromLocation};

// the plug-in
bool init(const clap_plugin_t* plugin) { return !fault("init") && self(plugin).host; }
void destroy(const clap_plugin_t* plugin) { delete &self(plugin); }
bool activate(const clap_plugin_t*, double rate, uint32_t, uint32_t maxFrames) { return rate > 0 && maxFrames > 0; }
void deactivate(const clap_plugin_t*) {}
bool startProcessing(const clap_plugin_t*) { return true; }
void stopProcessing(const clap_plugin_t*) {}
void reset(const clap_plugin_t*) {}

clap_process_status process(const clap_plugin_t* plugin, const clap_process_t* p) {
    Gain& g = self(plugin);
    if (p->audio_inputs_count < 1 || p->audio_outputs_count < 1) return CLAP_PROCESS_ERROR;
    const clap_audio_buffer_t& in = p->audio_inputs[0];
    const clap_audio_buffer_t& out = p->audio_outputs[0];
    const uint32_t events = p->in_events->size(p->in_events);
    uint32_t next = 0;
    for (uint32_t i = 0; i < p->frames_count; ++i) {
        while (next < events) {
            const clap_event_header_t* e = p->in_events->get(p->in_events, next);
            if (e->time > i) break;
            apply(g, e, p->out_events);
            ++next;
        }
        const float gain = static_cast<float>(g.values[kGain] * (g.values[kInvert] >= 0.5 ? -1.0 : 1.0));
        for (uint32_t c = 0; c < 2; ++c) out.data32[c][i] = in.data32[c][i] * gain;
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

// the plug-in factory
uint32_t pluginCount(const clap_plugin_factory_t*) { return 1; }
const clap_plugin_descriptor_t* pluginDescriptor(const clap_plugin_factory_t*, uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
const clap_plugin_t* createPlugin(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) {
    if (fault("create") || !id || std::strcmp(id, kDescriptor.id) != 0) return nullptr;
    Gain* g = new Gain;
    g->host = host;
    g->plugin = {&kDescriptor, g, init, destroy, activate, deactivate, startProcessing, stopProcessing,
                 reset, fault("null-process") ? nullptr : process, extension, onMainThread};
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
