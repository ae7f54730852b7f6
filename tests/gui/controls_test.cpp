// The toolkit's controls driven offscreen as the frame drives them: dirty state, knob
// pictures, drags, wheel and keys, buttons, menus, text fields, value displays, the
// filter display, bitmaps and snapshots.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "gui/controls.h"
#include "gui/filterdisplay.h"
#include "gui/pictures.h"
#include "toolkit_support.h"

using namespace orvex::gui;

namespace {

// One compiled-in picture for the lookup: number 300, 4 x 6, top half red, bottom blue.
std::vector<unsigned char> makePicture() {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 6);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 0, 0, 4, 3);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_rectangle(cr, 0, 3, 4, 3);
    cairo_fill(cr);
    cairo_destroy(cr);
    std::vector<unsigned char> bytes;
    cairo_surface_write_to_png_stream(
        s,
        [](void* closure, const unsigned char* data, unsigned int length) {
            auto* out = static_cast<std::vector<unsigned char>*>(closure);
            out->insert(out->end(), data, data + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(s);
    return bytes;
}

// A strip of `frames` pictures of w x h, frame i filled with grey level i.
CBitmap* strip(int frames, int w, int h) {
    auto* bitmap = new CBitmap(w, frames * h);
    cairo_t* cr = cairo_create(bitmap->getSurface());
    for (int i = 0; i < frames; ++i) {
        cairo_set_source_rgb(cr, i / 255.0, i / 255.0, i / 255.0);
        cairo_rectangle(cr, 0, i * h, w, h);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    cairo_surface_mark_dirty(bitmap->getSurface());
    return bitmap;
}

CColor pixelAt(CFrame& frame, int x, int y) {
    cairo_surface_t* s = frame.getSurface();
    cairo_surface_flush(s);
    const unsigned char* p = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + 4 * x;
    uint32_t v;
    std::memcpy(&v, p, 4);
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), 0};
}

struct Fixture : ::testing::Test {
    toolkit::Effect* effect = new toolkit::Effect;
    toolkit::Editor* editor = new toolkit::Editor(effect);
    CFrame* frame = nullptr;
    void SetUp() override {
        editor->setKnobMode(2);
        editor->open(nullptr);
        frame = editor->getFrame();
    }
    void TearDown() override { delete effect; }  // deletes the editor and its frame
    CAnimKnob* addKnob(long tag = 1) {
        CBitmap* bitmap = strip(31, 40, 40);
        auto* knob = new CAnimKnob(CRect(100, 100, 140, 140), editor, tag, 31, 40, bitmap);
        bitmap->forget();
        frame->addView(knob);
        return knob;
    }
    std::vector<VstInt32> opcodes() const {
        std::vector<VstInt32> out;
        for (auto& c : effect->calls) out.push_back(c.opcode);
        return out;
    }
};

}  // namespace

// The test program sits in no bundle: pictures come only from the compiled-in table.
namespace orvex::gui {
std::span<const unsigned char> embeddedPicture(int number) {
    static const std::vector<unsigned char> picture = makePicture();
    if (number == 300) return picture;
    return {};
}
}  // namespace orvex::gui

TEST(ToolkitBitmaps, CompiledInPicturesAndMissingOnes) {
    auto* bitmap = new CBitmap(300);
    EXPECT_EQ(bitmap->getWidth(), 4);
    EXPECT_EQ(bitmap->getHeight(), 6);
    EXPECT_EQ(bitmap->pixel(1, 1), kRedCColor);
    EXPECT_EQ(bitmap->pixel(1, 4), kBlueCColor);
    bitmap->remember();
    EXPECT_EQ(bitmap->getNbReference(), 2);
    bitmap->forget();
    bitmap->forget();

    testing::internal::CaptureStderr();
    auto* missing = new CBitmap(4242);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Bitmap Nr.:4242 not found.\n");
    EXPECT_EQ(missing->getWidth(), 0);
    EXPECT_EQ(missing->getHeight(), 0);
    missing->forget();
}

TEST_F(Fixture, DirtyAndOldValues) {
    CControl control(CRect(0, 0, 10, 10));
    EXPECT_EQ(control.getOldValue(), 1.0f);
    EXPECT_EQ(control.getDefaultValue(), 0.5f);
    EXPECT_TRUE(control.isDirty());  // value 0, old value 1
    control.setDirty(false);
    EXPECT_FALSE(control.isDirty());
    EXPECT_EQ(control.getOldValue(), 0.0f);
    control.setValue(0.3f);
    EXPECT_TRUE(control.isDirty());
    control.setDirty(false);
    control.setDirty(true);
    EXPECT_TRUE(control.isDirty());
    EXPECT_NE(control.getOldValue(), control.getValue());
}

