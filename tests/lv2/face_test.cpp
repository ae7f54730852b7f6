// The LV2 binaries as a host drives them, loaded with dlopen: in-place processing gives
// what separate buffers give, one long run what the same samples in short runs give,
// and nothing a host may send (unconnected ports, NaN controls, empty runs, a bad
// sample rate, malformed atoms) breaks them. MIDI and the host's transport through the
// atom input sound as the VST 2.x bundle does under `orvex render` with the same; the
// solos and the phaser's link follow their rules on ports the host owns.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/orvex/vsttarget.h"
#include "tools/orvex/render.h"
#include "tools/validate/rtwatch.h"

namespace {

// A URID map as a host keeps one: the same number for the same URI, from 1 on.
LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    static std::vector<std::string> uris;
    auto at = std::find(uris.begin(), uris.end(), uri);
    if (at == uris.end()) at = uris.insert(uris.end(), uri);
    return static_cast<LV2_URID>(at - uris.begin() + 1);
}
LV2_URID_Map uridMap{nullptr, mapUri};
LV2_URID urid(const char* uri) { return mapUri(nullptr, uri); }

class Lv2Face : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const std::string name = GetParam();
        const std::string path = std::string(ORVEX_BINARY_DIR) + "/lv2/orvex-" + name + ".lv2/orvex-" + name + ".so";
        // Kept loaded once opened: in sanitizer builds the binary brings the editor's
        // drawing libraries along, one of which makes tables on load for good that the
        // leak checker would count as lost once it is unloaded.
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        EXPECT_EQ(entry(1), nullptr);
        EXPECT_EQ(std::string(descriptor->URI), "urn:harmoxel:orvex:" + name);
    }
    void TearDown() override {
        if (library) dlclose(library);
    }

    LV2_Handle make() {
        const LV2_Feature* const none[] = {nullptr};
        return descriptor->instantiate(descriptor, 48000.0, "/nonexistent", none);
    }
    // Connects every control port to `value`, up to the first index the plug-in does
    // not have (it ignores those).
    void connectControls(LV2_Handle h, float* value) {
        for (uint32_t p = 4; p < 64; ++p) descriptor->connect_port(h, p, value);
    }

    // The control port with this symbol, read from the bundle's Turtle.
    uint32_t portOf(const std::string& symbol) {
        const std::string name = GetParam();
        std::ifstream ttl(std::string(ORVEX_BINARY_DIR) + "/lv2/orvex-" + name + ".lv2/" + name + ".ttl");
        std::string line;
        uint32_t index = 0;
        while (std::getline(ttl, line)) {
            if (auto at = line.find("lv2:index "); at != std::string::npos) index = std::stoul(line.substr(at + 10));
            if (line.find("lv2:symbol \"" + symbol + "\"") != std::string::npos) return index;
        }
        ADD_FAILURE() << "no port " << symbol;
        return 0;
    }

    // Both output channels of kRuns runs of 256 frames, the controls set as `steps` say
    // ({run, port, value}: the port connected and set before that run). With `hook`, the
    // instance has a URID map and the hook is called before each run and, with kRuns,
    // before the instance goes.
    struct Step {
        int run;
        uint32_t port;
        float value;
    };
    static constexpr int kRuns = 40;
    std::vector<float> renderWith(const std::vector<Step>& steps,
                                  const std::function<void(LV2_Handle, int run)>& hook = {}) {
        constexpr int kRun = 256;
        const std::vector<float> in = signal(kRuns * kRun, 0.3f);
        std::vector<float> out(2 * kRuns * kRun);
        float controls[64] = {};
        const LV2_Feature mapFeature{LV2_URID__map, &uridMap};
        const LV2_Feature* const features[] = {&mapFeature, nullptr};
        LV2_Handle h = hook ? descriptor->instantiate(descriptor, 48000.0, "", features) : make();
        if (!h) return {};
        descriptor->activate(h);
        for (int run = 0; run < kRuns; ++run) {
            for (const Step& step : steps)
                if (step.run == run && step.port < 64) {
                    controls[step.port] = step.value;
                    descriptor->connect_port(h, step.port, &controls[step.port]);
                }
            for (uint32_t port : {0u, 1u}) descriptor->connect_port(h, port, const_cast<float*>(in.data() + run * kRun));
            descriptor->connect_port(h, 2, out.data() + run * kRun);
            descriptor->connect_port(h, 3, out.data() + (kRuns + run) * kRun);
            if (hook) hook(h, run);
            descriptor->run(h, kRun);
        }
        if (hook) hook(h, kRuns);
        descriptor->cleanup(h);
        return out;
    }

    static std::vector<float> signal(int frames, float phase) {
        std::vector<float> s(frames);
        for (int i = 0; i < frames; ++i) s[i] = 0.5f * std::sin(0.01f * i + phase) + 0.25f * std::sin(0.37f * i);
        return s;
    }

    void* library = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
};

