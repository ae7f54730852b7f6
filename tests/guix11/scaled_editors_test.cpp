// Our four editors at other scales, through the binary interface. Offscreen: every
// control of every panel draws inside its rectangle at 1x, 2x and 1.5x, and nothing
// else changes; the 2x panel is drawn at its pixels, not enlarged from 1x. In a private Xvfb: Xft.dpi 192 opens an editor at twice its size, the
// right-click menu of scales resizes it (the host is asked to) and remembers the choice
// in the config file, and a drag at 2x moves a knob as far as at 1x.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <span>
#include <sstream>

#include "plugins/distortion/layout.h"
#include "plugins/filter/layout.h"
#include "plugins/panner/layout.h"
#include "plugins/phaser/layout.h"
#include "reference/bundle.h"
#include "x11_session.h"

using namespace x11test;
using orvex::gui::PanelKind;
using orvex::gui::PanelRow;

namespace {

struct Panel {
    const char* bundle;
    std::span<const PanelRow> rows;
};
const Panel kPanels[] = {
    {"panner", orvex::panner::layout::kRows},
    {"distortion", orvex::distortion::layout::kRows},
    {"filter", orvex::filter::layout::kRows},
    {"phaser", orvex::phaser::layout::kRows},
};

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

Picture snapshot(Plugin& p, float scale) {
    static int count = 0;
    const std::string path = ::testing::TempDir() + "scaled-" + std::to_string(::getpid()) + "-" +
                             std::to_string(count++) + ".png";
    Picture picture;
    EXPECT_TRUE(p.snapshot(path, scale));
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    std::remove(path.c_str());
    if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS) {
        picture.width = cairo_image_surface_get_width(png);
        picture.height = cairo_image_surface_get_height(png);
        const unsigned char* data = cairo_image_surface_get_data(png);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                uint32_t v;
                std::memcpy(&v, data + y * cairo_image_surface_get_stride(png) + 4 * x, 4);
                picture.pixels.push_back(v & 0xFFFFFFu);
            }
    }
    cairo_surface_destroy(png);
    return picture;
}

// A row's rectangle in the picture at `scale`, one pixel larger on each side for what
// the averaging of a fractional scale spreads.
bool inside(const orvex::gui::PanelRect& r, double scale, int x, int y, int margin) {
    return x >= std::floor(r.left * scale) - margin && x < std::ceil(r.right * scale) + margin &&
           y >= std::floor(r.top * scale) - margin && y < std::ceil(r.bottom * scale) + margin;
}

// Two values of a row's parameter that it shows differently.
std::pair<float, float> twoValues(const PanelRow& row) {
    if (row.kind == PanelKind::menu) return {row.menu->values[0], row.menu->values[row.menu->count - 1]};
    if (row.kind == PanelKind::button || row.kind == PanelKind::keyedButton) return {0.0f, 1.0f};
    return {0.1f, 0.9f};
}

double grey(uint32_t rgb) { return ((rgb >> 16) & 0xFF) * 0.3 + ((rgb >> 8) & 0xFF) * 0.59 + (rgb & 0xFF) * 0.11; }

