// The LV2 UIs as a host drives them, through each bundle's lv2ui_descriptor, in a
// private X server: the editor opens inside the host's window and says its size, the
// host's port values reach its controls, and a real pointer's edits come back through
// the host's write function, in the ports' units, between the touches of a gesture;
// a solo switched on writes the others off, the phaser's linked knob writes its
// partner. Cleaning up leaves no window behind (and, in the sanitizer build, no leak).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/lv2face.h"
#include "panelpointer.h"
#include "tools/validate/xserver.h"

namespace {

using orvex::validate::HostWindow;

// What the UI told the host: a port written (value in the port's unit), a gesture
// begun or ended on a port, or its size.
struct HostCall {
    enum Kind { write, grab, release, resize } kind;
    uint32_t port;
    float value;
};

struct Recorder {
    std::vector<HostCall> calls;
    std::vector<HostCall> take() { return std::exchange(calls, {}); }
};

void writePort(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer) {
    auto& recorder = *static_cast<Recorder*>(controller);
    if (protocol != 0 || size != sizeof(float)) {
        recorder.calls.push_back({HostCall::write, port, -12345.0f});  // never a value we expect
        return;
    }
    recorder.calls.push_back({HostCall::write, port, *static_cast<const float*>(buffer)});
}
void touchPort(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
    static_cast<Recorder*>(handle)->calls.push_back({grabbed ? HostCall::grab : HostCall::release, port, 0.0f});
}
int resizeTo(LV2UI_Feature_Handle handle, int width, int height) {
    static_cast<Recorder*>(handle)->calls.push_back({HostCall::resize, static_cast<uint32_t>(width), static_cast<float>(height)});
    return 0;
}

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    static std::vector<std::string> uris;
    auto at = std::find(uris.begin(), uris.end(), uri);
    if (at == uris.end()) at = uris.insert(uris.end(), uri);
    return static_cast<LV2_URID>(at - uris.begin() + 1);
}

using orvex::testing::PanelScript;
using orvex::testing::Point;

// The control port of a parameter.
uint32_t portOf(int parameter) { return orvex::kLv2FirstControl + static_cast<uint32_t>(parameter); }

class Lv2Ui : public orvex::testing::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        if (IsSkipped()) return;
        const std::string name = GetParam().name;
        const std::string path = std::string(ORVEX_BINARY_DIR) + "/lv2/orvex-" + name + ".lv2/orvex-" + name + ".so";
        // Kept loaded: the drawing libraries it brings make tables on load for good.
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        EXPECT_EQ(entry(1), nullptr);
        EXPECT_EQ(std::string(descriptor->URI), "urn:harmoxel:orvex:" + name + "#ui");
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);
        host = std::make_unique<HostWindow>(server->display());
        ASSERT_TRUE(host->usable());
    }
    void TearDown() override {
        if (ui) close();
        host.reset();
        if (library) dlclose(library);
    }

    LV2UI_Handle open(bool withParent = true, float hostScale = 1.0f) {
        static float scale;
        scale = hostScale;
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, mapUri(nullptr, LV2_UI__scaleFactor), sizeof scale,
             mapUri(nullptr, LV2_ATOM__Float), &scale},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature parent{LV2_UI__parent, host->handle()}, touch{LV2_UI__touch, &touchFeature},
            resize{LV2_UI__resize, &resizeFeature}, map{LV2_URID__map, &uridMap},
            option{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature* const features[] = {withParent ? &parent : &touch, &touch, &resize, &map, &option, nullptr};
        const std::string uri = std::string("urn:harmoxel:orvex:") + GetParam().name;
        LV2UI_Widget widget = nullptr;
        LV2UI_Handle made = descriptor->instantiate(descriptor, uri.c_str(), "", writePort, &recorder, &widget, features);
        if (made) {
            EXPECT_NE(widget, nullptr);
        }
        return made;
    }
    void close() {
        descriptor->cleanup(ui);
        ui = nullptr;
    }
    // The host's user-interface loop.
    void idle(int times) {
        for (int i = 0; i < times; ++i) {
            EXPECT_EQ(idleInterface->idle(ui), 0);
            host->drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void hostSets(uint32_t port, float value) {
        descriptor->port_event(ui, port, sizeof value, 0, &value);
        idle(5);
    }
    void drag(Point at, int up) { pointer.drag(at, up); }
    void click(Point at) { pointer.click(at); }
    std::vector<uint32_t> pixelsAround(Point at) { return host->screenPixels(at.x - 8, at.y - 8, 16, 16); }


    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    std::unique_ptr<HostWindow> host;
    Recorder recorder;
    LV2UI_Touch touchFeature{&recorder, touchPort};
    LV2UI_Resize resizeFeature{&recorder, resizeTo};
    LV2_URID_Map uridMap{nullptr, mapUri};
    LV2UI_Handle ui = nullptr;
    orvex::testing::Pointer pointer{[this] { idle(10); }};
};

// The last value written to `port` in `calls`, if any.
std::optional<float> lastWrite(const std::vector<HostCall>& calls, uint32_t port) {
    std::optional<float> value;
    for (const HostCall& c : calls)
        if (c.kind == HostCall::write && c.port == port) value = c.value;
    return value;
}

}  // namespace

