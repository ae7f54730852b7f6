#include "claphost.h"

#include <dlfcn.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace orvex::claphost {

namespace {

// Counts a plug-in may announce before the host stops believing it.
constexpr uint32_t kMostPlugins = 10000;
constexpr uint32_t kMostPorts = 1024;
constexpr uint32_t kMostPresetProviders = 1000;

std::string text(const char* value) { return value ? value : ""; }

// A fixed-size text field of the plug-in's, read up to its terminator or its end.
template <std::size_t N>
std::string field(const char (&value)[N]) {
    return std::string(value, strnlen(value, N));
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The plug-in whose process or flush this thread is inside, if any.
thread_local const Plugin* insideOf = nullptr;

Plugin& of(const clap_host_t* host) { return *static_cast<Plugin*>(host->host_data); }

// The host's functions, in the order of the interface.
const void* hostGetExtension(const clap_host_t* host, const char* id) {
    Plugin& p = of(host);
    p.note("get_extension");
    return id ? p.hostExtension(id) : nullptr;
}
void hostRequestRestart(const clap_host_t* host) {
    of(host).note("request_restart");
    ++of(host).asked.restart;
}
void hostRequestProcess(const clap_host_t* host) {
    of(host).note("request_process");
    ++of(host).asked.process;
}
void hostRequestCallback(const clap_host_t* host) {
    of(host).note("request_callback");
    ++of(host).asked.callback;
}

void logMessage(const clap_host_t* host, clap_log_severity severity, const char* message) {
    of(host).note("log");
    of(host).addLog(severity, message ? message : "(null)");
}
const clap_host_log_t kLog = {logMessage};

bool isMainThread(const clap_host_t* host) {
    const Callback c = of(host).called("is_main_thread");
    of(host).callbacks().add(c);
    return c.thread == Thread::main;
}
bool isAudioThread(const clap_host_t* host) {
    const Callback c = of(host).called("is_audio_thread");
    of(host).callbacks().add(c);
    return c.thread == Thread::audio;
}
const clap_host_thread_check_t kThreadCheck = {isMainThread, isAudioThread};

void paramsRescan(const clap_host_t* host, clap_param_rescan_flags flags) {
    of(host).note("rescan");
    ++of(host).asked.rescan;
    of(host).asked.rescanFlags |= flags;
}
void paramsClear(const clap_host_t* host, clap_id, clap_param_clear_flags) {
    of(host).note("clear");
    ++of(host).asked.clear;
}
void paramsRequestFlush(const clap_host_t* host) {
    of(host).note("request_flush");
    ++of(host).asked.flush;
}
const clap_host_params_t kParams = {paramsRescan, paramsClear, paramsRequestFlush};

void stateMarkDirty(const clap_host_t* host) {
    of(host).note("mark_dirty");
    ++of(host).asked.dirty;
}
const clap_host_state_t kState = {stateMarkDirty};

void latencyChanged(const clap_host_t* host) {
    of(host).note("changed");
    ++of(host).asked.latency;
}
const clap_host_latency_t kLatency = {latencyChanged};

bool audioPortsFlagSupported(const clap_host_t* host, uint32_t) {
    of(host).note("is_rescan_flag_supported");
    return false;
}
void audioPortsRescan(const clap_host_t* host, uint32_t) {
    of(host).note("rescan");
    ++of(host).asked.audioPortsRescan;
}
const clap_host_audio_ports_t kAudioPorts = {audioPortsFlagSupported, audioPortsRescan};

uint32_t notePortsDialects(const clap_host_t* host) {
    of(host).note("supported_dialects");
    return CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
}
void notePortsRescan(const clap_host_t* host, uint32_t) {
    of(host).note("rescan");
    ++of(host).asked.notePortsRescan;
}
const clap_host_note_ports_t kNotePorts = {notePortsDialects, notePortsRescan};

void guiHintsChanged(const clap_host_t* host) {
    of(host).note("resize_hints_changed");
    ++of(host).gui.hintsChanged;
}
bool guiRequestResize(const clap_host_t* host, uint32_t width, uint32_t height) {
    of(host).note("request_resize");
    auto& gui = of(host).gui;
    ++gui.resizeCount;
    gui.width = width, gui.height = height;
    return true;
}
bool guiRequestShow(const clap_host_t* host) {
    of(host).note("request_show");
    ++of(host).gui.showCount;
    return true;
}
bool guiRequestHide(const clap_host_t* host) {
    of(host).note("request_hide");
    ++of(host).gui.hideCount;
    return true;
}
void guiClosed(const clap_host_t* host, bool) {
    of(host).note("closed");
    ++of(host).gui.closedCount;
}
const clap_host_gui_t kGui = {guiHintsChanged, guiRequestResize, guiRequestShow, guiRequestHide, guiClosed};

bool registerTimer(const clap_host_t* host, uint32_t periodMs, clap_id* id) {
    Plugin& p = of(host);
    p.note("register_timer");
    if (!id) return false;
    const uint32_t period = std::max<uint32_t>(periodMs, 1);
    *id = p.nextTimer++;
    p.timers.push_back({*id, period, nowMs() + period});
    return true;
}
bool unregisterTimer(const clap_host_t* host, clap_id id) {
    Plugin& p = of(host);
    p.note("unregister_timer");
    const auto it = std::find_if(p.timers.begin(), p.timers.end(), [id](const Plugin::Timer& t) { return t.id == id; });
    if (it == p.timers.end()) return false;
    p.timers.erase(it);
    return true;
}
const clap_host_timer_support_t kTimers = {registerTimer, unregisterTimer};

bool registerFd(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
    Plugin& p = of(host);
    p.note("register_fd");
    for (const Plugin::Fd& f : p.fds)
        if (f.fd == fd) return false;
    p.fds.push_back({fd, flags});
    return true;
}
bool modifyFd(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
    Plugin& p = of(host);
    p.note("modify_fd");
    for (Plugin::Fd& f : p.fds)
        if (f.fd == fd) return f.flags = flags, true;
    return false;
}
bool unregisterFd(const clap_host_t* host, int fd) {
    Plugin& p = of(host);
    p.note("unregister_fd");
    const auto it = std::find_if(p.fds.begin(), p.fds.end(), [fd](const Plugin::Fd& f) { return f.fd == fd; });
    if (it == p.fds.end()) return false;
    p.fds.erase(it);
    return true;
}
const clap_host_posix_fd_support_t kFds = {registerFd, modifyFd, unregisterFd};

void presetError(const clap_host_t* host, uint32_t, const char*, const char*, int32_t, const char* message) {
    of(host).note("on_error");
    of(host).addLog(CLAP_LOG_ERROR, message ? message : "preset not loaded");
}
void presetLoaded(const clap_host_t* host, uint32_t, const char*, const char* key) {
    of(host).note("loaded");
    std::snprintf(of(host).loadedKey, sizeof of(host).loadedKey, "%s", key ? key : "");
}
const clap_host_preset_load_t kPresetLoad = {presetError, presetLoaded};

// Streams over the plug-in's state bytes, as slow or failing as the options say.
int64_t streamRead(const clap_istream_t* stream, void* buffer, uint64_t size) {
    Plugin& p = *static_cast<Plugin*>(stream->ctx);
    ++p.streamCalls;
    if (p.streamOptions.failAt > 0 && p.streamCalls >= p.streamOptions.failAt) return -1;
    if (!buffer || !p.reading) return -1;
    uint64_t n = std::min<uint64_t>(size, p.reading->size() - p.readAt);
    if (p.streamOptions.chunk > 0) n = std::min<uint64_t>(n, p.streamOptions.chunk);
    if (n > 0) std::memcpy(buffer, p.reading->data() + p.readAt, n);  // an empty state has no data() to copy from
    p.readAt += n;
    return static_cast<int64_t>(n);
}
int64_t streamWrite(const clap_ostream_t* stream, const void* buffer, uint64_t size) {
    Plugin& p = *static_cast<Plugin*>(stream->ctx);
    ++p.streamCalls;
    if (p.streamOptions.failAt > 0 && p.streamCalls >= p.streamOptions.failAt) return -1;
    if (!buffer || !p.writing) return -1;
    uint64_t n = size;
    if (p.streamOptions.chunk > 0) n = std::min<uint64_t>(n, p.streamOptions.chunk);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    p.writing->insert(p.writing->end(), bytes, bytes + n);
    return static_cast<int64_t>(n);
}

// The event lists handed to process and flush.
uint32_t inputSize(const clap_input_events_t* list) {
    return static_cast<uint32_t>(static_cast<const EventList*>(list->ctx)->size());
}
const clap_event_header_t* inputGet(const clap_input_events_t* list, uint32_t index) {
    const auto& events = *static_cast<const EventList*>(list->ctx);
    return index < events.size() ? &events[index].header : nullptr;
}
bool outputPush(const clap_output_events_t* list, const clap_event_header_t* event) {
    return static_cast<EventList*>(list->ctx)->add(event);
}

// Preset discovery: the indexer's callbacks collect locations, the receiver's presets.
struct Indexing {
    struct Location {
        uint32_t kind;
        std::string location;
        bool hasLocation;
    };
    std::vector<Location> locations;
    std::vector<Preset>* presets = nullptr;
    Location current{};
    std::string error;
};

bool declareFiletype(const clap_preset_discovery_indexer_t*, const clap_preset_discovery_filetype_t* type) {
    return type != nullptr;
}
bool declareLocation(const clap_preset_discovery_indexer_t* indexer, const clap_preset_discovery_location_t* location) {
    if (!location) return false;
    auto& indexing = *static_cast<Indexing*>(indexer->indexer_data);
    indexing.locations.push_back({location->kind, text(location->location), location->location != nullptr});
    return true;
}
bool declareSoundpack(const clap_preset_discovery_indexer_t*, const clap_preset_discovery_soundpack_t* pack) {
    return pack != nullptr;
}
const void* indexerExtension(const clap_preset_discovery_indexer_t*, const char*) { return nullptr; }

Indexing& indexingOf(const clap_preset_discovery_metadata_receiver_t* receiver) {
    return *static_cast<Indexing*>(receiver->receiver_data);
}
void receiverError(const clap_preset_discovery_metadata_receiver_t* receiver, int32_t, const char* message) {
    indexingOf(receiver).error = text(message);
}
bool beginPreset(const clap_preset_discovery_metadata_receiver_t* receiver, const char* name, const char* key) {
    Indexing& indexing = indexingOf(receiver);
    Preset preset;
    preset.name = text(name);
    preset.loadKey = text(key);
    preset.locationKind = indexing.current.kind;
    preset.location = indexing.current.location;
    preset.hasLocation = indexing.current.hasLocation;
    indexing.presets->push_back(std::move(preset));
    return true;
}
void addPluginId(const clap_preset_discovery_metadata_receiver_t* receiver, const clap_universal_plugin_id_t* id) {
    Indexing& indexing = indexingOf(receiver);
    if (id && id->id && !indexing.presets->empty()) indexing.presets->back().pluginIds.push_back(id->id);
}
void setSoundpack(const clap_preset_discovery_metadata_receiver_t*, const char*) {}
void setFlags(const clap_preset_discovery_metadata_receiver_t*, uint32_t) {}
void addCreator(const clap_preset_discovery_metadata_receiver_t*, const char*) {}
void setDescription(const clap_preset_discovery_metadata_receiver_t*, const char*) {}
void setTimestamps(const clap_preset_discovery_metadata_receiver_t*, clap_timestamp, clap_timestamp) {}
void addFeature(const clap_preset_discovery_metadata_receiver_t*, const char*) {}
void addExtraInfo(const clap_preset_discovery_metadata_receiver_t*, const char*, const char*) {}

}  // namespace

const char* threadName(Thread thread) {
    switch (thread) {
        case Thread::main: return "main";
        case Thread::audio: return "audio";
        case Thread::other: return "other";
    }
    return "?";
}

const char* stateName(State state) {
    switch (state) {
        case State::loading: return "loading";
        case State::inactive: return "inactive";
        case State::active: return "active";
        case State::processing: return "processing";
        case State::closing: return "closing";
    }
    return "?";
}

// Callback log --------------------------------------------------------------------------

void CallbackLog::add(const Callback& call) {
    const std::size_t at = used.fetch_add(1, std::memory_order_relaxed);
    if (at < kCapacity) entries[at] = call;
}

std::vector<Callback> CallbackLog::calls() const {
    const std::size_t n = std::min(used.load(), kCapacity);
    return {entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(n)};
}

int CallbackLog::count(const char* function) const {
    const std::size_t n = std::min(used.load(), kCapacity);
    return static_cast<int>(std::count_if(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(n),
                                          [function](const Callback& c) { return std::strcmp(c.function, function) == 0; }));
}

std::size_t CallbackLog::dropped() const { return used.load() > kCapacity ? used.load() - kCapacity : 0; }

void CallbackLog::clear() { used = 0; }

// Events ----------------------------------------------------------------------------------

bool EventList::add(const Event& event) { return add(&event.header); }

bool EventList::add(const clap_event_header_t* event) {
    if (!event || event->size < sizeof(clap_event_header_t) || event->size > sizeof(Event) || count == kCapacity) {
        ++refused;
        return false;
    }
    events[count] = Event{};
    std::memcpy(&events[count], event, event->size);
    ++count;
    return true;
}

Event paramValueEvent(clap_id param, double value, uint32_t time) {
    Event e{};
    e.paramValue.header = {sizeof(clap_event_param_value_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.paramValue.param_id = param;
    e.paramValue.note_id = -1;
    e.paramValue.port_index = -1;
    e.paramValue.channel = -1;
    e.paramValue.key = -1;
    e.paramValue.value = value;
    return e;
}

Event midiEvent(uint8_t status, uint8_t data1, uint8_t data2, uint32_t time, uint16_t port) {
    Event e{};
    e.midi.header = {sizeof(clap_event_midi_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
    e.midi.port_index = port;
    e.midi.data[0] = status, e.midi.data[1] = data1, e.midi.data[2] = data2;
    return e;
}

clap_event_transport_t playingTransport(double tempo, double sampleRate, int64_t frame, int beatsPerBar,
                                        int beatUnit) {
    clap_event_transport_t t{};
    t.header = {sizeof(clap_event_transport_t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    t.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_HAS_SECONDS_TIMELINE |
              CLAP_TRANSPORT_HAS_TIME_SIGNATURE | CLAP_TRANSPORT_IS_PLAYING;
    const double seconds = static_cast<double>(frame) / sampleRate;
    const double quarters = seconds * tempo / 60.0;
    const double barLength = 4.0 * beatsPerBar / beatUnit;
    const double bar = std::floor(quarters / barLength);
    t.song_pos_beats = static_cast<clap_beattime>(std::llround(quarters * static_cast<double>(CLAP_BEATTIME_FACTOR)));
    t.song_pos_seconds = static_cast<clap_sectime>(std::llround(seconds * static_cast<double>(CLAP_SECTIME_FACTOR)));
    t.tempo = tempo;
    t.bar_start = static_cast<clap_beattime>(std::llround(bar * barLength * static_cast<double>(CLAP_BEATTIME_FACTOR)));
    t.bar_number = static_cast<int32_t>(bar);
    t.tsig_num = static_cast<uint16_t>(beatsPerBar);
    t.tsig_denom = static_cast<uint16_t>(beatUnit);
    return t;
}

// Library --------------------------------------------------------------------------------

Library::Result Library::open(const std::string& path, bool keepMapped) {
    Result result;
    std::shared_ptr<Library> lib(new Library);
    lib->filePath = path;
    dlerror();
    lib->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0));
    if (!lib->handle) {
        const char* why = dlerror();
        result.error = "cannot load " + path + ": " + text(why);
        return result;
    }
    lib->entry = static_cast<const clap_plugin_entry_t*>(dlsym(lib->handle, "clap_entry"));
    if (!lib->entry) {
        result.error = path + " is not a CLAP plug-in: it exports no clap_entry";
        return result;
    }
    const clap_version_t v = lib->entry->clap_version;
    if (!clap_version_is_compatible(v)) {
        result.error = path + " was built for CLAP " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
                       std::to_string(v.revision) + ", which this host cannot run (it reads 1.x)";
        return result;
    }
    if (!lib->entry->init || !lib->entry->deinit || !lib->entry->get_factory) {
        result.error = path + ": clap_entry lacks " +
                       std::string(!lib->entry->init ? "init" : !lib->entry->deinit ? "deinit" : "get_factory");
        return result;
    }
    if (!lib->entry->init(path.c_str())) {
        result.error = path + ": clap_entry.init refused to start";
        return result;
    }
    lib->initialised = true;
    lib->pluginFactory = static_cast<const clap_plugin_factory_t*>(lib->entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_factory_t* f = lib->pluginFactory;
    if (!f) {
        result.error = path + " has no plug-in factory (get_factory(\"" + CLAP_PLUGIN_FACTORY_ID + "\") gave null)";
        return result;
    }
    if (!f->get_plugin_count || !f->get_plugin_descriptor || !f->create_plugin) {
        result.error = path + ": the plug-in factory lacks " +
                       std::string(!f->get_plugin_count        ? "get_plugin_count"
                                   : !f->get_plugin_descriptor ? "get_plugin_descriptor"
                                                               : "create_plugin");
        return result;
    }
    const uint32_t count = f->get_plugin_count(f);
    if (count > kMostPlugins) {
        result.error = path + ": the plug-in factory claims " + std::to_string(count) + " plug-ins";
        return result;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, i);
        if (!d || !d->id) {
            lib->descriptorFaults.push_back("descriptor " + std::to_string(i) + (d ? " has no id" : " is null"));
            continue;
        }
        Descriptor copy;
        copy.clapVersion = d->clap_version;
        copy.id = d->id;
        copy.name = text(d->name), copy.vendor = text(d->vendor), copy.url = text(d->url);
        copy.version = text(d->version), copy.description = text(d->description);
        for (int k = 0; d->features && d->features[k] && k < 256; ++k) copy.features.push_back(d->features[k]);
        lib->found.push_back(std::move(copy));
    }
    result.library = std::move(lib);
    return result;
}

Library::~Library() {
    if (initialised && entry && entry->deinit) entry->deinit();
    if (handle) dlclose(handle);
}

clap_version_t Library::version() const { return entry ? entry->clap_version : clap_version_t{}; }

std::vector<Preset> Library::presets(std::string* error) const {
    std::vector<Preset> all;
    auto fail = [&](const std::string& why) {
        if (error && error->empty()) *error = why;
    };
    const auto* factory = static_cast<const clap_preset_discovery_factory_t*>(
        entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    if (!factory)
        factory = static_cast<const clap_preset_discovery_factory_t*>(
            entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT));
    if (!factory) return all;
    if (!factory->count || !factory->get_descriptor || !factory->create) {
        fail("the preset-discovery factory lacks a function");
        return all;
    }
    const uint32_t providers = factory->count(factory);
    if (providers > kMostPresetProviders) {
        fail("the preset-discovery factory claims " + std::to_string(providers) + " providers");
        return all;
    }
    for (uint32_t i = 0; i < providers; ++i) {
        const clap_preset_discovery_provider_descriptor_t* d = factory->get_descriptor(factory, i);
        if (!d || !d->id) {
            fail("preset provider " + std::to_string(i) + " has no descriptor");
            continue;
        }
        Indexing indexing;
        indexing.presets = &all;
        clap_preset_discovery_indexer_t indexer{CLAP_VERSION, "Orvex", "Harmoxel", "", "1.0.0", &indexing,
                                                declareFiletype, declareLocation, declareSoundpack, indexerExtension};
        const clap_preset_discovery_provider_t* provider = factory->create(factory, &indexer, d->id);
        if (!provider || !provider->init || !provider->destroy || !provider->get_metadata) {
            fail("preset provider " + text(d->id) + " could not be made");
            if (provider && provider->destroy) provider->destroy(provider);
            continue;
        }
        if (!provider->init(provider)) {
            fail("preset provider " + text(d->id) + " refused init");
        } else {
            clap_preset_discovery_metadata_receiver_t receiver{&indexing,   receiverError, beginPreset,
                                                               addPluginId, setSoundpack,  setFlags,
                                                               addCreator,  setDescription, setTimestamps,
                                                               addFeature,  addExtraInfo};
            for (const Indexing::Location& location : indexing.locations) {
                // Files are for a host with a browser; only presets the plug-in holds are read.
                if (location.kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) continue;
                indexing.current = location;
                if (!provider->get_metadata(provider, location.kind,
                                            location.hasLocation ? location.location.c_str() : nullptr, &receiver))
                    fail("preset provider " + text(d->id) + " could not list its presets" +
                         (indexing.error.empty() ? "" : ": " + indexing.error));
            }
        }
        provider->destroy(provider);
    }
    return all;
}

// Plug-in: loading -------------------------------------------------------------------------

LoadResult Plugin::load(const std::string& path, const std::string& id, const HostOptions& options) {
    Library::Result opened = Library::open(path, options.keepMapped);
    if (!opened.library) return {nullptr, opened.error};
    return load(std::move(opened.library), id, options);
}

LoadResult Plugin::load(std::shared_ptr<Library> library, const std::string& id, const HostOptions& options) {
    std::unique_ptr<Plugin> p(new Plugin);
    p->lib = std::move(library);
    p->options = options;
    p->mainThread = std::this_thread::get_id();
    std::string error = p->initialise(id);
    if (!error.empty()) return {nullptr, p->lib->path() + ": " + error};
    return {std::move(p), {}};
}

std::string Plugin::initialise(const std::string& id) {
    const std::vector<Descriptor>& all = lib->descriptors();
    if (all.empty()) return "the plug-in factory offers no plug-in";
    const auto it = id.empty() ? all.begin()
                               : std::find_if(all.begin(), all.end(), [&](const Descriptor& d) { return d.id == id; });
    if (it == all.end()) return "no plug-in with the id " + id;
    desc = *it;

    host.clap_version = CLAP_VERSION;
    host.host_data = this;
    host.name = options.name.c_str();
    host.vendor = options.vendor.c_str();
    host.url = options.url.c_str();
    host.version = options.version.c_str();
    host.get_extension = hostGetExtension;
    host.request_restart = hostRequestRestart;
    host.request_process = hostRequestProcess;
    host.request_callback = hostRequestCallback;

    const clap_plugin_factory_t* f = lib->factory();
    plugin = f->create_plugin(f, &host, desc.id.c_str());
    if (!plugin) return "create_plugin(\"" + desc.id + "\") gave no plug-in";
    if (!plugin->init || !plugin->destroy || !plugin->activate || !plugin->deactivate || !plugin->start_processing ||
        !plugin->stop_processing || !plugin->reset || !plugin->process || !plugin->get_extension ||
        !plugin->on_main_thread) {
        const clap_plugin_t* broken = plugin;
        plugin = nullptr;  // nothing more is called through it
        if (broken->destroy) broken->destroy(broken);
        return "the plug-in \"" + desc.id + "\" lacks one of the functions of clap_plugin";
    }
    initCalled = true;
    if (!plugin->init(plugin)) {
        currentState = State::closing;
        plugin->destroy(plugin);
        plugin = nullptr;
        return "the plug-in \"" + desc.id + "\" failed its init";
    }
    currentState = State::inactive;

    // Each extension is taken only when every function this host calls is there.
    auto ext = [&](const char* name) { return plugin->get_extension(plugin, name); };
    if (auto* e = static_cast<const clap_plugin_params_t*>(ext(CLAP_EXT_PARAMS));
        e && e->count && e->get_info && e->get_value && e->value_to_text && e->text_to_value && e->flush)
        paramsExt = e;
    if (auto* e = static_cast<const clap_plugin_state_t*>(ext(CLAP_EXT_STATE)); e && e->save && e->load) stateExt = e;
    if (auto* e = static_cast<const clap_plugin_audio_ports_t*>(ext(CLAP_EXT_AUDIO_PORTS)); e && e->count && e->get)
        audioPortsExt = e;
    if (auto* e = static_cast<const clap_plugin_note_ports_t*>(ext(CLAP_EXT_NOTE_PORTS)); e && e->count && e->get)
        notePortsExt = e;
    if (auto* e = static_cast<const clap_plugin_latency_t*>(ext(CLAP_EXT_LATENCY)); e && e->get) latencyExt = e;
    if (auto* e = static_cast<const clap_plugin_gui_t*>(ext(CLAP_EXT_GUI));
        e && e->is_api_supported && e->create && e->destroy && e->set_scale && e->get_size && e->set_parent &&
        e->show && e->hide)
        guiExt = e;
    if (auto* e = static_cast<const clap_plugin_timer_support_t*>(ext(CLAP_EXT_TIMER_SUPPORT)); e && e->on_timer)
        timerExt = e;
    if (auto* e = static_cast<const clap_plugin_posix_fd_support_t*>(ext(CLAP_EXT_POSIX_FD_SUPPORT)); e && e->on_fd)
        fdExt = e;
    const void* preset = ext(CLAP_EXT_PRESET_LOAD);
    if (!preset) preset = ext(CLAP_EXT_PRESET_LOAD_COMPAT);
    if (auto* e = static_cast<const clap_plugin_preset_load_t*>(preset); e && e->from_location) presetLoadExt = e;

    inputList = {&inputs, inputSize, inputGet};
    outputList = {&outputs, outputPush};
    return {};
}

Plugin::~Plugin() {
    if (!plugin) return;
    if (currentState == State::processing) stopProcessing();
    if (guiCreated) guiDestroy();
    if (currentState == State::active) deactivate();
    currentState = State::closing;
    plugin->destroy(plugin);
}

const void* Plugin::extension(const char* id) const { return plugin ? plugin->get_extension(plugin, id) : nullptr; }

// Host side ----------------------------------------------------------------------------------

Callback Plugin::called(const char* function) const {
    Callback c;
    c.function = function;
    c.state = currentState.load();
    c.insideProcess = insideOf == this;
    const std::thread::id self = std::this_thread::get_id();
    // The thread inside process is the audio thread even when it also plays the main
    // thread, as the command-line host's one thread does; so is one flushing from
    // another thread than the main one.
    if (c.insideProcess && (currentState == State::processing || self != mainThread))
        c.thread = Thread::audio;
    else if (self == mainThread)
        c.thread = Thread::main;
    else if (self == audioThread.load())
        c.thread = Thread::audio;
    else
        c.thread = Thread::other;
    return c;
}

void Plugin::addLog(int severity, const char* message) {
    const std::size_t at = messageCount.fetch_add(1);
    if (at < messages.size()) {
        messages[at].severity = severity;
        std::snprintf(messages[at].text, sizeof messages[at].text, "%s", message);
    }
    if (options.echoLog) std::fprintf(stderr, "[%s] %s\n", desc.id.c_str(), message);
}

std::vector<LogMessage> Plugin::logMessages() const {
    const std::size_t n = std::min(messageCount.load(), messages.size());
    return {messages.begin(), messages.begin() + static_cast<std::ptrdiff_t>(n)};
}

const void* Plugin::hostExtension(const char* id) const {
    const std::pair<const char*, const void*> offered[] = {
        {CLAP_EXT_LOG, &kLog},
        {CLAP_EXT_THREAD_CHECK, &kThreadCheck},
        {CLAP_EXT_PARAMS, &kParams},
        {CLAP_EXT_STATE, &kState},
        {CLAP_EXT_LATENCY, &kLatency},
        {CLAP_EXT_AUDIO_PORTS, &kAudioPorts},
        {CLAP_EXT_NOTE_PORTS, &kNotePorts},
        {CLAP_EXT_GUI, &kGui},
        {CLAP_EXT_TIMER_SUPPORT, &kTimers},
        {CLAP_EXT_POSIX_FD_SUPPORT, &kFds},
        {CLAP_EXT_PRESET_LOAD, &kPresetLoad},
        {CLAP_EXT_PRESET_LOAD_COMPAT, &kPresetLoad},
    };
    for (const auto& [name, table] : offered)
        if (std::strcmp(name, id) == 0) return table;
    return nullptr;
}

// Parameters ---------------------------------------------------------------------------------

uint32_t Plugin::paramCount() const {
    return paramsExt ? paramsExt->count(plugin) : 0;
}

std::optional<ParamInfo> Plugin::paramInfo(uint32_t index) const {
    if (!paramsExt) return std::nullopt;
    clap_param_info_t info{};
    if (!paramsExt->get_info(plugin, index, &info)) return std::nullopt;
    ParamInfo copy;
    copy.id = info.id;
    copy.flags = info.flags;
    copy.name = field(info.name);
    copy.module = field(info.module);
    copy.min = info.min_value, copy.max = info.max_value, copy.defaultValue = info.default_value;
    return copy;
}

std::vector<ParamInfo> Plugin::params() const {
    std::vector<ParamInfo> all;
    const uint32_t n = paramCount();
    if (n > kMaxParams) return all;
    for (uint32_t i = 0; i < n; ++i)
        if (auto info = paramInfo(i)) all.push_back(*info);
    return all;
}

std::optional<double> Plugin::paramValue(clap_id id) const {
    double value = 0;
    if (!paramsExt || !paramsExt->get_value(plugin, id, &value)) return std::nullopt;
    return value;
}

std::optional<std::string> Plugin::valueToText(clap_id id, double value) const {
    char buffer[CLAP_NAME_SIZE * 2] = {};
    if (!paramsExt || !paramsExt->value_to_text(plugin, id, value, buffer, CLAP_NAME_SIZE)) return std::nullopt;
    return field(buffer);
}

std::optional<double> Plugin::textToValue(clap_id id, const std::string& text) const {
    double value = 0;
    if (!paramsExt || !paramsExt->text_to_value(plugin, id, text.c_str(), &value)) return std::nullopt;
    return value;
}

bool Plugin::queueParam(clap_id id, double value) { return inputs.add(paramValueEvent(id, value)); }

bool Plugin::queueEvent(const Event& event) { return inputs.add(event); }

bool Plugin::flush() {
    if (!paramsExt || currentState == State::processing) return false;
    outputs.clear();
    insideOf = this;
    paramsExt->flush(plugin, &inputList, &outputList);
    insideOf = nullptr;
    inputs.clear();
    return true;
}

// State --------------------------------------------------------------------------------------

std::optional<std::vector<uint8_t>> Plugin::saveState(const StreamOptions& stream) {
    if (!stateExt) return std::nullopt;
    std::vector<uint8_t> bytes;
    streamOptions = stream, streamCalls = 0, writing = &bytes;
    const clap_ostream_t out{this, streamWrite};
    const bool saved = stateExt->save(plugin, &out);
    writing = nullptr;
    if (!saved) return std::nullopt;
    return bytes;
}

bool Plugin::loadState(const std::vector<uint8_t>& bytes, const StreamOptions& stream) {
    if (!stateExt) return false;
    streamOptions = stream, streamCalls = 0, reading = &bytes, readAt = 0;
    const clap_istream_t in{this, streamRead};
    const bool loaded = stateExt->load(plugin, &in);
    reading = nullptr;
    return loaded;
}

// Ports ----------------------------------------------------------------------------------------

std::vector<AudioPort> Plugin::audioPorts(bool input) const {
    std::vector<AudioPort> ports;
    if (!audioPortsExt) return ports;
    const uint32_t n = std::min(audioPortsExt->count(plugin, input), kMostPorts);
    for (uint32_t i = 0; i < n; ++i) {
        clap_audio_port_info_t info{};
        info.in_place_pair = CLAP_INVALID_ID;
        if (!audioPortsExt->get(plugin, i, input, &info)) continue;
        ports.push_back({info.id, field(info.name), text(info.port_type), info.flags, info.channel_count,
                         info.in_place_pair});
    }
    return ports;
}

std::vector<NotePort> Plugin::notePorts(bool input) const {
    std::vector<NotePort> ports;
    if (!notePortsExt) return ports;
    const uint32_t n = std::min(notePortsExt->count(plugin, input), kMostPorts);
    for (uint32_t i = 0; i < n; ++i) {
        clap_note_port_info_t info{};
        if (!notePortsExt->get(plugin, i, input, &info)) continue;
        ports.push_back({info.id, field(info.name), info.supported_dialects, info.preferred_dialect});
    }
    return ports;
}

uint32_t Plugin::latency() const { return latencyExt ? latencyExt->get(plugin) : 0; }

bool Plugin::loadPreset(const Preset& preset, std::string* error) {
    if (!presetLoadExt) {
        if (error) *error = desc.id + " cannot load presets (no preset-load extension)";
        return false;
    }
    const std::size_t before = messageCount.load();
    const bool loaded = presetLoadExt->from_location(plugin, preset.locationKind,
                                                     preset.hasLocation ? preset.location.c_str() : nullptr,
                                                     preset.loadKey.c_str());
    if (!loaded && error) {
        *error = desc.id + " refused to load the preset \"" + preset.name + "\"";
        if (messageCount.load() > before && before < messages.size()) *error += ": " + std::string(messages[before].text);
    }
    return loaded;
}

// Lifecycle ------------------------------------------------------------------------------------

bool Plugin::activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames_) {
    if (!plugin || currentState != State::inactive) return false;
    if (!plugin->activate(plugin, sampleRate, minFrames, maxFrames_)) return false;
    maxFrames = maxFrames_;
    // The ports cannot change while active: their buffers are made here, once.
    layOutPorts(true, inPorts);
    layOutPorts(false, outPorts);
    currentState = State::active;
    return true;
}

void Plugin::layOutPorts(bool input, Ports& ports) {
    constexpr uint32_t kMostChannels = 64;
    std::vector<uint32_t> channels;
    // Without the audio-ports extension a plug-in gets the one stereo pair hosts assume.
    if (!audioPortsExt) channels = {2};
    for (const AudioPort& port : audioPorts(input)) channels.push_back(std::min(port.channels, kMostChannels));
    ports = Ports{};
    ports.buffers.resize(channels.size());
    for (std::size_t p = 0; p < channels.size(); ++p) {
        ports.firstPointer.push_back(ports.pointers.size());
        for (uint32_t c = 0; c < std::max<uint32_t>(channels[p], 2); ++c) {
            ports.own.emplace_back(maxFrames, 0.0f);
            ports.pointers.push_back(ports.own.back().data());
        }
        ports.buffers[p] = {nullptr, nullptr, channels[p], 0, 0};
    }
    for (std::size_t p = 0; p < channels.size(); ++p)
        ports.buffers[p].data32 = ports.pointers.data() + ports.firstPointer[p];
}

void Plugin::deactivate() {
    if (!plugin) return;
    if (currentState == State::processing) stopProcessing();
    if (currentState != State::active) return;
    plugin->deactivate(plugin);
    currentState = State::inactive;
}

bool Plugin::startProcessing() {
    if (!plugin || currentState != State::active) return false;
    audioThread = std::this_thread::get_id();
    insideOf = this;
    const bool started = plugin->start_processing(plugin);
    insideOf = nullptr;
    if (started) currentState = State::processing;
    return started;
}

void Plugin::stopProcessing() {
    if (!plugin || currentState != State::processing) return;
    insideOf = this;
    plugin->stop_processing(plugin);
    insideOf = nullptr;
    currentState = State::active;
}

clap_process_status Plugin::process(const float* const* in, float* const* out, uint32_t frames,
                                    const clap_event_transport_t* transport, int64_t steadyTime) {
    if (!plugin || frames == 0 || frames > maxFrames) return CLAP_PROCESS_ERROR;
    if (currentState == State::active && !startProcessing()) return CLAP_PROCESS_ERROR;
    if (currentState != State::processing) return CLAP_PROCESS_ERROR;
    // The caller's channels on the main port, the host's own everywhere else; the own
    // inputs silent again, whatever a plug-in processing in place left there.
    for (std::size_t p = 0; p < inPorts.buffers.size(); ++p)
        for (uint32_t c = 0; c < std::max<uint32_t>(inPorts.buffers[p].channel_count, 2); ++c) {
            float*& pointer = inPorts.pointers[inPorts.firstPointer[p] + c];
            pointer = inPorts.own[inPorts.firstPointer[p] + c].data();
            if (p == 0 && c < 2)
                pointer = const_cast<float*>(in[c]);
            else
                std::fill_n(pointer, frames, 0.0f);
        }
    for (std::size_t p = 0; p < outPorts.buffers.size(); ++p)
        for (uint32_t c = 0; c < std::max<uint32_t>(outPorts.buffers[p].channel_count, 2); ++c)
            outPorts.pointers[outPorts.firstPointer[p] + c] =
                p == 0 && c < 2 ? out[c] : outPorts.own[outPorts.firstPointer[p] + c].data();
    if (transport) transportCopy = *transport;
    clap_process_t call{};
    call.steady_time = steadyTime >= 0 ? steadyTime : steadyCount;
    call.frames_count = frames;
    call.transport = transport ? &transportCopy : nullptr;
    call.audio_inputs = inPorts.buffers.data();
    call.audio_outputs = outPorts.buffers.data();
    call.audio_inputs_count = static_cast<uint32_t>(inPorts.buffers.size());
    call.audio_outputs_count = static_cast<uint32_t>(outPorts.buffers.size());
    call.in_events = &inputList;
    call.out_events = &outputList;
    outputs.clear();
    insideOf = this;
    const clap_process_status status = plugin->process(plugin, &call);
    insideOf = nullptr;
    inputs.clear();
    steadyCount += frames;
    return status;
}

// The editor -------------------------------------------------------------------------------------

bool Plugin::guiSupported(const char* api, bool floating) const {
    return guiExt && guiExt->is_api_supported(plugin, api, floating);
}

bool Plugin::guiCreate(const char* api, bool floating) {
    if (!guiExt || guiCreated || !guiExt->create(plugin, api, floating)) return false;
    guiCreated = true;
    return true;
}

bool Plugin::guiSetScale(double scale) { return guiCreated && guiExt->set_scale(plugin, scale); }

std::optional<std::pair<uint32_t, uint32_t>> Plugin::guiSize() {
    uint32_t width = 0, height = 0;
    if (!guiCreated || !guiExt->get_size(plugin, &width, &height)) return std::nullopt;
    return std::make_pair(width, height);
}

bool Plugin::guiSetParent(unsigned long x11Window) {
    if (!guiCreated) return false;
    clap_window_t window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = x11Window;
    return guiExt->set_parent(plugin, &window);
}

bool Plugin::guiShow() { return guiCreated && guiExt->show(plugin); }

bool Plugin::guiHide() { return guiCreated && guiExt->hide(plugin); }

void Plugin::guiDestroy() {
    if (!guiCreated) return;
    guiExt->destroy(plugin);
    guiCreated = false;
}

int Plugin::runTimers() {
    if (!timerExt) return 0;
    int calls = 0;
    const int64_t now = nowMs();
    // A copy: a timer's call may register or unregister timers.
    const std::vector<Timer> due = timers;
    for (const Timer& t : due) {
        if (t.due > now) continue;
        const bool still = std::any_of(timers.begin(), timers.end(), [&](const Timer& x) { return x.id == t.id; });
        if (!still) continue;
        for (Timer& x : timers)
            if (x.id == t.id) x.due = now + x.periodMs;
        timerExt->on_timer(plugin, t.id);
        ++calls;
    }
    return calls;
}

int Plugin::runFds(int waitMs) {
    if (!fdExt || fds.empty()) return 0;
    std::vector<pollfd> polled;
    for (const Fd& f : fds) {
        short events = 0;
        if (f.flags & CLAP_POSIX_FD_READ) events |= POLLIN;
        if (f.flags & CLAP_POSIX_FD_WRITE) events |= POLLOUT;
        polled.push_back({f.fd, events, 0});
    }
    if (::poll(polled.data(), polled.size(), waitMs) <= 0) return 0;
    int calls = 0;
    for (const pollfd& p : polled) {
        if (!p.revents) continue;
        clap_posix_fd_flags_t flags = 0;
        if (p.revents & POLLIN) flags |= CLAP_POSIX_FD_READ;
        if (p.revents & POLLOUT) flags |= CLAP_POSIX_FD_WRITE;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) flags |= CLAP_POSIX_FD_ERROR;
        fdExt->on_fd(plugin, p.fd, flags);
        ++calls;
    }
    return calls;
}

}  // namespace orvex::claphost