// How sharp the 2x panel is against the 1x one. Drawn at 2x, an edge is as steep as at
// 1x: the squared steps between neighbours, per pixel, are about half the 1x panel's
// (edges twice as long over four times the pixels); enlarged smoothly, each step is
// split in two and they fall to a quarter. Enlarged by doubling pixels, the steps stay
// steep but none falls inside a pair of columns (2i, 2i + 1).
struct Sharpness {
    double steps;   // per pixel, 2x over 1x
    double within;  // steps inside column pairs over those between them
};
Sharpness sharpnessAt2x(const Picture& one, const Picture& two) {
    auto energy = [](const Picture& p, double* within, double* across) {
        double sum = 0;
        for (int y = 0; y + 1 < p.height; ++y)
            for (int x = 0; x + 1 < p.width; ++x) {
                const double here = grey(p.pixels[static_cast<std::size_t>(y * p.width + x)]);
                const double right = grey(p.pixels[static_cast<std::size_t>(y * p.width + x + 1)]) - here;
                const double down = grey(p.pixels[static_cast<std::size_t>((y + 1) * p.width + x)]) - here;
                sum += right * right + down * down;
                if (within) (x % 2 == 0 ? *within : *across) += right * right;
            }
        return sum / (static_cast<double>(p.width) * p.height);
    };
    double within = 0, across = 0;
    const double two2 = energy(two, &within, &across);
    return {two2 / energy(one, nullptr, nullptr), within / across};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(ScaledPanels, EveryControlDrawsInsideItsRectangleAtEveryScale) {
    orvex::vsthost::HostOptions options;
    for (const Panel& panel : kPanels) {
        auto p = reference::loadBundle(panel.bundle, options);
        ASSERT_TRUE(p);
        const Picture one = snapshot(*p, 1.0f);
        // Drawn at 2x, not enlarged: edges fall inside pixel pairs as often as between.
        const Sharpness sharp = sharpnessAt2x(one, snapshot(*p, 2.0f));
        std::printf("%s at 2x: squared steps per pixel %.2f of 1x's, within column pairs %.2f of those across\n",
                    panel.bundle, sharp.steps, sharp.within);
        EXPECT_GT(sharp.steps, 0.4) << panel.bundle;
        EXPECT_GT(sharp.within, 0.4) << panel.bundle;
        for (const double scale : {1.0, 2.0, 1.5}) {
            for (const PanelRow& row : panel.rows) {
                if (row.kind == PanelKind::own) continue;
                SCOPED_TRACE(std::string(panel.bundle) + " at " + std::to_string(scale) + ", tag " +
                             std::to_string(row.tag));
                const auto index = static_cast<VstInt32>(row.tag);
                const auto [low, high] = twoValues(row);
                std::vector<float> before(static_cast<std::size_t>(p->numParams()));
                p->setParameter(index, low);
                for (VstInt32 i = 0; i < p->numParams(); ++i) before[static_cast<std::size_t>(i)] = p->getParameter(i);
                const Picture a = snapshot(*p, static_cast<float>(scale));
                p->setParameter(index, high);
                // What may change: the rows of every parameter that changed, and the
                // plug-in's own views (curves and displays that show many).
                std::vector<const PanelRow*> allowed;
                for (const PanelRow& other : panel.rows) {
                    const bool changed = other.kind != PanelKind::own && other.tag < p->numParams() &&
                                         p->getParameter(static_cast<VstInt32>(other.tag)) !=
                                             before[static_cast<std::size_t>(other.tag)];
                    if (changed || other.kind == PanelKind::own) allowed.push_back(&other);
                }
                const Picture b = snapshot(*p, static_cast<float>(scale));
                ASSERT_EQ(a.width, static_cast<int>(std::lround(one.width * scale)));
                ASSERT_EQ(a.height, static_cast<int>(std::lround(one.height * scale)));
                ASSERT_EQ(a.pixels.size(), b.pixels.size());
                int changedInside = 0, changedOutside = 0;
                for (int y = 0; y < a.height; ++y)
                    for (int x = 0; x < a.width; ++x) {
                        if (a.pixels[static_cast<std::size_t>(y * a.width + x)] ==
                            b.pixels[static_cast<std::size_t>(y * a.width + x)])
                            continue;
                        if (inside(row.rect, scale, x, y, 1)) {
                            ++changedInside;
                            continue;
                        }
                        const bool mayChange = std::any_of(allowed.begin(), allowed.end(), [&](const PanelRow* r) {
                            return inside(r->rect, scale, x, y, 1);
                        });
                        if (!mayChange) ++changedOutside;
                    }
                EXPECT_GT(changedInside, 0);
                EXPECT_EQ(changedOutside, 0);
            }
        }
    }
}

class ScaledEditor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Session::startServer(); }
    static void TearDownTestSuite() { Session::stopServer(); }
    void SetUp() override {
        if (!Session::available()) GTEST_SKIP() << Session::whyNot();
        std::string pattern = ::testing::TempDir() + "scaled-config-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        config = pattern;
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        unsetenv("GDK_SCALE");
    }
    void TearDown() override {
        if (config.empty()) return;
        std::remove((config + "/orvex/editor.conf").c_str());
        ::rmdir((config + "/orvex").c_str());
        ::rmdir(config.c_str());
    }
    void resources(const std::string& text) {
        const std::string command = "echo '" + text + "' | xrdb -display " + Session::display() + " -merge";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    // The panel's own size, from its picture at 1x drawn by an instance of its own.
    static std::pair<int, int> panelSize(const char* bundle) {
        auto p = reference::loadBundle(bundle, {});
        if (!p) return {};
        const Picture one = snapshot(*p, 1.0f);
        return {one.width, one.height};
    }
    std::string config;
    Session session;
};

