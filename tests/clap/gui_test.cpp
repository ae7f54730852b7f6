// The CLAP editors as a host drives them, through clap.gui and the host's timer, in a
// private X server: the editor embeds in the host's window at the size it says, the
// host's values reach its controls, a real pointer's edit comes back to the host as a
// gesture with its values (a solo switched on turns the others off, the phaser's linked
// knob moves its partner), the host's scale and sizes pick the editor's scales, and
// destroying it leaves no window behind.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/clap.h"
#include "panelpointer.h"
#include "tools/validate/xserver.h"

namespace {

using orvex::validate::HostWindow;

// What the plug-in asked of the host's side.
struct Host {
    clap_host_t record{};
    bool offersTimer = true;
    std::vector<clap_id> timers;
    std::vector<std::pair<uint32_t, uint32_t>> resizes;
    int flushRequests = 0;

    static Host& of(const clap_host_t* h) { return *static_cast<Host*>(h->host_data); }
    Host() {
        record.clap_version = CLAP_VERSION;
        record.host_data = this;
        record.name = "Orvex CLAP editor test";
        record.version = "1";
        record.get_extension = [](const clap_host_t* h, const char* id) -> const void* {
            if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
            if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
            if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return of(h).offersTimer ? &kTimers : nullptr;
            return nullptr;
        };
        record.request_restart = record.request_process = record.request_callback = [](const clap_host_t*) {};
    }
    static constexpr clap_host_params_t kParams{[](const clap_host_t*, clap_param_rescan_flags) {},
                                                [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
                                                [](const clap_host_t* h) { ++of(h).flushRequests; }};
    static constexpr clap_host_gui_t kGui{
        [](const clap_host_t*) {},
        [](const clap_host_t* h, uint32_t width, uint32_t height) {
            of(h).resizes.emplace_back(width, height);
            return true;
        },
        [](const clap_host_t*) { return true; }, [](const clap_host_t*) { return true; },
        [](const clap_host_t*, bool) {}};
    static constexpr clap_host_timer_support_t kTimers{
        [](const clap_host_t* h, uint32_t period, clap_id* id) {
            if (period == 0) return false;
            *id = static_cast<clap_id>(of(h).timers.size() + 7);
            of(h).timers.push_back(*id);
            return true;
        },
        [](const clap_host_t* h, clap_id id) {
            auto& timers = of(h).timers;
            for (auto at = timers.begin(); at != timers.end(); ++at)
                if (*at == id) {
                    timers.erase(at);
                    return true;
                }
            return false;
        }};
};

// One parameter event or gesture the plug-in told the host.
struct Told {
    uint16_t type;
    clap_id id;
    double value;
};

// The host's values for a flush, and what the plug-in answers there.
struct Flush {
    std::vector<clap_event_param_value_t> in;
    std::vector<Told> out;
    clap_input_events_t inList{this, [](const clap_input_events_t* l) { return static_cast<uint32_t>(self(l).in.size()); },
                               [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
                                   return &self(l).in.at(i).header;
                               }};
    clap_output_events_t outList{this, [](const clap_output_events_t* l, const clap_event_header_t* e) {
                                     auto& out = static_cast<Flush*>(l->ctx)->out;
                                     if (e->type == CLAP_EVENT_PARAM_VALUE) {
                                         const auto& v = *reinterpret_cast<const clap_event_param_value_t*>(e);
                                         out.push_back({e->type, v.param_id, v.value});
                                     } else if (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
                                                e->type == CLAP_EVENT_PARAM_GESTURE_END) {
                                         out.push_back({e->type, reinterpret_cast<const clap_event_param_gesture_t*>(e)->param_id, 0});
                                     }
                                     return true;
                                 }};
    static Flush& self(const clap_input_events_t* l) { return *static_cast<Flush*>(l->ctx); }
};

using orvex::testing::PanelScript;
using orvex::testing::Point;

class ClapEditor : public orvex::testing::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        if (IsSkipped()) return;
        const std::string path = std::string(ORVEX_BINARY_DIR) + "/clap/" + GetParam().name + ".clap";
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ASSERT_NE(library, nullptr) << dlerror();
        entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(entry->init(path.c_str()));
        const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        ASSERT_NE(factory, nullptr);
        plugin = factory->create_plugin(factory, &host.record, factory->get_plugin_descriptor(factory, 0)->id);
        ASSERT_NE(plugin, nullptr);
        ASSERT_TRUE(plugin->init(plugin));
        gui = static_cast<const clap_plugin_gui_t*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
        timer = static_cast<const clap_plugin_timer_support_t*>(plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
        params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        ASSERT_TRUE(gui && timer && params);
        window = std::make_unique<HostWindow>(server->display());
        ASSERT_TRUE(window->usable());
    }
    void TearDown() override {
        if (plugin) plugin->destroy(plugin);
        window.reset();
        if (entry) entry->deinit();
        if (library) dlclose(library);
    }

