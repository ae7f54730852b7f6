// A small CLAP host: loads a .clap file as hosts do (dlopen, clap_entry, its version,
// init with the path, the plug-in factory), makes an instance and drives it through the
// binary interface only. Used by the command-line host and its tests, and meant for a
// validator: every call the plug-in makes into the host is recorded with the thread it
// came from and the state the instance was in, so that the plug-in's thread rules can
// be judged afterwards.
//
// What the host offers the plug-in: log, thread-check, params (rescan, clear,
// request_flush), state (mark_dirty), latency, audio-ports, note-ports, gui (resize
// requests and the rest recorded), timer-support, posix-fd-support and preset-load.
// A plug-in breaking the interface (null functions, absurd counts, a missing extension)
// gets a clear error from the call that met it, never a call through a null pointer.
//
// Threads: the thread that loads a plug-in is its main thread; every call but `process`
// is the main thread's. `process` is the audio thread's and neither allocates nor locks
// (its events, the transport and the output events use storage made beforehand); the
// thread that calls it is the audio thread while processing has started. The recording
// of callbacks neither allocates nor locks either, so that it can be made from any thread.
// The calls the interface keeps to the main thread (timers, fds, the editor's requests)
// are served wherever they come from, after being recorded: judging them is the
// caller's business, from the record.
//
// In brief: Library::open (entry, version, init, factory, descriptors, presets);
// Plugin::load (create, init, extensions); params (info, value, text both ways,
// queueParam + flush); saveState/loadState through StreamOptions; activate,
// process (transport, queued events, outputEvents), deactivate; the gui calls and
// runTimers/runFds as the host's event loop; callbacks(), logMessages(), requests().
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/clap.h"

