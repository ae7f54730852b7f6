// The LV2 bundles through liblilv, as a host finds and drives them (tools/lilvhost): a
// MIDI controller and a note sent at a frame of a run take effect at that frame, and a
// time:Position makes the tempo-following plug-ins sound as under the VST 2.x host
// with the same tempo (`orvex render` of the VST 2.x bundle); the host's run allocates
// nothing, and a plug-in requiring what the host does not offer is refused.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/lilvhost/lilvhost.h"
#include "tools/orvex/vsttarget.h"
#include "tools/orvex/render.h"
#include "tools/validate/rtwatch.h"

namespace {

namespace lh = orvex::lilvhost;
constexpr double kRate = 48000.0;
const std::string kBundles = ORVEX_BINARY_DIR "/lv2";

// One world over the build's bundles for every test: made once, as a host does. The
// binaries are kept loaded for good first: in sanitizer builds they bring the editor's
// drawing libraries along, one of which makes tables on load that the leak checker
// would count as lost once lilv unloads it.
std::shared_ptr<lh::World> bundles() {
    static const auto world = [] {
        for (const char* name : {"panner", "distortion", "filter", "phaser"}) {
            const std::string path = kBundles + "/orvex-" + name + ".lv2/orvex-" + name + ".so";
            dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        }
        return std::make_shared<lh::World>(kBundles);
    }();
    return world;
}

std::vector<float> signal(int frames, float phase) {
    std::vector<float> s(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) s[i] = 0.5f * std::sin(0.01f * i + phase) + 0.25f * std::sin(0.37f * i);
    return s;
}

// The first frame where the two differ, or -1.
int firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    auto at = std::mismatch(a.begin(), a.end(), b.begin());
    return at.first == a.end() ? -1 : static_cast<int>(at.first - a.begin());
}

class Lilv : public testing::TestWithParam<const char*> {
protected:
    std::unique_ptr<lh::Plugin> load(uint32_t block) {
        auto loaded = lh::Plugin::load(bundles(), std::string("urn:harmoxel:orvex:") + GetParam(), {kRate, block});
        EXPECT_TRUE(loaded) << loaded.error;
        return std::move(loaded.plugin);
    }
    // Our LV2 bundle through the host over `in` (both channels) in runs of `block`;
    // `midi` at frames counted from the start, each queued for the run it falls in.
    std::vector<float> lv2Render(const std::vector<float>& in, uint32_t block, const std::vector<orvex::cli::TimedMidi>& midi,
                                 std::optional<lh::Transport> transport = std::nullopt) {
        auto plugin = load(block);
        if (!plugin) return {};
        if (transport) plugin->setTransport(*transport);
        std::vector<float> left(in.size()), right(in.size());
        for (std::size_t at = 0; at < in.size(); at += block) {
            const auto start = static_cast<int64_t>(at);
            for (const auto& m : midi)
                if (m.frame >= start && m.frame < start + block)
                    plugin->queueMidi({static_cast<uint32_t>(m.frame - start), m.message.status, m.message.data1, m.message.data2});
            const float* ins[2] = {in.data() + at, in.data() + at};
            float* outs[2] = {left.data() + at, right.data() + at};
            plugin->run(ins, outs, static_cast<uint32_t>(std::min<std::size_t>(block, in.size() - at)));
        }
        return left;
    }
    // `orvex render` of the VST 2.x bundle over the same, in blocks of `block`, the
    // transport playing at `tempo` if given; the left output.
    std::vector<float> vstRender(const std::vector<float>& in, int block, std::optional<double> tempo,
                                 std::vector<orvex::cli::TimedMidi> midi) {
        const std::string name = GetParam();
        const std::string path = ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so";
        auto plugin = orvex::cli::loadPlugin(path, orvex::cli::hostOptions(static_cast<float>(kRate), block, tempo));
        orvex::cli::MemorySource source({in, in});
        orvex::cli::MemorySink sink;
        orvex::cli::RenderSettings settings;
        settings.sampleRate = static_cast<float>(kRate);
        settings.blockSize = block;
        settings.tempo = tempo;
        settings.events = std::move(midi);
        orvex::cli::render(*plugin, source, sink, settings);
        return sink.audio.at(0);
    }
    bool followsTempo() const { return name() == "panner" || name() == "filter"; }
    std::string name() const { return GetParam(); }
    // Controllers that make the LFOs plain to hear: the panner's three depths and its
    // mix, the filter's cutoff depth and mix at a middle cutoff, division and multiple.
    std::vector<orvex::cli::TimedMidi> lfosOn() const {
        std::vector<orvex::cli::TimedMidi> midi;
        for (uint8_t controller : name() == "filter" ? std::vector<uint8_t>{57, 59} : std::vector<uint8_t>{53, 58, 63, 69})
            midi.push_back({0, {0xB0, controller, 127}});
        if (name() == "filter")
            for (uint8_t controller : {50, 55, 60}) midi.push_back({0, {0xB0, controller, 64}});
        return midi;
    }
};

// The Mix controller (distortion 18, panner 69, filter 59, phaser 56) at frame 1000 of
// a run of 4096: the same sound before it, another from there on, and the VST 2.x
// render with the controller at the same frame.
TEST_P(Lilv, ControllerTakesEffectAtItsFrame) {
    const uint8_t mix = name() == "distortion" ? 18 : name() == "panner" ? 69 : name() == "filter" ? 59 : 56;
    constexpr int kFrames = 4096, kAt = 1000;
    const std::vector<float> in = signal(kFrames, 0.3f);
    const std::vector<orvex::cli::TimedMidi> cc = {{kAt, {0xB0, mix, 0}}};
    const std::vector<float> plain = lv2Render(in, kFrames, {}), changed = lv2Render(in, kFrames, cc);
    const int from = firstDifference(plain, changed);
    EXPECT_GE(from, kAt);
    EXPECT_LE(from, kAt + 8);  // and not only much later
    EXPECT_EQ(firstDifference(changed, vstRender(in, kFrames, std::nullopt, cc)), -1);
}