TEST_F(Fixture, IdleRedrawsDirtyViewsOnlyAfterTheFirstDraw) {
    CAnimKnob* knob = addKnob();
    knob->setValue(0.4f);
    frame->idle();
    EXPECT_TRUE(knob->isDirty());  // never drawn yet: idle draws nothing
    editor->draw(nullptr);
    knob->setValue(1.0f);
    editor->idle();
    EXPECT_FALSE(knob->isDirty());
    EXPECT_EQ(pixelAt(*frame, 120, 120), (CColor{30, 30, 30, 0}));  // the last picture
}

TEST_F(Fixture, KnobValueToSubImage) {
    CAnimKnob* knob = addKnob();
    auto top = [&](float v) {
        knob->setValue(v);
        return knob->subImageTop();
    };
    EXPECT_EQ(top(0.0f), 0);
    EXPECT_EQ(top(0.5f), 600);   // 0.5 x 30 x 40
    EXPECT_EQ(top(0.51f), 640);  // 612 goes on to the next picture
    EXPECT_EQ(top(1.0f), 1200);
    EXPECT_EQ(top(-0.3f), 0);
    EXPECT_EQ(top(1.7f), 1200);
    EXPECT_EQ(top(NAN), 0);
}

TEST_F(Fixture, LinearDragStepsAndFineMode) {
    CAnimKnob* knob = addKnob(2);
    knob->setValue(0.5f);
    frame->onMouseDown(CPoint(110, 110), kLButton);
    EXPECT_EQ(frame->getDragView(), knob);
    frame->onMouseMove(CPoint(130, 110), kLButton);  // 20 px right
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f + 20.0f / 200.0f);
    frame->onMouseMove(CPoint(130, 100), kLButton);  // and 10 up
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f + 30.0f / 200.0f);
    // Shift: no jump, then 1/300 per pixel from there.
    frame->onMouseMove(CPoint(130, 100), kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.65f);
    frame->onMouseMove(CPoint(160, 100), kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.65f + 30.0f / 300.0f);
    frame->onMouseMove(CPoint(900, 100), kLButton | kShift);
    EXPECT_EQ(knob->getValue(), 1.0f);
    frame->onMouseRelease(CPoint(900, 100), 0);
    // The host saw the drag begin, the automation, and its end.
    const auto calls = opcodes();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), audioMasterBeginEdit);
    EXPECT_EQ(calls.back(), audioMasterEndEdit);
    EXPECT_EQ(effect->calls.back().index, 2);
    EXPECT_EQ(effect->values[2], 1.0f);
    EXPECT_EQ(effect->calls[effect->calls.size() - 2].value, 1.0f);
    // Command-click resets to the default and starts no drag.
    frame->onMouseDown(CPoint(110, 110), kLButton | kCommand);
    EXPECT_EQ(knob->getValue(), 0.5f);
    EXPECT_EQ(frame->getDragView(), nullptr);
}

TEST_F(Fixture, CircularDragFollowsTheAngleAndJumpsTheGap) {
    editor->setKnobMode(0);
    CAnimKnob* knob = addKnob();
    knob->setValue(0.2f);
    frame->onMouseDown(CPoint(120, 101), kLButton);  // straight above the centre
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6f);
    frame->onMouseMove(CPoint(160, 120), kLButton);  // right of the centre: 225 - 0 = 225 of 270 degrees
    EXPECT_NEAR(knob->getValue(), 225.0f / 270.0f, 1e-6f);
    frame->onMouseMove(CPoint(150, 150), kLButton);  // 5 o'clock, the end
    EXPECT_NEAR(knob->getValue(), 1.0f, 1e-5f);
    frame->onMouseMove(CPoint(90, 150), kLButton);   // over the gap to 7 o'clock: stays at the top
    EXPECT_EQ(knob->getValue(), 1.0f);
    frame->onMouseRelease(CPoint(90, 150), 0);
    // Option switches to linear.
    frame->onMouseDown(CPoint(110, 110), kLButton | kOption);
    frame->onMouseMove(CPoint(110, 130), kLButton | kOption);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.9f);
    frame->cancelDrag();
    EXPECT_EQ(opcodes().back(), audioMasterEndEdit);
    editor->setKnobMode(2);
}

