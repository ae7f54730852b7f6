// The drawing pieces at the sizes and settings the editors use.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "pieces.h"

using namespace orvex::pictures;

namespace {

void setPixel(cairo_surface_t* s, int x, int y, std::uint32_t premultiplied) {
    cairo_surface_flush(s);
    std::memcpy(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + 4 * x, &premultiplied, 4);
    cairo_surface_mark_dirty(s);
}

int differences(const Picture& a, int ya, const Picture& b, int yb, int w, int h) {
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) n += !a.pixel(x, ya + y).sameAs(b.pixel(x, yb + y));
    return n;
}

// Cairo's and fontconfig's caches released at the end, as the generators do, so that
// the leak checker of a sanitizer build looks at the pieces alone.
class ReleaseCaches : public ::testing::Environment {
public:
    void TearDown() override { releaseCaches(); }
};
const auto* const releasing = ::testing::AddGlobalTestEnvironment(new ReleaseCaches);

}  // namespace

TEST(PicturesPieces, KnobAngleSweeps270Degrees) {
    const double degree = std::numbers::pi / 180;
    EXPECT_NEAR(knobAngle(0), -135 * degree, 1e-12);
    EXPECT_NEAR(knobAngle(0.5), 0, 1e-12);
    EXPECT_NEAR(knobAngle(1), 135 * degree, 1e-12);
    EXPECT_NEAR(knobAngle(-3), knobAngle(0), 1e-12);
    EXPECT_NEAR(knobAngle(7), knobAngle(1), 1e-12);
}

TEST(PicturesPieces, ResponsesHaveTheirTextbookLevels) {
    EXPECT_NEAR(responseDb(Response::lowPass, 1, std::sqrt(0.5)), -3.0103, 1e-3);
    EXPECT_NEAR(responseDb(Response::lowPass, 0.01, 0.707), 0, 1e-3);
    EXPECT_NEAR(responseDb(Response::lowPass, 10, 0.707), -40, 0.1);
    EXPECT_NEAR(responseDb(Response::lowPass, 10, 0.707, 2), -80, 0.2);
    EXPECT_NEAR(responseDb(Response::bandPass, 1, 3), 0, 1e-9);
    EXPECT_LT(responseDb(Response::bandPass, 4, 1), -10);
    for (double r : {0.1, 0.5, 2.0, 8.0})
        EXPECT_NEAR(responseDb(Response::highPass, r, 1.3), responseDb(Response::lowPass, 1 / r, 1.3), 1e-9) << r;
}

TEST(PicturesPieces, LayingOnTheKeyKeepsTheShapeAndDropsTheRest) {
    const Colour key{43, 100, 118};
    cairo_surface_t* shape = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 1);
    setPixel(shape, 0, 0, 0);                     // nothing there
    setPixel(shape, 1, 0, 0x14141414u);           // a faint edge, below the threshold
    setPixel(shape, 2, 0, 0xff2b6476u);           // opaque, exactly the key colour
    setPixel(shape, 3, 0, 0x80800000u);           // half-covered pure red
    Picture out(4, 1);
    layOnKey(shape, key, {0, 0, 255}, out, 48);
    cairo_surface_destroy(shape);
    EXPECT_TRUE(out.pixel(0, 0).sameAs(key));
    EXPECT_TRUE(out.pixel(1, 0).sameAs(key));
    const Colour kept = out.pixel(2, 0);
    EXPECT_FALSE(kept.sameAs(key));
    EXPECT_EQ(kept.red, 43);
    EXPECT_EQ(std::abs(kept.green - 100), 1);
    EXPECT_EQ(kept.blue, 118);
    const Colour blended = out.pixel(3, 0);  // red over the blue edge colour
    EXPECT_EQ(blended.red, 128);
    EXPECT_EQ(blended.green, 0);
    EXPECT_EQ(blended.blue, 127);
}

TEST(PicturesPieces, StripsOfTheEditorsSizes) {
    const Style style;
    const Backdrop behind = Backdrop::plain(style.section);
    const Picture big = knobStrip(style, 128, 22, 22, behind);
    EXPECT_EQ(big.width(), 22);
    EXPECT_EQ(big.height(), 128 * 22);
    const Picture small = knobStrip(style, 101, 18, 18, behind);
    EXPECT_EQ(small.height(), 101 * 18);
    EXPECT_GT(differences(small, 0, small, 100 * 18, 18, 18), 10);
    EXPECT_GT(differences(small, 49 * 18, small, 51 * 18, 18, 18), 0);
    // A lone frame shows the value 0, the same as the first frame of a longer strip.
    const Picture one = knobStrip(style, 1, 18, 18, behind);
    EXPECT_EQ(differences(one, 0, small, 0, 18, 18), 0);
    EXPECT_THROW(knobStrip(style, 0, 18, 18, behind), std::runtime_error);
    EXPECT_THROW(knobStrip(style, 2000, 22, 22, behind), std::runtime_error);
    EXPECT_THROW(knobStrip(style, 10, 0, 18, behind), std::runtime_error);
}

