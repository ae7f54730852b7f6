// The filter's editor offscreen: every control where it belongs with its first value,
// the XY pad's geometry and gestures, the tempo field, the menus both ways, nothing
// while closed, host changes arriving at idle, and what a change redraws.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gui/housestyle.h"
#include "plugins/filter/adelay.h"
#include "plugins/filter/editor.h"

using namespace orvex::gui;
using orvex::filter::ADEditor;
using orvex::filter::ADelayEdit;
using orvex::filter::CTouchPad;

namespace {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    float value;
    bool operator==(const HostCall&) const = default;
};

// A host that answers a tempo when it has one and records what the editor tells it.
struct TestHost {
    double tempo = 0;  // none
    VstTimeInfo time{};
    std::vector<HostCall> calls;
};
TestHost* gHost = nullptr;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    if (!gHost) return 0;
    if (opcode == audioMasterGetTime) {
        if (gHost->tempo <= 0) return 0;
        gHost->time = {};
        gHost->time.sampleRate = 44100;
        gHost->time.tempo = gHost->tempo;
        gHost->time.flags = kVstTempoValid;
        return reinterpret_cast<VstIntPtr>(&gHost->time);
    }
    if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit)
        gHost->calls.push_back({opcode, index, opt});
    return 0;
}

constexpr HostCall begin(VstInt32 i) { return {audioMasterBeginEdit, i, 0}; }
constexpr HostCall end(VstInt32 i) { return {audioMasterEndEdit, i, 0}; }
constexpr HostCall automate(VstInt32 i, float v) { return {audioMasterAutomate, i, v}; }

// Parameter values set before the editor opens, one distinct value each.
constexpr float kFirstValues[13] = {0.3f, 0.6f, 0.7f, 0.6f, 0.0f, 0.45f, 1.0f, 0.1f, 0.9f, 0.0f, 0.25f, 0.35f, 0.3f};