namespace orvex::claphost {

// Which thread a call into the host came from.
enum class Thread : uint8_t { main, audio, other };
// What the instance was doing when the call came.
enum class State : uint8_t {
    loading,     // entry init, factory, create, plug-in init
    inactive,    // initialised, not activated
    active,      // activated, not processing
    processing,  // between start_processing and stop_processing
    closing,     // deactivate/destroy/deinit on the way out
};
const char* threadName(Thread thread);
const char* stateName(State state);

// One call the plug-in made into the host: `function` is the host function's name as
// the interface spells it ("request_flush", "log", "register_timer" ...).
struct Callback {
    const char* function = "";
    Thread thread = Thread::main;
    State state = State::loading;
    bool insideProcess = false;  // made from within the plug-in's process or flush
};

// The calls a plug-in made, as counts and in order. The list keeps the first kCapacity;
// `dropped` counts those past it.
class CallbackLog {
public:
    static constexpr std::size_t kCapacity = 4096;
    void add(const Callback& call);  // any thread; no allocation, no lock
    std::vector<Callback> calls() const;
    int count(const char* function) const;  // how many calls of one function were made
    std::size_t dropped() const;
    void clear();

private:
    std::array<Callback, kCapacity> entries{};
    std::atomic<std::size_t> used{0};
};

// A message the plug-in logged (the first kCapacity, each cut to 255 bytes).
struct LogMessage {
    int severity = 0;
    char text[256] = {};
};

// How the host presents itself.
struct HostOptions {
    std::string name = "Orvex Test Host";
    std::string vendor = "Harmoxel";
    std::string url = "";
    std::string version = "1.0.0";
    bool echoLog = false;  // also print the plug-in's log messages on stderr
    // Keep the file mapped after dlclose (RTLD_NODELETE), and with it the libraries it
    // brought in: for a process that ends soon after, where what their constructors
    // allocated (pixman's tables, under cairo) would otherwise be left unreachable.
    bool keepMapped = false;
};

// One plug-in's descriptor, copied.
struct Descriptor {
    std::string id, name, vendor, url, version, description;
    std::vector<std::string> features;
    clap_version_t clapVersion{};
};

// A preset of the preset-discovery factory, as its provider declared it.
struct Preset {
    std::string name;
    std::string loadKey;
    uint32_t locationKind = 0;
    std::string location;  // empty for a preset inside the plug-in
    bool hasLocation = false;
    std::vector<std::string> pluginIds;  // the plug-ins it is for (CLAP ids)
};

// The loaded file: its entry, initialised with the file's path; deinit and dlclose
// when the last user lets go of it. Main thread.
class Library {
public:
    struct Result {
        std::shared_ptr<Library> library;  // null on failure
        std::string error;
    };
    // dlopen (RTLD_NOW | RTLD_LOCAL), clap_entry, a version this host reads
    // (clap_version_is_compatible), the entry's functions, init(path) and the plug-in
    // factory with its functions.
    static Result open(const std::string& path, bool keepMapped = false);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const std::string& path() const { return filePath; }
    clap_version_t version() const;
    const clap_plugin_factory_t* factory() const { return pluginFactory; }
    // The factory's descriptors in order; a null descriptor or one without an id is left
    // out and noted in `faults`.
    const std::vector<Descriptor>& descriptors() const { return found; }
    const std::vector<std::string>& faults() const { return descriptorFaults; }
    // Every preset of the preset-discovery factory's providers, in their order; empty
    // when there is no such factory. Problems go to `error` (presets found still count).
    std::vector<Preset> presets(std::string* error = nullptr) const;

private:
    Library() = default;
    std::string filePath;
    void* handle = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    bool initialised = false;
    const clap_plugin_factory_t* pluginFactory = nullptr;
    std::vector<Descriptor> found;
    std::vector<std::string> descriptorFaults;
};

// The most parameters a usable plug-in announces: a larger count is a broken plug-in's
// garbage, which a host believing it would loop over without end.
inline constexpr uint32_t kMaxParams = 100000;

// Parameter description, copied.
struct ParamInfo {
    clap_id id = 0;
    uint32_t flags = 0;
    std::string name, module;
    double min = 0, max = 1, defaultValue = 0;
    bool stepped() const { return flags & CLAP_PARAM_IS_STEPPED; }
};

struct AudioPort {
    clap_id id = 0;
    std::string name, portType;
    uint32_t flags = 0, channels = 0;
    clap_id inPlacePair = CLAP_INVALID_ID;
};

struct NotePort {
    clap_id id = 0;
    std::string name;
    uint32_t supported = 0, preferred = 0;
};

// An event, of the kinds this host writes or keeps: the header tells which member holds it.
union Event {
    clap_event_header_t header;
    clap_event_param_value_t paramValue;
    clap_event_param_gesture_t paramGesture;
    clap_event_note_t note;
    clap_event_midi_t midi;
    clap_event_transport_t transport;
};
Event paramValueEvent(clap_id param, double value, uint32_t time = 0);
Event midiEvent(uint8_t status, uint8_t data1, uint8_t data2, uint32_t time = 0, uint16_t port = 0);

// A fixed list of events (time order kept by the caller), the input events handed to
// process and flush, or the output events a plug-in pushed (kept up to kCapacity, the
// rest counted in `refused`). Neither adding nor reading allocates.
class EventList {
public:
    static constexpr std::size_t kCapacity = 1024;
    bool add(const Event& event);          // false when full, or an event larger than Event
    bool add(const clap_event_header_t* event);
    std::size_t size() const { return count; }
    const Event& operator[](std::size_t i) const { return events[i]; }
    void clear() { count = 0, refused = 0; }
    std::size_t refused = 0;

private:
    std::array<Event, kCapacity> events{};
    std::size_t count = 0;
};

// How the host's streams behave for state save and load: at most `chunk` bytes a call
// (0: all asked for), and an error (-1) from call `failAt` on (0: never).
struct StreamOptions {
    std::size_t chunk = 0;
    int failAt = 0;
};

// The transport a render reports: `frame` samples into a song at `tempo` in 4/4 played
// from 0, given as the VST 2.x host reports its song position (quarters = frame over
// the rate times tempo over 60, the bar's start in whole bars of quarters).
clap_event_transport_t playingTransport(double tempo, double sampleRate, int64_t frame, int beatsPerBar = 4,
                                        int beatUnit = 4);

class Plugin;

struct LoadResult {
    std::unique_ptr<Plugin> plugin;  // null on failure
    std::string error;
    explicit operator bool() const { return plugin != nullptr; }
};

class Plugin {
public:
    // The plug-in `id` of the file at `path` (empty: the factory's first), created and
    // initialised. On failure `error` says which step failed and why.
    static LoadResult load(const std::string& path, const std::string& id = {}, const HostOptions& options = {});
    static LoadResult load(std::shared_ptr<Library> library, const std::string& id = {},
                           const HostOptions& options = {});
    // Stops processing, deactivates and destroys the instance; the library goes when
    // its last user does.
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const Descriptor& descriptor() const { return desc; }
    Library& library() const { return *lib; }
    const clap_plugin_t* raw() const { return plugin; }
    State state() const { return currentState.load(); }
    // The plug-in's extension, or null (never asked before init).
    const void* extension(const char* id) const;

