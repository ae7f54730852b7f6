// The CLAP binaries as a host drives them, through the clap_entry of build/clap/<name>.clap
// loaded with dlopen: the descriptor and extensions, every row's value and text both
// ways, a parameter event taking effect at its frame, the solos' own changes told to
// the host, the state, the transport against the VST 2.x bundle, the real-time rules,
// and the factory programs through preset discovery and preset-load.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/clap.h"
#include "tools/validate/rtwatch.h"
#include "tools/vsthost/vsthost.h"

namespace {

// The host's side: its extensions count what the plug-in asks of them.
struct TestHost {
    clap_host_t record{};
    int flushRequests = 0, rescans = 0, callbacks = 0;
    std::vector<std::string> presetsLoaded;

    static TestHost& of(const clap_host_t* h) { return *static_cast<TestHost*>(h->host_data); }
    TestHost() {
        record.clap_version = CLAP_VERSION;
        record.host_data = this;
        record.name = "Orvex CLAP test";
        record.version = "1";
        record.get_extension = [](const clap_host_t*, const char* id) -> const void* {
            if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
            if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &kPresetLoad;
            return nullptr;
        };
        record.request_restart = record.request_process = [](const clap_host_t*) {};
        record.request_callback = [](const clap_host_t* h) { ++of(h).callbacks; };
    }
    static constexpr clap_host_params_t kParams{
        [](const clap_host_t* h, clap_param_rescan_flags) { ++of(h).rescans; },
        [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
        [](const clap_host_t* h) { ++of(h).flushRequests; }};
    static constexpr clap_host_preset_load_t kPresetLoad{
        [](const clap_host_t*, uint32_t, const char*, const char*, int32_t, const char*) {},
        [](const clap_host_t* h, uint32_t, const char*, const char* key) { of(h).presetsLoaded.push_back(key); }};
};

// The host's events for one call, in frame order; kept as bytes so any event fits.
class InEvents {
public:
    InEvents() {
        record.ctx = this;
        record.size = [](const clap_input_events_t* l) { return static_cast<uint32_t>(self(l).events.size()); };
        record.get = [](const clap_input_events_t* l, uint32_t i) {
            return reinterpret_cast<const clap_event_header_t*>(self(l).events.at(i).data());
        };
    }
    template <class Event>
    void add(const Event& event) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&event);
        events.emplace_back(bytes, bytes + sizeof event);
    }
    void param(uint32_t at, clap_id id, double value) {
        clap_event_param_value_t e{};
        e.header = {sizeof e, at, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        e.param_id = id;
        e.note_id = -1, e.port_index = e.channel = e.key = -1;
        e.value = value;
        add(e);
    }
    void midi(uint32_t at, uint8_t status, uint8_t data1, uint8_t data2) {
        clap_event_midi_t e{};
        e.header = {sizeof e, at, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
        e.data[0] = status, e.data[1] = data1, e.data[2] = data2;
        add(e);
    }
    void clear() { events.clear(); }
    const clap_input_events_t* get() const { return &record; }

private:
    static InEvents& self(const clap_input_events_t* l) { return *static_cast<InEvents*>(l->ctx); }
    clap_input_events_t record{};
    std::vector<std::vector<uint8_t>> events;
};

// What the plug-in sends: kept without allocating while there is room.
class OutEvents {
public:
    struct Told {
        uint16_t type;
        uint32_t time;
        clap_id id;
        double value;
        uint32_t flags;
    };
    OutEvents() {
        told.reserve(4096);
        record.ctx = this;
        record.try_push = [](const clap_output_events_t* l, const clap_event_header_t* e) {
            auto& self = *static_cast<OutEvents*>(l->ctx);
            if (self.told.size() == self.told.capacity()) return false;
            if (e->type == CLAP_EVENT_PARAM_VALUE) {
                const auto& v = *reinterpret_cast<const clap_event_param_value_t*>(e);
                self.told.push_back({e->type, e->time, v.param_id, v.value, e->flags});
            } else if (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || e->type == CLAP_EVENT_PARAM_GESTURE_END) {
                self.told.push_back(
                    {e->type, e->time, reinterpret_cast<const clap_event_param_gesture_t*>(e)->param_id, 0, e->flags});
            }
            return true;
        };
    }
    const clap_output_events_t* get() const { return &record; }
    std::vector<Told> told;

private:
    clap_output_events_t record{};
};

std::vector<float> signal(int frames, float phase) {
    std::vector<float> s(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) s[i] = 0.5f * std::sin(0.01f * i + phase) + 0.25f * std::sin(0.37f * i);
    return s;
}

class ClapFace : public testing::TestWithParam<const char*> {
protected:
    static constexpr double kRate = 48000.0;
    static constexpr uint32_t kMaxFrames = 512;

    void SetUp() override {
        const std::string path = std::string(ORVEX_BINARY_DIR) + "/clap/" + GetParam() + ".clap";
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ASSERT_NE(library, nullptr) << dlerror();
        entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(clap_version_is_compatible(entry->clap_version));
        ASSERT_TRUE(entry->init(path.c_str()));
        factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        ASSERT_NE(factory, nullptr);
    }
    void TearDown() override {
        for (const clap_plugin_t* p : plugins) p->destroy(p);
        if (entry) entry->deinit();
        if (library) dlclose(library);
    }
    std::string id() const { return std::string("com.harmoxel.orvex.") + GetParam(); }

    // A plug-in made, initialised and activated; destroyed with the test.
    const clap_plugin_t* make(bool activate = true) {
        const clap_plugin_t* p = factory->create_plugin(factory, &host.record, id().c_str());
        if (!p || !p->init(p)) return nullptr;
        plugins.push_back(p);
        if (activate && (!p->activate(p, kRate, 1, kMaxFrames) || !p->start_processing(p))) return nullptr;
        return p;
    }
    template <class Ext>
    const Ext* ext(const clap_plugin_t* p, const char* name) {
        return static_cast<const Ext*>(p->get_extension(p, name));
    }
    const clap_plugin_params_t* params(const clap_plugin_t* p) { return ext<clap_plugin_params_t>(p, CLAP_EXT_PARAMS); }
    clap_id paramNamed(const clap_plugin_t* p, const std::string& name) {
        for (uint32_t i = 0; i < params(p)->count(p); ++i) {
            clap_param_info_t info{};
            if (params(p)->get_info(p, i, &info) && name == info.name) return info.id;
        }
        ADD_FAILURE() << "no parameter " << name;
        return 0;
    }

    // One process call over `frames` of `in` from `at` (both channels), writing `left`
    // and `right`.
    clap_process_status run(const clap_plugin_t* p, const std::vector<float>& in, std::vector<float>& left,
                            std::vector<float>& right, uint32_t at, uint32_t frames, const InEvents& events,
                            OutEvents& out, const clap_event_transport_t* transport = nullptr) {
        float* inputs[2] = {const_cast<float*>(in.data()) + at, const_cast<float*>(in.data()) + at};
        float* outputs[2] = {left.data() + at, right.data() + at};
        clap_audio_buffer_t input{inputs, nullptr, 2, 0, 0}, output{outputs, nullptr, 2, 0, 0};
        clap_process_t process{-1, frames, transport, &input, &output, 1, 1, events.get(), out.get()};
        return p->process(p, &process);
    }
    // The left output of `in` in calls of `block` frames, `first` given to the first.
    std::vector<float> render(const clap_plugin_t* p, const std::vector<float>& in, uint32_t block,
                              const InEvents& first) {
        std::vector<float> left(in.size()), right(in.size());
        InEvents none;
        OutEvents out;
        for (uint32_t at = 0; at < in.size(); at += block)
            EXPECT_EQ(run(p, in, left, right, at, std::min<uint32_t>(block, static_cast<uint32_t>(in.size()) - at),
                          at == 0 ? first : none, out),
                      CLAP_PROCESS_CONTINUE);
        return left;
    }

    void* library = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_factory_t* factory = nullptr;
    TestHost host;
    std::vector<const clap_plugin_t*> plugins;
};

TEST_P(ClapFace, DescribesItselfAndRefusesOtherHostsAndIds) {
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
    EXPECT_EQ(d->id, id());
    EXPECT_EQ(std::string(d->vendor), "Harmoxel");
    EXPECT_EQ(std::string(d->version), "1.0.0");
    const std::string name = GetParam();
    EXPECT_EQ(std::string(d->name), name == "panner"       ? "Orvex Space"
                                    : name == "distortion" ? "Orvex Force"
                                    : name == "filter"     ? "Orvex Filter"
                                                           : "Orvex Phase");
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f; ++f) features.push_back(*f);
    const std::string own = name == "panner" ? "mixing" : name;
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "stereo", own}));
    // A second init/deinit pair keeps the first's factory.
    ASSERT_TRUE(entry->init(""));
    entry->deinit();
    EXPECT_EQ(factory->get_plugin_count(factory), 1u);

    EXPECT_EQ(factory->create_plugin(factory, &host.record, "com.harmoxel.orvex.other"), nullptr);
    TestHost old;
    old.record.clap_version = {0, 19, 0};
    EXPECT_EQ(factory->create_plugin(factory, &old.record, id().c_str()), nullptr);

    const clap_plugin_t* p = make();
    ASSERT_NE(p, nullptr);
    for (const char* e : {CLAP_EXT_AUDIO_PORTS, CLAP_EXT_NOTE_PORTS, CLAP_EXT_PARAMS, CLAP_EXT_STATE, CLAP_EXT_LATENCY,
                          CLAP_EXT_PRESET_LOAD})
        EXPECT_NE(p->get_extension(p, e), nullptr) << e;
    EXPECT_EQ(p->get_extension(p, "clap.unknown"), nullptr);
    const auto* audio = ext<clap_plugin_audio_ports_t>(p, CLAP_EXT_AUDIO_PORTS);
    for (bool input : {true, false}) {
        ASSERT_EQ(audio->count(p, input), 1u);
        clap_audio_port_info_t info{};
        ASSERT_TRUE(audio->get(p, 0, input, &info));
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_EQ(info.flags & CLAP_AUDIO_PORT_IS_MAIN, static_cast<uint32_t>(CLAP_AUDIO_PORT_IS_MAIN));
        EXPECT_EQ(std::string(info.port_type), CLAP_PORT_STEREO);
        EXPECT_FALSE(audio->get(p, 1, input, &info));
    }
    const auto* notes = ext<clap_plugin_note_ports_t>(p, CLAP_EXT_NOTE_PORTS);
    ASSERT_EQ(notes->count(p, true), 1u);
    EXPECT_EQ(notes->count(p, false), 0u);
    clap_note_port_info_t note{};
    ASSERT_TRUE(notes->get(p, 0, true, &note));
    EXPECT_EQ(note.preferred_dialect, static_cast<uint32_t>(CLAP_NOTE_DIALECT_MIDI));
    EXPECT_TRUE(note.supported_dialects & CLAP_NOTE_DIALECT_CLAP);
    EXPECT_EQ(ext<clap_plugin_latency_t>(p, CLAP_EXT_LATENCY)->get(p), 0u);
}