TEST_P(Lv2Face, InPlaceEqualsSeparateBuffers) {
    constexpr int kFrames = 6000, kRun = 500;
    const std::vector<float> left = signal(kFrames, 0.0f), right = signal(kFrames, 1.0f);
    float control = 0.7f;

    LV2_Handle separate = make();
    ASSERT_NE(separate, nullptr);
    connectControls(separate, &control);
    std::vector<float> outL(kFrames), outR(kFrames);
    descriptor->activate(separate);
    for (int at = 0; at < kFrames; at += kRun) {
        descriptor->connect_port(separate, 0, const_cast<float*>(left.data() + at));
        descriptor->connect_port(separate, 1, const_cast<float*>(right.data() + at));
        descriptor->connect_port(separate, 2, outL.data() + at);
        descriptor->connect_port(separate, 3, outR.data() + at);
        descriptor->run(separate, kRun);
    }
    descriptor->deactivate(separate);
    descriptor->cleanup(separate);

    LV2_Handle inPlace = make();
    ASSERT_NE(inPlace, nullptr);
    connectControls(inPlace, &control);
    std::vector<float> bufL = left, bufR = right;
    descriptor->activate(inPlace);
    for (int at = 0; at < kFrames; at += kRun) {
        for (uint32_t port : {0u, 2u}) descriptor->connect_port(inPlace, port, bufL.data() + at);
        for (uint32_t port : {1u, 3u}) descriptor->connect_port(inPlace, port, bufR.data() + at);
        descriptor->run(inPlace, kRun);
    }
    descriptor->deactivate(inPlace);
    descriptor->cleanup(inPlace);

    EXPECT_EQ(bufL, outL);
    EXPECT_EQ(bufR, outR);
    EXPECT_NE(outL, left);  // the effect did something
}

TEST_P(Lv2Face, OneLongRunEqualsShortRuns) {
    // Longer than the shell's buffers, which serve it in pieces of the maximum block.
    constexpr int kFrames = 1 << 18, kShort = 4096;
    const std::vector<float> left = signal(kFrames, 0.5f), right = signal(kFrames, 2.0f);
    float control = 0.3f;
    std::vector<float> outs[2][2];
    for (int pass = 0; pass < 2; ++pass) {
        LV2_Handle h = make();
        ASSERT_NE(h, nullptr);
        connectControls(h, &control);
        outs[pass][0].assign(kFrames, 0.0f);
        outs[pass][1].assign(kFrames, 0.0f);
        descriptor->activate(h);
        const int run = pass == 0 ? kFrames : kShort;
        for (int at = 0; at < kFrames; at += run) {
            descriptor->connect_port(h, 0, const_cast<float*>(left.data() + at));
            descriptor->connect_port(h, 1, const_cast<float*>(right.data() + at));
            descriptor->connect_port(h, 2, outs[pass][0].data() + at);
            descriptor->connect_port(h, 3, outs[pass][1].data() + at);
            descriptor->run(h, static_cast<uint32_t>(run));
        }
        descriptor->cleanup(h);
    }
    EXPECT_EQ(outs[0][0], outs[1][0]);
    EXPECT_EQ(outs[0][1], outs[1][1]);
}