// A note at frame 30000 (1328 into a run of 4096), the LFOs on from the start: the
// panner restarts its low LFO on note 60, the filter its LFO on any note; the sound
// changes from that frame on only (the panner's at once, the filter's once its
// restarted LFO moves the cutoff), as in the VST 2.x render with the note at the same
// frame. The distortion and the phaser ignore notes.
TEST_P(Lilv, NoteTakesEffectAtItsFrame) {
    constexpr int kFrames = 48000, kAt = 30000, kBlock = 4096;
    const std::vector<float> in = signal(kFrames, 0.6f);
    std::vector<orvex::cli::TimedMidi> withNote = lfosOn();
    withNote.push_back({kAt, {0x90, 60, 100}});
    const std::vector<float> plain = lv2Render(in, kBlock, lfosOn()), noted = lv2Render(in, kBlock, withNote);
    const int from = firstDifference(plain, noted);
    std::printf("%s: a note at frame %d changes the sound from frame %d\n", name().c_str(), kAt, from);
    if (followsTempo()) {
        EXPECT_GE(from, kAt);
        if (name() == "panner") {
            EXPECT_LE(from, kAt + 64);
        }
    } else {
        EXPECT_EQ(from, -1) << name() << " changed with a note";
    }
    EXPECT_EQ(firstDifference(noted, vstRender(in, kBlock, std::nullopt, withNote)), -1);
}

// A playing transport at 128 BPM told once, in runs of 512: every plug-in sounds as
// under `orvex render --tempo 128`; the tempo-following ones (panner, filter) not as
// without a transport, the others as without.
TEST_P(Lilv, FollowsTheHostTransport) {
    constexpr int kFrames = 3 * 48000, kBlock = 512;
    const std::vector<float> in = signal(kFrames, 0.7f);
    lh::Transport transport;
    transport.tempo = 128.0;
    transport.everyRun = false;
    const std::vector<float> lv2 = lv2Render(in, kBlock, lfosOn(), transport);
    EXPECT_EQ(firstDifference(lv2, vstRender(in, kBlock, 128.0, lfosOn())), -1);
    EXPECT_EQ(firstDifference(lv2, lv2Render(in, kBlock, lfosOn())) != -1, followsTempo());
}

// The host's run with a position and MIDI in every run allocates nothing and takes no
// lock (the allocator and lock functions in front of the C library count them).
TEST_P(Lilv, RunsWithoutAllocating) {
    namespace rt = orvex::validate::rt;
    ASSERT_TRUE(rt::interposed());
    constexpr uint32_t kBlock = 256;
    auto plugin = load(kBlock);
    ASSERT_NE(plugin, nullptr);
    plugin->setTransport({});
    std::vector<float> in = signal(kBlock, 0.2f), left(kBlock), right(kBlock);
    const float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {left.data(), right.data()};
    rt::reset();
    rt::begin();
    for (int i = 0; i < 16; ++i) {
        plugin->queueMidi({static_cast<uint32_t>(i * 13), 0xB0, 56, static_cast<uint8_t>(i * 8)});
        plugin->queueMidi({static_cast<uint32_t>(i * 7), 0x90, 60, 100});
        plugin->run(ins, outs, kBlock);
    }
    rt::end();
    EXPECT_EQ(rt::counts().allocations, 0u);
    EXPECT_EQ(rt::counts().locks, 0u);
}

INSTANTIATE_TEST_SUITE_P(Plugins, Lilv, testing::Values("panner", "distortion", "filter", "phaser"));

// A bundle whose plug-in requires a feature the host does not offer (our phaser's
// description with one more required feature) is refused by name, nothing made.
TEST(LilvHost, RefusesAPluginRequiringWhatItDoesNotOffer) {
    const auto dir = std::filesystem::temp_directory_path() / ("lilvhost-test-" + std::to_string(::getpid()));
    const auto bundle = dir / "orvex-phaser.lv2", from = std::filesystem::path(kBundles) / "orvex-phaser.lv2";
    std::filesystem::create_directories(bundle);
    for (const auto& entry : std::filesystem::directory_iterator(from))
        std::filesystem::copy(entry.path(), bundle / entry.path().filename());
    std::stringstream text;
    text << std::ifstream(bundle / "phaser.ttl").rdbuf();
    std::string ttl = text.str();
    const auto at = ttl.find("<urn:harmoxel:orvex:phaser>");
    ASSERT_NE(at, std::string::npos);
    const auto end = ttl.find('\n', at);
    ttl.insert(end + 1, "    lv2:requiredFeature <urn:harmoxel:test#missing> ;\n");
    std::ofstream(bundle / "phaser.ttl") << ttl;
    auto loaded = lh::Plugin::load(dir.string(), "urn:harmoxel:orvex:phaser");
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(loaded);
    EXPECT_NE(loaded.error.find("urn:harmoxel:test#missing"), std::string::npos) << loaded.error;
    // The same description without it loads.
    EXPECT_TRUE(lh::Plugin::load(bundles(), "urn:harmoxel:orvex:phaser"));
}

}  // namespace
