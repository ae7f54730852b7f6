// What the editor tests of the host faces (the LV2 UI, the CLAP editor) drive on each
// panel with a real pointer, and the pointer itself: xdotool on the test's private X
// server, the host's main loop run after each gesture.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <ostream>
#include <memory>
#include <string>

#include "tools/validate/xserver.h"

namespace orvex::testing {

struct Point {
    int x, y;
};

// A percent knob of each panel (20 pixels up: a tenth of its range), the parameter it
// sets and, where the editor links it, its partner's; and two solo buttons with theirs.
// Parameters by index in the plug-in's table.
struct PanelScript {
    const char* name;
    Point knob;
    int knobParameter;
    std::optional<int> partner;
    std::optional<Point> firstSolo, secondSolo;
    int firstSoloParameter = 0, secondSoloParameter = 0;
};

inline const PanelScript kPanelScripts[] = {
    {"panner", {115, 287}, 3, {}, Point{192, 284}, Point{342, 284}, 7, 12},
    {"distortion", {84, 276}, 15, {}, Point{192, 306}, Point{363, 306}, 4, 8},
    {"filter", {320, 208}, 2, {}, {}, {}},
    {"phaser", {91, 133}, 1, 4, {}, {}},
};

inline void PrintTo(const PanelScript& script, std::ostream* out) { *out << script.name; }
inline std::string scriptName(const ::testing::TestParamInfo<PanelScript>& info) { return info.param.name; }

// A real pointer; `loop` runs the host's main loop for a while after each gesture, so
// the editor sees the events and answers.
class Pointer {
public:
    explicit Pointer(std::function<void()> loop) : loop(std::move(loop)) {}
    static bool available() { return std::system("command -v xdotool >/dev/null") == 0; }

    void xdotool(const std::string& arguments) {
        ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
        loop();
    }
    // Pressed at `at`, moved `up` pixels up in two steps, released.
    void drag(Point at, int up) {
        xdotool("mousemove" + place(at.x, at.y) + " mousedown 1 mousemove" + place(at.x, at.y - up / 2) + " mousemove" +
                place(at.x, at.y - up) + " mouseup 1");
    }
    void click(Point at) { xdotool("mousemove" + place(at.x, at.y) + " click 1"); }

private:
    static std::string place(int x, int y) { return " " + std::to_string(x) + " " + std::to_string(y); }
    std::function<void()> loop;
};

// The editor tests' fixture: one private X server for the suite (Xvfb takes a moment to
// start), never the developer's pointer; each test skipped without it or xdotool.
class PanelTest : public ::testing::TestWithParam<PanelScript> {
protected:
    static void SetUpTestSuite() {
        unsetenv("DISPLAY");
        server = std::make_unique<validate::XServer>();
        if (!server->start(reason)) server.reset();
    }
    static void TearDownTestSuite() { server.reset(); }
    // A derived fixture's SetUp calls this first and returns when IsSkipped().
    void SetUp() override {
        if (!server) GTEST_SKIP() << reason;
        if (!Pointer::available()) GTEST_SKIP() << "no xdotool";
    }

    static inline std::unique_ptr<validate::XServer> server;
    static inline std::string reason;
};

}  // namespace orvex::testing