TEST_F(Fixture, WheelAndArrowKeysWithinLimits) {
    CAnimKnob* knob = addKnob();
    knob->setValue(0.5f);
    frame->onWheel(CPoint(120, 120), 1.0f, 0);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
    frame->onWheel(CPoint(120, 120), -1.0f, kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.59f);
    for (int i = 0; i < 10; ++i) frame->onWheel(CPoint(120, 120), 1.0f, 0);
    EXPECT_EQ(knob->getValue(), 1.0f);
    EXPECT_FALSE(frame->onWheel(CPoint(5, 5), 1.0f, 0));  // no view there
    VstKeyCode down{0, VKEY_DOWN, 0};
    EXPECT_EQ(frame->onKeyDown(down), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.9f);
    VstKeyCode fineUp{0, VKEY_UP, MODIFIER_SHIFT};
    frame->onKeyDown(fineUp);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.91f);
    VstKeyCode letter{'a', 0, 0};
    EXPECT_EQ(frame->onKeyDown(letter), -1);
    EXPECT_GE(editor->changes, 5);
}

TEST_F(Fixture, ButtonToggles) {
    CBitmap* bitmap = strip(2, 20, 10);
    auto* button = new COnOffButton(CRect(10, 10, 30, 20), editor, 3, bitmap);
    bitmap->forget();
    frame->addView(button);
    frame->onMouseDown(CPoint(15, 15), kLButton);
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_EQ(effect->values[3], 1.0f);
    frame->onMouseRelease(CPoint(15, 15), 0);
    button->setValue(1.7f);
    frame->onMouseDown(CPoint(15, 15), kLButton);
    EXPECT_EQ(button->getValue(), 0.0f);
    frame->onMouseDown(CPoint(15, 15), kMButton);  // not a left click
    EXPECT_EQ(button->getValue(), 0.0f);
    editor->draw(nullptr);
    EXPECT_EQ(pixelAt(*frame, 15, 15), (CColor{0, 0, 0, 0}));  // off: the top half
}

TEST_F(Fixture, MenuBoundsLimitAndChoice) {
    auto* menu = new COptionMenu(CRect(10, 50, 90, 66), editor, 1, nullptr, nullptr, kCheckStyle);
    frame->addView(menu);
    for (const char* text : {" 4 bars", "-", " 1 bar"}) menu->addEntry(text, -1);
    EXPECT_EQ(menu->getNbEntries(), 3);
    menu->setValue(2.0f);
    EXPECT_EQ(menu->getCurrent(), 2);
    EXPECT_EQ(menu->text(), " 1 bar");
    menu->setValue(3.0f);
    menu->setValue(-1.0f);
    EXPECT_EQ(menu->getCurrent(), 2);
    frame->onMouseDown(CPoint(20, 55), kLButton);
    EXPECT_EQ(frame->getPopup(), menu);
    frame->choosePopupEntry(0);
    EXPECT_EQ(menu->getCurrent(), 0);
    EXPECT_EQ(effect->values[1], 0.0f);
    EXPECT_EQ(frame->getPopup(), nullptr);
    frame->onMouseDown(CPoint(20, 55), kRButton);
    frame->dismissPopup();
    EXPECT_EQ(menu->getCurrent(), 0);
    for (int i = 3; i < 1024; ++i) EXPECT_TRUE(menu->addEntry("x"));
    EXPECT_FALSE(menu->addEntry("one too many"));
    EXPECT_EQ(menu->getNbEntries(), 1024);
}

TEST_F(Fixture, TextEditCommitAndCancel) {
    auto* edit = new CTextEdit(CRect(10, 80, 90, 96), editor, 0, "120.00");
    frame->addView(edit);
    edit->setDirty(false);
    edit->setText("120.00");
    EXPECT_FALSE(edit->isDirty());
    frame->onMouseDown(CPoint(20, 85), kLButton);
    EXPECT_TRUE(edit->isEditing());
    EXPECT_EQ(frame->getEditView(), edit);
    VstKeyCode back{0, VKEY_BACK, 0};
    for (int i = 0; i < 6; ++i) frame->onKeyDown(back);
    for (char c : std::string("95")) {
        VstKeyCode key{c, 0, 0};
        EXPECT_EQ(frame->onKeyDown(key), 1);
    }
    VstKeyCode enter{0, VKEY_RETURN, 0};
    frame->onKeyDown(enter);
    EXPECT_FALSE(edit->isEditing());
    EXPECT_EQ(edit->getText(), "95");
    EXPECT_EQ(editor->changes, 1);
    // Escape drops what was typed; a click elsewhere takes it.
    frame->onMouseDown(CPoint(20, 85), kLButton);
    edit->type("77");
    VstKeyCode escape{0, VKEY_ESCAPE, 0};
    frame->onKeyDown(escape);
    EXPECT_EQ(edit->getText(), "95");
    EXPECT_EQ(editor->changes, 1);
    frame->onMouseDown(CPoint(20, 85), kLButton);
    edit->type("1");
    frame->onMouseDown(CPoint(250, 190), kLButton);
    EXPECT_EQ(edit->getText(), "951");
    EXPECT_EQ(editor->changes, 2);
    edit->setText(std::string(300, 'y').c_str());
    EXPECT_EQ(edit->getText().size(), 255u);
}

