// The toolkit in a real X server (a private Xvfb), through the binary interface: the
// test bundle's editor opens in a parent window as a Linux host's, real pointer and
// key events (xdotool) drag a knob, type into a text field and pick a menu entry, the
// host sees the edit gestures and automation, and the screen shows the panel as the
// editor draws it offscreen.
#include "x11_session.h"

using namespace x11test;

namespace {

class EditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Session::startServer(); }
    static void TearDownTestSuite() { Session::stopServer(); }
    void SetUp() override {
        if (!Session::available()) GTEST_SKIP() << Session::whyNot();
        session.open(ORVEX_BINARY_DIR "/tests/vst-gui/guieffect.vst/Contents/x86_64-linux/guieffect.so");
        host = session.host.get();
        plugin = session.plugin.get();
    }
    void idle(int times) { session.idle(times); }
    void xdotool(const std::string& arguments) { session.xdotool(arguments); }
    std::vector<HostEvent> takeEvents() { return session.takeEvents(); }

    Session session;
    HostWindow* host = nullptr;
    Plugin* plugin = nullptr;
};

}  // namespace

TEST_F(EditorWindow, DragAKnobTypeATempoPickAMenuEntry) {
    EXPECT_EQ(host->children(), 1);
    // The knob (20, 40)..(60, 80) starts at 0.5; 20 pixels up is 0.1 more.
    xdotool("mousemove 40 60 mousedown 1 mousemove 40 50 mousemove 40 40 mouseup 1");
    std::vector<HostEvent> events = takeEvents();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), (HostEvent{Kind::beginEdit, 0, 0.0f}));
    EXPECT_EQ(events.back(), (HostEvent{Kind::endEdit, 0, 0.0f}));
    EXPECT_EQ(events[events.size() - 2].kind, Kind::automate);
    EXPECT_FLOAT_EQ(events[events.size() - 2].value, 0.6f);
    EXPECT_FLOAT_EQ(plugin->getParameter(0), 0.6f);

    // The tempo field (140, 90)..(210, 106): click, clear, type, Enter.
    xdotool("mousemove 175 98 click 1");
    xdotool("key BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace type 95");
    xdotool("key Return");
    events = takeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, Kind::automate);
    EXPECT_EQ(events.back().index, 3);
    EXPECT_FLOAT_EQ(events.back().value, (95.0f - 50.0f) / 200.0f);

    // The menu (140, 50)..(230, 68) opens its list below: rows of 18 pixels from y 68.
    xdotool("mousemove 185 59 click 1");
    xdotool("mousemove 170 131 click 1");  // the fourth entry, " Third"
    events = takeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), (HostEvent{Kind::automate, 2, 1.0f}));

    // What the screen shows is what the editor draws offscreen.
    idle(10);
    EXPECT_EQ(session.screenDiffersFromSnapshot("guix11-panel"), 0);

    plugin->dispatch(effEditClose);
    EXPECT_EQ(host->childrenAfterClose(), 0);
}

TEST_F(EditorWindow, ReopenAndCloseThePluginWithTheEditorOpen) {
    // Opened and idled as a Linux host does, without effEditDraw: the panel shows.
    EXPECT_EQ(session.screenDiffersFromSnapshot("guix11-first"), 0);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(host->childrenAfterClose(), 0);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, host->handle()), 1);
    idle(5);
    EXPECT_EQ(host->children(), 1);
    // A drag cut short by the editor closing still ends the gesture for the host.
    xdotool("mousemove 40 60 mousedown 1 mousemove 40 50");
    plugin->dispatch(effEditClose);
    const std::vector<HostEvent> events = takeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, Kind::endEdit);
    xdotool("mouseup 1");
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, host->handle()), 1);
    idle(5);
    session.plugin.reset();  // effClose with the editor open
    EXPECT_EQ(host->childrenAfterClose(), 0);
}