// Every row: its range, and each value's text read back selects the same value (a
// step exactly, a continuous value one showing the same text).
TEST_P(ClapFace, EveryRowsValueAndTextBothWays) {
    const clap_plugin_t* p = make();
    ASSERT_NE(p, nullptr);
    const clap_plugin_params_t* prm = params(p);
    ASSERT_GT(prm->count(p), 0u);
    for (uint32_t i = 0; i < prm->count(p); ++i) {
        clap_param_info_t info{};
        ASSERT_TRUE(prm->get_info(p, i, &info));
        EXPECT_EQ(info.id, i);
        EXPECT_TRUE(info.flags & CLAP_PARAM_IS_AUTOMATABLE);
        const bool stepped = info.flags & CLAP_PARAM_IS_STEPPED;
        EXPECT_LE(info.min_value, info.default_value);
        EXPECT_GE(info.max_value, info.default_value);
        double now = NAN;
        ASSERT_TRUE(prm->get_value(p, info.id, &now));
        EXPECT_EQ(now, info.default_value) << info.name;
        std::vector<double> values;
        if (stepped)
            for (double v = info.min_value; v <= info.max_value; ++v) values.push_back(v);
        else
            for (int k = 0; k <= 20; ++k) values.push_back(k / 20.0);
        for (double v : values) {
            char text[256] = {}, again[256] = {};
            ASSERT_TRUE(prm->value_to_text(p, info.id, v, text, sizeof text));
            double back = NAN;
            ASSERT_TRUE(prm->text_to_value(p, info.id, text, &back)) << info.name << ": \"" << text << "\"";
            ASSERT_TRUE(prm->value_to_text(p, info.id, back, again, sizeof again));
            EXPECT_STREQ(again, text) << info.name << " at " << v;
            if (stepped) {
                EXPECT_EQ(back, v) << info.name << ": \"" << text << "\"";
            }
        }
        double ignored = 0;
        EXPECT_FALSE(prm->text_to_value(p, info.id, "not a value", &ignored)) << info.name;
    }
    clap_param_info_t info{};
    EXPECT_FALSE(prm->get_info(p, prm->count(p), &info));
}