    // Parameters (main thread; through the params extension, absent: none).
    uint32_t paramCount() const;  // as the plug-in says, however absurd
    std::optional<ParamInfo> paramInfo(uint32_t index) const;
    // The ones whose info came; none when the count passes kMaxParams.
    std::vector<ParamInfo> params() const;
    std::optional<double> paramValue(clap_id id) const;
    std::optional<std::string> valueToText(clap_id id, double value) const;
    std::optional<double> textToValue(clap_id id, const std::string& text) const;
    // A value change for the next process or flush (its input events).
    bool queueParam(clap_id id, double value);
    bool queueEvent(const Event& event);
    // params.flush with the queued events (while not processing); the plug-in's output
    // events land in outputEvents(). False without the params extension.
    bool flush();

    // State through memory streams.
    std::optional<std::vector<uint8_t>> saveState(const StreamOptions& stream = {});
    bool loadState(const std::vector<uint8_t>& bytes, const StreamOptions& stream = {});

    // Ports.
    std::vector<AudioPort> audioPorts(bool input) const;
    std::vector<NotePort> notePorts(bool input) const;
    uint32_t latency() const;  // 0 without the extension

    // preset-load's from_location; false (with the reason in `error`) when refused or absent.
    bool loadPreset(const Preset& preset, std::string* error = nullptr);

    // Lifecycle.
    bool activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate();
    bool startProcessing();  // call from the audio thread
    void stopProcessing();   // audio thread

    // Audio thread: `frames` (at most the activated maximum) of two channels in and two
    // out, with the queued input events (sent, then cleared) and the transport, if any.
    // The output events are collected in outputEvents(), cleared first. Starts
    // processing when it has not started.
    clap_process_status process(const float* const* inputs, float* const* outputs, uint32_t frames,
                                const clap_event_transport_t* transport = nullptr, int64_t steadyTime = -1);
    const EventList& outputEvents() const { return outputs; }
    void clearOutputEvents() { outputs.clear(); }

    // The editor (gui extension). Each is false when the extension or the call refuses.
    bool guiSupported(const char* api = CLAP_WINDOW_API_X11, bool floating = false) const;
    bool guiCreate(const char* api = CLAP_WINDOW_API_X11, bool floating = false);
    bool guiSetScale(double scale);
    std::optional<std::pair<uint32_t, uint32_t>> guiSize();
    bool guiSetParent(unsigned long x11Window);
    bool guiShow();
    bool guiHide();
    void guiDestroy();
    // The plug-in's timers that are due and the fds that are ready (polled for at most
    // `waitMs`), each called once: the host's event loop, run by the caller.
    // Returns how many calls were made.
    int runTimers();
    int runFds(int waitMs = 0);
    // What the plug-in asked of the editor's window.
    struct GuiRequests {
        int resizeCount = 0;
        uint32_t width = 0, height = 0;  // the last request_resize
        int showCount = 0, hideCount = 0, closedCount = 0, hintsChanged = 0;
    };
    const GuiRequests& guiRequests() const { return gui; }