TEST_P(Lv2Face, SurvivesWhatAHostMaySend) {
    const LV2_Feature* const none[] = {nullptr};
    EXPECT_EQ(descriptor->instantiate(descriptor, 0.0, "", none), nullptr);
    EXPECT_EQ(descriptor->instantiate(descriptor, NAN, "", none), nullptr);
    EXPECT_EQ(descriptor->extension_data("http://lv2plug.in/ns/ext/worker#interface"), nullptr);

    LV2_Handle h = descriptor->instantiate(descriptor, 44100.0, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    // Nothing connected, then only one output.
    descriptor->run(h, 0);
    descriptor->run(h, 256);
    std::vector<float> out(256, 1.0f), in(256, 0.5f);
    descriptor->connect_port(h, 2, out.data());
    descriptor->run(h, 256);
    EXPECT_EQ(out, std::vector<float>(256, 0.0f));
    // NaN on every control, then all ports connected.
    float nan = NAN;
    connectControls(h, &nan);
    descriptor->connect_port(h, 0, in.data());
    descriptor->connect_port(h, 1, in.data());
    descriptor->connect_port(h, 3, out.data());
    descriptor->activate(h);
    descriptor->run(h, 0);
    for (int i = 0; i < 8; ++i) descriptor->run(h, 256);
    for (float x : out) ASSERT_TRUE(std::isfinite(x));
    descriptor->deactivate(h);
    descriptor->cleanup(h);
}

// A host stating its largest block through the options: a run longer than that is
// still served whole.
TEST_P(Lv2Face, TakesTheMaximumBlockFromTheOptions) {
    LV2_URID_Map& map = uridMap;
    const int32_t maxBlock = 64;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, map.map(nullptr, LV2_BUF_SIZE__maxBlockLength), sizeof maxBlock,
         map.map(nullptr, LV2_ATOM__Int), &maxBlock},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature{LV2_URID__map, &map}, optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* const features[] = {&mapFeature, &optionsFeature, nullptr};
    LV2_Handle h = descriptor->instantiate(descriptor, 48000.0, "", features);
    ASSERT_NE(h, nullptr);
    constexpr int kFrames = 5000;
    std::vector<float> in = signal(kFrames, 0.0f), outL(kFrames, NAN), outR(kFrames, NAN);
    // The controls stay unconnected: the effect keeps its defaults, which are audible.
    descriptor->connect_port(h, 0, in.data());
    descriptor->connect_port(h, 1, in.data());
    descriptor->connect_port(h, 2, outL.data());
    descriptor->connect_port(h, 3, outR.data());
    descriptor->activate(h);
    descriptor->run(h, kFrames);
    descriptor->cleanup(h);
    for (float x : outL) ASSERT_TRUE(std::isfinite(x));
    for (float x : outR) ASSERT_TRUE(std::isfinite(x));
    EXPECT_GT(*std::max_element(outL.begin() + kFrames / 2, outL.end()), 0.01f);
}

// The atom input ---------------------------------------------------------------------

// An atom sequence written with the format's forge, in frames.
class Sequence {
public:
    Sequence() {
        lv2_atom_forge_init(&forge, &uridMap);
        clear();
    }
    void clear() {
        lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
        lv2_atom_forge_sequence_head(&forge, &frame, 0);
    }
    void midi(int64_t at, uint8_t status, uint8_t data1, uint8_t data2) {
        const uint8_t bytes[3] = {status, data1, data2};
        lv2_atom_forge_frame_time(&forge, at);
        lv2_atom_forge_atom(&forge, 3, urid(LV2_MIDI__MidiEvent));
        lv2_atom_forge_write(&forge, bytes, 3);
    }
    // A playing transport at `bpm`, four quarters a bar, at transport frame `frame`, in
    // bar `bar` at beat `barBeat`: the start of bar 0 unless told.
    void position(int64_t at, float bpm, int64_t frame = 0, int64_t bar = 0, float barBeat = 0.0f) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, at);
        lv2_atom_forge_object(&forge, &object, 0, urid(LV2_TIME__Position));
        lv2_atom_forge_key(&forge, urid(LV2_TIME__frame)), lv2_atom_forge_long(&forge, frame);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__speed)), lv2_atom_forge_float(&forge, 1.0f);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__bar)), lv2_atom_forge_long(&forge, bar);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__barBeat)), lv2_atom_forge_float(&forge, barBeat);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__beatUnit)), lv2_atom_forge_int(&forge, 4);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__beatsPerBar)), lv2_atom_forge_float(&forge, 4.0f);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__beatsPerMinute)), lv2_atom_forge_float(&forge, bpm);
        lv2_atom_forge_pop(&forge, &object);
    }
    LV2_Atom_Sequence* atom() { return reinterpret_cast<LV2_Atom_Sequence*>(buffer); }

private:
    alignas(8) uint8_t buffer[4096];
    LV2_Atom_Forge forge;
    LV2_Atom_Forge_Frame frame;
};

