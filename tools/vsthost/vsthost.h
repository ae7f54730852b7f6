// A small VST 2.x host: loads any plug-in shared object the way Linux hosts do and
// drives it through the binary interface only. The host side of the callback is
// scriptable (version answer, transport, sample rate) and records what the plug-in
// asked for (time masks, automation and edit gestures, MIDI requests), so that tests,
// the command-line host and the benchmarks can all use it.
//
// Threads: an instance is usually driven by one thread at a time (the caller
// serialises its user-interface and audio calls), as in the tests and the command-line
// host; a validator may drive it from two. The callback's answers and records are
// guarded by a lock of the instance, beside the one around the process-wide table that
// maps a record to its host instance.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/vst2.h"

namespace orvex::vsthost {

// The transport the host reports through audioMasterGetTime.
struct Transport {
    double tempo = 120.0;  // beats per minute
    double ppqPos = 0.0;   // song position in quarter notes
    VstInt32 flags = kVstTempoValid | kVstPpqPosValid;
    double sampleRate = 0.0;  // 0: the host's current sample rate
    bool advance = false;     // move the song position on with every processed call
    double samplePos = 0.0;
    VstInt32 timeSigNumerator = 4;
    VstInt32 timeSigDenominator = 4;
};

// How the host answers while the plug-in is being created.
struct HostOptions {
    VstIntPtr version = 2400;  // answer to audioMasterVersion; 0 plays "no host"
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 512;
    std::optional<Transport> transport;  // none: audioMasterGetTime answers null
    VstInt32 currentId = 0;              // answer to audioMasterCurrentId while loading
    std::string vendor = "Harmoxel";
    std::string product = "Orvex Test Host";
};

// An automation or edit-gesture message, in the order the plug-in sent them.
struct HostEvent {
    enum class Kind { automate, beginEdit, endEdit };
    Kind kind;
    VstInt32 index;
    float value;  // automate only
    bool operator==(const HostEvent&) const = default;
};

// Everything the plug-in asked of the host.
struct HostRecord {
    static constexpr int kOpcodes = 64;
    std::array<int, kOpcodes> calls{};  // per audioMaster opcode (larger ones not counted)
    std::vector<VstIntPtr> timeMasks;   // the mask of every audioMasterGetTime, in order
    std::vector<HostEvent> events;      // automate / beginEdit / endEdit
    int wantMidi = 0;
    int idle = 0;
    int sizeWindowWidth = 0;
    int sizeWindowHeight = 0;
};

// One short MIDI message for sendMidi.
struct MidiMessage {
    uint8_t status;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    VstInt32 deltaFrames = 0;
};

// Channel buffers for processing calls: `data()` is what the record's process
// functions take.
class AudioBuffers {
public:
    AudioBuffers(int channels, int frames, float value = 0.0f);
    AudioBuffers(const AudioBuffers& other);
    AudioBuffers& operator=(const AudioBuffers& other);
    AudioBuffers(AudioBuffers&&) = default;  // moved vectors keep their storage
    AudioBuffers& operator=(AudioBuffers&&) = default;
    float** data() { return pointers.data(); }
    std::vector<float>& operator[](int channel) { return channels[channel]; }
    const std::vector<float>& operator[](int channel) const { return channels[channel]; }
    int numChannels() const { return static_cast<int>(channels.size()); }
    int numFrames() const { return channels.empty() ? 0 : static_cast<int>(channels[0].size()); }
    void fill(float value);

private:
    void point();

    std::vector<std::vector<float>> channels;
    std::vector<float*> pointers;
};

// Called around every callback a plug-in makes, on the thread it makes it from, so
// that a measurement of the plug-in can leave out what the host does.
struct CallbackHooks {
    void (*enter)() = nullptr;
    void (*leave)() = nullptr;
};
void setCallbackHooks(const CallbackHooks& hooks);

// An event list as a host hands it over: the VstEvents header and its entries in one
// block of words, so that every pointer is aligned. Built before the call it serves.
class EventList {
public:
    explicit EventList(const std::vector<VstEvent*>& events = {});
    VstEvents* get() { return reinterpret_cast<VstEvents*>(storage.data()); }

private:
    std::vector<VstIntPtr> storage;
};

// The most a usable record announces. Counts beyond them are a broken record's garbage:
// a host believing them would allocate and loop without bound.
inline constexpr VstInt32 kMaxChannels = 64;
inline constexpr VstInt32 kMaxParameters = 10000;
inline constexpr VstInt32 kMaxPrograms = 10000;

// What makes a record unusable to a host, one text each: a wrong magic, a null function
// the host needs (the dispatcher, the processing function its flags promise, the
// parameter functions when it has parameters), negative or absurd counts. Empty when
// the record is sound. Every load goes through it, so no command ever calls through a
// record that fails it.
std::vector<std::string> recordFaults(const AEffect& effect);

// Output a plug-in left untouched. A host fills the outputs with this value before a
// processing call (a quiet NaN with a payload of ours: no arithmetic on our inputs
// makes it), so that samples still holding it afterwards are told from silence, which
// a plug-in may rightly write.
bool isUnwritten(float sample);
void markUnwritten(float* const* outputs, int channels, int frames);
int64_t countUnwritten(const float* const* outputs, int channels, int frames);

class Plugin;

struct LoadResult {
    std::unique_ptr<Plugin> plugin;   // null on failure
    std::string error;                // why there is no plug-in, empty on success
    std::vector<std::string> faults;  // recordFaults of the record returned, when it had any
    HostRecord record;                // what the plug-in asked while being created
    explicit operator bool() const { return plugin != nullptr; }
};

class Plugin {
public:
    // Loads the shared object at `path` (dlopen with RTLD_NOW | RTLD_LOCAL), finds its
    // entry point (VSTPluginMain, main_macho, then main) and creates one instance. A
    // record with faults is refused untouched: no call goes through it, not even
    // effClose.
    static LoadResult load(const std::string& path, const HostOptions& options = {});