// A parameter event at frame k sounds as a render cut there with the value set
// between the two calls, and not as one without it.
TEST_P(ClapFace, ParameterEventTakesEffectAtItsFrame) {
    constexpr uint32_t kFrames = 2048, kAt = 700;
    const std::vector<float> in = signal(kFrames, 0.3f);
    const clap_plugin_t* a = make();
    const clap_plugin_t* b = make();
    const clap_plugin_t* c = make();
    ASSERT_TRUE(a && b && c);
    const clap_id mix = paramNamed(a, "Mix");
    InEvents at, atStart, none;
    at.param(kAt, mix, 0.0);
    atStart.param(0, mix, 0.0);
    std::vector<float> la(kFrames), ra(kFrames), lb(kFrames), rb(kFrames);
    OutEvents out;
    run(a, in, la, ra, 0, kFrames, at, out);
    run(b, in, lb, rb, 0, kAt, none, out);
    run(b, in, lb, rb, kAt, kFrames - kAt, atStart, out);
    EXPECT_EQ(la, lb);
    EXPECT_EQ(ra, rb);
    EXPECT_TRUE(out.told.empty());  // the host's own change is not told back
    const std::vector<float> plain = render(c, in, kFrames, none);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + kAt, la.begin()));
    EXPECT_NE(std::vector<float>(plain.begin() + kAt, plain.end()), std::vector<float>(la.begin() + kAt, la.end()));
    double value = 1;
    ASSERT_TRUE(params(a)->get_value(a, mix, &value));
    EXPECT_EQ(value, 0.0);
}