TEST_P(Lv2Ui, OpensInTheHostsWindowAndEditsThePortsInTheirUnits) {
    const PanelScript& script = GetParam();
    ui = open();
    ASSERT_NE(ui, nullptr);
    idle(10);
    // One window inside the host's, the size the host was told.
    const std::vector<HostCall> opened = recorder.take();
    ASSERT_EQ(opened.size(), 1u);
    ASSERT_EQ(opened[0].kind, HostCall::resize);
    const std::vector<orvex::validate::Placement> placed = host->placements();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].width, static_cast<int>(opened[0].port));
    EXPECT_EQ(placed[0].height, static_cast<int>(opened[0].value));

    // The host's value reaches the knob: it looks different, and a drag goes on from it.
    const std::vector<uint32_t> before = pixelsAround(script.knob);
    hostSets(portOf(script.knobParameter), 40.0f);
    EXPECT_NE(pixelsAround(script.knob), before);
    if (script.partner) hostSets(portOf(*script.partner), 40.0f);
    EXPECT_TRUE(recorder.take().empty()) << "the host's own values are not written back";

    drag(script.knob, 20);
    const std::vector<HostCall> calls = recorder.take();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().kind, HostCall::grab);
    EXPECT_EQ(calls.front().port, portOf(script.knobParameter));
    EXPECT_EQ(calls.back().kind, HostCall::release);
    EXPECT_EQ(calls.back().port, portOf(script.knobParameter));
    for (std::size_t i = 1; i + 1 < calls.size(); ++i)
        EXPECT_EQ(calls[i].kind, HostCall::write) << "every write falls within the gesture";
    ASSERT_TRUE(lastWrite(calls, portOf(script.knobParameter)));
    EXPECT_NEAR(*lastWrite(calls, portOf(script.knobParameter)), 50.0f, 0.01f);
    if (script.partner) {
        ASSERT_TRUE(lastWrite(calls, portOf(*script.partner))) << "the linked partner is written too";
        EXPECT_NEAR(*lastWrite(calls, portOf(*script.partner)), 50.0f, 0.01f);
    }
    for (const HostCall& c : calls) {
        if (c.kind == HostCall::write) {
            EXPECT_TRUE(c.port == portOf(script.knobParameter) || (script.partner && c.port == portOf(*script.partner))) << c.port;
        }
    }

    // Cleaning up takes the editor's window away.
    close();
    EXPECT_EQ(host->childrenAfterClose(), 0);
}

// The two three-band plug-ins.
class Lv2UiSolos : public Lv2Ui {};

TEST_P(Lv2UiSolos, ASoloSwitchedOnWritesTheOthersOff) {
    const PanelScript& script = GetParam();
    ASSERT_TRUE(script.firstSolo && script.secondSolo);
    ui = open();
    ASSERT_NE(ui, nullptr);
    idle(10);
    hostSets(portOf(script.secondSoloParameter), 1.0f);
    recorder.take();
    click(*script.firstSolo);
    std::vector<HostCall> calls = recorder.take();
    EXPECT_EQ(lastWrite(calls, portOf(script.firstSoloParameter)), 1.0f);
    EXPECT_EQ(lastWrite(calls, portOf(script.secondSoloParameter)), 0.0f);
    // And back: the second one on turns the first off.
    click(*script.secondSolo);
    calls = recorder.take();
    EXPECT_EQ(lastWrite(calls, portOf(script.secondSoloParameter)), 1.0f);
    EXPECT_EQ(lastWrite(calls, portOf(script.firstSoloParameter)), 0.0f);
}

TEST_P(Lv2Ui, TheHostsScaleFactorSizesTheEditor) {
    std::vector<HostCall> told[2];
    for (int i = 0; i < 2; ++i) {
        ui = open(true, i == 0 ? 1.0f : 2.0f);
        ASSERT_NE(ui, nullptr);
        idle(3);
        told[i] = recorder.take();
        ASSERT_EQ(told[i].size(), 1u);
        ASSERT_EQ(told[i][0].kind, HostCall::resize);
        const std::vector<orvex::validate::Placement> placed = host->placements();
        ASSERT_EQ(placed.size(), 1u);
        EXPECT_EQ(placed[0].width, static_cast<int>(told[i][0].port));
        close();
    }
    EXPECT_EQ(told[1][0].port, 2 * told[0][0].port);
    EXPECT_EQ(told[1][0].value, 2 * told[0][0].value);
}

TEST_P(Lv2Ui, WithoutAParentWindowThereIsNoUi) {
    EXPECT_EQ(open(false), nullptr);
    EXPECT_EQ(host->children(), 0);
}

INSTANTIATE_TEST_SUITE_P(Bundles, Lv2Ui, testing::ValuesIn(orvex::testing::kPanelScripts), orvex::testing::scriptName);
INSTANTIATE_TEST_SUITE_P(Bundles, Lv2UiSolos,
                         testing::Values(orvex::testing::kPanelScripts[0], orvex::testing::kPanelScripts[1]),
                         orvex::testing::scriptName);
