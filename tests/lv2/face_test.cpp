// The LV2 binaries as a host drives them, loaded with dlopen: in-place processing gives
// what separate buffers give, one long run what the same samples in short runs give,
// and nothing a host may send (unconnected ports, NaN controls, empty runs, a bad
// sample rate) breaks them; the solos and the phaser's link follow their rules on
// ports the host owns.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace {

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

    // Both output channels of 40 runs of 256 frames, the controls set as `steps` say
    // ({run, port, value}: the port connected and set before that run).
    struct Step {
        int run;
        uint32_t port;
        float value;
    };
    std::vector<float> renderWith(const std::vector<Step>& steps) {
        constexpr int kRuns = 40, kRun = 256;
        const std::vector<float> in = signal(kRuns * kRun, 0.3f);
        std::vector<float> out(2 * kRuns * kRun);
        float controls[64] = {};
        LV2_Handle h = make();
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
            descriptor->run(h, kRun);
        }
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
    EXPECT_EQ(descriptor->extension_data("http://lv2plug.in/ns/ext/state#interface"), nullptr);

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
    static std::vector<std::string> uris;
    LV2_URID_Map map{nullptr, [](LV2_URID_Map_Handle, const char* uri) -> LV2_URID {
                         auto at = std::find(uris.begin(), uris.end(), uri);
                         if (at == uris.end()) at = uris.insert(uris.end(), uri);
                         return static_cast<LV2_URID>(at - uris.begin() + 1);
                     }};
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

INSTANTIATE_TEST_SUITE_P(Plugins, Lv2Face, testing::Values("panner", "distortion", "filter", "phaser"));

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
