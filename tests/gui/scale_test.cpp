// The editors' scales: where the scale comes from (scale.h), the remembered choice,
// and a frame at 1x, 1.5x and 2x: its pixels, the window's size, and pointer positions
// brought back to panel pixels so that a drag moves a knob as at 1x. The panel's
// right-click menu of scales rebuilds the editor and asks the host to resize.
#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "gui/controls.h"
#include "gui/scale.h"
#include "toolkit_support.h"

using namespace orvex::gui;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A private config folder, no X server and no GDK_SCALE for the test's editors.
struct ScaleFixture : ::testing::Test {
    std::string home;
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "scale-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        home = pattern;
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("GDK_SCALE");
    }
    void TearDown() override {
        std::remove(configPath().c_str());
        ::rmdir((home + "/orvex").c_str());
        ::rmdir(home.c_str());
    }
    void writeConfig(const std::string& text) {
        ::mkdir((home + "/orvex").c_str(), 0755);
        std::ofstream(configPath()) << text;
    }
};

// A 300 x 200 panel with one knob (parameter 1) at (100, 50) to (140, 90).
struct ScaledEditor {
    toolkit::Effect* effect = new toolkit::Effect;
    toolkit::Editor* editor = new toolkit::Editor(effect);
    CKnob* knob = nullptr;
    explicit ScaledEditor(double scale) {
        if (scale > 0.0) editor->setHostScale(scale);
        editor->setKnobMode(2);
        reopen();
    }
    ~ScaledEditor() { delete effect; }
    void reopen() {
        editor->open(nullptr);
        knob = new CKnob(CRect(100, 50, 140, 90), editor, 1, nullptr, nullptr);
        knob->setValue(0.5f);
        editor->getFrame()->addView(knob);
    }
    CFrame& frame() { return *editor->getFrame(); }
};

}  // namespace

TEST(EditorScales, SourcesSnapToTheList) {
    EXPECT_EQ(nearestScale(1.1), 1.0);
    EXPECT_EQ(nearestScale(1.4), 1.5);
    EXPECT_EQ(nearestScale(9.0), 3.0);
    EXPECT_EQ(nearestScale(-2.0), 1.0);
    EXPECT_EQ(nearestScale(std::nan("")), 1.0);
    EXPECT_EQ(drawingScale(1.0), 1);
    EXPECT_EQ(drawingScale(1.25), 2);
    EXPECT_EQ(drawingScale(2.5), 3);
    EXPECT_EQ(scaledLength(548, 1.75), 959);
    EXPECT_EQ(scaleLabel(1.25), "125%");

    EXPECT_EQ(scaleFromResources("Xft.antialias:\t1\nXft.dpi:\t192\n"), 2.0);
    EXPECT_EQ(scaleFromResources("Xft.dpi: 144"), 1.5);
    EXPECT_EQ(scaleFromResources("Xft.dpi:\t96\n"), 1.0);
    EXPECT_EQ(scaleFromResources("Xft.dpi:\t120\n"), 1.25);
    EXPECT_FALSE(scaleFromResources("Xft.dpi:\tlots\n"));
    EXPECT_FALSE(scaleFromResources("Xft.dpi:\t-96\n*dpi: 192\n"));

    EXPECT_EQ(scaleFromGdkScale("2"), 2.0);
    EXPECT_FALSE(scaleFromGdkScale(nullptr));
    EXPECT_FALSE(scaleFromGdkScale("1.5"));
    EXPECT_FALSE(scaleFromGdkScale("0"));
    EXPECT_FALSE(scaleFromGdkScale("two"));

    EXPECT_EQ(scaleFromConfig("# mine\nscale=1.75\n"), 1.75);
    EXPECT_FALSE(scaleFromConfig("scale=1.6\n"));
    EXPECT_FALSE(scaleFromConfig("scale=\n"));
    EXPECT_FALSE(scaleFromConfig("\x01\x02garbage"));
}

TEST_F(ScaleFixture, TheChoiceIsWrittenWholeAndBrokenFilesAreIgnored) {
    EXPECT_EQ(configPath(), home + "/orvex/editor.conf");
    EXPECT_FALSE(readChosenScale());  // none yet
    ASSERT_TRUE(writeChosenScale(1.5));
    EXPECT_EQ(readFile(configPath()), "scale=1.5\n");
    EXPECT_EQ(readChosenScale(), 1.5);
    EXPECT_FALSE(writeChosenScale(1.6));  // not a listed scale: nothing changes
    EXPECT_EQ(readFile(configPath()), "scale=1.5\n");
    writeConfig("scale=two\n");
    EXPECT_FALSE(readChosenScale());
    writeConfig("scale=2\n" + std::string(8000, '#'));  // oversized
    EXPECT_FALSE(readChosenScale());
    // A folder that cannot be made: no file, no crash.
    setenv("XDG_CONFIG_HOME", (configPath() + "/below-a-file").c_str(), 1);
    EXPECT_FALSE(writeChosenScale(2.0));
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    // The remembered choice is the default of a new editor; a broken one is not.
    writeConfig("scale=1.75\n");
    EXPECT_EQ(ScaledEditor(0.0).editor->getScale(), 1.75);
    writeConfig("\xff\xfe garbage");
    setenv("GDK_SCALE", "2", 1);
    EXPECT_EQ(ScaledEditor(0.0).editor->getScale(), 2.0);  // then GDK_SCALE
    unsetenv("GDK_SCALE");
    EXPECT_EQ(ScaledEditor(0.0).editor->getScale(), 1.0);
}