class Lv2Events : public Lv2Face {
protected:
    LV2_Handle makeWithMap() {
        const LV2_Feature mapFeature{LV2_URID__map, &uridMap};
        const LV2_Feature* const features[] = {&mapFeature, nullptr};
        return descriptor->instantiate(descriptor, kRate, "", features);
    }
    // The events port: after the control ports, one per parameter of the VST 2.x face.
    uint32_t eventsPort() {
        auto plugin = orvex::cli::loadPlugin(vstPath(), orvex::cli::hostOptions(kRate, 512, std::nullopt));
        return 4 + static_cast<uint32_t>(plugin->numParams());
    }
    std::string vstPath() const {
        const std::string name = GetParam();
        return ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so";
    }
    // The LV2 binary over `in` (both channels) in runs of `run` frames, the first run
    // with `first` on its events port, the others with an empty sequence, and on the
    // transport port what `transport` writes for the run starting at a frame; the left output.
    std::vector<float> lv2Render(const std::vector<float>& in, int run, Sequence* first,
                                 const std::function<void(Sequence&, std::size_t)>& transport = {}) {
        LV2_Handle h = makeWithMap();
        EXPECT_NE(h, nullptr);
        if (!h) return {};
        std::vector<float> outL(in.size()), outR(in.size());
        Sequence empty, told;
        descriptor->activate(h);
        for (std::size_t at = 0; at < in.size(); at += static_cast<std::size_t>(run)) {
            descriptor->connect_port(h, 0, const_cast<float*>(in.data() + at));
            descriptor->connect_port(h, 1, const_cast<float*>(in.data() + at));
            descriptor->connect_port(h, 2, outL.data() + at);
            descriptor->connect_port(h, 3, outR.data() + at);
            descriptor->connect_port(h, events, (at == 0 && first ? first : &empty)->atom());
            if (transport) {
                told.clear();
                transport(told, at);
                descriptor->connect_port(h, events + 1, told.atom());
            }
            descriptor->run(h, static_cast<uint32_t>(std::min<std::size_t>(run, in.size() - at)));
        }
        descriptor->cleanup(h);
        return outL;
    }
    // `orvex render` of the VST 2.x bundle over the same: its render loop, blocks of
    // `block` frames, the transport playing at `tempo` if given; the left output.
    std::vector<float> vstRender(const std::vector<float>& in, int block, std::optional<double> tempo,
                                 std::vector<orvex::cli::TimedMidi> midi) {
        auto plugin = orvex::cli::loadPlugin(vstPath(), orvex::cli::hostOptions(kRate, block, tempo));
        orvex::cli::MemorySource source({in, in});
        orvex::cli::MemorySink sink;
        orvex::cli::RenderSettings settings;
        settings.sampleRate = kRate;
        settings.blockSize = block;
        settings.tempo = tempo;
        settings.events = std::move(midi);
        orvex::cli::render(*plugin, source, sink, settings);
        return sink.audio.at(0);
    }
    static float largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
        float largest = a.size() == b.size() ? 0.0f : INFINITY;
        for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) largest = std::max(largest, std::fabs(a[i] - b[i]));
        return largest;
    }

    void SetUp() override {
        Lv2Face::SetUp();
        if (!HasFatalFailure()) events = eventsPort();
    }
    static constexpr float kRate = 48000.0f;
    uint32_t events = 0;
};

// A MIDI controller mapped to a parameter (the Mix of each: distortion 18, the others'
// own map) changes the sound from its frame on, as the VST 2.x face does when the host
// sends it between two calls split there.
TEST_P(Lv2Events, ControllerTakesEffectAtItsFrame) {
    const std::string name = GetParam();
    const uint8_t mix = name == "distortion" ? 18 : name == "panner" ? 69 : name == "filter" ? 59 : 56;
    constexpr int kFrames = 4096, kAt = 1000;
    const std::vector<float> in = signal(kFrames, 0.3f);
    Sequence cc;
    cc.midi(kAt, 0xB0, mix, 0);
    const std::vector<float> plain = lv2Render(in, kFrames, nullptr), changed = lv2Render(in, kFrames, &cc);
    ASSERT_EQ(changed.size(), std::size_t{kFrames});
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + kAt, changed.begin()));
    EXPECT_NE(plain[kAt + 10], changed[kAt + 10]);
    const std::vector<float> vst = vstRender(in, kFrames, std::nullopt, {{kAt, {0xB0, mix, 0}}});
    const float difference = largestDifference(changed, vst);
    std::printf("%s: controller %d at frame %d, largest difference to the VST 2.x render %g\n", name.c_str(), mix,
                kAt, static_cast<double>(difference));
    EXPECT_EQ(difference, 0.0f);
}

// A playing transport at 128 BPM: the tempo-following plug-ins sound as under
// `orvex render --tempo 128` with the same block length, and not as without transport.