    // What the plug-in asked of the host.
    const CallbackLog& callbacks() const { return log; }
    CallbackLog& callbacks() { return log; }
    std::vector<LogMessage> logMessages() const;
    struct Requests {
        int restart = 0, process = 0, callback = 0, flush = 0, rescan = 0, clear = 0, dirty = 0, latency = 0,
            audioPortsRescan = 0, notePortsRescan = 0;
        uint32_t rescanFlags = 0;  // every flag rescan was called with, or-ed
    };
    const Requests& requests() const { return asked; }

    // The host's side (the C functions the host hands the plug-in call these).
    struct Timer {
        clap_id id;
        uint32_t periodMs;
        int64_t due;  // steady clock, in milliseconds
    };
    struct Fd {
        int fd;
        clap_posix_fd_flags_t flags;
    };
    Callback called(const char* function) const;
    void note(const char* function) { log.add(called(function)); }
    void addLog(int severity, const char* message);
    const void* hostExtension(const char* id) const;
    HostOptions options;
    Requests asked;
    char loadedKey[256] = {};  // the load key the last preset-load `loaded` named, cut to 255 bytes
    GuiRequests gui;
    std::vector<Timer> timers;
    std::vector<Fd> fds;
    clap_id nextTimer = 1;
    StreamOptions streamOptions;
    int streamCalls = 0;
    const std::vector<uint8_t>* reading = nullptr;
    std::size_t readAt = 0;
    std::vector<uint8_t>* writing = nullptr;

private:
    Plugin() = default;
    std::string initialise(const std::string& id);

    std::shared_ptr<Library> lib;
    Descriptor desc;
    clap_host_t host{};
    const clap_plugin_t* plugin = nullptr;
    std::atomic<State> currentState{State::loading};
    std::thread::id mainThread;
    std::atomic<std::thread::id> audioThread{};
    std::atomic<bool> inProcess{false};
    bool initCalled = false;
    bool guiCreated = false;
    uint32_t maxFrames = 0;
    // Extensions, asked once after init.
    const clap_plugin_params_t* paramsExt = nullptr;
    const clap_plugin_state_t* stateExt = nullptr;
    const clap_plugin_audio_ports_t* audioPortsExt = nullptr;
    const clap_plugin_note_ports_t* notePortsExt = nullptr;
    const clap_plugin_latency_t* latencyExt = nullptr;
    const clap_plugin_gui_t* guiExt = nullptr;
    const clap_plugin_timer_support_t* timerExt = nullptr;
    const clap_plugin_posix_fd_support_t* fdExt = nullptr;
    const clap_plugin_preset_load_t* presetLoadExt = nullptr;
    CallbackLog log;
    std::array<LogMessage, 256> messages{};
    std::atomic<std::size_t> messageCount{0};
    EventList inputs;
    EventList outputs;
    // What process hands over: made once, pointing at the members above.
    clap_input_events_t inputList{};
    clap_output_events_t outputList{};
    // The audio ports as activate found them: each port's channels, one pointer a
    // channel (at least two a port, so that a plug-in reading a second channel of a
    // mono port reads silence, not past the list). The caller's two channels go to
    // the main port; every other channel is a buffer of the host's own, silent on input.
    struct Ports {
        std::vector<clap_audio_buffer_t> buffers;
        std::vector<float*> pointers;
        std::vector<std::size_t> firstPointer;  // of each port
        std::vector<std::vector<float>> own;
    };
    void layOutPorts(bool input, Ports& ports);
    Ports inPorts, outPorts;
    clap_event_transport_t transportCopy{};
    int64_t steadyCount = 0;
};

}  // namespace orvex::claphost