    // Made, scaled and embedded in the host's window, as a host shows an editor.
    void show(double scale = 1.0) {
        ASSERT_TRUE(gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, false));
        ASSERT_TRUE(gui->create(plugin, CLAP_WINDOW_API_X11, false));
        ASSERT_EQ(host.timers.size(), 1u);
        EXPECT_TRUE(gui->set_scale(plugin, scale));
        ASSERT_TRUE(gui->get_size(plugin, &width, &height));
        const clap_window_t parent{CLAP_WINDOW_API_X11, {.x11 = reinterpret_cast<uintptr_t>(window->handle())}};
        ASSERT_TRUE(gui->set_parent(plugin, &parent));
        EXPECT_TRUE(gui->show(plugin));
        ticks(10);
    }
    // The host's main loop: the editor's timer and the host's own window.
    void ticks(int times) {
        for (int i = 0; i < times; ++i) {
            for (const clap_id id : host.timers) timer->on_timer(plugin, id);
            window->drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // The host's values and the plug-in's answer, with nothing processing.
    std::vector<Told> flush(std::vector<std::pair<clap_id, double>> values = {}) {
        Flush f;
        for (const auto& [id, value] : values) {
            clap_event_param_value_t e{};
            e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
            e.param_id = id;
            e.note_id = -1, e.port_index = e.channel = e.key = -1;
            e.value = value;
            f.in.push_back(e);
        }
        params->flush(plugin, &f.inList, &f.outList);
        return f.out;
    }
    void drag(Point at, int up) { pointer.drag(at, up); }
    void click(Point at) { pointer.click(at); }
    std::vector<uint32_t> pixelsAround(Point at) { return window->screenPixels(at.x - 8, at.y - 8, 16, 16); }


    Host host;
    void* library = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_timer_support_t* timer = nullptr;
    const clap_plugin_params_t* params = nullptr;
    std::unique_ptr<HostWindow> window;
    uint32_t width = 0, height = 0;
    orvex::testing::Pointer pointer{[this] { ticks(10); }};
};

// The last value told for `id`.
std::optional<double> lastValue(const std::vector<Told>& told, clap_id id) {
    std::optional<double> value;
    for (const Told& t : told)
        if (t.type == CLAP_EVENT_PARAM_VALUE && t.id == id) value = t.value;
    return value;
}

}  // namespace

TEST_P(ClapEditor, EmbedsFollowsTheHostAndToldItsEditsAsGestures) {
    const PanelScript& script = GetParam();
    show();
    const std::vector<orvex::validate::Placement> placed = window->placements();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].width, static_cast<int>(width));
    EXPECT_EQ(placed[0].height, static_cast<int>(height));

    // The host's value reaches the knob: it looks different, and a drag goes on from it.
    const std::vector<uint32_t> before = pixelsAround(script.knob);
    const std::vector<Told> answer = flush({{static_cast<clap_id>(script.knobParameter), 0.4}});
    EXPECT_FALSE(lastValue(answer, static_cast<clap_id>(script.knobParameter))) << "the host's own value is not told back";
    if (script.partner) {
        EXPECT_NEAR(lastValue(answer, static_cast<clap_id>(*script.partner)).value_or(-1), 0.4, 1e-6) << "the link's move is";
    }
    ticks(5);
    EXPECT_NE(pixelsAround(script.knob), before);

    const int requests = host.flushRequests;
    drag(script.knob, 20);
    EXPECT_GT(host.flushRequests, requests) << "the host is asked to flush the edit";
    const std::vector<Told> told = flush();
    ASSERT_GE(told.size(), 3u);
    EXPECT_EQ(told.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(told.front().id, static_cast<clap_id>(script.knobParameter));
    EXPECT_EQ(told.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    EXPECT_EQ(told.back().id, static_cast<clap_id>(script.knobParameter));
    ASSERT_TRUE(lastValue(told, static_cast<clap_id>(script.knobParameter)));
    EXPECT_NEAR(*lastValue(told, static_cast<clap_id>(script.knobParameter)), 0.5, 1e-4);
    double value = 0;
    ASSERT_TRUE(params->get_value(plugin, static_cast<clap_id>(script.knobParameter), &value));
    EXPECT_NEAR(value, 0.5, 1e-4);
    if (script.partner) {
        ASSERT_TRUE(lastValue(told, static_cast<clap_id>(*script.partner))) << "the linked partner is told too";
        EXPECT_NEAR(*lastValue(told, static_cast<clap_id>(*script.partner)), 0.5, 1e-4);
    }

    gui->destroy(plugin);
    EXPECT_TRUE(host.timers.empty()) << "the editor's timer is given back";
    EXPECT_EQ(window->childrenAfterClose(), 0);
}

class ClapEditorSolos : public ClapEditor {};

TEST_P(ClapEditorSolos, ASoloSwitchedOnTurnsTheOthersOff) {
    const PanelScript& script = GetParam();
    show();
    flush({{static_cast<clap_id>(script.secondSoloParameter), 1.0}});
    ticks(5);
    click(*script.firstSolo);
    std::vector<Told> told = flush();
    EXPECT_EQ(lastValue(told, static_cast<clap_id>(script.firstSoloParameter)), 1.0);
    EXPECT_EQ(lastValue(told, static_cast<clap_id>(script.secondSoloParameter)), 0.0);
    click(*script.secondSolo);
    told = flush();
    EXPECT_EQ(lastValue(told, static_cast<clap_id>(script.secondSoloParameter)), 1.0);
    EXPECT_EQ(lastValue(told, static_cast<clap_id>(script.firstSoloParameter)), 0.0);
}

// The host's scale doubles the size; a size the host offers is met by the largest
// scale that fits in it, and set_size takes it.
TEST_P(ClapEditor, SizesFollowTheHostsScaleAndTheScalesThatFit) {
    show(2.0);
    uint32_t w1 = 0, h1 = 0;
    ASSERT_TRUE(gui->set_scale(plugin, 1.0));
    ASSERT_TRUE(gui->get_size(plugin, &w1, &h1));
    EXPECT_EQ(width, 2 * w1);
    EXPECT_EQ(height, 2 * h1);
    EXPECT_TRUE(gui->can_resize(plugin));
    clap_gui_resize_hints_t hints{};
    ASSERT_TRUE(gui->get_resize_hints(plugin, &hints));
    EXPECT_TRUE(hints.preserve_aspect_ratio);
    EXPECT_EQ(hints.aspect_ratio_width * h1, hints.aspect_ratio_height * w1);

    uint32_t w = 2 * w1 + 30, h = 2 * h1 + 30;  // room for 2x, not for 2.5x
    ASSERT_TRUE(gui->adjust_size(plugin, &w, &h));
    EXPECT_EQ(w, 2 * w1);
    EXPECT_EQ(h, 2 * h1);
    w = 10, h = 10;  // too small for any: the smallest
    ASSERT_TRUE(gui->adjust_size(plugin, &w, &h));
    EXPECT_EQ(w, w1);
    const std::size_t asked = host.resizes.size();
    EXPECT_TRUE(gui->set_size(plugin, 2 * w1, 2 * h1));
    EXPECT_EQ(host.resizes.size(), asked) << "a size the host set is not asked for again";
    ticks(3);
    uint32_t shownW = 0, shownH = 0;
    ASSERT_TRUE(gui->get_size(plugin, &shownW, &shownH));
    EXPECT_EQ(shownW, 2 * w1);
    const std::vector<orvex::validate::Placement> placed = window->placements();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].width, static_cast<int>(2 * w1));
    EXPECT_FALSE(gui->set_size(plugin, 2 * w1 + 30, 2 * h1)) << "a size no scale has is not taken";
}

TEST_P(ClapEditor, NoEditorWithoutTheHostsTimerOrFloating) {
    EXPECT_FALSE(gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->create(plugin, CLAP_WINDOW_API_WAYLAND, false));
    host.offersTimer = false;
    EXPECT_FALSE(gui->create(plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_EQ(window->children(), 0);
}

INSTANTIATE_TEST_SUITE_P(Plugins, ClapEditor, testing::ValuesIn(orvex::testing::kPanelScripts),
                         orvex::testing::scriptName);
INSTANTIATE_TEST_SUITE_P(Plugins, ClapEditorSolos,
                         testing::Values(orvex::testing::kPanelScripts[0], orvex::testing::kPanelScripts[1]),
                         orvex::testing::scriptName);