TEST_F(ScaleFixture, FramesDrawAtTheWholeScaleAndShowTheWindowsSize) {
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        ScaledEditor e(scale);
        CFrame& frame = e.frame();
        const int k = scale == 1.0 ? 1 : 2;
        EXPECT_EQ(frame.context()->pictureScale(), k);
        EXPECT_EQ(cairo_image_surface_get_width(frame.getSurface()), 300 * k);
        EXPECT_EQ(cairo_image_surface_get_width(frame.getWindowSurface()), static_cast<int>(300 * scale));
        EXPECT_EQ(cairo_image_surface_get_height(frame.getWindowSurface()), static_cast<int>(200 * scale));
        ERect* rect = nullptr;
        ASSERT_TRUE(e.editor->getRect(&rect));
        EXPECT_EQ(rect->right - rect->left, static_cast<int>(300 * scale));
        EXPECT_EQ(rect->bottom - rect->top, static_cast<int>(200 * scale));
        // A white square drawn in panel pixels lands, reduced, where the scale puts it.
        frame.draw();
        frame.present();
        CDrawContext* c = frame.context();
        c->setFillColor(kWhiteCColor);
        c->fillRect(CRect(100, 50, 140, 90));
        frame.damage(CRect(100, 50, 140, 90));
        const CRect shown = frame.present();
        EXPECT_LE(shown.left, static_cast<int>(100 * scale));
        EXPECT_GE(shown.right, static_cast<int>(140 * scale));
        cairo_surface_t* s = frame.getWindowSurface();
        cairo_surface_flush(s);
        auto at = [&](int x, int y) {
            uint32_t v;
            std::memcpy(&v, cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + 4 * x, 4);
            return v & 0xFFFFFFu;
        };
        EXPECT_EQ(at(static_cast<int>(120 * scale), static_cast<int>(70 * scale)), 0xFFFFFFu);
        EXPECT_NE(at(static_cast<int>(96 * scale), static_cast<int>(70 * scale)), 0xFFFFFFu);
    }
}

TEST_F(ScaleFixture, PointerPositionsComeBackInPanelPixels) {
    // 20 panel pixels up is a tenth of the range at every scale: the pointer moves 20
    // times the scale on the screen.
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        ScaledEditor e(scale);
        CFrame& frame = e.frame();
        auto screen = [&](int x, int y) {
            return frame.toPanel(static_cast<int>(x * scale), static_cast<int>(y * scale));
        };
        frame.onMouseDown(screen(120, 70), kLButton);
        frame.onMouseMove(screen(120, 60), kLButton);
        frame.onMouseMove(screen(120, 50), kLButton);
        frame.onMouseRelease(screen(120, 50), 0);
        EXPECT_FLOAT_EQ(e.effect->values[1], 0.6f);
        // The wheel where the knob is drawn, and nowhere else.
        frame.onWheel(screen(139, 89), 1.0f, 0);
        EXPECT_FLOAT_EQ(e.knob->getValue(), 0.7f);
        EXPECT_FALSE(frame.onWheel(screen(141, 91), 1.0f, 0));
    }
}

TEST_F(ScaleFixture, TheMenuOfScalesRebuildsResizesAndRemembers) {
    writeConfig("not a scale\n");
    ScaledEditor e(0.0);
    EXPECT_EQ(e.editor->getScale(), 1.0);
    // A right press on a control is the control's: no menu of scales.
    e.frame().onMouseDown(CPoint(120, 70), kRButton);
    EXPECT_EQ(e.frame().getPopup(), nullptr);
    // On the background: the list, 1x checked.
    e.frame().onMouseDown(CPoint(10, 150), kRButton);
    auto* menu = e.frame().getPopup();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->getNbEntries(), 7);
    EXPECT_EQ(menu->entry(4), "200%");
    EXPECT_EQ(menu->getCurrent(), 0);
    EXPECT_EQ(readFile(configPath()), "not a scale\n");  // nothing written before a choice
    e.frame().choosePopupEntry(2);  // 150%
    e.editor->idle();
    e.knob = nullptr;  // the frame was built anew
    EXPECT_EQ(e.editor->getScale(), 1.5);
    EXPECT_EQ(cairo_image_surface_get_width(e.frame().getWindowSurface()), 450);
    ASSERT_FALSE(e.effect->calls.empty());
    EXPECT_EQ(e.effect->calls.back().opcode, audioMasterSizeWindow);
    EXPECT_EQ(e.effect->calls.back().index, 450);
    EXPECT_EQ(e.effect->calls.back().value, 300.0f);
    ERect* rect = nullptr;
    e.editor->getRect(&rect);
    EXPECT_EQ(rect->right, 450);
    EXPECT_EQ(readFile(configPath()), "scale=1.5\n");
    // The next editor starts there; the host's scale wins over it.
    EXPECT_EQ(ScaledEditor(0.0).editor->getScale(), 1.5);
    EXPECT_EQ(ScaledEditor(2.0).editor->getScale(), 2.0);
}