// A MIDI controller moving the Mix (each plug-in's own number) is told to the host at
// its frame, as a change not to record as automation.
TEST_P(ClapFace, AControllerIsToldAtItsFrameNotToRecord) {
    const std::string name = GetParam();
    const uint8_t controller = name == "distortion" ? 18 : name == "panner" ? 69 : name == "filter" ? 59 : 56;
    const clap_plugin_t* p = make();
    ASSERT_NE(p, nullptr);
    const std::vector<float> in = signal(512, 0.4f);
    std::vector<float> l(512), r(512);
    InEvents events;
    events.midi(100, 0xB0, controller, 0);
    OutEvents out;
    run(p, in, l, r, 0, 512, events, out);
    ASSERT_EQ(out.told.size(), 1u);
    EXPECT_EQ(out.told[0].id, paramNamed(p, "Mix"));
    EXPECT_EQ(out.told[0].value, 0.0);
    EXPECT_EQ(out.told[0].time, 100u);
    EXPECT_EQ(out.told[0].flags, static_cast<uint32_t>(CLAP_EVENT_DONT_RECORD));
}

// Null and mismatched buffers: silence where there is an output, no crash.
TEST_P(ClapFace, SurvivesMissingOrMismatchedBuffers) {
    const clap_plugin_t* p = make();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->process(p, nullptr), CLAP_PROCESS_ERROR);
    std::vector<float> mono(256, 0.5f), out(256, 1.0f);
    float* one[1] = {mono.data()};
    float* outs[1] = {out.data()};
    clap_audio_buffer_t input{one, nullptr, 1, 0, 0}, output{outs, nullptr, 1, 0, 0};
    InEvents none;
    OutEvents told;
    clap_process_t process{-1, 256, nullptr, &input, &output, 1, 1, none.get(), told.get()};
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(out, std::vector<float>(256, 0.0f));
    clap_process_t empty{-1, 256, nullptr, nullptr, nullptr, 0, 0, nullptr, nullptr};
    EXPECT_EQ(p->process(p, &empty), CLAP_PROCESS_CONTINUE);
}