TEST_F(Fixture, ParamDisplayConvertersAndStyles) {
    auto* display = new CParamDisplay(CRect(0, 0, 60, 16));
    frame->addView(display);
    display->setValue(0.5f);
    EXPECT_EQ(display->text(), "0.50");
    display->setStringConvert([](float v, char* t) { std::sprintf(t, "%d Hz", static_cast<int>(v * 100)); });
    EXPECT_EQ(display->text(), "50 Hz");
    static int data = 7;
    display->setStringConvert([](float, char* t, void* d) { std::sprintf(t, "#%d", *static_cast<int*>(d)); }, &data);
    EXPECT_EQ(display->text(), "#7");
    display->setBackColor(kGreenCColor);
    display->setTransparency(false);
    editor->draw(nullptr);
    EXPECT_EQ(pixelAt(*frame, 3, 12), kGreenCColor);  // filled with the back colour
    EXPECT_EQ(pixelAt(*frame, 0, 0), kBlackCColor);   // framed in the frame colour
    display->setBackColor(kBlueCColor);
    display->setStyle(kNoDrawStyle | kNoTextStyle);
    editor->draw(nullptr);
    EXPECT_EQ(pixelAt(*frame, 3, 12), kGreenCColor);  // nothing drawn over the old pixels
}

TEST_F(Fixture, FilterDisplayPlacementFrontAndClicks) {
    auto* display = new CFilterDisplay(CRect(152, 10, 448, 90), editor, 99, nullptr);
    frame->addView(display);
    CBitmap* low = new CBitmap(60, 30);
    CBitmap* band = new CBitmap(40, 30);
    CBitmap* high = new CBitmap(60, 30);
    display->addFilterBitmap(0, low);
    display->addFilterBitmap(2, high);
    display->addFilterBitmap(1, band);
    for (CBitmap* b : {low, band, high}) b->forget();
    display->setRampWidth(0, 47);  // read only when the low-pass picture is added
    display->setRampWidth(2, 47);
    display->setValue(0.0f, 2);
    EXPECT_EQ(display->curveRect(1).left, 152);
    display->setValue(1.0f, 2);
    EXPECT_EQ(display->curveRect(1).left, 408);
    display->setValue(1.0f, 3);
    EXPECT_EQ(display->curveRect(1).top, 10);
    display->setValue(1.0f, 0);
    EXPECT_EQ(display->curveRect(0).left, 152);
    display->setValue(0.0f, 0);
    EXPECT_EQ(display->curveRect(0).left, 152 - (152 - 110) * 1);
    display->setValue(1.0f, 4);
    EXPECT_EQ(display->curveRect(2).left, 152 + (448 - 152 - 47));
    EXPECT_EQ(display->frontMark(2), 1.0f);
    display->setValue(0.5f, 3);
    EXPECT_EQ(display->frontMark(1), 1.0f);
    EXPECT_EQ(display->getValue(6), 0.0f);
    // A plain left click on a curve brings it to the front; other clicks do nothing.
    display->setValue(1.0f, 0);
    display->setValue(1.0f, 1);
    display->setValue(0.5f, 3);
    CPoint onLow(display->curveRect(0).left + 5, display->curveRect(0).top + 5);
    if (!display->curveRect(1).pointInside(onLow)) {
        frame->onMouseDown(onLow, kRButton);
        EXPECT_EQ(display->frontMark(1), 1.0f);
        frame->onMouseDown(onLow, kLButton | kShift);
        EXPECT_EQ(display->frontMark(1), 1.0f);
        frame->onMouseDown(onLow, kLButton);
        EXPECT_EQ(display->frontMark(0), 1.0f);
    } else {
        ADD_FAILURE() << "the curves overlap where the test clicks";
    }
    EXPECT_TRUE(effect->calls.empty());  // never a parameter change
}

TEST_F(Fixture, SnapshotWritesThePanel) {
    CAnimKnob* knob = addKnob();
    knob->setValue(1.0f);
    editor->close();
    const std::string path = ::testing::TempDir() + "toolkit-snapshot.png";
    // Closed: the snapshot opens offscreen, draws, and closes again.
    EXPECT_TRUE(editor->snapshot(path.c_str()));
    EXPECT_EQ(editor->getFrame(), nullptr);
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 300);
    EXPECT_EQ(cairo_image_surface_get_height(png), 200);
    cairo_surface_destroy(png);
    std::remove(path.c_str());
    EXPECT_FALSE(editor->snapshot("/nonexistent-folder/x.png"));
}
