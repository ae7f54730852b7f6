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
using namespace orvex::filter;

namespace {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    float value;
    bool operator==(const HostCall&) const = default;
};
constexpr HostCall begin(VstInt32 i) { return {audioMasterBeginEdit, i, 0}; }
constexpr HostCall end(VstInt32 i) { return {audioMasterEndEdit, i, 0}; }
constexpr HostCall automate(VstInt32 i, float v) { return {audioMasterAutomate, i, v}; }

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
    if (opcode == audioMasterGetTime && gHost->tempo > 0) {
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

// The frame's pixels, and where two of them differ.
std::vector<std::uint32_t> pixels(CFrame* frame) {
    cairo_surface_t* s = frame->getSurface();
    cairo_surface_flush(s);
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y)
        std::memcpy(&out[static_cast<std::size_t>(y * w)],
                    cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s), 4 * w);
    return out;
}
struct Difference {
    bool inside = false;   // some pixel in one of the rectangles changed
    bool outside = false;  // some pixel elsewhere changed
};
Difference compare(CFrame* frame, const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b,
                   const std::vector<CRect>& rects) {
    const int w = frame->getSize().width();
    Difference d;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if ((a[i] & 0xffffff) == (b[i] & 0xffffff)) continue;
        const CPoint p(static_cast<int>(i) % w, static_cast<int>(i) / w);
        bool in = false;
        for (const CRect& r : rects) in = in || r.pointInside(p);
        (in ? d.inside : d.outside) = true;
    }
    return d;
}

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
        editor->getFrame()->draw();  // the first draw, after which idle redraws what is dirty
        host.calls.clear();
        return editor->getFrame();
    }
    template <class T = CControl>
    T* view(long tag) const {
        for (int i = 0; i < editor->getFrame()->getNbViews(); ++i) {
            auto* control = dynamic_cast<CControl*>(editor->getFrame()->getView(i));
            if (control && control->getTag() == tag) return dynamic_cast<T*>(control);
        }
        return nullptr;
    }
    void click(const CRect& r, int buttons = kLButton) {
        const CPoint at((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        editor->getFrame()->onMouseDown(at, buttons);
        editor->getFrame()->onMouseRelease(at, 0);
    }
    // Types `text` over the tempo field's text as a user would and takes it with Enter.
    void typeTempo(const char* text) {
        auto* field = view<CTextEdit>(ADEditor::kTempoTag);
        click(field->getSize());
        ASSERT_TRUE(field->isEditing());
        for (std::size_t n = field->getText().size(); n > 0; --n) field->backspace();
        field->type(text);
        field->commit();
    }

    TestHost host;
    std::unique_ptr<ADelayEdit> effect;
    ADEditor* editor = nullptr;
};

}  // namespace

