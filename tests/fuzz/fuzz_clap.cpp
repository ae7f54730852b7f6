// A hostile CLAP host for libFuzzer, linked with one plug-in's objects and its CLAP face
// (host/clapface.cpp), reached through the face's own clap_entry. Every input is one
// session: a header picks the rate and the longest block the plug-in is activated for,
// and the rest is read as host actions, one byte choosing each (`Action`) and the
// following bytes its arguments:
//   process     any number of frames up to twice the longest block, the buffers as
//               agreed, in place, mono, 64-bit only, null or missing; up to 24 events
//               of every core type and any other, any size the header states, any
//               frame, any value; a transport in the process record or none
//   flush       the same events without audio
//   editor      gestures and values through the instance's main-thread side
//   preset      preset-load with any key; state load of any bytes, state save
//   texts       value_to_text and text_to_value with any value and text
//   lifecycle   deactivate and activate again at another rate, reset
//
// Whatever the session does, the face must not crash, read or write past a buffer, leak,
// hang or trip the sanitizers, and these hold (a broken one aborts):
// - every output sample of a process call with buffers as agreed is written, and is
//   finite when the input was finite and bounded (after a call with non-finite input,
//   the first clean call goes unchecked, as for the other faces);
// - every value event told to the host names a parameter and lies within its range,
//   at a frame within the call (frame 0 for a flush or an empty call);
// - get_value answers every parameter within its range;
// - a state load that fails leaves the saved state as it was; one that succeeds saves
//   back to the same bytes when nothing ran between;
// - the floating-point modes come back as the host had them.
//
// Threads: everything runs on the fuzzer's one thread, playing the host's main thread
// and its audio thread in turn, never both at once.
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>

#include "clapstreams.h"
#include "host/clapface.h"

extern "C" const clap_plugin_entry_t clap_entry;

