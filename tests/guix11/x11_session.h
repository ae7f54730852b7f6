// A private Xvfb for a test suite, a host window on it and a plug-in whose editor opens
// inside it through the binary interface, driven with real pointer and key events
// (xdotool) while the test plays the host's user-interface loop.
#pragma once

#include <gtest/gtest.h>

#include <cairo.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/validate/xserver.h"
#include "tools/vsthost/vsthost.h"

namespace x11test {

using orvex::validate::HostWindow;
using orvex::validate::XServer;
using orvex::vsthost::HostEvent;
using orvex::vsthost::Plugin;
using Kind = HostEvent::Kind;

class Session {
public:
    // One server per suite (Xvfb takes a moment to start): call from SetUpTestSuite.
    static void startServer() {
        unsetenv("DISPLAY");  // always a private server: never the developer's pointer
        server() = std::make_unique<XServer>();
        std::string problem;
        if (!server()->start(problem)) {
            server().reset();
            reason() = problem;
        }
    }
    static void stopServer() { server().reset(); }
    static bool available() { return server() != nullptr; }
    // The private server's display name, for the X tools a test runs on it.
    static std::string display() { return server() ? server()->display() : std::string(); }
    static const std::string& whyNot() { return reason(); }

    // The host window and the plug-in at `path`, started, with its editor open.
    void open(const std::string& path) {
        host = std::make_unique<HostWindow>(server()->display());
        ASSERT_TRUE(host->usable());
        orvex::vsthost::HostOptions options;
        auto loaded = Plugin::load(path, options);
        ASSERT_TRUE(loaded) << loaded.error;
        plugin = std::move(loaded.plugin);
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
    // How many pixels of the screen, as the editor's idles left it, differ from the
    // editor drawn offscreen now (the host window sits at the screen's top left); -1
    // when it cannot be compared. The screen is read first: drawing the snapshot of an
    // open editor shows it too.
    int screenDiffersFromSnapshot(const std::string& name) {
        const std::optional<ERect> rect = plugin->editorRect();
        if (!rect) return -1;
        const std::vector<uint32_t> screen = host->screenPixels(0, 0, rect->right - rect->left, rect->bottom - rect->top);
        const std::string path = ::testing::TempDir() + name + ".png";
        if (!plugin->snapshot(path)) return -1;
        cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
        std::remove(path.c_str());
        if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(png);
            return -1;
        }
        const int w = cairo_image_surface_get_width(png), h = cairo_image_surface_get_height(png);
        int differ = -1;
        if (screen.size() == static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {
            differ = 0;
            const unsigned char* data = cairo_image_surface_get_data(png);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t p;
                    std::memcpy(&p, data + y * cairo_image_surface_get_stride(png) + 4 * x, 4);
                    if ((p & 0x00FFFFFFu) != screen[static_cast<std::size_t>(y * w + x)]) ++differ;
                }
        }
        cairo_surface_destroy(png);
        return differ;
    }

    std::unique_ptr<HostWindow> host;
    std::unique_ptr<Plugin> plugin;

private:
    static std::unique_ptr<XServer>& server() {
        static std::unique_ptr<XServer> s;
        return s;
    }
    static std::string& reason() {
        static std::string r;
        return r;
    }
    std::size_t seen = 0;
};

}  // namespace x11test
