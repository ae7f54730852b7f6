// A small LV2 host on liblilv: finds a plug-in by its URI among the bundles of a
// directory list (as LV2_PATH gives one), instantiates it at a rate and drives it
// through its descriptor. It offers what hosts commonly offer (urid:map and unmap, the
// options with the block lengths and the rate, bufsz:boundedBlockLength) and refuses a
// plug-in that requires anything else. The host's transport and MIDI go to the
// plug-in's atom inputs, each input what it says it supports, written with the atom
// forge before every run.
// A mono plug-in gets one instance per channel, as hosts run it on a stereo track.
// The plug-in's description is read for those who show it: each control input's name,
// range, unit and kind, the presets, the state interface.
// Used by the tests, the benchmark, `orvex` and its validator beside the VST 2.x host
// (tools/vsthost).
//
// Threads: a World and its plug-ins are made, set and destroyed on one loading thread;
// `run` is the audio thread's and neither allocates nor locks. The setters (controls,
// transport, MIDI) are called between runs, by the thread that runs the plug-in.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orvex::lilvhost {

// URIDs for a world's plug-ins: the same number for the same URI, from 1 on. Mapping a
// new URI allocates, so every URI the host writes is mapped when the world is made;
// plug-ins map theirs while they are instantiated. Any thread but the audio thread.
class UridMap {
public:
    UridMap();
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;
    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid);
    LV2_URID_Map* mapFeature() { return &mapData; }
    LV2_URID_Unmap* unmapFeature() { return &unmapData; }

private:
    std::mutex mutex;
    std::map<std::string, LV2_URID, std::less<>> ids;
    std::vector<const std::string*> uris;  // by URID - 1; the map's keys never move
    LV2_URID_Map mapData;
    LV2_URID_Unmap unmapData;
};

// The URIDs the host writes with, mapped once per world.
struct HostUrids {
    LV2_URID atomInt, atomLong, atomFloat, atomDouble, atomSequence, atomChunk, frameTime;
    LV2_URID midiEvent, position, frame, speed, bar, barBeat, beatUnit, beatsPerBar, beatsPerMinute;
    LV2_URID nominalBlock, maxBlock, minBlock, sampleRate;
};

// What a plug-in's description says of it, read without instantiating it: for listings.
struct Description {
    std::string uri;
    std::string name;
    std::string vendor;  // as Plugin::vendor
    int controls = 0;    // input control ports
    int presets = 0;
};

// The plug-ins of the bundles in `path`: directories separated by ':', searched as
// LV2_PATH would be (each directory's bundles, the format's own schema bundles among them).
class World {
public:
    explicit World(const std::string& path);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    LilvWorld* get() const { return world; }
    // The plug-in with this URI, or null.
    const LilvPlugin* find(const std::string& uri) const;
    UridMap& urids() { return uridMap; }
    const HostUrids& hostUrids() const { return host; }
    const std::string& path() const { return searchPath; }
    // Every plug-in of the bundles, sorted by URI.
    std::vector<Description> describeAll() const;

private:
    std::string searchPath;
    LilvWorld* world = nullptr;
    UridMap uridMap;
    HostUrids host{};
};

struct HostOptions {
    double sampleRate = 44100.0;
    uint32_t blockSize = 512;  // the nominal and the longest run
    // The plug-in's binary stays mapped after its instances are gone, for a process
    // that ends soon after: what the binary's libraries made when they were loaded is
    // still theirs at the end, not a leak a sanitizer reports.
    bool keepMapped = false;
};

// What a time:Position says. The song position is counted in beats of `beatUnit` from
// the start of bar 0.
struct Transport {
    double tempo = 120.0;  // beats per minute
    double beats = 0.0;
    int beatsPerBar = 4;
    int beatUnit = 4;
    int64_t frame = 0;
    float speed = 1.0f;    // 1 playing, 0 stopped
    bool everyRun = true;  // a position before every run, as a playing host sends; else only the next run
    bool advance = true;   // moves on by each run's frames
};

// One short MIDI message at a frame of the next run.
struct MidiMessage {
    uint32_t frame = 0;
    uint8_t status = 0, data1 = 0, data2 = 0;
};

// An input control port as the plug-in describes it.
struct ControlInfo {
    uint32_t index = 0;  // the port's index
    std::string symbol;
    std::string name;
    float minimum = 0.0f, maximum = 1.0f, defaultValue = 0.0f;
    std::string unit;  // its symbol ("Hz", "%", "BPM"), empty when the port names none
    bool logarithmic = false, toggled = false, integer = false, enumeration = false;
    // The scale points (label and value), in the order their values rise.
    std::vector<std::pair<float, std::string>> scalePoints;
};

// A preset of the plug-in (presets:Preset that applies to it) by its URI and label.
struct PresetInfo {
    std::string uri;
    std::string label;
};

// A state snapshot taken from an instance (port values and what the plug-in's state
// interface saves), freed with the snapshot.
struct StateDeleter {
    void operator()(LilvState* state) const { lilv_state_free(state); }
};
using State = std::unique_ptr<LilvState, StateDeleter>;

// The folders an LV2 host searches: LV2_PATH's when it is set, else the usual ones
// (~/.lv2, /usr/local/lib/lv2, /usr/lib/lv2), as a colon-separated list.
std::string hostSearchPath();

class Plugin;

struct LoadResult {
    std::unique_ptr<Plugin> plugin;  // null on failure
    std::string error;               // why there is none
    explicit operator bool() const { return plugin != nullptr; }
};