TEST(PicturesPieces, ABackdropPictureShowsAroundTheKnob) {
    const Style style;
    Picture panel(60, 60);
    fillPanel(panel, style, false);
    const Picture strip = knobStrip(style, 3, 20, 30, Backdrop::of(panel, 10, 20));
    // The frame's corners are the panel's pixels at (10, 20) on, in every frame.
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_TRUE(strip.pixel(0, frame * 30).sameAs(panel.pixel(10, 20)));
        EXPECT_TRUE(strip.pixel(19, frame * 30 + 29).sameAs(panel.pixel(29, 49)));
    }
}

TEST(PicturesPieces, KeyedButtonLeavesOnlyItsCornersWhite) {
    const Style style;
    const Colour white{255, 255, 255};
    const Picture button = twoStateButton(style, 19, 31, Backdrop::keyed(white, style.panelTop));
    EXPECT_EQ(button.height(), 62);
    EXPECT_GT(differences(button, 0, button, 31, 19, 31), 5);
    int white_pixels = 0;
    for (int y = 0; y < 62; ++y)
        for (int x = 0; x < 19; ++x) white_pixels += button.pixel(x, y).sameAs(white);
    EXPECT_TRUE(button.pixel(0, 0).sameAs(white));
    EXPECT_TRUE(button.pixel(18, 61).sameAs(white));
    EXPECT_FALSE(button.pixel(9, 15).sameAs(white));
    EXPECT_LT(white_pixels, 40);  // the rounded corners and the shadow's edge only
}

TEST(PicturesPieces, SmallFieldsKeepAFrameAndALightInside) {
    const Style style;
    const Backdrop behind = Backdrop::plain(style.section);
    for (int h : {10, 14, 16, 21}) {
        SCOPED_TRACE(h);
        const Picture menu = menuBackground(style, 44, h, behind);
        const Picture display = displayBackground(style, 33, h, behind);
        EXPECT_EQ(menu.height(), h);
        const Colour inside = display.pixel(16, h / 2);
        const Colour edge = display.pixel(16, 0);
        EXPECT_GT(inside.red + inside.green + inside.blue, 3 * 180);  // dark text reads on it
        EXPECT_LT(edge.red + edge.green + edge.blue, 3 * 100);
        EXPECT_FALSE(menu.pixel(22, h / 2).sameAs(style.section));
    }
    // The arrow appears on a wide menu only, in the right quarter.
    const Picture wide = menuBackground(style, 90, 18, behind);
    const Picture plain = menuBackground(style, 90, 18, behind, false);
    EXPECT_GT(differences(wide, 0, plain, 0, 90, 18), 5);
    int leftDiff = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 60; ++x) leftDiff += !wide.pixel(x, y).sameAs(plain.pixel(x, y));
    EXPECT_EQ(leftDiff, 0);
}

TEST(PicturesPieces, TextIsDrawnAndAligned) {
    const Style style;
    Picture a(120, 30), b(120, 30);
    const Font font{12, false, 0};
    const double width = text(a.context(), "Harmoxel", 60, 15, font, style.label, Align::centre, Anchor::middle);
    EXPECT_GT(width, 30);
    EXPECT_LT(width, 80);
    EXPECT_NEAR(textWidth(b.context(), "Harmoxel", {12, false, 2}), width + 14, 0.01);
    text(b.context(), "Harmoxel", 60 + width / 2, 15, font, style.label, Align::right, Anchor::middle);
    EXPECT_EQ(differences(a, 0, b, 0, 120, 30), 0);  // centred at x is right-aligned at x + width / 2
    int lit = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x) lit += a.pixel(x, y).red > 100;
    EXPECT_GT(lit, 40);
}

TEST(PicturesPieces, SavingIntoAMissingFolderThrows) {
    const Picture p(4, 4);
    EXPECT_THROW(p.save("/tmp/pictures-no-such-directory/inside", 128), std::runtime_error);
    EXPECT_THROW(p.save("/tmp", 100000), std::runtime_error);
}