INSTANTIATE_TEST_SUITE_P(Plugins, ClapFace, testing::Values("panner", "distortion", "filter", "phaser"));

// The solos: one switched on by the host turns the one that played off, and the host
// is told so at that frame; the host's own change is not told back.
class ClapSolo : public ClapFace {};

TEST_P(ClapSolo, ASoloTurnsTheOtherOffAndTellsTheHost) {
    const bool panner = std::string(GetParam()) == "panner";
    const clap_plugin_t* p = make();
    ASSERT_NE(p, nullptr);
    const clap_id low = paramNamed(p, panner ? "LowSolo" : "Low Solo"), mid = paramNamed(p, panner ? "MidSolo" : "Mid Solo");
    const std::vector<float> in = signal(512, 0.1f);
    std::vector<float> l(512), r(512);
    InEvents events;
    events.param(10, low, 1.0);
    events.param(300, mid, 1.0);
    OutEvents out;
    run(p, in, l, r, 0, 512, events, out);
    ASSERT_EQ(out.told.size(), 1u);
    EXPECT_EQ(out.told[0].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(out.told[0].id, low);
    EXPECT_EQ(out.told[0].value, 0.0);
    EXPECT_EQ(out.told[0].time, 300u);
    double value = -1;
    ASSERT_TRUE(params(p)->get_value(p, low, &value));
    EXPECT_EQ(value, 0.0);
    ASSERT_TRUE(params(p)->get_value(p, mid, &value));
    EXPECT_EQ(value, 1.0);
}

INSTANTIATE_TEST_SUITE_P(ThreeBand, ClapSolo, testing::Values("panner", "distortion"));

// The state ---------------------------------------------------------------------------

struct Stream {
    std::vector<uint8_t> bytes;
    std::size_t at = 0;
    std::size_t most = SIZE_MAX;  // bytes per call, to play a host that moves few at a time
    clap_ostream_t out{this, [](const clap_ostream_t* s, const void* data, uint64_t size) -> int64_t {
                           auto& self = *static_cast<Stream*>(s->ctx);
                           const std::size_t n = std::min<std::size_t>(size, self.most);
                           self.bytes.insert(self.bytes.end(), static_cast<const uint8_t*>(data),
                                             static_cast<const uint8_t*>(data) + n);
                           return static_cast<int64_t>(n);
                       }};
    clap_istream_t in{this, [](const clap_istream_t* s, void* data, uint64_t size) -> int64_t {
                          auto& self = *static_cast<Stream*>(s->ctx);
                          const std::size_t n = std::min({static_cast<std::size_t>(size), self.most, self.bytes.size() - self.at});
                          if (n > 0) std::memcpy(data, self.bytes.data() + self.at, n);
                          self.at += n;
                          return static_cast<int64_t>(n);
                      }};
};

TEST_P(ClapFace, StateRoundTripsAndRefusesBrokenStreams) {
    const clap_plugin_t* a = make();
    const clap_plugin_t* b = make();
    const clap_plugin_t* fresh = make();
    ASSERT_TRUE(a && b && fresh);
    const auto* state = ext<clap_plugin_state_t>(a, CLAP_EXT_STATE);
    // Every value away from its default, as the host would set them.
    InEvents set;
    for (uint32_t i = 0; i < params(a)->count(a); ++i) {
        clap_param_info_t info{};
        params(a)->get_info(a, i, &info);
        set.param(0, info.id, info.flags & CLAP_PARAM_IS_STEPPED ? std::fmod(info.default_value + 1, info.max_value + 1)
                                                                 : std::fmod(info.default_value + 0.37, 1.0));
    }
    const std::vector<float> in = signal(4096, 0.9f);
    render(a, std::vector<float>(256), 256, set);
    Stream saved;
    saved.most = 5;  // the host takes five bytes at a time
    ASSERT_TRUE(state->save(a, &saved.out));
    saved.at = 0;
    ASSERT_TRUE(state->load(b, &saved.in));
    render(b, std::vector<float>(256), 256, InEvents{});
    InEvents none;
    EXPECT_EQ(render(a, in, 512, none), render(b, in, 512, none));
    EXPECT_NE(render(a, in, 512, none), render(fresh, in, 512, none));

    // Broken streams leave the instance as it was: its state reads the same, and it
    // sounds as its twin, which was given none.
    const clap_plugin_t* twin = make();
    ASSERT_NE(twin, nullptr);
    render(twin, in, 512, none);
    Stream before;
    ASSERT_TRUE(state->save(fresh, &before.out));
    std::vector<std::vector<uint8_t>> broken;
    for (std::size_t n : {std::size_t{0}, std::size_t{3}, std::size_t{11}, saved.bytes.size() - 1})
        broken.emplace_back(saved.bytes.begin(), saved.bytes.begin() + static_cast<long>(n));
    broken.push_back(saved.bytes), broken.back().push_back(0);  // one byte too many
    broken.push_back(saved.bytes), broken.back()[0] ^= 1;       // not our magic
    broken.push_back(saved.bytes), broken.back()[4] = 9;        // an unknown version
    broken.push_back(saved.bytes), broken.back()[12] = 200;     // an id past the rows
    broken.push_back(saved.bytes), broken.back()[20] = 0;       // the first id twice
    broken.push_back(saved.bytes), std::memset(&broken.back()[16], 0xFF, 4);  // a NaN value
    for (std::size_t k = 0; k < broken.size(); ++k) {
        Stream garbled;
        garbled.bytes = broken[k];
        EXPECT_FALSE(state->load(fresh, &garbled.in)) << "stream " << k;
    }
    Stream after;
    ASSERT_TRUE(state->save(fresh, &after.out));
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(render(fresh, in, 512, none), render(twin, in, 512, none));
}

// Preset discovery and preset-load ----------------------------------------------------

struct Found {
    std::vector<clap_preset_discovery_location_t> locations;
    std::vector<std::pair<std::string, std::string>> presets;  // name, load key
    std::vector<std::string> pluginIds;
};

TEST_P(ClapFace, DiscoveryListsTheFactoryProgramsAndPresetLoadLoadsOne) {
    const auto* discovery =
        static_cast<const clap_preset_discovery_factory_t*>(entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    ASSERT_NE(discovery, nullptr);
    ASSERT_EQ(discovery->count(discovery), 1u);
    const clap_preset_discovery_provider_descriptor_t* d = discovery->get_descriptor(discovery, 0);
    ASSERT_NE(d, nullptr);
    Found found;
    clap_preset_discovery_indexer_t indexer{CLAP_VERSION, "test", "", "", "", &found, nullptr, nullptr, nullptr, nullptr};
    indexer.declare_location = [](const clap_preset_discovery_indexer_t* i, const clap_preset_discovery_location_t* l) {
        static_cast<Found*>(i->indexer_data)->locations.push_back(*l);
        return true;
    };
    const clap_preset_discovery_provider_t* provider = discovery->create(discovery, &indexer, d->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(found.locations.size(), 1u);
    EXPECT_EQ(found.locations[0].kind, static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
    EXPECT_EQ(found.locations[0].location, nullptr);
    clap_preset_discovery_metadata_receiver_t receiver{};
    receiver.receiver_data = &found;
    receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r, const char* name, const char* key) {
        static_cast<Found*>(r->receiver_data)->presets.emplace_back(name, key);
        return true;
    };
    receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* r, const clap_universal_plugin_id_t* id) {
        static_cast<Found*>(r->receiver_data)->pluginIds.push_back(std::string(id->abi) + ":" + id->id);
    };
    ASSERT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &receiver));
    provider->destroy(provider);

    // The VST 2.x bundle's programs of the same numbers: the same names and values.
    const std::string name = GetParam();
    auto vst = orvex::vsthost::Plugin::load(ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so");
    ASSERT_TRUE(vst) << vst.error;
    const std::size_t expected = name == "phaser" ? 8 : 1;
    ASSERT_EQ(found.presets.size(), expected);
    EXPECT_EQ(found.pluginIds, std::vector<std::string>(expected, "clap:" + id()));
    const clap_plugin_t* p = make();
    ASSERT_NE(p, nullptr);
    // Rows whose display shows what the effect last computed (the filter's swept Cutoff
    // and Resonance) rather than the value: their texts are the reading's, not compared.
    std::vector<bool> showsValue;
    auto probe = orvex::vsthost::Plugin::load(ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so");
    ASSERT_TRUE(probe) << probe.error;
    for (uint32_t i = 0; i < params(p)->count(p); ++i) {
        probe.plugin->setParameter(static_cast<VstInt32>(i), 0.0f);
        const std::string low = probe.plugin->parameterDisplay(static_cast<VstInt32>(i));
        probe.plugin->setParameter(static_cast<VstInt32>(i), 1.0f);
        showsValue.push_back(probe.plugin->parameterDisplay(static_cast<VstInt32>(i)) != low);
    }
    const auto* load = ext<clap_plugin_preset_load_t>(p, CLAP_EXT_PRESET_LOAD);
    for (const auto& [presetName, key] : found.presets) {
        const int number = std::stoi(key);
        vst.plugin->setProgram(number);
        EXPECT_EQ(presetName, vst.plugin->programName());
        ASSERT_TRUE(load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, key.c_str()));
        OutEvents out;
        params(p)->flush(p, InEvents{}.get(), out.get());
        for (uint32_t i = 0; i < params(p)->count(p); ++i) {
            clap_param_info_t info{};
            params(p)->get_info(p, i, &info);
            double value = 0;
            ASSERT_TRUE(params(p)->get_value(p, i, &value));
            char clapText[256] = {};
            params(p)->value_to_text(p, i, value, clapText, sizeof clapText);
            const std::string vstText = vst.plugin->parameterDisplay(static_cast<VstInt32>(i));
            if (!showsValue[i]) continue;
            EXPECT_EQ(std::string(clapText).rfind(vstText.substr(0, vstText.find_last_not_of(' ') + 1), 0), 0u)
                << presetName << ", " << info.name << ": " << clapText << " / " << vstText;
        }
    }
    EXPECT_EQ(host.presetsLoaded.size(), expected);
    EXPECT_FALSE(load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "99"));
    EXPECT_FALSE(load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp/x", "1"));
}

// The transport --------------------------------------------------------------------------

// The tempo-following plug-ins under a playing CLAP transport sound sample for sample as
// the VST 2.x bundle given the same time by tools/vsthost.
class ClapTransport : public ClapFace {};

TEST_P(ClapTransport, FollowsTheTransportAsTheVstFaceDoes) {
    const bool filter = std::string(GetParam()) == "filter";
    constexpr double kTempo = 128.0;
    constexpr uint32_t kBlock = 512;
    constexpr int kFrames = 192 * kBlock;  // two seconds and a little
    // The LFOs at full depth and mixed in, by their MIDI controllers.
    std::vector<orvex::vsthost::MidiMessage> midi;
    for (uint8_t controller : filter ? std::vector<uint8_t>{57, 59} : std::vector<uint8_t>{53, 58, 63, 69})
        midi.push_back({0xB0, controller, 127});
    if (filter)
        for (uint8_t controller : {55, 60}) midi.push_back({0xB0, controller, 64});
    const std::vector<float> in = signal(kFrames, 0.7f);

    orvex::vsthost::HostOptions options;
    options.sampleRate = static_cast<float>(kRate);
    options.blockSize = kBlock;
    orvex::vsthost::Transport t;
    t.tempo = kTempo;
    t.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    t.advance = true;
    options.transport = t;
    const std::string name = GetParam();
    auto vst = orvex::vsthost::Plugin::load(ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so", options);
    ASSERT_TRUE(vst) << vst.error;
    vst.plugin->start(static_cast<float>(kRate), kBlock);
    vst.plugin->sendMidi(midi);
    std::vector<float> vstLeft(kFrames);
    for (int at = 0; at < kFrames; at += static_cast<int>(kBlock)) {
        orvex::vsthost::AudioBuffers input(2, kBlock), output(2, kBlock);
        std::copy_n(in.begin() + at, kBlock, input[0].begin());
        std::copy_n(in.begin() + at, kBlock, input[1].begin());
        vst.plugin->processReplacing(input.data(), output.data(), kBlock);
        std::copy_n(output[0].begin(), kBlock, vstLeft.begin() + at);
    }

    for (bool withTransport : {true, false}) {
        const clap_plugin_t* p = make();
        ASSERT_NE(p, nullptr);
        std::vector<float> left(kFrames), right(kFrames);
        InEvents first, none;
        for (const auto& m : midi) first.midi(0, m.status, m.data1, m.data2);
        OutEvents out;
        for (uint32_t at = 0; at < kFrames; at += kBlock) {
            // As a host tells it at every block: the position in fixed point.
            clap_event_transport_t time{};
            time.header = {sizeof time, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
            time.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_HAS_SECONDS_TIMELINE |
                         CLAP_TRANSPORT_HAS_TIME_SIGNATURE | CLAP_TRANSPORT_IS_PLAYING;
            const double beats = at / kRate * kTempo / 60.0;
            time.song_pos_beats = std::llround(beats * CLAP_BEATTIME_FACTOR);
            time.song_pos_seconds = std::llround(at / kRate * CLAP_SECTIME_FACTOR);
            time.tempo = kTempo;
            time.bar_start = std::llround(std::floor(beats / 4.0) * 4.0 * CLAP_BEATTIME_FACTOR);
            time.bar_number = static_cast<int32_t>(beats / 4.0);
            time.tsig_num = time.tsig_denom = 4;
            run(p, in, left, right, at, kBlock, at == 0 ? first : none, out, withTransport ? &time : nullptr);
        }
        float largest = 0;
        for (int i = 0; i < kFrames; ++i) largest = std::max(largest, std::fabs(left[i] - vstLeft[i]));
        std::printf("%s at %g BPM %s: largest difference to the VST 2.x render %g\n", name.c_str(), kTempo,
                    withTransport ? "with the transport" : "without", static_cast<double>(largest));
        if (withTransport) {
            EXPECT_EQ(largest, 0.0f);
        } else {
            EXPECT_GT(largest, 0.01f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TempoFollowing, ClapTransport, testing::Values("panner", "filter"));

// The real-time rules ---------------------------------------------------------------------

// process and flush, with every kind of event in and value events out, main-thread
// changes waiting (a preset), neither allocate nor lock.
TEST_P(ClapFace, ProcessNeitherAllocatesNorLocks) {
    namespace rt = orvex::validate::rt;
    ASSERT_TRUE(rt::interposed());
    const clap_plugin_t* p = make();
    ASSERT_NE(p, nullptr);
    const std::vector<float> in = signal(4 * kMaxFrames, 0.2f);
    std::vector<float> left(in.size()), right(in.size());
    InEvents events;
    clap_event_transport_t time{};
    time.header = {sizeof time, 100, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    time.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING;
    time.tempo = 99;
    for (uint32_t i = 0; i < params(p)->count(p); ++i) events.param(i, i, 1.0);
    events.add(time);
    events.midi(200, 0xB0, 18, 100);
    events.midi(201, 0x90, 60, 100);
    clap_event_note_t note{};
    note.header = {sizeof note, 300, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
    note.key = 64, note.velocity = 0.5;
    events.add(note);
    const auto* load = ext<clap_plugin_preset_load_t>(p, CLAP_EXT_PRESET_LOAD);
    OutEvents out;
    rt::reset();
    rt::begin();
    run(p, in, left, right, 0, kMaxFrames, events, out, &time);
    rt::end();
    // Every value at 1 now; the preset brings them back to program 0's, which the next
    // call tells the host.
    ASSERT_TRUE(load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "0"));
    rt::begin();
    run(p, in, left, right, kMaxFrames, kMaxFrames, InEvents{}, out);
    params(p)->flush(p, events.get(), out.get());
    rt::end();
    EXPECT_EQ(rt::counts().allocations, 0u);
    EXPECT_EQ(rt::counts().frees, 0u);
    EXPECT_EQ(rt::counts().locks, 0u);
    EXPECT_FALSE(out.told.empty());  // the preset's values were told
}

}  // namespace