class Plugin {
public:
    // The plug-in `uri` of `world`, instantiated (as many times as it takes for two
    // channels), every control input at its default, activated.
    static LoadResult load(std::shared_ptr<World> world, const std::string& uri, const HostOptions& options = {});
    // The same in a world of its own over `path`.
    static LoadResult load(const std::string& path, const std::string& uri, const HostOptions& options = {});

    ~Plugin();  // deactivates and frees the instances
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const std::string& uri() const { return pluginUri; }
    // doap:name; the maintainer's (or the project's maintainer's) name, else the
    // project's name; the path of the shared object.
    std::string name() const;
    std::string vendor() const;
    std::string library() const;
    const HostOptions& hostOptions() const { return options; }
    int instances() const { return static_cast<int>(units.size()); }
    LilvInstance* instance(int unit) const { return units[static_cast<std::size_t>(unit)].instance; }
    // Audio outputs in all (a band splitter's extra ones included).
    int numOutputs() const;

    // Control inputs by symbol, in the port's own units; false (or nothing) when the
    // plug-in has no control input of that symbol.
    bool setControl(const std::string& symbol, float value);
    std::optional<float> control(const std::string& symbol) const;
    std::vector<std::string> controlSymbols() const;
    // The control inputs in port order, and their values by position in that order
    // (any thread that runs the plug-in, between runs: nothing is looked up).
    const std::vector<ControlInfo>& controls() const { return controlInfo; }
    void setControlValue(std::size_t control, float value);
    float controlValue(std::size_t control) const;

    // The plug-in's presets, in the order of their labels.
    std::vector<PresetInfo> presets() const;
    // Applies a preset: its port values, and what it holds for the state interface.
    // False, with the reason, when it cannot be read.
    bool applyPreset(const std::string& uri, std::string* error = nullptr);
    // Whether the plug-in has the state interface (state:interface); a snapshot of the
    // first instance (the port values and the plug-in's own), and one restored into
    // every instance. Loading thread, between runs.
    bool hasStateInterface() const;
    State saveState();
    void restoreState(const LilvState* state);

    // For lilv's callbacks: a control input's value by symbol (null: none), the URIDs.
    const float* controlAddress(const std::string& symbol) const;
    const HostUrids& hostUridsForState() const { return world->hostUrids(); }

    // Deactivates and activates every instance again, as a host does around a pause.
    void deactivate();
    void activate();

    // The transport told before each run (or the next run only); none by default.
    void setTransport(const Transport& transport);
    void clearTransport() { transport.reset(); }
    const std::optional<Transport>& currentTransport() const { return transport; }
    // A message for the next run at its frame (the last frame when past the end),
    // kept in frame order; false when the queue of the run is full.
    bool queueMidi(const MidiMessage& message);
    // Whether any atom input takes the host's events.
    bool hasEventInput() const { return eventInputs > 0; }

    // Audio thread: `frames` (at most the block size) of the two input channels into
    // the first two outputs, the queued events and the transport heard at their frames.
    void run(const float* const* inputs, float* const* outputs, uint32_t frames);

private:
    struct Unit {
        LilvInstance* instance = nullptr;
        std::vector<float> controls;                  // per port index (control ports only)
        std::vector<std::vector<float>> extraAudio;   // outputs past the first, side-chain inputs
        std::vector<std::vector<uint64_t>> atomOuts;  // per atom output, as 64-bit words
        std::vector<uint32_t> atomOutPorts;
    };
    Plugin() = default;
    bool prepare(const LilvPlugin* plugin, std::string& error);
    void writeEvents(uint32_t frames);
    void writeSequence(std::size_t takes, bool position, bool messages, uint32_t frames);

    std::shared_ptr<World> world;
    const LilvPlugin* description = nullptr;  // the world's
    std::string pluginUri;
    std::vector<ControlInfo> controlInfo;
    bool active = false;
    HostOptions options;
    std::vector<Unit> units;
    // Port indices: the main audio inputs and the output of each (one each per unit of
    // a mono plug-in), every control input by symbol.
    std::vector<uint32_t> audioIns, audioOuts;
    std::map<std::string, uint32_t, std::less<>> controlPorts;
    int eventInputs = 0;
    int outputsPerUnit = 0;
    // What instantiate was given; kept for the life of the instances.
    std::array<int32_t, 3> blockLengths{};
    float rateValue = 0.0f;
    std::vector<LV2_Options_Option> optionList;
    std::vector<LV2_Feature> featureData;
    std::vector<const LV2_Feature*> features;
    // The events for the atom inputs, written before each run: one sequence for each
    // set of what an input supports (the position, MIDI, both or neither), as hosts
    // hand a port only what it says it takes.
    static constexpr int kTakesPosition = 1, kTakesMidi = 2;
    std::array<std::vector<uint64_t>, 4> sequences;
    std::array<bool, 4> sequenceUsed{};
    // What each sequence held after the last run it was written in.
    struct Written {
        bool valid = false, position = false, messages = false;
    };
    std::array<Written, 4> written{};
    LV2_Atom_Forge forge{};
    // The frame of the sequence being written, kept with the forge that points at it.
    LV2_Atom_Forge_Frame sequenceFrame{};
    std::optional<Transport> transport;
    bool positionPending = false;
    // The position event as forged for the transport, and where its moving values lie.
    std::array<uint64_t, 32> positionEvent{};
    uint32_t positionSize = 0;
    std::ptrdiff_t frameAt = 0, barAt = 0, barBeatAt = 0;
    static constexpr std::size_t kMaxMidi = 512;
    std::array<MidiMessage, kMaxMidi> midi{};
    std::size_t midiCount = 0;
};

}  // namespace orvex::lilvhost