TEST_F(ScaledEditor, XftDpi192OpensAtTwiceTheSize) {
    resources("Xft.dpi: 192");
    session.open(reference::bundlePath("distortion"));
    const auto [width, height] = panelSize("distortion");
    const auto rect = session.plugin->editorRect();
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->right - rect->left, 2 * width);
    EXPECT_EQ(rect->bottom - rect->top, 2 * height);
    const std::vector<orvex::validate::Placement> placed = session.host->placements();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].width, 2 * width);
    EXPECT_EQ(placed[0].height, 2 * height);
    ASSERT_EQ(std::system(("xrdb -display " + Session::display() + " -remove").c_str()), 0);
}

TEST_F(ScaledEditor, RightClickMenuResizesRemembersAndDragsAsAt1x) {
    // A broken remembered choice is ignored, and stays as it is until a choice.
    ::mkdir((config + "/orvex").c_str(), 0755);
    std::ofstream(config + "/orvex/editor.conf") << "scale=\x01\x02\n";
    session.open(reference::bundlePath("panner"));
    Plugin& plugin = *session.plugin;
    const auto [width, height] = panelSize("panner");
    ASSERT_EQ(plugin.editorRect()->right, width);
    // The menu below a right click on the background: 200% is the fifth of its rows.
    session.xdotool("mousemove 8 8 click 3");
    session.xdotool("mousemove 30 " + std::to_string(8 + 4 * 18 + 9) + " click 1");
    EXPECT_EQ(plugin.record().sizeWindowWidth, 2 * width);
    EXPECT_EQ(plugin.record().sizeWindowHeight, 2 * height);
    EXPECT_EQ(plugin.editorRect()->right, 2 * width);
    const std::vector<orvex::validate::Placement> placed = session.host->placements();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].width, 2 * width);
    EXPECT_EQ(readFile(config + "/orvex/editor.conf"), "scale=2\n");

    // The band's frequency knob at (110, 206) on the panel: 20 panel pixels up, 40 on
    // the screen, are a tenth of its range, as at 1x.
    session.takeEvents();
    const float before = plugin.getParameter(0);
    session.xdotool("mousemove 220 412 mousedown 1 mousemove 220 392 mousemove 220 372 mouseup 1");
    EXPECT_NEAR(plugin.getParameter(0), std::min(1.0f, before + 0.1f), 1e-5f);
    const std::vector<HostEvent> events = session.takeEvents();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), (HostEvent{Kind::beginEdit, 0, 0.0f}));
    EXPECT_EQ(events.back(), (HostEvent{Kind::endEdit, 0, 0.0f}));

    // At 2x the list is drawn at 2x too: rows of 36 pixels from just below the click.
    session.xdotool("mousemove 16 16 click 3");
    session.xdotool("mousemove 60 " + std::to_string(18 + 2 * 36 + 18) + " click 1");
    EXPECT_EQ(plugin.record().sizeWindowWidth, static_cast<int>(std::lround(1.5 * width)));
    EXPECT_EQ(readFile(config + "/orvex/editor.conf"), "scale=1.5\n");
}