class Lv2Transport : public Lv2Events {
protected:
    // The LFOs at full depth and fully mixed in: the panner's three (controllers 53,
    // 58, 63, then the mix 69), the filter's on the cutoff (57, the mix 59) at a middle
    // division and multiple (55, 60).
    std::vector<orvex::cli::TimedMidi> lfosOn() const {
        const bool filter = std::string(GetParam()) == "filter";
        std::vector<orvex::cli::TimedMidi> midi;
        for (uint8_t controller : filter ? std::vector<uint8_t>{57, 59} : std::vector<uint8_t>{53, 58, 63, 69})
            midi.push_back({0, {0xB0, controller, 127}});
        if (filter)
            for (uint8_t controller : {55, 60}) midi.push_back({0, {0xB0, controller, 64}});
        return midi;
    }
    static constexpr int kFrames = 3 * 48000, kBlock = 512;
};

TEST_P(Lv2Transport, FollowsTheHostTransport) {
    const std::string name = GetParam();
    const std::vector<float> in = signal(kFrames, 0.7f);
    const std::vector<orvex::cli::TimedMidi> midi = lfosOn();
    Sequence withTime, without;
    withTime.position(0, 128.0f);
    for (Sequence* s : {&withTime, &without})
        for (const auto& m : midi) s->midi(0, m.message.status, m.message.data1, m.message.data2);
    const std::vector<float> lv2 = lv2Render(in, kBlock, &withTime);
    const std::vector<float> vst = vstRender(in, kBlock, 128.0, midi);
    const float difference = largestDifference(lv2, vst);
    const float toNoTransport = largestDifference(lv2, lv2Render(in, kBlock, &without));
    std::printf("%s at 128 BPM: largest difference to the VST 2.x render %g, to no transport %g\n", name.c_str(),
                static_cast<double>(difference), static_cast<double>(toNoTransport));
    EXPECT_EQ(difference, 0.0f);
    EXPECT_GT(toNoTransport, 0.01f);
}

// The transport on its own port, told in every block as Ardour tells it: the beat
// rounded to a tick (1/1920 of a beat) and sent as a float. Where the host's position
// only rounds the face's own count, the count stands, so the sound is the exact tempo's.
TEST_P(Lv2Transport, KeepsItsCountThroughARoundedTransport) {
    const std::string name = GetParam();
    const std::vector<float> in = signal(kFrames, 0.7f);
    const std::vector<orvex::cli::TimedMidi> midi = lfosOn();
    Sequence controllers;
    for (const auto& m : midi) controllers.midi(0, m.message.status, m.message.data1, m.message.data2);
    const auto rounded = [](Sequence& s, std::size_t at) {
        const double beats = static_cast<double>(at) / 48000.0 * 128.0 / 60.0;
        const double ticks = std::round(beats * 1920.0) / 1920.0;
        const auto bar = static_cast<int64_t>(std::floor(ticks / 4.0));
        s.position(0, 128.0f, static_cast<int64_t>(at), bar, static_cast<float>(ticks - 4.0 * static_cast<double>(bar)));
    };
    const float difference = largestDifference(lv2Render(in, kBlock, &controllers, rounded), vstRender(in, kBlock, 128.0, midi));
    std::printf("%s at 128 BPM told in ticks on the transport port: largest difference to the VST 2.x render %g\n",
                name.c_str(), static_cast<double>(difference));
    EXPECT_EQ(difference, 0.0f);
}