class FilterEditor : public ::testing::Test {
protected:
    void SetUp() override { make(0); }
    void TearDown() override {
        effect.reset();
        gHost = nullptr;
    }
    void make(double tempo) {
        effect.reset();
        host = TestHost{};
        host.tempo = tempo;
        gHost = &host;
        effect = std::make_unique<ADelayEdit>(hostCallback);
        editor = static_cast<ADEditor*>(effect->getEditor());
    }
    CFrame* open() {
        EXPECT_TRUE(editor->open(nullptr));
        CFrame* frame = editor->getFrame();
        frame->draw();  // the first draw, after which idle redraws what is dirty
        host.calls.clear();
        return frame;
    }
    template <class T>
    T* view(long tag) const {
        CFrame* frame = editor->getFrame();
        for (int i = 0; frame && i < frame->getNbViews(); ++i) {
            auto* control = dynamic_cast<CControl*>(frame->getView(i));
            if (control && control->getTag() == tag) return dynamic_cast<T*>(control);
        }
        return nullptr;
    }
    static CPoint centre(const CRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
    void click(const CRect& r, int buttons = kLButton) {
        CFrame* frame = editor->getFrame();
        frame->onMouseDown(centre(r), buttons);
        frame->onMouseRelease(centre(r), 0);
    }
    // Types `text` into the tempo field as a user would and leaves it with Enter.
    void typeTempo(const char* text) {
        auto* field = view<CTextEdit>(ADEditor::kTempoTag);
        ASSERT_NE(field, nullptr);
        click(field->getSize());
        ASSERT_TRUE(field->isEditing());
        for (std::size_t n = field->getText().size(); n > 0; --n) field->backspace();  // the old text
        field->type(text);
        field->commit();
    }

    TestHost host;
    std::unique_ptr<ADelayEdit> effect;
    ADEditor* editor = nullptr;
};

std::vector<unsigned char> pixels(CFrame* frame) {
    cairo_surface_t* s = frame->getSurface();
    cairo_surface_flush(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    return {data, data + cairo_image_surface_get_stride(s) * cairo_image_surface_get_height(s)};
}

// Whether any pixel inside / outside `rects` differs between two pictures of `frame`.
struct Difference {
    bool inside = false;
    bool outside = false;
};
Difference compare(CFrame* frame, const std::vector<unsigned char>& a, const std::vector<unsigned char>& b,
                   const std::vector<CRect>& rects) {
    cairo_surface_t* s = frame->getSurface();
    const int stride = cairo_image_surface_get_stride(s);
    Difference d;
    for (int y = 0; y < cairo_image_surface_get_height(s); ++y)
        for (int x = 0; x < cairo_image_surface_get_width(s); ++x) {
            if (std::memcmp(&a[y * stride + 4 * x], &b[y * stride + 4 * x], 3) == 0) continue;
            bool in = false;
            for (const CRect& r : rects) in = in || r.pointInside({x, y});
            (in ? d.inside : d.outside) = true;
        }
    return d;
}

}  // namespace

TEST_F(FilterEditor, EveryControlAtItsRectangleWithItsPictureAndFirstValue) {
    for (int i = 0; i < 13; ++i) effect->setParameter(i, kFirstValues[i]);
    ERect* rect = nullptr;
    ASSERT_TRUE(editor->getRect(&rect));
    EXPECT_GT(rect->right, 549);
    EXPECT_GT(rect->bottom, 222);
    CFrame* frame = open();

    enum class Kind { pad, button, knob, menu, field };
    struct Expected {
        long tag;
        Kind kind;
        CRect rect;
        int pictureWidth, pictureHeight;  // film strips: frames x frame height
        float value;                      // menus: the entry
    };
    const Expected table[] = {
        {250, Kind::pad, {160, 142, 260, 222}, 100, 80, 0.3f},  // x = cutoff
        {4, Kind::button, {36, 39, 55, 70}, 19, 62, 0.0f},
        {9, Kind::button, {36, 98, 55, 129}, 19, 62, 0.0f},
        {0, Kind::knob, {155, 69, 177, 91}, 22, 127 * 22, 0.3f},
        {1, Kind::knob, {100, 197, 122, 219}, 22, 127 * 22, 0.6f},
        {2, Kind::knob, {309, 197, 331, 219}, 22, 127 * 22, 0.7f},
        {10, Kind::knob, {419, 200, 437, 218}, 18, 101 * 18, 0.25f},
        {7, Kind::knob, {310, 60, 329, 78}, 19, 101 * 18, 0.1f},
        {8, Kind::knob, {310, 123, 329, 141}, 19, 101 * 18, 0.9f},
        {11, Kind::knob, {513, 200, 531, 218}, 18, 101 * 18, 0.35f},
        {3, Kind::menu, {429, 59, 548, 75}, 119, 16, 2},
        {5, Kind::menu, {429, 123, 498, 139}, 69, 16, 4},
        {6, Kind::menu, {429, 91, 548, 107}, 119, 16, 5},
        {12, Kind::menu, {499, 123, 549, 139}, 50, 16, 2},
        {251, Kind::field, {497, 155, 548, 171}, 51, 16, 0.35f},
    };
    ASSERT_EQ(frame->getNbViews(), static_cast<int>(std::size(table)));
    for (int i = 0; i < frame->getNbViews(); ++i) {
        const Expected& e = table[i];
        SCOPED_TRACE("tag " + std::to_string(e.tag));
        auto* control = dynamic_cast<CControl*>(frame->getView(i));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->getTag(), e.tag);
        EXPECT_EQ(control->getSize(), e.rect);
        ASSERT_NE(control->getBackground(), nullptr);
        EXPECT_EQ(control->getBackground()->getWidth(), e.pictureWidth);
        EXPECT_EQ(control->getBackground()->getHeight(), e.pictureHeight);
        switch (e.kind) {
            case Kind::pad: {
                auto* pad = dynamic_cast<CTouchPad*>(control);
                ASSERT_NE(pad, nullptr);
                EXPECT_FLOAT_EQ(pad->getXValue(), e.value);
                EXPECT_FLOAT_EQ(pad->getYValue(), 1.0f - kFirstValues[1]);
                ASSERT_NE(pad->getHandleBitmap(), nullptr);
                EXPECT_EQ(pad->getHandleBitmap()->getTransparentColor(), kWhiteCColor);
                break;
            }
            case Kind::button: EXPECT_NE(dynamic_cast<COnOffButton*>(control), nullptr); [[fallthrough]];
            case Kind::knob:
                EXPECT_FLOAT_EQ(control->getValue(), e.value);
                if (e.kind == Kind::knob) {
                    EXPECT_NE(dynamic_cast<CAnimKnob*>(control), nullptr);
                    EXPECT_FLOAT_EQ(control->getDefaultValue(), 0.5f);
                }
                break;
            case Kind::menu: {
                auto* menu = dynamic_cast<COptionMenu*>(control);
                ASSERT_NE(menu, nullptr);
                EXPECT_EQ(menu->getCurrent(nullptr, true), static_cast<int>(e.value));
                EXPECT_EQ(menu->getStyle(), kCheckStyle);
                EXPECT_EQ(menu->getFont(), kHouseFont);
                EXPECT_EQ(menu->getFontColor(), kHouseTextColor);
                EXPECT_EQ(menu->getHoriAlign(), e.tag == 12 ? kCenterText : kLeftText);
                ASSERT_NE(menu->getScheme(), nullptr);
                EXPECT_EQ(menu->getScheme()->selectedTextColor, (CColor{42, 131, 157, 0}));
                break;
            }
            case Kind::field: {
                auto* field = dynamic_cast<CTextEdit*>(control);
                ASSERT_NE(field, nullptr);
                EXPECT_FLOAT_EQ(field->getValue(), e.value);
                EXPECT_EQ(field->getText(), "120.00");  // no host tempo: the parameter's
                EXPECT_EQ(field->getHoriAlign(), kCenterText);
                EXPECT_EQ(field->getFont(), kHouseFont);
                break;
            }
        }
    }
    // A picture used at several places (knobs, switches) blends into the panel under
    // each of them: no square shows at its corners. (The others are drawn from the
    // panel at their one place; their rounded edges reach into the corners.)
    CBitmap* panel = frame->getBackground();
    ASSERT_NE(panel, nullptr);
    cairo_surface_t* drawn = frame->getSurface();
    cairo_surface_flush(drawn);
    const unsigned char* data = cairo_image_surface_get_data(drawn);
    const int stride = cairo_image_surface_get_stride(drawn);
    for (const Expected& e : table) {
        if (e.kind != Kind::knob && e.kind != Kind::button) continue;
        for (const CPoint& p : {CPoint(e.rect.left, e.rect.top), CPoint(e.rect.right - 1, e.rect.top),
                                CPoint(e.rect.left, e.rect.bottom - 1), CPoint(e.rect.right - 1, e.rect.bottom - 1)}) {
            std::uint32_t pixel;
            std::memcpy(&pixel, data + p.v * stride + 4 * p.h, 4);
            const CColor expected = panel->pixel(p.h, p.v);
            EXPECT_EQ((CColor{static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
                              static_cast<std::uint8_t>(pixel), 0}),
                      expected)
                << "tag " << e.tag << " at " << p.h << ", " << p.v;
        }
    }
    // The four menus' entries, first and last, and one scheme for all.
    struct Entries {
        long tag;
        int count;
        const char* first;
        const char* last;
    };
    for (const Entries& m : {Entries{3, 5, " Low Pass", " Peak"}, Entries{5, 9, " 4 bars", " 1/64 bar"},
                             Entries{6, 6, " Sin", " Exp(Triangle)"}, Entries{12, 8, "x1", "x8"}}) {
        auto* menu = view<COptionMenu>(m.tag);
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->getNbEntries(), m.count);
        EXPECT_EQ(menu->entry(0), m.first);
        EXPECT_EQ(menu->entry(m.count - 1), m.last);
        EXPECT_EQ(menu->getScheme(), view<COptionMenu>(3)->getScheme());
    }
}

