// The toolkit in a real X server (a private Xvfb), through the binary interface: the
// test bundle's editor opens in a parent window as a Linux host's, real pointer and
// key events (xdotool) drag a knob, type into a text field and pick a menu entry, the
// host sees the edit gestures and automation, and the screen shows the panel as the
// editor draws it offscreen.
#include <gtest/gtest.h>

#include <cairo.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "reference/bundle.h"
#include "tools/validate/xserver.h"

using orvex::validate::HostWindow;
using orvex::validate::XServer;
using orvex::vsthost::HostEvent;
using orvex::vsthost::Plugin;

namespace {

class EditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        unsetenv("DISPLAY");  // always a private server: never the developer's pointer
        server = new XServer;
        std::string problem;
        if (!server->start(problem)) {
            delete server;
            server = nullptr;
            reason = problem;
        }
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server) GTEST_SKIP() << reason;
        host = std::make_unique<HostWindow>(server->display());
        ASSERT_TRUE(host->usable());
        orvex::vsthost::HostOptions options;
        plugin = orvex::vsthost::Plugin::load(ORVEX_BINARY_DIR "/tests/vst-gui/guieffect.vst/Contents/x86_64-linux/guieffect.so",
                                              options)
                     .plugin;
        ASSERT_TRUE(plugin);
        plugin->start(44100.0f, 512);
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, host->handle()), 1);
        idle(20);
    }

    // The host's user-interface loop: idle calls while events reach the editor.
    void idle(int times) {
        for (int i = 0; i < times; ++i) {
            plugin->dispatch(effEditIdle);
            host->drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void xdotool(const std::string& arguments) {
        ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
        idle(10);
    }
    // What the editor told the host since the last call.
    std::vector<HostEvent> takeEvents() {
        const std::vector<HostEvent>& all = plugin->record().events;
        std::vector<HostEvent> events(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
        seen = all.size();
        return events;
    }
    std::size_t seen = 0;

    static XServer* server;
    static std::string reason;
    std::unique_ptr<HostWindow> host;
    std::unique_ptr<Plugin> plugin;
};

XServer* EditorWindow::server = nullptr;
std::string EditorWindow::reason;

using Kind = HostEvent::Kind;

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
    const std::string path = ::testing::TempDir() + "guix11-panel.png";
    ASSERT_TRUE(plugin->snapshot(path));
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const int w = cairo_image_surface_get_width(png), h = cairo_image_surface_get_height(png);
    EXPECT_GE(w, 300);
    const std::vector<uint32_t> screen = host->screenPixels(0, 0, w, h);
    ASSERT_EQ(screen.size(), static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    int differ = 0;
    const unsigned char* data = cairo_image_surface_get_data(png);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t p;
            std::memcpy(&p, data + y * cairo_image_surface_get_stride(png) + 4 * x, 4);
            if ((p & 0x00FFFFFFu) != screen[static_cast<std::size_t>(y * w + x)]) ++differ;
        }
    cairo_surface_destroy(png);
    std::remove(path.c_str());
    EXPECT_EQ(differ, 0) << "of " << w * h << " pixels";

    plugin->dispatch(effEditClose);
    EXPECT_EQ(host->childrenAfterClose(), 0);
}

TEST_F(EditorWindow, ReopenAndCloseThePluginWithTheEditorOpen) {
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
    plugin.reset();  // effClose with the editor open
    EXPECT_EQ(host->childrenAfterClose(), 0);
}