// An atom sequence written by hand, any size or type it is told, so as to be wrong.
class RawSequence {
public:
    RawSequence(LV2_URID type, uint32_t unit = 0) {
        header().atom = {sizeof(LV2_Atom_Sequence_Body), type};
        header().body = {unit, 0};
    }
    // An event stamped `frames` saying its body of type `type` is `size` bytes long;
    // `bytes` (as many as fit) are what follows.
    RawSequence& event(int64_t frames, LV2_URID type, uint32_t size, std::vector<uint8_t> bytes = {}) {
        LV2_Atom_Event e{};
        e.time.frames = frames;
        e.body = {size, type};
        append(&e, sizeof e);
        append(bytes.data(), bytes.size());
        return *this;
    }
    // A time:Position object of the given properties, each a key and a Double.
    RawSequence& position(int64_t frames, std::vector<std::pair<const char*, double>> properties) {
        std::vector<uint8_t> body(sizeof(LV2_Atom_Object_Body));
        const LV2_Atom_Object_Body object{0, urid(LV2_TIME__Position)};
        std::memcpy(body.data(), &object, sizeof object);
        for (const auto& [key, value] : properties) {
            const LV2_Atom_Property_Body property{urid(key), 0, {sizeof(double), urid(LV2_ATOM__Double)}};
            const auto* p = reinterpret_cast<const uint8_t*>(&property);
            const auto* v = reinterpret_cast<const uint8_t*>(&value);
            body.insert(body.end(), p, p + sizeof property);
            body.insert(body.end(), v, v + sizeof value);
        }
        return event(frames, urid(LV2_ATOM__Object), static_cast<uint32_t>(body.size()), body);
    }
    LV2_Atom_Sequence& header() { return *reinterpret_cast<LV2_Atom_Sequence*>(words.data()); }

private:
    void append(const void* data, std::size_t size) {
        const std::size_t at = sizeof(LV2_Atom) + header().atom.size;
        const std::size_t end = (at + size + 7) / 8 * 8;
        if (words.size() * 8 < end) words.resize(end / 8);
        if (size) std::memcpy(reinterpret_cast<uint8_t*>(words.data()) + at, data, size);
        header().atom.size = static_cast<uint32_t>(end - sizeof(LV2_Atom));
    }
    std::vector<uint64_t> words = std::vector<uint64_t>(2);
};

// What a careless host may put on the events port: sizes past the end, unknown types,
// stamps out of order or outside the run, messages too short or too long, transports
// with nonsense values. The sound stays finite; the run goes on.
TEST_P(Lv2Events, SurvivesMalformedEvents) {
    const LV2_URID sequence = urid(LV2_ATOM__Sequence), midi = urid(LV2_MIDI__MidiEvent);
    constexpr double kHuge = 1e300;
    std::vector<RawSequence> cases;
    cases.emplace_back(sequence).event(10, midi, 0xFFFFFFF0u, {0xB0, 56, 1});
    cases.emplace_back(sequence)
        .event(5, 12345, 64, std::vector<uint8_t>(64, 0xFF))
        .event(6, urid(LV2_ATOM__Object), 4, {1, 2, 3, 4})
        .event(7, urid(LV2_ATOM__Object), 16, {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})
        .event(8, midi, 0)
        .event(9, midi, 64, std::vector<uint8_t>(64, 0x90))
        .event(10, midi, 3, {0xF0, 1, 2})
        .event(11, midi, 3, {0x35, 0xB0, 0x40});
    cases.emplace_back(sequence)
        .event(300, midi, 3, {0x90, 60, 100})
        .event(100, midi, 3, {0xB0, 50, 0})
        .event(-5, midi, 3, {0xB0, 51, 127})
        .event(INT64_MIN, midi, 3, {0x90, 61, 1})
        .event(int64_t{1} << 40, midi, 3, {0xB0, 52, 9})
        .event(INT64_MAX, midi, 3, {0x90, 62, 1});
    cases.emplace_back(sequence)
        .position(0, {{LV2_TIME__beatsPerMinute, NAN}, {LV2_TIME__speed, INFINITY}, {LV2_TIME__beatUnit, 0}})
        .position(10, {{LV2_TIME__beatsPerMinute, kHuge}, {LV2_TIME__speed, -kHuge}, {LV2_TIME__bar, kHuge},
                       {LV2_TIME__barBeat, -kHuge}, {LV2_TIME__beatsPerBar, 1e-300}, {LV2_TIME__frame, kHuge}})
        .position(20, {{LV2_TIME__beatsPerMinute, 1e-300}, {LV2_TIME__beat, -kHuge}, {LV2_TIME__beatUnit, -4},
                       {LV2_TIME__speed, 1}});
    cases.emplace_back(urid(LV2_ATOM__Sequence), urid(LV2_ATOM__beatTime)).event(3, midi, 3, {0xB0, 53, 0});
    cases.emplace_back(urid(LV2_ATOM__Float)).header().atom.size = 0xFFFFFFFFu;
    cases.emplace_back(sequence).header().atom.size = 4;
    // An object whose property says its value runs past the object's end.
    {
        RawSequence& past = cases.emplace_back(sequence);
        past.position(1, {{LV2_TIME__beatsPerMinute, 128.0}});
        auto* property = reinterpret_cast<LV2_Atom_Property_Body*>(
            reinterpret_cast<uint8_t*>(&past.header().body + 1) + sizeof(LV2_Atom_Event) + sizeof(LV2_Atom_Object_Body));
        property->value.size = 0xFFFFFF00u;
    }

    LV2_Handle h = makeWithMap();
    ASSERT_NE(h, nullptr);
    constexpr int kFrames = 512;
    std::vector<float> in = signal(kFrames, 0.1f), outL(kFrames), outR(kFrames);
    descriptor->connect_port(h, 0, in.data());
    descriptor->connect_port(h, 1, in.data());
    descriptor->connect_port(h, 2, outL.data());
    descriptor->connect_port(h, 3, outR.data());
    descriptor->activate(h);
    for (RawSequence& c : cases) {
        descriptor->connect_port(h, events, &c.header());
        descriptor->run(h, 0);
        for (int i = 0; i < 4; ++i) {
            descriptor->run(h, kFrames);
            for (int k = 0; k < kFrames; ++k) ASSERT_TRUE(std::isfinite(outL[k]) && std::isfinite(outR[k]));
        }
    }
    descriptor->connect_port(h, events, nullptr);
    descriptor->run(h, kFrames);
    descriptor->cleanup(h);
}