TEST_F(FilterEditor, PadPointsAndValuesBothWays) {
    open();
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    ASSERT_NE(pad, nullptr);
    // Pad 160, 142 to 260, 222 with a 12 x 12 handle: 88 by 68 pixels of travel.
    ASSERT_EQ(pad->getHandleBitmap()->getWidth(), 12);
    ASSERT_EQ(pad->getHandleBitmap()->getHeight(), 12);
    struct Row {
        CPoint where;
        float x, y;
        CPoint corner;  // where the handle is then drawn
    };
    const Row rows[] = {
        {{160, 142}, 0, 0, {160, 142}},      {{248, 210}, 1, 1, {248, 210}},
        {{400, 300}, 1, 1, {248, 210}},      {{100, 20}, 0, 0, {160, 142}},
        {{204, 176}, 0.5f, 0.5f, {204, 176}}, {{248, 142}, 1, 0, {248, 142}},
        {{182, 193}, 0.25f, 0.75f, {182, 193}}, {{-5000, 9000}, 0, 1, {160, 210}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.where.h) + ", " + std::to_string(r.where.v));
        EXPECT_FLOAT_EQ(pad->valueFromPoint(r.where), (r.x + r.y) * 0.5f);
        EXPECT_FLOAT_EQ(pad->getXValue(), r.x);
        EXPECT_FLOAT_EQ(pad->getYValue(), r.y);
        CPoint corner;
        pad->valueToPoint(corner);
        EXPECT_EQ(corner, r.corner);
    }
    // Without a handle picture a pad has no travel to track.
    CTouchPad bare(CRect(0, 0, 100, 80), editor, ADEditor::kPadTag, nullptr, nullptr);
    CPoint at(10, 10);
    EXPECT_FALSE(bare.mouse(nullptr, at, kLButton));
    EXPECT_FLOAT_EQ(bare.getXValue(), 0.5f);
    EXPECT_FLOAT_EQ(bare.getValue(), 0.5f);
}

