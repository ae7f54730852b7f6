// The four plug-ins' editors in a real X server, through the binary interface, as a
// musician uses them: open in the host's window, drag a knob, pick a menu entry, type a
// tempo, close, reopen (showing what was set), and close the plug-in with its editor
// open. The host must see every edit as a gesture with its automation.
#include <optional>

#include "reference/bundle.h"
#include "x11_session.h"

using namespace x11test;

namespace {

struct Point {
    int x, y;
};

// A menu: where to click it, its bottom edge (its list opens below, rows of 18 pixels),
// the entry to pick and what the parameter then holds.
struct MenuPick {
    Point at;
    int bottom;
    int entry;
    VstInt32 parameter;
    float value;
};

struct TempoTyping {
    Point at;
    const char* text;
    VstInt32 parameter;
    float value;
};

// A knob drag moves the knob's own parameter and, where the editor links it, a partner.
struct KnobDrag {
    Point at;
    VstInt32 parameter;
    std::optional<VstInt32> partner;
};

// A drag on a two-way pad that sets two parameters at once.
struct PadDrag {
    Point from, to;
    VstInt32 x, y;
    float xValue, yValue;
};

struct EditorScript {
    const char* bundle;
    KnobDrag knob;
    std::optional<MenuPick> menu;
    std::optional<TempoTyping> tempo;
    std::optional<PadDrag> pad;
};

// Points inside the controls' rectangles on each panel.
const EditorScript kScripts[] = {
    {"panner", {{110, 206}, 0, {}}, MenuPick{{185, 353}, 364, 6, 4, 0.7f}, TempoTyping{{78, 89}, "300", 18, 0.35f}, {}},
    {"distortion", {{79, 206}, 0, {}}, MenuPick{{129, 354}, 362, 13, 5, 1.0f}, {}, {}},
    // The pad dragged past its top right corner: full cutoff and resonance.
    {"filter", {{320, 208}, 2, {}}, MenuPick{{488, 99}, 107, 5, 6, 1.0f}, TempoTyping{{522, 163}, "abc", 11, 0.35f},
     PadDrag{{200, 180}, {300, 100}, 0, 1, 1.0f, 1.0f}},
    // The left depth knob, linked to the right one.
    {"phaser", {{91, 133}, 1, 4}, {}, {}, {}},
};

void PrintTo(const EditorScript& script, std::ostream* out) { *out << script.bundle; }

constexpr int kPopupRow = 18;

class PluginEditor : public ::testing::TestWithParam<EditorScript> {
protected:
    static void SetUpTestSuite() { Session::startServer(); }
    static void TearDownTestSuite() { Session::stopServer(); }
    void SetUp() override {
        if (!Session::available()) GTEST_SKIP() << Session::whyNot();
        session.open(reference::bundlePath(GetParam().bundle));
    }
    Session session;
};

std::string click(const Point& p) { return "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1"; }

}  // namespace

TEST_P(PluginEditor, EditsReachTheHostAndSurviveAReopen) {
    const EditorScript& script = GetParam();
    Plugin& plugin = *session.plugin;
    EXPECT_EQ(session.host->children(), 1);

    // A knob: 20 pixels up is a tenth of its range (linear knob mode).
    const float before = plugin.getParameter(script.knob.parameter);
    const Point k = script.knob.at;
    session.xdotool("mousemove " + std::to_string(k.x) + " " + std::to_string(k.y) + " mousedown 1 mousemove " +
                    std::to_string(k.x) + " " + std::to_string(k.y - 10) + " mousemove " + std::to_string(k.x) + " " +
                    std::to_string(k.y - 20) + " mouseup 1");
    std::vector<HostEvent> events = session.takeEvents();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), (HostEvent{Kind::beginEdit, script.knob.parameter, 0.0f}));
    EXPECT_EQ(events.back(), (HostEvent{Kind::endEdit, script.knob.parameter, 0.0f}));
    const float moved = plugin.getParameter(script.knob.parameter);
    EXPECT_NEAR(moved, std::min(1.0f, before + 0.1f), 1e-5f);
    bool automated = false;
    for (const HostEvent& e : events)
        if (e.kind == Kind::automate && e.index == script.knob.parameter) automated = true;
    EXPECT_TRUE(automated);
    if (script.knob.partner) {
        EXPECT_FLOAT_EQ(plugin.getParameter(*script.knob.partner), moved);
    }

    if (script.menu) {
        // An entry in the list the menu opens below itself.
        const MenuPick& m = *script.menu;
        session.xdotool(click(m.at));
        session.xdotool(click({m.at.x, m.bottom + m.entry * kPopupRow + kPopupRow / 2}));
        events = session.takeEvents();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), (HostEvent{Kind::automate, m.parameter, m.value}));
        EXPECT_FLOAT_EQ(plugin.getParameter(m.parameter), m.value);
    }

    if (script.tempo) {
        // Click into the field, clear it, type, Enter.
        session.xdotool(click(script.tempo->at));
        session.xdotool("key BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace");
        session.xdotool(std::string("type ") + script.tempo->text);
        session.xdotool("key Return");
        events = session.takeEvents();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), (HostEvent{Kind::automate, script.tempo->parameter, script.tempo->value}));
    }

    if (script.pad) {
        const PadDrag& d = *script.pad;
        session.xdotool("mousemove " + std::to_string(d.from.x) + " " + std::to_string(d.from.y) +
                        " mousedown 1 mousemove " + std::to_string((d.from.x + d.to.x) / 2) + " " +
                        std::to_string((d.from.y + d.to.y) / 2) + " mousemove " + std::to_string(d.to.x) + " " +
                        std::to_string(d.to.y) + " mouseup 1");
        events = session.takeEvents();
        ASSERT_GE(events.size(), 6u);
        EXPECT_EQ(events[0], (HostEvent{Kind::beginEdit, d.x, 0.0f}));
        EXPECT_EQ(events[1], (HostEvent{Kind::beginEdit, d.y, 0.0f}));
        EXPECT_EQ(events[events.size() - 2], (HostEvent{Kind::endEdit, d.x, 0.0f}));
        EXPECT_EQ(events.back(), (HostEvent{Kind::endEdit, d.y, 0.0f}));
        EXPECT_FLOAT_EQ(plugin.getParameter(d.x), d.xValue);
        EXPECT_FLOAT_EQ(plugin.getParameter(d.y), d.yValue);
    }

    // The screen shows what the editor draws offscreen, before and after a reopen.
    session.idle(10);
    EXPECT_EQ(session.screenDiffersFromSnapshot(std::string(script.bundle) + "-edited"), 0);
    plugin.dispatch(effEditClose);
    EXPECT_EQ(session.host->childrenAfterClose(), 0);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, session.host->handle()), 1);
    session.idle(20);
    EXPECT_EQ(session.host->children(), 1);
    EXPECT_EQ(session.screenDiffersFromSnapshot(std::string(script.bundle) + "-reopened"), 0);

    // A value from the host shows at the next idle.
    plugin.setParameter(script.knob.parameter, 0.0f);
    session.idle(5);
    EXPECT_EQ(session.screenDiffersFromSnapshot(std::string(script.bundle) + "-host"), 0);

    session.plugin.reset();  // effClose with the editor open
    EXPECT_EQ(session.host->childrenAfterClose(), 0);
}

INSTANTIATE_TEST_SUITE_P(Plugins, PluginEditor, ::testing::ValuesIn(kScripts),
                         [](const ::testing::TestParamInfo<EditorScript>& info) { return std::string(info.param.bundle); });