// The run with events, MIDI and transport both, allocates nothing and takes no lock,
// as the allocator and lock functions in front of the C library's count them.
TEST_P(Lv2Events, RunsWithoutAllocating) {
    namespace rt = orvex::validate::rt;
    ASSERT_TRUE(rt::interposed());
    LV2_Handle h = makeWithMap();
    ASSERT_NE(h, nullptr);
    constexpr int kFrames = 8192;  // longer than the buffers: served in pieces
    std::vector<float> in = signal(kFrames, 0.2f), outL(kFrames), outR(kFrames);
    descriptor->connect_port(h, 0, in.data());
    descriptor->connect_port(h, 1, in.data());
    descriptor->connect_port(h, 2, outL.data());
    descriptor->connect_port(h, 3, outR.data());
    Sequence sequence;
    sequence.position(0, 128.0f);
    for (int at = 0; at < kFrames; at += 700) sequence.midi(at, at % 1400 ? 0x90 : 0xB0, 55 + at % 7, 100);
    sequence.position(5000, 90.0f);
    descriptor->connect_port(h, events, sequence.atom());
    descriptor->activate(h);
    rt::reset();
    rt::begin();
    for (int i = 0; i < 3; ++i) descriptor->run(h, kFrames);
    rt::end();
    const rt::Counts during = rt::counts();
    descriptor->cleanup(h);
    EXPECT_EQ(during.allocations, 0u);
    EXPECT_EQ(during.locks, 0u);
    // The count works: an allocation between the same calls is seen.
    rt::reset();
    rt::begin();
    void* volatile block = std::malloc(32);
    rt::end();
    std::free(block);
    EXPECT_EQ(rt::counts().allocations, 1u);
}

INSTANTIATE_TEST_SUITE_P(Plugins, Lv2Face, testing::Values("panner", "distortion", "filter", "phaser"));
INSTANTIATE_TEST_SUITE_P(Plugins, Lv2Events, testing::Values("panner", "distortion", "filter", "phaser"));
INSTANTIATE_TEST_SUITE_P(Plugins, Lv2Transport, testing::Values("panner", "filter"));  // those that follow the tempo

// The solos of the three-band plug-ins, whose ports the host owns: the one switched on
// last plays while an earlier one's port still says on, and switching it off leaves
// none, as the solo buttons of VST 2.x do.
class Lv2Solo : public Lv2Face {};

TEST_P(Lv2Solo, TheSoloSwitchedOnLastPlays) {
    const bool panner = std::string(GetParam()) == "panner";
    const uint32_t low = portOf(panner ? "lowsolo" : "low_solo"), mid = portOf(panner ? "midsolo" : "mid_solo");
    const std::vector<float> lastOn = renderWith({{0, low, 1}, {15, mid, 1}, {30, mid, 0}});
    const std::vector<float> handedOver = renderWith({{0, low, 1}, {15, low, 0}, {15, mid, 1}, {30, mid, 0}});
    EXPECT_EQ(lastOn, handedOver);
    EXPECT_NE(lastOn, renderWith({{0, low, 1}}));
}

// A restored session with two solos on plays the higher one.
TEST_P(Lv2Solo, ARestoredSessionPlaysTheHigherSolo) {
    const bool panner = std::string(GetParam()) == "panner";
    const uint32_t low = portOf(panner ? "lowsolo" : "low_solo"), mid = portOf(panner ? "midsolo" : "mid_solo");
    const std::vector<float> midOnly = renderWith({{0, mid, 1}});
    EXPECT_EQ(renderWith({{0, low, 1}, {0, mid, 1}}), midOnly);
    EXPECT_NE(renderWith({{0, low, 1}}), midOnly);
}