    ~Plugin();  // closes
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // The record, or null once closed.
    AEffect* effect() const { return aeffect; }
    const std::string& path() const { return libraryPath; }
    bool isOpen() const { return aeffect != nullptr; }

    // Record fields; 0 once closed.
    VstInt32 magic() const { return aeffect ? aeffect->magic : 0; }
    VstInt32 numInputs() const { return aeffect ? aeffect->numInputs : 0; }
    VstInt32 numOutputs() const { return aeffect ? aeffect->numOutputs : 0; }
    VstInt32 numParams() const { return aeffect ? aeffect->numParams : 0; }
    VstInt32 numPrograms() const { return aeffect ? aeffect->numPrograms : 0; }
    VstInt32 flags() const { return aeffect ? aeffect->flags : 0; }
    VstInt32 uniqueId() const { return aeffect ? aeffect->uniqueID : 0; }

    // The dispatcher; 0 once closed.
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    // Texts, read into a generous zeroed buffer (plug-ins overrun the old limits).
    std::string effectName();
    std::string vendorString();
    std::string productString();
    std::string parameterName(VstInt32 index);
    std::string parameterLabel(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);
    std::string programName();
    // The stored name of program `index`, or nothing when the plug-in wrote none.
    std::optional<std::string> programNameIndexed(VstInt32 index, VstInt32 category = 0);
    void setProgramName(const std::string& name);
    VstIntPtr canDo(const char* text);

    VstInt32 vendorVersion();
    VstInt32 vstVersion();
    VstInt32 plugCategory();

    // Parameters through the record's entries.
    float getParameter(VstInt32 index);
    void setParameter(VstInt32 index, float value);

    void setProgram(VstInt32 index);
    VstInt32 getProgram();

    // Lifecycle. setSampleRate/setBlockSize also change what the host answers to
    // audioMasterGetSampleRate/GetBlockSize.
    void open();
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 size);
    // The block size last announced (or given when loading).
    VstInt32 blockSize() const { return options.blockSize; }
    void resume();
    void suspend();
    // open, sample rate, block size, resume: the usual start-up order.
    void start(float rate, VstInt32 size);

    // Editor rectangle, or nothing when the plug-in gives none.
    std::optional<ERect> editorRect();
    // Asks one of our bundles to draw its editor into the PNG file `path`, at `scale`
    // (0: the editor's own).
    bool snapshot(const std::string& path, float scale = 0.0f);
    // Tells the editor the host's scale, as hosts do with the vendor message 'PreS'
    // 'AeCs'; false when the plug-in does not take it.
    bool setEditorScale(float scale);
    // How a person reads parameter `index`, from our bundles' reading requests: the
    // lines of the 'OxRd' answer, and the mapping between 0..1 and the unit both ways.
    // Nothing from a plug-in that does not answer.
    std::optional<std::vector<std::string>> readingLines(VstInt32 index);
    std::optional<float> unitOfValue(VstInt32 index, float value);
    std::optional<float> valueOfUnit(VstInt32 index, float unitValue);

    // Audio. processReplacing overwrites the outputs, process adds to them; after
    // either call an advancing transport moves on by `frames`.
    void processReplacing(float** inputs, float** outputs, VstInt32 frames);
    void process(float** inputs, float** outputs, VstInt32 frames);

    // Events through effProcessEvents with a VstEvents array built here. `events` may
    // hold any event records (and null pointers) as they are handed over.
    VstIntPtr sendEvents(const std::vector<VstEvent*>& events);
    VstIntPtr sendMidi(const std::vector<MidiMessage>& messages);

    // effClose, then the library is released. Returns what effClose answered; 0 when
    // already closed.
    VstIntPtr close();

    // Host side, scriptable at any time.
    void setHostVersion(VstIntPtr version) { options.version = version; }
    void setTransport(const Transport& transport) { options.transport = transport; }
    void clearTransport() { options.transport.reset(); }  // audioMasterGetTime answers null
    const std::optional<Transport>& transport() const { return options.transport; }
    // Stop recording time masks (a long benchmark would otherwise grow the list).
    void recordTimeMasks(bool on) { recordMasks = on; }
    const HostRecord& record() const { return hostRecord; }
    void clearRecord() { hostRecord = HostRecord{}; }

    // The host's side of the callback (used by the C callback; public for it only).
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

private:
    explicit Plugin(const HostOptions& options);
    void advanceTransport(VstInt32 frames);
    std::string readText(VstInt32 opcode, VstInt32 index = 0);

    std::recursive_mutex answering;  // plug-ins may call back from two threads
    HostOptions options;
    HostRecord hostRecord;
    bool recordMasks = true;
    std::string libraryPath;
    void* library = nullptr;
    AEffect* aeffect = nullptr;
    VstTimeInfo timeInfo{};
};

}  // namespace orvex::vsthost
