// The CLAP face of a plug-in: one clap_plugin over the plug-in's effect without its
// editor (host/clapface.cpp, compiled once per plug-in with ORVEX_CLAP_NAME). What is
// declared here is the instance's main-thread side an editor builds on: the values the
// host reads (get_value) and the changes the editor makes, which reach the audio thread
// through a fixed lock-free queue and the host as gesture and value events.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "clap.h"
#include "effectshell.h"
#include "hosttime.h"

namespace orvex::clapface {

struct Editor;

// The host callback the face's effects (and the editor's model) are made with: a 2.4
// host offering the time the CLAP transport gave, to an effect whose `user` is its
// instance. Any thread; the time is asked for on the audio thread, during process.
VstIntPtr faceCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

// A change the main thread hands the audio thread.
struct Change {
    enum Kind : uint8_t {
        kEdit,        // a user's change: applied and reported to the host
        kHostValue,   // a value the host already knows (a restored state): applied only
        kBeginGesture,
        kEndGesture,
    };
    Kind kind;
    uint32_t id;
    float value;  // 0..1, as the effect holds it
};

// One producer (the main thread), one consumer (the audio thread, or the main thread
// while the instance is inactive). Fixed size: pushing never allocates.
class ChangeQueue {
public:
    static constexpr uint32_t kSize = 1024;  // a power of two
    uint32_t space() const {
        return kSize - (head.load(std::memory_order_relaxed) - tail.load(std::memory_order_acquire));
    }
    bool push(const Change& change) {
        const uint32_t h = head.load(std::memory_order_relaxed);
        if (h - tail.load(std::memory_order_acquire) >= kSize) return false;
        slots[h % kSize] = change;
        head.store(h + 1, std::memory_order_release);
        return true;
    }
    bool pop(Change& change) {
        const uint32_t t = tail.load(std::memory_order_relaxed);
        if (t == head.load(std::memory_order_acquire)) return false;
        change = slots[t % kSize];
        tail.store(t + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<Change, kSize> slots{};
    std::atomic<uint32_t> head{0}, tail{0};
};

class Instance {
public:
    // `functions`: the record's descriptor and functions; its plugin_data becomes this.
    Instance(const clap_host_t* host, const clap_plugin_t& functions);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    const clap_plugin_t* plugin() const { return &record; }
    static Instance* of(const clap_plugin_t* plugin) {
        return plugin ? static_cast<Instance*>(plugin->plugin_data) : nullptr;
    }

    // The main thread's side, for the host's calls and an editor ---------------------
    int numParams() const { return static_cast<int>(shown.size()); }
    // Parameter `id`'s value (0..1) as the main thread knows it: the host's and the
    // editor's changes at once, the effect's own (a solo turning another off, a MIDI
    // controller) once a block has run.
    float valueOf(int id) const { return shown[id].load(std::memory_order_relaxed); }
    // A user's change in the editor, in a gesture: applied at the start of the next
    // process or flush and told to the host there (gesture begin, the values, gesture
    // end). False when the queue is full (the change is lost, the value not shown).
    bool beginGesture(int id);
    bool setFromEditor(int id, float value);
    bool endGesture(int id);
    // The text a value (0..1) of parameter `id` shows, with its unit: "250.00 Hz". Main
    // thread only: it is read off a model effect the value is set on.
    std::string textOf(int id, float value);
    // Row `id` of the plug-in's table (a valid id): name, label, default, reading.
    const ParameterInfo& rowOf(int id) const { return model->parameterInfo(id); }
    // The host's tempo (-1 while it gives none), as the audio thread last saw it.
    float hostTempo() const;
    const clap_host_t* clapHost() const { return host; }
    // The editor the host had made (host/clapgui.cpp), while it exists.
    Editor* editor = nullptr;

    // The record's functions (the threads are the standard's, see host/clap.h).
    bool init();
    bool activate(double rate, uint32_t maxFrames);
    void deactivate();
    void reset();
    clap_process_status process(const clap_process_t& process);
    void flush(const clap_input_events_t* in, const clap_output_events_t* out);
    bool save(const clap_ostream_t& stream) const;
    bool load(const clap_istream_t& stream);
    bool loadProgram(int program);
    void presetLoaded(uint32_t kind, const char* key) const;
    bool paramInfo(uint32_t index, clap_param_info_t& info) const;
    bool paramValue(clap_id id, double& value) const;
    bool valueToText(clap_id id, double value, char* text, uint32_t size);
    bool textToValue(clap_id id, const char* text, double* value);

    // The effect's callback asks this for the time (audio thread, during a piece).
    const VstTimeInfo* timeInfo();

private:
    // Audio thread (or main while inactive).
    void drainChanges(const clap_output_events_t* out);
    void handleEvent(const clap_event_header_t& event, uint32_t at, const clap_output_events_t* out);
    void takeTransport(const clap_event_transport_t& transport);
    void report(uint32_t time, const clap_output_events_t* out, uint32_t flags = 0);
    void handMidi(uint8_t status, uint8_t data1, uint8_t data2);
    bool pushGesture(Change::Kind kind, uint32_t id, uint32_t time, const clap_output_events_t* out);
    void hostChanged(int id, float value);
    // Main thread: hands a set of changes over, or applies them while inactive.
    bool hand(const Change* changes, std::size_t count);
    void requestFlush() const;

    clap_plugin_t record{};
    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_preset_load_t* hostPresetLoad = nullptr;
    std::unique_ptr<EffectShell> effect;
    // Main thread: the texts of values are the effect's own displays, read off a model
    // the value is set on.
    std::unique_ptr<EffectShell> model;
    std::vector<bool> displaysValue;  // of each row, whether its display shows the value given
    std::atomic<bool> active{false};
    HostTime time;
    uint32_t longestPiece = 1;
    // Audio thread: each parameter's value as the host last knows it (its own event or
    // our report). A value the effect holds otherwise is reported.
    std::vector<float> told;
    // The main thread's values (see valueOf).
    std::unique_ptr<std::atomic<float>[]> shownStore;
    std::span<std::atomic<float>> shown;
    ChangeQueue changes;
};

}  // namespace orvex::clapface