TEST_F(FilterEditor, PadDragSetsCutoffAndResonanceInOneGesture) {
    CFrame* frame = open();
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    // From the bottom-left corner to beyond the top-right one: the mean of x and y stays
    // 0.5 all the way, yet every move reaches the effect.
    frame->onMouseDown({160, 210}, kLButton);
    EXPECT_EQ(frame->getDragView(), pad);
    frame->onMouseMove({300, 100}, kLButton);
    frame->onMouseMove({300, 90}, kLButton);  // no move of the handle: nothing sent
    frame->onMouseRelease({300, 90}, 0);
    const std::vector<HostCall> expected = {begin(0),       begin(1),       automate(0, 0), automate(1, 0),
                                            automate(0, 1), automate(1, 1), end(0),         end(1)};
    EXPECT_EQ(host.calls, expected);
    EXPECT_FLOAT_EQ(effect->getParameter(orvex::filter::kCutoff), 1.0f);
    EXPECT_FLOAT_EQ(effect->getParameter(orvex::filter::kResonance), 1.0f);

    // A drag the editor's closing cuts short still ends the gesture.
    host.calls.clear();
    frame->onMouseDown({200, 180}, kLButton);
    editor->close();
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back(), end(1));
    EXPECT_EQ(host.calls[host.calls.size() - 2], end(0));
}