TEST_F(FilterEditor, EveryControlAtItsRectangleWithItsPictureAndFirstValue) {
    const float first[kNumParams] = {0.3f, 0.6f, 0.7f, 0.6f, 0.0f, 0.45f, 1.0f, 0.1f, 0.9f, 0.0f, 0.25f, 0.35f, 0.3f};
    for (int i = 0; i < kNumParams; ++i) effect->setParameter(i, first[i]);
    CFrame* frame = open();
    EXPECT_EQ(frame->getSize(), CRect(0, 0, frame->getBackground()->getWidth(), frame->getBackground()->getHeight()));

    enum class Kind { pad, button, knob, menu, field };
    struct Expected {
        long tag;
        Kind kind;
        CRect rect;
        int pictureWidth, pictureHeight;  // film strips: frames x frame height
        float value;                      // pad: x; menus: the entry
    };
    const Expected table[] = {
        {250, Kind::pad, {160, 142, 260, 222}, 100, 80, 0.3f},
        {4, Kind::button, {36, 39, 55, 70}, 19, 62, 0},
        {9, Kind::button, {36, 98, 55, 129}, 19, 62, 0},
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
    const auto drawn = pixels(frame);
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
        if (auto* pad = dynamic_cast<CTouchPad*>(control)) {
            EXPECT_EQ(e.kind, Kind::pad);
            EXPECT_FLOAT_EQ(pad->getXValue(), e.value);
            EXPECT_FLOAT_EQ(pad->getYValue(), 1.0f - first[kResonance]);
            EXPECT_EQ(pad->getHandleBitmap()->getTransparentColor(), kWhiteCColor);
        } else if (auto* menu = dynamic_cast<COptionMenu*>(control)) {
            EXPECT_EQ(e.kind, Kind::menu);
            EXPECT_EQ(menu->getCurrent(nullptr, true), static_cast<int>(e.value));
            EXPECT_EQ(menu->getStyle(), kCheckStyle);
            EXPECT_EQ(menu->getFont(), kHouseFont);
            EXPECT_EQ(menu->getFontColor(), kHouseTextColor);
            EXPECT_EQ(menu->getHoriAlign(), e.tag == kMultiple ? kCenterText : kLeftText);
            EXPECT_EQ(menu->getScheme()->selectedTextColor, (CColor{42, 131, 157, 0}));
            EXPECT_EQ(menu->getScheme(), view<COptionMenu>(kFilterType)->getScheme());
        } else if (auto* field = dynamic_cast<CTextEdit*>(control)) {
            EXPECT_EQ(e.kind, Kind::field);
            EXPECT_FLOAT_EQ(field->getValue(), e.value);
            EXPECT_EQ(field->getText(), "120.00");  // no host tempo: the parameter's
            EXPECT_EQ(field->getHoriAlign(), kCenterText);
            EXPECT_EQ(field->getFont(), kHouseFont);
        } else {
            EXPECT_EQ(e.kind, dynamic_cast<CAnimKnob*>(control) ? Kind::knob : Kind::button);
            EXPECT_FLOAT_EQ(control->getValue(), e.value);
            if (e.kind == Kind::knob) {
                EXPECT_FLOAT_EQ(control->getDefaultValue(), 0.5f);
            }
            // A picture used at several places blends into the panel under each: no
            // square shows at its corners.
            const int w = frame->getSize().width();
            for (const CPoint& p : {CPoint(e.rect.left, e.rect.top), CPoint(e.rect.right - 1, e.rect.bottom - 1)}) {
                const CColor under = frame->getBackground()->pixel(p.h, p.v);
                const std::uint32_t shown = drawn[static_cast<std::size_t>(p.v * w + p.h)];
                EXPECT_EQ(shown & 0xffffff, static_cast<std::uint32_t>(under.red << 16 | under.green << 8 | under.blue));
            }
        }
    }
    struct Entries {
        long tag;
        int count;
        const char *first, *last;
    };
    for (const Entries& m : {Entries{3, 5, " Low Pass", " Peak"}, Entries{5, 9, " 4 bars", " 1/64 bar"},
                             Entries{6, 6, " Sin", " Exp(Triangle)"}, Entries{12, 8, "x1", "x8"}}) {
        auto* menu = view<COptionMenu>(m.tag);
        ASSERT_EQ(menu->getNbEntries(), m.count);
        EXPECT_EQ(menu->entry(0), m.first);
        EXPECT_EQ(menu->entry(m.count - 1), m.last);
    }
}