namespace orvex::fuzz {
namespace {

constexpr long kFrameBudget = 1L << 17;
const float kUnwritten = std::bit_cast<float>(0x7FA5A5A5u);
bool unwritten(float x) { return std::bit_cast<uint32_t>(x) == 0x7FA5A5A5u; }

const double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0, 22050.0, 8000.0, 768000.0, 11025.0,
                         1.0,     0.0,     -1.0,    kDoubleNaN, kDoubleInf, 1e7, 1e9, 88200.0};
const uint32_t kBlocks[] = {512, 64, 1, 4096, 1024, 128, 65536, 100000, 0, 33};

double hostileDouble(Input& in) {
    const double kValues[] = {0.0, 1.0, -1.0, 0.5, 2.0, 3.0, 13.0, 1e9, -1e9, kDoubleNaN, kDoubleInf, -kDoubleInf,
                              0.9999999, 1e-300};
    const uint8_t kind = in.byte();
    if (kind < 96) return kValues[kind % std::size(kValues)];
    if (kind < 224) return static_cast<int32_t>(in.u32()) / 65536.0;
    return in.rawDouble();
}

// The host's side the plug-in may call: every function there, counting nothing.
const clap_host_params_t kHostParams{[](const clap_host_t*, clap_param_rescan_flags) {},
                                     [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
                                     [](const clap_host_t*) {}};
clap_host_t makeHost() {
    return quietHost([](const clap_host_t*, const char* id) -> const void* {
        return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &kHostParams : nullptr;
    });
}

// Events as the host hands them: each kept in 8-byte words, as many bytes as the
// largest event, whatever size its header states.
struct Events {
    static constexpr std::size_t kMost = 24;
    struct Slot {
        alignas(8) uint8_t bytes[128];
    };
    std::vector<Slot> slots;
    clap_input_events_t record{this, [](const clap_input_events_t* l) {
                                   return static_cast<uint32_t>(static_cast<const Events*>(l->ctx)->slots.size());
                               },
                               [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
                                   const auto& self = *static_cast<const Events*>(l->ctx);
                                   return i < self.slots.size() ? reinterpret_cast<const clap_event_header_t*>(
                                                                      self.slots[i].bytes)
                                                                : nullptr;
                               }};
};

struct Told {
    std::vector<clap_event_param_value_t> values;
    bool refuse = false;  // a host whose list is full
    clap_output_events_t record{this, [](const clap_output_events_t* l, const clap_event_header_t* e) {
                                    auto& self = *static_cast<Told*>(l->ctx);
                                    if (self.refuse) return false;
                                    if (e->type == CLAP_EVENT_PARAM_VALUE)
                                        self.values.push_back(*reinterpret_cast<const clap_event_param_value_t*>(e));
                                    return true;
                                }};
};

enum Action : uint8_t {
    kProcess = 0,
    kFlush,
    kEditor,
    kPreset,
    kLoadState,
    kSaveState,
    kTexts,
    kRestart,
    kReset,
    kValues,
    kSlots = 16,
};

class Session {
public:
    explicit Session(Input& in) : in(in) {}
    ~Session() {
        if (plugin) {
            if (active) plugin->deactivate(plugin);
            plugin->destroy(plugin);
        }
        if (entered) clap_entry.deinit();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void run();

private:
    void activate();
    void process();
    void flush();
    void writeEvents(Events& events, uint32_t frames);
    void checkTold(uint32_t frames);
    void checkValues();
    void editor();
    void preset();
    void loadState();
    std::vector<uint8_t> saveState();
    void texts();

    Input& in;
    clap_host_t host = makeHost();
    bool entered = false, active = false;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    std::vector<clap_param_info_t> infos;
    uint32_t maxFrames = 0;
    long framesLeft = kFrameBudget;
    bool everBad = false;
    int cleanSinceBad = 0;
    Told told;
};

void Session::run() {
    const unsigned controlRegister = controlModes();
    FUZZ_CHECK(clap_entry.init(""), "clap_entry.init failed");
    entered = true;
    const auto* factory = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    FUZZ_CHECK(factory && factory->get_plugin_count(factory) == 1, "no plug-in factory");
    const clap_plugin_descriptor_t* descriptor = factory->get_plugin_descriptor(factory, 0);
    plugin = factory->create_plugin(factory, &host, descriptor->id);
    FUZZ_CHECK(plugin && plugin->init(plugin), "no instance");
    params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
    FUZZ_CHECK(params != nullptr, "no params extension");
    infos.resize(params->count(plugin));
    for (uint32_t i = 0; i < infos.size(); ++i) FUZZ_CHECK(params->get_info(plugin, i, &infos[i]), "no info %u", i);
    activate();
    while (!in.empty() && framesLeft > 0) {
        const uint8_t action = in.byte() % kSlots;
        switch (action) {
            case kProcess: process(); break;
            case kFlush: flush(); break;
            case kEditor: editor(); break;
            case kPreset: preset(); break;
            case kLoadState: loadState(); break;
            case kSaveState: saveState(); break;
            case kTexts: texts(); break;
            case kRestart:
                if (active) plugin->deactivate(plugin), active = false;
                trace("deactivate");
                activate();
                break;
            case kReset:
                if (active) plugin->reset(plugin);
                break;
            case kValues: checkValues(); break;
            default: break;
        }
        FUZZ_CHECK(controlModes() == controlRegister, "floating-point modes left at %#x (host had %#x)",
                   controlModes(), controlRegister);
    }
}

void Session::activate() {
    const double rate = in.pick(kRates);
    maxFrames = in.pick(kBlocks);
    active = plugin->activate(plugin, rate, 1, maxFrames);
    trace("activate at %g Hz, %u frames: %s", rate, maxFrames, active ? "active" : "refused");
    if (rate >= 8000.0 && rate <= 768000.0 && maxFrames > 0) FUZZ_CHECK(active, "activation at %g Hz refused", rate);
    if (active) plugin->start_processing(plugin);
}

void Session::writeEvents(Events& events, uint32_t frames) {
    const std::size_t count = in.below(Events::kMost + 1);
    events.slots.assign(count, {});
    for (auto& slot : events.slots) {
        const uint8_t kind = in.byte();
        const uint16_t types[] = {CLAP_EVENT_PARAM_VALUE, CLAP_EVENT_MIDI, CLAP_EVENT_NOTE_ON, CLAP_EVENT_NOTE_OFF,
                                  CLAP_EVENT_TRANSPORT, CLAP_EVENT_PARAM_MOD, CLAP_EVENT_PARAM_GESTURE_BEGIN,
                                  CLAP_EVENT_MIDI_SYSEX, CLAP_EVENT_NOTE_EXPRESSION};
        const uint16_t type = kind < 240 ? types[kind % std::size(types)] : in.u16();
        const uint32_t time = in.byte() < 200 ? in.below(frames + 1) : in.u32();
        uint32_t size = 0;
        switch (type) {
            case CLAP_EVENT_PARAM_VALUE: {
                clap_event_param_value_t e{};
                e.param_id = in.byte() < 230 ? in.below(static_cast<uint32_t>(infos.size())) : in.u32();
                e.value = hostileDouble(in);
                size = sizeof e;
                std::memcpy(slot.bytes, &e, sizeof e);
                break;
            }
            case CLAP_EVENT_MIDI: {
                clap_event_midi_t e{};
                e.data[0] = in.byte(), e.data[1] = in.byte(), e.data[2] = in.byte();
                size = sizeof e;
                std::memcpy(slot.bytes, &e, sizeof e);
                break;
            }
            case CLAP_EVENT_NOTE_ON:
            case CLAP_EVENT_NOTE_OFF: {
                clap_event_note_t e{};
                e.key = static_cast<int16_t>(in.u16()), e.channel = static_cast<int16_t>(in.u16());
                e.velocity = hostileDouble(in);
                size = sizeof e;
                std::memcpy(slot.bytes, &e, sizeof e);
                break;
            }
            case CLAP_EVENT_TRANSPORT: {
                clap_event_transport_t e{};
                e.flags = in.byte();
                e.song_pos_beats = static_cast<int64_t>(in.u64() >> in.below(64));
                e.song_pos_seconds = static_cast<int64_t>(in.u64() >> in.below(64));
                e.tempo = hostileDouble(in);
                e.bar_start = static_cast<int64_t>(in.u64() >> in.below(64));
                e.tsig_num = in.u16(), e.tsig_denom = in.u16();
                size = sizeof e;
                std::memcpy(slot.bytes, &e, sizeof e);
                break;
            }
            default:
                for (std::size_t b = sizeof(clap_event_header_t); b < 64; ++b) slot.bytes[b] = in.byte();
                size = 64;
                break;
        }
        // Now and again a size too small for the type, or another space.
        const uint8_t shape = in.byte();
        if (shape >= 240) size = in.below(size + 1);
        const clap_event_header_t header{size, time, static_cast<uint16_t>(shape >= 250 ? 1 : CLAP_CORE_EVENT_SPACE_ID),
                                         type, 0};
        std::memcpy(slot.bytes, &header, sizeof header);
    }
}

void Session::checkTold(uint32_t frames) {
    for (const clap_event_param_value_t& e : told.values) {
        FUZZ_CHECK(e.param_id < infos.size(), "value event for parameter %u", e.param_id);
        const clap_param_info_t& info = infos[e.param_id];
        FUZZ_CHECK(e.value >= info.min_value && e.value <= info.max_value, "parameter %u told %g", e.param_id, e.value);
        FUZZ_CHECK(e.header.time < std::max(frames, 1u), "value event at frame %u of %u", e.header.time, frames);
    }
    told.values.clear();
}

void Session::checkValues() {
    for (const clap_param_info_t& info : infos) {
        double value = NAN;
        FUZZ_CHECK(params->get_value(plugin, info.id, &value), "no value for %u", info.id);
        FUZZ_CHECK(value >= info.min_value && value <= info.max_value, "parameter %u holds %g", info.id, value);
    }
}

void Session::process() {
    if (!active) return;
    const uint32_t frames = in.below(2 * maxFrames + 1);
    framesLeft -= frames;
    const uint8_t layout = in.byte() % 8;
    std::vector<std::unique_ptr<float[]>> inputs, outputs;
    for (int c = 0; c < 2; ++c) {
        inputs.push_back(std::make_unique<float[]>(frames + 1));
        outputs.push_back(std::make_unique<float[]>(frames + 1));
        std::fill_n(outputs.back().get(), frames + 1, kUnwritten);
    }
    fillSignal(in, inputs, static_cast<int>(frames));
    bool bad = false;
    for (auto& channel : inputs)
        for (uint32_t i = 0; i < frames; ++i) bad = bad || !std::isfinite(channel[i]) || std::fabs(channel[i]) > kBound;
    float* inPointers[2] = {inputs[0].get(), inputs[1].get()};
    float* outPointers[2] = {outputs[0].get(), outputs[1].get()};
    if (layout == 1) outPointers[0] = inPointers[0], outPointers[1] = inPointers[1];  // in place
    clap_audio_buffer_t input{inPointers, nullptr, 2, 0, 0}, output{outPointers, nullptr, 2, 0, 0};
    uint32_t inputCount = 1, outputCount = 1;
    if (layout == 2) input.channel_count = output.channel_count = 1;
    if (layout == 3) input.data32 = output.data32 = nullptr;
    if (layout == 4) inputCount = 0;
    if (layout == 5) outPointers[1] = nullptr;
    const bool agreed = layout <= 1;
    Events events;
    writeEvents(events, frames);
    clap_event_transport_t transport{};
    const bool withTransport = in.byte() & 1;
    if (withTransport) {
        transport.flags = in.byte();
        transport.song_pos_beats = static_cast<int64_t>(in.u64() >> in.below(64));
        transport.tempo = hostileDouble(in);
        transport.tsig_num = in.u16(), transport.tsig_denom = in.u16();
    }
    told.refuse = in.byte() >= 240;
    clap_process_t p{-1, frames, withTransport ? &transport : nullptr, &input, &output, inputCount, outputCount,
                     &events.record, &told.record};
    trace("process %u frames, layout %u, %zu events", frames, layout, events.slots.size());
    FUZZ_CHECK(plugin->process(plugin, &p) == CLAP_PROCESS_CONTINUE, "process did not continue");
    checkTold(frames);
    if (!agreed) return;
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < frames; ++i)
            FUZZ_CHECK(!unwritten(outPointers[c][i]), "output %d sample %u of %u not written", c, i, frames);
    if (bad) {
        everBad = true;
        cleanSinceBad = 0;
        return;
    }
    if (!everBad || cleanSinceBad >= 1)
        for (int c = 0; c < 2; ++c)
            for (uint32_t i = 0; i < frames; ++i)
                FUZZ_CHECK(std::isfinite(outPointers[c][i]), "output %d sample %u is %g", c, i, outPointers[c][i]);
    ++cleanSinceBad;
}

void Session::flush() {
    Events events;
    writeEvents(events, 0);
    told.refuse = in.byte() >= 240;
    trace("flush, %zu events", events.slots.size());
    params->flush(plugin, &events.record, &told.record);
    checkTold(1);  // a flush tells everything at frame 0
}

void Session::editor() {
    clapface::Instance& instance = *clapface::Instance::of(plugin);
    const int id = static_cast<int>(in.below(static_cast<uint32_t>(infos.size() + 2))) - 1;
    const uint8_t what = in.byte() % 3;
    trace("editor %d: %u", id, what);
    if (what == 0) instance.beginGesture(id);
    if (what == 1) instance.setFromEditor(id, hostileFloat(in));
    if (what == 2) instance.endGesture(id);
}

void Session::preset() {
    const char* const kKeys[] = {"0", "1", "7", "8", "-1", "", "99999999999", "1x", " 2"};
    const uint32_t kind = in.byte() % 3;
    const char* key = in.pick(kKeys);
    const auto* load = static_cast<const clap_plugin_preset_load_t*>(plugin->get_extension(plugin, CLAP_EXT_PRESET_LOAD));
    trace("preset %u \"%s\"", kind, key);
    load->from_location(plugin, kind, nullptr, key);
}

std::vector<uint8_t> Session::saveState() {
    const auto* state = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
    std::vector<uint8_t> saved = savedState(plugin, *state);
    FUZZ_CHECK(saved.size() == 12 + 8 * infos.size(), "state of %zu bytes", saved.size());
    return saved;
}

void Session::loadState() {
    const auto* state = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
    StreamBytes given;
    // Often a saved state with a few bytes changed, else any bytes.
    if (in.byte() < 160) {
        given.data = saveState();
        const int changes = in.byte() % 4;
        for (int k = 0; k < changes && !given.data.empty(); ++k) given.data[in.below(static_cast<uint32_t>(given.data.size()))] = in.byte();
        if (in.byte() >= 224) given.data.resize(in.below(static_cast<uint32_t>(given.data.size() + 9)));
    } else {
        given.data.resize(in.below(512));
        for (uint8_t& b : given.data) b = in.byte();
    }
    given.most = 1 + in.below(16);
    const std::vector<uint8_t> before = saveState();
    const bool loaded = state->load(plugin, &given.in);
    trace("state load of %zu bytes: %s", given.data.size(), loaded ? "taken" : "refused");
    const std::vector<uint8_t> after = saveState();
    if (!loaded) FUZZ_CHECK(after == before, "a refused state changed the instance");
    if (loaded && given.data.size() == after.size()) FUZZ_CHECK(after == given.data, "a loaded state saves otherwise");
}

void Session::texts() {
    const uint32_t id = in.byte() < 240 ? in.below(static_cast<uint32_t>(infos.size())) : in.u32();
    char text[64] = {};
    const uint32_t size = in.byte() % 2 ? sizeof text : in.below(sizeof text);
    const bool shown = params->value_to_text(plugin, id, hostileDouble(in), text, size);
    if (shown && size > 0) FUZZ_CHECK(std::memchr(text, 0, size) != nullptr, "text not terminated");
    char given[32] = {};
    for (std::size_t i = 0; i + 1 < sizeof given && in.byte() >= 16; ++i) given[i] = static_cast<char>(in.byte());
    double value = 0;
    if (params->text_to_value(plugin, id, in.byte() & 1 ? given : text, &value) && id < infos.size())
        FUZZ_CHECK(value >= infos[id].min_value && value <= infos[id].max_value, "text read as %g", value);
}

}  // namespace
}  // namespace orvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return orvex::fuzz::runSession<orvex::fuzz::Session>(data, size);
}