// The state brings back the solo that played: High switched on, then Mid, saved; a fresh
// instance whose ports say both are on plays Mid once the state is restored (without
// it the higher, High, as above), and takes the state up without allocating.
TEST_P(Lv2Solo, ARestoredStateKeepsTheSoloThatPlayed) {
    const bool panner = std::string(GetParam()) == "panner";
    const uint32_t mid = portOf(panner ? "midsolo" : "mid_solo"), high = portOf(panner ? "highsolo" : "high_solo");
    auto* state = static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
    ASSERT_NE(state, nullptr);
    struct Value {
        std::vector<uint8_t> bytes;
        uint32_t type;
    };
    std::map<LV2_URID, Value> saved;
    auto store = [](LV2_State_Handle into, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
        const auto* bytes = static_cast<const uint8_t*>(value);
        (*static_cast<std::map<LV2_URID, Value>*>(into))[key] = Value{{bytes, bytes + size}, type};
        return LV2_STATE_SUCCESS;
    };
    auto retrieve = [](LV2_State_Handle from, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
        auto& values = *static_cast<std::map<LV2_URID, Value>*>(from);
        auto at = values.find(key);
        if (at == values.end()) return nullptr;
        *size = at->second.bytes.size(), *type = at->second.type, *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return at->second.bytes.data();
    };
    renderWith({{0, high, 1}, {10, mid, 1}}, [&](LV2_Handle h, int run) {
        if (run == kRuns) {
            EXPECT_EQ(state->save(h, store, &saved, 0, nullptr), LV2_STATE_SUCCESS);
        }
    });
    ASSERT_EQ(saved.size(), 1u);  // High: its port says on, the effect holds it off
    EXPECT_EQ(saved.begin()->first, urid((std::string("urn:harmoxel:orvex:") + GetParam() + "#" +
                                          (panner ? "highsolo" : "high_solo")).c_str()));
    namespace rt = orvex::validate::rt;
    const std::vector<float> restored = renderWith({{0, high, 1}, {0, mid, 1}}, [&](LV2_Handle h, int run) {
        if (run == 0) {
            EXPECT_EQ(state->restore(h, retrieve, &saved, 0, nullptr), LV2_STATE_SUCCESS);
            rt::reset();
            rt::begin();
        } else if (run == 1) {
            rt::end();
            EXPECT_EQ(rt::counts().allocations, 0u);
            EXPECT_EQ(rt::counts().locks, 0u);
        }
    });
    EXPECT_EQ(restored, renderWith({{0, mid, 1}}));
    EXPECT_NE(restored, renderWith({{0, high, 1}}));
}

INSTANTIATE_TEST_SUITE_P(ThreeBand, Lv2Solo, testing::Values("panner", "distortion"));

// The phaser's link: on, the right channel runs on the left ports and its own are
// ignored, however the link came on; off, each side reads its own.
class Lv2Link : public Lv2Face {};

TEST_P(Lv2Link, LinkedRightPortsAreIgnored) {
    const char* const kLeft[] = {"mod_rate", "mod_depth", "feedback"};
    std::vector<Step> linked, same, unlinked, linkedLater, setLater;
    for (int c = 0; c < 3; ++c) {
        const uint32_t left = portOf(kLeft[c]), right = portOf(std::string(kLeft[c]) + "_2");
        const float l = c == 0 ? 3.0f : 80.0f, r = c == 0 ? 0.2f : 10.0f;
        linked.insert(linked.end(), {{0, left, l}, {0, right, r}, {20, right, 2 * r}});
        same.insert(same.end(), {{0, left, l}, {0, right, l}});
        unlinked.insert(unlinked.end(), {{0, left, l}, {0, right, r}});
        setLater.insert(setLater.end(), {{0, left, l}, {0, right, r}, {20, right, l}});
    }
    const uint32_t link = portOf("stereo_link");
    unlinked.push_back({0, link, 0});
    setLater.push_back({0, link, 0});
    linkedLater = unlinked;
    linkedLater.push_back({20, link, 1});
    const std::vector<float> reference = renderWith(same);
    EXPECT_EQ(renderWith(linked), reference);
    EXPECT_NE(renderWith(unlinked), reference);
    EXPECT_EQ(renderWith(linkedLater), renderWith(setLater));
}

INSTANTIATE_TEST_SUITE_P(Phaser, Lv2Link, testing::Values("phaser"));

}  // namespace