TEST_F(FilterEditor, PadCommandClickResetsWithoutAGestureAndRightClickDoesNothing) {
    CFrame* frame = open();
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    frame->onMouseDown({248, 142}, kLButton);  // x 1, y 0
    frame->onMouseRelease({248, 142}, 0);
    host.calls.clear();

    frame->onMouseDown({200, 200}, kRButton);
    frame->onMouseRelease({200, 200}, 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_FLOAT_EQ(pad->getXValue(), 1.0f);

    // x 1 and y 0 have the mean 0.5 already: the reset must still be heard.
    frame->onMouseDown({200, 200}, kLButton | kCommand);
    EXPECT_EQ(frame->getDragView(), nullptr);
    frame->onMouseRelease({200, 200}, 0);
    EXPECT_EQ(host.calls, (std::vector<HostCall>{automate(0, 0.5f), automate(1, 0.5f)}));

    pad->setDefaultValue(0.25f);
    host.calls.clear();
    frame->onMouseDown({200, 200}, kLButton | kCommand);
    EXPECT_EQ(host.calls, (std::vector<HostCall>{automate(0, 0.25f), automate(1, 0.75f)}));
}

TEST_F(FilterEditor, TypedTempoSetsBpmAndTheFieldShowsTheTempoInForce) {
    open();
    auto* field = view<CTextEdit>(ADEditor::kTempoTag);
    struct Row {
        const char* typed;
        float bpm;
        const char* shown;
    };
    for (const Row& r : {Row{"300", 0.35f, "120.00"}, Row{"90", 0.2f, "90.00"}, Row{"abc", 0.35f, "120.00"}}) {
        SCOPED_TRACE(r.typed);
        typeTempo(r.typed);
        EXPECT_FLOAT_EQ(effect->getParameter(orvex::filter::kBpm), r.bpm);
        EXPECT_EQ(field->getText(), r.typed);  // until the editor's next idle
        editor->applyPendingChanges();
        EXPECT_EQ(field->getText(), r.shown);
        EXPECT_FLOAT_EQ(view<CAnimKnob>(orvex::filter::kBpm)->getValue(), r.bpm);
    }

    // With a host tempo the field shows it, whatever the parameter, and follows it.
    make(128);
    open();
    field = view<CTextEdit>(ADEditor::kTempoTag);
    EXPECT_EQ(field->getText(), "128.00");
    typeTempo("90");
    EXPECT_FLOAT_EQ(effect->getParameter(orvex::filter::kBpm), 0.2f);
    editor->applyPendingChanges();
    EXPECT_EQ(field->getText(), "128.00");
    editor->setBpm(140.5f);
    EXPECT_EQ(field->getText(), "128.00");  // shown at idle, on the editor's thread
    editor->applyPendingChanges();
    EXPECT_EQ(field->getText(), "140.50");
}

TEST_F(FilterEditor, MenusSetTheirValuesAndShowTheEffectsChoice) {
    CFrame* frame = open();
    struct Row {
        long tag;
        int entry;
        float value;
    };
    const Row rows[] = {
        {6, 5, 1.0f}, {6, 3, 0.6f}, {3, 4, 1.0f},  {3, 1, 0.25f}, {5, 2, 0.3f},
        {5, 8, 1.0f}, {12, 1, 0.14f}, {12, 6, 0.85f}, {12, 0, 0.0f},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("menu " + std::to_string(r.tag) + " entry " + std::to_string(r.entry));
        auto* menu = view<COptionMenu>(r.tag);
        click(menu->getSize());
        ASSERT_EQ(frame->getPopup(), menu);
        frame->choosePopupEntry(r.entry);
        EXPECT_FLOAT_EQ(effect->getParameter(static_cast<VstInt32>(r.tag)), r.value);
    }
    // Every entry's value lands back on that entry when the effect's value comes back.
    for (long tag : {3L, 5L, 6L, 12L}) {
        auto* menu = view<COptionMenu>(tag);
        for (int i = 0; i < menu->getNbEntries(); ++i) {
            click(menu->getSize());
            frame->choosePopupEntry(i);
            menu->setCurrent(0, true);
            editor->applyPendingChanges();
            EXPECT_EQ(menu->getCurrent(nullptr, true), i) << "menu " << tag;
        }
    }
    // Reopened, the waveform menu shows the parameter's step.
    effect->setParameter(orvex::filter::kWaveform, 0.65f);
    editor->close();
    open();
    EXPECT_EQ(view<COptionMenu>(6)->getCurrent(nullptr, true), 3);
}

TEST_F(FilterEditor, NothingWhileClosed) {
    editor->setParameter(orvex::filter::kDrive, 1.0f);
    EXPECT_FALSE(editor->isUpdateRequested());
    open();
    editor->setParameter(orvex::filter::kDrive, 1.0f);
    EXPECT_TRUE(editor->isUpdateRequested());
    editor->close();
    editor->idle();
    ASSERT_FALSE(editor->isUpdateRequested());
    effect->setParameter(orvex::filter::kResonance, 0.9f);
    editor->idle();
    editor->setParameter(orvex::filter::kResonance, 0.9f);
    editor->setBpm(99.0f);
    editor->applyPendingChanges();
    EXPECT_FALSE(editor->isUpdateRequested());
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_FALSE(editor->isOpened());
}

TEST_F(FilterEditor, HostChangesReachTheControlsAtTheNextIdle) {
    open();
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    auto* drive = view<CAnimKnob>(orvex::filter::kDrive);
    effect->setParameter(orvex::filter::kDrive, 0.9f);
    effect->setParameter(orvex::filter::kResonance, 0.25f);
    effect->setParameter(orvex::filter::kPole, 0.0f);
    EXPECT_FLOAT_EQ(drive->getValue(), 0.2f);
    EXPECT_FLOAT_EQ(pad->getYValue(), 1.0f);
    editor->idle();
    EXPECT_FLOAT_EQ(drive->getValue(), 0.9f);
    EXPECT_FLOAT_EQ(pad->getYValue(), 0.75f);
    EXPECT_FLOAT_EQ(view<CAnimKnob>(orvex::filter::kResonance)->getValue(), 0.25f);
    EXPECT_FLOAT_EQ(view<COnOffButton>(orvex::filter::kPole)->getValue(), 0.0f);
    EXPECT_FALSE(pad->isDirty());  // redrawn at that idle
    EXPECT_TRUE(host.calls.empty());  // nothing echoed back to the host
}

TEST_F(FilterEditor, AChangeRedrawsOnlyItsControls) {
    CFrame* frame = open();
    const CRect padRect = view<CTouchPad>(ADEditor::kPadTag)->getSize();
    for (VstInt32 index : {0, 1, 2, 4, 7, 8, 9, 10, 11}) {
        SCOPED_TRACE("parameter " + std::to_string(index));
        const CRect rect = view<CControl>(index)->getSize();
        effect->setParameter(index, 0.0f);
        editor->idle();
        const auto at0 = pixels(frame);
        effect->setParameter(index, 1.0f);
        editor->idle();
        const auto at1 = pixels(frame);
        // Cutoff and resonance move the pad's handle too; Bpm rewrites the tempo field.
        std::vector<CRect> rects{rect, padRect, view<CTextEdit>(ADEditor::kTempoTag)->getSize()};
        const Difference d = compare(frame, at0, at1, rects);
        EXPECT_TRUE(d.inside);
        EXPECT_FALSE(d.outside);
        EXPECT_TRUE(compare(frame, at0, at1, {rect}).inside);  // the control itself changed
    }
    // A pad moved without the dirty mark is not redrawn; with it, it is.
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    const auto before = pixels(frame);
    pad->setXValue(pad->getXValue() > 0.5f ? 0.0f : 1.0f);
    frame->idle();
    EXPECT_FALSE(compare(frame, before, pixels(frame), {}).outside);
    pad->setDirty(true);
    frame->idle();
    EXPECT_TRUE(compare(frame, before, pixels(frame), {padRect}).inside);
}