TEST_F(FilterEditor, PadPointsAndValuesBothWays) {
    open();
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    // 160, 142 to 260, 222 with a 12 x 12 handle: 88 by 68 pixels of travel.
    ASSERT_EQ(pad->getHandleBitmap()->getWidth(), 12);
    ASSERT_EQ(pad->getHandleBitmap()->getHeight(), 12);
    struct Row {
        CPoint where;
        float x, y;
        CPoint corner;  // where the handle is drawn then
    };
    for (const Row& r : {Row{{160, 142}, 0, 0, {160, 142}}, Row{{248, 210}, 1, 1, {248, 210}},
                         Row{{400, 300}, 1, 1, {248, 210}}, Row{{100, 20}, 0, 0, {160, 142}},
                         Row{{204, 176}, 0.5f, 0.5f, {204, 176}}, Row{{248, 142}, 1, 0, {248, 142}},
                         Row{{182, 193}, 0.25f, 0.75f, {182, 193}}, Row{{-5000, 9000}, 0, 1, {160, 210}}}) {
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
}

TEST_F(FilterEditor, PadDragSetsCutoffAndResonanceInOneGesture) {
    CFrame* frame = open();
    // From the bottom-left corner to beyond the top-right one: the mean of x and y is
    // 0.5 all the way, yet each move of the handle reaches the effect.
    frame->onMouseDown({160, 210}, kLButton);
    EXPECT_EQ(frame->getDragView(), view(ADEditor::kPadTag));
    frame->onMouseMove({300, 100}, kLButton);
    frame->onMouseMove({300, 90}, kLButton);  // the handle stays: nothing sent
    frame->onMouseRelease({300, 90}, 0);
    EXPECT_EQ(host.calls, (std::vector<HostCall>{begin(0), begin(1), automate(0, 0), automate(1, 0), automate(0, 1),
                                                 automate(1, 1), end(0), end(1)}));
    EXPECT_FLOAT_EQ(effect->getParameter(kCutoff), 1.0f);
    EXPECT_FLOAT_EQ(effect->getParameter(kResonance), 1.0f);

    // A drag cut short by the editor's closing still ends the gesture.
    host.calls.clear();
    frame->onMouseDown({200, 180}, kLButton);
    editor->close();
    ASSERT_GE(host.calls.size(), 2u);
    EXPECT_EQ(std::vector<HostCall>(host.calls.end() - 2, host.calls.end()), (std::vector<HostCall>{end(0), end(1)}));
}

TEST_F(FilterEditor, PadCommandClickResetsWithoutAGestureAndRightClickDoesNothing) {
    CFrame* frame = open();
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    click({248, 142, 249, 143});  // x 1, y 0: the mean is 0.5 already
    host.calls.clear();
    click({200, 200, 201, 201}, kRButton);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_FLOAT_EQ(pad->getXValue(), 1.0f);

    frame->onMouseDown({200, 200}, kLButton | kCommand);
    EXPECT_EQ(frame->getDragView(), nullptr);
    EXPECT_EQ(host.calls, (std::vector<HostCall>{automate(0, 0.5f), automate(1, 0.5f)}));
    pad->setDefaultValue(0.25f);
    host.calls.clear();
    frame->onMouseDown({200, 200}, kLButton | kCommand);
    EXPECT_EQ(host.calls, (std::vector<HostCall>{automate(0, 0.25f), automate(1, 0.75f)}));
}

TEST_F(FilterEditor, TypedTempoSetsBpmAndTheFieldShowsTheTempoInForce) {
    open();
    struct Row {
        const char *typed, *shown;
        float bpm;
    };
    for (const Row& r : {Row{"300", "120.00", 0.35f}, Row{"90", "90.00", 0.2f}, Row{"abc", "120.00", 0.35f}}) {
        SCOPED_TRACE(r.typed);
        typeTempo(r.typed);
        EXPECT_FLOAT_EQ(effect->getParameter(kBpm), r.bpm);
        EXPECT_EQ(view<CTextEdit>(ADEditor::kTempoTag)->getText(), r.typed);  // until the next idle
        editor->applyPendingChanges();
        EXPECT_EQ(view<CTextEdit>(ADEditor::kTempoTag)->getText(), r.shown);
        EXPECT_FLOAT_EQ(view(kBpm)->getValue(), r.bpm);
    }
    // With a host tempo the field shows it, whatever the parameter, and follows it.
    make(128);
    open();
    auto* field = view<CTextEdit>(ADEditor::kTempoTag);
    EXPECT_EQ(field->getText(), "128.00");
    typeTempo("90");
    EXPECT_FLOAT_EQ(effect->getParameter(kBpm), 0.2f);
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
    for (const Row& r : {Row{6, 5, 1.0f}, Row{6, 3, 0.6f}, Row{3, 4, 1.0f}, Row{3, 1, 0.25f}, Row{5, 2, 0.3f},
                         Row{5, 8, 1.0f}, Row{12, 1, 0.14f}, Row{12, 6, 0.85f}, Row{12, 0, 0.0f}}) {
        SCOPED_TRACE("menu " + std::to_string(r.tag) + " entry " + std::to_string(r.entry));
        click(view(r.tag)->getSize());
        ASSERT_EQ(frame->getPopup(), view(r.tag));
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
    effect->setParameter(kWaveform, 0.65f);
    editor->close();
    open();
    EXPECT_EQ(view<COptionMenu>(kWaveform)->getCurrent(nullptr, true), 3);  // reopened on the step
}

TEST_F(FilterEditor, ADoubleClickSetsTheRowsDefaultAsOneGestureTheModifierClickStillHalf) {
    effect->setParameter(kCutoff, 0.3f);
    open();
    const CRect cutoff = rectOf(rowOf(layout::kRows, kCutoff, PanelKind::knob).rect);
    click(cutoff, kLButton | kDoubleClick);
    const std::vector<HostCall> expected{begin(kCutoff), automate(kCutoff, ADelay::kParameters[kCutoff].defaultValue),
                                         end(kCutoff)};
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(editor->valueTip(), nullptr);  // the gesture's label went with it
    click(cutoff, kLButton | kCommand);
    EXPECT_FLOAT_EQ(effect->getParameter(kCutoff), 0.5f);
}

TEST_F(FilterEditor, NothingWhileClosed) {
    editor->setParameter(kDrive, 1.0f);
    EXPECT_FALSE(editor->isUpdateRequested());
    open();
    editor->setParameter(kDrive, 1.0f);
    EXPECT_TRUE(editor->isUpdateRequested());
    // Opened again offscreen (no close from the host comes for that): one frame, built anew.
    EXPECT_EQ(open()->getNbViews(), 15);
    editor->close();
    effect->setParameter(kResonance, 0.9f);
    editor->setBpm(99.0f);
    editor->idle();
    editor->setParameter(kResonance, 0.9f);
    editor->applyPendingChanges();
    EXPECT_FALSE(editor->isUpdateRequested());
    EXPECT_EQ(editor->getFrame(), nullptr);
}

TEST_F(FilterEditor, HostChangesReachTheControlsAtTheNextIdle) {
    open();
    auto* pad = view<CTouchPad>(ADEditor::kPadTag);
    effect->setParameter(kDrive, 0.9f);
    effect->setParameter(kResonance, 0.25f);
    effect->setParameter(kPole, 0.0f);
    EXPECT_FLOAT_EQ(view(kDrive)->getValue(), 0.2f);
    EXPECT_FLOAT_EQ(pad->getYValue(), 1.0f);
    editor->idle();
    EXPECT_FLOAT_EQ(view(kDrive)->getValue(), 0.9f);
    EXPECT_FLOAT_EQ(view(kResonance)->getValue(), 0.25f);
    EXPECT_FLOAT_EQ(pad->getYValue(), 0.75f);
    EXPECT_FLOAT_EQ(view(kPole)->getValue(), 0.0f);
    EXPECT_FALSE(pad->isDirty());     // redrawn at that idle
    EXPECT_TRUE(host.calls.empty());  // nothing echoed back to the host
}

TEST_F(FilterEditor, AChangeRedrawsOnlyItsControls) {
    CFrame* frame = open();
    const CRect pad = view(ADEditor::kPadTag)->getSize();
    const CRect field = view(ADEditor::kTempoTag)->getSize();
    for (VstInt32 index : {kCutoff, kResonance, kDrive, kOnOff, kCutoffMod, kResonanceMod, kPole, kMix, kBpm}) {
        SCOPED_TRACE("parameter " + std::to_string(index));
        const CRect rect = view(index)->getSize();
        effect->setParameter(index, 0.0f);
        editor->idle();
        const auto at0 = pixels(frame);
        effect->setParameter(index, 1.0f);
        editor->idle();
        const auto at1 = pixels(frame);
        EXPECT_TRUE(compare(frame, at0, at1, {rect}).inside);
        // Cutoff and resonance move the pad's handle too; Bpm rewrites the tempo field.
        EXPECT_FALSE(compare(frame, at0, at1, {rect, pad, field}).outside);
    }
    // A pad moved without the dirty mark is not redrawn; with it, it is.
    auto* touchPad = view<CTouchPad>(ADEditor::kPadTag);
    const auto before = pixels(frame);
    touchPad->setXValue(touchPad->getXValue() > 0.5f ? 0.0f : 1.0f);
    frame->idle();
    EXPECT_FALSE(compare(frame, before, pixels(frame), {}).outside);
    touchPad->setDirty(true);
    frame->idle();
    EXPECT_TRUE(compare(frame, before, pixels(frame), {pad}).inside);
}
